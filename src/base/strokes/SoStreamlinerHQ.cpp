#include "strokes/SoStreamlinerHQ.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/misc/SoState.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "core/ProgressMeter.h"
#include "core/StageTimes.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

SO_NODE_SOURCE(SoStreamlinerHQ);

void SoStreamlinerHQ::initClass() {
  SO_NODE_INIT_CLASS(SoStreamlinerHQ, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
  SO_ENABLE(SoGLRenderAction, SoFlowFieldElementHQ);
  SO_ENABLE(SoGLRenderAction, SoCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoGLRenderAction, SoLineTriangleElementHQ);
  SO_ENABLE(SoGLRenderAction, SoLineTaperElementHQ);
  SO_ENABLE(SoGLRenderAction, SoLineThicknessElement);
  SO_ENABLE(SoGLRenderAction, SoLineDensityElementHQ);
  SO_ENABLE(SoGLRenderAction, SoLineParameterizationElement);
  SO_ENABLE(SoGLRenderAction, SoLineFamilyElementHQ);
  SO_ENABLE(SoCallbackAction, SoHeModelElementHQ);
  SO_ENABLE(SoCallbackAction, SoFlowFieldElementHQ);
  SO_ENABLE(SoCallbackAction, SoCoordinateElement);
  SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoCallbackAction, SoLineTriangleElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineTaperElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
  SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineParameterizationElement);
  SO_ENABLE(SoCallbackAction, SoLineFamilyElementHQ);
}

SoStreamlinerHQ::SoStreamlinerHQ() {
  SO_NODE_CONSTRUCTOR(SoStreamlinerHQ);
  SO_NODE_ADD_FIELD(doComputation, (TRUE));
  SO_NODE_ADD_FIELD(seperationDist, (0.02f));
  SO_NODE_ADD_FIELD(probeDist, (0.024f));
  SO_NODE_ADD_FIELD(sharpEdge, (115.0f));
  SO_NODE_ADD_FIELD(maxBend, (-1.0f));
  SO_NODE_ADD_FIELD(minLength, (-1.0f));
  SO_NODE_ADD_FIELD(maxLength, (-1.0f));
  SO_NODE_ADD_FIELD(stepSize, (-1.0f));
  SO_NODE_ADD_FIELD(taperMethod, (TM_PLANE));
  SO_NODE_ADD_FIELD(crossHatching, (FALSE));
  SO_NODE_DEFINE_ENUM_VALUE(TaperMethod, TM_NONE);
  SO_NODE_DEFINE_ENUM_VALUE(TaperMethod, TM_SPHERE);
  SO_NODE_DEFINE_ENUM_VALUE(TaperMethod, TM_PLANE);
  SO_NODE_DEFINE_ENUM_VALUE(TaperMethod, TM_PLANE_AVG);
  SO_NODE_SET_SF_ENUM_TYPE(taperMethod, TaperMethod);
}

SoStreamlinerHQ::~SoStreamlinerHQ() = default;

