#ifndef LINFOLD_STROKECOLLIDER_H
#define LINFOLD_STROKECOLLIDER_H

// Proximity index of stroke segments: a sparse uniform grid of cubic cells
// two separations wide over the model's bounding box. Every segment is
// filed in each cell that comes within the separation of it, so that a point
// test looks at the one cell the point lies in, and a step at the cells its
// path passes. Only the cells near strokes exist (a hash table finds them), so
// the index costs memory in proportion to the strokes, not to the mesh: on a
// fine mesh a segment goes into a few dozen cells rather than into the
// hundreds of faces it lies near.
//
// The grid sees space, not the surface: two sheets of the surface closer than
// the separation (the two sides of a thin wall, a narrow slot) would block
// each other's strokes. A segment therefore remembers the normal of the face
// it was traced in and counts only for queries from a face that does not face
// the other way (normals less than 120 degrees apart).

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "core/ChunkedArray.h"
#include "core/ObjectPool.h"
#include "mesh/SbHeModelHQ.h"

struct StrokeSegment {
  SbVec3f start;
  SbVec3f end;
  SbVec3f normal;  // of the face the segment was traced in
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

  // Registers the segment start -> end lying in `face` in every cell within
  // the separation of it. A segment whose length is negligible against the
  // separation (below 1e-5 of it) is ignored. When `previous` is given (the
  // point before `start` on the same stroke) and the stroke bends at `start`,
  // a joint segment across the bend, one separation long, is registered too.
  // Returns the number of segments registered (0, 1 or 2).
  int addSegment(const HeTriangle* face, const SbVec3f& start, const SbVec3f& end, const SbVec3f* previous,
                 int32_t stroke);

  // Calls f(int index, const StrokeSegment&), with the segment's index in
  // insertion order (see segment()), once for every segment counting for
  // `face` that may come within the separation of the straight path from p to
  // q: those filed in the cells the path passes.
  template <class F>
  void forPath(const HeTriangle* face, const SbVec3f& p, const SbVec3f& q, F f) const;
  // Cells made so far.
  int cellCount() const { return static_cast<int>(cellHead.size()); }

  // Point test: `point` lies within the separation of the segment (its foot
  // within the segment, give or take the margin along it). Exactly at the
  // separation counts as near.
  bool pointNear(const SbVec3f& point, const StrokeSegment& segment) const;
  // True when some segment counting for `face` is near `point`.
  bool nearAny(const HeTriangle* face, const SbVec3f& point) const;
  // Moving-point test: a point p + d t (d a unit vector, t >= 0) comes within
  // the separation of the segment; `t` receives the first parameter where it
  // does. A point leaving a segment never hits it.
  bool stepHits(const SbVec3f& p, const SbVec3f& d, const StrokeSegment& segment, float& t) const;
  // Whether a segment counts for queries from `face`: it was not traced on a
  // sheet facing the other way.
  static bool counts(const StrokeSegment& segment, const HeTriangle* face) {
    return segment.normal.dot(face->normal) > -0.5f;
  }

  // Moves every segment of `other` (a collider of the same model and
  // separation) into this one. `other` is left empty.
  void merge(StrokeCollider& other);

  // Undo support for a stroke under construction: checkpoint() marks the
  // present state, rollback() removes every segment registered since. The
  // latest checkpoint rolls back quickly; an older one by a pass over every
  // cell.
  struct Checkpoint {
    int segments = 0;
    int entries = 0;
  };
  Checkpoint checkpoint();
  void rollback(const Checkpoint& mark);

