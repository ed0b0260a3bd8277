#include "elements/SoLineCoordinateIndexElement.h"

SO_ELEMENT_SOURCE(SoLineCoordinateIndexElement);

void SoLineCoordinateIndexElement::initClass() {
  SO_ELEMENT_INIT_CLASS(SoLineCoordinateIndexElement, SoLineArrayElement);
}

SoLineCoordinateIndexElement::~SoLineCoordinateIndexElement() {}