void SoStreamlinerHQ::compute(const SbHeModelHQ& model, const SbFlowFieldHQ& field, bool cross) {
  const int n = model.vertexCount();
  directions.assign(n, SbVec3f(0, 0, 0));
  for (int i = 0; i < n; ++i) {
    SbVec3f d = field.records[i]->direction;
    const float len = d.length();
    if (len > 0.0f && std::isfinite(len)) directions[i] = d / len;
  }
  SbStreamlineTracer::Settings settings;
  settings.seperationDist = seperationDist.getValue();
  settings.probeDist = probeDist.getValue();
  settings.sharpEdge = sharpEdge.getValue();
  settings.maxBend = maxBend.getValue();
  settings.minLength = minLength.getValue();
  settings.maxLength = maxLength.getValue();
  settings.stepSize = stepSize.getValue();
  std::vector<std::string> notes;
  param = SbStreamlineTracer::derive(settings, model.size(), &notes);
  for (const std::string& note : notes) std::printf("SoStreamlinerHQ: %s\n", note.c_str());
  tracedTaper = taperMethod.getValue();
  crossTraced = false;

  SbStreamlineTracer tracer(model, directions, param);
  const float size = param.size;
  if (tracer.parameters().stepSize > param.stepSize)
    std::printf(
        "SoStreamlinerHQ: a step of %g model sizes would take more than %g steps on this model; "
        "using %g\n",
        static_cast<double>(param.stepSize / size), SbStreamlineTracer::kStepBudget,
        static_cast<double>(tracer.parameters().stepSize / size));
  param = tracer.parameters();
  ++computeCount;
  if (param.minLength > tracer.longestStroke()) {
    std::printf("SoStreamlinerHQ: minLength %g is longer than any stroke on this model can be (%g); no strokes\n",
                static_cast<double>(minLength.getValue()), tracer.longestStroke() / size);
    strokeSet.clear();
    crossTraced = true;  // neither family can have any
    return;
  }
  // One report for both families when they are traced together.
  ProgressMeter meter;
  const bool metered = meter.begin("SoStreamlinerHQ", (cross ? 2 : 1) * model.triangleCount());
  if (!cross) {
    tracer.hatch(strokeSet, tracedTaper, metered ? &meter : nullptr);
  } else {
    // The families are independent (each keeps its strokes apart from its
    // own only): the cross family, its field and its tracer (which shares
    // the first one's face frames) are made on a second thread meanwhile.
    StrokeSet crossSet;
    std::atomic<int> crossFaces{0};
    std::atomic<bool> crossDone{false};
    std::exception_ptr crossFailure;
    std::thread worker([&] {
      try {
        crossField(model, field);
        SbStreamlineTracer crossTracer(tracer, crossDirections);
        crossTracer.hatch(crossSet, tracedTaper, nullptr, &crossFaces);
      } catch (...) {
        crossFailure = std::current_exception();
      }
      crossDone = true;
    });
    std::exception_ptr failure;
    try {
      tracer.hatch(strokeSet, tracedTaper, metered ? &meter : nullptr);
    } catch (...) {
      failure = std::current_exception();
    }
    // The meter (and the window's progress bar) belong to this thread: it
    // steps them for the other family's faces as they are done, until a
    // failure (the application's callback may throw); the worker is waited
    // for in any case.
    int stepped = 0;
    for (;;) {
      const bool done = crossDone;
      const int faces = crossFaces;
      try {
        for (; stepped < faces && !failure; ++stepped)
          if (metered) meter.step();
      } catch (...) {
        failure = std::current_exception();
      }
      if (done) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
    if (crossFailure) std::rethrow_exception(crossFailure);
    strokeSet.appendCross(crossSet);
    crossTraced = true;
  }
  if (metered) meter.end();
}

void SoStreamlinerHQ::crossField(const SbHeModelHQ& model, const SbFlowFieldHQ& field) {
  // The field's cross direction, or the perpendicular of its direction in
  // the tangent plane where the cross is not usable.
  const int n = model.vertexCount();
  crossDirections.assign(n, SbVec3f(0, 0, 0));
  for (int i = 0; i < n; ++i) {
    const FlowRecord& r = *field.records[i];
    SbVec3f d = r.cross;
    float len = d.length();
    if (!(len > 1e-6f) || !std::isfinite(len)) {
      d = r.direction.cross(model.vertices[i]->normal);
      len = d.length();
    }
    if (len > 1e-6f && std::isfinite(len)) crossDirections[i] = d / len;
  }
}

void SoStreamlinerHQ::traceCross(const SbHeModelHQ& model, const SbFlowFieldHQ& field, ProgressMeter* meter) {
  crossField(model, field);
  StrokeSet cross;
  SbStreamlineTracer own(model, crossDirections, param);
  own.hatch(cross, tracedTaper, meter);
  strokeSet.appendCross(cross);
  crossTraced = true;
}

void SoStreamlinerHQ::publish(SoState* state) {
  const StrokeSet& s = strokeSet;
  const int32_t points = static_cast<int32_t>(s.points.size());
  SoCoordinateElement::set3(state, this, points, points ? s.points.data() : nullptr);
  const int32_t indices = static_cast<int32_t>(s.indices.size());
  SoLineCoordinateIndexElement::set(state, this, indices, indices ? s.indices.data() : nullptr);
  const int32_t faces = static_cast<int32_t>(s.faces.size());
  SoLineTriangleElementHQ::set(state, this, faces, faces ? s.faces.data() : nullptr);
  const int32_t taper = static_cast<int32_t>(s.taper.size());
  SoLineTaperElementHQ::set(state, this, taper, taper ? s.taper.data() : nullptr);
  const int32_t family = static_cast<int32_t>(s.family.size());
  SoLineFamilyElementHQ::set(state, this, family, family ? s.family.data() : nullptr);
  // Arrays of earlier stages do not match the strokes' indices.
  SoLineThicknessElement::set(state, this, 0, nullptr);
  SoLineDensityElementHQ::set(state, this, 0, nullptr);
  SoLineParameterizationElement::set(state, this, 0, nullptr);
}

void SoStreamlinerHQ::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (!state || !state->isElementEnabled(SoHeModelElementHQ::getClassStackIndex()) ||
      !state->isElementEnabled(SoFlowFieldElementHQ::getClassStackIndex()) ||
      !state->isElementEnabled(SoLineCoordinateIndexElement::getClassStackIndex()))
    return;
  if (!doComputation.getValue()) return;
  SbHeModelHQ* model = SoHeModelElementHQ::get(state);
  SbFlowFieldHQ* field = SoFlowFieldElementHQ::get(state);
  // A field built for another model is as good as none.
  if (!model || !field || !field->matches(*model)) return;
  const bool cross = crossHatching.getValue();
  StageTimer timer("streamlines");
  try {
    if (!computed || model->stamp != modelStamp || field->stamp != fieldStamp) {
      computed = true;
      modelStamp = model->stamp;
      fieldStamp = field->stamp;
      compute(*model, *field, cross);
    } else if (cross && !crossTraced) {
      // The cross family alone, with the parameters the first one was traced with.
      ProgressMeter meter;
      const bool metered = meter.begin("SoStreamlinerHQ", model->triangleCount());
      traceCross(*model, *field, metered ? &meter : nullptr);
      if (metered) meter.end();
    } else if (!cross && crossTraced) {
      strokeSet.dropCross();
      crossTraced = false;
    }
  } catch (const std::exception& e) {
    strokeSet.clear();
    crossTraced = cross;  // nothing to add until the next computation
    std::printf("SoStreamlinerHQ: %s\n", e.what());
  }
  publish(state);
}

void SoStreamlinerHQ::GLRender(SoGLRenderAction* action) {
  // The strokes depend on the model and field in the state, not on fields.
  SoCacheElement::invalidate(action->getState());
  SoStreamlinerHQ::doAction(action);
}

void SoStreamlinerHQ::callback(SoCallbackAction* action) { SoStreamlinerHQ::doAction(action); }
