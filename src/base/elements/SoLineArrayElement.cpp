#include "elements/SoLineArrayElement.h"

SO_ELEMENT_ABSTRACT_SOURCE(SoLineArrayElement);

void SoLineArrayElement::initClass() { SO_ELEMENT_INIT_ABSTRACT_CLASS(SoLineArrayElement, inherited); }

SoLineArrayElement::~SoLineArrayElement() {}

void SoLineArrayElement::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineArrayElement::setArray(SoState* state, int stackIndex, SoNode* node, int32_t count, const void* values) {
  auto* element = static_cast<SoLineArrayElement*>(getElement(state, stackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const void* SoLineArrayElement::getArray(SoState* state, int stackIndex, int32_t& count) {
  auto* element = static_cast<const SoLineArrayElement*>(getConstElement(state, stackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
