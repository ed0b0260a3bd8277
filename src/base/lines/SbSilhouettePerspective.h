#ifndef LINFOLD_SBSILHOUETTEPERSPECTIVE_H
#define LINFOLD_SBSILHOUETTEPERSPECTIVE_H

#include <Inventor/SbVec3f.h>

#include <vector>

#include "lines/SbSilhouetteEdges.h"

// Silhouette search for perspective views: a bounding-sphere / normal-cone
// hierarchy over the edges (the cone-tree idea of hierarchical back-face
// culling). A node holds a sphere around the centroids of its edges' faces and
// a cone around their normals; from an eye outside the sphere for which every
// face of the node provably faces the eye, or provably faces away, the node
// holds no silhouette edge and is skipped. Leaves are tested exactly, with the
// plane offsets of SbSilhouetteEdges::faceOffsets, so a query returns the same
// edges as SbSilhouetteEdges::bruteForce.
//
// maximalError sets the leaf size: at most max(1, round(2 maximalError))
// edges per leaf (8 at the default 4).
class SbSilhouettePerspective {
 public:
  void build(const SbWingedEdgeModel& model, float maximalError);
  void clear();
  // Silhouette edges seen from `eye` (model space), sorted by object and edge.
  void query(const SbWingedEdgeModel& model, const SbVec3f& eye, int shapeKey, std::vector<SbEdgeRef>& out) const;
  // The plane offsets the structure was built with (SbSilhouetteEdges::faceOffsets).
  const std::vector<std::vector<float>>& offsets() const { return faceH; }

  size_t nodeCount() const { return nodes.size(); }
  size_t lastCandidateCount() const { return lastCandidates; }

  // From this many edges on, the root's two subtrees are built on two threads.
  static constexpr int kParallelItems = 65536;

 private:
  struct Item {
    SbEdgeRef ref;
    SbVec3f n1, n2;  // face normals
    float h1, h2;    // plane offsets
    SbVec3f c1, c2;  // face centroids (for the bounds)
  };
  struct Node {
    SbVec3f centre;
    float radius;
    SbVec3f axis;      // unit cone axis
    float halfAngle;   // radians; >= pi means no normal bound
    int first, count;  // items (leaf) or -1
    int left, right;   // children, -1 for a leaf
  };
  // Builds the subtree of items [first, first + count) into `out`, depth
  // first; child indices count from the start of `out`. With `split`, from
  // kParallelItems items on, its two subtrees are built on two threads.
  int buildNode(std::vector<Node>& out, int first, int count, bool split);

  std::vector<Item> items;
  std::vector<Item> loose;  // edges without usable bounds
  std::vector<Node> nodes;
  std::vector<std::vector<float>> faceH;
  int leafSize = 8;
  float modelScale = 1.0f;
  mutable size_t lastCandidates = 0;
};

#endif
