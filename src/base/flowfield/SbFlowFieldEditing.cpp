// Optimisation and editing of the flow field: a global smoothing that finds
// one rotation angle per free vertex with L-BFGS-B (Byrd, Lu, Nocedal, Zhu),
// a Jacobi averaging step, the choice between the two principal directions,
// a uniform rotation, and the selections that set the lock flags.

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/ChangeStamp.h"
#include "core/ProgressMeter.h"
#include "curvature/SbCurvatureHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

// L-BFGS-B 3.0, reverse communication; the two trailing arguments are the
// lengths of the character arguments task and csave.
extern "C" void setulb_(int* n, int* m, double* x, double* l, double* u, int* nbd, double* f, double* g, double* factr,
                        double* pgtol, double* wa, int* iwa, char* task, int* iprint, char* csave, int* lsave,
                        int* isave, double* dsave, size_t task_len, size_t csave_len);

namespace {

const char* const kOptimizeFailed = "SbFlowFieldHQ::optimize: l-bfgs-b failed!\n";
const char* const kOptimizeSummary = "SbFlowFieldHQ::optimize: %i iterations, %.1f -> %.1f\n";
const char* const kSelectLabel = "SbFlowFieldHQ::select";
const char* const kOutOfMemory = "SbFlowFieldHQ::%s: out of memory\n";

const double kPi = 3.14159265358979323846;
const float kAngleEpsilon = 1e-6f;
// A ring walk on a well-formed model ends at null or at its first half-edge;
// this bound only guards against malformed links.
const int kRingBound = 1 << 24;

template <class Visit>
void forRing(const HeVertex* vertex, Visit visit) {
  const HalfEdge* first = vertex ? vertex->halfEdge : nullptr;
  if (!first) return;
  const HalfEdge* h = first;
  int count = 0;
  do {
    visit(h);
    h = h->ring();
  } while (h && h != first && ++count < kRingBound);
}

// Set of undirected edges, keyed by their two vertex indices, emptied in time
// proportional to what it holds.
class EdgeKeySet {
 public:
  void clear() {
    for (std::size_t i : used) keys[i] = 0;
    used.clear();
  }
  // False when the edge is already in the set.
  bool insert(int32_t a, int32_t b) {
    if (a > b) std::swap(a, b);
    const uint64_t key = ((static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b)) + 1;
    if (2 * (used.size() + 1) > keys.size()) grow();
    for (std::size_t i = slotOf(key);; i = (i + 1) & mask) {
      if (keys[i] == key) return false;
      if (keys[i] == 0) {
        keys[i] = key;
        used.push_back(i);
        return true;
      }
    }
  }

 private:
  std::size_t slotOf(uint64_t key) const { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift); }
  void grow() {
    std::vector<uint64_t> held;
    held.reserve(used.size());
    for (std::size_t i : used) held.push_back(keys[i]);
    std::size_t capacity = keys.empty() ? 64 : 2 * keys.size();
    int bits = 0;
    while ((std::size_t(1) << bits) < capacity) ++bits;
    keys.assign(capacity, 0);
    mask = capacity - 1;
    shift = 64 - bits;
    used.clear();
    for (uint64_t key : held) {
      std::size_t i = slotOf(key);
      while (keys[i]) i = (i + 1) & mask;
      keys[i] = key;
      used.push_back(i);
    }
  }

  std::vector<uint64_t> keys;  // 0 marks a free slot
  std::vector<std::size_t> used;
  std::size_t mask = 0;
  int shift = 64;
};

}  // namespace

// ---------------------------------------------------------------- cost

void SbFlowFieldHQ::costTerms(const SbHeModelHQ& model, const EdgeAngleTable& table, FlowCostTerms& terms) const {
  const int n = size();
  terms.vertexToFree.assign(n, -1);
  terms.freeToVertex.clear();
  for (int i = 0; i < n; ++i)
    if (!records[i]->locked) {
      terms.vertexToFree[i] = static_cast<int32_t>(terms.freeToVertex.size());
      terms.freeToVertex.push_back(i);
    }
  terms.ringStart.assign(1, 0);
  terms.neighbour.clear();
  terms.cos2Delta.clear();
  terms.sin2Delta.clear();
  for (int32_t v : terms.freeToVertex) {
    forRing(model.vertices[v], [&](const HalfEdge* h) {
      const HeVertex* end = h->end;
      if (!end || end->index < 0 || end->index >= n) return;
      terms.neighbour.push_back(terms.vertexToFree[end->index]);
      const double delta = table.value(h);
      terms.cos2Delta.push_back(std::cos(2.0 * delta));
      terms.sin2Delta.push_back(std::sin(2.0 * delta));
    });
    terms.ringStart.push_back(static_cast<int32_t>(terms.neighbour.size()));
  }
}

