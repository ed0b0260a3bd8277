// Principal curvatures by per-vertex quadric fitting (Petitjean, "A survey of methods for recovering quadrics in
// triangle meshes", 2002): least-squares height field z = ax^2 + bxy + cy^2 + dx + ey over the two-ring in the vertex's
// tangent frame.
#include "mesh/SbWingedEdgeCurvature.h"

#include <algorithm>
#include <cmath>

#include "core/Finite.h"

namespace {

const double kPi = 3.14159265358979323846;

bool validVertex(const WeObject& o, int v) { return v >= 0 && v < static_cast<int>(o.vertices.size()); }
bool validFace(const WeObject& o, int f) { return f >= 0 && f < static_cast<int>(o.faces.size()); }

// Solves the n x n system a x = b (row-major, n <= 5) by Gaussian elimination
// with partial pivoting. False when the system is (nearly) singular.
bool solve(int n, double a[5][5], double b[5], double x[5]) {
  double scale = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) scale = std::max(scale, std::fabs(a[i][j]));
  if (!(scale > 0.0)) return false;
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    if (std::fabs(a[p][c]) < 1e-12 * scale) return false;
    if (p != c) {
      for (int j = 0; j < n; ++j) std::swap(a[p][j], a[c][j]);
      std::swap(b[p], b[c]);
    }
    for (int r = c + 1; r < n; ++r) {
      double f = a[r][c] / a[c][c];
      for (int j = c; j < n; ++j) a[r][j] -= f * a[c][j];
      b[r] -= f * b[c];
    }
  }
  for (int r = n - 1; r >= 0; --r) {
    double s = b[r];
    for (int j = r + 1; j < n; ++j) s -= a[r][j] * x[j];
    x[r] = s / a[r][r];
  }
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(x[i])) return false;
  return true;
}

// Twice the vector area of face f (Newell); its length is twice the area.
SbVec3f faceAreaVector(const WeObject& o, int f, std::vector<int>& corners) {
  o.faceCorners(f, corners);
  double n[3] = {0, 0, 0};
  for (size_t k = 0; k < corners.size(); ++k) {
    if (!validVertex(o, corners[k]) || !validVertex(o, corners[(k + 1) % corners.size()])) return {0, 0, 0};
    const SbVec3f& a = o.vertices[corners[k]].position;
    const SbVec3f& b = o.vertices[corners[(k + 1) % corners.size()]].position;
    n[0] += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
    n[1] += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
    n[2] += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
  }
  return SbVec3f(float(n[0]), float(n[1]), float(n[2]));
}

struct Frame {
  SbVec3f n, u, w;
};

Frame tangentFrame(const SbVec3f& n) {
  Frame fr;
  fr.n = n;
  SbVec3f axis = std::fabs(n[0]) < 0.6f ? SbVec3f(1, 0, 0) : SbVec3f(0, 1, 0);
  fr.u = axis - n * n.dot(axis);
  fr.u.normalize();
  fr.w = n.cross(fr.u);
  return fr;
}

void zeroCurvature(WeObject& o, int v, const SbVec3f& n) {
  o.k1[v] = o.k2[v] = 0.0f;
  SbVec3f nn = n.length() > 0.0f ? n : SbVec3f(0, 0, 1);
  Frame fr = tangentFrame(nn);
  o.dir1[v] = fr.u;
  o.dir2[v] = fr.w;
}

}  // namespace

