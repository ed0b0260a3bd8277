#include "lines/SbSilhouetteGaussMap.h"

#include <algorithm>
#include <cmath>

#include "core/ParallelHalves.h"

namespace {
// Relative slack of the cell filing and of the crossing test, far above float
// rounding, so that a point on a cell border is filed on both sides.
constexpr double kSlack = 1e-5;

// Cube face f: axis a = f / 2, sign s = +1 for even f; (u, v) on the face are
// the coordinates b = (a + 1) % 3 and c = (a + 2) % 3 divided by s x_a.
struct FaceFrame {
  int a, b, c;
  double s;
};
inline FaceFrame frame(int f) { return {f / 2, (f / 2 + 1) % 3, (f / 2 + 2) % 3, (f % 2) ? -1.0 : 1.0}; }

// The cube face whose cone holds p with a margin of 1e-3 (relative), far
// wider than the filing slack, or -1 when p lies near a cone's border. A
// chord between two points well inside one cone stays inside it (the cone is
// convex), so it cannot meet the widened cone of any other face.
inline int innerFace(const SbVec3f& p) {
  constexpr double kInner = 1.0 - 1e-3;
  for (int a = 0; a < 3; ++a) {
    const double m = std::fabs(double(p[a])) * kInner;
    if (m > 0.0 && std::fabs(double(p[(a + 1) % 3])) <= m && std::fabs(double(p[(a + 2) % 3])) <= m)
      return 2 * a + (p[a] < 0.0f ? 1 : 0);
  }
  return -1;
}

inline int cellOf(double u, int n) {
  int i = static_cast<int>(std::floor((u + 1.0) * 0.5 * n));
  return std::min(std::max(i, 0), n - 1);
}
}  // namespace

void SbSilhouetteGaussMap::clear() {
  n = 0;
  refs.clear();
  cellStart.clear();
  cellEdges.clear();
  alwaysTested.clear();
  seen.clear();
}

void SbSilhouetteGaussMap::fileArc(const SbVec3f& n1, const SbVec3f& n2, uint32_t id,
                                   std::vector<std::pair<uint32_t, uint32_t>>& pairs) const {
  const double p0[3] = {n1[0], n1[1], n1[2]};
  const double dp[3] = {double(n2[0]) - n1[0], double(n2[1]) - n1[1], double(n2[2]) - n1[2]};
  const int inner = innerFace(n1);
  const bool oneFace = inner >= 0 && innerFace(n2) == inner;
  for (int f = 0; f < 6; ++f) {
    if (oneFace && f != inner) continue;
    const FaceFrame fr = frame(f);
    // p(t) = p0 + t dp lies in the (slightly widened) cone of this face when
    // s p_a (1 + slack) >= |p_b|, >= |p_c| and s p_a > 0: linear in t.
    double lo = 0.0, hi = 1.0;
    auto require = [&](double alpha, double beta) {  // alpha + beta t >= 0
      if (std::fabs(beta) < 1e-300) {
        if (alpha < 0) hi = -1.0;
        return;
      }
      const double t = -alpha / beta;
      if (beta > 0)
        lo = std::max(lo, t);
      else
        hi = std::min(hi, t);
    };
    const double A0 = fr.s * p0[fr.a] * (1.0 + kSlack), A1 = fr.s * dp[fr.a] * (1.0 + kSlack);
    require(A0 - p0[fr.b], A1 - dp[fr.b]);
    require(A0 + p0[fr.b], A1 + dp[fr.b]);
    require(A0 - p0[fr.c], A1 - dp[fr.c]);
    require(A0 + p0[fr.c], A1 + dp[fr.c]);
    require(fr.s * p0[fr.a], fr.s * dp[fr.a]);
    if (lo > hi) continue;
    auto uv = [&](double t, double& u, double& v) {
      const double pa = fr.s * (p0[fr.a] + t * dp[fr.a]);
      const double pb = p0[fr.b] + t * dp[fr.b], pc = p0[fr.c] + t * dp[fr.c];
      u = pa > 1e-12 ? pb / pa : 0.0;
      v = pa > 1e-12 ? pc / pa : 0.0;
      u = std::min(std::max(u, -1.0), 1.0);
      v = std::min(std::max(v, -1.0), 1.0);
    };
    double u0, v0, u1, v1;
    uv(lo, u0, v0);
    uv(hi, u1, v1);
    // The arc's image on the face is the straight segment (u0,v0)-(u1,v1):
    // file it under every cell whose square, widened by the slack, it meets.
    const double cell = 2.0 / n, slack = cell * 1e-3 + 1e-6;
    const int i0 = cellOf(std::min(u0, u1) - slack, n), i1 = cellOf(std::max(u0, u1) + slack, n);
    const int j0 = cellOf(std::min(v0, v1) - slack, n), j1 = cellOf(std::max(v0, v1) + slack, n);
    const double lu = v1 - v0, lv = u0 - u1;  // line: lu (u - u0) + lv (v - v0) = 0
    const double lineLen = std::sqrt(lu * lu + lv * lv);
    for (int i = i0; i <= i1; ++i) {
      for (int j = j0; j <= j1; ++j) {
        if (i0 != i1 && j0 != j1 && lineLen > 0.0) {
          const double ua = -1.0 + i * cell - slack, ub = ua + cell + 2 * slack;
          const double va = -1.0 + j * cell - slack, vb = va + cell + 2 * slack;
          double mn = 1e300, mx = -1e300;
          for (double cu : {ua, ub})
            for (double cv : {va, vb}) {
              const double s = lu * (cu - u0) + lv * (cv - v0);
              mn = std::min(mn, s);
              mx = std::max(mx, s);
            }
          if (mn > 0.0 || mx < 0.0) continue;
        }
        pairs.emplace_back(static_cast<uint32_t>((f * n + i) * n + j), id);
      }
    }
  }
}

