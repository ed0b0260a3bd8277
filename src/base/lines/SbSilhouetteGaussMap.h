#ifndef LINFOLD_SBSILHOUETTEGAUSSMAP_H
#define LINFOLD_SBSILHOUETTEGAUSSMAP_H

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "lines/SbSilhouetteEdges.h"

// Silhouette search for orthographic views on the Gauss map.
//
// An edge's two unit face normals n1, n2 span the short great-circle arc
// between them; the edge is a silhouette edge for view direction d exactly
// when that arc crosses the great circle perpendicular to d (n . d is linear
// along the chord (1-s) n1 + s n2, so its sign changes once). The sphere is
// cut into the cells of an N x N grid on each of a cube's six faces (central
// projection); every arc is filed under the cells it touches, and a query
// visits only the cells the great circle of d crosses. Candidates are then
// tested exactly, so a query returns the same edges as
// SbSilhouetteEdges::bruteForce.
//
// maximalError is the cell size in degrees: N = ceil(90 / maximalError),
// between 1 and 256 (0 or less gives the finest grid). Edges whose normals are
// equal are never silhouettes and are not filed; edges whose normals are
// nearly opposite (the arc is ambiguous) are tested on every query.
class SbSilhouetteGaussMap {
 public:
  void build(const SbWingedEdgeModel& model, float maximalError);
  void clear();
  // Silhouette edges of the model it was built for, towards-viewer direction
  // `toViewer` (any length), sorted by object and edge.
  void query(const SbWingedEdgeModel& model, const SbVec3f& toViewer, int shapeKey, std::vector<SbEdgeRef>& out) const;

  int resolution() const { return n; }
  size_t filedEntries() const { return cellEdges.size(); }
  size_t lastCandidateCount() const { return lastCandidates; }

  // From this many filed edges on, the build files them on two threads.
  static constexpr size_t kParallelEdges = 65536;

 private:
  void fileArc(const SbVec3f& n1, const SbVec3f& n2, uint32_t id,
               std::vector<std::pair<uint32_t, uint32_t>>& pairs) const;

  int n = 0;
  std::vector<SbEdgeRef> refs;         // filed edges by id
  std::vector<uint32_t> cellStart;     // 6 n^2 + 1
  std::vector<uint32_t> cellEdges;     // ids, grouped by cell
  std::vector<uint32_t> alwaysTested;  // ids of edges with nearly opposite normals
  mutable std::vector<uint32_t> seen;  // per id: query number that last met it
  mutable uint32_t queryNumber = 0;
  mutable size_t lastCandidates = 0;
};

#endif
