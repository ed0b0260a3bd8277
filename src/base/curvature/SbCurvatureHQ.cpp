// Principal curvatures from a quadratic patch fitted to the one-ring by least
// squares: the neighbours are placed in a polar parameter plane (distance,
// fan angle stretched to a full turn), the patch's first and second
// derivatives give the two fundamental forms, and the principal parameter
// directions solve the generalised eigenproblem of the two forms.

#include "curvature/SbCurvatureHQ.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cstdio>
#include <cmath>
#include <exception>
#include <new>
#include <thread>

#include "core/ChangeStamp.h"
#include "core/ProgressMeter.h"
#include "mesh/SbHeModelHQ.h"

static_assert(sizeof(CurvatureRecord) == 36, "curvature records are 36 bytes");

TypedObjectPool<CurvatureRecord> SbCurvatureHQ::recordPool(nullptr);

namespace {

const char* const kFromLabel = "SbCurvatureHQ::from";
const double kTwoPi = 6.283185307179586;

// A Gram matrix (B^T B or B B^T) counts as singular when |det| is at most this
// fraction of the product of its diagonal (Hadamard's bound); B itself, whose
// Gram determinant is det(B)^2, at the square root of it.
const double kGramTolerance = 1e-10;
const double kSquareTolerance = 1e-5;
// A coefficient of the principal-direction quadratic vanishes when it is at
// most this fraction of the scale of the products that make it up.
const double kQuadraticTolerance = 1e-6;
// The first fundamental form is degenerate (Pu and Pv parallel, or one of them
// vanishing) when E G - F^2 is at most this fraction of ((E + G) / 2)^2.
const double kMetricTolerance = 1e-12;
// A vertex is flat when no neighbour stands further from its tangent plane
// than this fraction of the coordinates' magnitude (|P| plus the ring's
// reach): about 17 units in the last place of a float, above the rounding of
// positions and of the averaged normal, and far below the height kappa rho^2 / 2
// of any curvature a ring of that size can resolve.
const float kFlatTolerance = 2e-6f;

// Vertices below which from() does not start a second thread, and the block
// of vertices a thread takes at a time.
const int kParallelMinimum = 4096;
const int kBlock = 1024;
// Vertices whose rings are fetched ahead of the one being estimated.
const int kAhead = 8;

// Solves A Y = R (n x n, n <= 5, three right-hand sides) by Gaussian
// elimination with partial pivoting (pivot: the first row with the largest
// magnitude). Fails when a pivot is 0 or when |det A| <= tolerance * hadamard.
// A and R are overwritten.
bool solveSquare(double (*a)[5], double (*r)[3], int n, double hadamard, double tolerance, double (*y)[3]) {
  double* A[5];
  double* R[5];
  double inverse[5];
  for (int i = 0; i < n; ++i) {
    A[i] = a[i];
    R[i] = r[i];
  }
  double det = 1.0;
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(A[i][k]) > std::fabs(A[pivot][k])) pivot = i;
    if (pivot != k) {
      std::swap(A[pivot], A[k]);
      std::swap(R[pivot], R[k]);
    }
    const double p = A[k][k];
    if (p == 0.0) return false;
    det *= p;
    inverse[k] = 1.0 / p;
    for (int i = k + 1; i < n; ++i) {
      const double f = A[i][k] * inverse[k];
      for (int j = k + 1; j < n; ++j) A[i][j] -= f * A[k][j];
      for (int c = 0; c < 3; ++c) R[i][c] -= f * R[k][c];
    }
  }
  // Written so that NaN fails too.
  if (!(hadamard > 0.0) || !(std::fabs(det) > tolerance * hadamard)) return false;
  for (int k = n - 1; k >= 0; --k)
    for (int c = 0; c < 3; ++c) {
      double s = R[k][c];
      for (int j = k + 1; j < n; ++j) s -= A[k][j] * y[j][c];
      y[k][c] = s * inverse[k];
    }
  return true;
}

