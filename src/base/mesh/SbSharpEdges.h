#ifndef LINFOLD_SBSHARPEDGES_H
#define LINFOLD_SBSHARPEDGES_H

#include "mesh/SbWingedEdgeModel.h"

// Marks the creases of a winged-edge object.
class SbSharpEdges {
public:
  // With t = cos((180 - sharpAngleDegrees) * pi / 180): an edge with faces on
  // both sides whose unit normals have a dot product of at least t stays
  // smooth; every other edge (boundary edges, and faces meeting at an angle
  // below `sharpAngleDegrees`) gets WE_SHARP and both its end vertices get
  // WE_CORNER. Earlier sharp and corner flags are cleared first. At 180 every
  // edge between faces that are not coplanar is sharp, at 0 only the
  // boundary. The comparison allows for the rounding of float normals
  // (kNormalRounding). Returns the number of sharp edges.
  static int mark(WeObject& object, float sharpAngleDegrees);

  static constexpr double kNormalRounding = 1e-6;
};

#endif
