#include "elements/SoLineSettingsElementHQ.h"

SO_ELEMENT_SOURCE(SoLineSettingsElementHQ);

void SoLineSettingsElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineSettingsElementHQ, inherited); }

SoLineSettingsElementHQ::~SoLineSettingsElementHQ() {}

void SoLineSettingsElementHQ::init(SoState* state) {
  inherited::init(state);
  value = nullptr;
}

void SoLineSettingsElementHQ::set(SoState* state, SoNode* node, SbLineSettingsHQ* value) {
  auto* element = static_cast<SoLineSettingsElementHQ*>(getElement(state, classStackIndex, node));
  if (element) element->value = value;
}

SbLineSettingsHQ* SoLineSettingsElementHQ::get(SoState* state) {
  auto* element = static_cast<const SoLineSettingsElementHQ*>(getConstElement(state, classStackIndex));
  return element ? element->value : nullptr;
}
