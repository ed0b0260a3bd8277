#ifndef LINFOLD_SOMODIFYWINGEDEDGE_H
#define LINFOLD_SOMODIFYWINGEDEDGE_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <string>

#include "core/SoSFNumberedEnum.h"
#include "mesh/SbMeshOperations.h"
#include "mesh/SbWingedEdgeModel.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Applies the chain of mesh operations (SbMeshOperations) to the winged-edge
// model in the state, once per build and again after every change: connect
// objects, large faces, sharp edges, dividing, adaptive subdivision, regular
// subdivision, smoothing. A model not yet marked modified is the generator's
// fresh copy and is edited in place; a rerun after a change starts from a
// fresh copy of the built model (`source`), never from the previous output,
// so subdivision never compounds. A model without a source is kept aside the
// first time for the same purpose.
class SoModifyWingedEdge : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoModifyWingedEdge);

 public:
  static void initClass();
  SoModifyWingedEdge();

  // The schemes of the three mode fields, by SbSubdivision's numbers; each
  // operation says which of them it offers.
  enum Scheme { DOO_SABIN = 1, CATMULL_CLARK = 2, LOOP = 3, BUTTERFLY = 4 };

  SoSFBool connectObjects;
  SoSFNumberedEnum dividingMode;
  SoSFInt32 dividingSteps;
  SoSFBool polygonationMode;
  SoSFFloat sharpAngle;
  SoSFFloat smoothingSpeed;
  SoSFInt32 smoothingSteps;
  SoSFNumberedEnum subdivisionMode;
  SoSFInt32 subdivisionSteps;
  SoSFInt32 adaptiveSubdivisionSteps;
  SoSFNumberedEnum adaptiveSubdivisionMode;
  SoSFBool useSharpAngles;

  // The mesh changed (or a setting did): the next traversal applies the chain
  // again, on a fresh copy of the built model.
  void markChanged();
  // Why the last application of the chain left out an operation asked for
  // (steps refused for memory, a scheme not offered) or failed; empty when it
  // did all it was asked.
  const std::string& problem() const { return lastProblem; }

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;
  void notify(SoNotList* list) override;

 protected:
  ~SoModifyWingedEdge() override;

 private:
  // Puts the chain's input into `model`; false when there is none to start
  // again from.
  // `chainChanges`: the chain will change the model (else the built
  // objects can be borrowed instead of copied).
  bool restoreInput(SbWingedEdgeModel& model, bool chainChanges);
  SbMeshOperations::Settings settings() const;
  void applyChain(SbWingedEdgeModel& model, const SbMeshOperations::Settings& s);

  bool changed = true;
  std::string lastProblem;
  SbWingedEdgeModel input;  // copy of a source-less model, taken before the first run
  const SbWingedEdgeModel* inputOf = nullptr;
};

#endif
