#ifndef LINFOLD_SOGENERATESILHOUETTE_H
#define LINFOLD_SOGENERATESILHOUETTE_H

#include <Inventor/SbColor.h>
#include <Inventor/fields/SoMFInt32.h>
#include <Inventor/fields/SoMFVec3f.h>
#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "lines/SbLineVisibility.h"
#include "lines/SbSilhouetteEdges.h"
#include "lines/SbSilhouetteGaussMap.h"
#include "lines/SbSilhouettePerspective.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;
class SoState;

// Finds the silhouette edges (between a face turned to the viewer and one
// turned away) and the sharp edges of the winged-edge model in the state, for
// the current view, and either appends them to the state's line set
// (sendLines) or draws them at once as GL lines, cut to their visible parts
// against the depth buffer. Definitions in SbSilhouetteEdges; the searches in
// SbSilhouetteGaussMap (orthographic) and SbSilhouettePerspective.
//
// A GL render does everything; a callback traversal does the GL-free part
// only: with sendLines it publishes the same line set, without it nothing.
class SoGenerateSilhouette : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoGenerateSilhouette);

 public:
  static void initClass();
  SoGenerateSilhouette();

  SoSFBool doComputation;
  SoSFBool displaySilhouette;
  SoSFFloat maximalError;  // search-structure tolerance (cell size in degrees; leaf size)
  SoSFBool displaySharpEdges;
  SoSFFloat sharpEdgesAngle;
  SoSFBool sendLines;
  SoSFFloat lineWidth;
  SoSFInt32 shapeKey;
  SoSFBool antialiasing;
  SoSFBool fillLineCracks;

  void setColour(const SbColor& colour) { colour_ = colour; }
  const SbColor& getColour() const { return colour_; }

  // The edges of the last extraction, sorted by object and edge.
  const std::vector<SbEdgeRef>& foundEdges() const { return edges; }
  // How often a search structure was (re)built; for tests and benchmarks.
  int structureBuilds() const { return builds; }

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoGenerateSilhouette() override;

 private:
  void run(SoAction* action, bool withGL);
  bool currentView(SoState* state, SbSilhouetteView& view);
  void extract(const SbWingedEdgeModel& model, const SbSilhouetteView& view);
  void structureBuilt(double ms, double cpuMs);
  void sendEdges(SoState* state, const SbWingedEdgeModel& model);
  void drawEdges(SoState* state, const SbWingedEdgeModel& model);

  SbColor colour_{0, 1, 0};
  SoMFVec3f outCoords;   // output line set: points
  SoMFInt32 outIndices;  // output line set: indices

  // Search structures and their cache keys.
  SbSilhouetteGaussMap gaussMap;
  SbSilhouettePerspective perspective;
  struct Key {
    const SbWingedEdgeModel* model = nullptr;
    uint64_t fingerprint = 0;
    float maximalError = -1.0f;
    bool valid = false;
  };
  Key gaussKey, perspectiveKey;
  int builds = 0;
  // Time of the current run spent on the structures, for the stage times.
  double structureMs = 0.0, structureCpuMs = 0.0;

  // Sharp edges, cached by model, angle and shape key.
  Key sharpKey;
  float sharpAngle = 0.0f;
  int sharpShape = 0;
  std::vector<SbEdgeRef> sharp;

  // Camera-static memory: the last view used, and whether there is one;
  // with it the projection to the window (model space to pixels) when the
  // state had a viewport, which the zig-zag repair measures its moves with.
  SbSilhouetteView lastView;
  bool haveView = false;
  SbWindowProjector lastScreen;
  bool haveScreen = false;

  std::vector<SbEdgeRef> edges;
  std::vector<std::vector<std::pair<float, float>>> visible;  // per found edge, after the depth test
};

#endif
