#include "elements/SoLineFamilyElementHQ.h"

SO_ELEMENT_SOURCE(SoLineFamilyElementHQ);

void SoLineFamilyElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineFamilyElementHQ, inherited); }

SoLineFamilyElementHQ::~SoLineFamilyElementHQ() {}

void SoLineFamilyElementHQ::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineFamilyElementHQ::set(SoState* state, SoNode* node, int32_t count, const float* values) {
  auto* element = static_cast<SoLineFamilyElementHQ*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const float* SoLineFamilyElementHQ::get(SoState* state, int32_t& count) {
  auto* element = static_cast<const SoLineFamilyElementHQ*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
