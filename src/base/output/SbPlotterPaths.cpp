#include "output/SbPlotterPaths.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <queue>
#include <unordered_map>

#include "core/Finite.h"
#include "output/SbSvgWriter.h"

namespace {

double dist(const SbVec2f& a, const SbVec2f& b) {
  const double dx = static_cast<double>(a[0]) - b[0], dy = static_cast<double>(a[1]) - b[1];
  return std::sqrt(dx * dx + dy * dy);
}

// Uniform grid over a fixed set of points (ids 0..n-1) for nearest-point
// queries; points can be removed.
class PointGrid {
 public:
  explicit PointGrid(const std::vector<SbVec2f>& pts) : points(pts) {
    const size_t n = pts.size();
    float x0 = std::numeric_limits<float>::max(), y0 = x0, x1 = -x0, y1 = -x0;
    for (const SbVec2f& p : pts) {
      x0 = std::min(x0, p[0]), y0 = std::min(y0, p[1]);
      x1 = std::max(x1, p[0]), y1 = std::max(y1, p[1]);
    }
    if (n == 0) x0 = y0 = x1 = y1 = 0.0f;
    minX = x0, minY = y0;
    const double w = std::max(1e-6, static_cast<double>(x1) - x0), h = std::max(1e-6, static_cast<double>(y1) - y0);
    // About two points per cell, at most 2048 cells a side.
    cell = std::sqrt(w * h / std::max<size_t>(1, n / 2));
    cell = std::max({cell, w / 2048.0, h / 2048.0, 1e-9});
    nx = std::max(1, std::min(2048, static_cast<int>(w / cell) + 1));
    ny = std::max(1, std::min(2048, static_cast<int>(h / cell) + 1));
    cells.resize(static_cast<size_t>(nx) * ny);
    for (size_t i = 0; i < n; ++i) cells[cellOf(pts[i])].push_back(static_cast<int>(i));
    alive = static_cast<int>(n);
  }

  // Puts point `id` (back) into the grid, at its position now.
  void insert(int id) {
    cells[cellOf(points[id])].push_back(id);
    ++alive;
  }

  void remove(int id) {
    std::vector<int>& c = cells[cellOf(points[id])];
    for (size_t k = 0; k < c.size(); ++k)
      if (c[k] == id) {
        c[k] = c.back();
        c.pop_back();
        --alive;
        return;
      }
  }
  int count() const { return alive; }

  // Nearest remaining point to p for which skip(id) is false; -1 when none.
  // The search may give up (-1) once every point within `limit` is seen.
  template <class Skip>
  int nearest(const SbVec2f& p, Skip skip, double limit = std::numeric_limits<double>::max()) const {
    int best = -1;
    double bestD = std::numeric_limits<double>::max();
    visitRings(
        p,
        [&](int id) {
          if (skip(id)) return false;
          const double d = dist(p, points[id]);
          if (d < bestD) bestD = d, best = id;
          return d == 0.0;  // nothing is nearer: stop (many equal points would cost n each)
        },
        [&](double ringDistance) { return (best >= 0 && bestD <= ringDistance) || ringDistance > limit; });
    return best;
  }

  // Up to k nearest points to p (nearest first) for which skip(id) is false.
  template <class Skip>
  void kNearest(const SbVec2f& p, size_t k, Skip skip, std::vector<std::pair<double, int>>& out) const {
    out.clear();
    visitRings(
        p,
        [&](int id) {
          if (skip(id)) return false;
          const double d = dist(p, points[id]);
          if (out.size() < k || d < out.back().first) {
            auto at = std::upper_bound(out.begin(), out.end(), std::make_pair(d, id));
            out.insert(at, std::make_pair(d, id));
            if (out.size() > k) out.pop_back();
          }
          return out.size() >= k && out.back().first == 0.0;
        },
        [&](double ringDistance) { return out.size() >= k && out.back().first <= ringDistance; });
  }

 private:
  size_t cellOf(const SbVec2f& p) const {
    // Clamped before the conversion: a point far outside (the home corner)
    // must not overflow the integer.
    const double fx = std::floor((static_cast<double>(p[0]) - minX) / cell);
    const double fy = std::floor((static_cast<double>(p[1]) - minY) / cell);
    const int cx = static_cast<int>(std::max(0.0, std::min(nx - 1.0, fx)));
    const int cy = static_cast<int>(std::max(0.0, std::min(ny - 1.0, fy)));
    return static_cast<size_t>(cy) * nx + cx;
  }

