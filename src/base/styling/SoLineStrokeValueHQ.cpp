#include "styling/SoLineStrokeValueHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/misc/SoState.h>

#include <cmath>
#include <exception>

#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/LineSetState.h"

SO_NODE_ABSTRACT_SOURCE(SoLineStrokeValueHQ);

void SoLineStrokeValueHQ::initClass() { SO_NODE_INIT_ABSTRACT_CLASS(SoLineStrokeValueHQ, SoNode, "Node"); }

void SoLineStrokeValueHQ::enableCommonElements() {
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
  SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
  SO_ENABLE(SoCallbackAction, SoHeModelElementHQ);
  SO_ENABLE(SoGLRenderAction, SoCurvatureElementHQ);
  SO_ENABLE(SoCallbackAction, SoCurvatureElementHQ);
  SO_ENABLE(SoGLRenderAction, SoViewVolumeElement);
  SO_ENABLE(SoCallbackAction, SoViewVolumeElement);
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
  SO_ENABLE(SoCallbackAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewingMatrixElement);
  SO_ENABLE(SoCallbackAction, SoViewingMatrixElement);
}

SoLineStrokeValueHQ::SoLineStrokeValueHQ() {
  SO_NODE_CONSTRUCTOR(SoLineStrokeValueHQ);
  SO_NODE_ADD_FIELD(value, (1.0f));
  SO_NODE_ADD_FIELD(method, (CONSTANT));
  SO_NODE_ADD_FIELD(apply, (REPLACE));
  SO_NODE_ADD_FIELD(workInPlace, (TRUE));
  SO_NODE_ADD_FIELD(parserExpression, (""));
  SO_NODE_ADD_FIELD(crossStart, (0.4f));
  SO_NODE_ADD_FIELD(crossFull, (0.5f));
  SO_NODE_DEFINE_ENUM_VALUE(Method, PARSER);
  SO_NODE_DEFINE_ENUM_VALUE(Method, CONSTANT);
  SO_NODE_DEFINE_ENUM_VALUE(Method, CURVATURE);
  SO_NODE_DEFINE_ENUM_VALUE(Method, DEPTH);
  SO_NODE_DEFINE_ENUM_VALUE(Method, LIGHT);
  SO_NODE_DEFINE_ENUM_VALUE(Method, RIM);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, REPLACE);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, ADD);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, SUB);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, MUL);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, SCREEN);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, MIN);
  SO_NODE_DEFINE_ENUM_VALUE(Apply, MAX);
  SO_NODE_SET_SF_ENUM_TYPE(method, Method);
  SO_NODE_SET_SF_ENUM_TYPE(apply, Apply);
}

SoLineStrokeValueHQ::~SoLineStrokeValueHQ() {}

void SoLineStrokeValueHQ::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (!state || !state->isElementEnabled(SoLineCoordinateIndexElement::getClassStackIndex()) ||
      !state->isElementEnabled(SoCoordinateElement::getClassStackIndex()))
    return;
  try {
    int32_t earlierCount = 0;
    const float* earlier = earlierValues(state, earlierCount);
    if (earlierCount < 1) earlier = nullptr;

    if (method.getValue() == PARSER) parser.parse(parserExpression.getValue().getString());

    SbStrokeValuesHQ::Input in;
    linestate::viewLineSet(state, in.lines, pointCopy);
    in.crossStart = crossStart.getValue();
    in.crossFull = crossFull.getValue();
    in.curvature = SoCurvatureElementHQ::get(state);
    // The camera's matrices are there in render and callback actions; in an
    // action without them depth and directions use the defaults.
    if (state->isElementEnabled(SoViewVolumeElement::getClassStackIndex()))
      in.viewVolume = SoViewVolumeElement::get(state);
    else
      in.viewVolume.ortho(-1, 1, -1, 1, 1, 10);
    if (state->isElementEnabled(SoModelMatrixElement::getClassStackIndex()))
      in.modelMatrix = SoModelMatrixElement::get(state);
    if (state->isElementEnabled(SoViewingMatrixElement::getClassStackIndex()))
      in.viewingMatrix = SoViewingMatrixElement::get(state);

    if (!SbStrokeValuesHQ::compute(in, method.getValue(), value.getValue(), parser, computed)) {
      publish(state, 0, nullptr);
      return;
    }
    const int32_t n = static_cast<int32_t>(computed.size());
    if (n == 0) {
      publish(state, 0, nullptr);
      return;
    }

    // The list a value is combined into. An earlier list serves only when it
    // covers every stroke point; our own list from a previous traversal is
    // never an earlier value (combining into it would pile up every render).
    int applyMode = apply.getValue();
    float* target = nullptr;
    bool inPlace = false;
    const bool earlierUsable = earlier && earlierCount >= n && earlier != own.data();
    if (earlierUsable && workInPlace.getValue()) {
      target = const_cast<float*>(earlier);  // the earlier node lends its list for this traversal
      inPlace = true;
    } else if (earlierUsable) {
      own.assign(earlier, earlier + n);
      target = own.data();
    } else {
      own.assign(static_cast<size_t>(n), 1.0f);
      target = own.data();
      applyMode = REPLACE;
    }
    for (int32_t i = 0; i < n; ++i) {
      const float r = SbStrokeValuesHQ::combine(applyMode, target[i], computed[static_cast<size_t>(i)]);
      target[i] = std::isnan(r) ? 0.0f : r;
    }
    if (!inPlace) publish(state, n, own.data());
  } catch (const std::exception& e) {
    std::printf("%s::doAction: %s\n", getTypeId().getName().getString(), e.what());
    publish(state, 0, nullptr);
  }
}

void SoLineStrokeValueHQ::GLRender(SoGLRenderAction* action) {
  // The values depend on the stroke set and the camera in the state.
  SoCacheElement::invalidate(action->getState());
  SoLineStrokeValueHQ::doAction(action);
}

void SoLineStrokeValueHQ::callback(SoCallbackAction* action) { SoLineStrokeValueHQ::doAction(action); }
