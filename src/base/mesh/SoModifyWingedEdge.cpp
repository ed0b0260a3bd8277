#include "mesh/SoModifyWingedEdge.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>

#include "core/StageTimes.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbMeshOperations.h"
#include "mesh/SbWingedEdgeModel.h"

#include <cstdio>
#include <exception>
#include <string>

SO_NODE_SOURCE(SoModifyWingedEdge);

void SoModifyWingedEdge::initClass() {
  SO_NODE_INIT_CLASS(SoModifyWingedEdge, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
}

SoModifyWingedEdge::SoModifyWingedEdge() {
  SO_NODE_CONSTRUCTOR(SoModifyWingedEdge);
  SO_NODE_ADD_FIELD(connectObjects, (FALSE));
  SO_NODE_ADD_FIELD(dividingMode, (3));
  SO_NODE_ADD_FIELD(dividingSteps, (0));
  SO_NODE_ADD_FIELD(polygonationMode, (FALSE));
  SO_NODE_ADD_FIELD(sharpAngle, (115.0f));
  SO_NODE_ADD_FIELD(smoothingSpeed, (1.0f));
  SO_NODE_ADD_FIELD(smoothingSteps, (0));
  SO_NODE_ADD_FIELD(subdivisionMode, (3));
  SO_NODE_ADD_FIELD(subdivisionSteps, (0));
  SO_NODE_ADD_FIELD(adaptiveSubdivisionSteps, (0));
  SO_NODE_ADD_FIELD(adaptiveSubdivisionMode, (3));
  SO_NODE_ADD_FIELD(useSharpAngles, (FALSE));
  SO_NODE_DEFINE_ENUM_VALUE(Scheme, DOO_SABIN);
  SO_NODE_DEFINE_ENUM_VALUE(Scheme, CATMULL_CLARK);
  SO_NODE_DEFINE_ENUM_VALUE(Scheme, LOOP);
  SO_NODE_DEFINE_ENUM_VALUE(Scheme, BUTTERFLY);
  SO_NODE_SET_SF_ENUM_TYPE(dividingMode, Scheme);
  SO_NODE_SET_SF_ENUM_TYPE(subdivisionMode, Scheme);
  SO_NODE_SET_SF_ENUM_TYPE(adaptiveSubdivisionMode, Scheme);
}

SoModifyWingedEdge::~SoModifyWingedEdge() {}

void SoModifyWingedEdge::markChanged() { changed = true; }

void SoModifyWingedEdge::notify(SoNotList* list) {
  changed = true;
  inherited::notify(list);
}

void SoModifyWingedEdge::GLRender(SoGLRenderAction* action) {
  SoCacheElement::invalidate(action->getState());
  doAction(action);
}

void SoModifyWingedEdge::callback(SoCallbackAction* action) { doAction(action); }

void SoModifyWingedEdge::doAction(SoAction* action) {
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(action->getState());
  if (!model || (model->modified && !changed)) return;
  StageTimer timer("modifier chain");
  std::string failure;
  lastProblem.clear();
  try {
    const SbMeshOperations::Settings s = settings();
    if (restoreInput(*model, SbMeshOperations::changes(s))) applyChain(*model, s);
  } catch (const std::exception& e) {
    failure = e.what()[0] ? e.what() : "exception";
  } catch (...) {
    failure = "unknown error";
  }
  if (!failure.empty()) {
    // Out of memory inside an operation: fall back to the unmodified input.
    std::printf("SoModifyWingedEdge: mesh operations failed (%s); the model is left as built\n", failure.c_str());
    lastProblem = "mesh operations failed (" + failure + "); the model is left as built";
    try {
      if (model->holdsSource)
        ;  // failed before changing anything
      else if (model->source && model->source != model)
        model->copyGeometryFrom(*model->source);
      else if (inputOf == model)
        model->copyGeometryFrom(input);
      else
        model->clear();
      SbMeshOperations::finish(*model);
    } catch (...) {
      model->clear();
      model->modified = true;
    }
  }
  changed = false;
}

bool SoModifyWingedEdge::restoreInput(SbWingedEdgeModel& model, bool chainChanges) {
  // Still the built objects themselves, unchanged.
  if (model.holdsSource) return true;
  if (!model.modified) {
    // The generator's fresh copy: edit it in place.
    if (!model.source || model.source == &model) {
      input.copyGeometryFrom(model);
      inputOf = &model;
    }
    return true;
  }
  if (model.source && model.source != &model) {
    // A chain that changes nothing needs no copy: the built objects serve.
    if (chainChanges)
      model.copyGeometryFrom(*model.source);
    else
      model.borrowGeometryFrom(*model.source);
    return true;
  }
  if (inputOf == &model) {
    model.copyGeometryFrom(input);
    return true;
  }
  std::printf(
      "SoModifyWingedEdge: no built model to start again from; the settings apply at the "
      "next build\n");
  return false;
}

SbMeshOperations::Settings SoModifyWingedEdge::settings() const {
  SbMeshOperations::Settings s;
  s.connectObjects = connectObjects.getValue();
  s.polygonation = polygonationMode.getValue();
  s.useSharpAngles = useSharpAngles.getValue();
  s.sharpAngle = sharpAngle.getValue();
  s.dividingMode = dividingMode.getValue();
  s.dividingSteps = dividingSteps.getValue();
  s.adaptiveSubdivisionMode = adaptiveSubdivisionMode.getValue();
  s.adaptiveSubdivisionSteps = adaptiveSubdivisionSteps.getValue();
  s.subdivisionMode = subdivisionMode.getValue();
  s.subdivisionSteps = subdivisionSteps.getValue();
  s.smoothingSteps = smoothingSteps.getValue();
  s.smoothingSpeed = smoothingSpeed.getValue();
  // A smoothing step moves each vertex by `speed` of the way to the mean of
  // its neighbours: beyond 1 (or below 0) every step overshoots further and
  // the mesh grows without bound, reaching infinity in the thousand steps
  // allowed. 0 leaves it unchanged.
  if (s.smoothingSteps > 0 && !(s.smoothingSpeed >= 0.0f && s.smoothingSpeed <= 1.0f)) {
    const float speed = s.smoothingSpeed > 1.0f ? 1.0f : 0.0f;
    std::printf("SoModifyWingedEdge: smoothingSpeed %g is outside 0..1; using %g\n", s.smoothingSpeed, speed);
    s.smoothingSpeed = speed;
  }
  return s;
}

void SoModifyWingedEdge::applyChain(SbWingedEdgeModel& model, const SbMeshOperations::Settings& s) {
  if (!SbMeshOperations::changes(s) && model.holdsSource) {
    // The built objects as they are: numbered, with normals and vertex-edge
    // lists; finishing them again would recompute the same values.
    model.modified = true;
    return;
  }
  model.keepSource();
  SbMeshOperations::apply(model, s, &lastProblem);
}
