#include "strokes/SbStreamlineTracer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <new>

#include "core/Finite.h"
#include "core/LargeBlock.h"
#include "core/ParallelHalves.h"
#include "core/ProgressMeter.h"

// Named for the node that runs the seeding.
TypedObjectPool<StreamlineSeed> SbStreamlineTracer::seedPool("SoStreamlinerHQ::seedPool");

namespace {

// The pool is shared by the tracers of both families, which may hatch at the
// same time.
std::mutex seedPoolMutex;

StreamlineSeed* takeSeed() {
  std::lock_guard<std::mutex> lock(seedPoolMutex);
  return SbStreamlineTracer::seedPool.take();
}

void giveBackSeed(StreamlineSeed* seed) {
  std::lock_guard<std::mutex> lock(seedPoolMutex);
  SbStreamlineTracer::seedPool.giveBack(seed);
}

inline SbVec3f cross3(const SbVec3f& a, const SbVec3f& b) {
  return SbVec3f(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}
inline float len3(const SbVec3f& a) { return std::sqrt(a.dot(a)); }

constexpr float kPi = 3.14159265358979f;
constexpr float kDegrees = 180.0f / kPi;
// Consecutive steps without progress after which a direction ends.
constexpr int kIdleSteps = 4;
// Edge crossings allowed in one walk over the surface.
constexpr int kMaxCrossings = 256;
// Edge crossings of one field sample ahead of a step. A step ends at the edge
// of its face, so a sample walk normally crosses a face or two; a walk about
// a vertex where a thousand slivers meet (the pole of a latitude-longitude
// sphere) would cross hundreds of them for each step across one. Such a walk
// takes its sample where it stops.
constexpr int kSampleCrossings = 64;
// Path length of a side-proposal walk, in probe distances.
constexpr float kProposalPath = 4.0f;
// Steps are registered as chords of at most this many separations, along
// which the stroke's points stay within this share of the separation, with
// at most kChordPoints points between the ends.
constexpr float kChordLength = 2.0f;
constexpr float kChordTolerance = 0.01f;

// Normalises v in place; false (v unchanged) when it is too short or not finite.
bool normalise(SbVec3f& v) {
  const float len = len3(v);
  if (!(len > 1e-6f) || !std::isfinite(len)) return false;
  v /= len;
  return true;
}

SbVec3f reflect(const SbVec3f& v, const SbVec3f& m) { return v - m * (2.0f * v.dot(m)); }

// Spherical interpolation of unit vectors; a when they (nearly) coincide, the
// nearer end when they are opposite (the arc is not defined there).
SbVec3f slerp(const SbVec3f& a, const SbVec3f& b, float t) {
  const float c = std::clamp(a.dot(b), -1.0f, 1.0f);
  const float theta = std::acos(c);
  if (theta < 1e-6f) return a;
  const float s = std::sin(theta);
  if (s < 1e-6f) return t < 0.5f ? a : b;
  return (b * std::sin(t * theta) + a * std::sin((1.0f - t) * theta)) / s;
}

bool usable(const HeTriangle* face) { return face && face->normal.dot(face->normal) > 0.5f; }

// `x` when it is a number above `floor`, else `floor`.
float atLeast(float x, float floor) { return x > floor ? x : floor; }

}  // namespace

void StrokeSet::clear() {
  points.clear();
  indices.clear();
  faces.clear();
  taper.clear();
  family.clear();
  strokeCount = 0;
  crossStrokes = 0;
  firstCrossIndex = 0;
}

void StrokeSet::appendCross(const StrokeSet& cross) {
  dropCross();
  const int32_t base = static_cast<int32_t>(points.size());
  firstCrossIndex = indices.size();
  family.assign(points.size(), 0.0f);
  family.resize(points.size() + cross.points.size(), 1.0f);
  points.insert(points.end(), cross.points.begin(), cross.points.end());
  faces.insert(faces.end(), cross.faces.begin(), cross.faces.end());
  for (int32_t i : cross.indices) indices.push_back(i < 0 ? -1 : i + base);
  // A taper list covers every point or none.
  if (taper.size() == static_cast<size_t>(base) && cross.taper.size() == cross.points.size())
    taper.insert(taper.end(), cross.taper.begin(), cross.taper.end());
  else
    taper.clear();
  strokeCount += cross.strokeCount;
  crossStrokes = cross.strokeCount;
}

void StrokeSet::dropCross() {
  if (family.empty()) return;
  const size_t first = std::count(family.begin(), family.end(), 0.0f);
  indices.resize(firstCrossIndex);
  points.resize(first);
  faces.resize(first);
  if (taper.size() > first) taper.resize(first);
  family.clear();
  strokeCount -= crossStrokes;
  crossStrokes = 0;
}

SbStreamlineTracer::Parameters SbStreamlineTracer::derive(const Settings& s, float modelSize,
                                                          std::vector<std::string>* notes) {
  auto note = [notes](const char* field, float value, const char* what) {
    if (!notes) return;
    char text[200];
    std::snprintf(text, sizeof text, "%s %g %s", field, static_cast<double>(value), what);
    notes->push_back(text);
  };
  Parameters p;
  const float size = modelSize > 0.0f && std::isfinite(modelSize) ? modelSize : 1.0f;
  p.size = size;
  // Distances beyond the model's extent all mean the same (one stroke, or no
  // seed proposal); larger ones only lose precision: 1e30 + 0.001 == 1e30.
  float separation = s.seperationDist;
  if (!(separation > 0.0f)) {
    note("seperationDist", separation, "is not a positive distance; using the smallest, 0.001");
    separation = 0.001f;
  } else if (separation > kMaxDistance) {
    note("seperationDist", separation, "is more than 2 model sizes; using 2");
    separation = kMaxDistance;
  } else if (separation < 0.001f) {
    note("seperationDist", separation, "is below 0.001; using 0.001");
  }
  p.separation = atLeast(separation * size, 0.001f * size);
  // The taper looks for strokes up to the probe distance from every point and
  // seeds are proposed that far out: beyond kMaxProbe separations the work
  // grows with the square of the distance and the taper says nothing more.
  float probe = s.probeDist;
  if (std::isnan(probe)) {
    note("probeDist", probe, "is not a number; using the separation");
    probe = 0.0f;
  }
  p.probe = atLeast(probe * size, p.separation + 0.001f * size);
  if (p.probe > kMaxProbe * p.separation) {
    char what[96];
    std::snprintf(what, sizeof what, "is more than %g separations; using %g", double(kMaxProbe),
                  double(kMaxProbe * p.separation / size));
    note("probeDist", probe, what);
    p.probe = std::max(kMaxProbe * p.separation, p.separation + 0.001f * size);
  }
  p.separationSq = p.separation * p.separation;
  p.probeSq = p.probe * p.probe;
  float sharp = s.sharpEdge;
  if (std::isnan(sharp)) note("sharpEdge", sharp, "is not a number; no sharp-edge stops");
  if (sharp > 180.0f) {
    note("sharpEdge", sharp, "is more than 180 degrees; using 180");
    sharp = 180.0f;
  }
  p.sharpEdge = sharp > 1e-6f ? SbSharpEdgeTest(sharp) : SbSharpEdgeTest::none();
  if (std::isnan(s.maxBend)) note("maxBend", s.maxBend, "is not a number; no bend limit");
  p.maxBend = s.maxBend > 1e-6f && std::isfinite(s.maxBend) ? s.maxBend : FLT_MAX;
  if (std::isnan(s.minLength)) note("minLength", s.minLength, "is not a number; every stroke is kept");
  p.minLength = s.minLength > 1e-6f && std::isfinite(s.minLength * size) ? s.minLength * size : 1e-6f * size;
  if (s.minLength > 1e-6f && !std::isfinite(s.minLength * size)) p.minLength = FLT_MAX;
  if (std::isnan(s.maxLength)) note("maxLength", s.maxLength, "is not a number; no length limit");
  p.maxLength = s.maxLength > 1e-6f && std::isfinite(s.maxLength * size)
                    ? std::max(s.maxLength * size, p.minLength + 1e-6f * size)
                    : FLT_MAX;
  if (!(s.stepSize > 0.0f)) note("stepSize", s.stepSize, "is not a positive length; using the smallest");
  p.stepSize = atLeast(s.stepSize * size, 1e-6f * size);
  if (!std::isfinite(p.stepSize)) p.stepSize = size;
  return p;
}

SbStreamlineTracer::SbStreamlineTracer(const SbHeModelHQ& m, const std::vector<SbVec3f>& d, const Parameters& p)
    : model(m), field(&d), param(p) {
  tiny = 1e-6f * param.size;
  // A stroke cannot be longer than the surface's area over the separation (the
  // strokes keep that far apart); allow several times that in steps, plus a
  // few steps for every face a stroke might cross.
  double area = 0.0;
  for (const HeTriangle* t : model.triangles) {
    const SbVec3f& a = t->vertex[0]->position;
    area += 0.5 * len3(cross3(t->vertex[1]->position - a, t->vertex[2]->position - a));
  }
  if (!std::isfinite(area)) area = 0.0;
  // All strokes together are about area / separation long and every step adds
  // a point: a step that would take more than kStepBudget steps over them is
  // raised to the one that takes that many (far below a pixel on any model),
  // but never beyond a quarter of the separation: from there on the steps
  // cost no more than the seeds proposed at every separation along a stroke.
  const double smallestStep =
      std::min(area / (double(param.separation) * kStepBudget), 0.25 * double(param.separation));
  if (param.stepSize < smallestStep) param.stepSize = static_cast<float>(smallestStep);
  noProgress = std::min(1e-3f * param.stepSize, 1e-4f * param.separation);
  longest = 4.0 * area / param.separation + 4.0 * param.size;
  double length = longest;
  if (param.maxLength < FLT_MAX) length = std::min<double>(length, param.maxLength);
  const double steps = 4.0 * length / param.stepSize + 4.0 * model.triangles.size() + 64.0;
  maxSteps = static_cast<long>(std::min(steps, 1e12));
  frameStore = buildFrames();
  frames = frameStore.get();
}

SbStreamlineTracer::SbStreamlineTracer(const SbStreamlineTracer& other, const std::vector<SbVec3f>& d)
    : model(other.model),
      field(&d),
      frameStore(other.frameStore),
      frames(other.frames),
      param(other.param),
      maxSteps(other.maxSteps),
      longest(other.longest),
      noProgress(other.noProgress),
      tiny(other.tiny) {}

void SbStreamlineTracer::setDirections(const std::vector<SbVec3f>& directions) { field = &directions; }

SbStreamlineTracer::~SbStreamlineTracer() = default;

void SbStreamlineTracer::weights(const HeTriangle* face, const SbVec3f& point, float w[3]) const {
  float u = 0.0f;
  float v = 0.0f;
  SbHeModelHQ::triangleCoordinates(face, point, u, v);
  w[0] = std::clamp(1.0f - u - v, 0.0f, 1.0f);
  w[1] = std::clamp(u, 0.0f, 1.0f);
  w[2] = std::clamp(v, 0.0f, 1.0f);
  const float sum = w[0] + w[1] + w[2];
  if (!(sum > 0.0f) || !std::isfinite(sum)) {
    w[0] = w[1] = w[2] = 1.0f / 3.0f;
  } else {
    w[0] /= sum;
    w[1] /= sum;
    w[2] /= sum;
  }
}

void SbStreamlineTracer::interpolate(const SbVec3f d[3], const float w[3], const SbVec3f& normal, SbVec3f& result,
                                     bool& ok) const {
  const float w12 = w[1] + w[2];
  // At vertex 0 both weights vanish; any parameter will do, the second
  // interpolation then gives vertex 0's direction.
  const float t = w12 > 1e-12f ? w[2] / w12 : 0.5f;
  SbVec3f r = slerp(d[1], d[2], t);
  r = slerp(r, d[0], w[0]);
  r -= normal * r.dot(normal);
  ok = normalise(r) && finite(r);
  if (ok) result = r;
}

bool SbStreamlineTracer::fieldDirection(const SbVec3f& point, const HeTriangle* face, const SbVec3f& direction,
                                        SbVec3f& result) const {
  if (!usable(face)) return false;
  float w[3];
  weights(face, point, w);
  SbVec3f d[3];
  for (int k = 0; k < 3; ++k) {
    d[k] = corner(face, k);
    if (d[k].dot(direction) < 0.0f) d[k] = -d[k];
  }
  bool ok = false;
  interpolate(d, w, face->normal, result, ok);
  return ok;
}

bool SbStreamlineTracer::seedDirection(const SbVec3f& point, const HeTriangle* face, SbVec3f& result) const {
  if (!usable(face)) return false;
  float w[3];
  weights(face, point, w);
  const SbVec3f& n = face->normal;
  SbVec3f d[3];
  int reference = 0;
  for (int k = 0; k < 3; ++k) {
    d[k] = corner(face, k);
    d[k] -= n * d[k].dot(n);
    if (!normalise(d[k])) d[k].setValue(0, 0, 0);
    if (w[k] > w[reference]) reference = k;
  }
  for (int k = 0; k < 3; ++k)
    if (k != reference && d[k].dot(d[reference]) < 0.0f) d[k] = -d[k];
  bool ok = false;
  interpolate(d, w, n, result, ok);
  return ok;
}

SbVec3f SbStreamlineTracer::corner(const HeTriangle* face, int k) const {
  // The vertex direction lies in the vertex's tangent plane; it is carried
  // into the face by the rotation that turns the vertex normal into the face
  // normal. Dropping its normal component instead would let a direction that
  // leans out of the face (at a vertex on a crease, say, whose normal is the
  // mean of very different faces) swing sideways in the face, and strokes on
  // either side of the face would run into each other. Worked out where it is
  // needed, not stored: stored, three directions per face would hold 36 MB
  // per family at a million triangles, for a few products per sample.
  const HeVertex* v = face->vertex[k];
  if (v->index < 0 || v->index >= static_cast<int32_t>(field->size())) return SbVec3f(0, 0, 0);
  SbVec3f d = (*field)[v->index];
  const SbVec3f& a = v->normal;
  const SbVec3f& b = face->normal;
  const float c = a.dot(b);
  if (a.dot(a) > 0.5f && b.dot(b) > 0.5f && c > -0.9f) {
    // Rotation taking a to b: d + w x d + w x (w x d) / (1 + c), w = a x b.
    const SbVec3f w = cross3(a, b);
    const SbVec3f wd = cross3(w, d);
    d = d + wd + cross3(w, wd) / (1.0f + c);
  }
  return finite(d) ? d : SbVec3f(0, 0, 0);
}

std::shared_ptr<const SbStreamlineTracer::FaceFrame> SbStreamlineTracer::buildFrames() const {
  // Every frame is written below: no zero-filling first.
  auto block = allocateLargeArray<FaceFrame>(model.triangles.size());
  if (!block) throw std::bad_alloc();
  std::shared_ptr<FaceFrame> store(block.release(), LargeBlockDeleter());
  FaceFrame* frames = store.get();
  parallelHalves(model.triangles.size(), kParallelFaces, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) frameOf(model.triangles[i], frames[model.triangles[i]->index]);
  });
  return store;
}

