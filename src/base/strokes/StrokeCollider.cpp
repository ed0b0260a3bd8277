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

// Squared distance between the segments p0-p1 and q0-q1 (closest points of
// two segments, clamped to both).
float segmentSegmentDistanceSq(const SbVec3f& p0, const SbVec3f& p1, const SbVec3f& q0,
                               const SbVec3f& q1) {
  const SbVec3f d1 = p1 - p0;
  const SbVec3f d2 = q1 - q0;
  const SbVec3f r = p0 - q0;
  const float a = d1.dot(d1);
  const float e = d2.dot(d2);
  const float f = d2.dot(r);
  float s = 0.0f;
  float t = 0.0f;
  if (a <= 1e-20f && e <= 1e-20f) return r.dot(r);
  if (a <= 1e-20f) {
    t = std::clamp(f / e, 0.0f, 1.0f);
  } else {
    const float c = d1.dot(r);
    if (e <= 1e-20f) {
      s = std::clamp(-c / a, 0.0f, 1.0f);
    } else {
      const float b = d1.dot(d2);
      const float denom = a * e - b * b;
      s = denom > 1e-12f * a * e ? std::clamp((b * f - c * e) / denom, 0.0f, 1.0f) : 0.0f;
      t = (b * s + f) / e;
      if (t < 0.0f) {
        t = 0.0f;
        s = std::clamp(-c / a, 0.0f, 1.0f);
      } else if (t > 1.0f) {
        t = 1.0f;
        s = std::clamp((b - c) / a, 0.0f, 1.0f);
      }
    }
  }
  const SbVec3f diff = (p0 + d1 * s) - (q0 + d2 * t);
  return diff.dot(diff);
}

// Squared distance from a point to the segment a-b.
float pointSegmentDistanceSq(const SbVec3f& p, const SbVec3f& a, const SbVec3f& b) {
  const SbVec3f ab = b - a;
  const float len2 = ab.dot(ab);
  float t = len2 > 0.0f ? (p - a).dot(ab) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  const SbVec3f q = a + ab * t;
  return (p - q).dot(p - q);
}

const HeTriangle* neighbour(const HalfEdge* h) {
  return h->twin ? h->twin->triangle : nullptr;
}

// Faces wider than this many separations keep a grid of cells.
constexpr float kGridFace = 4.0f;
// Cells per side of one face's grid at most, and over all faces.
constexpr int kGridSide = 128;
constexpr long kGridBudget = 1L << 22;

