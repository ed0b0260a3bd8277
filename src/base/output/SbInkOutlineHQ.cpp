#include "output/SbInkOutlineHQ.h"

#include <algorithm>
#include <cmath>

#include "output/ContourArcHQ.h"
#include "output/ContourLineHQ.h"
#include "styling/SbLineSettingsHQ.h"

TypedObjectPool<SbInkOutlineHQ::InkVertexHQ> SbInkOutlineHQ::pool("SoLineOutputHQ::pool");

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 2.0f * kPi;

using Vertex = SbInkOutlineHQ::InkVertexHQ;

// The angle brought into (-pi, pi].
float wrapAngle(float a) {
  a = std::fmod(a, kTwoPi);
  if (a > kPi) a -= kTwoPi;
  if (a <= -kPi) a += kTwoPi;
  return a;
}

SbVec2f at(const Vertex& v) { return SbVec2f(v.position[0], v.position[1]); }

SbVec2f onDisc(const Vertex& v, const float* normal) {
  return SbVec2f(v.position[0] + v.radius * normal[0], v.position[1] + v.radius * normal[1]);
}

float cross(const SbVec2f& a, const SbVec2f& b) { return a[0] * b[1] - a[1] * b[0]; }

// Pieces of one side of a join, in the order the outline passes them.
struct SidePieces {
  ContourPieceHQ* piece[3] = {nullptr, nullptr, nullptr};
  int count = 0;
  void add(ContourPieceHQ* p) {
    if (p) piece[count++] = p;
  }
};

// One side of the join at a vertex P of radius r. The outline arrives along
// the edge arriveFrom -> from (tangent point at angle fromAngle) and leaves
// along to (at toAngle) -> leaveTo; it turns counter-clockwise about P.
// Where the disc bulges out (the turn from fromAngle to toAngle is positive)
// the side follows the disc's arc. sweep (-2 pi .. 2 pi) is that turn. Where the two edges cut into each other
// their intersection is the corner when it lies on both edges (a mitre);
// otherwise the side passes through the centre, which every piece of the
// union around P covers.
SidePieces joinSide(const SbVec2f& P, float r, const SbVec2f& arriveFrom, const SbVec2f& from, float fromAngle,
                    const SbVec2f& to, float sweep, const SbVec2f& leaveTo) {
  SidePieces out;
  if (sweep >= 0.0f) {
    out.add(ContourLineHQ::create(from[0], from[1]));
    if (sweep > 1e-6f) out.add(ContourArcHQ::create(P[0], P[1], r, fromAngle, fromAngle + sweep));
    out.add(ContourLineHQ::create(to[0], to[1]));
    return out;
  }
  const SbVec2f d1 = from - arriveFrom;
  const SbVec2f d2 = leaveTo - to;
  const float denom = cross(d1, d2);
  if (std::fabs(denom) > 1e-9f * (d1.length() * d2.length() + 1e-30f)) {
    const SbVec2f w = to - arriveFrom;
    const float t = cross(w, d2) / denom;
    const float u = cross(w, d1) / denom;
    if (t >= 0.0f && t <= 1.0f && u >= 0.0f && u <= 1.0f) {
      const SbVec2f x = arriveFrom + d1 * t;
      out.add(ContourLineHQ::create(x[0], x[1]));
      return out;
    }
  }
  out.add(ContourLineHQ::create(from[0], from[1]));
  out.add(ContourLineHQ::create(P[0], P[1]));
  out.add(ContourLineHQ::create(to[0], to[1]));
  return out;
}

}  // namespace

SbInkOutlineHQ::SbInkOutlineHQ(const SbLineSettingsHQ& settings, Receiver& receiver)
    : settings(settings), receiver(receiver) {}

SbInkOutlineHQ::~SbInkOutlineHQ() {
  releaseVertices();
  list.clear();
}

void SbInkOutlineHQ::releaseVertices() {
  for (InkVertexHQ* v : vertices) pool.giveBack(v);
  vertices.clear();
}

