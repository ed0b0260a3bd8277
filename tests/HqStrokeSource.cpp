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

// Signed distance from q to the disc of radius ra about a, the one of radius rb about b and the discs between them:
// their convex hull, or the larger disc when it holds the other.
static double hullDistance(const SbVec2f& q, const SbVec2f& a, const SbVec2f& b, double ra, double rb) {
  const double px = q[0] - a[0], py = q[1] - a[1], dx = b[0] - a[0], dy = b[1] - a[1], h = dx * dx + dy * dy;
  const double dr = ra - rb, toA = std::hypot(px, py) - ra, toB = std::hypot(q[0] - b[0], q[1] - b[1]) - rb;
  if (dr * dr >= h) return std::min(toA, toB);
  // Across and along the piece in units of its length squared; k runs along the tangent.
  const double x = std::fabs(px * dy - py * dx) / h, y = (px * dx + py * dy) / h, cx = std::sqrt(h - dr * dr);
  const double k = cx * y - dr * x;
  return k < 0 ? toA : k > cx ? toB : cx * x + dr * y - ra;
}

double strokeDistance(const SbVec2f& q, const std::vector<SbVec2f>& p, const std::vector<float>& r) {
  auto radius = [&](size_t k) { return std::max(0.0, double(r[k])); };
  double best = hullDistance(q, p[0], p[0], radius(0), radius(0));
  for (size_t k = 0; k + 1 < p.size(); ++k) {
    // Split where the radius passes through 0: on each side it is linear or 0.
    const float cut = (r[k] < 0) != (r[k + 1] < 0) ? r[k] / (r[k] - r[k + 1]) : 1.0f;
    const SbVec2f m = p[k] + (p[k + 1] - p[k]) * cut;
    best = std::min({best, hullDistance(q, p[k], m, radius(k), cut < 1 ? 0.0 : radius(k + 1)),
                     hullDistance(q, m, p[k + 1], cut < 1 ? 0.0 : radius(k + 1), radius(k + 1))});
  }
  return best;
}
