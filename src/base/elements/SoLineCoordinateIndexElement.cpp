#include "elements/SoLineCoordinateIndexElement.h"

SO_ELEMENT_SOURCE(SoLineCoordinateIndexElement);

void SoLineCoordinateIndexElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineCoordinateIndexElement, inherited);
}

SoLineCoordinateIndexElement::~SoLineCoordinateIndexElement() {}

void SoLineCoordinateIndexElement::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineCoordinateIndexElement::set(SoState* state, SoNode* node, int32_t count,
                                       const int32_t* values) {
  auto* element =
      static_cast<SoLineCoordinateIndexElement*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const int32_t* SoLineCoordinateIndexElement::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoLineCoordinateIndexElement*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
