#include "elements/SoLineTriangleElementHQ.h"

SO_ELEMENT_SOURCE(SoLineTriangleElementHQ);

void SoLineTriangleElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineTriangleElementHQ, SoLineArrayElement); }

SoLineTriangleElementHQ::~SoLineTriangleElementHQ() {}
