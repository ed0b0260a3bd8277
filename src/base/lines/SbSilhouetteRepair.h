#ifndef LINFOLD_SBSILHOUETTEREPAIR_H
#define LINFOLD_SBSILHOUETTEREPAIR_H

#include <vector>

#include "lines/SbLineVisibility.h"
#include "lines/SbSilhouetteEdges.h"

// Repairs of silhouette artifacts of triangle meshes. Both take and return a
// sorted edge list.
class SbSilhouetteRepair {
 public:
  // How far, in pixels, a turned face may move the silhouette on the screen.
  // The hidden-line remover looks one pixel around each sample for the depth
  // beyond an outline; a line moved further inwards lies on the surface behind
  // and is removed, so a larger detour is kept as the outline it is.
  static constexpr float kZigZagPixels = 1.0f;

  // Mesh zig-zag: a face most of whose edges with a neighbour are silhouette
  // edges is counted on its neighbours' side, so the loop takes its remaining
  // edges instead of the detour around it; but only where the detour is
  // smaller than the picture shows: every corner of the face lies within
  // `maxPixels` pixel lengths of the remaining edges (a face without
  // remaining edges: of each other), measured in space with the length one
  // pixel of `screen` spans at the face. Measured on the screen alone, a
  // face seen edge-on would turn and move the line to its far side, behind
  // the surface. A face that does not project stays as it is. On a coarse
  // mesh the teeth of the silhouette are its true outline.
  static void meshZigZag(const SbWingedEdgeModel& model, const SbWindowProjector& screen, float maxPixels,
                         std::vector<SbEdgeRef>& edges);
  // Triangle chunk: connected pieces of at most three edges (a lone edge, the
  // rim of a single triangle) are dropped.
  static void triangleChunks(const SbWingedEdgeModel& model, std::vector<SbEdgeRef>& edges);
};

#endif
