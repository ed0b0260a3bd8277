#ifndef LINFOLD_SBPOLYGONATION_H
#define LINFOLD_SBPOLYGONATION_H

#include "mesh/SbWingedEdgeModel.h"

// "Large Faces": merges regions of neighbouring, nearly coplanar faces into
// single polygons.
class SbPolygonation {
 public:
  // Grows regions across edges that have a face on both sides: a face joins
  // when its normal agrees within `toleranceDegrees` both with the neighbour
  // it is reached from and with the region's first face (so a finely curved
  // surface never drifts into one bent polygon). A region of two or more
  // faces becomes one polygon, its boundary walked in the faces' orientation,
  // only when that boundary is a single simple loop and the region is a disk
  // (vertices - edges + faces = 1). Regions with holes, regions whose
  // boundary touches itself at a vertex, and non-disk regions stay split.
  // Collinear corners along the boundary are kept, so the mesh stays
  // conforming with its neighbours. Vertices left inside merged regions are
  // removed; vertices that no face used before stay. Faces with a zero normal
  // never merge. Returns the number of faces removed (0: object untouched).
  static int mergeLargeFaces(WeObject& object, float toleranceDegrees);
};

#endif
