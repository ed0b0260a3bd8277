// The flow field itself: records, initialisation from curvature and the
// transport frames that compare directions across an edge.

#include "flowfield/SbFlowFieldHQ.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "core/ChangeStamp.h"
#include "core/Finite.h"
#include "curvature/SbCurvatureHQ.h"
#include "mesh/SbHeModelHQ.h"

TypedObjectPool<FlowRecord> SbFlowFieldHQ::recordPool(nullptr);

namespace {

const float kPi = 3.14159265358979f;
const float kHalfPi = 1.57079632679490f;

// The unit vector along v's component perpendicular to n (n unit, or zero for
// no constraint); false when that component is (nearly) zero or not finite.
bool tangentUnit(const SbVec3f& v, const SbVec3f& n, SbVec3f& out) {
  if (!finite(v)) return false;
  const SbVec3f t = v - n * v.dot(n);
  const float length = t.length();
  if (!(length > 1e-4f) || !std::isfinite(length)) return false;
  out = t / length;
  return true;
}

// Some unit vector perpendicular to n (any unit vector when n is zero), built
// like the fallback frame of the curvature estimate.
SbVec3f fallbackTangent(const SbVec3f& n) {
  const SbVec3f a = std::fabs(n[0]) > 0.999999f ? SbVec3f(0, 1, 0) : SbVec3f(1, 0, 0);
  SbVec3f t;
  if (finite(n) && tangentUnit(n.cross(a), SbVec3f(0, 0, 0), t)) return t;
  return a;
}

// A unit vector perpendicular to d, in n's tangent plane when there is one.
SbVec3f perpendicularUnit(const SbVec3f& d, const SbVec3f& n) {
  SbVec3f p;
  if (finite(n) && tangentUnit(d.cross(n), SbVec3f(0, 0, 0), p)) return p;
  const SbVec3f a = std::fabs(d[0]) > 0.9f ? SbVec3f(0, 1, 0) : SbVec3f(1, 0, 0);
  if (tangentUnit(a, d, p)) return p;
  return SbVec3f(0, 0, 1);
}

}  // namespace

// ---------------------------------------------------------------- table

void EdgeAngleTable::reset(int expected) {
  std::size_t capacity = 16;
  int bits = 4;
  while (capacity < 2 * static_cast<std::size_t>(expected > 0 ? expected : 0)) {
    capacity *= 2;
    ++bits;
  }
  entries.assign(capacity, Slot{nullptr, 0.0f});
  mask = capacity - 1;
  shift = 64 - bits;
  count = 0;
}

std::size_t EdgeAngleTable::slotOf(const HalfEdge* h) const {
  // Fibonacci hashing of the address; records are at least 8-byte aligned.
  const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h)) >> 3;
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift);
}

void EdgeAngleTable::grow() {
  std::vector<Slot> old;
  old.swap(entries);
  reset(static_cast<int>(old.size()));
  for (const Slot& slot : old)
    if (slot.key) insert(slot.key, slot.value);
}

bool EdgeAngleTable::insert(const HalfEdge* h, float value) {
  if (!h) return false;
  if (entries.empty())
    reset(16);
  else if (2 * static_cast<std::size_t>(count + 1) > entries.size())
    grow();
  for (std::size_t i = slotOf(h);; i = (i + 1) & mask) {
    Slot& slot = entries[i];
    if (slot.key == h) return false;
    if (!slot.key) {
      slot.key = h;
      slot.value = value;
      ++count;
      return true;
    }
  }
}

bool EdgeAngleTable::find(const HalfEdge* h, float& value) const {
  if (!h || entries.empty()) return false;
  for (std::size_t i = slotOf(h);; i = (i + 1) & mask) {
    const Slot& slot = entries[i];
    if (slot.key == h) {
      value = slot.value;
      return true;
    }
    if (!slot.key) return false;
  }
}

float EdgeAngleTable::value(const HalfEdge* h) const {
  float v = 0.0f;
  return find(h, v) ? v : 0.0f;
}

bool EdgeAngleTable::contains(const HalfEdge* h) const {
  float v;
  return find(h, v);
}

// ---------------------------------------------------------------- field

SbFlowFieldHQ::SbFlowFieldHQ() : stamp(drawChangeStamp()), modelStamp(drawChangeStamp()) {}

SbFlowFieldHQ::~SbFlowFieldHQ() {
  for (FlowRecord* r : records) recordPool.giveBack(r);
}

void SbFlowFieldHQ::clear() {
  for (FlowRecord* r : records) recordPool.giveBack(r);
  records.clear();
  stamp = drawChangeStamp();
  modelStamp = drawChangeStamp();
}

bool SbFlowFieldHQ::matches(const SbHeModelHQ& model) const {
  return model.stamp == modelStamp && size() == model.vertexCount();
}

void SbFlowFieldHQ::from(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
  if (!initialise(model, curvature)) return;
  optimize(model, 0.0f);
  select(model, curvature, SELECT_INVERSE, 0.0f, 0.0f);
  stamp = drawChangeStamp();
}

