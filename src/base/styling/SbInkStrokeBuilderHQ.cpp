#include "styling/SbInkStrokeBuilderHQ.h"

#include <algorithm>
#include <cmath>

#include "core/Finite.h"
#include "styling/SbLineSettingsHQ.h"

TypedObjectPool<SbInkStrokeBuilderHQ::Record> SbInkStrokeBuilderHQ::pool("SoLineShapeHQ::pool");

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 2.0f * kPi;

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
  const bool hasThickness = lines.thickness != nullptr;
  const bool hasDensity = lines.density != nullptr;
  lines.forEachLine([&](int32_t begin, int32_t end, int32_t firstVertex) {
    scratch.clear();
    for (int32_t k = begin; k < end; ++k) {
      const int32_t i = lines.indices[k];
      const int32_t v = firstVertex + (k - begin);
      SbVec3f pixel;
      if (!lines.hasPoint(i) || !project(lines.points[i], pixel)) continue;
      PixelPoint p;
      p.x = pixel[0];
      p.y = pixel[1];
      p.z = pixel[2];
      p.thickness = hasThickness ? lines.thickness[v] : 1.0f;
      p.density = hasDensity ? lines.density[v] : 1.0f;
      scratch.push_back(p);
    }
    if (!scratch.empty()) addStroke(scratch.data(), static_cast<int>(scratch.size()), hasThickness, hasDensity);
  });
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
    if (!finite(SbVec3f(p.x, p.y, p.z))) continue;
    // Signed for now: a sign change of the width is split at its zero below.
    float r = lineWidth / 2.0f;
    if (hasThickness) r = lineWidth / 2.0f * clean(p.thickness);
    r = clean(std::min(r, halfMax));
    const float d = hasDensity ? std::min(std::max(clean(p.density), 0.0f), 1.0f) : 1.0f;

    if (!records.empty()) {
      const Record& prev = *records.back();
      const float dx = p.x - prev.screen[0], dy = p.y - prev.screen[1];
      // A point where the ink starts or ends stays: dots end there.
      const bool close = dx * dx + dy * dy < tolerance && 2.0f * std::fabs(r - prev.halfWidth) < tolerance &&
                         std::fabs(d - prev.density) < 0.02f && (d > kNoInk) == (prev.density > kNoInk);
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

  // The runs of SbInkOutlineHQ: a segment is empty when both half-widths
  // vanish, solid when both tones reach toneHigh, dotted otherwise.
  const float high = settings->toneHigh - 1e-6f;
  if (records.size() == 1) {
    const Record& r = *records[0];
    if (r.density >= high) emitSolid(0, 0);
    else if (r.density > kNoInk) emitDot(r.screen[0], r.screen[1], r.screen[2], r.halfWidth);
    releaseRecords();
    return;
  }
  enum Kind { EMPTY, SOLID, DOTTED };
  auto kind = [&](size_t k) {
    const Record& a = *records[k];
    const Record& b = *records[k + 1];
    if (a.halfWidth < 1e-6f && b.halfWidth < 1e-6f) return EMPTY;
    if (a.density >= high && b.density >= high) return SOLID;
    return DOTTED;
  };
  const size_t segments = records.size() - 1;
  size_t start = 0;
  Kind current = kind(0);
  for (size_t k = 1; k <= segments; ++k) {
    const Kind next = k < segments ? kind(k) : EMPTY;
    if (k < segments && next == current) continue;
    if (current == SOLID) emitSolid(start, k);
    else if (current == DOTTED) emitDots(start, k);
    current = next;
    start = k;
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

// Dotted run over records first..last: the dots of dotPlaces, by screen arc
// length.
void SbInkStrokeBuilderHQ::emitDots(size_t first, size_t last) {
  const size_t n = last - first + 1;
  std::vector<float> arc(n, 0.0f), radius(n), tone(n);
  for (size_t m = 0; m < n; ++m) {
    const Record& r = *records[first + m];
    if (m > 0) arc[m] = arc[m - 1] + records[first + m - 1]->length;
    radius[m] = r.halfWidth;
    tone[m] = r.density;
  }
  // Solid ink meets the run where the neighbouring segment is solid.
  const float high = settings->toneHigh - 1e-6f;
  auto solidSegment = [&](size_t a) {
    const Record& p = *records[a];
    const Record& q = *records[a + 1];
    return p.density >= high && q.density >= high && (p.halfWidth >= 1e-6f || q.halfWidth >= 1e-6f);
  };
  const bool solidBefore = first > 0 && solidSegment(first - 1);
  const bool solidAfter = last + 1 < records.size() && solidSegment(last);
  std::vector<float> places;
  dotPlaces(*settings, arc.data(), radius.data(), tone.data(), static_cast<int>(n), solidBefore, solidAfter, places);
  size_t m = 0;
  for (float x : places) {
    while (m + 2 < n && arc[m + 1] <= x) ++m;
    const Record& a = *records[first + m];
    const Record& b = *records[first + m + 1];
    const float span = arc[m + 1] - arc[m];
    const float f = span > 0.0f ? std::min(std::max((x - arc[m]) / span, 0.0f), 1.0f) : 0.0f;
    emitDot(a.screen[0] + f * (b.screen[0] - a.screen[0]), a.screen[1] + f * (b.screen[1] - a.screen[1]),
            a.screen[2] + f * (b.screen[2] - a.screen[2]), a.halfWidth + f * (b.halfWidth - a.halfWidth));
  }
}

namespace {

// The walk over one piece of a dotted run (no inner vertex without ink);
// arc lengths relative to the piece's first vertex are s[m] - s[0].
void walkPiece(const SbLineSettingsHQ& settings, const float* s, const float* radius, const float* tone, int n,
               bool solidBefore, bool solidAfter, bool rebalance, std::vector<float>& places) {
  constexpr float kNoInk = SbInkStrokeBuilderHQ::kNoInk;
  // The darkest vertex that can carry a dot.
  int darkest = -1;
  float best = -1.0f;
  for (int m = 0; m < n; ++m)
    if (radius[m] > kNoInk && tone[m] > kNoInk && tone[m] > best + 1e-6f) {
      best = tone[m];
      darkest = m;
    }
  if (darkest < 0) return;
  // Next to solid ink a dot keeps the smallest dot spacing from the end's
  // centre, as from a neighbouring dot: it does not merge into the solid part.
  const float margin = std::isfinite(settings.minDistance) ? std::max(settings.minDistance, 0.0f) : 0.0f;
  const float lo = s[0] + (solidBefore ? margin * radius[0] : 0.0f);
  const float hi = s[n - 1] - (solidAfter ? margin * radius[n - 1] : 0.0f);
  if (!(lo <= hi)) return;

  // Segment m (vertex m to m + 1) holding arc length x, and the fraction.
  auto locate = [&](float x, int& m, float& f) {
    m = static_cast<int>(std::upper_bound(s, s + n, x) - s) - 1;
    m = std::min(std::max(m, 0), n - 2);
    const float span = s[m + 1] - s[m];
    f = span > 0.0f ? std::min(std::max((x - s[m]) / span, 0.0f), 1.0f) : 0.0f;
  };
  auto at = [&](const float* v, float x) {
    int m;
    float f;
    locate(x, m, f);
    return v[m] + f * (v[m + 1] - v[m]);
  };
  // Mean tone over [a, b]: the linear tone integrated by trapezoids between
  // the vertices inside the stretch.
  auto meanTone = [&](float a, float b) {
    if (a > b) std::swap(a, b);
    a = std::min(std::max(a, s[0]), s[n - 1]);
    b = std::min(std::max(b, s[0]), s[n - 1]);
    if (!(b - a > 1e-6f)) return at(tone, a);
    float sum = 0.0f, x0 = a, t0 = at(tone, a);
    for (int m = 1; m < n && x0 < b; ++m) {
      if (s[m] <= a) continue;
      const float x1 = std::min(s[m], b);
      const float t1 = at(tone, x1);
      sum += (x1 - x0) * (t0 + t1) * 0.5f;
      x0 = x1;
      t0 = t1;
    }
    if (x0 < b) sum += (b - x0) * (t0 + at(tone, b)) * 0.5f;
    return sum / (b - a);
  };
  auto step = [&](float t, float r) {
    const float d = settings.spacing(t) * r;
    return d >= 1.0f ? d : 1.0f;  // also for NaN
  };
  auto inked = [&](float x) { return at(tone, x) > kNoInk && at(radius, x) > kNoInk; };

  const size_t before = places.size();
  const float origin = std::min(std::max(s[darkest], lo), hi);
  if (!inked(origin)) return;
  places.push_back(origin);
  for (int dir = 1; dir >= -1; dir -= 2) {
    float x = origin;
    while (static_cast<int>(places.size()) < SbInkStrokeBuilderHQ::kMaxDotsPerRun) {
      const float r = at(radius, x);
      const float guess = step(at(tone, x), r);
      x += static_cast<float>(dir) * step(meanTone(x, x + static_cast<float>(dir) * guess), r);
      if (!(x <= hi && x >= lo) || !inked(x)) break;
      places.push_back(x);
    }
  }
  if (rebalance && solidBefore && solidAfter) {
    // A gap between two solid parts: the same number of dots, spread evenly
    // from one margin to the other (a single dot in the middle).
    const size_t count = places.size() - before;
    for (size_t m = 0; m < count; ++m)
      places[before + m] = count == 1 ? 0.5f * (lo + hi)
                                      : lo + static_cast<float>(m) * (hi - lo) / static_cast<float>(count - 1);
  }
}

}  // namespace

void SbInkStrokeBuilderHQ::dotPlaces(const SbLineSettingsHQ& settings, const float* arc, const float* radius,
                                     const float* tone, int n, bool solidBefore, bool solidAfter,
                                     std::vector<float>& places) {
  places.clear();
  if (!arc || !radius || !tone || n < 2 || !std::isfinite(arc[n - 1] - arc[0])) return;
  int first = 0;
  for (int k = 1; k < n; ++k) {
    const bool last = k == n - 1;
    if (!last && tone[k] > kNoInk && radius[k] > kNoInk) continue;
    const bool whole = first == 0 && last;
    walkPiece(settings, arc + first, radius + first, tone + first, k - first + 1, first == 0 && solidBefore,
              last && solidAfter, whole && settings.rebalance, places);
    first = k;
  }
  std::sort(places.begin(), places.end());
}
