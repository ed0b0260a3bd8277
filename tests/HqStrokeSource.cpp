#include "HqStrokeSource.h"

#include <Inventor/elements/SoCoordinateElement.h>

#include <algorithm>
#include <cmath>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineThicknessElement.h"

SO_NODE_SOURCE(HqStrokeSource);

void HqStrokeSource::initClass() {
  if (getClassTypeId() != SoType::badType()) return;
  SO_NODE_INIT_CLASS(HqStrokeSource, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoGLRenderAction, SoLineThicknessElement);
  SO_ENABLE(SoGLRenderAction, SoLineDensityElementHQ);
  SO_ENABLE(SoCallbackAction, SoCoordinateElement);
  SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
  SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
}

void HqStrokeSource::addStroke(const std::vector<SbVec2f>& p, const std::vector<float>& t,
                               const std::vector<float>& d) {
  for (size_t i = 0; i < p.size(); ++i) {
    indices.push_back(static_cast<int32_t>(points.size()));
    points.emplace_back(p[i][0], p[i][1], 0.0f);
    thickness.push_back(t.empty() ? 1.0f : t[i]);
    density.push_back(d.empty() ? 1.0f : d[i]);
  }
  indices.push_back(-1);
}

void HqStrokeSource::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (!points.empty()) SoCoordinateElement::set3(state, this, static_cast<int32_t>(points.size()), points.data());
  SoLineCoordinateIndexElement::set(state, this, static_cast<int32_t>(indices.size()),
                                    indices.empty() ? nullptr : indices.data());
  SoLineThicknessElement::set(state, this, static_cast<int32_t>(thickness.size()),
                              thickness.empty() ? nullptr : thickness.data());
  SoLineDensityElementHQ::set(state, this, static_cast<int32_t>(density.size()),
                              density.empty() ? nullptr : density.data());
}

double strokeDistance(const SbVec2f& q, const std::vector<SbVec2f>& p, const std::vector<float>& r) {
  auto at = [&](size_t k, double t) {  // t in [0, 1] from p[k] to p[k + 1]
    const size_t n = std::min(k + 1, p.size() - 1);
    const double x = p[k][0] + t * (p[n][0] - p[k][0]) - q[0], y = p[k][1] + t * (p[n][1] - p[k][1]) - q[1];
    return std::hypot(x, y) - std::max(0.0, r[k] + t * (double(r[n]) - r[k]));
  };
  // Bounds first: the distance to a segment less its larger radius is a
  // lower bound, the value at the nearest point of the segment an upper one.
  std::vector<double> lower(p.size(), 0.0);
  double best = at(0, 0.0);
  for (size_t k = 0; k + 1 < p.size(); ++k) {
    const SbVec2f d = p[k + 1] - p[k];
    const double len2 = d.dot(d);
    const double s = len2 > 0 ? std::clamp(double((q - p[k]).dot(d)) / len2, 0.0, 1.0) : 0.0;
    lower[k] = std::hypot(p[k][0] + s * d[0] - q[0], p[k][1] + s * d[1] - q[1]) -
               std::max({0.0, double(r[k]), double(r[k + 1])});
    best = std::min(best, at(k, s));
  }
  for (size_t k = 0; k + 1 < p.size(); ++k) {
    if (lower[k] >= best) continue;
    // Convex on each side of the radius' zero: a ternary search on each.
    double cut = 1.0;
    if ((r[k] < 0) != (r[k + 1] < 0)) cut = r[k] / (double(r[k]) - r[k + 1]);
    for (const auto& range : {std::make_pair(0.0, cut), std::make_pair(cut, 1.0)}) {
      double lo = range.first, hi = range.second;
      for (int i = 0; i < 40 && hi > lo; ++i) {
        const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
        if (at(k, m1) < at(k, m2))
          hi = m2;
        else
          lo = m1;
      }
      best = std::min({best, at(k, range.first), at(k, range.second), at(k, 0.5 * (lo + hi))});
    }
  }
  return best;
}
