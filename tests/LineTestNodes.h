#ifndef LINFOLD_LINETESTNODES_H
#define LINFOLD_LINETESTNODES_H

// Test stand-ins around the line stages: a source that publishes a model and a hand-made line set, and a probe that
// records what reaches it.

#include <Inventor/SbVec2f.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "lines/SbLineSet.h"
#include "mesh/SbWingedEdgeModel.h"

class SoAction;
class SoState;

class LineSetSource : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(LineSetSource);

 public:
  static void initClass();
  LineSetSource();

  SbWingedEdgeModel* model = nullptr;  // published when set
  bool publishLines = false;           // publish `lines` (arrays as they are, any length)
  SbLineSet lines;
  std::vector<SbVec2f> oriented;       // published when not empty
  std::vector<SbVec2f> textureCoords;  // published when not empty

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override { doAction((SoAction*)action); }
  void callback(SoCallbackAction* action) override { doAction((SoAction*)action); }
  void getBoundingBox(SoGetBoundingBoxAction* action) override { doAction((SoAction*)action); }

 private:
  ~LineSetSource() override = default;
};

class LineSetProbe : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(LineSetProbe);

 public:
  static void initClass();
  LineSetProbe();

  int visits = 0;
  std::vector<const SbWingedEdgeModel*> models;  // the model published at each GL render visit
  SbLineSet seen;                                // every array exactly as the elements hold it
  const int32_t* indexPointer = nullptr;
  const float* thicknessPointer = nullptr;
  int32_t stored = -1;  // SoLineMergerElementHQ::storedPrefix of what it saw

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override { doAction((SoAction*)action); }

 private:
  ~LineSetProbe() override = default;
};

// Runs `step` wherever a callback action passes it: a stand-in that publishes or reads elements between the nodes under
// test (`node` is the step itself).
class StateStep : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(StateStep);

 public:
  using Step = std::function<void(SoState* state, SoNode* node)>;
  static void initClass();
  explicit StateStep(Step step = {});

  Step step;

  void callback(SoCallbackAction* action) override;

 private:
  ~StateStep() override = default;
};

namespace linetest {
void initNodes();
// Polylines of the probe's line set as lists of point indices.
std::vector<std::vector<int>> polylines(const SbLineSet& set);

// An orthographic camera at z = 5 looking down -z, `height` units high: in a viewport `height` pixels high one unit is
// one pixel and the origin is the centre.
SoOrthographicCamera* pixelCamera(float height);
// A separator holding `nodes`, referenced while the pointer lives.
struct Unref {
  void operator()(SoNode* node) const { node->unref(); }
};
using Root = std::unique_ptr<SoSeparator, Unref>;
Root scene(std::initializer_list<SoNode*> nodes);
}  // namespace linetest

#endif