void SbInkOutlineHQ::addLineSet(const SbLineSetView& lines, const SbVec2f* pixels, const uint8_t* valid) {
  if (!pixels || lines.pointCount < 1) return;
  lines.forEachLine([&](int32_t begin, int32_t end, int32_t firstVertex) {
    runs.buildLine(settings, lines, begin, end, firstVertex, [&](int32_t i, SbVec3f& pixel) {
      if (valid && !valid[i]) return false;
      pixel.setValue(pixels[i][0], pixels[i][1], 0.0f);
      return true;
    });
    drawRuns();
  });
}

void SbInkOutlineHQ::addStroke(const SbVec2f* positions, const float* thickness, const float* tone, int count) {
  if (!positions || count < 1) return;
  scratchPositions.resize(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) scratchPositions[k].setValue(positions[k][0], positions[k][1], 0.0f);
  runs.build(settings, scratchPositions.data(), thickness, tone, count);
  drawRuns();
}

// The runs of the stroke just built: outlines of the solid ones, the dots
// of the others.
void SbInkOutlineHQ::drawRuns() {
  releaseVertices();
  for (const SbInkRunsHQ::Point& p : runs.points()) {
    InkVertexHQ* v = pool.take();
    if (!v) break;
    *v = InkVertexHQ{};
    v->position[0] = p.position[0];
    v->position[1] = p.position[1];
    v->radius = p.radius;
    v->tone = p.tone;
    vertices.push_back(v);
  }
  if (vertices.size() == runs.points().size()) {
    computeTangents();
    const std::vector<SbInkRunsHQ::Dot>& dots = runs.dots();
    for (const SbInkRunsHQ::Run& run : runs.runs()) {
      if (run.kind == SbInkRunsHQ::SOLID) {
        solidRun(static_cast<size_t>(run.first), static_cast<size_t>(run.last));
      } else {
        for (int d = run.firstDot; d < run.firstDot + run.dots; ++d)
          dot(dots[d].centre[0], dots[d].centre[1], dots[d].radius);
      }
    }
  }
  releaseVertices();
}

// The outer tangents of consecutive discs: with d = p - p_prev and
// dr = r_prev - r, they touch at angles atan2(d) +- acos(dr / |d|).
void SbInkOutlineHQ::computeTangents() {
  for (size_t k = 1; k < vertices.size(); ++k) {
    InkVertexHQ& v = *vertices[k];
    const InkVertexHQ& p = *vertices[k - 1];
    const float dx = v.position[0] - p.position[0];
    const float dy = v.position[1] - p.position[1];
    const float dr = p.radius - v.radius;
    const float l2 = dx * dx + dy * dy;
    v.length = std::sqrt(l2);
    if (!(l2 >= dr * dr + 1e-6f)) continue;  // one disc holds the other: no tangents
    v.direction[0] = dx;
    v.direction[1] = dy;
    const float theta = std::atan2(dy, dx);
    const float phi = std::acos(std::clamp(dr / v.length, -1.0f, 1.0f));
    v.angleA = theta + phi;
    v.angleB = theta - phi;
    v.normalA[0] = std::cos(v.angleA);
    v.normalA[1] = std::sin(v.angleA);
    v.normalB[0] = std::cos(v.angleB);
    v.normalB[1] = std::sin(v.angleB);
    v.tangents = true;
  }
}

void SbInkOutlineHQ::solidRun(size_t first, size_t last) {
  // A segment whose discs hold one another has no tangent band: the run's
  // outline is cut there and each part gets its own.
  size_t from = first;
  for (size_t k = first + 1; k <= last; ++k) {
    if (!vertices[k]->tangents) {
      outline(from, k - 1);
      from = k;
    }
  }
  outline(from, last);
}

