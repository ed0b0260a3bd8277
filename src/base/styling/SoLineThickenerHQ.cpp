#include "styling/SoLineThickenerHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>

#include "elements/SoLineThicknessElement.h"

SO_NODE_SOURCE(SoLineThickenerHQ);

void SoLineThickenerHQ::initClass() {
  if (SoLineStrokeValueHQ::getClassTypeId() == SoType::badType()) SoLineStrokeValueHQ::initClass();
  SO_NODE_INIT_CLASS(SoLineThickenerHQ, SoLineStrokeValueHQ, "SoLineStrokeValueHQ");
  enableCommonElements();
  SO_ENABLE(SoGLRenderAction, SoLineThicknessElement);
  SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
}

SoLineThickenerHQ::SoLineThickenerHQ() { SO_NODE_CONSTRUCTOR(SoLineThickenerHQ); }

SoLineThickenerHQ::~SoLineThickenerHQ() {}

const float* SoLineThickenerHQ::earlierValues(SoState* state, int32_t& count) const {
  return SoLineThicknessElement::get(state, count);
}

void SoLineThickenerHQ::publish(SoState* state, int32_t count, const float* values) {
  SoLineThicknessElement::set(state, this, count, values);
}