void SbStreamlineTracer::frameOf(const HeTriangle* face, FaceFrame& f) const {
  const HalfEdge* h = face->halfEdge;
  for (int k = 0; k < 3; ++k, h = h->next) {
    const SbVec3f& a = face->vertex[k]->position;
    const SbVec3f& b = face->vertex[(k + 1) % 3]->position;
    // Inward normal of the edge a -> b of a counter-clockwise face; for an
    // edge too short to normalise (a millionth), from its unit direction.
    SbVec3f n = cross3(face->normal, b - a);
    if (!normalise(n)) {
      const SbVec3f e = b - a;
      const float length = len3(e);
      n = length > 0.0f && std::isfinite(length) ? cross3(face->normal, e / length) : SbVec3f(0, 0, 0);
      if (!normalise(n)) n.setValue(0, 0, 0);
    }
    f.edgeNormal[k] = n;
    f.edgeOffset[k] = n.dot(a);
    // The neighbour, where the surface may be crossed: not at a boundary
    // (a twin without a triangle), not at a sharp edge, not into a face
    // without a normal.
    const HeTriangle* next = h->twin ? h->twin->triangle : nullptr;
    const bool open =
        next && next != face && usable(face) && usable(next) && !param.sharpEdge.sharp(face->normal, next->normal);
    f.neighbour[k] = open ? next->index : -1;
  }
  f.normal = face->normal;
}

