#include "styling/SbInkRunsHQ.h"

#include <algorithm>
#include <cmath>

#include "core/Finite.h"
#include "styling/SbLineSettingsHQ.h"

namespace {

float orZero(float v) { return std::isnan(v) ? 0.0f : v; }

// The walk over one piece of a dotted run (no inner vertex without ink);
// arc lengths relative to the piece's first vertex are s[m] - s[0].
void walkPiece(const SbLineSettingsHQ& settings, const float* s, const float* radius, const float* tone, int n,
               bool solidBefore, bool solidAfter, bool rebalance, std::vector<float>& places) {
  constexpr float kNoInk = SbInkRunsHQ::kNoInk;
  // The darkest vertex that can carry a dot.
  int darkest = -1;
  float best = -1.0f;
  for (int m = 0; m < n; ++m)
    if (radius[m] > kNoInk && tone[m] > kNoInk && tone[m] > best + 1e-6f) {
      best = tone[m];
      darkest = m;
    }
  if (darkest < 0) return;
  // Next to solid ink a dot keeps the smallest dot spacing from the end's
  // centre, as from a neighbouring dot: it does not merge into the solid part.
  const float margin = std::isfinite(settings.minDistance) ? std::max(settings.minDistance, 0.0f) : 0.0f;
  const float lo = s[0] + (solidBefore ? margin * radius[0] : 0.0f);
  const float hi = s[n - 1] - (solidAfter ? margin * radius[n - 1] : 0.0f);
  if (!(lo <= hi)) return;

  // Segment m (vertex m to m + 1) holding arc length x, and the fraction.
  auto locate = [&](float x, int& m, float& f) {
    m = static_cast<int>(std::upper_bound(s, s + n, x) - s) - 1;
    m = std::min(std::max(m, 0), n - 2);
    const float span = s[m + 1] - s[m];
    f = span > 0.0f ? std::min(std::max((x - s[m]) / span, 0.0f), 1.0f) : 0.0f;
  };
  auto at = [&](const float* v, float x) {
    int m;
    float f;
    locate(x, m, f);
    return v[m] + f * (v[m + 1] - v[m]);
  };
  // Mean tone over [a, b]: the linear tone integrated by trapezoids between
  // the vertices inside the stretch.
  auto meanTone = [&](float a, float b) {
    if (a > b) std::swap(a, b);
    a = std::min(std::max(a, s[0]), s[n - 1]);
    b = std::min(std::max(b, s[0]), s[n - 1]);
    if (!(b - a > 1e-6f)) return at(tone, a);
    float sum = 0.0f, x0 = a, t0 = at(tone, a);
    for (int m = 1; m < n && x0 < b; ++m) {
      if (s[m] <= a) continue;
      const float x1 = std::min(s[m], b);
      const float t1 = at(tone, x1);
      sum += (x1 - x0) * (t0 + t1) * 0.5f;
      x0 = x1;
      t0 = t1;
    }
    if (x0 < b) sum += (b - x0) * (t0 + at(tone, b)) * 0.5f;
    return sum / (b - a);
  };
  auto step = [&](float t, float r) {
    const float d = settings.spacing(t) * r;
    return d >= 1.0f ? d : 1.0f;  // also for NaN
  };
  auto inked = [&](float x) { return at(tone, x) > kNoInk && at(radius, x) > kNoInk; };

  const size_t before = places.size();
  const float origin = std::min(std::max(s[darkest], lo), hi);
  if (!inked(origin)) return;
  places.push_back(origin);
  for (int dir = 1; dir >= -1; dir -= 2) {
    float x = origin;
    while (static_cast<int>(places.size()) < SbInkRunsHQ::kMaxDotsPerRun) {
      const float r = at(radius, x);
      const float guess = step(at(tone, x), r);
      x += static_cast<float>(dir) * step(meanTone(x, x + static_cast<float>(dir) * guess), r);
      if (!(x <= hi && x >= lo) || !inked(x)) break;
      places.push_back(x);
    }
  }
  if (rebalance && solidBefore && solidAfter) {
    // A gap between two solid parts: the same number of dots, spread evenly
    // from one margin to the other (a single dot in the middle).
    const size_t count = places.size() - before;
    for (size_t m = 0; m < count; ++m)
      places[before + m] =
          count == 1 ? 0.5f * (lo + hi) : lo + static_cast<float>(m) * (hi - lo) / static_cast<float>(count - 1);
  }
}

}  // namespace

