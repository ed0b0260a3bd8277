#ifndef LINFOLD_SBMESHOPERATIONS_H
#define LINFOLD_SBMESHOPERATIONS_H

#include <string>

#include "mesh/SbWingedEdgeModel.h"

// The mesh modifier's chain of operations on a winged-edge model, in order:
// connect objects, large faces, sharp edges, dividing, adaptive subdivision,
// regular subdivision, smoothing, finish.
class SbMeshOperations {
 public:
  struct Settings {
    bool connectObjects = false;
    bool polygonation = false;  // "Large Faces"
    bool useSharpAngles = false;
    float sharpAngle = 115.0f;  // degrees
    int dividingMode = 3;       // 2, 3 or 4
    int dividingSteps = 0;
    int adaptiveSubdivisionMode = 3;  // 3 or 4
    int adaptiveSubdivisionSteps = 0;
    int subdivisionMode = 3;  // 1 .. 4
    int subdivisionSteps = 0;
    int smoothingSteps = 0;
    float smoothingSpeed = 1.0f;
  };

  static constexpr float kLargeFaceToleranceDegrees = 0.2f;
  static constexpr float kAdaptiveFeatureAngleDegrees = 45.0f;
  static constexpr int kMaxSmoothingSteps = 1000;

  // Applies the chain to `model` in place and finishes it (marks it
  // modified). Step counts of 0 or less skip their operation; a scheme that is
  // not offered for an operation, or step counts that SbSubdivision::fitsMemory
  // refuses, skip that operation with a message and leave the model as the
  // operations before left it. Returns false when an operation asked for was
  // skipped so; `refused`, when given, receives the first message.
  static bool apply(SbWingedEdgeModel& model, const Settings& settings, std::string* refused = nullptr);

  // What every consumer of a changed model needs: numbering, vertex-edge
  // lists, face and vertex normals; clears the display-list and curvature
  // marks and sets the modified mark.
  static void finish(SbWingedEdgeModel& model);
  // True when the chain would change a model: some operation is switched on
  // or has steps.
  static bool changes(const Settings& settings);
};

#endif
