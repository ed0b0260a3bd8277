#include "lines/SbLineVisibility.h"

#include <algorithm>
#include <cmath>

#include "lines/SbLineDepthCache.h"

SbWindowProjector::SbWindowProjector(const SbMatrix& model, const SbMatrix& viewing, const SbMatrix& projection, int vx,
                                     int vy, int vw, int vh)
    : x(vx), y(vy), width(std::max(vw, 1)), height(std::max(vh, 1)) {
  // Products in double: the model matrices of large scenes lose digits in float.
  double a[4][4], b[4][4], c[4][4], ab[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      a[i][j] = model[i][j];
      b[i][j] = viewing[i][j];
      c[i][j] = projection[i][j];
    }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      ab[i][j] = 0;
      for (int k = 0; k < 4; ++k) ab[i][j] += a[i][k] * b[k][j];
    }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      m[i][j] = 0;
      for (int k = 0; k < 4; ++k) m[i][j] += ab[i][k] * c[k][j];
    }
}

double SbWindowProjector::clipW(const SbVec3f& p) const {
  return p[0] * m[0][3] + p[1] * m[1][3] + p[2] * m[2][3] + m[3][3];
}

bool SbWindowProjector::project(const SbVec3f& p, double& wx, double& wy, double& wz) const {
  double c[4];
  for (int j = 0; j < 4; ++j) c[j] = p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + m[3][j];
  if (!(c[3] > 1e-12) || !std::isfinite(c[3])) return false;
  wx = x + (c[0] / c[3] + 1.0) * 0.5 * width;
  wy = y + (c[1] / c[3] + 1.0) * 0.5 * height;
  wz = (c[2] / c[3] + 1.0) * 0.5;
  return std::isfinite(wx) && std::isfinite(wy) && std::isfinite(wz);
}

namespace {
struct Sample {
  float t;
  bool ok;  // projected
  double x, y, z;
};
}  // namespace

void SbLineVisibility::visibleIntervals(const SbVec3f& p0, const SbVec3f& p1, const SbWindowProjector& projector,
                                        SbLineDepthCache& cache, float maxPixels,
                                        std::vector<std::pair<float, float>>& out) {
  out.clear();
  const double spacing = std::isfinite(maxPixels) ? std::max(0.5, double(maxPixels)) : 0.5;
  auto sampleAt = [&](float t) {
    Sample s;
    s.t = t;
    s.ok = projector.project(p0 + (p1 - p0) * t, s.x, s.y, s.z);
    return s;
  };
  auto isVisible = [&](const Sample& s) {
    return s.ok && s.z >= 0.0 && s.z <= 1.0 && cache.visible(s.x, s.y, s.z, kDepthSlack);
  };
  // Refine: split every piece whose ends lie too far apart on the screen, or
  // that crosses the eye plane; skip pieces wholly off screen on one side.
  const int kMaxDepth = 14;
  struct Piece {
    Sample a, b;
    int depth;
  };
  // Working lists kept from call to call: a drawing calls this per segment.
  static thread_local std::vector<Sample> samples;
  static thread_local std::vector<Piece> stack;
  samples.clear();
  stack.assign(1, {sampleAt(0.0f), sampleAt(1.0f), 0});
  samples.push_back(stack.back().a);
  while (!stack.empty()) {
    Piece piece = stack.back();
    stack.pop_back();
    bool split = piece.depth < kMaxDepth;
    if (split && piece.a.ok && piece.b.ok) {
      const double dx = piece.b.x - piece.a.x, dy = piece.b.y - piece.a.y;
      split = dx * dx + dy * dy > spacing * spacing;
      // Both ends beyond the same viewport side: the piece between them is too
      // (the projection of a segment in front of the eye is a segment).
      const double x0 = projector.x, y0 = projector.y;
      const double x1 = x0 + projector.width, y1 = y0 + projector.height;
      if ((piece.a.x < x0 && piece.b.x < x0) || (piece.a.x >= x1 && piece.b.x >= x1) ||
          (piece.a.y < y0 && piece.b.y < y0) || (piece.a.y >= y1 && piece.b.y >= y1))
        split = false;
    } else if (split && !piece.a.ok && !piece.b.ok) {
      // Both behind the eye: the whole piece is (w is linear along it).
      split = false;
    }
    if (!split) {
      samples.push_back(piece.b);
      continue;
    }
    const Sample mid = sampleAt(0.5f * (piece.a.t + piece.b.t));
    // Depth-first, left half first, so samples come out in order of t.
    stack.push_back({mid, piece.b, piece.depth + 1});
    stack.push_back({piece.a, mid, piece.depth + 1});
  }
  // Runs of visible samples; ends refined by bisection.
  auto boundary = [&](float visibleT, float hiddenT) {
    for (int k = 0; k < 6; ++k) {
      const float m = 0.5f * (visibleT + hiddenT);
      if (isVisible(sampleAt(m)))
        visibleT = m;
      else
        hiddenT = m;
    }
    return visibleT;
  };
  bool open = false;
  float start = 0.0f;
  bool prevVisible = false;
  float prevT = 0.0f;
  for (size_t i = 0; i < samples.size(); ++i) {
    const bool v = isVisible(samples[i]);
    const float t = samples[i].t;
    if (v && !open) {
      start = i == 0 ? 0.0f : boundary(t, prevT);
      open = true;
    } else if (!v && open) {
      const float end = boundary(prevT, t);
      if (end > start) out.emplace_back(start, end);
      open = false;
    }
    prevVisible = v;
    prevT = t;
  }
  (void)prevVisible;
  if (open) {
    if (1.0f > start)
      out.emplace_back(start, 1.0f);
    else if (samples.size() == 1)
      out.emplace_back(0.0f, 1.0f);
  }
}
