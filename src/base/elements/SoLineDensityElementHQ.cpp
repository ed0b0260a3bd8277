#include "elements/SoLineDensityElementHQ.h"

SO_ELEMENT_SOURCE(SoLineDensityElementHQ);

void SoLineDensityElementHQ::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineDensityElementHQ, inherited);
}

SoLineDensityElementHQ::~SoLineDensityElementHQ() {}

void SoLineDensityElementHQ::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineDensityElementHQ::set(SoState* state, SoNode* node, int32_t count, const float* values) {
  auto* element = static_cast<SoLineDensityElementHQ*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const float* SoLineDensityElementHQ::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoLineDensityElementHQ*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