// Solves the symmetric system A Y = R (a Gram matrix, n <= 5, upper triangle
// and diagonal used) by an LDL^T factorisation. Fails unless A is positive
// definite with det A > tolerance * (product of its diagonal); the ratio is
// the product of d_k / A_kk, which cannot underflow.
bool solveGram(const double (*a)[5], const double (*r)[3], int n, double tolerance, double (*y)[3]) {
  double L[5][5], d[5], inverse[5];
  double ratio = 1.0;
  for (int k = 0; k < n; ++k) {
    double dk = a[k][k];
    for (int j = 0; j < k; ++j) dk -= L[k][j] * L[k][j] * d[j];
    if (!(a[k][k] > 0.0) || !(dk > 0.0)) return false;
    ratio *= dk / a[k][k];
    d[k] = dk;
    inverse[k] = 1.0 / dk;
    for (int i = k + 1; i < n; ++i) {
      double s = a[k][i];
      for (int j = 0; j < k; ++j) s -= L[i][j] * L[k][j] * d[j];
      L[i][k] = s * inverse[k];
    }
  }
  if (!(ratio > tolerance)) return false;
  double z[5][3];
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) {
      double s = r[i][c];
      for (int j = 0; j < i; ++j) s -= L[i][j] * z[j][c];
      z[i][c] = s;
    }
  for (int i = n - 1; i >= 0; --i)
    for (int c = 0; c < 3; ++c) {
      double s = z[i][c] * inverse[i];
      for (int j = i + 1; j < n; ++j) s -= L[j][i] * y[j][c];
      y[i][c] = s;
    }
  return true;
}

}  // namespace

SbCurvatureHQ::SbCurvatureHQ() : stamp(drawChangeStamp()), modelStamp(drawChangeStamp()) {}

SbCurvatureHQ::~SbCurvatureHQ() {
  for (CurvatureRecord* r : records) recordPool.giveBack(r);
}

void SbCurvatureHQ::clear() {
  for (CurvatureRecord* r : records) recordPool.giveBack(r);
  records.clear();
  stamp = drawChangeStamp();
  modelStamp = drawChangeStamp();
}

void SbCurvatureHQ::setThreadCount(int count) { threads = count < 1 ? 1 : count > 2 ? 2 : count; }

bool SbCurvatureHQ::fitPatch(const PatchRow* rows, int m, double X[5][3]) {
  if (m < 1 || !rows) return false;
  double a[5][5];
  double r[5][3];
  if (m > 5) {
    // Normal equations (B^T B) X = B^T D.
    for (int j = 0; j < 5; ++j) {
      for (int k = j; k < 5; ++k) a[j][k] = 0.0;
      for (int c = 0; c < 3; ++c) r[j][c] = 0.0;
    }
    for (int i = 0; i < m; ++i) {
      const double* b = rows[i].b;
      const double* d = rows[i].d;
      for (int j = 0; j < 5; ++j) {
        for (int k = j; k < 5; ++k) a[j][k] += b[j] * b[k];
        for (int c = 0; c < 3; ++c) r[j][c] += b[j] * d[c];
      }
    }
    return solveGram(a, r, 5, kGramTolerance, X);
  }
  if (m == 5) {
    double norm2[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 5; ++j) {
        a[i][j] = rows[i].b[j];
        norm2[j] += a[i][j] * a[i][j];
      }
      for (int c = 0; c < 3; ++c) r[i][c] = rows[i].d[c];
    }
    double hadamard = 1.0;
    for (int j = 0; j < 5; ++j) hadamard *= std::sqrt(norm2[j]);
    return solveSquare(a, r, 5, hadamard, kSquareTolerance, X);
  }
  // Minimum-norm solution X = B^T (B B^T)^-1 D.
  for (int i = 0; i < m; ++i) {
    for (int k = i; k < m; ++k) {
      double s = 0.0;
      for (int j = 0; j < 5; ++j) s += rows[i].b[j] * rows[k].b[j];
      a[i][k] = s;
    }
    for (int c = 0; c < 3; ++c) r[i][c] = rows[i].d[c];
  }
  double y[5][3];
  if (!solveGram(a, r, m, kGramTolerance, y)) return false;
  for (int j = 0; j < 5; ++j)
    for (int c = 0; c < 3; ++c) {
      double s = 0.0;
      for (int i = 0; i < m; ++i) s += rows[i].b[j] * y[i][c];
      X[j][c] = s;
    }
  return true;
}

