#include "lines/LineSetState.h"

#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/misc/SoState.h>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"

namespace linestate {

namespace {
template <class Element, class T>
void readArray(SoState* state, std::vector<T>& out) {
  out.clear();
  if (!state->isElementEnabled(Element::getClassStackIndex())) return;
  int32_t n = 0;
  const auto* values = Element::get(state, n);
  if (values && n > 0) out.assign(values, values + n);
}

template <class Element, class T>
void attach(SoState* state, SbLineSetView& view, void (SbLineSetView::*set)(const T*, int32_t)) {
  if (!state->isElementEnabled(Element::getClassStackIndex())) return;
  int32_t n = 0;
  const T* values = Element::get(state, n);
  (view.*set)(values, n);
}
}  // namespace

void readLineSet(SoState* state, SbLineSet& out) {
  out.clear();
  if (!state->isElementEnabled(SoLineCoordinateIndexElement::getClassStackIndex())) return;
  int32_t count = 0;
  const int32_t* indices = SoLineCoordinateIndexElement::get(state, count);
  if (!indices || count <= 0) return;
  out.indices.assign(indices, indices + count);
  if (state->isElementEnabled(SoCoordinateElement::getClassStackIndex())) {
    const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
    const int32_t n = coords->getNum();
    out.points.resize(n > 0 ? n : 0);
    for (int32_t i = 0; i < n; ++i) out.points[i] = coords->get3(i);
  }
  readArray<SoLineThicknessElement>(state, out.thickness);
  readArray<SoLineTaperElementHQ>(state, out.taper);
  readArray<SoLineDensityElementHQ>(state, out.density);
  readArray<SoLineFamilyElementHQ>(state, out.family);
  readArray<SoLineParameterizationElement>(state, out.parameters);
  {
    out.triangles.clear();
    if (state->isElementEnabled(SoLineTriangleElementHQ::getClassStackIndex())) {
      int32_t n = 0;
      const HeTriangle* const* t = SoLineTriangleElementHQ::get(state, n);
      if (t && n > 0) out.triangles.assign(t, t + n);
    }
  }
  out.validate();
}

void viewLineSet(SoState* state, SbLineSetView& out, std::vector<SbVec3f>& pointStore) {
  out = SbLineSetView();
  auto enabled = [state](int stackIndex) { return state->isElementEnabled(stackIndex); };
  if (!enabled(SoLineCoordinateIndexElement::getClassStackIndex()) ||
      !enabled(SoCoordinateElement::getClassStackIndex()))
    return;
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  const int32_t pointCount = coords ? coords->getNum() : 0;
  const SbVec3f* points = pointCount > 0 ? coords->getArrayPtr3() : nullptr;
  if (pointCount > 0 && !points) {  // double precision or homogeneous coordinates
    pointStore.resize(static_cast<size_t>(pointCount));
    for (int32_t i = 0; i < pointCount; ++i) pointStore[static_cast<size_t>(i)] = coords->get3(i);
    points = pointStore.data();
  }
  int32_t indexCount = 0;
  const int32_t* indices = SoLineCoordinateIndexElement::get(state, indexCount);
  out = SbLineSetView(points, pointCount, indices, indexCount);
  attach<SoLineThicknessElement>(state, out, &SbLineSetView::setThickness);
  attach<SoLineTaperElementHQ>(state, out, &SbLineSetView::setTaper);
  attach<SoLineDensityElementHQ>(state, out, &SbLineSetView::setDensity);
  attach<SoLineFamilyElementHQ>(state, out, &SbLineSetView::setFamily);
  attach<SoLineTriangleElementHQ>(state, out, &SbLineSetView::setTriangles);
}

void publishLineSet(SoState* state, SoNode* node, const SbLineSet& set) {
  auto count = [](size_t n) { return static_cast<int32_t>(n); };
  auto data = [](const auto& v) { return v.empty() ? nullptr : v.data(); };
  static const SbVec3f origin(0, 0, 0);
  SoCoordinateElement::set3(state, node, count(set.points.size()), set.points.empty() ? &origin : set.points.data());
  SoLineCoordinateIndexElement::set(state, node, count(set.indices.size()), data(set.indices));
  SoLineThicknessElement::set(state, node, count(set.thickness.size()), data(set.thickness));
  SoLineParameterizationElement::set(state, node, count(set.parameters.size()), data(set.parameters));
  SoLineTaperElementHQ::set(state, node, count(set.taper.size()), data(set.taper));
  SoLineTriangleElementHQ::set(state, node, count(set.triangles.size()), data(set.triangles));
  SoLineDensityElementHQ::set(state, node, count(set.density.size()), data(set.density));
  SoLineFamilyElementHQ::set(state, node, count(set.family.size()), data(set.family));
}

}  // namespace linestate