int SbStreamlineTracer::exitEdge(int32_t face, const SbVec3f& point, const SbVec3f& direction, float& t) const {
  const FaceFrame& f = frames[face];
  int edge = -1;
  for (int k = 0; k < 3; ++k) {
    const SbVec3f& n = f.edgeNormal[k];
    const float nd = n.dot(direction);
    if (nd >= -1e-6f) continue;
    const float tk = (f.edgeOffset[k] - n.dot(point)) / nd;
    if (edge < 0 || tk < t) {
      t = tk;
      edge = k;
    }
  }
  return edge;
}

int32_t SbStreamlineTracer::crossEdge(int32_t face, int edge, SbVec3f& mirror) const {
  const int32_t next = frames[face].neighbour[edge];
  if (next < 0) return -1;
  // The mirror plane between the two faces carries a direction of one face
  // into the other without changing its angle to the edge; at a fold back onto
  // itself it is not defined.
  mirror = frames[face].normal + frames[next].normal;
  if (!normalise(mirror)) return -1;
  return next;
}

int SbStreamlineTracer::exitEdge(const HeTriangle* face, const SbVec3f& point, const SbVec3f& direction,
                                 float& t) const {
  return exitEdge(face->index, point, direction, t);
}

const HeTriangle* SbStreamlineTracer::crossEdge(const HeTriangle* face, int edge, SbVec3f& mirror) const {
  const int32_t next = crossEdge(face->index, edge, mirror);
  return next < 0 ? nullptr : model.triangles[next];
}