void SbWingedEdgeCurvature::estimate(WeObject& o) {
  const int nv = static_cast<int>(o.vertices.size());
  o.k1.assign(nv, 0.0f);
  o.k2.assign(nv, 0.0f);
  o.dir1.assign(nv, SbVec3f(1, 0, 0));
  o.dir2.assign(nv, SbVec3f(0, 1, 0));
  if (nv == 0) return;
  if (o.vertexEdgeStart.size() != o.vertices.size() + 1) o.buildVertexEdges();

  std::vector<int> corners;
  std::vector<SbVec3f> area(o.faces.size());
  for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) area[f] = faceAreaVector(o, f, corners);

  auto edgeValid = [&](int e) { return e >= 0 && e < static_cast<int>(o.edges.size()); };
  std::vector<int> mark(nv, -1);
  std::vector<int> ring;
  for (int v = 0; v < nv; ++v) {
    const SbVec3f p = o.vertices[v].position;
    if (!finite(p)) {
      zeroCurvature(o, v, SbVec3f(0, 0, 0));
      continue;
    }
    // Area-weighted normal of the faces around the vertex (each face once).
    SbVec3f n(0, 0, 0);
    ring.clear();
    mark[v] = v;
    std::vector<int> seenFaces;
    for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v); ++i) {
      int e = o.vertexEdges[i];
      if (!edgeValid(e)) continue;
      for (int side = 0; side < 2; ++side) {
        int f = o.edges[e].face[side];
        if (validFace(o, f) && std::find(seenFaces.begin(), seenFaces.end(), f) == seenFaces.end()) {
          seenFaces.push_back(f);
          n += area[f];
        }
      }
      int q = o.edges[e].other(v);
      if (validVertex(o, q) && mark[q] != v) {
        mark[q] = v;
        ring.push_back(q);
      }
    }
    if (!(n.length() > 0.0f) || !finite(n)) n = o.vertices[v].normal;
    if (!(n.length() > 0.0f) || !finite(n)) {
      zeroCurvature(o, v, SbVec3f(0, 0, 0));
      continue;
    }
    n.normalize();
    // Second ring.
    const size_t firstRing = ring.size();
    for (size_t r = 0; r < firstRing; ++r) {
      int q = ring[r];
      for (int i = o.edgesAtVertexBegin(q); i < o.edgesAtVertexEnd(q); ++i) {
        int e = o.vertexEdges[i];
        if (!edgeValid(e)) continue;
        int s = o.edges[e].other(q);
        if (validVertex(o, s) && mark[s] != v) {
          mark[s] = v;
          ring.push_back(s);
        }
      }
    }

    Frame fr = tangentFrame(n);
    // Scale: the mean distance to the first ring (to the whole two-ring when
    // the first has no usable point).
    double scale = 0.0, all = 0.0;
    int count = 0, firstCount = 0;
    for (size_t r = 0; r < ring.size(); ++r) {
      const SbVec3f& pq = o.vertices[ring[r]].position;
      if (!finite(pq)) continue;
      double d = (pq - p).length();
      all += d;
      ++count;
      if (r < firstRing) {
        scale += d;
        ++firstCount;
      }
    }
    scale = firstCount && scale > 0.0 ? scale / firstCount : count ? all / count : 0.0;
    if (count < 3 || !(scale > 0.0)) {
      zeroCurvature(o, v, n);
      continue;
    }

    // Least squares in coordinates scaled by the mean neighbour distance.
    double ata[5][5] = {}, atb[5] = {};
    for (int q : ring) {
      const SbVec3f& pq = o.vertices[q].position;
      if (!finite(pq)) continue;
      SbVec3f d = pq - p;
      double x = d.dot(fr.u) / scale, y = d.dot(fr.w) / scale, z = d.dot(fr.n) / scale;
      // Gaussian weights (sigma = first-ring distance): the second ring
      // steadies the fit, the nearer points decide it on uneven meshes.
      double w = std::exp(-0.5 * (x * x + y * y + z * z));
      double row[5] = {x * x, x * y, y * y, x, y};
      for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) ata[i][j] += w * row[i] * row[j];
        atb[i] += w * row[i] * z;
      }
    }
    double coef[5] = {0, 0, 0, 0, 0};
    bool ok = false;
    if (count >= 5) {
      double a[5][5], b[5];
      std::copy(&ata[0][0], &ata[0][0] + 25, &a[0][0]);
      std::copy(atb, atb + 5, b);
      ok = solve(5, a, b, coef);
    }
    if (!ok) {
      // Too few or degenerate neighbours for the tilt terms: fit the quadric alone.
      double a[5][5], b[5];
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) a[i][j] = ata[i][j];
        b[i] = atb[i];
      }
      coef[3] = coef[4] = 0.0;
      ok = solve(3, a, b, coef);
    }
    if (!ok) {
      zeroCurvature(o, v, n);
      continue;
    }
    // Back to unscaled coordinates: z = a x^2 + ... has curvature terms / scale.
    const double qa = coef[0] / scale, qb = coef[1] / scale, qc = coef[2] / scale;
    const double gd = coef[3], ge = coef[4];
    // Shape operator of the graph (x, y, f(x, y)) at the origin: I^-1 II.
    const double E = 1 + gd * gd, F = gd * ge, G = 1 + ge * ge;
    const double W = std::sqrt(1 + gd * gd + ge * ge);
    const double L = 2 * qa / W, M = qb / W, N = 2 * qc / W;
    const double det = E * G - F * F;
    const double s00 = (G * L - F * M) / det, s01 = (G * M - F * N) / det;
    const double s10 = (E * M - F * L) / det, s11 = (E * N - F * M) / det;
    const double tr = s00 + s11, dt = s00 * s11 - s01 * s10;
    const double disc = std::sqrt(std::max(0.0, tr * tr / 4 - dt));
    // Eigenvalues measure bending towards n; curvature is positive away from it.
    const double lamMin = tr / 2 - disc;
    const double lamMax = tr / 2 + disc;
    double ex = s01, ey = lamMin - s00;
    double fx = lamMin - s11, fy = s10;
    if (fx * fx + fy * fy > ex * ex + ey * ey) {
      ex = fx;
      ey = fy;
    }
    if (!(ex * ex + ey * ey > 1e-24)) {
      ex = 1;
      ey = 0;
    }
    SbVec3f t1 = (fr.u + fr.n * float(gd)) * float(ex) + (fr.w + fr.n * float(ge)) * float(ey);
    t1 -= n * n.dot(t1);
    if (!(t1.length() > 0.0f) || !finite(t1)) t1 = fr.u;
    t1.normalize();
    o.k1[v] = float(-lamMin);
    o.k2[v] = float(-lamMax);
    o.dir1[v] = t1;
    o.dir2[v] = n.cross(t1);
    if (!std::isfinite(o.k1[v]) || !std::isfinite(o.k2[v])) zeroCurvature(o, v, n);
  }
}