  // Visits the cells ring by ring around p's cell until visit(id) returns
  // true; after ring r, done(r x cell) says whether every point further out
  // is far enough to stop.
  template <class Visit, class Done>
  void visitRings(const SbVec2f& p, Visit visit, Done done) const {
    if (alive == 0) return;
    const size_t c0 = cellOf(p);
    const int cx = static_cast<int>(c0 % nx), cy = static_cast<int>(c0 / nx);
    const int maxRing = std::max({cx, nx - 1 - cx, cy, ny - 1 - cy});
    for (int r = 0; r <= maxRing; ++r) {
      for (int y = cy - r; y <= cy + r; ++y) {
        if (y < 0 || y >= ny) continue;
        const bool edgeRow = y == cy - r || y == cy + r;
        for (int x = cx - r; x <= cx + r; x += edgeRow ? 1 : 2 * r) {
          if (x >= 0 && x < nx)
            for (int id : cells[static_cast<size_t>(y) * nx + x])
              if (visit(id)) return;
          if (r == 0) break;
        }
      }
      if (done(r * cell)) return;
    }
  }

  const std::vector<SbVec2f>& points;
  float minX = 0.0f, minY = 0.0f;
  double cell = 1.0;
  int nx = 1, ny = 1;
  std::vector<std::vector<int>> cells;
  int alive = 0;
};

}  // namespace

const char* SbPlotterPaths::layerName(int layer) {
  static const char* const names[kLayers] = {"silhouettes", "hatching", "dots"};
  return layer >= 0 && layer < kLayers ? names[layer] : "hatching";
}

void SbPlotterPaths::addPolyline(const SbVec2f* points, int count, Layer layer) {
  if (!points || count < 2) return;
  if (layer != SILHOUETTES) layer = HATCHING;
  Path current;
  current.layer = layer;
  auto flush = [&]() {
    if (current.points.size() >= 2) list.push_back(std::move(current));
    current = Path();
    current.layer = layer;
  };
  for (int i = 0; i < count; ++i) {
    const SbVec2f& p = points[i];
    if (!finite(p)) {
      flush();
      continue;
    }
    if (!current.points.empty() && current.points.back() == p) continue;
    current.points.push_back(p);
  }
  flush();
}

void SbPlotterPaths::addDot(const SbVec2f& centre, float markLength) {
  if (!finite(centre) || !std::isfinite(markLength)) return;
  const float half = 0.5f * std::max(markLength, 1e-3f);
  Path mark;
  mark.layer = DOTS;
  mark.points = {SbVec2f(centre[0] - half, centre[1]), SbVec2f(centre[0] + half, centre[1])};
  if (!finite(mark.points[0]) || !finite(mark.points[1])) return;
  list.push_back(std::move(mark));
}

void SbPlotterPaths::addSolidParts(const SbVec2f* points, const float* tone, const float* radius, int count,
                                   float toneHigh, Layer layer) {
  if (!points || count < 2) return;
  const float limit = toneHigh - 1e-6f;
  auto solid = [&](int i) { return (!tone || tone[i] >= limit) && (!radius || radius[i] > 1e-6f); };
  // Parameter along segment (a, b) where the solid condition changes.
  auto crossing = [&](int a, int b, bool leaving) {
    float t = leaving ? 1.0f : 0.0f;
    auto consider = [&](float f) {
      if (!(f >= 0.0f && f <= 1.0f)) return;
      t = leaving ? std::min(t, f) : std::max(t, f);
    };
    if (tone && ((tone[a] >= limit) != (tone[b] >= limit))) consider((toneHigh - tone[a]) / (tone[b] - tone[a]));
    if (radius && ((radius[a] > 1e-6f) != (radius[b] > 1e-6f))) consider(radius[a] / (radius[a] - radius[b]));
    return t;
  };
  std::vector<SbVec2f> run;
  auto flush = [&]() {
    addPolyline(run.data(), static_cast<int>(run.size()), layer);
    run.clear();
  };
  for (int i = 0; i < count; ++i) {
    const bool in = solid(i);
    if (i > 0) {
      const bool wasIn = solid(i - 1);
      if (wasIn != in) {
        const float t = crossing(i - 1, i, wasIn);
        run.push_back(points[i - 1] + (points[i] - points[i - 1]) * t);
        if (wasIn) flush();
      }
    }
    if (in) run.push_back(points[i]);
  }
  flush();
}

