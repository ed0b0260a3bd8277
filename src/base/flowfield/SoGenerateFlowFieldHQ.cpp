#include "flowfield/SoGenerateFlowFieldHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/misc/SoState.h>

#include <cstdio>
#include <cstring>
#include <exception>

#include "core/ChangeStamp.h"
#include "core/StageTimes.h"
#include "curvature/SbCurvatureHQ.h"
#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "mesh/SbHeModelHQ.h"

SO_NODE_SOURCE(SoGenerateFlowFieldHQ);

void SoGenerateFlowFieldHQ::initClass() {
  SO_NODE_INIT_CLASS(SoGenerateFlowFieldHQ, SoGroup, "Group");
  SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
  SO_ENABLE(SoCallbackAction, SoHeModelElementHQ);
  SO_ENABLE(SoGLRenderAction, SoCurvatureElementHQ);
  SO_ENABLE(SoCallbackAction, SoCurvatureElementHQ);
  SO_ENABLE(SoGLRenderAction, SoFlowFieldElementHQ);
  SO_ENABLE(SoCallbackAction, SoFlowFieldElementHQ);
}

namespace {
const char* const kCleanUpNames[] = {"none", "auto"};
}

int SoGenerateFlowFieldHQ::cleanUpByName(const char* name) {
  for (int i = 0; i < static_cast<int>(sizeof kCleanUpNames / sizeof *kCleanUpNames); ++i)
    if (name && std::strcmp(name, kCleanUpNames[i]) == 0) return i;
  return -1;
}

const char* SoGenerateFlowFieldHQ::cleanUpNames() { return "none, auto"; }

// A fresh stamp matches no curvature, so the first traversal builds.
SoGenerateFlowFieldHQ::SoGenerateFlowFieldHQ() : curvatureStamp(drawChangeStamp()), builtCleanUp(NONE) {
  SO_NODE_CONSTRUCTOR(SoGenerateFlowFieldHQ);
  SO_NODE_ADD_FIELD(cleanUp, (NONE));
  SO_NODE_DEFINE_ENUM_VALUE(CleanUp, NONE);
  SO_NODE_DEFINE_ENUM_VALUE(CleanUp, AUTO);
  SO_NODE_SET_SF_ENUM_TYPE(cleanUp, CleanUp);
}

SoGenerateFlowFieldHQ::~SoGenerateFlowFieldHQ() {
  field.clear();
  field.records.shrink_to_fit();
}

void SoGenerateFlowFieldHQ::doAction(SoAction* action) {
  SoState* state = action->getState();
  // Actions that do not carry the elements have nothing to update.
  if (!state || !state->isElementEnabled(SoHeModelElementHQ::getClassStackIndex()) ||
      !state->isElementEnabled(SoCurvatureElementHQ::getClassStackIndex()) ||
      !state->isElementEnabled(SoFlowFieldElementHQ::getClassStackIndex()))
    return;
  SbHeModelHQ* model = SoHeModelElementHQ::get(state);
  SbCurvatureHQ* curvature = SoCurvatureElementHQ::get(state);
  if (!model || !curvature) {
    SoFlowFieldElementHQ::set(state, this, nullptr);
    return;
  }
  const int mode = cleanUp.getValue();
  if (curvature->stamp != curvatureStamp || mode != builtCleanUp) {
    curvatureStamp = curvature->stamp;
    builtCleanUp = mode;
    StageTimer timer("flow field");
    try {
      if (mode == AUTO) {
        // The clean-up carries the field over the failed estimates itself.
        field.initialise(*model, *curvature);
        field.cleanUp(*model, *curvature);
      } else {
        field.from(*model, *curvature);
      }
    } catch (const std::exception& e) {  // from() reports its own failures; keep the node safe
      field.clear();
      std::printf("SoGenerateFlowFieldHQ: %s\n", e.what());
    }
  }
  SoFlowFieldElementHQ::set(state, this, &field);
}

void SoGenerateFlowFieldHQ::GLRender(SoGLRenderAction* action) {
  // The published field depends on the state and on edits, not on fields.
  SoCacheElement::invalidate(action->getState());
  SoGenerateFlowFieldHQ::doAction(action);
  inherited::GLRender(action);
}

void SoGenerateFlowFieldHQ::callback(SoCallbackAction* action) {
  SoGenerateFlowFieldHQ::doAction(action);
  inherited::callback(action);
}
