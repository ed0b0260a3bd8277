// Automatic clean-up of the flow field and the measure it is judged by.
//
// The clean-up finds the smoothest cross field (four-fold rotational
// symmetry, so that the two principal directions are one and the same
// value) that follows the principal directions where they can be trusted,
// in the complex representation u = e^(4 i phi) of per-vertex angles with a
// discrete connection taken from the edges (the edge vector seen in the two
// vertices' tangent frames). The field is first carried out from the
// trusted vertices in breadth-first order, then smoothed by Gauss-Seidel
// sweeps of the linear least-squares problem
//   min sum over edges |u_j - T_ij^4 u_i|^2 + mu sum over vertices r_i^2 |u_i - 1|^2,
// with r the trust in the principal directions, whose value is 1 in each
// vertex's frame. Then one of the cross's two lines is chosen per vertex by
// growing a consistent choice from the most trusted vertex along the
// smoothest edges, so that the hatching does not flip between the principal
// directions where the mean curvature changes sign; each connected part
// keeps the choice that agrees with more of its leading principal
// directions. Last, the lines (z = e^(2 i phi)) get a few sweeps of the same
// smoothing, which spreads the unavoidable changes of line around the
// crosses' singularities over several edges.
//
// Every step is a pass over the vertices and their neighbours: time and
// memory grow linearly with the model.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <new>
#include <vector>

#include "core/ChangeStamp.h"
#include "core/ParallelHalves.h"
#include "curvature/SbCurvatureHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