double SbWingedEdgeCurvature::measure(int mode, double k1, double k2, double threshold) {
  switch (mode) {
    case MIN: return k2;
    case MAX: return k1;
    case MEAN: return (k1 + k2) / 2;
    case GAUSS: return k1 * k2;
    case MAX_ABSOLUTE: return std::max(std::fabs(k1), std::fabs(k2));
    case MIN_ABSOLUTE: return std::min(std::fabs(k1), std::fabs(k2));
    case SHAPE_INDEX:
      if (std::fabs(k1) < 1e-4 && std::fabs(k2) < 1e-4) return 0.0;
      if (std::fabs(k2 - k1) >= 1e-4) return (2 / kPi) * std::atan((k1 + k2) / (k2 - k1));
      return k1 >= 0 ? -1.0 : 1.0;
    case MODIFIED_SHAPE_INDEX: {
      if (!(std::fabs(k2 - k1) >= 1e-7)) return 0.0;
      double t = (k1 + k2) / (k2 - k1);
      return 2 * t / (t * t + 1);
    }
    case SCALED_MODIFIED_SHAPE_INDEX: {
      if (!(std::fabs(k2 - k1) >= 1e-7)) return 0.0;
      double t = (k1 + k2) / (k2 - k1);
      return -2 * (k2 - k1) * t / (t * t + 1);
    }
    case FOLD_INDEX:
      if (std::fabs(k1) < 1e-5 && std::fabs(k2) < 1e-5) return 0.0;
      // At an umbilic the ratio is infinite and the exponential vanishes.
      if (std::fabs(k2 - k1) < 1e-12 * std::max(std::fabs(k1), std::fabs(k2))) return 0.0;
      return -(k1 + k2) * std::exp(1 - std::fabs((k1 + k2) / (k2 - k1)));
    case SINGULARITY_INDEX: {
      // Near-umbilic points: the principal curvatures agree within the
      // threshold relative to the larger one (flat points are not marked).
      double big = std::max(std::fabs(k1), std::fabs(k2));
      return big > 0.0 && std::fabs(k1 - k2) < threshold * big ? 1.0 : 0.0;
    }
    default: return 0.0;
  }
}

double SbWingedEdgeCurvature::heuristic(const WeObject& o, int v) {
  if (!validVertex(o, v) || o.vertexEdgeStart.size() != o.vertices.size() + 1) return 0.0;
  std::vector<int> corners;
  SbVec3f sum(0, 0, 0);
  int terms = 0;
  for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v); ++i) {
    int e = o.vertexEdges[i];
    if (e < 0 || e >= static_cast<int>(o.edges.size())) continue;
    for (int side = 0; side < 2; ++side) {
      int f = o.edges[e].face[side];
      if (!validFace(o, f)) continue;
      o.faceCorners(f, corners);
      SbVec3f c(0, 0, 0);
      int k = 0;
      for (int q : corners)
        if (validVertex(o, q)) {
          c += o.vertices[q].position;
          ++k;
        }
      if (k == 0) continue;
      sum += c / float(k);
      ++terms;
    }
  }
  if (terms == 0) return 0.0;
  SbVec3f d = sum / float(terms) - o.vertices[v].position;
  const SbVec3f& n = o.vertices[v].normal;
  double value = n.length() > 0.0f ? -double(d.dot(n)) : double(d.length());
  return std::isfinite(value) ? value : 0.0;
}

