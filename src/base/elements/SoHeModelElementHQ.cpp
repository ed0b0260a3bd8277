#include "elements/SoHeModelElementHQ.h"

SO_ELEMENT_SOURCE(SoHeModelElementHQ);

void SoHeModelElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoHeModelElementHQ, inherited); }

SoHeModelElementHQ::~SoHeModelElementHQ() {}

void SoHeModelElementHQ::init(SoState* state) {
  inherited::init(state);
  value = nullptr;
}

void SoHeModelElementHQ::set(SoState* state, SoNode* node, SbHeModelHQ* value) {
  auto* element = static_cast<SoHeModelElementHQ*>(getElement(state, classStackIndex, node));
  if (element) element->value = value;
}

SbHeModelHQ* SoHeModelElementHQ::get(SoState* state) {
  auto* element = static_cast<const SoHeModelElementHQ*>(getConstElement(state, classStackIndex));
  return element ? element->value : nullptr;
}