namespace {

typedef std::complex<float> Complex;

const char* const kOutOfMemory = "SbFlowFieldHQ::%s: out of memory\n";

// Curvature below this, in units of 1 / (model size), counts as flat when
// judging how far the principal directions can be trusted.
const float kFlatCurvature = 0.25f;
// Below this trust a vertex is an umbilic for the turning measure, and free
// after the clean-up.
const float kUmbilicTrust = 0.2f;
// Weight of a fully trusted principal direction against the smoothness
// terms of one edge. Low enough that the few trusted vertices whose
// directions are noise give way to their neighbours.
const float kDataWeight = 2.0f;
// Gauss-Seidel sweeps after the cross field has been carried out (the
// carrying out leaves little for them to do), and over the chosen lines.
const int kSweeps = 4;
const int kLineSweeps = 3;
// The turn along an edge that measureTurning counts, in degrees.
const int kTurningLimit = 30;
// Buckets of the seeds' trust and of the growth of the line choice.
const int kLevels = 64;
// From this many vertices on, independent parts of the clean-up run on two threads.
const int kParallelVertices = 65536;

inline float dot(const SbVec3f& a, const SbVec3f& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline SbVec3f cross(const SbVec3f& a, const SbVec3f& b) {
  return SbVec3f(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}

inline float length(Complex z) { return std::sqrt(std::norm(z)); }

// Per-vertex frames in arrays: position, the current direction d and
// c = d x n. Angles in a frame are measured from d towards c.
struct Frames {
  std::vector<SbVec3f> position, d, c;
  std::vector<char> usable;  // the vertex has a unit normal (a tangent plane)

  void gather(const SbHeModelHQ& model, const std::vector<FlowRecord*>& records) {
    const std::size_t n = records.size();
    position.resize(n);
    d.resize(n);
    c.resize(n);
    usable.resize(n);
    for (std::size_t v = 0; v < n; ++v) {
      const HeVertex& vertex = *model.vertices[v];
      const float n2 = vertex.normal.sqrLength();
      usable[v] = n2 > 0.99f && n2 < 1.01f;
      position[v] = vertex.position;
      d[v] = records[v]->direction;
      c[v] = cross(d[v], vertex.normal);
    }
  }

  // Replaces d and c by the leading principal direction (as from() takes
  // it: the one of the larger curvature magnitude) where the estimate is
  // valid and the direction has a part in the tangent plane.
  void lead(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
    for (std::size_t v = 0; v < d.size(); ++v) {
      const CurvatureRecord& record = *curvature.record(static_cast<int>(v));
      if (record.degenerate || !usable[v]) continue;
      const SbVec3f& normal = model.vertices[v]->normal;
      const bool maxLeads = !((record.maxCurvature + record.minCurvature) < 0.0f);
      const SbVec3f& l = maxLeads ? record.maxDirection : record.minDirection;
      const SbVec3f t = l - normal * dot(l, normal);
      const float size = std::sqrt(dot(t, t));
      if (!(size > 1e-4f) || !std::isfinite(size)) continue;
      d[v] = t / size;
      c[v] = cross(d[v], normal);
    }
  }

  // The edge vector e from v to w seen in v's frame, unnormalised.
  Complex edgeIn(int v, const SbVec3f& e) const { return Complex(dot(e, d[v]), dot(e, c[v])); }
};

// The neighbours of every vertex, flattened: entries start[v] .. start[v + 1]
// of neighbour. Read off the triangles in their array order, which walks the
// model's records in memory order instead of chasing ring links: each
// triangle gives each corner the next corner as a neighbour, which meets
// every edge inside a surface from both sides; an edge along a border is met
// from one side only, and is added for the other end.
struct Neighbours {
  std::vector<int32_t> start;
  std::vector<int32_t> neighbour;

  void build(const SbHeModelHQ& model) {
    const int n = model.vertexCount();
    const std::size_t triangles = model.triangles.size();
    // The corners of triangle t as vertex indices; false for an unusable
    // triangle. Read again in each pass rather than kept: a copy would be
    // the largest array of the build.
    auto cornersOf = [&](std::size_t t, int32_t c[3]) {
      const HeTriangle& triangle = *model.triangles[t];
      for (int k = 0; k < 3; ++k) {
        const HeVertex* vertex = triangle.vertex[k];
        c[k] = vertex && vertex->index >= 0 && vertex->index < n ? vertex->index : -1;
      }
      return c[0] >= 0 && c[1] >= 0 && c[2] >= 0 && c[0] != c[1] && c[1] != c[2] && c[2] != c[0];
    };
    start.assign(n + 1, 0);
    int32_t c[3];
    for (std::size_t t = 0; t < triangles; ++t)
      if (cornersOf(t, c))
        for (int k = 0; k < 3; ++k) ++start[c[k] + 1];
    for (int v = 0; v < n; ++v) start[v + 1] += start[v];
    neighbour.resize(static_cast<std::size_t>(start[n]));
    {
      std::vector<int32_t> fill(start.begin(), start.end() - 1);
      for (std::size_t t = 0; t < triangles; ++t)
        if (cornersOf(t, c))
          for (int k = 0; k < 3; ++k) neighbour[fill[c[k]]++] = c[(k + 1) % 3];
    }
    // The preceding corner is a neighbour too; it is missing where the edge
    // between them lies on a border.
    std::vector<std::pair<int32_t, int32_t>> border;
    for (std::size_t t = 0; t < triangles; ++t) {
      if (!cornersOf(t, c)) continue;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = c[k], p = c[(k + 2) % 3];
        const int32_t* begin = &neighbour[start[v]];
        const int32_t* end = begin + (start[v + 1] - start[v]);
        if (std::find(begin, end, p) == end) border.emplace_back(v, p);
      }
    }
    std::sort(border.begin(), border.end());
    border.erase(std::unique(border.begin(), border.end()), border.end());
    // Each neighbour once (a non-manifold edge repeats one), with the border
    // ends merged in: in place when there are none.
    std::vector<int32_t> merged;
    if (!border.empty()) merged.reserve(neighbour.size() + border.size());
    std::vector<int32_t>& out = border.empty() ? neighbour : merged;
    std::size_t extra = 0, size = 0;
    int32_t read = 0;
    for (int v = 0; v < n; ++v) {
      const std::size_t own = size;
      auto add = [&](int32_t w) {
        if (std::find(out.begin() + own, out.begin() + size, w) != out.begin() + size) return;
        if (size < out.size())
          out[size] = w;
        else
          out.push_back(w);
        ++size;
      };
      for (; read < start[v + 1]; ++read) add(neighbour[read]);
      for (; extra < border.size() && border[extra].first == v; ++extra) add(border[extra].second);
      start[v + 1] = static_cast<int32_t>(size);
    }
    out.resize(size);
    if (!border.empty()) neighbour.swap(merged);
  }
};

// The connection between v's frame and each neighbour's, per entry of the
// neighbour lists: a unit complex number R such that an angle phi in the
// neighbour's frame is phi + arg R in v's. The edge keeps its angle to a
// transported direction; it is seen at angle arg(e in v's frame) at v and
// arg(e in w's frame) at w. 0 for an edge without a tangent direction at
// either end.
void connections(const Neighbours& rings, const Frames& frames, std::vector<Complex>& into) {
  const int n = static_cast<int>(rings.start.size()) - 1;
  into.resize(rings.neighbour.size());
  parallelHalves(n, kParallelVertices, [&](std::size_t first, std::size_t last) {
    for (int v = static_cast<int>(first); v < static_cast<int>(last); ++v)
      for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
        const int w = rings.neighbour[j];
        const SbVec3f e = frames.position[w] - frames.position[v];
        const Complex here = frames.edgeIn(v, e), there = frames.edgeIn(w, e);
        const float scale = std::sqrt(std::norm(here) * std::norm(there));
        into[j] =
            scale > 1e-12f * dot(e, e) && std::isfinite(scale) ? here * std::conj(there) / scale : Complex(0.0f, 0.0f);
      }
  });
}

inline Complex square(Complex z) { return z * z; }

// Bucket queue of vertices by an integer priority 0 .. kLevels - 1, highest
// first, last in first out within a bucket.
class BucketQueue {
 public:
  BucketQueue() : buckets(kLevels) {}
  void push(int32_t v, int level) {
    buckets[level].push_back(v);
    if (level > top) top = level;
  }
  // False when empty.
  bool pop(int32_t& v) {
    while (top >= 0 && buckets[top].empty()) --top;
    if (top < 0) return false;
    v = buckets[top].back();
    buckets[top].pop_back();
    return true;
  }

