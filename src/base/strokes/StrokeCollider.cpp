#include "strokes/StrokeCollider.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

TypedObjectPool<StrokeSegment> StrokeCollider::segPool("StrokeCollider::segPool");

namespace {

// The pool is shared by the colliders of both stroke families, which may be
// filled at the same time on two threads.
std::mutex segPoolMutex;

inline SbVec3f cross3(const SbVec3f& a, const SbVec3f& b) {
  return SbVec3f(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}
inline float len3(const SbVec3f& a) { return std::sqrt(a.dot(a)); }

// Cell edge in separations. A segment (at most a few separations long) goes
// into the cells within the separation of it: with cells two separations wide
// a straight chord of two separations meets at most 2 x 2 x 3 of them, and a
// cell lists the segments of a patch of strokes about four separations
// across. One separation gives three times the cells per segment and was
// slower at a hundred thousand triangles, no faster at a million.
constexpr float kCellSize = 2.0f;
// Cells per axis at most, so that a key fits 60 bits.
constexpr int32_t kMaxCells = 1 << 20;
constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kNoKey = ~uint64_t(0);

}  // namespace

StrokeCollider::StrokeCollider(const SbHeModelHQ& model, float separation, float scale) {
  if (!(scale > 0.0f) || !std::isfinite(scale)) scale = 1.0f;
  if (!(separation > 0.0f) || !std::isfinite(separation)) separation = 1e-3f * scale;
  sep = separation;
  sepSq = sep * sep;
  tinySq = 1e-6f * scale * scale;
  tiny = 1e-6f * scale;
  nearSq = sepSq + tinySq;
  margin = 1e-3f * scale;
  minLength = 1e-5f * sep;
  // A point counts as near a segment within sqrt(nearSq) of it, with the
  // margin along it; the cells reach a little farther.
  reach = std::sqrt(nearSq) + margin + 1e-3f * sep;

  // The grid spans the model's box grown by a cell and the reach on every
  // side; whatever lies beyond falls into the border cells.
  SbVec3f lo(0, 0, 0), hi(0, 0, 0);
  bool any = false;
  for (const HeVertex* v : model.vertices) {
    const SbVec3f& p = v->position;
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
    if (!any) {
      lo = hi = p;
      any = true;
    }
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], p[k]);
      hi[k] = std::max(hi[k], p[k]);
    }
  }
  cell = kCellSize * sep;
  float extent = 0.0f;
  for (int k = 0; k < 3; ++k) extent = std::max(extent, hi[k] - lo[k]);
  if (!std::isfinite(extent)) extent = 0.0f;
  cell = std::max(cell, (extent + 2.0f * reach) / static_cast<float>(kMaxCells - 4));
  inverseCell = 1.0f / cell;
  const float border = cell + reach;
  for (int k = 0; k < 3; ++k) {
    origin[k] = lo[k] - border;
    const float n = std::ceil((hi[k] - lo[k] + 2.0f * border) * inverseCell);
    dims[k] = std::clamp(static_cast<int32_t>(std::isfinite(n) ? n : 1.0f), 1, kMaxCells);
  }
  slotKey.assign(1024, kNoKey);
  slotCell.assign(1024, -1);
  shift = 64 - 10;
}

StrokeCollider::~StrokeCollider() { clear(); }

int32_t StrokeCollider::coordinate(float x, int k) const {
  const float t = std::floor((x - origin[k]) * inverseCell);
  if (!(t > 0.0f)) return 0;
  return t >= static_cast<float>(dims[k] - 1) ? dims[k] - 1 : static_cast<int32_t>(t);
}

bool StrokeCollider::cellBox(const SbVec3f& p, const SbVec3f& q, float pad, CellBox& box) const {
  for (int k = 0; k < 3; ++k) {
    const float a = std::min(p[k], q[k]) - pad;
    const float b = std::max(p[k], q[k]) + pad;
    if (!std::isfinite(a) || !std::isfinite(b)) return false;
    box.lo[k] = coordinate(a, k);
    box.hi[k] = coordinate(b, k);
  }
  return true;
}