int SbPlotterPaths::dotCount() const {
  return static_cast<int>(std::count_if(list.begin(), list.end(), [](const Path& p) { return p.isDot(); }));
}

void SbPlotterPaths::removeDots() {
  list.erase(std::remove_if(list.begin(), list.end(), [](const Path& p) { return p.isDot(); }), list.end());
}

double SbPlotterPaths::length(const Path& path) {
  double sum = 0.0;
  for (size_t i = 1; i < path.points.size(); ++i) sum += dist(path.points[i - 1], path.points[i]);
  return sum;
}

double SbPlotterPaths::lineLength() const {
  double sum = 0.0;
  for (const Path& p : list)
    if (!p.isDot()) sum += length(p);
  return sum;
}

int SbPlotterPaths::merge(float tolerance) {
  if (!(tolerance >= 0.0f) || list.size() < 2) return 0;
  // Endpoint id 2k is the first point of path k, 2k + 1 its last.
  const size_t n = list.size();
  std::vector<SbVec2f> ends(2 * n);
  std::vector<char> used(n, 0);
  for (size_t k = 0; k < n; ++k) {
    ends[2 * k] = list[k].points.front();
    ends[2 * k + 1] = list[k].points.back();
  }
  PointGrid grid(ends);
  for (size_t k = 0; k < n; ++k)
    if (list[k].isDot()) {  // dots stay apart
      used[k] = 1;
      grid.remove(static_cast<int>(2 * k));
      grid.remove(static_cast<int>(2 * k + 1));
    }
  Layer layer = HATCHING;  // of the chain being grown
  auto partner = [&](const SbVec2f& p) {
    const int id = grid.nearest(
        p, [&](int e) { return used[e / 2] != 0 || list[e / 2].layer != layer; }, tolerance);
    return id >= 0 && dist(p, ends[id]) <= tolerance ? id : -1;
  };
  auto take = [&](int k) {
    used[k] = 1;
    grid.remove(2 * k);
    grid.remove(2 * k + 1);
  };

  int joins = 0;
  std::vector<Path> result;
  result.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    if (list[k].isDot()) {
      result.push_back(std::move(list[k]));
      continue;
    }
    if (used[k]) continue;
    layer = list[k].layer;
    take(static_cast<int>(k));
    std::vector<SbVec2f> chain = std::move(list[k].points);
    // Grow forwards from the last point, then backwards from the first.
    for (int side = 0; side < 2; ++side) {
      if (side == 1) std::reverse(chain.begin(), chain.end());
      for (;;) {
        const int e = partner(chain.back());
        if (e < 0) break;
        const int q = e / 2;
        take(q);
        std::vector<SbVec2f>& add = list[q].points;
        if (e % 2 == 1) std::reverse(add.begin(), add.end());
        const bool same = dist(chain.back(), add.front()) <= kSamePoint;
        chain.insert(chain.end(), add.begin() + (same ? 1 : 0), add.end());
        add.clear();
        ++joins;
      }
      if (side == 1) std::reverse(chain.begin(), chain.end());
    }
    Path merged;
    merged.layer = layer;
    merged.points = std::move(chain);
    result.push_back(std::move(merged));
  }
  list = std::move(result);
  return joins;
}