bool SbStreamlineTracer::sampleAhead(const HeTriangle* face, const SbVec3f& point, const SbVec3f& direction,
                                     float length, SbVec3f& result) {
  // The walk reads only the compact face frames; the face record is needed
  // at its end.
  mirrors.clear();
  int32_t f = face->index;
  SbVec3f q = point;
  SbVec3f w = direction;
  float rest = length;
  int stalls = 0;
  while (rest > 0.0f && static_cast<int>(mirrors.size()) < kSampleCrossings) {
    float t = 0.0f;
    const int k = exitEdge(f, q, w, t);
    if (k < 0 || t >= rest) {
      q += w * rest;
      break;
    }
    if (t > 0.0f) {
      q += w * t;
      rest -= t;
      stalls = 0;
    } else if (++stalls > 2) {
      break;  // the walk does not move
    }
    SbVec3f m;
    const int32_t next = crossEdge(f, k, m);
    if (next < 0) break;  // boundary or sharp edge: sample at the edge
    w = reflect(w, m);
    if (!normalise(w)) break;
    mirrors.push_back(m);
    f = next;
  }
  SbVec3f sample;
  if (!fieldDirection(q, model.triangles[f], w, sample)) return false;
  for (auto m = mirrors.rbegin(); m != mirrors.rend(); ++m) {
    sample = reflect(sample, *m);
    if (!normalise(sample)) return false;
  }
  result = sample;
  return finite(result);
}

