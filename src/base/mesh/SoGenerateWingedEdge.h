#ifndef LINFOLD_SOGENERATEWINGEDEDGE_H
#define LINFOLD_SOGENERATEWINGEDEDGE_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/nodes/SoGroup.h>

#include "core/SoSFNumberedEnum.h"

#include "mesh/SbWingedEdgeModel.h"

class SoPath;
class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Builds the winged-edge model from the shapes below it and publishes it in
// SoWingedEdgeElement for the nodes that follow.
//
// The node keeps two models: the built one, rebuilt from the scene only when a
// rebuild is requested (at construction and by requestRebuild()), and the
// working copy that is published and that later stages edit. The working
// model borrows the built one's objects; only a modifier that changes them
// makes the built one a copy first (SbWingedEdgeModel::keepSource). Each indexed
// triangle-strip set becomes one object, with the coordinates in effect on its
// own path (its vertex property, else the last coordinate node before it),
// transformed by the matrices between this node and the strip set. Every
// other shape with faces (face sets, other strip sets, quad meshes, cubes,
// spheres, cones, cylinders, their VRML 97 counterparts, 3D text) becomes one
// object from the triangles Coin generates for it, in world space; corners of
// one shape that share a coordinate index, or for shapes whose corners carry
// none (Coin gives face sets a face detail, primitives none) that lie on
// exactly the same point, are joined so the mesh is connected. Clockwise
// vertex shapes and mirroring transforms are turned counter-clockwise. NURBS
// surfaces are tessellated by Coin, which needs a current GL context for it:
// a build without one (in a callback action with no context current) skips
// them with a message and is done again at the next traversal that has a
// context. NURBS curves, line and point sets, 2D text and images give
// nothing. Objects are numbered
// in traversal order across both kinds. Input normals are not read: linking
// computes every face and vertex normal.
class SoGenerateWingedEdge : public SoGroup {
  typedef SoGroup inherited;
  SO_NODE_HEADER(SoGenerateWingedEdge);

 public:
  static void initClass();
  SoGenerateWingedEdge();

  SoSFNumberedEnum curvatureMode;      // SbWingedEdgeCurvature::Mode used for colouring
  SoSFFloat threshold;                 // handed to the model with the curvature mode
  SoSFBool doBuildWingedEdge;          // FALSE publishes an empty model
  SoSFNumberedEnum visualizationMode;  // WeVisualization: how SoWingedEdge draws the model

  // While an object lives (on one thread, with a GL context current),
  // Coin tessellates NURBS surfaces in that context, for a callback action
  // too: Coin asks for an offscreen context of its own to tessellate in,
  // which it cannot make under Xvfb (no triangles come, with a warning per
  // surface) and without a display at all (Coin crashes). The gathering
  // makes one while it traverses with a context current; other callers of
  // a callback action that wants triangles can do the same.
  class NurbsContextLoan {
   public:
    NurbsContextLoan();
    ~NurbsContextLoan();
    NurbsContextLoan(const NurbsContextLoan&) = delete;
    NurbsContextLoan& operator=(const NurbsContextLoan&) = delete;
  };

  // Object number for the shape at the end of `stripSetPath` (which starts at
  // this node and lives only during the call), or -1 to use the shape's
  // position among all shapes gathered.
  typedef int ObjectNumberCB(void* userData, const SoPath* stripSetPath);
  void setObjectNumberCallback(ObjectNumberCB* callback, void* userData);

  // The next traversal rebuilds the model from the scene below.
  void requestRebuild();
  // Clears the working model's display-list mark.
  void invalidateFaceColours();
  // Clears the working model's curvature-valid mark.
  void invalidateCurvature();

  // The built model; its objects live in the working model until the
  // modifier changes that.
  const SbWingedEdgeModel& builtModel() const {
    return working.holdsSource && working.source == &built ? working : built;
  }
  SbWingedEdgeModel& workingModel() { return working; }
  // True when the last build found at least one strip set or shape with faces.
  bool hasGeometry() const { return geometryFound; }

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoGenerateWingedEdge() override;

 private:
  void updateModel(SoAction* action);
  void rebuild(bool glContext);

  SbWingedEdgeModel built;
  SbWingedEdgeModel working;
  ObjectNumberCB* objectNumberCB = nullptr;
  void* objectNumberData = nullptr;
  bool rebuildRequested = true;
  bool geometryFound = false;
  bool gathering = false;      // inside the rebuild's own traversal of the children
  bool workingEmptied = true;  // the working model must be copied from the built one
  bool nurbsSkipped = false;   // the last build had no GL context for its NURBS surfaces
};

#endif
