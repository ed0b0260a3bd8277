#include "HqStrokeSource.h"

#include <Inventor/elements/SoCoordinateElement.h>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineThicknessElement.h"

SO_NODE_SOURCE(HqStrokeSource);

void HqStrokeSource::initClass() {
  if (getClassTypeId() != SoType::badType()) return;
  SO_NODE_INIT_CLASS(HqStrokeSource, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoGLRenderAction, SoLineThicknessElement);
  SO_ENABLE(SoGLRenderAction, SoLineDensityElementHQ);
  SO_ENABLE(SoCallbackAction, SoCoordinateElement);
  SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
  SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
}

void HqStrokeSource::addStroke(const std::vector<SbVec2f>& p, const std::vector<float>& t, const std::vector<float>& d) {
  for (size_t i = 0; i < p.size(); ++i) {
    indices.push_back(static_cast<int32_t>(points.size()));
    points.emplace_back(p[i][0], p[i][1], 0.0f);
    thickness.push_back(t.empty() ? 1.0f : t[i]);
    density.push_back(d.empty() ? 1.0f : d[i]);
  }
  indices.push_back(-1);
}

void HqStrokeSource::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (!points.empty()) SoCoordinateElement::set3(state, this, static_cast<int32_t>(points.size()), points.data());
  SoLineCoordinateIndexElement::set(state, this, static_cast<int32_t>(indices.size()),
                                    indices.empty() ? nullptr : indices.data());
  SoLineThicknessElement::set(state, this, static_cast<int32_t>(thickness.size()),
                              thickness.empty() ? nullptr : thickness.data());
  SoLineDensityElementHQ::set(state, this, static_cast<int32_t>(density.size()),
                              density.empty() ? nullptr : density.data());
}