 private:
  std::vector<std::vector<int32_t>> buckets;
  int top = -1;
};

int levelOf(float x) {  // x in [0, 1]
  const int l = static_cast<int>(x * kLevels);
  return l < 0 ? 0 : l >= kLevels ? kLevels - 1 : l;
}

}  // namespace

float SbFlowFieldHQ::flatCurvature(const SbHeModelHQ& model) {
  const float size = model.size();
  return size > 0.0f ? kFlatCurvature / size : 0.0f;
}

float SbFlowFieldHQ::trust(const CurvatureRecord& c, float flat) {
  if (c.degenerate) return 0.0f;
  const float k1 = c.maxCurvature, k2 = c.minCurvature;
  const float t = std::fabs(k1 - k2) / (std::fabs(k1) + std::fabs(k2) + flat);
  return std::isfinite(t) ? std::min(t, 1.0f) : 0.0f;
}

bool SbFlowFieldHQ::isUmbilic(float trustValue) { return !(trustValue >= kUmbilicTrust); }

std::string SbFlowFieldHQ::Turning::text() const {
  char line[120];
  if (edges > 0)
    std::snprintf(line, sizeof line, "field: %.1f%% of edges turn > %d deg (%d edges away from umbilics)",
                  100.0 * share(), kTurningLimit, edges);
  else
    std::snprintf(line, sizeof line, "field: no edges away from umbilics");
  return line;
}

