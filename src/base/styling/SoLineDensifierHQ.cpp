#include "styling/SoLineDensifierHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>

#include "elements/SoLineDensityElementHQ.h"

SO_NODE_SOURCE(SoLineDensifierHQ);

void SoLineDensifierHQ::initClass() {
  if (SoLineStrokeValueHQ::getClassTypeId() == SoType::badType()) SoLineStrokeValueHQ::initClass();
  SO_NODE_INIT_CLASS(SoLineDensifierHQ, SoLineStrokeValueHQ, "SoLineStrokeValueHQ");
  enableCommonElements();
  SO_ENABLE(SoGLRenderAction, SoLineDensityElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
}

SoLineDensifierHQ::SoLineDensifierHQ() { SO_NODE_CONSTRUCTOR(SoLineDensifierHQ); }

SoLineDensifierHQ::~SoLineDensifierHQ() {}

const float* SoLineDensifierHQ::earlierValues(SoState* state, int32_t& count) const {
  return SoLineDensityElementHQ::get(state, count);
}

void SoLineDensifierHQ::publish(SoState* state, int32_t count, const float* values) {
  SoLineDensityElementHQ::set(state, this, count, values);
}
