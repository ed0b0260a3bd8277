#ifndef LINFOLD_SBLINESETVIEW_H
#define LINFOLD_SBLINESETVIEW_H

#include <Inventor/SbVec3f.h>

#include <cstdint>

class SbLineSet;
struct HeTriangle;

// A line set read where it lies - the traversal state's arrays or an
// SbLineSet's - without copying. It is valid as long as those arrays are.
//
// Index entries are point indices; -1 ends a polyline, and the end of the
// list ends the last one. Every entry that is not -1 is a vertex and owns one
// slot of each per-vertex array, also when it names no point (hasPoint()
// tells). A per-vertex array is attached only when it has a value for every
// vertex; otherwise it stays null, as if the set had none.
class SbLineSetView {
 public:
  const SbVec3f* points = nullptr;
  int32_t pointCount = 0;
  const int32_t* indices = nullptr;
  int32_t indexCount = 0;
  int32_t vertexCount = 0;  // index entries that are not -1

  const float* thickness = nullptr;
  const float* taper = nullptr;
  const float* density = nullptr;
  const float* family = nullptr;  // stroke family, 0 or 1
  const HeTriangle* const* triangles = nullptr;

  SbLineSetView() = default;
  SbLineSetView(const SbVec3f* points, int32_t pointCount, const int32_t* indices, int32_t indexCount);
  explicit SbLineSetView(const SbLineSet& set);

  bool empty() const { return vertexCount == 0; }
  bool hasPoint(int32_t i) const { return i >= 0 && i < pointCount; }

  // Attach a per-vertex array of `count` values (kept only if it covers
  // every vertex).
  void setThickness(const float* values, int32_t count) { thickness = covering(values, count); }
  void setTaper(const float* values, int32_t count) { taper = covering(values, count); }
  void setDensity(const float* values, int32_t count) { density = covering(values, count); }
  void setFamily(const float* values, int32_t count) { family = covering(values, count); }
  void setTriangles(const HeTriangle* const* values, int32_t count) { triangles = covering(values, count); }

  // The index entries [begin, end) with their per-vertex values, as a set of
  // its own over the same points.
  SbLineSetView slice(int32_t begin, int32_t end) const;

  // Calls fn(begin, end, firstVertex) for every polyline with at least one
  // entry: index positions [begin, end) and the per-vertex slot of the entry
  // at `begin` (the entry at begin + j has slot firstVertex + j).
  template <class Fn>
  void forEachLine(Fn fn) const;

 private:
  template <class T>
  const T* covering(const T* values, int32_t count) const {
    return values && vertexCount > 0 && count >= vertexCount ? values : nullptr;
  }
};

template <class Fn>
void SbLineSetView::forEachLine(Fn fn) const {
  int32_t begin = 0, vertex = 0;
  for (int32_t k = 0; k <= indexCount; ++k) {
    if (k < indexCount && indices[k] != -1) continue;
    if (k > begin) fn(begin, k, vertex);
    vertex += k - begin;
    begin = k + 1;
  }
}

#endif
