#ifndef LINFOLD_SOGENERATECURVATUREHQ_H
#define LINFOLD_SOGENERATECURVATUREHQ_H

#include <Inventor/nodes/SoGroup.h>

#include "curvature/SbCurvatureHQ.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Estimates the curvature of the half-edge model in SoHeModelElementHQ and
// publishes it in SoCurvatureElementHQ for its children and the nodes after
// it. The estimate is redone only when the model's stamp differs from the one
// it was computed from; without a model the published curvature is null.
class SoGenerateCurvatureHQ : public SoGroup {
  typedef SoGroup inherited;
  SO_NODE_HEADER(SoGenerateCurvatureHQ);

 public:
  static void initClass();
  SoGenerateCurvatureHQ();

  // The node's estimate; the flow-field commands read it directly.
  SbCurvatureHQ& curvature() { return estimate; }

  // The update step: recompute if the model is new, publish. Does not
  // traverse the children.
  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoGenerateCurvatureHQ() override;

 private:
  SbCurvatureHQ estimate;
};

#endif
