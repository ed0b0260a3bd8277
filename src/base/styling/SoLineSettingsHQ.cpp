#include "styling/SoLineSettingsHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/misc/SoState.h>

#include <cmath>

#include "elements/SoLineSettingsElementHQ.h"

SO_NODE_SOURCE(SoLineSettingsHQ);

void SoLineSettingsHQ::initClass() {
  SO_NODE_INIT_CLASS(SoLineSettingsHQ, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoLineSettingsElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineSettingsElementHQ);
}

SoLineSettingsHQ::SoLineSettingsHQ() {
  SO_NODE_CONSTRUCTOR(SoLineSettingsHQ);
  SO_NODE_ADD_FIELD(rebalance, (TRUE));
  SO_NODE_ADD_FIELD(lineWidth, (4.0f));
  SO_NODE_ADD_FIELD(tolerance, (2.0f));
  SO_NODE_ADD_FIELD(maxWidth, (4.0f));
  SO_NODE_ADD_FIELD(minDistance, (2.0f));
  SO_NODE_ADD_FIELD(maxDistance, (100.0f));
  SO_NODE_ADD_FIELD(pixelsPerPoint, (1.0f));
}

SoLineSettingsHQ::~SoLineSettingsHQ() {}

void SoLineSettingsHQ::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (!state || !state->isElementEnabled(SoLineSettingsElementHQ::getClassStackIndex())) return;
  record.setRebalance(rebalance.getValue() != FALSE);
  const float given = pixelsPerPoint.getValue();
  const float scale = std::isfinite(given) && given > 0.0f ? given : 1.0f;
  record.setLineWidth(lineWidth.getValue() * scale);
  record.setTolerance(tolerance.getValue() * scale * scale);
  record.setMaxWidth(maxWidth.getValue() * scale);
  record.setRange(minDistance.getValue(), maxDistance.getValue());
  SoLineSettingsElementHQ::set(state, this, &record);
}

void SoLineSettingsHQ::GLRender(SoGLRenderAction* action) { SoLineSettingsHQ::doAction(action); }

void SoLineSettingsHQ::callback(SoCallbackAction* action) { SoLineSettingsHQ::doAction(action); }
