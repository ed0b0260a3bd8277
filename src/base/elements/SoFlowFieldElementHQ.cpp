#include "elements/SoFlowFieldElementHQ.h"

SO_ELEMENT_SOURCE(SoFlowFieldElementHQ);

void SoFlowFieldElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoFlowFieldElementHQ, inherited); }

SoFlowFieldElementHQ::~SoFlowFieldElementHQ() {}

void SoFlowFieldElementHQ::init(SoState* state) {
  inherited::init(state);
  value = nullptr;
}

void SoFlowFieldElementHQ::set(SoState* state, SoNode* node, SbFlowFieldHQ* value) {
  auto* element = static_cast<SoFlowFieldElementHQ*>(getElement(state, classStackIndex, node));
  if (element) element->value = value;
}

SbFlowFieldHQ* SoFlowFieldElementHQ::get(SoState* state) {
  auto* element = static_cast<const SoFlowFieldElementHQ*>(getConstElement(state, classStackIndex));
  return element ? element->value : nullptr;
}
