#include "styling/SbInkStrokeBuilderHQ.h"

#include <algorithm>
#include <cmath>

#include "core/Finite.h"
#include "styling/SbLineSettingsHQ.h"

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 2.0f * kPi;

// Number of pieces for an arc of `sweep` radians and radius r: at least one,
// a quarter turn at most, edges no longer than `resolution`.
int arcPieces(float sweep, float r, float resolution) {
  const float byAngle = std::ceil(sweep * 2.0f / kPi - 1e-6f);
  const float byLength = std::ceil(sweep * r / resolution);
  float n = std::max(byAngle, byLength);
  if (!(n >= 1.0f)) n = 1.0f;
  return static_cast<int>(std::min(n, static_cast<float>(SbInkStrokeBuilderHQ::kMaxArcPieces)));
}

}  // namespace

void SbInkStrokeBuilderHQ::setResolution(float pixels) { resolution = (pixels >= 0.01f) ? pixels : 0.01f; }

void SbInkStrokeBuilderHQ::setProjection(const SbMatrix& objectToClip, const SbVec2f& viewportOrigin,
                                         const SbVec2f& viewportSize) {
  toClip = objectToClip;
  origin = viewportOrigin;
  size = viewportSize;
}

void SbInkStrokeBuilderHQ::clear() {
  solidVertex.clear();
  solidIndex.clear();
  dotVertex.clear();
  dotList.clear();
}

bool SbInkStrokeBuilderHQ::project(const SbVec3f& point, SbVec3f& pixel) const {
  SbVec4f clip;
  toClip.multVecMatrix(SbVec4f(point[0], point[1], point[2], 1.0f), clip);
  if (!(clip[3] > 0.0f)) return false;  // behind the eye (or NaN)
  const float x = (clip[0] / clip[3] + 1.0f) * 0.5f * size[0] + origin[0];
  const float y = (clip[1] / clip[3] + 1.0f) * 0.5f * size[1] + origin[1];
  const float z = (clip[2] / clip[3] + 1.0f) * 0.5f;
  if (!finite(SbVec3f(x, y, z))) return false;
  pixel.setValue(x, y, z);
  return true;
}

void SbInkStrokeBuilderHQ::projectPoints(const SbLineSetView& lines, std::vector<SbVec2f>& pixels,
                                         std::vector<uint8_t>& valid) const {
  pixels.assign(static_cast<size_t>(lines.pointCount), SbVec2f(0, 0));
  valid.assign(static_cast<size_t>(lines.pointCount), 0);
  for (int32_t i = 0; i < lines.pointCount; ++i) {
    SbVec3f p;
    if (!project(lines.points[i], p)) continue;
    pixels[i].setValue(p[0], p[1]);
    valid[i] = 1;
  }
}

void SbInkStrokeBuilderHQ::addLineSet(const SbLineSetView& lines) {
  if (!settings || lines.pointCount < 1 || lines.indexCount < 2) return;
  lines.forEachLine([&](int32_t begin, int32_t end, int32_t firstVertex) {
    runs.buildLine(*settings, lines, begin, end, firstVertex,
                   [&](int32_t i, SbVec3f& pixel) { return project(lines.points[i], pixel); });
    emitRuns();
  });
}

void SbInkStrokeBuilderHQ::addStroke(const SbVec3f* points, const float* thickness, const float* tone, int count) {
  if (!settings || !points || count < 1) return;
  runs.build(*settings, points, thickness, tone, count);
  emitRuns();
}

void SbInkStrokeBuilderHQ::emitRuns() {
  const std::vector<SbInkRunsHQ::Dot>& dots = runs.dots();
  for (const SbInkRunsHQ::Run& run : runs.runs()) {
    if (run.kind == SbInkRunsHQ::SOLID) {
      emitSolid(run.first, run.last);
    } else {
      for (int d = run.firstDot; d < run.firstDot + run.dots; ++d)
        emitDot(dots[d].centre[0], dots[d].centre[1], dots[d].centre[2], dots[d].radius);
    }
  }
}