void SbCurvatureHQ::fallback(const SbVec3f& normal, CurvatureRecord& record) {
  SbVec3f n = normal;
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  // A vertex without triangles has no normal; any orthonormal frame will do.
  if (!(length > 1e-6f) || !std::isfinite(length))
    n.setValue(0, 0, 1);
  else
    n /= length;
  const SbVec3f a = std::fabs(n[0]) > 0.999999f ? SbVec3f(0, 1, 0) : SbVec3f(1, 0, 0);
  SbVec3f maxDirection = n.cross(a);
  maxDirection.normalize();
  SbVec3f minDirection = n.cross(maxDirection);
  minDirection.normalize();
  record.maxDirection = maxDirection;
  record.minDirection = minDirection;
  record.maxCurvature = 0.0f;
  record.minCurvature = 0.0f;
  record.degenerate = true;
}

void SbCurvatureHQ::estimate(const HeVertex& vertex, int ringLimit, Scratch& scratch,
                             CurvatureRecord& record) noexcept {
  bool ok = false;
  try {
    ok = fitVertex(vertex, ringLimit, scratch, record);
  } catch (...) {  // only allocation of the scratch rows can fail
    ok = false;
  }
  if (!ok) fallback(vertex.normal, record);
}

void SbCurvatureHQ::estimateRange(const SbHeModelHQ& model, int begin, int end, int ringLimit, Scratch& scratch,
                                  CurvatureRecord* const* records) noexcept {
  // The rings are pointer chains spread over the model's pools; walking them
  // cold stalls on every link. Walk the rings of the next kAhead vertices one
  // link per vertex ahead of time, prefetching each half-edge and its end
  // vertex, so that a ring is in the cache when its vertex is estimated.
  const int n = model.vertexCount();
  const HalfEdge* cursor[kAhead] = {};
  const HalfEdge* first[kAhead] = {};
  auto start = [&](int j) {
    const int slot = j % kAhead;
    cursor[slot] = first[slot] = j < n ? model.vertices[j]->halfEdge : nullptr;
    if (cursor[slot]) __builtin_prefetch(cursor[slot]);
    if (j < n) __builtin_prefetch(records[j], 1);
  };
  for (int j = begin; j < begin + kAhead - 1 && j < end; ++j) start(j);
  for (int i = begin; i < end; ++i) {
    for (int k = 0; k < kAhead; ++k) {
      const HalfEdge* h = cursor[k];
      if (!h) continue;
      __builtin_prefetch(h->end);
      const HalfEdge* next = h->ring();
      cursor[k] = next == first[k] ? nullptr : next;
      if (cursor[k]) __builtin_prefetch(cursor[k]);
    }
    start(i + kAhead - 1);
    estimate(*model.vertices[i], ringLimit, scratch, *records[i]);
  }
}

