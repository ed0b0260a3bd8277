#ifndef LINFOLD_SBSUBDIVISION_H
#define LINFOLD_SBSUBDIVISION_H

#include <string>

#include "mesh/SbWingedEdgeModel.h"

// Subdivision and dividing steps on winged-edge objects: Doo-Sabin,
// Catmull-Clark, Loop and the modified Butterfly scheme, plus adaptive
// (feature-driven, red-green) refinement for the triangle schemes.
//
// Loop, Butterfly and Catmull-Clark keep the old vertices first, at their old
// indices (with their flags), and append the new ones; Doo-Sabin replaces
// every vertex by one point per face corner. Edges flagged WE_SHARP act as
// creases: their child edges stay WE_SHARP and the crease rules of Loop,
// Butterfly and Catmull-Clark apply along them, as they do along the
// boundary. Vertices flagged WE_CORNER stay where they are.
class SbSubdivision {
 public:
  enum Scheme { DOO_SABIN = 1, CATMULL_CLARK = 2, LOOP = 3, BUTTERFLY = 4 };

  // Faces after `steps` steps of `scheme` over all objects of `model`; exact
  // from the vertex, edge and face counts (Doo-Sabin: exact on closed meshes,
  // an upper bound on open ones). Unknown schemes give the current count.
  static double estimateFaces(const SbWingedEdgeModel& model, int scheme, int steps);

  // True when `steps` steps of `scheme` fit faceBudget(); otherwise prints
  // "SoModifyWingedEdge: <n> subdivision steps would make <f> faces, more
  // than memory allows (<budget>); refused", puts that text (without the
  // class name) into `why` when given and returns false.
  static bool fitsMemory(const SbWingedEdgeModel& model, int scheme, int steps, std::string* why = nullptr);

  // One step on one object. smooth = false is "dividing": the scheme's
  // refinement of the connectivity with new vertices placed linearly
  // (midpoints, face centroids; Doo-Sabin: halfway from each corner to its
  // face's centroid) and old vertices kept; smooth = true places them with
  // the scheme's masks. LOOP and BUTTERFLY fan-triangulate polygons first.
  // Unknown schemes print a message and leave the object alone.
  static void step(WeObject& object, int scheme, bool smooth);

  // One adaptive step: triangles whose normal differs from a neighbour's by
  // more than `featureAngleDegrees` are split 1-to-4, their neighbours are
  // closed red-green (one split edge: 2 triangles, two: 3, three: 4). New edge
  // points come from the scheme's edge mask (LOOP or BUTTERFLY); the original
  // vertices stay in place, also under LOOP, so that regions left unrefined
  // do not move. Polygons are fan-triangulated first.
  static void adaptiveStep(WeObject& object, int scheme, float featureAngleDegrees);

  // Budget used by fitsMemory, in faces: memoryBudget() over bytesPerFace().
  static double faceBudget();
  // Bytes for the model: half of the physical memory, or of a lower limit of
  // the container or the process, and at most the memory free now.
  static double memoryBudget();
  // What a face of the modified model costs at the peak of the whole drawing
  // pipeline, every stage that grows with faces together (measured; see the
  // table in the source).
  static double bytesPerFace();
};

#endif
