#include "mesh/SbMeshOperations.h"

#include <cstdio>
#include <string>

#include "mesh/SbConnectObjects.h"
#include "mesh/SbPolygonation.h"
#include "mesh/SbSharpEdges.h"
#include "mesh/SbSmoothing.h"
#include "mesh/SbSubdivision.h"

namespace {

// Vertex-edge lists and normals current, as the schemes and markers expect.
void refresh(WeObject& o) {
  o.buildVertexEdges();
  o.computeNormals();
}

bool offered(const char* operation, int scheme, int lowest, int highest, std::string& problem) {
  if (scheme >= lowest && scheme <= highest) return true;
  char message[160];
  std::snprintf(message, sizeof message, "%s mode %d is not a scheme for it; %s skipped", operation, scheme, operation);
  std::printf("SbMeshOperations::apply: %s\n", message);
  if (problem.empty()) problem = message;
  return false;
}

bool fits(const SbWingedEdgeModel& model, int scheme, int steps, std::string& problem) {
  std::string why;
  if (SbSubdivision::fitsMemory(model, scheme, steps, &why)) return true;
  if (problem.empty()) problem = why;
  return false;
}

}  // namespace

bool SbMeshOperations::apply(SbWingedEdgeModel& model, const Settings& s, std::string* refused) {
  std::string problem;
  if (s.connectObjects) SbConnectObjects::connect(model);

  if (s.polygonation)
    for (WeObject& o : model.objects) SbPolygonation::mergeLargeFaces(o, kLargeFaceToleranceDegrees);

  if (s.useSharpAngles)
    for (WeObject& o : model.objects) SbSharpEdges::mark(o, s.sharpAngle);

  if (s.dividingSteps > 0 && offered("dividing", s.dividingMode, 2, 4, problem) &&
      fits(model, s.dividingMode, s.dividingSteps, problem)) {
    for (WeObject& o : model.objects)
      for (int i = 0; i < s.dividingSteps; ++i) {
        refresh(o);
        SbSubdivision::step(o, s.dividingMode, false);
      }
  }

  // An adaptive step refines at most every triangle 1-to-4, as a Loop step does.
  if (s.adaptiveSubdivisionSteps > 0 && offered("adaptive subdivision", s.adaptiveSubdivisionMode, 3, 4, problem) &&
      fits(model, SbSubdivision::LOOP, s.adaptiveSubdivisionSteps, problem)) {
    for (WeObject& o : model.objects)
      for (int i = 0; i < s.adaptiveSubdivisionSteps; ++i) {
        refresh(o);
        SbSubdivision::adaptiveStep(o, s.adaptiveSubdivisionMode, kAdaptiveFeatureAngleDegrees);
      }
  }

  if (s.subdivisionSteps > 0 && offered("subdivision", s.subdivisionMode, 1, 4, problem) &&
      fits(model, s.subdivisionMode, s.subdivisionSteps, problem)) {
    for (WeObject& o : model.objects)
      for (int i = 0; i < s.subdivisionSteps; ++i) {
        refresh(o);
        SbSubdivision::step(o, s.subdivisionMode, true);
      }
  }

  if (s.smoothingSteps > 0) {
    int steps = s.smoothingSteps;
    if (steps > kMaxSmoothingSteps) {
      std::printf("SbMeshOperations::apply: %d smoothing steps limited to %d\n", steps, kMaxSmoothingSteps);
      steps = kMaxSmoothingSteps;
    }
    SbSmoothing::smooth(model, steps, s.smoothingSpeed);
  }

  finish(model);
  if (refused) *refused = problem;
  return problem.empty();
}

bool SbMeshOperations::changes(const Settings& s) {
  return s.connectObjects || s.polygonation || s.useSharpAngles || s.dividingSteps > 0 ||
         s.adaptiveSubdivisionSteps > 0 || s.subdivisionSteps > 0 || s.smoothingSteps > 0;
}

void SbMeshOperations::finish(SbWingedEdgeModel& model) {
  model.number();
  for (WeObject& o : model.objects) refresh(o);
  model.displayListsValid = false;
  model.curvatureValid = false;
  model.modified = true;
}