bool SbStreamlineTracer::rk4Direction(const HeTriangle* face, const SbVec3f& point, const SbVec3f& direction, float h,
                                      SbVec3f& result) {
  h = std::min(h, 2.0f * param.probe);
  const SbVec3f k1 = direction;
  SbVec3f k2, k3, k4;
  if (!sampleAhead(face, point, k1, 0.5f * h, k2)) k2 = k1;
  if (!sampleAhead(face, point, k2, 0.5f * h, k3)) k3 = k2;
  if (!sampleAhead(face, point, k3, h, k4)) k4 = k3;
  SbVec3f r = k1 + k2 * 2.0f + k3 * 2.0f + k4;
  if (!normalise(r)) return false;
  r -= face->normal * r.dot(face->normal);
  if (!normalise(r) || !finite(r)) return false;
  result = r;
  return true;
}

bool SbStreamlineTracer::walkSide(const SbVec3f& origin, SbVec3f w, const HeTriangle* face, SbVec3f& end,
                                  const HeTriangle*& endFace) const {
  const HeTriangle* f = face;
  SbVec3f q = origin;
  float path = 0.0f;
  int stalls = 0;
  for (int crossings = 0; crossings < kMaxCrossings; ++crossings) {
    float te = 0.0f;
    const int k = exitEdge(f, q, w, te);
    if (k < 0) return false;
    // Where the straight piece q + w t leaves the sphere of the probe radius.
    const SbVec3f r = q - origin;
    const float b = r.dot(w);
    const float c = r.dot(r) - param.probeSq;
    const float disc = b * b - c;
    if (disc >= 0.0f) {
      const float tr = -b + std::sqrt(disc);
      if (tr >= 0.0f && tr <= te) {
        end = q + w * tr;
        endFace = f;
        return true;
      }
    }
    if (te > 0.0f) {
      q += w * te;
      path += te;
      stalls = 0;
    } else if (++stalls > 2) {
      return false;
    }
    // On a tube thinner than the probe the walk would circle for ever.
    if (path > kProposalPath * param.probe) return false;
    SbVec3f m;
    const HeTriangle* next = crossEdge(f, k, m);
    if (!next) return false;
    w = reflect(w, m);
    if (!normalise(w)) return false;
    f = next;
  }
  return false;
}

void SbStreamlineTracer::proposeSeeds(const SbVec3f& point, const SbVec3f& direction, const HeTriangle* face,
                                      const StrokeCollider& collider) {
  SbVec3f side = cross3(direction, face->normal);
  if (!normalise(side)) return;
  for (int sign = 0; sign < 2; ++sign) {
    SbVec3f end;
    const HeTriangle* endFace = nullptr;
    if (!walkSide(point, sign == 0 ? side : -side, face, end, endFace)) continue;
    if (collider.nearAny(endFace, end)) continue;
    proposals.push_back(StreamlineSeed{end, direction, endFace});
  }
}

