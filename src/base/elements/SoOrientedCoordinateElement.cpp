#include "elements/SoOrientedCoordinateElement.h"

SO_ELEMENT_SOURCE(SoOrientedCoordinateElement);

namespace {
const SbVec2f defaultValue[1] = {SbVec2f(0.0f, 1.0f)};
}

void SoOrientedCoordinateElement::initClass() { SO_ELEMENT_INIT_CLASS(SoOrientedCoordinateElement, inherited); }

SoOrientedCoordinateElement::~SoOrientedCoordinateElement() {}

void SoOrientedCoordinateElement::init(SoState* state) {
  inherited::init(state);
  count = 1;
  values = defaultValue;
}

void SoOrientedCoordinateElement::set(SoState* state, SoNode* node, int32_t count, const SbVec2f* values) {
  auto* element = static_cast<SoOrientedCoordinateElement*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const SbVec2f* SoOrientedCoordinateElement::get(SoState* state, int32_t& count) {
  auto* element = static_cast<const SoOrientedCoordinateElement*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 1;
    return defaultValue;
  }
  count = element->count;
  return element->values;
}