SbPlotterPaths::ShortReport SbPlotterPaths::absorbShort(float minLength) {
  ShortReport report;
  if (!(minLength > 0.0f) || !std::isfinite(minLength)) return report;
  const size_t n = list.size();
  std::vector<double> len(n, 0.0);
  // Shortest first; a path that grows and stays short comes back with its new length.
  using Entry = std::pair<double, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
  for (size_t k = 0; k < n; ++k) {
    if (list[k].isDot()) continue;
    len[k] = length(list[k]);
    if (len[k] < minLength) queue.emplace(len[k], static_cast<int>(k));
  }
  if (queue.empty()) return report;

  // Endpoint id 2k is the first point of path k, 2k + 1 its last; the grid
  // holds the ends of the line paths still in the list.
  std::vector<SbVec2f> ends(2 * n);
  for (size_t k = 0; k < n; ++k) {
    ends[2 * k] = list[k].points.front();
    ends[2 * k + 1] = list[k].points.back();
  }
  PointGrid grid(ends);
  std::vector<char> gone(n, 0);
  for (size_t k = 0; k < n; ++k)
    if (list[k].isDot()) {
      grid.remove(static_cast<int>(2 * k));
      grid.remove(static_cast<int>(2 * k + 1));
    }

  while (!queue.empty()) {
    const auto [l, s] = queue.top();
    queue.pop();
    if (gone[s] || l != len[s]) continue;  // joined on, or grown since
    const Layer layer = list[s].layer;
    const auto other = [&](int e) { return e / 2 == s || gone[e / 2] || list[e / 2].layer != layer; };
    int near = -1, side = 0;
    double nearDist = std::numeric_limits<double>::max();
    for (int k = 0; k < 2; ++k) {
      const int e = grid.nearest(ends[2 * s + k], other, minLength);
      if (e < 0) continue;
      const double d = dist(ends[2 * s + k], ends[e]);
      if (d <= minLength && d < nearDist) near = e, side = k, nearDist = d;
    }
    grid.remove(2 * s);
    grid.remove(2 * s + 1);
    gone[s] = 1;
    std::vector<SbVec2f> piece = std::move(list[s].points);
    list[s].points.clear();
    if (near < 0) {
      ++report.dropped;
      report.droppedLength += len[s];
      continue;
    }
    // Onto the touched end of q: after its last point (s entered at the
    // touching end) or before its first (s left at the touching end).
    const int q = near / 2;
    std::vector<SbVec2f>& to = list[q].points;
    if (near % 2 == 1) {
      if (side == 1) std::reverse(piece.begin(), piece.end());
      const bool same = dist(to.back(), piece.front()) <= kSamePoint;
      to.insert(to.end(), piece.begin() + (same ? 1 : 0), piece.end());
    } else {
      if (side == 0) std::reverse(piece.begin(), piece.end());
      const bool same = dist(piece.back(), to.front()) <= kSamePoint;
      to.insert(to.begin(), piece.begin(), piece.end() - (same ? 1 : 0));
    }
    const double grown = length(list[q]);
    report.joinLength += grown - len[q] - len[s];
    len[q] = grown;
    ++report.joined;
    grid.remove(near);
    ends[near] = near % 2 == 1 ? to.back() : to.front();
    grid.insert(near);
    if (grown < minLength) queue.emplace(grown, q);
  }
  std::vector<Path> kept;
  kept.reserve(n);
  for (size_t k = 0; k < n; ++k)
    if (!gone[k]) kept.push_back(std::move(list[k]));
  list = std::move(kept);
  return report;
}

double SbPlotterPaths::penUpTravel(const std::vector<Path>& paths, const std::vector<Step>& order) {
  double travel = 0.0;
  const SbVec2f* last = nullptr;
  for (const Step& s : order) {
    if (s.path < 0 || static_cast<size_t>(s.path) >= paths.size()) continue;
    const std::vector<SbVec2f>& p = paths[s.path].points;
    if (p.empty()) continue;
    const SbVec2f& first = s.reversed ? p.back() : p.front();
    if (last) travel += dist(*last, first);
    last = s.reversed ? &p.front() : &p.back();
  }
  return travel;
}

double SbPlotterPaths::penUpTravel() const {
  std::vector<Step> order(list.size());
  for (size_t i = 0; i < list.size(); ++i) order[i] = {static_cast<int>(i), false};
  return penUpTravel(list, order);
}