double SbFlowFieldHQ::evaluateCost(const FlowCostTerms& terms, double lambda, const double* x, double* g) {
  const int n = terms.variableCount();
  // With c = cos 2x, s = sin 2x per vertex (1 and 0 for a locked one), the
  // angles of every term follow from sums of products, so an evaluation needs
  // one sine and cosine per variable instead of per ring entry:
  //   cos 2D = c_W c_V + s_W s_V,  sin 2D = s_W c_V - c_W s_V,
  //   cos 2(delta - D) = cos 2delta cos 2D + sin 2delta sin 2D,
  //   sin 2(delta - D) = sin 2delta cos 2D - cos 2delta sin 2D.
  std::vector<double>& c = terms.cos2x;
  std::vector<double>& s = terms.sin2x;
  c.resize(n);
  s.resize(n);
  for (int k = 0; k < n; ++k) {
    c[k] = std::cos(2.0 * x[k]);
    s[k] = std::sin(2.0 * x[k]);
    g[k] = 0.0;
  }
  double f = 0.0;
  const int32_t* start = terms.ringStart.data();
  const int32_t* neighbour = terms.neighbour.data();
  const double* cd = terms.cos2Delta.data();
  const double* sd = terms.sin2Delta.data();
  for (int k = 0; k < n; ++k) {
    const double cv = c[k], sv = s[k];
    double gk = 0.0;
    for (int32_t j = start[k]; j < start[k + 1]; ++j) {
      const int32_t w = neighbour[j];
      const double cw = w >= 0 ? c[w] : 1.0, sw = w >= 0 ? s[w] : 0.0;
      const double cos2D = cw * cv + sw * sv, sin2D = sw * cv - cw * sv;
      const double cosE = cd[j] * cos2D + sd[j] * sin2D;
      const double sinE = sd[j] * cos2D - cd[j] * sin2D;
      // T = lambda (1 + cos 2D) + (1 + cos 2(delta - D)); F -= T.
      // dT/dD = 2 sin 2(delta - D) - 2 lambda sin 2D, and dD/dx(V) = -1,
      // dD/dx(end) = +1, so V gains dT/dD and a free end loses it: an edge
      // between two free vertices thus enters the gradient through both
      // rings, as it enters F.
      const double t = lambda * (1.0 + cos2D) + (1.0 + cosE);
      const double dT = 2.0 * sinE - 2.0 * lambda * sin2D;
      f -= t;
      gk += dT;
      if (w >= 0) g[w] -= dT;
    }
    g[k] += gk;
  }
  return f;
}

// ---------------------------------------------------------------- optimize

void SbFlowFieldHQ::optimize(const SbHeModelHQ& model, float lambda) {
  if (!matches(model)) return;
  try {
    runOptimize(model, lambda);
  } catch (const std::bad_alloc&) {
    std::printf(kOutOfMemory, "optimize");
  }
}

void SbFlowFieldHQ::runOptimize(const SbHeModelHQ& model, float lambdaValue) {
  int n = 0;
  for (const FlowRecord* r : records)
    if (!r->locked) ++n;
  if (n == 0) return;
  const double lambda = std::isfinite(lambdaValue) ? lambdaValue : 0.0;

  FlowCostTerms terms;
  {  // the table is not needed once the rings are flattened
    EdgeAngleTable table;
    buildEdgeAngles(model, table);
    costTerms(model, table, terms);
  }

  int m = 8;
  std::vector<double> x(n, 0.0), g(n, 0.0), lower(n, 0.0), upper(n, 0.0);
  std::vector<int> bounds(n, 0);  // unbounded
  // Workspace of release 3.0.
  std::vector<double> wa(static_cast<std::size_t>(2 * m + 5) * n + 11 * m * m + 8 * m);
  std::vector<int> iwa(3 * static_cast<std::size_t>(n));
  char task[60], csave[60];
  std::memset(task, ' ', sizeof task);
  std::memcpy(task, "START", 5);
  std::memset(csave, ' ', sizeof csave);
  int lsave[4] = {0, 0, 0, 0};
  int isave[44] = {0};
  double dsave[29] = {0.0};
  double factr = 1e7, pgtol = 0.0;
  int iprint = -1;  // the library prints nothing of its own

  double f = evaluateCost(terms, lambda, x.data(), g.data());
  const double f0 = f;
  double fLast = f;
  int evaluations = 1;
  for (;;) {
    setulb_(&n, &m, x.data(), lower.data(), upper.data(), bounds.data(), &f, g.data(), &factr, &pgtol, wa.data(),
            iwa.data(), task, &iprint, csave, lsave, isave, dsave, 60, 60);
    if (task[0] == 'F') {
      if (evaluations >= kMaxEvaluations) break;
      f = evaluateCost(terms, lambda, x.data(), g.data());
      ++evaluations;
      fLast = f;
      if (!std::isfinite(f)) {
        std::printf("%s", kOptimizeFailed);
        break;
      }
      continue;
    }
    if (task[0] == 'N') {
      if (isave[29] >= kMaxEvaluations) break;
      continue;
    }
    if (task[0] == 'C') break;
    std::printf("%s", kOptimizeFailed);
    break;
  }

  bool turned = false;
  for (int k = 0; k < n; ++k) {
    const double angle = x[k];
    if (!std::isfinite(angle) || !(std::fabs(angle) > 1e-6)) continue;
    const int32_t v = terms.freeToVertex[k];
    if (turn(*records[v], model.vertices[v]->normal, static_cast<float>(angle))) turned = true;
  }
  if (turned) {
    stamp = drawChangeStamp();
    std::printf(kOptimizeSummary, isave[29], f0, fLast);
  }
}