void SbStreamlineTracer::registerChord(Side& side, const SbVec3f& end, float endArc, const HeTriangle* endFace,
                                       int index, StrokeCollider& collider, int32_t stroke) {
  side.inner = 0;
  if (end == side.chordStart) return;
  const int added =
      collider.addSegment(side.chordFace, side.chordStart, end, side.hasPrevious ? &side.previous : nullptr, stroke);
  if (added >= 1) own.push_back(OwnSegment{side.chordArc, endArc, index});
  if (added >= 2) own.push_back(OwnSegment{side.chordArc, side.chordArc, index});  // the joint
  if (added == 0) return;  // negligible: the chord goes on from the same start
  side.previous = side.chordStart;
  side.hasPrevious = true;
  side.chordStart = end;
  side.chordFace = endFace;
  side.chordArc = endArc;
}

void SbStreamlineTracer::extendChord(Side& side, const SbVec3f& old, float oldArc, int index, StrokeCollider& collider,
                                     int32_t stroke) {
  // side.point has just moved on from `old`, in side.face. The chord from
  // chordStart may take the new point in while every point it passes stays
  // within a small tolerance of it and it is not too long; otherwise the
  // chord up to `old` is registered and a new one starts there.
  const SbVec3f start = side.chordStart;
  const SbVec3f chord = side.point - start;
  const float lengthSq = chord.dot(chord);
  const float tolerance = kChordTolerance * param.separation;
  const float limit = kChordLength * param.separation;
  bool fits = lengthSq <= limit * limit && side.inner < kChordPoints;
  // Points closer together than a twentieth of the separation are checked
  // through one of them.
  const SbVec3f& last = side.inner > 0 ? side.innerPoint[side.inner - 1] : start;
  const float spacing = 0.05f * param.separation;
  if (fits && old != start && (old - last).dot(old - last) >= spacing * spacing) {
    side.innerPoint[side.inner++] = old;
    for (int k = 0; k < side.inner && fits; ++k) {
      const SbVec3f w = side.innerPoint[k] - start;
      const SbVec3f c = cross3(w, chord);
      fits = c.dot(c) <= tolerance * tolerance * lengthSq;
    }
  }
  if (!fits && old != start) {
    registerChord(side, old, oldArc, side.face, index, collider, stroke);
    if (side.chordStart != old) return;  // negligible, kept growing
  }
  // A single step longer than the limit is a chord of its own.
  const SbVec3f rest = side.point - side.chordStart;
  if (rest.dot(rest) > limit * limit) registerChord(side, side.point, side.walked, side.face, index, collider, stroke);
}

