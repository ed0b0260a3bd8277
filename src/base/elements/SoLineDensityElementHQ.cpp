#include "elements/SoLineDensityElementHQ.h"

SO_ELEMENT_SOURCE(SoLineDensityElementHQ);

void SoLineDensityElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineDensityElementHQ, SoLineArrayElement); }

SoLineDensityElementHQ::~SoLineDensityElementHQ() {}
