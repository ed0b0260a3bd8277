#include "strokes/StrokeCollider.h"

#include <algorithm>
#include <cmath>

TypedObjectPool<StrokeSegment> StrokeCollider::segPool("StrokeCollider::segPool");

namespace {

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
}

StrokeCollider::~StrokeCollider() { clear(); }

void StrokeCollider::clear() {
  for (StrokeSegment* s : segments) segPool.giveBack(s);
  segments.clear();
  entries.clear();
  entryFace.clear();
  std::fill(head.begin(), head.end(), -1);
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
  StrokeSegment* s = segPool.take();
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
  // Keep each face's bucket in the other collider's order after our own.
  for (size_t e = 0; e < other.entries.size(); ++e) {
    const int32_t face = other.entryFace[e];
    if (face < 0 || face >= static_cast<int32_t>(head.size())) continue;
    file(face, base + other.entries[e].segment);
  }
  other.segments.clear();
  other.entries.clear();
  other.entryFace.clear();
  std::fill(other.head.begin(), other.head.end(), -1);
}

StrokeCollider::Checkpoint StrokeCollider::checkpoint() const {
  Checkpoint mark;
  mark.segments = static_cast<int>(segments.size());
  mark.entries = static_cast<int>(entries.size());
  return mark;
}

void StrokeCollider::rollback(const Checkpoint& mark) {
  // Entries were pushed on their faces' lists in order; undo in reverse.
  for (int e = static_cast<int>(entries.size()) - 1; e >= mark.entries; --e)
    head[entryFace[e]] = entries[e].next;
  entries.resize(std::min<size_t>(entries.size(), mark.entries));
  entryFace.resize(entries.size());
  for (size_t i = mark.segments; i < segments.size(); ++i) segPool.giveBack(segments[i]);
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

  const uint32_t gen = nextGeneration();
  stack.clear();
  stack.push_back(face->index);
  visited[face->index] = gen;
  while (!stack.empty()) {
    const int32_t f = stack.back();
    stack.pop_back();
    for (int32_t e = head[f]; e >= 0; e = entries[e].next) {
      const StrokeSegment& s = *segments[entries[e].segment];
      if (kind == PLANE_AVERAGE ? s.stroke == stroke : s.stroke >= stroke) continue;
      const SbVec3f u = (s.end - s.start) * (1.0f / s.length);
      const SbVec3f w = point - s.start;
      float t;
      if (kind == SPHERE) {
        t = std::clamp(u.dot(w), 0.0f, s.length);
      } else {
        const float ud = u.dot(d);
        if (std::fabs(ud) <= 1e-6f) {
          // Parallel to the plane: counts only when it lies in it.
          if (std::fabs(w.dot(d)) > margin) continue;
          t = std::clamp(u.dot(w), 0.0f, s.length);
        } else {
          t = w.dot(d) / ud;
          if (t < -margin || t > s.length + margin) continue;
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
    }
    // A segment at distance D from the point is filed under every face within
    // the separation of it, and so under the faces on the way to it from D -
    // separation on: the search need not reach farther than that (with a
    // little to spare for curved surfaces).
    const float best = std::sqrt(kind == PLANE_AVERAGE ? std::max(sideSq[0], sideSq[1]) : bestSq);
    const float reach = std::min(best, std::max(best - sep, 0.0f) + 0.15f * sep);
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
