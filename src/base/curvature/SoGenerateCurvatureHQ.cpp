#include "curvature/SoGenerateCurvatureHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/misc/SoState.h>

#include <cstdio>
#include <exception>

#include "core/StageTimes.h"
#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "mesh/SbHeModelHQ.h"

SO_NODE_SOURCE(SoGenerateCurvatureHQ);

void SoGenerateCurvatureHQ::initClass() {
  SO_NODE_INIT_CLASS(SoGenerateCurvatureHQ, SoGroup, "Group");
  SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
  SO_ENABLE(SoCallbackAction, SoHeModelElementHQ);
  SO_ENABLE(SoGLRenderAction, SoCurvatureElementHQ);
  SO_ENABLE(SoCallbackAction, SoCurvatureElementHQ);
}

SoGenerateCurvatureHQ::SoGenerateCurvatureHQ() { SO_NODE_CONSTRUCTOR(SoGenerateCurvatureHQ); }

SoGenerateCurvatureHQ::~SoGenerateCurvatureHQ() { estimate.clear(); }

void SoGenerateCurvatureHQ::doAction(SoAction* action) {
  SoState* state = action->getState();
  // Actions that do not carry the elements have nothing to update.
  if (!state || !state->isElementEnabled(SoHeModelElementHQ::getClassStackIndex()) ||
      !state->isElementEnabled(SoCurvatureElementHQ::getClassStackIndex()))
    return;
  SbHeModelHQ* model = SoHeModelElementHQ::get(state);
  if (!model) {
    SoCurvatureElementHQ::set(state, this, nullptr);
    return;
  }
  if (model->stamp != estimate.modelStamp) {
    StageTimer timer("curvature");
    try {
      estimate.from(*model);
    } catch (const std::exception& e) {  // from() does not throw; keep the node safe anyway
      estimate.clear();
      std::printf("SoGenerateCurvatureHQ: %s\n", e.what());
    }
  }
  SoCurvatureElementHQ::set(state, this, &estimate);
}

void SoGenerateCurvatureHQ::GLRender(SoGLRenderAction* action) {
  // The published curvature depends on the model in the state, not on fields.
  SoCacheElement::invalidate(action->getState());
  SoGenerateCurvatureHQ::doAction(action);
  inherited::GLRender(action);
}

void SoGenerateCurvatureHQ::callback(SoCallbackAction* action) {
  SoGenerateCurvatureHQ::doAction(action);
  inherited::callback(action);
}
