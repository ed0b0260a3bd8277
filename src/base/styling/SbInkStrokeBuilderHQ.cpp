#include "styling/SbInkStrokeBuilderHQ.h"

#include <algorithm>
#include <cmath>

#include "styling/SbLineSettingsHQ.h"

TypedObjectPool<SbInkStrokeBuilderHQ::Record> SbInkStrokeBuilderHQ::pool("SoLineShapeHQ::pool");

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 2.0f * kPi;

bool finite3(float x, float y, float z) {
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

float clean(float v) { return std::isnan(v) ? 0.0f : v; }

// Number of pieces for an arc of `sweep` radians and radius r: at least one,
// a quarter turn at most, edges no longer than `resolution`.
int arcPieces(float sweep, float r, float resolution) {
  const float byAngle = std::ceil(sweep * 2.0f / kPi - 1e-6f);
  const float byLength = std::ceil(sweep * r / resolution);
  float n = std::max(byAngle, byLength);
  if (!(n >= 1.0f)) n = 1.0f;
  return static_cast<int>(std::min(n, static_cast<float>(SbInkStrokeBuilderHQ::kMaxArcPieces)));
}

SbInkStrokeBuilderHQ::Record lerp(const SbInkStrokeBuilderHQ::Record& a,
                                  const SbInkStrokeBuilderHQ::Record& b, float f) {
  SbInkStrokeBuilderHQ::Record r = a;
  for (int i = 0; i < 3; ++i) r.screen[i] = a.screen[i] + f * (b.screen[i] - a.screen[i]);
  for (int i = 0; i < 2; ++i) {
    r.leftOffset[i] = a.leftOffset[i] + f * (b.leftOffset[i] - a.leftOffset[i]);
    r.rightOffset[i] = a.rightOffset[i] + f * (b.rightOffset[i] - a.rightOffset[i]);
  }
  r.halfWidth = a.halfWidth + f * (b.halfWidth - a.halfWidth);
  r.density = a.density + f * (b.density - a.density);
  return r;
}

}  // namespace

void SbInkStrokeBuilderHQ::setResolution(float pixels) {
  resolution = (pixels >= 0.01f) ? pixels : 0.01f;
}

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
  if (!finite3(x, y, z)) return false;
  pixel.setValue(x, y, z);
  return true;
}

void SbInkStrokeBuilderHQ::addLineSet(const SbVec3f* points, int32_t pointCount,
                                      const int32_t* indices, int32_t indexCount,
                                      const float* thickness, int32_t thicknessCount,
                                      const float* density, int32_t densityCount) {
  if (!settings || !points || pointCount < 1 || !indices || indexCount < 2) return;
  int32_t vertices = 0;
  for (int32_t k = 0; k < indexCount; ++k)
    if (indices[k] != -1) ++vertices;
  const bool hasThickness = thickness && thicknessCount >= vertices && vertices > 0;
  const bool hasDensity = density && densityCount >= vertices && vertices > 0;

  int32_t vertex = 0;
  scratch.clear();
  for (int32_t k = 0; k <= indexCount; ++k) {
    const bool end = k == indexCount || indices[k] == -1;
    if (end) {
      if (!scratch.empty()) addStroke(scratch.data(), static_cast<int>(scratch.size()), hasThickness,
                                      hasDensity);
      scratch.clear();
      continue;
    }
    const int32_t i = indices[k];
    const int32_t v = vertex++;
    SbVec3f pixel;
    if (i < 0 || i >= pointCount || !project(points[i], pixel)) continue;
    PixelPoint p;
    p.x = pixel[0];
    p.y = pixel[1];
    p.z = pixel[2];
    p.thickness = hasThickness ? thickness[v] : 1.0f;
    p.density = hasDensity ? density[v] : 1.0f;
    scratch.push_back(p);
  }
}

void SbInkStrokeBuilderHQ::releaseRecords() {
  for (Record* r : records) pool.giveBack(r);
  records.clear();
}

void SbInkStrokeBuilderHQ::buildRecords(const PixelPoint* points, int count, bool hasThickness,
                                        bool hasDensity) {
  const float lineWidth = std::isfinite(settings->lineWidth) ? settings->lineWidth : 0.0f;
  const float halfMax = settings->maxWidth / 2.0f;
  const float tolerance = settings->tolerance;
  for (int k = 0; k < count; ++k) {
    const PixelPoint& p = points[k];
    if (!finite3(p.x, p.y, p.z)) continue;
    // Signed for now: a sign change of the width is split at its zero below.
    float r = lineWidth / 2.0f;
    if (hasThickness) r = lineWidth / 2.0f * clean(p.thickness);
    r = clean(std::min(r, halfMax));
    const float d = hasDensity ? std::min(std::max(clean(p.density), 0.0f), 1.0f) : 1.0f;

    if (!records.empty()) {
      const Record& prev = *records.back();
      const float dx = p.x - prev.screen[0], dy = p.y - prev.screen[1];
      const bool close = dx * dx + dy * dy < tolerance && 2.0f * std::fabs(r - prev.halfWidth) < tolerance &&
                         std::fabs(d - prev.density) < 0.02f;
      if (close) {
        // The previous record extends over this point; the stroke's last
        // point still ends it, in place of the previous one.
        if (k == count - 1 && records.size() >= 2) {
          Record& last = *records.back();
          last.screen[0] = p.x;
          last.screen[1] = p.y;
          last.screen[2] = p.z;
          last.halfWidth = r;
          last.density = d;
        }
        continue;
      }
    }
    Record* rec = pool.take();
    if (!rec) return;
    *rec = Record{};
    rec->screen[0] = p.x;
    rec->screen[1] = p.y;
    rec->screen[2] = p.z;
    rec->halfWidth = r;
    rec->density = d;
    records.push_back(rec);
  }
}