// ---------------------------------------------------------------- relax, unify, rotate

void SbFlowFieldHQ::relax(const SbHeModelHQ& model) {
  if (!matches(model)) return;
  try {
    const int n = size();
    std::vector<float> a(n, 0.0f);
    for (int i = 0; i < n; ++i) {
      if (records[i]->locked) continue;
      float sum = 0.0f;
      int count = 0;
      forRing(model.vertices[i], [&](const HalfEdge* h) {
        sum += edgeAngle(h);
        ++count;
      });
      if (count > 0) a[i] = sum / count;
    }
    bool turned = false;
    for (int i = 0; i < n; ++i)
      if (std::fabs(a[i]) > kAngleEpsilon && turn(*records[i], model.vertices[i]->normal, -a[i])) turned = true;
    if (turned) stamp = drawChangeStamp();
  } catch (const std::bad_alloc&) {
    std::printf(kOutOfMemory, "relax");
  }
}

double SbFlowFieldHQ::vertexCost(const HeVertex* vertex, const EdgeAngleTable& table,
                                 const std::vector<double>& angles) {
  if (!vertex || vertex->index < 0 || static_cast<std::size_t>(vertex->index) >= angles.size()) return 0.0;
  const double av = angles[vertex->index];
  double cost = 0.0;
  forRing(vertex, [&](const HalfEdge* h) {
    const HeVertex* end = h->end;
    const double aw =
        end && end->index >= 0 && static_cast<std::size_t>(end->index) < angles.size() ? angles[end->index] : 0.0;
    cost -= 1.0 + std::cos(2.0 * (table.value(h) - (aw - av)));
  });
  return cost;
}

void SbFlowFieldHQ::unify(const SbHeModelHQ& model) {
  if (!matches(model)) return;
  try {
    EdgeAngleTable table;
    buildEdgeAngles(model, table);
    const int n = size();
    std::vector<double> a(n, 0.0);
    for (int i = 0; i < n; ++i) {
      if (records[i]->locked) continue;
      const HeVertex* v = model.vertices[i];
      const double c0 = vertexCost(v, table, a);
      a[i] = 0.5 * kPi;
      const double c1 = vertexCost(v, table, a);
      if (c0 <= c1) a[i] = 0.0;
    }
    bool swapped = false;
    for (int i = 0; i < n; ++i)
      if (a[i] > 1e-6) {
        std::swap(records[i]->direction, records[i]->cross);
        swapped = true;
      }
    if (swapped) stamp = drawChangeStamp();
  } catch (const std::bad_alloc&) {
    std::printf(kOutOfMemory, "unify");
  }
}

void SbFlowFieldHQ::rotate(const SbHeModelHQ& model, float angleDegrees) {
  if (!std::isfinite(angleDegrees) || !(std::fabs(angleDegrees) >= kAngleEpsilon)) return;
  if (!matches(model)) return;
  const float radians = static_cast<float>(angleDegrees * kPi / 180.0);
  bool anyFree = false;
  for (int i = 0; i < size(); ++i) {
    if (records[i]->locked) continue;
    anyFree = true;
    turn(*records[i], model.vertices[i]->normal, radians);
  }
  if (anyFree) stamp = drawChangeStamp();
}

// ---------------------------------------------------------------- selection

void SbFlowFieldHQ::select(const SbHeModelHQ& model, const SbCurvatureHQ& curvature, int mode, float tolerance,
                           float radius) {
  if (!matches(model) || curvature.modelStamp != modelStamp) return;
  try {
    runSelect(model, curvature, mode, tolerance, radius);
  } catch (const std::bad_alloc&) {
    std::printf(kOutOfMemory, "select");
  }
}