bool SbCurvatureHQ::fitVertex(const HeVertex& vertex, int ringLimit, Scratch& scratch, CurvatureRecord& record) {
  // 1.-4. One walk around the ring, starting after the first half-edge: on a
  // closed ring it ends with the first one (t rows), on an open ring at the
  // missing link. This is the walk of at most t steps that counting the ring
  // first would bound; a walk longer than the model has half-edges means
  // broken links. Row 0 is the first neighbour itself at angle 0: it stands
  // for the closing row of a closed ring, and is dropped there; an open ring
  // keeps it, so a border vertex fits all its neighbours.
  const HalfEdge* first = vertex.halfEdge;
  if (!first || !first->end) return false;
  const float* P = vertex.position.getValue();
  const float* N = vertex.normal.getValue();
  if (scratch.rows.size() < 16) {
    scratch.rows.resize(16);
    scratch.angle.resize(16);
  }
  PatchRow* rows = scratch.rows.data();
  float* angle = scratch.angle.data();
  int capacity = static_cast<int>(scratch.rows.size());
  int m = 0;
  double angleSum = 0.0;
  // Height of the neighbours above the tangent plane, and their distances.
  float height = 0.0f, rhoMin = FLT_MAX, rhoMax = 0.0f;
  float prev[3] = {0.0f, 0.0f, 0.0f};
  bool closed = false;
  for (const HalfEdge* h = first; h; h = h->ring()) {
    if (!h->end || m >= ringLimit) return false;
    const float* E = h->end->position.getValue();
    const float d[3] = {E[0] - P[0], E[1] - P[1], E[2] - P[2]};
    const float rho = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(rho > 0.0f) || !std::isfinite(rho)) return false;
    const float inv = 1.0f / rho;
    const float e[3] = {d[0] * inv, d[1] * inv, d[2] * inv};
    float c = 1.0f;
    if (m > 0) {
      c = prev[0] * e[0] + prev[1] * e[1] + prev[2] * e[2];
      c = c > 1.0f ? 1.0f : c < -1.0f ? -1.0f : c;
    }
    const float alpha = m > 0 ? std::acos(c) : 0.0f;
    angleSum += alpha;
    if (m == capacity) {
      capacity *= 2;
      scratch.rows.resize(capacity);
      scratch.angle.resize(capacity);
      rows = scratch.rows.data();
      angle = scratch.angle.data();
    }
    angle[m] = alpha;
    PatchRow& row = rows[m++];
    row.b[0] = rho;  // the distance and the cosine of the angle, until the
    row.b[1] = c;    // parameters are known
    row.d[0] = d[0];
    row.d[1] = d[1];
    row.d[2] = d[2];
    prev[0] = e[0];
    prev[1] = e[1];
    prev[2] = e[2];
    height = std::max(height, std::fabs(d[0] * N[0] + d[1] * N[1] + d[2] * N[2]));
    rhoMin = std::min(rhoMin, rho);
    rhoMax = std::max(rhoMax, rho);
    if (m > 1 && h == first) {
      closed = true;
      break;
    }
  }
  if (closed) {  // the closing row repeats row 0
    ++rows;
    ++angle;
    --m;
  }
  if (m < 1 || !(angleSum > 0.0) || !std::isfinite(angleSum)) return false;

  // A vertex whose neighbours all lie in its tangent plane, up to the
  // rounding of the coordinates and of the normal, is flat whatever the
  // plane's orientation and the model's scale; its fit would only turn that
  // rounding into curvature directions.
  const float reach = std::max(std::fabs(P[0]), std::max(std::fabs(P[1]), std::fabs(P[2]))) + rhoMax;
  if (!(height > kFlatTolerance * reach)) return false;

  // 5. Polar map. A closed ring is stretched to a full turn: theta_i =
  // stretch * (alpha_0 + ... + alpha_i). An open ring keeps its true angles:
  // stretching the half turn of a straight border to a full one would put its
  // two border neighbours, which lie on opposite sides, on the same ray, and
  // the fitted metric would nearly vanish. (cos theta_i, sin theta_i) is kept
  // as the running product of the unit turns e^(i alpha_j stretch) =
  // e^(i alpha_j) e^(i alpha_j (stretch - 1)): the first factor is (c_j,
  // sqrt(1 - c_j^2)) from the dot product, the second is near 1 on a ring
  // whose angles nearly fill a turn and then comes from its power series.
  const double excess = closed ? kTwoPi / angleSum - 1.0 : 0.0;
  double zr = 1.0, zi = 0.0;
  for (int i = 0; i < m; ++i) {
    double* b = rows[i].b;
    const double rho = b[0], ca = b[1];
    const double sa = std::sqrt(std::max(0.0, 1.0 - ca * ca));
    const double epsilon = angle[i] * excess;
    double ce, se;
    if (std::fabs(epsilon) <= 1e-3) {
      // The usual case. Truncation error below 1e-18 / 6! .
      const double e2 = epsilon * epsilon;
      ce = 1.0 + e2 * (-1.0 / 2 + e2 * (1.0 / 24));
      se = epsilon * (1.0 + e2 * (-1.0 / 6 + e2 * (1.0 / 120)));
    } else if (std::fabs(epsilon) <= 0.25) {
      // Truncation error below 0.25^12 / 12! < 1e-16.
      const double e2 = epsilon * epsilon;
      ce = 1.0 + e2 * (-1.0 / 2 +
                       e2 * (1.0 / 24 +
                             e2 * (-1.0 / 720 + e2 * (1.0 / 40320 + e2 * (-1.0 / 3628800 + e2 * (1.0 / 479001600))))));
      se = epsilon * (1.0 + e2 * (-1.0 / 6 + e2 * (1.0 / 120 +
                                                   e2 * (-1.0 / 5040 + e2 * (1.0 / 362880 + e2 * (-1.0 / 39916800))))));
    } else {
      ce = std::cos(epsilon);
      se = std::sin(epsilon);
    }
    const double wr = ca * ce - sa * se, wi = ca * se + sa * ce;
    const double nr = zr * wr - zi * wi, ni = zr * wi + zi * wr;
    zr = nr;
    zi = ni;
    const double u = rho * zr, v = rho * zi;
    b[0] = u;
    b[1] = v;
    b[2] = 0.5 * u * u;
    b[3] = u * v;
    b[4] = 0.5 * v * v;
  }

  // 6. Fit.
  double X[5][3];
  if (!fitPatch(rows, m, X)) return false;

  // 7. Fundamental forms.
  SbVec3f deriv[5];
  for (int j = 0; j < 5; ++j)
    deriv[j].setValue(static_cast<float>(X[j][0]), static_cast<float>(X[j][1]), static_cast<float>(X[j][2]));
  const float* n = vertex.normal.getValue();
  auto dot = [](const SbVec3f& a, const float* b) {
    return static_cast<double>(a[0]) * b[0] + static_cast<double>(a[1]) * b[1] + static_cast<double>(a[2]) * b[2];
  };
  const SbVec3f &Pu = deriv[0], &Pv = deriv[1];
  const double E = dot(Pu, Pu.getValue()), F = dot(Pu, Pv.getValue()), G = dot(Pv, Pv.getValue());
  const double e = dot(deriv[2], n), f = dot(deriv[3], n), g = dot(deriv[4], n);
  if (!std::isfinite(E) || !std::isfinite(F) || !std::isfinite(G) || !std::isfinite(e) || !std::isfinite(f) ||
      !std::isfinite(g))
    return false;
  const double halfTrace = 0.5 * (E + G);
  if (!(E * G - F * F > kMetricTolerance * halfTrace * halfTrace)) return false;

  // 8. Principal parameter directions (1, lambda):
  //    a lambda^2 + b lambda + c = 0.
  const double a = g * F - f * G, b = g * E - e * G, c = f * E - e * F;
  const double tolerance = kQuadraticTolerance * (E + G) * (std::fabs(e) + std::fabs(f) + std::fabs(g));
  auto curvatureAt = [&](double lambda, double& kappa) {
    const double den = E + 2.0 * F * lambda + G * lambda * lambda;
    if (!(den > 0.0)) return false;
    kappa = -(e + 2.0 * f * lambda + g * lambda * lambda) / den;
    return std::isfinite(kappa);
  };
  double dir1[3], dir2[3];
  double k1, k2;
  if (std::fabs(a) > tolerance) {
    const double p = b / (2.0 * a), q = c / a;
    const double disc = p * p - q;
    const double s = disc >= 0.0 ? std::sqrt(disc) : 0.0;
    const double l1 = -p + s, l2 = -p - s;
    if (!curvatureAt(l1, k1) || !curvatureAt(l2, k2)) return false;
    for (int i = 0; i < 3; ++i) {
      dir1[i] = Pu[i] + l1 * Pv[i];
      dir2[i] = Pu[i] + l2 * Pv[i];
    }
  } else if (std::fabs(b) > tolerance) {
    // The quadratic term vanishes: one root went to infinity, so Pv itself is
    // a principal direction (e.g. a cylinder parameterised along its axis);
    // the other is the linear root.
    const double l1 = -c / b;
    if (!curvatureAt(l1, k1)) return false;
    k2 = -g / G;
    if (!std::isfinite(k2)) return false;
    for (int i = 0; i < 3; ++i) {
      dir1[i] = Pu[i] + l1 * Pv[i];
      dir2[i] = Pv[i];
    }
  } else {
    // All coefficients vanish (an umbilic or a flat vertex), or only the
    // constant one is left and no direction solves the equation.
    return false;
  }

  // 9. Order by curvature.
  SbVec3f v1, v2;
  for (double* dir : {dir1, dir2}) {
    const double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (!(len > 0.0) || !std::isfinite(len)) return false;
    for (int i = 0; i < 3; ++i) dir[i] /= len;
  }
  v1.setValue(static_cast<float>(dir1[0]), static_cast<float>(dir1[1]), static_cast<float>(dir1[2]));
  v2.setValue(static_cast<float>(dir2[0]), static_cast<float>(dir2[1]), static_cast<float>(dir2[2]));
  // A circle through the vertex and a neighbour at distance rho has
  // curvature at most 2 / rho: a larger value is not resolved by the ring
  // (creases, slivers, few border neighbours) and is bounded there.
  const double bound = 2.0 / rhoMin;
  k1 = std::max(-bound, std::min(bound, k1));
  k2 = std::max(-bound, std::min(bound, k2));
  const float c1 = static_cast<float>(k1), c2 = static_cast<float>(k2);
  if (!std::isfinite(c1) || !std::isfinite(c2)) return false;
  if (c1 < c2) {
    record.maxCurvature = c2;
    record.maxDirection = v2;
    record.minCurvature = c1;
    record.minDirection = v1;
  } else {
    record.maxCurvature = c1;
    record.maxDirection = v1;
    record.minCurvature = c2;
    record.minDirection = v2;
  }
  record.degenerate = false;
  return true;
}

