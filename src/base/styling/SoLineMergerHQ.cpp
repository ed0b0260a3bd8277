#include "styling/SoLineMergerHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/misc/SoState.h>

#include <cstdio>
#include <exception>
#include <vector>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"

SO_NODE_SOURCE(SoLineMergerHQ);

namespace {

template <class E>
void enableBoth() {
  SO_ENABLE(SoGLRenderAction, E);
  SO_ENABLE(SoCallbackAction, E);
}

template <class E>
bool enabled(SoState* state) {
  return state->isElementEnabled(E::getClassStackIndex()) != FALSE;
}

// Sets the per-vertex elements that the merger does not carry to empty.
void clearExtras(SoState* state, SoNode* node) {
  if (enabled<SoLineParameterizationElement>(state))
    SoLineParameterizationElement::set(state, node, 0, nullptr);
  if (enabled<SoLineTaperElementHQ>(state)) SoLineTaperElementHQ::set(state, node, 0, nullptr);
  if (enabled<SoLineTriangleElementHQ>(state))
    SoLineTriangleElementHQ::set(state, node, 0, nullptr);
  if (enabled<SoLineFamilyElementHQ>(state)) SoLineFamilyElementHQ::set(state, node, 0, nullptr);
}

void emptySet(SoState* state, SoNode* node) {
  SoCoordinateElement::set3(state, node, 0, static_cast<const SbVec3f*>(nullptr));
  SoLineCoordinateIndexElement::set(state, node, 0, nullptr);
  SoLineThicknessElement::set(state, node, 0, nullptr);
  SoLineDensityElementHQ::set(state, node, 0, nullptr);
  clearExtras(state, node);
}

// Brings a per-vertex list to `n` values: cut, or padded with 1.0.
void fit(std::vector<float>& list, int32_t n) { list.resize(static_cast<size_t>(n), 1.0f); }

struct CurrentSet {
  std::vector<SbVec3f> points;
  const int32_t* indices = nullptr;
  int32_t indexCount = 0;
  int32_t vertices = 0;  // indices that are not -1
  const float* thickness = nullptr;  // null unless it covers every vertex
  const float* density = nullptr;
};

CurrentSet readCurrent(SoState* state) {
  CurrentSet set;
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  const int32_t count = coords ? coords->getNum() : 0;
  set.points.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int32_t i = 0; i < count; ++i) set.points.push_back(coords->get3(i));
  set.indices = SoLineCoordinateIndexElement::get(state, set.indexCount);
  if (!set.indices) set.indexCount = 0;
  for (int32_t i = 0; i < set.indexCount; ++i)
    if (set.indices[i] != -1) ++set.vertices;
  int32_t n = 0;
  const float* t = SoLineThicknessElement::get(state, n);
  if (t && n >= set.vertices && set.vertices > 0) set.thickness = t;
  const float* d = SoLineDensityElementHQ::get(state, n);
  if (d && n >= set.vertices && set.vertices > 0) set.density = d;
  return set;
}

}  // namespace

void SoLineMergerHQ::initClass() {
  SO_NODE_INIT_CLASS(SoLineMergerHQ, SoGroup, "Group");
  enableBoth<SoCoordinateElement>();
  enableBoth<SoLineCoordinateIndexElement>();
  enableBoth<SoLineThicknessElement>();
  enableBoth<SoLineDensityElementHQ>();
  enableBoth<SoLineMergerElementHQ>();
  enableBoth<SoLineParameterizationElement>();
  enableBoth<SoLineTaperElementHQ>();
  enableBoth<SoLineTriangleElementHQ>();
  enableBoth<SoLineFamilyElementHQ>();
}

SoLineMergerHQ::SoLineMergerHQ() {
  SO_NODE_CONSTRUCTOR(SoLineMergerHQ);
  SO_NODE_ADD_FIELD(method, (LM_STORE));
  SO_NODE_DEFINE_ENUM_VALUE(Method, LM_STORE);
  SO_NODE_DEFINE_ENUM_VALUE(Method, LM_MERGE);
  SO_NODE_DEFINE_ENUM_VALUE(Method, LM_RESTORE);
  SO_NODE_SET_SF_ENUM_TYPE(method, Method);
}