// Inserts records where the half-width changes sign and where the tone
// crosses toneHigh, then makes every half-width non-negative.
void SbInkStrokeBuilderHQ::splitRecords() {
  const float high = settings->toneHigh;
  std::vector<Record*> out;
  out.reserve(records.size() * 2);
  for (size_t k = 0; k < records.size(); ++k) {
    out.push_back(records[k]);
    if (k + 1 == records.size()) break;
    const Record& a = *records[k];
    const Record& b = *records[k + 1];
    struct Cut {
      float f;
      bool width;
    } cuts[2];
    int n = 0;
    if ((a.halfWidth > 0.0f && b.halfWidth < 0.0f) || (a.halfWidth < 0.0f && b.halfWidth > 0.0f)) {
      const float f = a.halfWidth / (a.halfWidth - b.halfWidth);
      if (f > 1e-6f && f < 0.999999f) cuts[n++] = {f, true};
    }
    if ((a.density < high) != (b.density < high)) {
      const float f = (high - a.density) / (b.density - a.density);
      if (f > 1e-6f && f < 0.999999f) cuts[n++] = {f, false};
    }
    if (n == 2 && cuts[1].f < cuts[0].f) std::swap(cuts[0], cuts[1]);
    for (int c = 0; c < n; ++c) {
      Record* rec = pool.take();
      if (!rec) break;
      *rec = lerp(a, b, cuts[c].f);
      if (cuts[c].width) rec->halfWidth = 0.0f;
      else rec->density = high;
      out.push_back(rec);
    }
  }
  records.swap(out);
  for (Record* r : records) r->halfWidth = std::max(r->halfWidth, 0.0f);
  for (size_t k = 0; k < records.size(); ++k) {
    Record& r = *records[k];
    r.length = 0.0f;
    if (k + 1 < records.size()) {
      const Record& n = *records[k + 1];
      r.length = std::hypot(n.screen[0] - r.screen[0], n.screen[1] - r.screen[1]);
    }
  }
}

void SbInkStrokeBuilderHQ::addStroke(const PixelPoint* points, int count, bool hasThickness,
                                     bool hasDensity) {
  if (!settings || !points || count < 1) return;
  releaseRecords();
  buildRecords(points, count, hasThickness, hasDensity);
  if (records.empty()) return;
  splitRecords();

  const float high = settings->toneHigh;
  if (records.size() == 1) {
    if (records[0]->density >= high) emitSolid(0, 0);
    releaseRecords();
    return;
  }
  // Runs of segments of one kind: a segment is solid when both its ends are.
  size_t start = 0;
  auto solidSegment = [&](size_t k) {
    return records[k]->density >= high && records[k + 1]->density >= high;
  };
  const size_t segments = records.size() - 1;
  bool solid = solidSegment(0);
  for (size_t k = 1; k <= segments; ++k) {
    if (k == segments || solidSegment(k) != solid) {
      if (solid) emitSolid(start, k);
      else emitDots(start, k);
      if (k < segments) {
        start = k;
        solid = solidSegment(k);
      }
    }
  }
  releaseRecords();
}

void SbInkStrokeBuilderHQ::emitDisc(const Record& r) {
  if (r.halfWidth < 1e-6f) return;  // a point adds nothing to the area
  const int n = arcPieces(kTwoPi, r.halfWidth, resolution);
  const int32_t centre = static_cast<int32_t>(solidVertex.size());
  solidVertex.emplace_back(r.screen[0], r.screen[1], r.screen[2]);
  for (int i = 0; i < n; ++i) {
    const float a = kTwoPi * static_cast<float>(i) / static_cast<float>(n);
    solidVertex.emplace_back(r.screen[0] + r.halfWidth * std::cos(a),
                             r.screen[1] + r.halfWidth * std::sin(a), r.screen[2]);
  }
  for (int i = 0; i < n; ++i) {
    solidIndex.push_back(centre);
    solidIndex.push_back(centre + 1 + i);
    solidIndex.push_back(centre + 1 + (i + 1) % n);
  }
}