void SbInkOutlineHQ::outline(size_t first, size_t last) {
  const InkVertexHQ& v0 = *vertices[first];
  if (first == last) {
    if (v0.radius > 1e-6f) {
      list.append(ContourArcHQ::create(v0.position[0], v0.position[1], v0.radius, 0.0f, kTwoPi));
      ++contours;
      receiver.fillContour(list);
      list.clear();
    }
    return;
  }
  // The outline runs counter-clockwise: the start cap, the B (right) side
  // forwards, the end cap, the A (left) side backwards. B pieces are
  // appended, A pieces prepended.
  const InkVertexHQ& s = *vertices[first + 1];
  if (v0.radius < 1e-6f) {
    list.append(ContourLineHQ::create(v0.position[0], v0.position[1]));
  } else {
    float end = s.angleB;
    if (end < s.angleA) end += kTwoPi;
    list.append(ContourArcHQ::create(v0.position[0], v0.position[1], v0.radius, s.angleA, end));
  }
  for (size_t k = first + 1; k < last; ++k) join(k);
  const InkVertexHQ& e = *vertices[last];
  if (e.radius < 1e-6f) {
    list.append(ContourLineHQ::create(e.position[0], e.position[1]));
  } else {
    float end = e.angleA;
    if (end < e.angleB) end += kTwoPi;
    list.append(ContourArcHQ::create(e.position[0], e.position[1], e.radius, e.angleB, end));
  }
  ++contours;
  receiver.fillContour(list);
  list.clear();
}

void SbInkOutlineHQ::join(size_t k) {
  const InkVertexHQ& v = *vertices[k];
  const SbVec2f P = at(v);
  if (v.radius < 1e-6f) {
    list.append(ContourLineHQ::create(P[0], P[1]));
    list.prepend(ContourLineHQ::create(P[0], P[1]));
    return;
  }
  const InkVertexHQ& prev = *vertices[k - 1];
  const InkVertexHQ& next = *vertices[k + 1];
  // v carries the tangents of the incoming segment, next those of the
  // outgoing one. With the turn tau of the direction and the tangent
  // half-angles phi (angleA = theta + phi, angleB = theta - phi), the B side
  // turns by tau + phi_in - phi_out and the A side, walked backwards, by
  // -tau + phi_in - phi_out: more than half a turn where a wide disc sits
  // between narrow neighbours.
  const float thetaIn = 0.5f * (v.angleA + v.angleB), phiIn = 0.5f * (v.angleA - v.angleB);
  const float thetaOut = 0.5f * (next.angleA + next.angleB), phiOut = 0.5f * (next.angleA - next.angleB);
  const float tau = wrapAngle(thetaOut - thetaIn);
  const SidePieces b = joinSide(P, v.radius, onDisc(prev, v.normalB), onDisc(v, v.normalB), v.angleB,
                                onDisc(v, next.normalB), tau + phiIn - phiOut, onDisc(next, next.normalB));
  for (int i = 0; i < b.count; ++i) list.append(b.piece[i]);
  const SidePieces a = joinSide(P, v.radius, onDisc(next, next.normalA), onDisc(v, next.normalA), next.angleA,
                                onDisc(v, v.normalA), -tau + phiIn - phiOut, onDisc(prev, v.normalA));
  for (int i = a.count - 1; i >= 0; --i) list.prepend(a.piece[i]);
}

// A dot is drawn once however often it comes: several lines that project
// onto one point (edges seen end-on, stacked along a line of sight, or an
// edge a model repeats) each collapse to a lone vertex there and each asks
// for the same dot, which adds no ink to a vector file and darkens the rim
// of an anti-aliased one.
void SbInkOutlineHQ::dot(float x, float y, float radius) {
  if (!(radius > 1e-6f)) return;
  const double cx = std::floor(static_cast<double>(x) / kSameDot);
  const double cy = std::floor(static_cast<double>(y) / kSameDot);
  if (std::fabs(cx) < 1e9 && std::fabs(cy) < 1e9) {
    auto key = [](double i, double j) {
      return (static_cast<uint64_t>(static_cast<int64_t>(i)) << 32) ^
             static_cast<uint64_t>(static_cast<uint32_t>(static_cast<int64_t>(j)));
    };
    for (int i = -1; i <= 1; ++i)
      for (int j = -1; j <= 1; ++j) {
        auto it = drawnDots.find(key(cx + i, cy + j));
        if (it == drawnDots.end()) continue;
        for (const SbVec3f& d : it->second)
          if (std::fabs(d[0] - x) <= kSameDot && std::fabs(d[1] - y) <= kSameDot &&
              std::fabs(d[2] - radius) <= kSameDot)
            return;
      }
    drawnDots[key(cx, cy)].emplace_back(x, y, radius);
  }
  ++dots;
  receiver.drawDot(SbVec3f(x, y, 0.0f), radius);
}