bool SbFlowFieldHQ::initialise(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
  if (curvature.modelStamp != model.stamp || curvature.size() != model.vertexCount()) return false;
  clear();
  const int n = model.vertexCount();
  try {
    records.reserve(n);
  } catch (const std::bad_alloc&) {
    std::printf("SbFlowFieldHQ::from: out of memory\n");
    return false;
  }
  for (int i = 0; i < n; ++i) {
    FlowRecord* r = recordPool.take();
    if (!r) {  // the pool has printed why
      clear();
      return false;
    }
    const CurvatureRecord& c = *curvature.record(i);
    const SbVec3f& normal = model.vertices[i]->normal;
    const bool maxLeads = !((c.maxCurvature + c.minCurvature) * 0.5f < 0.0f);
    const SbVec3f& lead = maxLeads ? c.maxDirection : c.minDirection;
    const SbVec3f& other = maxLeads ? c.minDirection : c.maxDirection;
    // Directions must be unit tangents: the fitted ones are only nearly
    // tangent, and a failed fit must not leave a zero or NaN vector.
    SbVec3f direction, cross, o;
    if (!tangentUnit(lead, normal, direction) &&
        !(tangentUnit(other, normal, o) && tangentUnit(normal.cross(o), SbVec3f(0, 0, 0), direction)))
      direction = fallbackTangent(normal);
    if (!tangentUnit(other, normal, cross) || std::fabs(cross.dot(direction)) > 0.999f)
      cross = perpendicularUnit(direction, normal);
    r->direction = direction;
    r->cross = cross;
    r->locked = !c.degenerate;
    r->score = 0.0f;
    records.push_back(r);
  }
  modelStamp = model.stamp;
  stamp = drawChangeStamp();
  return true;
}

// ---------------------------------------------------------------- frames

bool SbFlowFieldHQ::frameAngle(const HeVertex& start, const HeVertex& end, const SbVec3f& direction, float& angle) {
  const SbVec3f& n = start.normal;
  const SbVec3f t = start.position - end.position;
  const float edgeLength = t.length();
  if (!(edgeLength > 0.0f) || !std::isfinite(edgeLength)) return false;
  SbVec3f x = t - n * t.dot(n);
  const float length = x.length();
  if (!(length > 1e-6f * edgeLength)) return false;
  x /= length;
  if (start.index < end.index) x.negate();
  const SbVec3f y = x.cross(n);
  angle = std::atan2(y.dot(direction), x.dot(direction));
  return std::isfinite(angle);
}

float SbFlowFieldHQ::edgeAngle(const HalfEdge* h) const {
  if (!h || !h->twin || !h->end || !h->twin->end) return 0.0f;
  const HeVertex& s = *h->twin->end;
  const HeVertex& t = *h->end;
  if (s.index < 0 || t.index < 0 || s.index >= size() || t.index >= size()) return 0.0f;
  float angleT, angleS;
  if (!frameAngle(t, s, records[t.index]->direction, angleT) || !frameAngle(s, t, records[s.index]->direction, angleS))
    return 0.0f;
  float delta = angleT - angleS;  // within [-2 pi, 2 pi]
  while (delta < -kHalfPi) delta += kPi;
  while (delta > kHalfPi) delta -= kPi;
  return delta;
}

void SbFlowFieldHQ::buildEdgeAngles(const SbHeModelHQ& model, EdgeAngleTable& table) const {
  table.reset(model.halfEdgeCount());
  for (const HeTriangle* triangle : model.triangles) {
    const HalfEdge* h = triangle->halfEdge;
    for (int k = 0; k < 3 && h; ++k, h = h->next) {
      if (table.contains(h)) continue;
      const float delta = edgeAngle(h);
      table.insert(h, delta);
      if (h->twin) table.insert(h->twin, -delta);
    }
  }
}

// ---------------------------------------------------------------- rotation

SbVec3f SbFlowFieldHQ::rotateAbout(const SbVec3f& v, const SbVec3f& axis, float angle) {
  // (cos a I + (1 - cos a) axis axis^T + sin a [axis]x) v
  const float c = std::cos(angle), s = std::sin(angle);
  return v * c + axis * ((1.0f - c) * axis.dot(v)) + axis.cross(v) * s;
}

bool SbFlowFieldHQ::turn(FlowRecord& record, const SbVec3f& normal, float angle) {
  if (!std::isfinite(angle)) return false;
  const float n2 = normal.sqrLength();
  if (!(n2 > 0.99f && n2 < 1.01f)) return false;  // no tangent plane to turn in
  SbVec3f d = rotateAbout(record.direction, normal, angle);
  const float length = d.length();
  if (!(length > 0.5f) || !std::isfinite(length)) return false;
  d /= length;
  record.direction = d;
  record.cross = d.cross(normal);
  return true;
}