  // Taper measures around `point` in `face`, searched up to `limit`:
  // the distance to the nearest segment of a stroke numbered below `stroke`;
  // the same measured in the plane through the point perpendicular to the unit
  // direction `d`; and the mean of the nearest planar distances on either side
  // of the stroke over every stroke except `stroke` itself.
  float sphereDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                       int32_t stroke) const;
  float planeDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                      int32_t stroke) const;
  float planeAverageDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                             int32_t stroke) const;

  void clear();
  int segmentCount() const { return static_cast<int>(segments.size()); }
  // Cell entries over all cells (a segment counts once per cell it is filed in).
  int entryCount() const { return static_cast<int>(entries.size()); }
  const StrokeSegment* segment(int i) const { return segments[i]; }
  float separation() const { return sep; }

  static TypedObjectPool<StrokeSegment> segPool;

 private:
  struct Entry {
    int32_t segment;  // index into segments
    int32_t next;     // next entry of the same cell, -1 ends
  };
  struct CellBox {
    int32_t lo[3];
    int32_t hi[3];
  };
  enum Measure { SPHERE, PLANE, PLANE_AVERAGE };

  bool registerSegment(const HeTriangle* face, const SbVec3f& start, const SbVec3f& end, int32_t stroke);
  // Grid coordinate of x along axis k, clamped to the grid: the border cells
  // stand for everything beyond it.
  int32_t coordinate(float x, int k) const;
  // The cells of the box about p and q grown by `pad`; false for a box that
  // is not finite.
  bool cellBox(const SbVec3f& p, const SbVec3f& q, float pad, CellBox& box) const;
  // Whether the segment a-b meets cell (i, j, k) grown by `pad`.
  bool meetsCell(const SbVec3f& a, const SbVec3f& b, const int32_t cell[3], float pad) const;
  uint64_t key(int32_t i, int32_t j, int32_t k) const {
    return (static_cast<uint64_t>(k) * static_cast<uint64_t>(dims[1]) + static_cast<uint64_t>(j)) *
               static_cast<uint64_t>(dims[0]) +
           static_cast<uint64_t>(i);
  }
  // The cell of a key, -1 when it has none yet; cellFor() makes it.
  int32_t findCell(uint64_t key) const;
  int32_t cellFor(uint64_t key);
  void growTable();
  void file(int32_t cell, int32_t segment);
  uint32_t nextMark() const;
  float measure(Measure kind, const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                int32_t stroke) const;

  float sep;
  float sepSq;
  float nearSq;     // separation^2 plus the margin
  float margin;     // 1e-3 of the scale
  float tinySq;     // 1e-6 of the scale, squared distances
  float tiny;       // 1e-6 of the scale, lengths
  float minLength;  // shorter segments are ignored
  float reach;      // how far from a segment the cells it is filed in reach

  // The grid: cell (i, j, k) covers origin + cell * [i, i + 1] x [j, j + 1] x [k, k + 1].
  SbVec3f origin;
  float cell = 1.0f;
  float inverseCell = 1.0f;
  int32_t dims[3] = {1, 1, 1};

  std::vector<StrokeSegment*> segments;
  ChunkedArray<Entry> entries;
  // Cell of each entry from the latest checkpoint on, for rollback.
  std::vector<int32_t> entryCell;
  int cellBase = 0;               // the entry entryCell[0] belongs to
  std::vector<int32_t> cellHead;  // first entry per cell, -1 when none
  std::vector<uint64_t> cellKey;
  // Open-addressing table from key to cell; empty slots hold -1.
  std::vector<uint64_t> slotKey;
  std::vector<int32_t> slotCell;
  int shift = 64;  // hash = key * golden >> shift
  // Segments already met in the current query carry its mark.
  mutable std::vector<uint32_t> marks;
  mutable uint32_t markGeneration = 0;
};

template <class F>
void StrokeCollider::forPath(const HeTriangle* face, const SbVec3f& p, const SbVec3f& q, F f) const {
  CellBox box;
  if (!face || !cellBox(p, q, 0.0f, box)) return;
  const bool single = box.lo[0] == box.hi[0] && box.lo[1] == box.hi[1] && box.lo[2] == box.hi[2];
  const uint32_t gen = nextMark();
  int32_t c[3];
  for (c[2] = box.lo[2]; c[2] <= box.hi[2]; ++c[2])
    for (c[1] = box.lo[1]; c[1] <= box.hi[1]; ++c[1])
      for (c[0] = box.lo[0]; c[0] <= box.hi[0]; ++c[0]) {
        const int32_t id = findCell(key(c[0], c[1], c[2]));
        if (id < 0 || (!single && !meetsCell(p, q, c, 1e-3f * sep))) continue;
        for (int32_t e = cellHead[id]; e >= 0; e = entries[e].next) {
          const int32_t s = entries[e].segment;
          if (marks[s] == gen) continue;
          marks[s] = gen;
          if (counts(*segments[s], face)) f(static_cast<int>(s), *segments[s]);
        }
      }
}

#endif
