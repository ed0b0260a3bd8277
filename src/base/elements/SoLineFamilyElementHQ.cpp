#include "elements/SoLineFamilyElementHQ.h"

SO_ELEMENT_SOURCE(SoLineFamilyElementHQ);

void SoLineFamilyElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineFamilyElementHQ, SoLineArrayElement); }

SoLineFamilyElementHQ::~SoLineFamilyElementHQ() {}
