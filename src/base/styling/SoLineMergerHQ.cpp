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
#include "lines/LineSetState.h"

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

// Brings a per-vertex list to `n` values: cut, or padded with 1.0.
void fit(std::vector<float>& list, int32_t n) { list.resize(static_cast<size_t>(n), 1.0f); }

}  // namespace

void SoLineMergerHQ::initClass() {
  SO_NODE_INIT_CLASS(SoLineMergerHQ, SoGroup, "Group");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
  enableBoth<SoLineMergerElementHQ>();
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
      SbLineSetView cur;
      std::vector<SbVec3f> pointStore;
      linestate::viewLineSet(state, cur, pointStore);
      SoLineMergerElementHQ* store = SoLineMergerElementHQ::getWritable(state, this);
      if (!store) return;
      std::vector<SbVec3f>& points = store->coordinates();
      std::vector<int32_t>& index = store->indices();
      std::vector<float>& thick = store->thickness();
      std::vector<float>& dens = store->density();
      if (m == LM_STORE) {
        points.assign(cur.points, cur.points + cur.pointCount);
        index.assign(cur.indices, cur.indices + cur.indexCount);
        if (cur.thickness)
          thick.assign(cur.thickness, cur.thickness + cur.vertexCount);
        else
          thick.clear();
        if (cur.density)
          dens.assign(cur.density, cur.density + cur.vertexCount);
        else
          dens.clear();
        store->setStoredIndexCount(cur.indexCount);
      } else {
        int32_t referenced = SbLineSetView(nullptr, 0, index.data(), static_cast<int32_t>(index.size())).vertexCount;
        const int32_t base = static_cast<int32_t>(points.size());
        points.insert(points.end(), cur.points, cur.points + cur.pointCount);
        if (cur.thickness) fit(thick, referenced);
        if (cur.density) fit(dens, referenced);
        for (int32_t k = 0; k < cur.indexCount; ++k) {
          const int32_t i = cur.indices[k];
          index.push_back(i == -1 ? -1 : i + base);
        }
        referenced += cur.vertexCount;
        if (cur.thickness) thick.insert(thick.end(), cur.thickness, cur.thickness + cur.vertexCount);
        if (cur.density) dens.insert(dens.end(), cur.density, cur.density + cur.vertexCount);
        // Either list, once present, covers every referenced point.
        if (!thick.empty()) fit(thick, referenced);
        if (!dens.empty()) fit(dens, referenced);
      }
      static const SbLineSet none;
      linestate::publishLineSet(state, this, none);
    } else if (m == LM_RESTORE) {
      const SoLineMergerElementHQ* store = SoLineMergerElementHQ::get(state);
      if (!store) return;
      linestate::publishLineSet(state, this, store->lineSet());
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
