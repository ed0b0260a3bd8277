#ifndef LINFOLD_SBSILHOUETTEREPAIR_H
#define LINFOLD_SBSILHOUETTEREPAIR_H

#include <vector>

#include "lines/SbSilhouetteEdges.h"

// Repairs of silhouette artifacts of coarse triangle meshes. Both take and
// return a sorted edge list.
class SbSilhouetteRepair {
public:
  // Mesh zig-zag: a face most of whose edges with a neighbour are silhouette
  // edges is counted on its neighbours' side, so the loop takes its remaining
  // edges instead of the detour around it.
  static void meshZigZag(const SbWingedEdgeModel& model, std::vector<SbEdgeRef>& edges);
  // Triangle chunk: connected pieces of at most three edges (a lone edge, the
  // rim of a single triangle) are dropped.
  static void triangleChunks(const SbWingedEdgeModel& model, std::vector<SbEdgeRef>& edges);
};

#endif