bool StrokeCollider::meetsCell(const SbVec3f& a, const SbVec3f& b, const int32_t c[3], float pad) const {
  // Clipping by slabs; the border cells reach to infinity.
  const float inf = std::numeric_limits<float>::infinity();
  float t0 = 0.0f;
  float t1 = 1.0f;
  for (int k = 0; k < 3; ++k) {
    const float lo = c[k] == 0 ? -inf : origin[k] + static_cast<float>(c[k]) * cell - pad;
    const float hi = c[k] == dims[k] - 1 ? inf : origin[k] + static_cast<float>(c[k] + 1) * cell + pad;
    const float d = b[k] - a[k];
    if (d == 0.0f) {
      if (a[k] < lo || a[k] > hi) return false;
      continue;
    }
    float ta = (lo - a[k]) / d;
    float tb = (hi - a[k]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

int32_t StrokeCollider::findCell(uint64_t k) const {
  const size_t mask = slotKey.size() - 1;
  for (size_t s = static_cast<size_t>((k * kGolden) >> shift);; s = (s + 1) & mask) {
    if (slotKey[s] == k) return slotCell[s];
    if (slotKey[s] == kNoKey) return -1;
  }
}

int32_t StrokeCollider::cellFor(uint64_t k) {
  const size_t mask = slotKey.size() - 1;
  size_t s = static_cast<size_t>((k * kGolden) >> shift);
  for (;; s = (s + 1) & mask) {
    if (slotKey[s] == k) return slotCell[s];
    if (slotKey[s] == kNoKey) break;
  }
  const int32_t id = static_cast<int32_t>(cellHead.size());
  cellHead.push_back(-1);
  cellKey.push_back(k);
  slotKey[s] = k;
  slotCell[s] = id;
  // At most half full, so that a miss ends after a slot or two.
  if (2 * cellHead.size() > slotKey.size()) growTable();
  return id;
}

void StrokeCollider::growTable() {
  const size_t size = 2 * slotKey.size();
  slotKey.assign(size, kNoKey);
  slotCell.assign(size, -1);
  --shift;
  const size_t mask = size - 1;
  for (size_t id = 0; id < cellKey.size(); ++id) {
    size_t s = static_cast<size_t>((cellKey[id] * kGolden) >> shift);
    while (slotKey[s] != kNoKey) s = (s + 1) & mask;
    slotKey[s] = cellKey[id];
    slotCell[s] = static_cast<int32_t>(id);
  }
}

void StrokeCollider::file(int32_t c, int32_t segment) {
  entries.push_back(Entry{segment, cellHead[c]});
  entryCell.push_back(c);
  cellHead[c] = static_cast<int32_t>(entries.size()) - 1;
}

uint32_t StrokeCollider::nextMark() const {
  if (marks.size() < segments.size()) marks.resize(segments.size() + segments.size() / 2, 0u);
  if (++markGeneration == 0) {
    std::fill(marks.begin(), marks.end(), 0u);
    markGeneration = 1;
  }
  return markGeneration;
}

void StrokeCollider::clear() {
  if (!segments.empty()) {
    std::lock_guard<std::mutex> lock(segPoolMutex);
    for (StrokeSegment* s : segments) segPool.giveBack(s);
  }
  segments.clear();
  entries.clear();
  entryCell.clear();
  cellBase = 0;
  std::fill(cellHead.begin(), cellHead.end(), -1);
}

bool StrokeCollider::pointNear(const SbVec3f& point, const StrokeSegment& s) const {
  const SbVec3f u = (s.end - s.start) / s.length;
  const SbVec3f w = point - s.start;
  const float t = u.dot(w);
  if (t < -margin || t > s.length + margin) return false;
  const SbVec3f foot = s.start + u * t;
  const SbVec3f diff = point - foot;
  return diff.dot(diff) <= nearSq;
}

bool StrokeCollider::nearAny(const HeTriangle* face, const SbVec3f& point) const {
  if (!face || segments.empty()) return false;
  if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2])) return false;
  const int32_t id = findCell(key(coordinate(point[0], 0), coordinate(point[1], 1), coordinate(point[2], 2)));
  if (id < 0) return false;
  for (int32_t e = cellHead[id]; e >= 0; e = entries[e].next) {
    const StrokeSegment& s = *segments[entries[e].segment];
    if (counts(s, face) && pointNear(point, s)) return true;
  }
  return false;
}

bool StrokeCollider::stepHits(const SbVec3f& p, const SbVec3f& d, const StrokeSegment& s, float& t) const {
  const SbVec3f u = (s.end - s.start) / s.length;
  // End caps: the plane through the end point the motion approaches.
  const float cu = u.dot(d);
  if (std::fabs(cu) > 1e-6f) {
    const SbVec3f& e = cu > 0.0f ? s.start : s.end;
    const float tc = u.dot(e - p) / cu;
    if (tc >= -tiny) {
      const SbVec3f q = p + d * tc - e;
      if (q.dot(q) <= nearSq) {
        t = std::max(tc, 0.0f);
        return true;
      }
    }
  }
  // Side: entry into the cylinder of radius separation about the segment's line.
  const SbVec3f c = cross3(d, u);
  const float L = len3(c);
  if (L < 1e-6f) return false;
  const SbVec3f cn = c / L;
  const SbVec3f w = p - s.start;
  const float dist = std::fabs(cn.dot(w));
  if (dist > sep) return false;
  const float h = std::sqrt(std::max(sepSq - dist * dist, 0.0f));
  const SbVec3f e = cross3(u, cn);
  const float ts = (-(w.dot(e)) - h) / L;
  if (ts < 0.0f) return false;
  const float foot = u.dot(p + d * ts - s.start);
  if (foot < 0.0f || foot > s.length) return false;
  t = ts;
  return true;
}