void SbFlowFieldHQ::runSelect(const SbHeModelHQ& model, const SbCurvatureHQ& curvature, int mode, float tolerance,
                              float radius) {
  switch (mode) {
    case SELECT_ALL:
      for (FlowRecord* r : records) r->locked = false;
      return;
    case SELECT_INVERSE:
      for (FlowRecord* r : records) r->locked = !r->locked;
      return;
    case SELECT_TENSION_GEODESIC: {
      EdgeAngleTable table;
      buildEdgeAngles(model, table);
      selectGeodesic(model, table, radius);
      break;
    }
    case SELECT_TENSION_NEIGHBOURS: {
      EdgeAngleTable table;
      buildEdgeAngles(model, table);
      for (int i = 0; i < size(); ++i) {
        float sum = 0.0f;
        forRing(model.vertices[i], [&](const HalfEdge* h) { sum += std::fabs(table.value(h)); });
        records[i]->score = sum;
      }
      break;
    }
    case SELECT_SHAPE_INDEX: {
      if (curvature.size() < size()) return;
      for (int i = 0; i < size(); ++i) {
        const CurvatureRecord& c = *curvature.record(i);
        float s = 0.0f;
        if (!c.degenerate) {
          const float k1 = c.maxCurvature, k2 = c.minCurvature;
          s = std::fabs(0.5f - std::fabs(std::atan2(k1 + k2, k1 - k2)) * static_cast<float>(2.0 / kPi));
          s = 1.0f - 2.0f * s;
          if (!std::isfinite(s)) s = 0.0f;
        }
        records[i]->score = 1.0f - s;
      }
      break;
    }
    default: return;
  }
  applyTolerance(tolerance);
}

void SbFlowFieldHQ::selectGeodesic(const SbHeModelHQ& model, const EdgeAngleTable& table, float radius) {
  const float R = radius * model.size();
  const float r2 = R * R;
  std::vector<const HeTriangle*> stack;
  EdgeKeySet visited;
  ProgressMeter meter;
  meter.begin(kSelectLabel, size());
  for (int i = 0; i < size(); ++i) {
    const HeVertex* v = model.vertices[i];
    stack.clear();
    visited.clear();
    forRing(v, [&](const HalfEdge* h) {
      if (h->triangle) stack.push_back(h->triangle);
    });
    double weights = 0.0, tension = 0.0;
    while (!stack.empty()) {
      const HeTriangle* triangle = stack.back();
      stack.pop_back();
      const HalfEdge* h = triangle->halfEdge;
      for (int k = 0; k < 3 && h; ++k, h = h->next) {
        const HeVertex* a = h->twin ? h->twin->end : nullptr;
        const HeVertex* b = h->end;
        if (!a || !b || !visited.insert(a->index, b->index)) continue;
        const float w = segmentInsideSphere(a->position, b->position, v->position, r2);
        if (w > 1e-6f) {
          if (h->twin->triangle) stack.push_back(h->twin->triangle);
          weights += w;
          tension += std::fabs(table.value(h)) * w;
        }
      }
    }
    records[i]->score = weights > 1e-6 ? static_cast<float>(tension / weights) : FLT_MAX;
    meter.step();
  }
  meter.end();
}

void SbFlowFieldHQ::applyTolerance(float tolerance) {
  if (records.empty()) return;
  float largest = records[0]->score;
  for (const FlowRecord* r : records)
    if (r->score > largest) largest = r->score;
  const float threshold = largest * tolerance;
  for (FlowRecord* r : records) r->locked = r->score < threshold;
}

float SbFlowFieldHQ::segmentInsideSphere(const SbVec3f& a, const SbVec3f& b, const SbVec3f& centre,
                                         float radiusSquared) {
  const float da = (centre - a).sqrLength();
  const float db = (centre - b).sqrLength();
  if (da <= radiusSquared && db <= radiusSquared) return 1.0f;
  const float length = (b - a).length();
  if (!(length > 0.0f)) return 0.0f;  // a point outside the sphere
  const SbVec3f u = (b - a) / length;
  const float s = (centre - a).dot(u);
  if (s < 0.0f && da > radiusSquared) return 0.0f;
  const float h2 = da - s * s;
  if (h2 > radiusSquared) return 0.0f;
  const float w = std::sqrt(radiusSquared - h2);
  float t0 = s - w;
  t0 = t0 < 0.0f ? 0.0f : (t0 > length ? length : t0);
  const float t1 = s + w;
  if (t1 < 0.0f) return -t0 / length;
  return ((t1 < length ? t1 : length) - t0) / length;
}