float SbInkRunsHQ::halfWidth(const SbLineSettingsHQ& settings, const float* thickness) {
  const float lineWidth = std::isfinite(settings.lineWidth) ? settings.lineWidth : 0.0f;
  float r = lineWidth * 0.5f;
  if (thickness) r *= orZero(*thickness);
  r = orZero(r);
  const float halfMax = settings.maxWidth * 0.5f;
  if (halfMax < r) r = halfMax;  // a NaN maximum limits nothing
  return std::clamp(r, -kMaxRadius, kMaxRadius);
}

void SbInkRunsHQ::build(const SbLineSettingsHQ& settings, const SbVec3f* positions, const float* thickness,
                        const float* tone, int count) {
  chain.clear();
  runList.clear();
  dotList.clear();
  if (!positions || count < 1) return;
  merge(settings, positions, thickness, tone, count);
  if (chain.empty()) return;
  split(settings.toneHigh);
  cut(settings);
}

void SbInkRunsHQ::merge(const SbLineSettingsHQ& settings, const SbVec3f* positions, const float* thickness,
                        const float* tone, int count) {
  const float tolerance = orZero(settings.tolerance);
  for (int k = 0; k < count; ++k) {
    const SbVec3f& p = positions[k];
    if (!finite(p)) continue;
    const float r = halfWidth(settings, thickness ? thickness + k : nullptr);  // signed until split at zero
    const float t = tone ? std::clamp(orZero(tone[k]), 0.0f, 1.0f) : 1.0f;
    if (!chain.empty()) {
      const Point& prev = chain.back();
      const float dx = p[0] - prev.position[0], dy = p[1] - prev.position[1];
      const bool close = dx * dx + dy * dy < tolerance && 2.0f * std::fabs(r - prev.radius) < tolerance &&
                         std::fabs(t - prev.tone) < 0.02f && (t > kNoInk) == (prev.tone > kNoInk);
      if (close) {
        if (k == count - 1 && chain.size() >= 2) chain.back() = Point{p, r, t, 0.0f};
        continue;
      }
    }
    chain.push_back(Point{p, r, t, 0.0f});
  }
}

void SbInkRunsHQ::split(float high) {
  splitChain.clear();
  splitChain.reserve(chain.size() * 2);
  for (size_t k = 0; k < chain.size(); ++k) {
    splitChain.push_back(chain[k]);
    if (k + 1 == chain.size()) break;
    const Point& a = chain[k];
    const Point& b = chain[k + 1];
    struct Cut {
      float f;
      bool width;
    } cuts[2];
    int n = 0;
    if ((a.radius > 0.0f && b.radius < 0.0f) || (a.radius < 0.0f && b.radius > 0.0f)) {
      const float f = a.radius / (a.radius - b.radius);
      if (f > 1e-6f && f < 0.999999f) cuts[n++] = {f, true};
    }
    if ((a.tone < high) != (b.tone < high)) {
      const float f = (high - a.tone) / (b.tone - a.tone);
      if (f > 1e-6f && f < 0.999999f) cuts[n++] = {f, false};
    }
    if (n == 2 && cuts[1].f < cuts[0].f) std::swap(cuts[0], cuts[1]);
    for (int c = 0; c < n; ++c) {
      const float f = cuts[c].f;
      Point q;
      q.position = a.position + (b.position - a.position) * f;
      q.radius = cuts[c].width ? 0.0f : a.radius + f * (b.radius - a.radius);
      q.tone = cuts[c].width ? a.tone + f * (b.tone - a.tone) : high;
      q.length = 0.0f;
      splitChain.push_back(q);
    }
  }
  chain.swap(splitChain);
  for (size_t k = 0; k < chain.size(); ++k) {
    Point& p = chain[k];
    p.radius = std::max(p.radius, 0.0f);
    if (k + 1 < chain.size()) {
      const Point& n = chain[k + 1];
      p.length = std::hypot(n.position[0] - p.position[0], n.position[1] - p.position[1]);
    }
  }
}