std::vector<SbPlotterPaths::Step> SbPlotterPaths::planOrder(const std::vector<Path>& paths, const SbVec2f& home,
                                                            double seconds, bool* converged) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                         std::isfinite(seconds) ? std::max(0.0, std::min(seconds, 1e6)) : 0.0));
  if (converged) *converged = false;
  const int n = static_cast<int>(paths.size());
  std::vector<Step> order;
  if (n == 0) {
    if (converged) *converged = true;
    return order;
  }
  std::vector<SbVec2f> ends(2 * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    const std::vector<SbVec2f>& p = paths[k].points;
    ends[2 * k] = p.empty() ? SbVec2f(0, 0) : p.front();
    ends[2 * k + 1] = p.empty() ? SbVec2f(0, 0) : p.back();
  }

  // Greedy nearest neighbour, entering each path at its nearer end.
  {
    PointGrid grid(ends);
    SbVec2f at = finite(home) ? home : SbVec2f(0, 0);
    order.reserve(n);
    const auto none = [](int) { return false; };
    while (grid.count() > 0) {
      const int e = grid.nearest(at, none);
      if (e < 0) break;
      const int k = e / 2;
      grid.remove(2 * k);
      grid.remove(2 * k + 1);
      const bool reversed = (e % 2) == 1;
      order.push_back({k, reversed});
      at = ends[reversed ? 2 * k : 2 * k + 1];
    }
  }
  if (n < 3 || Clock::now() >= deadline) {
    if (converged) *converged = n < 3;
    return order;
  }

  // 2-opt. rev[k]: path k is drawn reversed; its current first point is
  // endpoint 2k + rev[k], its last 2k + 1 - rev[k].
  std::vector<int> seq(n), pos(n);
  std::vector<char> rev(n);
  for (int i = 0; i < n; ++i) {
    seq[i] = order[i].path;
    rev[seq[i]] = order[i].reversed ? 1 : 0;
    pos[seq[i]] = i;
  }
  auto firstOf = [&](int k) -> const SbVec2f& { return ends[2 * k + rev[k]]; };
  auto lastOf = [&](int k) -> const SbVec2f& { return ends[2 * k + 1 - rev[k]]; };

  // Candidate lists: the nearest end points of other paths.
  const size_t kCandidates = 8;
  std::vector<int> near(ends.size() * kCandidates, -1);
  {
    PointGrid grid(ends);
    std::vector<std::pair<double, int>> found;
    for (size_t e = 0; e < ends.size(); ++e) {
      if ((e & 255) == 0 && Clock::now() >= deadline) return order;
      const int self = static_cast<int>(e / 2);
      grid.kNearest(
          ends[e], kCandidates, [&](int id) { return id / 2 == self; }, found);
      for (size_t j = 0; j < found.size(); ++j) near[e * kCandidates + j] = found[j].second;
    }
  }

  // Gain of reversing the stretch p..q of the sequence (negative: shorter).
  auto delta = [&](int p, int q) {
    double before = 0.0, after = 0.0;
    if (p > 0) {
      before += dist(lastOf(seq[p - 1]), firstOf(seq[p]));
      after += dist(lastOf(seq[p - 1]), lastOf(seq[q]));
    }
    if (q < n - 1) {
      before += dist(lastOf(seq[q]), firstOf(seq[q + 1]));
      after += dist(firstOf(seq[p]), firstOf(seq[q + 1]));
    }
    return after - before;
  };
  auto reverseStretch = [&](int p, int q) {
    std::reverse(seq.begin() + p, seq.begin() + q + 1);
    for (int i = p; i <= q; ++i) {
      rev[seq[i]] ^= 1;
      pos[seq[i]] = i;
    }
  };

  bool improved = true, timedOut = false;
  long long checks = 0;
  while (improved && !timedOut) {
    improved = false;
    for (int i = 1; i < n && !timedOut; ++i) {
      if ((++checks & 63) == 0 && Clock::now() >= deadline) {
        timedOut = true;
        break;
      }
      // Edge from the path at i - 1 to the path at i.
      const int a = seq[i - 1], b = seq[i];
      const int aEnd = 2 * a + 1 - rev[a], bStart = 2 * b + rev[b];
      const double gap = dist(ends[aEnd], ends[bStart]);
      bool moved = false;
      // New edge from a's last point to the last point of another path.
      for (size_t j = 0; j < kCandidates && !moved; ++j) {
        const int c = near[aEnd * kCandidates + j];
        if (c < 0 || dist(ends[aEnd], ends[c]) >= gap) break;
        const int q = c / 2;
        if (c != 2 * q + 1 - rev[q]) continue;  // not q's last point now
        const int at = pos[q];
        int p0, p1;
        if (at >= i)
          p0 = i, p1 = at;
        else if (at < i - 1)
          p0 = at + 1, p1 = i - 1;
        else
          continue;
        if (delta(p0, p1) < -1e-9) {
          reverseStretch(p0, p1);
          moved = true;
        }
      }
      // New edge from b's first point to the first point of another path.
      for (size_t j = 0; j < kCandidates && !moved; ++j) {
        const int d = near[bStart * kCandidates + j];
        if (d < 0 || dist(ends[bStart], ends[d]) >= gap) break;
        const int k = d / 2;
        if (d != 2 * k + rev[k]) continue;  // not k's first point now
        const int at = pos[k];
        int p0, p1;
        if (at > i)
          p0 = i, p1 = at - 1;
        else if (at < i)
          p0 = at, p1 = i - 1;
        else
          continue;
        if (delta(p0, p1) < -1e-9) {
          reverseStretch(p0, p1);
          moved = true;
        }
      }
      if (moved) improved = true;
    }
  }
  for (int i = 0; i < n; ++i) order[i] = {seq[i], rev[seq[i]] != 0};
  if (converged) *converged = !timedOut;
  return order;
}