void SbStreamlineTracer::step(Side& side, int index, StrokeCollider& collider, int32_t stroke) {
  SbVec3f d;
  if (!usable(side.face) || !rk4Direction(side.face, side.point, side.direction, param.stepSize, d)) {
    side.active = false;
    return;
  }
  // The bend is the turning of the stroke itself: the angle between one step
  // and the next, the earlier carried over any edge between them.
  const float cosTurn = std::clamp(side.heading.dot(d), -1.0f, 1.0f);
  const float turn = std::acos(cosTurn) * kDegrees + (cosTurn < 0.0f ? 90.0f : 0.0f);
  side.direction = d;
  float s = std::min(param.stepSize, remaining);
  if (!(s > 0.0f)) {
    side.active = false;
    return;
  }
  float te = 0.0f;
  const int edge = exitEdge(side.face, side.point, d, te);
  // A direction in the plane of a triangle leaves it through some edge; none
  // means the face has no frame to walk in, and the side would walk on for
  // ever outside it.
  if (edge < 0) {
    side.active = false;
    return;
  }
  const bool onEdge = te <= s;
  if (onEdge) s = te;

  SbVec3f mirror;
  if (onEdge && s <= 0.0f) {
    // The point already lies on the edge it leaves through: move into the
    // neighbour without a step, which counts as a step without progress.
    const HeTriangle* next = crossEdge(side.face, edge, mirror);
    if (!next || ++side.idle > kIdleSteps) {
      side.active = false;
      return;
    }
    SbVec3f w = reflect(d, mirror);
    if (!normalise(w)) {
      side.active = false;
      return;
    }
    side.direction = w;
    side.heading = reflect(side.heading, mirror);
    side.face = next;
    return;
  }

  SbVec3f p = side.point + d * s;
  if (onEdge) {
    // Put the point on the edge exactly.
    const SbVec3f& a = side.face->vertex[edge]->position;
    const SbVec3f& b = side.face->vertex[(edge + 1) % 3]->position;
    const SbVec3f ab = b - a;
    const float len2 = ab.dot(ab);
    const float f = len2 > 0.0f ? std::clamp((p - a).dot(ab) / len2, 0.0f, 1.0f) : 0.0f;
    p = a + ab * f;
  }

  // Collision with any stroke, this one included. The stroke's own segments
  // far back along it also count when the step ends within the separation of
  // them without entering it (a stroke winding about a tube thinner than the
  // separation never leaves the neighbourhood of its own start).
  bool hit = false;
  const float farBack = 3.0f * param.separation;
  collider.forPath(side.face, side.point, p, [&](int i, const StrokeSegment& segment) {
    if (hit) return;
    float t = 0.0f;
    if (collider.stepHits(side.point, d, segment, t) && t < s) {
      hit = true;
      return;
    }
    const int k = i - ownBase;
    if (k < 0 || k >= static_cast<int>(own.size())) return;
    const OwnSegment& o = own[k];
    const float gap = o.side == index ? side.walked - o.farArc : side.walked + o.nearArc;
    if (gap > farBack && collider.pointNear(p, segment)) hit = true;
  });
  if (hit) {
    side.active = false;
    return;
  }
  if (p == side.point || !finite(p)) {
    side.active = false;
    return;
  }
  if (index == 0) {
    points.push_front(p);
    pointFaces.push_front(side.face);
  } else {
    points.push_back(p);
    pointFaces.push_back(side.face);
  }
  const SbVec3f old = side.point;
  const float before = side.walked;
  bend += turn;
  side.heading = d;
  side.point = p;
  side.walked += s;
  remaining -= s;
  // Steps much shorter than the separation are registered together as one
  // chord, as long as it stays straight: a fine step size or a fine mesh would
  // otherwise fill the collider's cells with tiny segments.
  extendChord(side, old, before, index, collider, stroke);
  while (side.nextProposal < side.walked) {
    proposeSeeds(old + d * (side.nextProposal - before), d, side.face, collider);
    side.nextProposal += param.separation;
  }
  side.idle = s < noProgress ? side.idle + 1 : 0;
  if (side.idle > kIdleSteps) {
    side.active = false;
    return;
  }

  if (onEdge) {
    const HeTriangle* next = crossEdge(side.face, edge, mirror);
    SbVec3f w = d;
    if (!next || !normalise(w = reflect(d, mirror))) {
      side.active = false;
      return;
    }
    side.face = next;
    side.direction = w;
    side.heading = w;
  } else {
    SbVec3f fresh;
    if (!fieldDirection(p, side.face, d, fresh)) {
      side.active = false;
      return;
    }
    side.direction = fresh;
  }
}

bool SbStreamlineTracer::trace(const SbVec3f& seedPoint, const SbVec3f& seedDir, const HeTriangle* seedFace,
                               StrokeCollider& collider, int& strokeCounter, StrokeSet& out,
                               std::deque<StreamlineSeed*>& queue) {
  if (!usable(seedFace) || !finite(seedPoint)) return false;
  const SbVec3f& n = seedFace->normal;
  SbVec3f d = seedDir - n * seedDir.dot(n);
  if (!(d.dot(d) >= 1e-6f) || !normalise(d)) return false;

  const StrokeCollider::Checkpoint mark = collider.checkpoint();
  ownBase = mark.segments;
  own.clear();
  points.clear();
  pointFaces.clear();
  proposals.clear();
  points.push_back(seedPoint);
  pointFaces.push_back(seedFace);
  Side sides[2];
  for (int i = 0; i < 2; ++i) {
    Side& s = sides[i];
    s.active = true;
    s.point = seedPoint;
    s.face = seedFace;
    s.direction = i == 0 ? -d : d;
    s.heading = s.direction;
    s.walked = 0.0f;
    s.nextProposal = param.separation;
    s.idle = 0;
    s.hasPrevious = false;
    s.chordStart = seedPoint;
    s.chordFace = seedFace;
    s.chordArc = 0.0f;
    s.inner = 0;
  }
  remaining = param.maxLength;
  bend = 0.0f;
  proposeSeeds(seedPoint, d, seedFace, collider);

  long steps = 0;
  for (;;) {
    for (int i = 0; i < 2; ++i) {
      if (!sides[i].active) continue;
      step(sides[i], i, collider, strokeCounter);
      ++steps;
    }
    if (remaining <= tiny || bend >= param.maxBend) break;
    if (!sides[0].active && !sides[1].active) break;
    if (steps >= maxSteps) break;
  }

  for (int i = 0; i < 2; ++i)
    registerChord(sides[i], sides[i].point, sides[i].walked, sides[i].face, i, collider, strokeCounter);
  const float total = sides[0].walked + sides[1].walked;
  if (!(total >= param.minLength)) {
    collider.rollback(mark);
    proposals.clear();
    ++discarded;
    return false;
  }
  const int32_t base = static_cast<int32_t>(out.points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    out.points.push_back(points[i]);
    out.faces.push_back(pointFaces[i]);
    out.indices.push_back(base + static_cast<int32_t>(i));
  }
  out.indices.push_back(-1);
  ++out.strokeCount;
  if (!proposals.empty()) {
    std::lock_guard<std::mutex> lock(seedPoolMutex);
    for (const StreamlineSeed& p : proposals) {
      StreamlineSeed* seed = seedPool.take();
      if (!seed) break;
      *seed = p;
      queue.push_back(seed);
    }
  }
  proposals.clear();
  ++strokeCounter;
  return true;
}

