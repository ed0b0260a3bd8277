#include "elements/SoIlluminatedGeometryElement.h"

SO_ELEMENT_SOURCE(SoIlluminatedGeometryElement);

void SoIlluminatedGeometryElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoIlluminatedGeometryElement, SoLineArrayElement);
}

SoIlluminatedGeometryElement::~SoIlluminatedGeometryElement() {}
