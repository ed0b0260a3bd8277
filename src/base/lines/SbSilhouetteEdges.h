#ifndef LINFOLD_SBSILHOUETTEEDGES_H
#define LINFOLD_SBSILHOUETTEEDGES_H

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "mesh/SbWingedEdgeModel.h"

// An edge of a winged-edge model: the object's position in the model's object
// list and the edge's position in that object's edge list.
struct SbEdgeRef {
  int object = 0;
  int edge = 0;
  bool operator==(const SbEdgeRef& o) const { return object == o.object && edge == o.edge; }
  bool operator!=(const SbEdgeRef& o) const { return !(*this == o); }
  bool operator<(const SbEdgeRef& o) const { return object != o.object ? object < o.object : edge < o.edge; }
};

// Where the viewer is, in the model's own space: a direction towards the
// viewer (orthographic) or the eye point (perspective).
struct SbSilhouetteView {
  bool perspective = false;
  SbVec3f toViewer{0, 0, 1};  // orthographic: unit vector pointing at the viewer
  SbVec3f eye{0, 0, 0};       // perspective: eye point
};

// The definitions every search structure reproduces, and their brute-force
// evaluation over all edges.
//
// A face faces the viewer when n . v > 0 (orthographic, v towards the viewer)
// or n . eye - h > 0 (perspective, h = n . centroid of the face). An edge is a
// silhouette edge when it has two faces with valid (non-zero, finite) normals
// of which exactly one faces the viewer. An edge is sharp when it is a
// boundary edge (one face), or when both normals are valid and the faces meet
// at less than `angle` degrees (SbSharpEdgeTest).
// shapeKey -1 selects every object, any other value the objects whose number
// equals it.
class SbSilhouetteEdges {
 public:
  static bool validNormal(const SbVec3f& n);
  static bool selected(const WeObject& object, int shapeKey) { return shapeKey == -1 || object.number == shapeKey; }
  // Both faces exist, are in range and have valid normals.
  static bool hasTwoValidFaces(const WeObject& object, const WeEdge& edge);

  static bool facesViewer(const SbVec3f& n, const SbVec3f& toViewer) {
    return n[0] * toViewer[0] + n[1] * toViewer[1] + n[2] * toViewer[2] > 0.0f;
  }
  static bool facesEye(const SbVec3f& n, float h, const SbVec3f& eye) {
    return n[0] * eye[0] + n[1] * eye[1] + n[2] * eye[2] - h > 0.0f;
  }

  // Per object, per face: h = n . centroid of the face's corners (0 for a face
  // without a valid normal). The perspective test's plane offsets.
  static void faceOffsets(const SbWingedEdgeModel& model, std::vector<std::vector<float>>& out);

  // Silhouette edges by testing every edge; offsets from faceOffsets (only
  // read for perspective views). Sorted by object, then edge.
  static void bruteForce(const SbWingedEdgeModel& model, const SbSilhouetteView& view,
                         const std::vector<std::vector<float>>& offsets, int shapeKey, std::vector<SbEdgeRef>& out);
  // Is this single edge a silhouette edge?
  static bool isSilhouette(const SbWingedEdgeModel& model, const SbEdgeRef& ref, const SbSilhouetteView& view,
                           const std::vector<std::vector<float>>& offsets);

  // Sharp and boundary edges, sorted by object, then edge.
  static void sharpEdges(const SbWingedEdgeModel& model, float angleDegrees, int shapeKey, std::vector<SbEdgeRef>& out);

  // A cheap identity of a model's geometry: the number of objects, their
  // record counts and a sample of positions and normals spread over each
  // object. Changes when the modifier replaces or moves the mesh.
  static uint64_t fingerprint(const SbWingedEdgeModel& model);
};

#endif