void SbStreamlineTracer::hatch(StrokeSet& out, int taperMethod, ProgressMeter* progress, std::atomic<int>* facesDone) {
  out.clear();
  discarded = 0;
  if (field->size() < model.vertices.size()) return;
  // The collider's cells are made once per tracer and emptied for
  // each hatch.
  if (shared)
    shared->clear();
  else
    shared = std::make_unique<StrokeCollider>(model, param.separation, param.size);
  StrokeCollider& collider = *shared;
  std::deque<StreamlineSeed*> queue;
  // Seeds still queued go back to their pool whatever happens.
  struct QueueGuard {
    std::deque<StreamlineSeed*>& queue;
    ~QueueGuard() {
      std::lock_guard<std::mutex> lock(seedPoolMutex);
      for (StreamlineSeed* s : queue) seedPool.giveBack(s);
    }
  } guard{queue};
  int counter = 0;
  for (int f = static_cast<int>(model.triangles.size()) - 1; f >= 0; --f) {
    const HeTriangle* face = model.triangles[f];
    const SbVec3f centroid = (face->vertex[0]->position + face->vertex[1]->position + face->vertex[2]->position) / 3.0f;
    SbVec3f direction;
    if (!collider.nearAny(face, centroid) && seedDirection(centroid, face, direction)) {
      StreamlineSeed* seed = takeSeed();
      if (seed) {
        *seed = StreamlineSeed{centroid, direction, face};
        queue.push_back(seed);
      }
      while (!queue.empty()) {
        StreamlineSeed* s = queue.front();
        if (!collider.nearAny(s->face, s->point)) trace(s->point, s->direction, s->face, collider, counter, out, queue);
        queue.pop_front();
        giveBackSeed(s);
      }
    }
    if (progress) progress->step();
    if (facesDone) facesDone->fetch_add(1, std::memory_order_relaxed);
  }
  computeTaper(out, collider, taperMethod);
  segmentsKept = collider.segmentCount();
  entriesKept = collider.entryCount();
}

void SbStreamlineTracer::computeTaper(StrokeSet& out, const StrokeCollider& collider, int method) const {
  out.taper.clear();
  if (method != TM_SPHERE && method != TM_PLANE && method != TM_PLANE_AVG) return;
  out.taper.reserve(out.points.size());
  const float range = param.probe - param.separation;
  int32_t stroke = 0;
  size_t first = 0;
  for (size_t i = 0; i <= out.indices.size(); ++i) {
    if (i < out.indices.size() && out.indices[i] >= 0) continue;
    // out.indices[first .. i) is one stroke.
    const size_t count = i - first;
    for (size_t k = 0; k < count; ++k) {
      if (count == 1) {
        out.taper.push_back(0.0f);
        break;
      }
      const int32_t here = out.indices[first + k];
      const SbVec3f& p = out.points[here];
      const HeTriangle* face = out.faces[here];
      const SbVec3f& from = out.points[out.indices[first + (k == 0 ? 0 : k - 1)]];
      const SbVec3f& to = out.points[out.indices[first + (k + 1 == count ? k : k + 1)]];
      SbVec3f d = to - from;
      d -= face->normal * d.dot(face->normal);
      if (!normalise(d)) {
        d = to - from;
        if (!normalise(d)) d = SbVec3f(1, 0, 0);
      }
      float D = param.probe;
      if (method == TM_SPHERE)
        D = collider.sphereDistance(p, d, face, param.probe, stroke);
      else if (method == TM_PLANE)
        D = collider.planeDistance(p, d, face, param.probe, stroke);
      else
        D = collider.planeAverageDistance(p, d, face, param.probe, stroke);
      out.taper.push_back(std::max(D - param.separation, tiny) / range);
    }
    if (count > 0) ++stroke;
    first = i + 1;
  }
}
