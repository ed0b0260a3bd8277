#include "lines/SoLineConcatenator.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCoordinateElement.h>

#include <cstdio>
#include <exception>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/LineSetState.h"
#include "lines/SbLineConcatenator.h"

SO_NODE_SOURCE(SoLineConcatenator);

void SoLineConcatenator::initClass() {
  SO_NODE_INIT_CLASS(SoLineConcatenator, SoLineModifier, "SoLineModifier");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
}

SoLineConcatenator::SoLineConcatenator() { SO_NODE_CONSTRUCTOR(SoLineConcatenator); }

SoLineConcatenator::~SoLineConcatenator() = default;

void SoLineConcatenator::doAction(SoAction* action) {
  try {
    SoState* state = action->getState();
    SbLineSet input;
    linestate::readLineSet(state, input);
    if (input.indices.empty()) return;
    output = SbLineConcatenator::run(input);
    linestate::publishLineSet(state, this, output);
  } catch (const std::exception& e) {
    printf("SoLineConcatenator::doAction: %s\n", e.what());
  }
}

void SoLineConcatenator::GLRender(SoGLRenderAction* action) { doAction(action); }
void SoLineConcatenator::callback(SoCallbackAction* action) { doAction(action); }