void SbInkRunsHQ::cut(const SbLineSettingsHQ& settings) {
  if (chain.size() == 1) {
    const Point& p = chain[0];
    if (p.radius > 1e-6f && p.tone > kNoInk) {
      runList.push_back(Run{DOTTED, 0, 0, 0, 1});
      dotList.push_back(Dot{p.position, p.radius});
    }
    return;
  }
  const float high = settings.toneHigh - 1e-6f;
  enum { NONE = -1 };
  auto kind = [&](size_t k) {
    const Point& a = chain[k];
    const Point& b = chain[k + 1];
    if (a.radius < 1e-6f && b.radius < 1e-6f) return static_cast<int>(NONE);
    if (a.tone >= high && b.tone >= high) return static_cast<int>(SOLID);
    return static_cast<int>(DOTTED);
  };
  const size_t segments = chain.size() - 1;
  size_t start = 0;
  int current = kind(0);
  for (size_t k = 1; k <= segments; ++k) {
    const int next = k < segments ? kind(k) : static_cast<int>(NONE);
    if (k < segments && next == current) continue;
    if (current != NONE) {
      Run run{static_cast<Kind>(current), static_cast<int>(start), static_cast<int>(k), 0, 0};
      if (current == DOTTED) placeDots(settings, run);
      runList.push_back(run);
    }
    current = next;
    start = k;
  }
}

// The dots of a dotted run, by arc length in x, y.
void SbInkRunsHQ::placeDots(const SbLineSettingsHQ& settings, Run& run) {
  const size_t first = static_cast<size_t>(run.first), last = static_cast<size_t>(run.last);
  const size_t n = last - first + 1;
  arc.assign(n, 0.0f);
  radius.resize(n);
  tone.resize(n);
  for (size_t m = 0; m < n; ++m) {
    const Point& p = chain[first + m];
    if (m > 0) arc[m] = arc[m - 1] + chain[first + m - 1].length;
    radius[m] = p.radius;
    tone[m] = p.tone;
  }
  // Solid ink meets the run where the neighbouring segment is solid.
  const float high = settings.toneHigh - 1e-6f;
  auto solidSegment = [&](size_t a) {
    const Point& p = chain[a];
    const Point& q = chain[a + 1];
    return p.tone >= high && q.tone >= high && (p.radius >= 1e-6f || q.radius >= 1e-6f);
  };
  const bool solidBefore = first > 0 && solidSegment(first - 1);
  const bool solidAfter = last + 1 < chain.size() && solidSegment(last);
  dotPlaces(settings, arc.data(), radius.data(), tone.data(), static_cast<int>(n), solidBefore, solidAfter, places);
  run.firstDot = static_cast<int>(dotList.size());
  size_t m = 0;
  for (float x : places) {
    while (m + 2 < n && arc[m + 1] <= x) ++m;
    const Point& a = chain[first + m];
    const Point& b = chain[first + m + 1];
    const float span = arc[m + 1] - arc[m];
    const float f = span > 0.0f ? std::clamp((x - arc[m]) / span, 0.0f, 1.0f) : 0.0f;
    dotList.push_back(Dot{a.position + (b.position - a.position) * f, a.radius + f * (b.radius - a.radius)});
  }
  run.dots = static_cast<int>(dotList.size()) - run.firstDot;
}

void SbInkRunsHQ::dotPlaces(const SbLineSettingsHQ& settings, const float* arc, const float* radius, const float* tone,
                            int n, bool solidBefore, bool solidAfter, std::vector<float>& places) {
  places.clear();
  if (!arc || !radius || !tone || n < 2 || !std::isfinite(arc[n - 1] - arc[0])) return;
  int first = 0;
  for (int k = 1; k < n; ++k) {
    const bool last = k == n - 1;
    if (!last && tone[k] > kNoInk && radius[k] > kNoInk) continue;
    const bool whole = first == 0 && last;
    walkPiece(settings, arc + first, radius + first, tone + first, k - first + 1, first == 0 && solidBefore,
              last && solidAfter, whole && settings.rebalance, places);
    first = k;
  }
  std::sort(places.begin(), places.end());
}