// The quadrilateral between the outer tangents of the discs of a and b.
void SbInkStrokeBuilderHQ::emitBand(Record& a, const Record& b) {
  const float dx = b.screen[0] - a.screen[0];
  const float dy = b.screen[1] - a.screen[1];
  const float dr = a.halfWidth - b.halfWidth;
  const float l2 = dx * dx + dy * dy;
  if (l2 < dr * dr + 1e-6f) return;  // one disc holds the other
  if (a.halfWidth < 1e-6f && b.halfWidth < 1e-6f) return;
  const float length = std::sqrt(l2);
  const float angle = std::atan2(dy, dx);
  const float phi = std::acos(std::min(std::max(dr / length, -1.0f), 1.0f));
  a.leftAngle = angle + phi;
  a.rightAngle = angle - phi;
  a.leftOffset[0] = std::cos(a.leftAngle);
  a.leftOffset[1] = std::sin(a.leftAngle);
  a.rightOffset[0] = std::cos(a.rightAngle);
  a.rightOffset[1] = std::sin(a.rightAngle);
  const int32_t base = static_cast<int32_t>(solidVertex.size());
  const float za = a.screen[2], zb = b.screen[2];
  solidVertex.emplace_back(a.screen[0] + a.halfWidth * a.leftOffset[0],
                           a.screen[1] + a.halfWidth * a.leftOffset[1], za);
  solidVertex.emplace_back(b.screen[0] + b.halfWidth * a.leftOffset[0],
                           b.screen[1] + b.halfWidth * a.leftOffset[1], zb);
  solidVertex.emplace_back(b.screen[0] + b.halfWidth * a.rightOffset[0],
                           b.screen[1] + b.halfWidth * a.rightOffset[1], zb);
  solidVertex.emplace_back(a.screen[0] + a.halfWidth * a.rightOffset[0],
                           a.screen[1] + a.halfWidth * a.rightOffset[1], za);
  const int32_t quad[6] = {0, 1, 2, 0, 2, 3};
  for (int32_t q : quad) solidIndex.push_back(base + q);
}

// Solid run over records first..last: each record's disc and the tangent
// quadrilaterals between neighbours, whose union is the outline.
void SbInkStrokeBuilderHQ::emitSolid(size_t first, size_t last) {
  for (size_t k = first; k <= last; ++k) {
    emitDisc(*records[k]);
    if (k < last) emitBand(*records[k], *records[k + 1]);
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

// Dotted run over records first..last, walked by screen arc length.
void SbInkStrokeBuilderHQ::emitDots(size_t first, size_t last) {
  std::vector<float> at(last - first + 1, 0.0f);  // arc length at each record
  for (size_t k = first; k < last; ++k) at[k - first + 1] = at[k - first] + records[k]->length;
  const float total = at.back();
  if (!std::isfinite(total)) return;

  // Record values interpolated at arc length s.
  struct Sample {
    float x, y, z, r, d;
  };
  auto sample = [&](float s) {
    const size_t upper = static_cast<size_t>(std::upper_bound(at.begin(), at.end(), s) - at.begin());
    size_t k = upper == 0 ? 0 : upper - 1;
    if (k >= at.size() - 1) k = at.size() - 2;
    const Record& a = *records[first + k];
    const Record& b = *records[first + k + 1];
    const float span = at[k + 1] - at[k];
    float f = span > 0.0f ? (s - at[k]) / span : 0.0f;
    f = std::min(std::max(f, 0.0f), 1.0f);
    return Sample{a.screen[0] + f * (b.screen[0] - a.screen[0]), a.screen[1] + f * (b.screen[1] - a.screen[1]),
                  a.screen[2] + f * (b.screen[2] - a.screen[2]), a.halfWidth + f * (b.halfWidth - a.halfWidth),
                  a.density + f * (b.density - a.density)};
  };
  auto meanDensity = [&](float s0, float s1) {
    constexpr int samples = 8;
    float sum = 0.0f;
    for (int i = 0; i <= samples; ++i)
      sum += sample(s0 + (s1 - s0) * static_cast<float>(i) / samples).d;
    return sum / (samples + 1);
  };
  auto step = [&](float d, float r) {
    const float s = settings->spacing(d) * r;
    return s >= 1.0f ? s : 1.0f;  // also for NaN
  };

  const Record& head = *records[first];
  const Record& tail = *records[last];
  const float minDistance = settings->minDistance;
  const float begin = minDistance * head.halfWidth;
  const float end = total - minDistance * tail.halfWidth;
  if (!(begin <= end)) return;

  std::vector<float> places;
  float s = begin;
  while (s <= end && static_cast<int>(places.size()) < kMaxDotsPerRun) {
    places.push_back(s);
    const Sample here = sample(s);
    const float guess = step(here.d, here.r);
    s += step(meanDensity(s, s + guess), here.r);
  }

  // A gap between two solid parts: spread the dots so that the last one sits
  // exactly at the end margin.
  const float high = settings->toneHigh;
  if (settings->rebalance && head.density >= high && tail.density >= high && !places.empty()) {
    if (places.size() == 1) {
      places[0] = (begin + end) / 2.0f;
    } else {
      const float from = places.front();
      const float scale = (end - from) / (places.back() - from);
      for (float& p : places) p = from + (p - from) * scale;
    }
  }
  for (float p : places) {
    const Sample dot = sample(p);
    emitDot(dot.x, dot.y, dot.z, dot.r);
  }
}
