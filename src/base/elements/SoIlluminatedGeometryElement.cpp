#include "elements/SoIlluminatedGeometryElement.h"

SO_ELEMENT_SOURCE(SoIlluminatedGeometryElement);

void SoIlluminatedGeometryElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoIlluminatedGeometryElement, inherited);
}

SoIlluminatedGeometryElement::~SoIlluminatedGeometryElement() {}

void SoIlluminatedGeometryElement::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoIlluminatedGeometryElement::set(SoState* state, SoNode* node, int32_t count,
                                       const float* values) {
  auto* element =
      static_cast<SoIlluminatedGeometryElement*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const float* SoIlluminatedGeometryElement::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoIlluminatedGeometryElement*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