void SbCurvatureHQ::from(const SbHeModelHQ& model) {
  clear();
  const int n = model.vertexCount();
  try {
    records.reserve(static_cast<size_t>(n));
  } catch (const std::exception&) {
    std::printf("%s: out of memory!\n", kFromLabel);
    modelStamp = model.stamp;
    stamp = drawChangeStamp();
    return;
  }
  // Records in vertex order, from the main thread: the pool is not shared.
  // One block for all of them where it can be had.
  recordPool.reserve(n);
  for (int i = 0; i < n; ++i) {
    CurvatureRecord* r = recordPool.take();
    if (!r) {
      clear();
      modelStamp = model.stamp;
      return;
    }
    records.push_back(r);
  }

  // No walk around a vertex can meet more half-edges than the model has.
  const int ringLimit = model.halfEdgeCount() + 1;
  ProgressMeter meter;
  const bool metered = n > 0 && meter.begin(kFromLabel, n);
  int stepped = 0;
  auto stepTo = [&](int count) {
    for (; stepped < count; ++stepped)
      if (metered) meter.step();
  };

  std::thread worker;
  std::atomic<int> nextBlock{0};
  std::atomic<int> completed{0};
  const int blocks = (n + kBlock - 1) / kBlock;
  // Takes blocks until none is left; the main thread also steps the meter.
  auto work = [&](Scratch& scratch, bool main) {
    for (;;) {
      const int block = nextBlock.fetch_add(1, std::memory_order_relaxed);
      if (block >= blocks) return;
      const int begin = block * kBlock, end = begin + kBlock < n ? begin + kBlock : n;
      estimateRange(model, begin, end, ringLimit, scratch, records.data());
      const int done = completed.fetch_add(end - begin, std::memory_order_relaxed) + end - begin;
      if (main) stepTo(done);
    }
  };
  if (threads > 1 && n >= kParallelMinimum) {
    try {
      worker = std::thread([&work] {
        Scratch scratch;
        work(scratch, false);
      });
    } catch (const std::exception&) {
      // No second thread: the main thread takes every block.
    }
  }
  Scratch mainScratch;
  work(mainScratch, true);
  if (worker.joinable()) worker.join();
  stepTo(n);
  if (metered) meter.end();

  modelStamp = model.stamp;
  stamp = drawChangeStamp();
}