void SbSilhouetteGaussMap::build(const SbWingedEdgeModel& model, float maximalError) {
  clear();
  const double degrees = maximalError > 1e-6f && std::isfinite(maximalError) ? maximalError : 0.0;
  n = degrees > 0.0 ? static_cast<int>(std::ceil(90.0 / degrees)) : 256;
  n = std::min(std::max(n, 1), 256);
  size_t edgeCount = 0;
  for (const WeObject& object : model.objects) edgeCount += object.edges.size();
  refs.reserve(edgeCount);
  std::vector<uint32_t> filed;  // ids to file, in id order
  filed.reserve(edgeCount);
  for (size_t o = 0; o < model.objects.size(); ++o) {
    const WeObject& object = model.objects[o];
    for (size_t e = 0; e < object.edges.size(); ++e) {
      const WeEdge& edge = object.edges[e];
      if (!SbSilhouetteEdges::hasTwoValidFaces(object, edge)) continue;
      const SbVec3f& n1 = object.faces[edge.face[0]].normal;
      const SbVec3f& n2 = object.faces[edge.face[1]].normal;
      if (n1 == n2) continue;  // the two faces always face the same way
      const uint32_t id = static_cast<uint32_t>(refs.size());
      refs.push_back({static_cast<int>(o), static_cast<int>(e)});
      // Nearly opposite normals: the chord passes close to the centre and
      // its image on the cube is no longer a short, well-conditioned arc.
      if ((n1 + n2).length() < 0.1f)
        alwaysTested.push_back(id);
      else
        filed.push_back(id);
    }
  }
  // Each half files its arcs in a list of its own and counts them per cell;
  // half 0 holds the lower ids, so writing its entries first keeps every
  // cell's ids in increasing order, as one pass would.
  const size_t cells = size_t(6) * n * n;
  const bool split = filed.size() >= kParallelEdges;
  const size_t middle = filed.size() / 2;
  std::vector<std::pair<uint32_t, uint32_t>> pairs[2];  // (cell, id)
  std::vector<uint32_t> count[2];
  auto fileHalf = [&](int h, size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      const SbEdgeRef& ref = refs[filed[k]];
      const WeObject& object = model.objects[ref.object];
      const WeEdge& edge = object.edges[ref.edge];
      fileArc(object.faces[edge.face[0]].normal, object.faces[edge.face[1]].normal, filed[k], pairs[h]);
    }
    count[h].assign(cells, 0);
    for (const auto& p : pairs[h]) ++count[h][p.first];
  };
  parallelPair(
      split, [&] { fileHalf(0, 0, middle); }, [&] { fileHalf(1, middle, filed.size()); });
  cellStart.assign(cells + 1, 0);
  for (size_t c = 0; c < cells; ++c) {
    cellStart[c + 1] = cellStart[c] + count[0][c] + count[1][c];
    // From here on count[h][c] is where half h writes its next entry of cell c.
    count[1][c] = cellStart[c] + count[0][c];
    count[0][c] = cellStart[c];
  }
  cellEdges.resize(pairs[0].size() + pairs[1].size());
  auto fill = [&](int h) {
    for (const auto& p : pairs[h]) cellEdges[count[h][p.first]++] = p.second;
  };
  parallelPair(
      split, [&] { fill(0); }, [&] { fill(1); });
  seen.assign(refs.size(), 0);
  queryNumber = 0;
}

