#ifndef LINFOLD_SBCONNECTOBJECTS_H
#define LINFOLD_SBCONNECTOBJECTS_H

#include "mesh/SbWingedEdgeModel.h"

// Joins the separate objects of a winged-edge model into one connected object.
class SbConnectObjects {
 public:
  // Largest extent of the bounding box of all finite vertex positions; 0 for
  // a model without vertices.
  static double modelSize(const SbWingedEdgeModel& model);

  // Merges all objects into one (numbered as the first), joins vertices whose
  // positions lie within 1e-6 of the model size of each other (Euclidean
  // distance; the first vertex met stays, later ones map onto it) and relinks
  // the faces, so touching objects become one connected surface. Faces that
  // collapse to fewer than three corners, and faces whose corners meet again
  // further on (pinched), are dropped with a message; vertices that no face
  // uses stay as isolated vertices. Returns false, and
  // leaves the model untouched, when there is one object or none and no
  // vertices coincide.
  static bool connect(SbWingedEdgeModel& model);

  // Relative joining tolerance.
  static constexpr double kTolerance = 1e-6;
};

#endif
