#include "elements/SoLineTextureCoordinateElement.h"

SO_ELEMENT_SOURCE(SoLineTextureCoordinateElement);

void SoLineTextureCoordinateElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineTextureCoordinateElement, inherited);
}

SoLineTextureCoordinateElement::~SoLineTextureCoordinateElement() {}

void SoLineTextureCoordinateElement::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineTextureCoordinateElement::set(SoState* state, SoNode* node, int32_t count,
                                         const SbVec2f* values) {
  auto* element =
      static_cast<SoLineTextureCoordinateElement*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const SbVec2f* SoLineTextureCoordinateElement::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoLineTextureCoordinateElement*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
