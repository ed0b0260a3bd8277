#ifndef LINFOLD_STROKECOLLIDER_H
#define LINFOLD_STROKECOLLIDER_H

// Proximity index of stroke segments that uses the triangle mesh itself as its
// spatial index: every segment is filed under each face that lies within the
// separation of it (found by a flood fill over the faces), so that a query at
// a point only looks at the bucket of the point's face. A face much larger
// than the separation also keeps a grid of cells about the separation wide in
// its plane, each listing the segments that come within the separation of it,
// so that queries on coarse meshes touch a handful of segments too.

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "core/ChunkedArray.h"
#include "core/ObjectPool.h"
#include "mesh/SbHeModelHQ.h"

struct StrokeSegment {
  SbVec3f start;
  SbVec3f end;
  float length;    // |end - start|
  int32_t stroke;  // number of the accepted stroke that owns the segment, from 0
};

class StrokeCollider {
 public:
  // An empty collider for the faces of `model`, which must outlive it and keep
  // its records. `scale` is the model's size: the small absolute margins of
  // the tests (1e-3 along a segment, 1e-6 on squared distances) are taken
  // relative to it, so that small and large models behave alike.
  StrokeCollider(const SbHeModelHQ& model, float separation, float scale = 1.0f);
  // Gives every segment back to the pool.
  ~StrokeCollider();
  StrokeCollider(const StrokeCollider&) = delete;
  StrokeCollider& operator=(const StrokeCollider&) = delete;

  // Registers the segment start -> end lying in `face` under every face within
  // the separation of it. A segment whose length is negligible against the
  // separation (below 1e-5 of it) is ignored. When `previous` is given (the
  // point before `start` on the same stroke) and the stroke bends at `start`,
  // a joint segment across the bend, one separation long, is registered too.
  // Returns the number of segments registered (0, 1 or 2).
  int addSegment(const HeTriangle* face, const SbVec3f& start, const SbVec3f& end,
                 const SbVec3f* previous, int32_t stroke);

  // Calls f(const StrokeSegment&) for every segment filed under `face`.
  template <class F>
  void forBucket(const HeTriangle* face, F f) const;
  // Calls f(int index, const StrokeSegment&) with the segment's index in
  // insertion order (see segment()).
  template <class F>
  void forBucketIndexed(const HeTriangle* face, F f) const;
  // Calls f(int index, const StrokeSegment&) once for every segment filed
  // under `face` that may come within the separation of the straight path
  // from p to q (both in the face): the whole bucket of a small face, only the
  // segments of the cells the path passes on a face with a grid.
  template <class F>
  void forPath(const HeTriangle* face, const SbVec3f& p, const SbVec3f& q, F f) const;
  // Whether the face keeps a grid of cells; the number of cells over all faces.
  bool hasGrid(const HeTriangle* face) const;
  int cellCount() const { return static_cast<int>(cellHead.size()); }
  // The segments filed under a face (a copy, for inspection).
  std::vector<const StrokeSegment*> bucket(const HeTriangle* face) const;
  int bucketSize(const HeTriangle* face) const;

  // Point test: `point` lies within the separation of the segment (its foot
  // within the segment, give or take the margin along it). Exactly at the
  // separation counts as near.
  bool pointNear(const SbVec3f& point, const StrokeSegment& segment) const;
  // True when some segment filed under `face` is near `point`.
  bool nearAny(const HeTriangle* face, const SbVec3f& point) const;
  // Moving-point test: a point p + d t (d a unit vector, t >= 0) comes within
  // the separation of the segment; `t` receives the first parameter where it
  // does. A point leaving a segment never hits it.
  bool stepHits(const SbVec3f& p, const SbVec3f& d, const StrokeSegment& segment, float& t) const;

  // Moves every segment of `other` (a collider of the same model) into this
  // one, under the same faces. `other` is left empty.
  void merge(StrokeCollider& other);

  // Undo support for a stroke under construction: checkpoint() marks the
  // present state, rollback() removes every segment registered since. The
  // latest checkpoint rolls back quickly; an older one by a pass over every
  // face.
  struct Checkpoint {
    int segments = 0;
    int entries = 0;
    int cellEntries = 0;
  };
  Checkpoint checkpoint();
  void rollback(const Checkpoint& mark);

