#ifndef LINFOLD_HQSTROKESOURCE_H
#define LINFOLD_HQSTROKESOURCE_H

// A test stand-in for the stroke stages: publishes a hand-made stroke set (points, polyline indices, per-vertex
// thickness and density) in the state.

#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>
#include <vector>

class HqStrokeSource : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(HqStrokeSource);

 public:
  static void initClass();
  HqStrokeSource() { SO_NODE_CONSTRUCTOR(HqStrokeSource); }

  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  std::vector<float> thickness;
  std::vector<float> density;

  // Appends one stroke of 2D points with per-point thickness and density.
  void addStroke(const std::vector<SbVec2f>& p, const std::vector<float>& t, const std::vector<float>& d);

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override { doAction(action); }
  void callback(SoCallbackAction* action) override { doAction(action); }

 private:
  ~HqStrokeSource() override = default;
};

// Signed distance from q to the ink of a stroke: the discs of radius r[k] about p[k] and, between neighbours, the discs
// whose centres and radii move linearly from one to the next (their tangent bands). Negative radii count as 0.
double strokeDistance(const SbVec2f& q, const std::vector<SbVec2f>& p, const std::vector<float>& r);

#endif