bool SbPlotterPaths::applyOrder(const std::vector<Step>& order) {
  if (order.size() != list.size()) return false;
  std::vector<char> seen(list.size(), 0);
  for (const Step& s : order) {
    if (s.path < 0 || static_cast<size_t>(s.path) >= list.size() || seen[s.path]) return false;
    seen[s.path] = 1;
  }
  std::vector<Path> result;
  result.reserve(list.size());
  for (const Step& s : order) {
    result.push_back(std::move(list[s.path]));
    if (s.reversed) std::reverse(result.back().points.begin(), result.back().points.end());
  }
  list = std::move(result);
  return true;
}

SbPlotterPaths::Report SbPlotterPaths::optimise(float tolerance, const SbVec2f& home, double seconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const double bound = std::isfinite(seconds) ? std::max(0.0, std::min(seconds, 1e6)) : 0.0;
  Report report;
  report.travelBefore = penUpTravel();
  std::stable_sort(list.begin(), list.end(), [](const Path& a, const Path& b) { return a.layer < b.layer; });
  const std::vector<Path> sorted = list;
  const double travelSorted = penUpTravel();

  std::vector<Path> result;
  result.reserve(list.size());
  SbVec2f at = home;
  report.converged = true;
  for (int layer = 0; layer < kLayers; ++layer) {
    SbPlotterPaths part;
    for (Path& p : list)
      if (p.layer == layer) part.list.push_back(std::move(p));
    if (part.list.empty()) continue;
    report.merges += part.merge(tolerance);
    const double left = bound - std::chrono::duration<double>(Clock::now() - start).count();
    bool converged = false;
    part.applyOrder(planOrder(part.list, at, std::max(0.0, left), &converged));
    report.converged = report.converged && converged;
    at = part.list.back().points.back();
    for (Path& p : part.list) result.push_back(std::move(p));
  }
  list = std::move(result);
  report.travelAfter = penUpTravel();
  if (report.travelAfter > travelSorted) {
    list = sorted;
    report.merges = 0;
    report.travelAfter = travelSorted;
  }
  return report;
}

void SbPlotterPaths::writeSvg(SbSvgWriter& svg, double penWidth) const {
  int layers[kLayers];
  for (int k = 0; k < kLayers; ++k) layers[k] = svg.addLayer(layerName(k));
  for (const Path& p : list) {
    svg.setLayer(layers[p.layer]);
    svg.polyline(p.points.data(), static_cast<int>(p.points.size()), penWidth);
  }
  svg.setLayer(-1);
}

std::string SbPlotterPaths::text(const std::string& comment) const {
  std::string out;
  size_t begin = 0;
  while (begin <= comment.size() && !comment.empty()) {
    const size_t end = std::min(comment.find('\n', begin), comment.size());
    out += "# ";
    out.append(comment, begin, end - begin);
    out += '\n';
    begin = end + 1;
  }
  int layer = -1;
  for (const Path& p : list) {
    if (p.layer != layer) {
      layer = p.layer;
      out += "# layer ";
      out += layerName(layer);
      out += '\n';
    }
    for (size_t i = 0; i < p.points.size(); ++i) {
      if (i) out += ' ';
      SbSvgWriter::appendNumber(out, p.points[i][0]);
      out += ' ';
      SbSvgWriter::appendNumber(out, p.points[i][1]);
    }
    out += '\n';
  }
  return out;
}