void SbInkStrokeBuilderHQ::emitDisc(const SbInkRunsHQ::Point& r) {
  if (r.radius < 1e-6f) return;  // a point adds nothing to the area
  const int n = arcPieces(kTwoPi, r.radius, resolution);
  const int32_t centre = static_cast<int32_t>(solidVertex.size());
  solidVertex.emplace_back(r.position[0], r.position[1], r.position[2]);
  for (int i = 0; i < n; ++i) {
    const float a = kTwoPi * static_cast<float>(i) / static_cast<float>(n);
    solidVertex.emplace_back(r.position[0] + r.radius * std::cos(a), r.position[1] + r.radius * std::sin(a),
                             r.position[2]);
  }
  for (int i = 0; i < n; ++i) {
    solidIndex.push_back(centre);
    solidIndex.push_back(centre + 1 + i);
    solidIndex.push_back(centre + 1 + (i + 1) % n);
  }
}

// The quadrilateral between the outer tangents of the discs of a and b.
void SbInkStrokeBuilderHQ::emitBand(const SbInkRunsHQ::Point& a, const SbInkRunsHQ::Point& b) {
  const float dx = b.position[0] - a.position[0];
  const float dy = b.position[1] - a.position[1];
  const float dr = a.radius - b.radius;
  const float l2 = dx * dx + dy * dy;
  if (l2 < dr * dr + 1e-6f) return;  // one disc holds the other
  if (a.radius < 1e-6f && b.radius < 1e-6f) return;
  const float length = std::sqrt(l2);
  const float angle = std::atan2(dy, dx);
  const float phi = std::acos(std::min(std::max(dr / length, -1.0f), 1.0f));
  const float left[2] = {std::cos(angle + phi), std::sin(angle + phi)};
  const float right[2] = {std::cos(angle - phi), std::sin(angle - phi)};
  const int32_t base = static_cast<int32_t>(solidVertex.size());
  const float za = a.position[2], zb = b.position[2];
  solidVertex.emplace_back(a.position[0] + a.radius * left[0], a.position[1] + a.radius * left[1], za);
  solidVertex.emplace_back(b.position[0] + b.radius * left[0], b.position[1] + b.radius * left[1], zb);
  solidVertex.emplace_back(b.position[0] + b.radius * right[0], b.position[1] + b.radius * right[1], zb);
  solidVertex.emplace_back(a.position[0] + a.radius * right[0], a.position[1] + a.radius * right[1], za);
  const int32_t quad[6] = {0, 1, 2, 0, 2, 3};
  for (int32_t q : quad) solidIndex.push_back(base + q);
}

// Solid run over points first..last: each point's disc and the tangent
// quadrilaterals between neighbours, whose union is the outline.
void SbInkStrokeBuilderHQ::emitSolid(int first, int last) {
  const std::vector<SbInkRunsHQ::Point>& points = runs.points();
  for (int k = first; k <= last; ++k) {
    emitDisc(points[k]);
    if (k < last) emitBand(points[k], points[k + 1]);
  }
}

void SbInkStrokeBuilderHQ::emitDot(float x, float y, float z, float radius) {
  if (!(radius >= 1e-6f)) return;
  float byLength = std::ceil(kTwoPi * radius / resolution);
  if (!(byLength <= static_cast<float>(kMaxArcPieces))) byLength = static_cast<float>(kMaxArcPieces);
  const int n = std::max(5, static_cast<int>(byLength));
  Dot dot;
  dot.centre.setValue(x, y, z);
  dot.radius = radius;
  dot.firstVertex = static_cast<int32_t>(dotVertex.size());
  dot.corners = n;
  dot.vertexCount = n + 2;
  dotVertex.emplace_back(x, y, z);
  for (int k = 0; k <= n; ++k) {
    const float a = kTwoPi * static_cast<float>(k % n) / static_cast<float>(n);
    dotVertex.emplace_back(x + radius * std::cos(a), y + radius * std::sin(a), z);
  }
  dotList.push_back(dot);
}
