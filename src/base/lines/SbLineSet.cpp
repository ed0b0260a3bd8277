#include "lines/SbLineSet.h"

#include <cmath>

#include "core/Finite.h"

void SbLineSet::clear() {
  points.clear();
  indices.clear();
  thickness.clear();
  taper.clear();
  density.clear();
  family.clear();
  triangles.clear();
  parameters.clear();
}

int SbLineSet::vertexEntryCount() const {
  int n = 0;
  for (int32_t i : indices) n += i >= 0;
  return n;
}

void SbLineSet::validate() {
  const size_t entries = static_cast<size_t>(vertexEntryCount());
  if (thickness.size() != entries) thickness.clear();
  if (taper.size() != entries) taper.clear();
  if (density.size() != entries) density.clear();
  if (family.size() != entries) family.clear();
  if (triangles.size() != entries) triangles.clear();
  if (parameters.size() != indices.size()) parameters.clear();
  const int np = static_cast<int>(points.size());
  bool bad = !indices.empty() && indices.back() >= 0;
  for (int32_t i : indices) bad = bad || i < -1 || i >= np;
  for (const SbVec3f& p : points) bad = bad || !finite(p);
  if (!bad) return;
  // Rebuild with only the lines whose points exist and are finite.
  SbLineSet copy = *this;
  if (!copy.indices.empty() && copy.indices.back() >= 0) {
    copy.indices.push_back(-1);
    if (!copy.parameters.empty()) copy.parameters.push_back(-1.0f);
  }
  SbLineSetBuilder builder(copy, false);
  copy.forEachLine([&](int begin, int end) {
    bool ok = true;
    for (int k = begin; k < end; ++k) {
      const int32_t p = copy.indices[k];
      ok = ok && p >= 0 && p < np;
      ok = ok && finite(copy.points[p]);
    }
    if (!ok) return;
    for (int k = begin; k < end; ++k) builder.add(k);
    builder.endLine(1);
  });
  *this = builder.result();
}

SbLineSetBuilder::SbLineSetBuilder(const SbLineSet& input, bool newPoints) : in(input), fresh(newPoints) {
  entryOf.resize(in.indices.size());
  int n = 0;
  for (size_t i = 0; i < in.indices.size(); ++i) entryOf[i] = in.indices[i] >= 0 ? n++ : -1;
  if (!fresh) out.points = in.points;
  lineStartPoint = out.points.size();
}

void SbLineSetBuilder::add(int pos) {
  const int e = entryOf[pos];
  if (fresh) {
    out.indices.push_back(static_cast<int32_t>(out.points.size()));
    out.points.push_back(in.points[in.indices[pos]]);
  } else {
    out.indices.push_back(in.indices[pos]);
  }
  if (!in.thickness.empty()) out.thickness.push_back(in.thickness[e]);
  if (!in.taper.empty()) out.taper.push_back(in.taper[e]);
  if (!in.density.empty()) out.density.push_back(in.density[e]);
  if (!in.family.empty()) out.family.push_back(in.family[e]);
  if (!in.triangles.empty()) out.triangles.push_back(in.triangles[e]);
  if (!in.parameters.empty()) out.parameters.push_back(in.parameters[pos]);
  ++open;
  ++entries;
}

void SbLineSetBuilder::addBetween(int a, int b, float t) {
  if (t <= 0.0f && !fresh) return add(a);
  const int ea = entryOf[a], eb = entryOf[b];
  const SbVec3f& pa = in.points[in.indices[a]];
  const SbVec3f& pb = in.points[in.indices[b]];
  out.indices.push_back(static_cast<int32_t>(out.points.size()));
  out.points.push_back(pa + (pb - pa) * t);
  auto lerp = [t](float x, float y) { return x + (y - x) * t; };
  if (!in.thickness.empty()) out.thickness.push_back(lerp(in.thickness[ea], in.thickness[eb]));
  if (!in.taper.empty()) out.taper.push_back(lerp(in.taper[ea], in.taper[eb]));
  if (!in.density.empty()) out.density.push_back(lerp(in.density[ea], in.density[eb]));
  if (!in.family.empty()) out.family.push_back(lerp(in.family[ea], in.family[eb]));
  if (!in.triangles.empty()) out.triangles.push_back(t < 0.5f ? in.triangles[ea] : in.triangles[eb]);
  if (!in.parameters.empty()) out.parameters.push_back(lerp(in.parameters[a], in.parameters[b]));
  ++open;
  ++entries;
}

void SbLineSetBuilder::endLine(int minVertices) {
  if (open == 0) return;
  if (open < minVertices) {
    // Roll back the open line.
    out.indices.resize(lineStartIndex);
    if (!in.parameters.empty()) out.parameters.resize(lineStartIndex);
    if (!in.thickness.empty()) out.thickness.resize(lineStartEntry);
    if (!in.taper.empty()) out.taper.resize(lineStartEntry);
    if (!in.density.empty()) out.density.resize(lineStartEntry);
    if (!in.family.empty()) out.family.resize(lineStartEntry);
    if (!in.triangles.empty()) out.triangles.resize(lineStartEntry);
    out.points.resize(lineStartPoint);
    entries = lineStartEntry;
  } else {
    out.indices.push_back(-1);
    if (!in.parameters.empty()) out.parameters.push_back(-1.0f);
  }
  open = 0;
  lineStartIndex = out.indices.size();
  lineStartEntry = entries;
  lineStartPoint = out.points.size();
}
