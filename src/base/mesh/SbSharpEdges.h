#ifndef LINFOLD_SBSHARPEDGES_H
#define LINFOLD_SBSHARPEDGES_H

#include "mesh/SbWingedEdgeModel.h"

// Marks the creases of a winged-edge object.
class SbSharpEdges {
 public:
  // Boundary edges, and edges whose faces meet at an angle below
  // `sharpAngleDegrees` (SbSharpEdgeTest), get WE_SHARP and both their end
  // vertices WE_CORNER. Earlier sharp and corner flags are cleared first. At
  // 180 every edge between faces that are not coplanar is sharp, at 0 only
  // the boundary. Returns the number of sharp edges.
  static int mark(WeObject& object, float sharpAngleDegrees);
};

#endif
