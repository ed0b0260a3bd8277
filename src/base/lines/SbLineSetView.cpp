#include "lines/SbLineSetView.h"

#include "lines/SbLineSet.h"

namespace {
int32_t countVertices(const int32_t* indices, int32_t n) {
  int32_t vertices = 0;
  for (int32_t k = 0; k < n; ++k) vertices += indices[k] != -1;
  return vertices;
}
}  // namespace

SbLineSetView::SbLineSetView(const SbVec3f* points, int32_t pointCount, const int32_t* indices, int32_t indexCount)
    : points(points),
      pointCount(points && pointCount > 0 ? pointCount : 0),
      indices(indices),
      indexCount(indices && indexCount > 0 ? indexCount : 0) {
  if (this->indexCount == 0) this->indices = nullptr;
  if (this->pointCount == 0) this->points = nullptr;
  vertexCount = countVertices(this->indices, this->indexCount);
}

SbLineSetView::SbLineSetView(const SbLineSet& set)
    : SbLineSetView(set.points.data(), static_cast<int32_t>(set.points.size()), set.indices.data(),
                    static_cast<int32_t>(set.indices.size())) {
  auto size = [](const auto& v) { return static_cast<int32_t>(v.size()); };
  setThickness(set.thickness.data(), size(set.thickness));
  setTaper(set.taper.data(), size(set.taper));
  setDensity(set.density.data(), size(set.density));
  setFamily(set.family.data(), size(set.family));
  setTriangles(set.triangles.data(), size(set.triangles));
}

SbLineSetView SbLineSetView::slice(int32_t begin, int32_t end) const {
  begin = begin < 0 ? 0 : (begin > indexCount ? indexCount : begin);
  end = end < begin ? begin : (end > indexCount ? indexCount : end);
  const int32_t skipped = countVertices(indices, begin);
  SbLineSetView part(points, pointCount, indices ? indices + begin : nullptr, end - begin);
  if (part.empty()) return part;
  auto from = [&](const auto* values) { return values ? values + skipped : nullptr; };
  part.thickness = from(thickness);
  part.taper = from(taper);
  part.density = from(density);
  part.family = from(family);
  part.triangles = from(triangles);
  return part;
}
