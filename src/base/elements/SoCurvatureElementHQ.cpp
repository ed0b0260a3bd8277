#include "elements/SoCurvatureElementHQ.h"

SO_ELEMENT_SOURCE(SoCurvatureElementHQ);

void SoCurvatureElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoCurvatureElementHQ, inherited); }

SoCurvatureElementHQ::~SoCurvatureElementHQ() {}

void SoCurvatureElementHQ::init(SoState* state) {
  inherited::init(state);
  value = nullptr;
}

void SoCurvatureElementHQ::set(SoState* state, SoNode* node, SbCurvatureHQ* value) {
  auto* element = static_cast<SoCurvatureElementHQ*>(getElement(state, classStackIndex, node));
  if (element) element->value = value;
}

SbCurvatureHQ* SoCurvatureElementHQ::get(SoState* state) {
  auto* element = static_cast<const SoCurvatureElementHQ*>(getConstElement(state, classStackIndex));
  return element ? element->value : nullptr;
}
