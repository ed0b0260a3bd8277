#ifndef LINFOLD_HQSTROKESOURCE_H
#define LINFOLD_HQSTROKESOURCE_H

// A test stand-in for the stroke stages: publishes a hand-made stroke set
// (points, polyline indices, per-vertex thickness and density) in the state.
// Include it in one source file per test program.

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <vector>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineThicknessElement.h"

class HqStrokeSource : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(HqStrokeSource);

 public:
  static void initClass() {
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
  HqStrokeSource() { SO_NODE_CONSTRUCTOR(HqStrokeSource); }

  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  std::vector<float> thickness;
  std::vector<float> density;

  // Appends one stroke of 2D points with per-point thickness and density.
  void addStroke(const std::vector<SbVec2f>& p, const std::vector<float>& t, const std::vector<float>& d) {
    for (size_t i = 0; i < p.size(); ++i) {
      indices.push_back(static_cast<int32_t>(points.size()));
      points.emplace_back(p[i][0], p[i][1], 0.0f);
      thickness.push_back(t.empty() ? 1.0f : t[i]);
      density.push_back(d.empty() ? 1.0f : d[i]);
    }
    indices.push_back(-1);
  }

  void doAction(SoAction* action) override {
    SoState* state = action->getState();
    if (!points.empty()) SoCoordinateElement::set3(state, this, static_cast<int32_t>(points.size()), points.data());
    SoLineCoordinateIndexElement::set(state, this, static_cast<int32_t>(indices.size()),
                                      indices.empty() ? nullptr : indices.data());
    SoLineThicknessElement::set(state, this, static_cast<int32_t>(thickness.size()),
                                thickness.empty() ? nullptr : thickness.data());
    SoLineDensityElementHQ::set(state, this, static_cast<int32_t>(density.size()),
                                density.empty() ? nullptr : density.data());
  }
  void GLRender(SoGLRenderAction* action) override { doAction(action); }
  void callback(SoCallbackAction* action) override { doAction(action); }

 private:
  ~HqStrokeSource() override = default;
};

SO_NODE_SOURCE(HqStrokeSource);

#endif
