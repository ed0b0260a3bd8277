#include "elements/SoLineParameterizationElement.h"

SO_ELEMENT_SOURCE(SoLineParameterizationElement);

void SoLineParameterizationElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineParameterizationElement, SoLineArrayElement);
}

SoLineParameterizationElement::~SoLineParameterizationElement() {}
