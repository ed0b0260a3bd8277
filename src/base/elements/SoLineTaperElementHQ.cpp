#include "elements/SoLineTaperElementHQ.h"

SO_ELEMENT_SOURCE(SoLineTaperElementHQ);

void SoLineTaperElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineTaperElementHQ, inherited); }

SoLineTaperElementHQ::~SoLineTaperElementHQ() {}

void SoLineTaperElementHQ::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineTaperElementHQ::set(SoState* state, SoNode* node, int32_t count, const float* values) {
  auto* element = static_cast<SoLineTaperElementHQ*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const float* SoLineTaperElementHQ::get(SoState* state, int32_t& count) {
  auto* element = static_cast<const SoLineTaperElementHQ*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
