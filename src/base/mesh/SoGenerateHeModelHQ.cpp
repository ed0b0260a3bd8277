#include "mesh/SoGenerateHeModelHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>

#include <cstdio>
#include <exception>

#include "core/StageTimes.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoWingedEdgeElement.h"

SO_NODE_SOURCE(SoGenerateHeModelHQ);

void SoGenerateHeModelHQ::initClass() {
  SO_NODE_INIT_CLASS(SoGenerateHeModelHQ, SoGroup, "Group");
  SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
  SO_ENABLE(SoCallbackAction, SoHeModelElementHQ);
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
}

SoGenerateHeModelHQ::SoGenerateHeModelHQ() { SO_NODE_CONSTRUCTOR(SoGenerateHeModelHQ); }

SoGenerateHeModelHQ::~SoGenerateHeModelHQ() { heModel.clear(); }

void SoGenerateHeModelHQ::update(SoAction* action) {
  SoState* state = action->getState();
  if (!built) {
    StageTimer timer("half-edge build");
    try {
      if (SbWingedEdgeModel* wingedEdge = SoWingedEdgeElement::get(state))
        heModel.build(*wingedEdge);
      else
        heModel.clear();
    } catch (const std::exception& e) {
      heModel.clear();
      std::printf("SoGenerateHeModelHQ: %s\n", e.what());
    }
    built = true;
  }
  SoHeModelElementHQ::set(state, this, &heModel);
}

void SoGenerateHeModelHQ::GLRender(SoGLRenderAction* action) {
  // The published model depends on the winged-edge input, not on fields.
  SoCacheElement::invalidate(action->getState());
  update(action);
  inherited::GLRender(action);
}

void SoGenerateHeModelHQ::callback(SoCallbackAction* action) {
  update(action);
  inherited::callback(action);
}