// Whether the segment (ax, ay)-(bx, by) meets the box [xlo, xhi] x [ylo, yhi]
// (bounds may be infinite): clipping by slabs.
bool segmentMeetsBox(float ax, float ay, float bx, float by, float xlo, float xhi, float ylo,
                     float yhi) {
  float t0 = 0.0f;
  float t1 = 1.0f;
  const float a[2] = {ax, ay};
  const float d[2] = {bx - ax, by - ay};
  const float lo[2] = {xlo, ylo};
  const float hi[2] = {xhi, yhi};
  for (int k = 0; k < 2; ++k) {
    if (d[k] == 0.0f) {
      if (a[k] < lo[k] || a[k] > hi[k]) return false;
      continue;
    }
    float ta = (lo[k] - a[k]) / d[k];
    float tb = (hi[k] - a[k]) / d[k];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

int32_t cellIndex(float x, float x0, float cell, int32_t n) {
  const float k = std::floor((x - x0) / cell);
  if (!(k > 0.0f)) return 0;
  return k >= static_cast<float>(n - 1) ? n - 1 : static_cast<int32_t>(k);
}

}  // namespace

StrokeCollider::StrokeCollider(const SbHeModelHQ& m, float separation, float scale)
    : model(m) {
  if (!(scale > 0.0f) || !std::isfinite(scale)) scale = 1.0f;
  if (!(separation > 0.0f) || !std::isfinite(separation)) separation = 1e-3f * scale;
  sep = separation;
  sepSq = sep * sep;
  tinySq = 1e-6f * scale * scale;
  tiny = 1e-6f * scale;
  nearSq = sepSq + tinySq;
  margin = 1e-3f * scale;
  minLength = 1e-5f * sep;
  head.assign(model.triangles.size(), -1);
  visited.assign(model.triangles.size(), 0u);
  // A point counts as near a segment within sqrt(nearSq) of it, with the
  // margin along it; the cells reach a little farther.
  cellReach = std::sqrt(nearSq) + margin + 1e-3f * sep;
  buildGrids();
}

void StrokeCollider::buildGrids() {
  gridOf.assign(model.triangles.size(), -1);
  long total = 0;
  for (size_t f = 0; f < model.triangles.size(); ++f) {
    const HeTriangle* t = model.triangles[f];
    if (!t || t->index != static_cast<int32_t>(f)) continue;
    const SbVec3f& p0 = t->vertex[0]->position;
    const SbVec3f& p1 = t->vertex[1]->position;
    const SbVec3f& p2 = t->vertex[2]->position;
    SbVec3f u = p1 - p0;
    SbVec3f n = cross3(u, p2 - p0);
    const float lu = len3(u);
    const float ln = len3(n);
    if (!(lu > 0.0f) || !(ln > 0.0f) || !std::isfinite(lu) || !std::isfinite(ln)) continue;
    u /= lu;
    n /= ln;
    SbVec3f v = cross3(n, u);
    const float lv = len3(v);
    if (!(lv > 0.0f)) continue;
    v /= lv;
    float xs[3], ys[3];
    const SbVec3f* ps[3] = {&p0, &p1, &p2};
    for (int k = 0; k < 3; ++k) {
      xs[k] = (*ps[k] - p0).dot(u);
      ys[k] = (*ps[k] - p0).dot(v);
    }
    const float x0 = std::min({xs[0], xs[1], xs[2]});
    const float y0 = std::min({ys[0], ys[1], ys[2]});
    const float w = std::max({xs[0], xs[1], xs[2]}) - x0;
    const float h = std::max({ys[0], ys[1], ys[2]}) - y0;
    const float extent = std::max(w, h);
    if (!(extent > kGridFace * sep) || !std::isfinite(extent)) continue;
    const float cell = std::max(sep, extent / kGridSide);
    const int32_t nx = std::clamp(static_cast<int32_t>(std::ceil(w / cell)), 1, kGridSide);
    const int32_t ny = std::clamp(static_cast<int32_t>(std::ceil(h / cell)), 1, kGridSide);
    if (total + static_cast<long>(nx) * ny > kGridBudget) continue;
    gridOf[f] = static_cast<int32_t>(grids.size());
    grids.push_back(Grid{p0, u, v, x0, y0, cell, nx, ny, static_cast<int32_t>(total)});
    total += static_cast<long>(nx) * ny;
  }
  cellHead.assign(static_cast<size_t>(total), -1);
}

bool StrokeCollider::hasGrid(const HeTriangle* face) const {
  const int32_t index = face ? face->index : -1;
  return index >= 0 && index < static_cast<int32_t>(gridOf.size()) && gridOf[index] >= 0;
}

bool StrokeCollider::cellRange(int32_t face, const SbVec3f& p, const SbVec3f& q, float pad,
                               CellRange& r) const {
  if (face < 0 || face >= static_cast<int32_t>(gridOf.size()) || gridOf[face] < 0) return false;
  const Grid& g = grids[gridOf[face]];
  const float px = (p - g.origin).dot(g.u);
  const float py = (p - g.origin).dot(g.v);
  const float qx = (q - g.origin).dot(g.u);
  const float qy = (q - g.origin).dot(g.v);
  if (!std::isfinite(px + py + qx + qy + pad)) return false;
  r.base = g.base;
  r.nx = g.nx;
  r.x0 = cellIndex(std::min(px, qx) - pad, g.x0, g.cell, g.nx);
  r.x1 = cellIndex(std::max(px, qx) + pad, g.x0, g.cell, g.nx);
  r.y0 = cellIndex(std::min(py, qy) - pad, g.y0, g.cell, g.ny);
  r.y1 = cellIndex(std::max(py, qy) + pad, g.y0, g.cell, g.ny);
  return true;
}

void StrokeCollider::fileCells(int32_t face, int32_t segment) {
  const Grid& g = grids[gridOf[face]];
  const StrokeSegment& s = *segments[segment];
  const float ax = (s.start - g.origin).dot(g.u) - g.x0;
  const float ay = (s.start - g.origin).dot(g.v) - g.y0;
  const float bx = (s.end - g.origin).dot(g.u) - g.x0;
  const float by = (s.end - g.origin).dot(g.v) - g.y0;
  if (!std::isfinite(ax + ay + bx + by)) return;
  const int32_t i0 = cellIndex(std::min(ax, bx) - cellReach, 0.0f, g.cell, g.nx);
  const int32_t i1 = cellIndex(std::max(ax, bx) + cellReach, 0.0f, g.cell, g.nx);
  const int32_t j0 = cellIndex(std::min(ay, by) - cellReach, 0.0f, g.cell, g.ny);
  const int32_t j1 = cellIndex(std::max(ay, by) + cellReach, 0.0f, g.cell, g.ny);
  // A cell is met when the segment passes through the cell grown by the
  // reach; the border cells stand for everything beyond the grid's box too.
  const float inf = std::numeric_limits<float>::infinity();
  for (int32_t j = j0; j <= j1; ++j) {
    const float ylo = j == 0 ? -inf : j * g.cell - cellReach;
    const float yhi = j == g.ny - 1 ? inf : (j + 1) * g.cell + cellReach;
    for (int32_t i = i0; i <= i1; ++i) {
      const float xlo = i == 0 ? -inf : i * g.cell - cellReach;
      const float xhi = i == g.nx - 1 ? inf : (i + 1) * g.cell + cellReach;
      if (!segmentMeetsBox(ax, ay, bx, by, xlo, xhi, ylo, yhi)) continue;
      const int32_t c = g.base + j * g.nx + i;
      cellEntries.push_back(Entry{segment, cellHead[c]});
      cellEntryCell.push_back(c);
      cellHead[c] = static_cast<int32_t>(cellEntries.size()) - 1;
    }
  }
}

uint32_t StrokeCollider::nextMark() const {
  if (marks.size() < segments.size()) marks.resize(segments.size() + segments.size() / 2, 0u);
  if (++markGeneration == 0) {
    std::fill(marks.begin(), marks.end(), 0u);
    markGeneration = 1;
  }
  return markGeneration;
}

StrokeCollider::~StrokeCollider() { clear(); }

void StrokeCollider::clear() {
  if (!segments.empty()) {
    std::lock_guard<std::mutex> lock(segPoolMutex);
    for (StrokeSegment* s : segments) segPool.giveBack(s);
  }
  segments.clear();
  entries.clear();
  entryFace.clear();
  faceBase = 0;
  std::fill(head.begin(), head.end(), -1);
  cellEntries.clear();
  cellEntryCell.clear();
  std::fill(cellHead.begin(), cellHead.end(), -1);
}

std::vector<const StrokeSegment*> StrokeCollider::bucket(const HeTriangle* face) const {
  std::vector<const StrokeSegment*> result;
  forBucket(face, [&](const StrokeSegment& s) { result.push_back(&s); });
  return result;
}

int StrokeCollider::bucketSize(const HeTriangle* face) const {
  int n = 0;
  forBucket(face, [&](const StrokeSegment&) { ++n; });
  return n;
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
  if (!face || face->index < 0 || face->index >= static_cast<int32_t>(head.size())) return false;
  CellRange r;
  if (cellRange(face->index, point, point, 0.0f, r)) {
    for (int32_t y = r.y0; y <= r.y1; ++y)
      for (int32_t x = r.x0; x <= r.x1; ++x)
        for (int32_t e = cellHead[r.base + y * r.nx + x]; e >= 0; e = cellEntries[e].next)
          if (pointNear(point, *segments[cellEntries[e].segment])) return true;
    return false;
  }
  for (int32_t e = head[face->index]; e >= 0; e = entries[e].next)
    if (pointNear(point, *segments[entries[e].segment])) return true;
  return false;
}

bool StrokeCollider::stepHits(const SbVec3f& p, const SbVec3f& d, const StrokeSegment& s,
                              float& t) const {
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

bool StrokeCollider::edgeNear(const SbVec3f& a, const SbVec3f& b, const StrokeSegment& s) const {
  return segmentSegmentDistanceSq(a, b, s.start, s.end) <= nearSq;
}

void StrokeCollider::file(int32_t face, int32_t segment) {
  entries.push_back(Entry{segment, head[face]});
  entryFace.push_back(face);
  head[face] = static_cast<int32_t>(entries.size()) - 1;
  if (gridOf[face] >= 0) fileCells(face, segment);
}

uint32_t StrokeCollider::nextGeneration() const {
  if (++generation == 0) {
    std::fill(visited.begin(), visited.end(), 0u);
    generation = 1;
  }
  return generation;
}

bool StrokeCollider::registerSegment(const HeTriangle* face, const SbVec3f& start,
                                     const SbVec3f& end, int32_t stroke) {
  if (!face || face->index < 0 || face->index >= static_cast<int32_t>(head.size())) return false;
  const float length = len3(end - start);
  if (!(length >= minLength) || !std::isfinite(length)) return false;
  StrokeSegment* s;
  {
    std::lock_guard<std::mutex> lock(segPoolMutex);
    s = segPool.take();
  }
  if (!s) return false;
  s->start = start;
  s->end = end;
  s->length = length;
  s->stroke = stroke;
  const int32_t index = static_cast<int32_t>(segments.size());
  segments.push_back(s);

  // Flood fill: the segment goes into every face reached over edges that lie
  // within the separation of it.
  const uint32_t gen = nextGeneration();
  stack.clear();
  stack.push_back(face->index);
  visited[face->index] = gen;
  while (!stack.empty()) {
    const int32_t f = stack.back();
    stack.pop_back();
    file(f, index);
    const HeTriangle* tri = model.triangles[f];
    const HalfEdge* h = tri->halfEdge;
    for (int k = 0; k < 3; ++k, h = h->next) {
      const HeTriangle* n = neighbour(h);
      if (!n || visited[n->index] == gen) continue;
      const SbVec3f& a = tri->vertex[k]->position;
      const SbVec3f& b = tri->vertex[(k + 1) % 3]->position;
      if (edgeNear(a, b, *s)) {
        visited[n->index] = gen;
        stack.push_back(n->index);
      }
    }
  }
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
  // Keep each face's bucket in the other collider's order after our own: its
  // list runs newest first, so it is filed from its far end.
  const int32_t faces = static_cast<int32_t>(std::min(head.size(), other.head.size()));
  std::vector<int32_t> list;
  for (int32_t face = 0; face < faces; ++face) {
    list.clear();
    for (int32_t e = other.head[face]; e >= 0; e = other.entries[e].next) list.push_back(e);
    for (auto e = list.rbegin(); e != list.rend(); ++e) file(face, base + other.entries[*e].segment);
  }
  other.segments.clear();
  other.entries.clear();
  other.entryFace.clear();
  other.faceBase = 0;
  std::fill(other.head.begin(), other.head.end(), -1);
  other.cellEntries.clear();
  other.cellEntryCell.clear();
  std::fill(other.cellHead.begin(), other.cellHead.end(), -1);
}

StrokeCollider::Checkpoint StrokeCollider::checkpoint() {
  Checkpoint mark;
  mark.segments = static_cast<int>(segments.size());
  mark.entries = static_cast<int>(entries.size());
  mark.cellEntries = static_cast<int>(cellEntries.size());
  faceBase = mark.entries;
  entryFace.clear();
  return mark;
}

void StrokeCollider::rollback(const Checkpoint& mark) {
  if (mark.entries >= faceBase) {
    // Entries were pushed on their faces' lists in order; undo in reverse.
    for (int e = static_cast<int>(entries.size()) - 1; e >= mark.entries; --e)
      head[entryFace[e - faceBase]] = entries[e].next;
  } else {
    // Each face's list runs newest first: cut off the entries made since.
    for (int32_t& first : head)
      while (first >= mark.entries) first = entries[first].next;
    faceBase = mark.entries;
  }
  entries.truncate(static_cast<size_t>(mark.entries));
  entryFace.resize(entries.size() - std::min<size_t>(entries.size(), faceBase));
  for (int e = static_cast<int>(cellEntries.size()) - 1; e >= mark.cellEntries; --e)
    cellHead[cellEntryCell[e]] = cellEntries[e].next;
  cellEntries.resize(std::min<size_t>(cellEntries.size(), mark.cellEntries));
  cellEntryCell.resize(cellEntries.size());
  if (static_cast<size_t>(mark.segments) < segments.size()) {
    std::lock_guard<std::mutex> lock(segPoolMutex);
    for (size_t i = mark.segments; i < segments.size(); ++i) segPool.giveBack(segments[i]);
  }
  segments.resize(std::min<size_t>(segments.size(), mark.segments));
}

float StrokeCollider::measure(Measure kind, const SbVec3f& point, const SbVec3f& d,
                              const HeTriangle* face, float limit, int32_t stroke) const {
  if (!face || face->index < 0 || face->index >= static_cast<int32_t>(head.size())) return limit;
  // Squared distances throughout; one root at the end.
  const float limitSq = limit * limit;
  float bestSq = limitSq;                  // sphere and plane
  float sideSq[2] = {limitSq, limitSq};    // plane average: the two sides of the stroke
  const SbVec3f side = cross3(d, face->normal);

  auto visit = [&](const StrokeSegment& s) {
    if (kind == PLANE_AVERAGE ? s.stroke == stroke : s.stroke >= stroke) return;
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
  // A segment at distance D from the point comes within the separation of
  // the place D - separation from the point towards it: on a face with a grid
  // only the cells within that reach of the point need to be looked at.
  auto reachNow = [&]() {
    const float best = std::sqrt(kind == PLANE_AVERAGE ? std::max(sideSq[0], sideSq[1]) : bestSq);
    return std::min(best, std::max(best - sep, 0.0f) + 0.15f * sep);
  };

  const uint32_t gen = nextGeneration();
  const uint32_t seen = nextMark();
  stack.clear();
  stack.push_back(face->index);
  visited[face->index] = gen;
  while (!stack.empty()) {
    const int32_t f = stack.back();
    stack.pop_back();
    CellRange r;
    if (cellRange(f, point, point, reachNow(), r)) {
      for (int32_t y = r.y0; y <= r.y1; ++y)
        for (int32_t x = r.x0; x <= r.x1; ++x)
          for (int32_t e = cellHead[r.base + y * r.nx + x]; e >= 0; e = cellEntries[e].next) {
            const int32_t i = cellEntries[e].segment;
            if (marks[i] == seen) continue;
            marks[i] = seen;
            visit(*segments[i]);
          }
    } else {
      for (int32_t e = head[f]; e >= 0; e = entries[e].next) visit(*segments[entries[e].segment]);
    }
    // A segment at distance D from the point is filed under every face within
    // the separation of it, and so under the faces on the way to it from D -
    // separation on: the search need not reach farther than that (with a
    // little to spare for curved surfaces).
    const float reach = reachNow();
    const float reachSq = reach * reach;
    const HeTriangle* tri = model.triangles[f];
    const HalfEdge* h = tri->halfEdge;
    for (int k = 0; k < 3; ++k, h = h->next) {
      const HeTriangle* n = neighbour(h);
      if (!n || visited[n->index] == gen) continue;
      const SbVec3f& a = tri->vertex[k]->position;
      const SbVec3f& b = tri->vertex[(k + 1) % 3]->position;
      if (pointSegmentDistanceSq(point, a, b) <= reachSq) {
        visited[n->index] = gen;
        stack.push_back(n->index);
      }
    }
  }
  if (kind == PLANE_AVERAGE) {
    auto root = [&](float sq) { return sq >= limitSq ? limit : std::sqrt(sq); };
    return 0.5f * (root(sideSq[0]) + root(sideSq[1]));
  }
  return bestSq >= limitSq ? limit : std::sqrt(bestSq);
}

float StrokeCollider::sphereDistance(const SbVec3f& point, const SbVec3f& d,
                                     const HeTriangle* face, float limit, int32_t stroke) const {
  return measure(SPHERE, point, d, face, limit, stroke);
}

float StrokeCollider::planeDistance(const SbVec3f& point, const SbVec3f& d,
                                    const HeTriangle* face, float limit, int32_t stroke) const {
  return measure(PLANE, point, d, face, limit, stroke);
}

float StrokeCollider::planeAverageDistance(const SbVec3f& point, const SbVec3f& d,
                                           const HeTriangle* face, float limit,
                                           int32_t stroke) const {
  return measure(PLANE_AVERAGE, point, d, face, limit, stroke);
}
