#include "elements/SoLineThicknessElement.h"

SO_ELEMENT_SOURCE(SoLineThicknessElement);

void SoLineThicknessElement::initClass() { SO_ELEMENT_INIT_CLASS(SoLineThicknessElement, SoLineArrayElement); }

SoLineThicknessElement::~SoLineThicknessElement() {}