bool StrokeCollider::registerSegment(const HeTriangle* face, const SbVec3f& start, const SbVec3f& end, int32_t stroke) {
  if (!face) return false;
  const float length = len3(end - start);
  if (!(length >= minLength) || !std::isfinite(length)) return false;
  CellBox box;
  if (!cellBox(start, end, reach, box)) return false;
  StrokeSegment* s;
  {
    std::lock_guard<std::mutex> lock(segPoolMutex);
    s = segPool.take();
  }
  if (!s) return false;
  s->start = start;
  s->end = end;
  s->normal = face->normal;
  s->length = length;
  s->stroke = stroke;
  const int32_t index = static_cast<int32_t>(segments.size());
  segments.push_back(s);
  // Every cell the segment passes when grown by the reach.
  int32_t c[3];
  for (c[2] = box.lo[2]; c[2] <= box.hi[2]; ++c[2])
    for (c[1] = box.lo[1]; c[1] <= box.hi[1]; ++c[1])
      for (c[0] = box.lo[0]; c[0] <= box.hi[0]; ++c[0])
        if (meetsCell(start, end, c, reach)) file(cellFor(key(c[0], c[1], c[2])), index);
  return true;
}

int StrokeCollider::addSegment(const HeTriangle* face, const SbVec3f& start, const SbVec3f& end,
                               const SbVec3f* previous, int32_t stroke) {
  if (!registerSegment(face, start, end, stroke)) return 0;
  int added = 1;
  if (previous) {
    SbVec3f a = end - start;
    SbVec3f b = *previous - start;
    const float la = len3(a);
    const float lb = len3(b);
    if (la > 0.0f && lb > 0.0f) {
      a /= la;
      b /= lb;
      if (std::fabs(a.dot(b)) <= 0.999f) {
        const SbVec3f n = cross3(a, b);
        const SbVec3f u = cross3(a, n);
        const SbVec3f w = cross3(n, b);
        const SbVec3f offset = (w - u) * (sep * 0.5f + tiny);
        if (registerSegment(face, start - offset, start + offset, stroke)) ++added;
      }
    }
  }
  return added;
}

void StrokeCollider::merge(StrokeCollider& other) {
  if (&other == this) return;
  const int32_t base = static_cast<int32_t>(segments.size());
  segments.insert(segments.end(), other.segments.begin(), other.segments.end());
  // Keep each cell's list in the other collider's order after our own: its
  // list runs newest first, so it is filed from its far end.
  std::vector<int32_t> list;
  for (size_t id = 0; id < other.cellHead.size(); ++id) {
    list.clear();
    for (int32_t e = other.cellHead[id]; e >= 0; e = other.entries[e].next) list.push_back(e);
    if (list.empty()) continue;
    const int32_t c = cellFor(other.cellKey[id]);
    for (auto e = list.rbegin(); e != list.rend(); ++e) file(c, base + other.entries[*e].segment);
  }
  other.segments.clear();
  other.entries.clear();
  other.entryCell.clear();
  other.cellBase = 0;
  std::fill(other.cellHead.begin(), other.cellHead.end(), -1);
}

StrokeCollider::Checkpoint StrokeCollider::checkpoint() {
  Checkpoint mark;
  mark.segments = static_cast<int>(segments.size());
  mark.entries = static_cast<int>(entries.size());
  cellBase = mark.entries;
  entryCell.clear();
  return mark;
}

void StrokeCollider::rollback(const Checkpoint& mark) {
  if (mark.entries >= cellBase) {
    // Entries were pushed on their cells' lists in order; undo in reverse.
    for (int e = static_cast<int>(entries.size()) - 1; e >= mark.entries; --e)
      cellHead[entryCell[e - cellBase]] = entries[e].next;
  } else {
    // Each cell's list runs newest first: cut off the entries made since.
    for (int32_t& first : cellHead)
      while (first >= mark.entries) first = entries[first].next;
    cellBase = mark.entries;
  }
  entries.truncate(static_cast<size_t>(mark.entries));
  entryCell.resize(entries.size() - std::min<size_t>(entries.size(), cellBase));
  if (static_cast<size_t>(mark.segments) < segments.size()) {
    std::lock_guard<std::mutex> lock(segPoolMutex);
    for (size_t i = mark.segments; i < segments.size(); ++i) segPool.giveBack(segments[i]);
  }
  segments.resize(std::min<size_t>(segments.size(), mark.segments));
}