double SbWingedEdgeCurvature::viewAngle(const WeObject& o, int v, const View& view) {
  if (!validVertex(o, v)) return 0.0;
  SbVec3f n = o.vertices[v].normal;
  SbVec3f d = view.perspective ? o.vertices[v].position - view.eye : view.direction;
  if (!(n.length() > 0.0f) || !(d.length() > 0.0f)) return 0.0;
  n.normalize();
  d.normalize();
  double c = std::min(1.0, std::fabs(double(n.dot(d))));
  double value = std::acos(c);
  return std::isfinite(value) ? value : 0.0;
}

bool SbWingedEdgeCurvature::update(SbWingedEdgeModel& model, const View* view) {
  bool geometry = !model.curvatureValid;
  for (const WeObject& o : model.objects)
    if (o.k1.size() != o.vertices.size()) geometry = true;
  const int mode = model.curvatureMode;
  bool measures = geometry || mode != model.measureMode || mode == VIEW_ANGLE ||
                  (mode == SINGULARITY_INDEX && model.threshold != model.measureThreshold);
  for (const WeObject& o : model.objects)
    if (o.measure.size() != o.vertices.size()) measures = true;
  if (!measures) return false;

  View defaultView;
  if (!view) view = &defaultView;
  float lo = 0.0f, hi = 0.0f;
  auto widen = [&](float x) {
    if (x == 0.0f || !std::isfinite(x)) return;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  };
  for (WeObject& o : model.objects) {
    if (geometry) estimate(o);
    if (o.vertexEdgeStart.size() != o.vertices.size() + 1) o.buildVertexEdges();
    const int nv = static_cast<int>(o.vertices.size());
    o.measure.assign(nv, 0.0f);
    o.measure2.clear();
    if (mode == MIN_MAX_SEPARATELY) o.measure2.assign(nv, 0.0f);
    for (int v = 0; v < nv; ++v) {
      double value;
      if (mode == HEURISTIC)
        value = heuristic(o, v);
      else if (mode == VIEW_ANGLE)
        value = viewAngle(o, v, *view);
      else if (mode == MIN_MAX_SEPARATELY)
        value = o.k1[v];
      else
        value = measure(mode, o.k1[v], o.k2[v], model.threshold);
      o.measure[v] = std::isfinite(value) ? float(value) : 0.0f;
      widen(o.measure[v]);
      if (mode == MIN_MAX_SEPARATELY) {
        o.measure2[v] = o.k2[v];
        widen(o.measure2[v]);
      }
    }
  }
  if (mode == SHAPE_INDEX) {
    lo = -1.0f;
    hi = 1.0f;
  }
  model.measureMin = lo;
  model.measureMax = hi;
  model.measureMode = mode;
  model.measureThreshold = model.threshold;
  model.curvatureValid = true;
  model.displayListsValid = false;
  return true;
}

SbColor SbWingedEdgeCurvature::colour(float v, float lo, float hi) {
  const SbColor white(0.95f, 0.95f, 0.95f), red(0.85f, 0.1f, 0.1f), blue(0.1f, 0.25f, 0.85f);
  if (!std::isfinite(v)) return white;
  float t = 0.0f;
  SbColor end = white;
  if (v > 0.0f && hi > 0.0f) {
    t = std::min(1.0f, v / hi);
    end = red;
  } else if (v < 0.0f && lo < 0.0f) {
    t = std::min(1.0f, v / lo);
    end = blue;
  }
  return white * (1.0f - t) + end * t;
}

SbColor SbWingedEdgeCurvature::colourSeparately(float k1, float k2, float lo, float hi) {
  const float span = hi - lo;
  if (!(span > 0.0f)) return SbColor(0.5f, 0.2f, 0.5f);
  auto unit = [&](float k) {
    float t = (k - lo) / span;
    return std::isfinite(t) ? std::min(1.0f, std::max(0.0f, t)) : 0.5f;
  };
  return SbColor(unit(k1), 0.2f, unit(k2));
}

int SbWingedEdgeCurvature::threeClass(float v, float lo, float hi) {
  const float big = std::max(-lo, hi);
  if (!(big > 0.0f) || !std::isfinite(v)) return 0;
  const float eps = 0.05f * big;
  return v > eps ? 1 : v < -eps ? -1 : 0;
}

SbColor SbWingedEdgeCurvature::classColour(int cls) {
  if (cls < 0) return SbColor(0.2f, 0.35f, 0.85f);
  if (cls > 0) return SbColor(0.85f, 0.25f, 0.2f);
  return SbColor(0.85f, 0.85f, 0.85f);
}
