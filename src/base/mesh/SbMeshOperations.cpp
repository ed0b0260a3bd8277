#include "mesh/SbMeshOperations.h"

#include <cstdio>

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

bool offered(const char* operation, int scheme, int lowest, int highest) {
  if (scheme >= lowest && scheme <= highest) return true;
  std::printf("SbMeshOperations::apply: %s mode %d is not a scheme for it; %s skipped\n", operation,
              scheme, operation);
  return false;
}

}  // namespace

void SbMeshOperations::apply(SbWingedEdgeModel& model, const Settings& s) {
  if (s.connectObjects) SbConnectObjects::connect(model);

  if (s.polygonation)
    for (WeObject& o : model.objects) SbPolygonation::mergeLargeFaces(o, kLargeFaceToleranceDegrees);

  if (s.useSharpAngles)
    for (WeObject& o : model.objects) SbSharpEdges::mark(o, s.sharpAngle);

  if (s.dividingSteps > 0 && offered("dividing", s.dividingMode, 2, 4) &&
      SbSubdivision::fitsMemory(model, s.dividingMode, s.dividingSteps)) {
    for (WeObject& o : model.objects)
      for (int i = 0; i < s.dividingSteps; ++i) {
        refresh(o);
        SbSubdivision::step(o, s.dividingMode, false);
      }
  }

  // An adaptive step refines at most every triangle 1-to-4, as a Loop step does.
  if (s.adaptiveSubdivisionSteps > 0 &&
      offered("adaptive subdivision", s.adaptiveSubdivisionMode, 3, 4) &&
      SbSubdivision::fitsMemory(model, SbSubdivision::LOOP, s.adaptiveSubdivisionSteps)) {
    for (WeObject& o : model.objects)
      for (int i = 0; i < s.adaptiveSubdivisionSteps; ++i) {
        refresh(o);
        SbSubdivision::adaptiveStep(o, s.adaptiveSubdivisionMode, kAdaptiveFeatureAngleDegrees);
      }
  }

  if (s.subdivisionSteps > 0 && offered("subdivision", s.subdivisionMode, 1, 4) &&
      SbSubdivision::fitsMemory(model, s.subdivisionMode, s.subdivisionSteps)) {
    for (WeObject& o : model.objects)
      for (int i = 0; i < s.subdivisionSteps; ++i) {
        refresh(o);
        SbSubdivision::step(o, s.subdivisionMode, true);
      }
  }

  if (s.smoothingSteps > 0) {
    int steps = s.smoothingSteps;
    if (steps > kMaxSmoothingSteps) {
      std::printf("SbMeshOperations::apply: %d smoothing steps limited to %d\n", steps,
                  kMaxSmoothingSteps);
      steps = kMaxSmoothingSteps;
    }
    SbSmoothing::smooth(model, steps, s.smoothingSpeed);
  }

  finish(model);
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
