#include "elements/SoLineTriangleElementHQ.h"

SO_ELEMENT_SOURCE(SoLineTriangleElementHQ);

void SoLineTriangleElementHQ::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineTriangleElementHQ, inherited);
}

SoLineTriangleElementHQ::~SoLineTriangleElementHQ() {}

void SoLineTriangleElementHQ::init(SoState* state) {
  inherited::init(state);
  count = 0;
  values = nullptr;
}

void SoLineTriangleElementHQ::set(SoState* state, SoNode* node, int32_t count,
                                  const HeTriangle* const* values) {
  auto* element = static_cast<SoLineTriangleElementHQ*>(getElement(state, classStackIndex, node));
  if (!element) return;
  element->count = values && count > 0 ? count : 0;
  element->values = values;
}

const HeTriangle* const* SoLineTriangleElementHQ::get(SoState* state, int32_t& count) {
  auto* element =
      static_cast<const SoLineTriangleElementHQ*>(getConstElement(state, classStackIndex));
  if (!element) {
    count = 0;
    return nullptr;
  }
  count = element->count;
  return element->values;
}
