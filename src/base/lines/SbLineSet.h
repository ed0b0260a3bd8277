#ifndef LINFOLD_SBLINESET_H
#define LINFOLD_SBLINESET_H

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "lines/SbLineSetView.h"

struct HeTriangle;

// A line set as the line stages hand it on: points, polylines as runs of
// point indices each ended by -1, and optional per-vertex arrays.
//
// Lengths: thickness, taper, density, family and triangles hold one value for every
// index entry that is not -1; parameters hold one value for every index entry,
// -1.0 at the separators. An empty array means "none".
class SbLineSet {
 public:
  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  std::vector<float> thickness;
  std::vector<float> taper;
  std::vector<float> density;
  std::vector<float> family;  // stroke family, 0 or 1 (SoLineFamilyElementHQ)
  std::vector<const HeTriangle*> triangles;
  std::vector<float> parameters;

  void clear();
  // Number of index entries that are not -1.
  int vertexEntryCount() const;
  // Empties every per-vertex array whose length does not match the index
  // list, and drops the lines that name a point out of range (with their
  // per-vertex values); a missing final -1 is added.
  void validate();
  // Calls fn(begin, end) for each polyline: index positions [begin, end)
  // (end is the position of its -1), as SbLineSetView::forEachLine.
  template <class Fn>
  void forEachLine(Fn fn) const;
};

// Builds a new line set from the vertex entries of an input set, carrying
// every per-vertex array along (interpolated between two entries; triangles
// taken from the nearer one).
class SbLineSetBuilder {
 public:
  // newPoints: every output vertex gets its own new point; otherwise copied
  // entries keep their point index (and interpolated ones append a point).
  SbLineSetBuilder(const SbLineSet& input, bool newPoints);

  // Appends the input entry at index position `pos`.
  void add(int pos);
  // Appends the point between the input entries at positions a and b, at t.
  void addBetween(int a, int b, float t);
  // Closes the open line; a line with fewer than `minVertices` vertices is
  // dropped instead.
  void endLine(int minVertices = 2);
  int openVertices() const { return open; }

  SbLineSet& result() { return out; }

 private:
  const SbLineSet& in;
  bool fresh;
  std::vector<int> entryOf;  // index position -> vertex entry ordinal (-1 at separators)
  SbLineSet out;
  int open = 0;
  size_t entries = 0;
  size_t lineStartIndex = 0, lineStartEntry = 0, lineStartPoint = 0;
};

template <class Fn>
void SbLineSet::forEachLine(Fn fn) const {
  SbLineSetView(*this).forEachLine([&](int32_t begin, int32_t end, int32_t) { fn(begin, end); });
}

#endif
