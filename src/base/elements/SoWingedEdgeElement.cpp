#include "elements/SoWingedEdgeElement.h"

SO_ELEMENT_SOURCE(SoWingedEdgeElement);

void SoWingedEdgeElement::initClass() { SO_ELEMENT_INIT_CLASS(SoWingedEdgeElement, inherited); }

SoWingedEdgeElement::~SoWingedEdgeElement() {}

void SoWingedEdgeElement::init(SoState* state) {
  inherited::init(state);
  model = nullptr;
}

void SoWingedEdgeElement::set(SoState* state, SoNode* node, SbWingedEdgeModel* model) {
  auto* element = static_cast<SoWingedEdgeElement*>(getElement(state, classStackIndex, node));
  if (element) element->model = model;
}

SbWingedEdgeModel* SoWingedEdgeElement::get(SoState* state) {
  auto* element = static_cast<const SoWingedEdgeElement*>(getConstElement(state, classStackIndex));
  return element ? element->model : nullptr;
}
