#include "elements/SoLineParameterizationElement.h"

SO_ELEMENT_SOURCE(SoLineParameterizationElement);

void SoLineParameterizationElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineParameterizationElement, inherited);
}

SoLineParameterizationElement::~SoLineParameterizationElement() {}

void SoLineParameterizationElement::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineParameterizationElement::set(SoState* state, SoNode* node, int32_t count,
                                        const float* values) {
  auto* element =
      static_cast<SoLineParameterizationElement*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const float* SoLineParameterizationElement::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoLineParameterizationElement*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