  // Taper measures around `point` in `face`, searched up to `limit`:
  // the distance to the nearest segment of a stroke numbered below `stroke`;
  // the same measured in the plane through the point perpendicular to the unit
  // direction `d`; and the mean of the nearest planar distances on either side
  // of the stroke over every stroke except `stroke` itself.
  float sphereDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face,
                       float limit, int32_t stroke) const;
  float planeDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face,
                      float limit, int32_t stroke) const;
  float planeAverageDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face,
                             float limit, int32_t stroke) const;

  void clear();
  int segmentCount() const { return static_cast<int>(segments.size()); }
  // Bucket entries over all faces (a segment counts once per face it is filed under).
  int entryCount() const { return static_cast<int>(entries.size()); }
  const StrokeSegment* segment(int i) const { return segments[i]; }
  float separation() const { return sep; }

  static TypedObjectPool<StrokeSegment> segPool;

 private:
  struct Entry {
    int32_t segment;  // index into segments
    int32_t next;     // next entry of the same face, -1 ends
  };
  enum Measure { SPHERE, PLANE, PLANE_AVERAGE };
  // A face's grid: cell (x, y) covers [x0 + x c, x0 + (x + 1) c] along `u` and
  // the same from y0 along `v` (both unit vectors in the face plane, measured
  // from `origin`); its list head is cellHead[base + y nx + x].
  struct Grid {
    SbVec3f origin;
    SbVec3f u;
    SbVec3f v;
    float x0;
    float y0;
    float cell;
    int32_t nx;
    int32_t ny;
    int32_t base;
  };
  struct CellRange {
    int32_t base;
    int32_t nx;
    int32_t x0, x1, y0, y1;
  };

  bool registerSegment(const HeTriangle* face, const SbVec3f& start, const SbVec3f& end,
                       int32_t stroke);
  void file(int32_t face, int32_t segment);
  void buildGrids();
  // Files the segment in the cells of the face's grid that come within the
  // separation of it (projected into the face plane).
  void fileCells(int32_t face, int32_t segment);
  // The cells of the face's grid met by the box about the projections of p
  // and q grown by `pad`; false when the face has no grid.
  bool cellRange(int32_t face, const SbVec3f& p, const SbVec3f& q, float pad,
                 CellRange& range) const;
  uint32_t nextMark() const;
  bool edgeNear(const SbVec3f& a, const SbVec3f& b, const StrokeSegment& s) const;
  float measure(Measure kind, const SbVec3f& point, const SbVec3f& d, const HeTriangle* face,
                float limit, int32_t stroke) const;
  uint32_t nextGeneration() const;

  const SbHeModelHQ& model;
  float sep;
  float sepSq;
  float nearSq;     // separation^2 plus the margin
  float margin;     // 1e-3 of the scale
  float tinySq;     // 1e-6 of the scale, squared distances
  float tiny;       // 1e-6 of the scale, lengths
  float minLength;  // shorter segments are ignored

  std::vector<StrokeSegment*> segments;
  // Ten million entries at a million triangles: chunked, so that growing
  // neither copies them nor holds twice the memory.
  ChunkedArray<Entry> entries;
  // Face of each entry from the latest checkpoint on, for rollback: kept for
  // every entry it would take a third of the collider's memory.
  std::vector<int32_t> entryFace;
  int faceBase = 0;  // the entry entryFace[0] belongs to
  std::vector<int32_t> head;       // first entry per face index, -1 when none
  // Grids of the large faces: gridOf[face] indexes grids, -1 without one.
  std::vector<int32_t> gridOf;
  std::vector<Grid> grids;
  std::vector<int32_t> cellHead;  // first entry per cell, -1 when none
  std::vector<Entry> cellEntries;
  std::vector<int32_t> cellEntryCell;  // cell of each entry, for rollback
  float cellReach = 0.0f;              // how far from a segment its cells reach
  // Segments already met in the current grid query carry its mark.
  mutable std::vector<uint32_t> marks;
  mutable uint32_t markGeneration = 0;
  // Flood-fill scratch: faces visited in the current fill carry its generation.
  mutable std::vector<uint32_t> visited;
  mutable uint32_t generation = 0;
  mutable std::vector<int32_t> stack;
};

template <class F>
void StrokeCollider::forBucket(const HeTriangle* face, F f) const {
  const int32_t index = face ? face->index : -1;
  if (index < 0 || index >= static_cast<int32_t>(head.size())) return;
  for (int32_t e = head[index]; e >= 0; e = entries[e].next) f(*segments[entries[e].segment]);
}

template <class F>
void StrokeCollider::forBucketIndexed(const HeTriangle* face, F f) const {
  const int32_t index = face ? face->index : -1;
  if (index < 0 || index >= static_cast<int32_t>(head.size())) return;
  for (int32_t e = head[index]; e >= 0; e = entries[e].next)
    f(static_cast<int>(entries[e].segment), *segments[entries[e].segment]);
}

template <class F>
void StrokeCollider::forPath(const HeTriangle* face, const SbVec3f& p, const SbVec3f& q,
                             F f) const {
  const int32_t index = face ? face->index : -1;
  if (index < 0 || index >= static_cast<int32_t>(head.size())) return;
  CellRange r;
  if (!cellRange(index, p, q, 0.0f, r)) {
    forBucketIndexed(face, f);
    return;
  }
  const uint32_t gen = nextMark();
  for (int32_t y = r.y0; y <= r.y1; ++y)
    for (int32_t x = r.x0; x <= r.x1; ++x)
      for (int32_t e = cellHead[r.base + y * r.nx + x]; e >= 0; e = cellEntries[e].next) {
        const int32_t s = cellEntries[e].segment;
        if (marks[s] == gen) continue;
        marks[s] = gen;
        f(static_cast<int>(s), *segments[s]);
      }
}

#endif