void SbSilhouetteGaussMap::query(const SbWingedEdgeModel& model, const SbVec3f& toViewer, int shapeKey,
                                 std::vector<SbEdgeRef>& out) const {
  out.clear();
  lastCandidates = 0;
  if (n == 0 || refs.empty()) return;
  double d[3] = {toViewer[0], toViewer[1], toViewer[2]};
  const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!(len > 0.0) || !std::isfinite(len)) return;
  for (double& x : d) x /= len;
  if (++queryNumber == 0) {
    std::fill(seen.begin(), seen.end(), 0);
    queryNumber = 1;
  }
  std::vector<SbEdgeRef> candidates;
  auto consider = [&](uint32_t id) {
    if (seen[id] == queryNumber) return;
    seen[id] = queryNumber;
    const SbEdgeRef& ref = refs[id];
    if (ref.object >= static_cast<int>(model.objects.size())) return;
    candidates.push_back(ref);
  };
  for (uint32_t id : alwaysTested) consider(id);
  std::vector<double> g((n + 1) * (n + 1));
  for (int f = 0; f < 6; ++f) {
    const FaceFrame fr = frame(f);
    // x . d at the grid's corners, x = s e_a + u e_b + v e_c.
    for (int i = 0; i <= n; ++i) {
      const double u = -1.0 + 2.0 * i / n;
      for (int j = 0; j <= n; ++j) {
        const double v = -1.0 + 2.0 * j / n;
        g[i * (n + 1) + j] = fr.s * d[fr.a] + u * d[fr.b] + v * d[fr.c];
      }
    }
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        const double c0 = g[i * (n + 1) + j], c1 = g[(i + 1) * (n + 1) + j];
        const double c2 = g[i * (n + 1) + j + 1], c3 = g[(i + 1) * (n + 1) + j + 1];
        const double mn = std::min(std::min(c0, c1), std::min(c2, c3));
        const double mx = std::max(std::max(c0, c1), std::max(c2, c3));
        if (mn > kSlack || mx < -kSlack) continue;
        const size_t cell = (size_t(f) * n + i) * n + j;
        for (uint32_t k = cellStart[cell]; k < cellStart[cell + 1]; ++k) consider(cellEdges[k]);
      }
    }
  }
  lastCandidates = candidates.size();
  SbSilhouetteView view;
  view.toViewer = toViewer;
  static const std::vector<std::vector<float>> noOffsets;
  for (const SbEdgeRef& ref : candidates) {
    const WeObject& object = model.objects[ref.object];
    if (!SbSilhouetteEdges::selected(object, shapeKey) || ref.edge >= static_cast<int>(object.edges.size())) continue;
    if (SbSilhouetteEdges::isSilhouette(model, ref, view, noOffsets)) out.push_back(ref);
  }
  std::sort(out.begin(), out.end());
}