SoLineMergerHQ::~SoLineMergerHQ() {}

void SoLineMergerHQ::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (!state || !enabled<SoLineMergerElementHQ>(state) || !enabled<SoCoordinateElement>(state) ||
      !enabled<SoLineCoordinateIndexElement>(state) || !enabled<SoLineThicknessElement>(state) ||
      !enabled<SoLineDensityElementHQ>(state))
    return;
  try {
    const int m = method.getValue();
    if (m == LM_STORE || m == LM_MERGE) {
      CurrentSet cur = readCurrent(state);
      SoLineMergerElementHQ* store = SoLineMergerElementHQ::getWritable(state, this);
      if (!store) return;
      std::vector<SbVec3f>& points = store->coordinates();
      std::vector<int32_t>& index = store->indices();
      std::vector<float>& thick = store->thickness();
      std::vector<float>& dens = store->density();
      if (m == LM_STORE) {
        points = cur.points;
        index.assign(cur.indices, cur.indices + cur.indexCount);
        if (cur.thickness) thick.assign(cur.thickness, cur.thickness + cur.vertices);
        else thick.clear();
        if (cur.density) dens.assign(cur.density, cur.density + cur.vertices);
        else dens.clear();
        store->setStoredIndexCount(cur.indexCount);
      } else {
        int32_t referenced = 0;
        for (int32_t i : index)
          if (i != -1) ++referenced;
        const int32_t base = static_cast<int32_t>(points.size());
        points.insert(points.end(), cur.points.begin(), cur.points.end());
        if (cur.thickness) fit(thick, referenced);
        if (cur.density) fit(dens, referenced);
        for (int32_t k = 0; k < cur.indexCount; ++k) {
          const int32_t i = cur.indices[k];
          if (i == -1) {
            index.push_back(-1);
          } else {
            index.push_back(i + base);
            ++referenced;
          }
        }
        if (cur.thickness) thick.insert(thick.end(), cur.thickness, cur.thickness + cur.vertices);
        if (cur.density) dens.insert(dens.end(), cur.density, cur.density + cur.vertices);
        // Either list, once present, covers every referenced point.
        if (!thick.empty()) fit(thick, referenced);
        if (!dens.empty()) fit(dens, referenced);
      }
      emptySet(state, this);
    } else if (m == LM_RESTORE) {
      const SoLineMergerElementHQ* store = SoLineMergerElementHQ::get(state);
      if (!store) return;
      const auto& points = store->coordinates();
      const auto& index = store->indices();
      const auto& thick = store->thickness();
      const auto& dens = store->density();
      SoCoordinateElement::set3(state, this, static_cast<int32_t>(points.size()),
                                points.empty() ? nullptr : points.data());
      SoLineCoordinateIndexElement::set(state, this, static_cast<int32_t>(index.size()),
                                        index.empty() ? nullptr : index.data());
      SoLineThicknessElement::set(state, this, static_cast<int32_t>(thick.size()),
                                  thick.empty() ? nullptr : thick.data());
      SoLineDensityElementHQ::set(state, this, static_cast<int32_t>(dens.size()),
                                  dens.empty() ? nullptr : dens.data());
      clearExtras(state, this);
    }
  } catch (const std::exception& e) {
    std::printf("SoLineMergerHQ::doAction: %s\n", e.what());
  }
}

void SoLineMergerHQ::GLRender(SoGLRenderAction* action) {
  // What the node publishes depends on the state, not on its field alone.
  SoCacheElement::invalidate(action->getState());
  SoLineMergerHQ::doAction(action);
}

void SoLineMergerHQ::callback(SoCallbackAction* action) { SoLineMergerHQ::doAction(action); }