float StrokeCollider::measure(Measure kind, const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                              int32_t stroke) const {
  if (!face || segments.empty()) return limit;
  if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2])) return limit;
  // Squared distances throughout; one root at the end.
  const float limitSq = limit * limit;
  float bestSq = limitSq;                // sphere and plane
  float sideSq[2] = {limitSq, limitSq};  // plane average: the two sides of the stroke
  const SbVec3f side = cross3(d, face->normal);

  auto visit = [&](const StrokeSegment& s) {
    if (kind == PLANE_AVERAGE ? s.stroke == stroke : s.stroke >= stroke) return;
    if (!counts(s, face)) return;
    const SbVec3f u = (s.end - s.start) * (1.0f / s.length);
    const SbVec3f w = point - s.start;
    float t;
    if (kind == SPHERE) {
      t = std::clamp(u.dot(w), 0.0f, s.length);
    } else {
      const float ud = u.dot(d);
      if (std::fabs(ud) <= 1e-6f) {
        // Parallel to the plane: counts only when it lies in it.
        if (std::fabs(w.dot(d)) > margin) return;
        t = std::clamp(u.dot(w), 0.0f, s.length);
      } else {
        t = w.dot(d) / ud;
        if (t < -margin || t > s.length + margin) return;
      }
    }
    const SbVec3f offset = u * t - w;  // place - point
    const float distSq = offset.dot(offset);
    if (kind == PLANE_AVERAGE) {
      float& slot = sideSq[offset.dot(side) < 0.0f ? 0 : 1];
      slot = std::min(slot, distSq);
    } else {
      bestSq = std::min(bestSq, distSq);
    }
  };
  // A segment at distance D from the point is filed in the cell of the place
  // D - separation from the point towards it: only the cells within that of
  // the point need to be looked at, and the nearer the best so far, the fewer.
  auto reachNow = [&]() {
    const float best = std::sqrt(kind == PLANE_AVERAGE ? std::max(sideSq[0], sideSq[1]) : bestSq);
    return std::max(best - sep, 0.0f) + 0.01f * sep;
  };
  auto boxDistanceSq = [&](const int32_t c[3]) {
    float sum = 0.0f;
    for (int k = 0; k < 3; ++k) {
      const float lo = origin[k] + static_cast<float>(c[k]) * cell;
      const float gap = std::max({lo - point[k], point[k] - (lo + cell), 0.0f});
      sum += gap * gap;
    }
    return sum;
  };

  const int32_t centre[3] = {coordinate(point[0], 0), coordinate(point[1], 1), coordinate(point[2], 2)};
  const uint32_t seen = nextMark();
  auto scan = [&](const int32_t c[3]) {
    if (c[0] < 0 || c[1] < 0 || c[2] < 0 || c[0] >= dims[0] || c[1] >= dims[1] || c[2] >= dims[2]) return;
    const float r = reachNow();
    if (boxDistanceSq(c) > r * r) return;
    const int32_t id = findCell(key(c[0], c[1], c[2]));
    if (id < 0) return;
    for (int32_t e = cellHead[id]; e >= 0; e = entries[e].next) {
      const int32_t i = entries[e].segment;
      if (marks[i] == seen) continue;
      marks[i] = seen;
      visit(*segments[i]);
    }
  };
  // Shells of cells about the point's, outwards, while a shell may still
  // hold a place within reach.
  const int32_t last = static_cast<int32_t>(std::ceil(reachNow() * inverseCell)) + 1;
  for (int32_t r = 0; r <= last; ++r) {
    if (r > 0 && static_cast<float>(r - 1) * cell > reachNow()) break;
    int32_t c[3];
    for (int32_t dz = -r; dz <= r; ++dz) {
      c[2] = centre[2] + dz;
      for (int32_t dy = -r; dy <= r; ++dy) {
        c[1] = centre[1] + dy;
        const bool whole = dz == -r || dz == r || dy == -r || dy == r;
        for (int32_t dx = -r; dx <= r; dx += whole ? 1 : 2 * r) {
          c[0] = centre[0] + dx;
          scan(c);
        }
      }
    }
  }
  if (kind == PLANE_AVERAGE) {
    auto root = [&](float sq) { return sq >= limitSq ? limit : std::sqrt(sq); };
    return 0.5f * (root(sideSq[0]) + root(sideSq[1]));
  }
  return bestSq >= limitSq ? limit : std::sqrt(bestSq);
}

float StrokeCollider::sphereDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                                     int32_t stroke) const {
  return measure(SPHERE, point, d, face, limit, stroke);
}

float StrokeCollider::planeDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                                    int32_t stroke) const {
  return measure(PLANE, point, d, face, limit, stroke);
}

float StrokeCollider::planeAverageDistance(const SbVec3f& point, const SbVec3f& d, const HeTriangle* face, float limit,
                                           int32_t stroke) const {
  return measure(PLANE_AVERAGE, point, d, face, limit, stroke);
}