SbFlowFieldHQ::Turning SbFlowFieldHQ::measureTurning(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) const {
  Turning result;
  if (!matches(model) || curvature.modelStamp != modelStamp || curvature.size() != size()) return result;
  const int n = size();
  const float flat = flatCurvature(model);
  std::vector<char> umbilic(n);
  for (int v = 0; v < n; ++v) umbilic[v] = isUmbilic(trust(*curvature.record(v), flat));
  // |delta| > limit (modulo pi) exactly when cos^2 delta < cos^2 limit.
  const double limit = std::cos(kTurningLimit * 3.14159265358979323846 / 180.0);
  const float cos2Limit = static_cast<float>(limit * limit);
  Neighbours rings;
  rings.build(model);
  // The edge vector e seen in v's frame (d, c = d x n), unnormalised; the
  // frames are not gathered into arrays, which would outweigh the lists.
  auto edgeIn = [&](int v, const SbVec3f& e) {
    const SbVec3f& d = records[v]->direction;
    return Complex(dot(e, d), dot(e, cross(d, model.vertices[v]->normal)));
  };
  for (int v = 0; v < n; ++v) {
    if (umbilic[v]) continue;
    // Each edge once, from its lower end. Both directions are taken in the
    // frames of the edge of the edge angle table: the same x along the edge
    // at both ends; the angle between them is that between (e.d, e.c) at
    // the two ends.
    for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
      const int w = rings.neighbour[j];
      if (w <= v || umbilic[w]) continue;
      const SbVec3f e = model.vertices[w]->position - model.vertices[v]->position;
      const Complex a = edgeIn(v, e), b = edgeIn(w, e);
      const float inner = (a * std::conj(b)).real();
      const float norms = std::norm(a) * std::norm(b);
      if (!(norms > 0.0f) || !std::isfinite(norms)) continue;
      ++result.edges;
      if (inner * inner < cos2Limit * norms) ++result.turning;
    }
  }
  return result;
}

void SbFlowFieldHQ::cleanUp(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
  if (!matches(model) || curvature.modelStamp != modelStamp || curvature.size() != size()) return;
  try {
    runCleanUp(model, curvature);
  } catch (const std::bad_alloc&) {
    std::printf(kOutOfMemory, "cleanUp");
  }
}

