#ifndef LINFOLD_SBHEMODELHQ_H
#define LINFOLD_SBHEMODELHQ_H

#include <Inventor/SbVec3f.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ObjectPool.h"

class SbWingedEdgeModel;
struct HalfEdge;

// Half-edge triangle mesh on which the HQ stages work, built from a
// winged-edge model by fanning every polygon. Records come from pools and stay
// at fixed addresses until the next build or clear, so consumers may keep
// pointers to them for that long.

struct HeVertex {
  int32_t index;  // position in SbHeModelHQ::vertices
  SbVec3f position;
  SbVec3f normal;      // unit mean of the adjacent triangle normals; zero when there are none
  HalfEdge* halfEdge;  // an outgoing half-edge (for a boundary vertex the one whose ring walk
                       // covers its whole fan); null for a vertex without triangles
};

// The normal sits beside the index so that the record takes 48 bytes, not 56.
struct HeTriangle {
  int32_t index;        // position in SbHeModelHQ::triangles
  SbVec3f normal;       // unit normal of (B - A) x (C - A); zero for a zero-area triangle
  HeVertex* vertex[3];  // A, B, C, counter-clockwise
  HalfEdge* halfEdge;   // A->B; ->next is B->C, ->next->next is C->A
};

// A directed edge. Its start vertex is the end of its twin.
struct HalfEdge {
  HeVertex* end;
  HalfEdge* next;        // next half-edge of the triangle; null on a boundary half-edge
  HalfEdge* twin;        // opposite direction along the same edge; twins are mutual
  HeTriangle* triangle;  // the triangle on the left; null on a boundary half-edge

  HeVertex* start() const { return twin ? twin->end : nullptr; }
  // The next outgoing half-edge around the start vertex: the twin of this
  // triangle's previous half-edge; null on a boundary half-edge. Derived from
  // next and twin rather than stored, which keeps a half-edge at 32 bytes.
  HalfEdge* ring() const { return next ? next->next->twin : nullptr; }
  bool isBoundary() const { return triangle == nullptr; }
};

class SbHeModelHQ {
 public:
  // Empty model with a fresh stamp.
  SbHeModelHQ();
  // Gives every record back to the pools.
  ~SbHeModelHQ();
  SbHeModelHQ(const SbHeModelHQ&) = delete;
  SbHeModelHQ& operator=(const SbHeModelHQ&) = delete;

  // Replaces the model by the triangulation of `model`'s objects and draws a
  // new stamp. Vertices keep the objects' list order (running over all
  // objects); each face becomes a fan from its first corner in walk order.
  // Faces naming a vertex their object lacks and triangles with a repeated
  // corner are left out. A directed edge that a second triangle repeats
  // (inconsistent orientation, or more than two faces on an edge) becomes a
  // boundary edge of that later triangle.
  void build(const SbWingedEdgeModel& model);
  // Gives every record back and empties the model; draws a new stamp unless
  // the model was already empty and not valid.
  void clear();

  // Number of outgoing half-edges met walking `ring` from the vertex's
  // halfEdge until null or back at the first; a boundary vertex counts its
  // outgoing boundary half-edge. 0 for a vertex without triangles.
  int valence(const HeVertex* vertex) const;
  // Coordinates (u, v) of `point` projected along the triangle's normal onto
  // its plane: projection = A + u (B - A) + v (C - A). u = v = 0 for a
  // zero-area triangle.
  static void triangleCoordinates(const HeTriangle* triangle, const SbVec3f& point, float& u, float& v);
  // The half-edge from `start` to `end` (inner or boundary), or null.
  HalfEdge* findHalfEdge(const HeVertex* start, const HeVertex* end) const;

  int vertexCount() const { return static_cast<int>(vertices.size()); }
  int triangleCount() const { return static_cast<int>(triangles.size()); }
  // Half-edges of the model, inner and boundary.
  int halfEdgeCount() const { return innerHalfEdges + boundaryHalfEdges; }
  int boundaryHalfEdgeCount() const { return boundaryHalfEdges; }
  // Largest extent of the bounding box; 0 when there are no vertices.
  float size() const;
  // Bytes held by the model: its records (at the pools' element sizes), the
  // arrays and the edge map.
  std::size_t memoryUse() const;

  // Read directly by the stages that use the model; only build and clear
  // change them.
  std::vector<HeTriangle*> triangles;  // in index order
  std::vector<HeVertex*> vertices;     // in index order
  bool valid = false;                  // a build has completed
  int32_t lastVertex = -1;             // index of the last vertex added, -1 when empty
  int32_t lastTriangle = -1;           // index of the last triangle added, -1 when empty
  uint32_t stamp;                      // change stamp, new on every build and clear
  SbVec3f bboxMin{0, 0, 0};            // bounding box of the vertex positions
  SbVec3f bboxMax{0, 0, 0};            //   (meaningless while lastVertex is -1)

  static TypedObjectPool<HalfEdge> hePool;
  static TypedObjectPool<HeVertex> vtxPool;
  static TypedObjectPool<HeTriangle> triPool;

 private:
  void addVertex(const SbVec3f& position);
  void addTriangle(HeVertex* a, HeVertex* b, HeVertex* c);
  void buildEdgeMap();
  // Pairs the twins straight from the winged edges of a model whose objects
  // are closed surfaces of triangles, one per face (`firstTriangle` holds the
  // first triangle of each object). False, with no twin set, when some edge
  // does not join two faces running it in opposite directions.
  bool twinsFromEdges(const SbWingedEdgeModel& model, const std::vector<int32_t>& firstTriangle);
  // Counts (in edgeStart), sorts and deduplicates the outgoing half-edges of
  // every vertex; marks a repeated directed edge while building.
  void fillEdgeMap(bool markRepeats) const;
  // Makes the edge map again after a build released it.
  void restoreEdgeMap() const;
  void link();
  void computeNormals();
  void releaseRecords();
  bool isOwner(const HalfEdge* h) const;
  HalfEdge* findInner(int32_t start, int32_t end) const;

  // Edge map: the outgoing inner half-edges of vertex v are
  // edgeHalf[edgeStart[v] .. edgeStart[v + 1]) with their end indices in
  // edgeEnd. A directed edge is listed once, by its first triangle; boundary
  // half-edges are found as the twins of the opposite inner ones. Released
  // after a build, made again by the first findHalfEdge().
  mutable std::vector<int32_t> edgeStart;
  mutable std::vector<int32_t> edgeEnd;
  mutable std::vector<HalfEdge*> edgeHalf;
  int innerHalfEdges = 0;
  int boundaryHalfEdges = 0;
};

#endif
