#include "elements/SoLineThicknessElement.h"

SO_ELEMENT_SOURCE(SoLineThicknessElement);

void SoLineThicknessElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineThicknessElement, inherited);
}

SoLineThicknessElement::~SoLineThicknessElement() {}

void SoLineThicknessElement::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineThicknessElement::set(SoState* state, SoNode* node, int32_t count, const float* values) {
  auto* element = static_cast<SoLineThicknessElement*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const float* SoLineThicknessElement::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoLineThicknessElement*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
