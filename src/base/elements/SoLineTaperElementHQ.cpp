#include "elements/SoLineTaperElementHQ.h"

SO_ELEMENT_SOURCE(SoLineTaperElementHQ);

void SoLineTaperElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineTaperElementHQ, SoLineArrayElement); }

SoLineTaperElementHQ::~SoLineTaperElementHQ() {}
