#include "lines/SoLinePurifier.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>

#include <cmath>
#include <cstdio>
#include <exception>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/LineSetState.h"
#include "lines/SbLinePurifier.h"

SO_NODE_SOURCE(SoLinePurifier);

void SoLinePurifier::initClass() {
  SO_NODE_INIT_CLASS(SoLinePurifier, SoLineModifier, "SoLineModifier");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
}

SoLinePurifier::SoLinePurifier() {
  SO_NODE_CONSTRUCTOR(SoLinePurifier);
  SO_NODE_ADD_FIELD(purifyMethod, (ELIMINATE_ZIG_ZAGS));
  SO_NODE_ADD_FIELD(threshold, (-1.0f));
  SO_NODE_ADD_FIELD(active, (TRUE));
  SO_NODE_DEFINE_ENUM_VALUE(PurifyMethod, ELIMINATE_SUBPIXEL_LENGTHS);
  SO_NODE_DEFINE_ENUM_VALUE(PurifyMethod, ELIMINATE_ZIG_ZAGS);
  SO_NODE_DEFINE_ENUM_VALUE(PurifyMethod, ELIMINATE_SHARP_ANGLES);
  SO_NODE_DEFINE_ENUM_VALUE(PurifyMethod, ELIMINATE_SHORT_SEGMENTS);
  SO_NODE_SET_SF_ENUM_TYPE(purifyMethod, PurifyMethod);
}

SoLinePurifier::~SoLinePurifier() = default;

void SoLinePurifier::doAction(SoAction* action) {
  if (!active.getValue()) return;
  try {
    SoState* state = action->getState();
    const int m = purifyMethod.getValue();
    if (m < ELIMINATE_SUBPIXEL_LENGTHS || m > ELIMINATE_SHORT_SEGMENTS) return;
    const auto method = static_cast<SbLinePurifier::Method>(m);
    if (threshold.getValue() < 0.0f) {
      const SbBool notifying = threshold.enableNotify(FALSE);  // no re-render for our own default
      threshold.setValue(SbLinePurifier::defaultThreshold(method));
      threshold.enableNotify(notifying);
    }
    SbLineSet input;
    linestate::readLineSet(state, input);
    if (input.indices.empty()) return;
    SoCacheElement::invalidate(state);  // screen positions follow the camera
    const SbWindowProjector projector = stateProjector(state);
    std::vector<SbVec2d> screen(input.points.size());
    std::vector<char> valid(input.points.size(), 0);
    for (size_t i = 0; i < input.points.size(); ++i) {
      double x = 0.0, y = 0.0, z = 0.0;
      valid[i] = projector.project(input.points[i], x, y, z);
      screen[i].setValue(x, y);
    }
    output = SbLinePurifier::run(input, screen, valid, method, threshold.getValue());
    linestate::publishLineSet(state, this, output);
  } catch (const std::exception& e) {
    printf("SoLinePurifier::doAction: %s\n", e.what());
  }
}

void SoLinePurifier::GLRender(SoGLRenderAction* action) { doAction(action); }
void SoLinePurifier::callback(SoCallbackAction* action) { doAction(action); }