void SbFlowFieldHQ::runCleanUp(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
  const int n = size();
  if (n == 0) return;
  const float flat = flatCurvature(model);

  Frames frames;
  std::vector<float> r(n), lead(n);
  Neighbours rings;
  // The frames and the neighbour lists read the model only: on large models
  // the lists are built on a second thread.
  auto prepareFrames = [&] {
    frames.gather(model, records);
    frames.lead(model, curvature);
    // Trust, and how clearly the leading principal direction leads (the one
    // of the larger curvature magnitude): |k1 + k2| / (|k1| + |k2| + flat),
    // weighted by the trust; 0 on a symmetric saddle, where neither leads.
    for (int v = 0; v < n; ++v) {
      const CurvatureRecord& c = *curvature.record(v);
      r[v] = frames.usable[v] ? trust(c, flat) : 0.0f;
      lead[v] = r[v] * std::fabs(c.maxCurvature + c.minCurvature) /
                (std::fabs(c.maxCurvature) + std::fabs(c.minCurvature) + flat);
      if (!std::isfinite(lead[v])) lead[v] = 0.0f;
    }
  };
  parallelPair(n >= kParallelVertices, prepareFrames, [&] { rings.build(model); });
  std::vector<Complex> into;  // per neighbour entry: its frame turned into this one
  connections(rings, frames, into);

  // Vertices from the most trusted to the least (a counting sort by level),
  // for picking seeds.
  std::vector<int32_t> byTrust(n);
  {
    std::vector<int32_t> first(kLevels + 1, 0);
    for (int v = 0; v < n; ++v) ++first[kLevels - levelOf(r[v])];
    for (int l = 0; l < kLevels; ++l) first[l + 1] += first[l];
    for (int v = 0; v < n; ++v) byTrust[first[kLevels - 1 - levelOf(r[v])]++] = v;
  }

  // The cross field u = e^(4 i phi) per vertex. The data is the leading
  // principal direction, angle 0 of each trusted vertex's frame, so its
  // value is 1. u = 0 marks a vertex the field has not reached yet.
  std::vector<Complex> u(n, Complex(0.0f, 0.0f));
  std::vector<int32_t> order;
  order.reserve(n);
  for (int v = 0; v < n; ++v)
    if (!isUmbilic(r[v])) {
      u[v] = Complex(1.0f, 0.0f);
      order.push_back(v);
    }
  // Carry the field out breadth-first: a vertex takes the mean of its
  // reached neighbours, each turned into its frame (R^4 u). A part without any
  // trusted vertex starts from its most trusted one.
  std::vector<char> reached(n, 0);
  for (int v : order) reached[v] = 1;
  std::size_t head = 0;
  for (int next = 0;;) {
    while (head < order.size()) {
      const int v = order[head++];
      for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
        const int w = rings.neighbour[j];
        if (reached[w]) continue;
        reached[w] = 1;
        Complex sum(0.0f, 0.0f);
        for (int32_t k = rings.start[w]; k < rings.start[w + 1]; ++k) {
          const Complex x = u[rings.neighbour[k]];
          const float size = length(x);
          if (size > 0.0f) sum += square(square(into[k])) * x / size;
        }
        const float size = length(sum);
        u[w] = size > 0.0f ? sum / size : Complex(1.0f, 0.0f);
        order.push_back(w);
      }
    }
    if (static_cast<int>(order.size()) == n) break;
    while (reached[byTrust[next]]) ++next;
    const int seed = byTrust[next];
    reached[seed] = 1;
    u[seed] = Complex(1.0f, 0.0f);
    order.push_back(seed);
  }

  // Gauss-Seidel on the normal equations, in the order the field spread.
  for (int sweep = 0; sweep < kSweeps; ++sweep)
    for (int v : order) {
      const float data = kDataWeight * r[v] * r[v];
      Complex sum(data, 0.0f);
      float weight = data;
      for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
        sum += square(square(into[j])) * u[rings.neighbour[j]];
        weight += 1.0f;
      }
      if (weight > 0.0f) u[v] = sum / weight;
    }

  // The two lines of each cross are at angles alpha and alpha + pi / 2 with
  // 4 alpha = arg u, alpha in (-pi / 4, pi / 4]; line k is kept as
  // e^(2 i (alpha + k pi / 2)) = (-1)^k e^(2 i alpha), e2 below, the
  // principal square root of u / |u|. u becomes a unit number.
  std::vector<Complex> e2(n);
  for (int v = 0; v < n; ++v) {
    const float size = length(u[v]);
    u[v] = size > 0.0f && std::isfinite(size) ? u[v] / size : Complex(1.0f, 0.0f);
    // The principal square root of a unit number, by half angles.
    const float x = u[v].real(), y = u[v].imag();
    e2[v] = Complex(std::sqrt(std::max(0.0f, 0.5f * (1.0f + x))),
                    std::copysign(std::sqrt(std::max(0.0f, 0.5f * (1.0f - x))), y));
  }

  // Choose one line per vertex. The choice grows from the most trusted
  // vertex of each part along its smoothest, most trusted edges (a bucket
  // queue on cos 4 beta, beta the angle between the two crosses, scaled by
  // the trust), so that the lines are made to meet where the cross field
  // turns most, around its singularities, and not across trusted regions;
  // each vertex takes the line that agrees best with its chosen neighbours.
  std::vector<signed char> sign(n, 0);   // +1 line 0, -1 line 1, 0 not chosen
  std::vector<signed char> best(n, -1);  // highest level a vertex was queued at
  std::vector<int32_t> part(n, -1);
  std::vector<double> vote;  // per part: agreement with the leading directions
  BucketQueue queue;
  for (int next = 0;; ++next) {
    while (next < n && sign[byTrust[next]] != 0) ++next;
    if (next == n) break;
    const int current = static_cast<int>(vote.size());
    vote.push_back(0.0);
    queue.push(byTrust[next], kLevels - 1);
    int32_t v;
    while (queue.pop(v)) {
      if (sign[v] != 0) continue;
      // Agreement of line 0 with the neighbours' chosen lines seen in v's
      // frame: sum of cos 2 (difference); line 1 has the opposite sign.
      float agree = 0.0f;
      for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
        const int w = rings.neighbour[j];
        if (sign[w] != 0) agree += sign[w] * (e2[v] * std::conj(square(into[j]) * e2[w])).real();
      }
      sign[v] = agree < 0.0f ? -1 : 1;
      part[v] = current;
      // cos 2 (chosen angle) against the leading direction, angle 0.
      vote[current] += lead[v] * sign[v] * e2[v].real();
      for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
        const int w = rings.neighbour[j];
        if (sign[w] != 0) continue;
        const float smooth = (u[v] * std::conj(square(square(into[j])) * u[w])).real();
        const int l = levelOf(0.5f * (smooth + 1.0f) * (0.5f + 0.5f * std::min(r[v], r[w])));
        if (l <= best[w]) continue;
        best[w] = static_cast<signed char>(l);
        queue.push(w, l);
      }
    }
  }

  // Each part keeps the choice, or its opposite, whichever agrees with more
  // of the leading directions. The lines z = e^(2 i angle) are then relaxed
  // like the crosses, holding on to the trusted ones: where the line choice
  // had to change over (around the crosses' singularities, inside umbilic
  // regions) the quarter turn spreads over a few edges.
  std::vector<Complex> z(n);
  for (int v = 0; v < n; ++v) {
    if (sign[v] != 0 && vote[part[v]] < 0.0) sign[v] = static_cast<signed char>(-sign[v]);
    z[v] = (sign[v] < 0 ? -1.0f : 1.0f) * e2[v];
  }
  for (int sweep = 0; sweep < kLineSweeps; ++sweep)
    for (int v : order) {
      const float data = kDataWeight * r[v] * r[v];
      Complex sum = (sign[v] < 0 ? -data : data) * e2[v];
      float weight = data;
      for (int32_t j = rings.start[v]; j < rings.start[v + 1]; ++j) {
        sum += square(into[j]) * z[rings.neighbour[j]];
        weight += 1.0f;
      }
      if (weight > 0.0f) z[v] = sum / weight;
    }

  bool changed = false;
  for (int v = 0; v < n; ++v) {
    FlowRecord& rec = *records[v];
    const bool trusted = !isUmbilic(r[v]);
    const float size = length(z[v]);
    if (frames.usable[v] && sign[v] != 0 && size > 0.0f && std::isfinite(size)) {
      // cos a and sin a of the line's angle a, 2 a = arg z, by half angles.
      const float cos2 = z[v].real() / size, sin2 = z[v].imag() / size;
      const float x = std::sqrt(std::max(0.0f, 0.5f * (1.0f + cos2)));
      const float y = std::copysign(std::sqrt(std::max(0.0f, 0.5f * (1.0f - cos2))), sin2);
      SbVec3f turned = frames.d[v] * x + frames.c[v] * y;
      const float turnedSize = turned.length();
      if (turnedSize > 0.5f && std::isfinite(turnedSize)) {
        turned /= turnedSize;
        if (!(turned == rec.direction)) changed = true;
        rec.direction = turned;
        rec.cross = cross(turned, model.vertices[v]->normal);
      }
    }
    rec.locked = trusted;
  }
  if (changed) stamp = drawChangeStamp();
}
