#include "elements/SoLineTextureCoordinateElement.h"

SO_ELEMENT_SOURCE(SoLineTextureCoordinateElement);

void SoLineTextureCoordinateElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineTextureCoordinateElement, SoLineArrayElement);
}

SoLineTextureCoordinateElement::~SoLineTextureCoordinateElement() {}
