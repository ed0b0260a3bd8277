#ifndef LINFOLD_SOMODIFYWINGEDEDGE_H
#define LINFOLD_SOMODIFYWINGEDEDGE_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;
class SbWingedEdgeModel;

// Applies the chain of mesh operations to the winged-edge model in the state,
// once per build: connect objects, large faces, sharp edges, dividing,
// adaptive subdivision, regular subdivision, smoothing. The chain always
// starts from a fresh copy of the built model, so a change of a setting never
// compounds with the previous run.
class SoModifyWingedEdge : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoModifyWingedEdge);

public:
  static void initClass();
  SoModifyWingedEdge();

  SoSFBool connectObjects;
  SoSFInt32 dividingMode;
  SoSFInt32 dividingSteps;
  SoSFBool polygonationMode;
  SoSFFloat sharpAngle;
  SoSFFloat smoothingSpeed;
  SoSFInt32 smoothingSteps;
  SoSFInt32 subdivisionMode;
  SoSFInt32 subdivisionSteps;
  SoSFInt32 adaptiveSubdivisionSteps;
  SoSFInt32 adaptiveSubdivisionMode;
  SoSFBool useSharpAngles;

  // The mesh changed (or a setting did): the next traversal applies the chain
  // again, on a fresh copy of the built model.
  void markChanged();

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;
  void notify(SoNotList* list) override;

protected:
  ~SoModifyWingedEdge() override;

private:
  void applyChain(SbWingedEdgeModel& model);

  bool changed = true;
};

#endif
