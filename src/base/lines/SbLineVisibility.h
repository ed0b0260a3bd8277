#ifndef LINFOLD_SBLINEVISIBILITY_H
#define LINFOLD_SBLINEVISIBILITY_H

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>

#include <utility>
#include <vector>

class SbLineDepthCache;

// Object space to window coordinates: clip = p * model * viewing * projection
// (row vectors, as the toolkit's matrices), then the viewport transform;
// window depth in [0, 1].
class SbWindowProjector {
 public:
  SbWindowProjector() = default;
  SbWindowProjector(const SbMatrix& model, const SbMatrix& viewing, const SbMatrix& projection, int vx, int vy, int vw,
                    int vh);
  // False when the point is on or behind the eye plane (clip w <= 0).
  bool project(const SbVec3f& p, double& x, double& y, double& z) const;
  // Clip-space w (positive in front of the eye).
  double clipW(const SbVec3f& p) const;
  int x = 0, y = 0, width = 1, height = 1;

 private:
  double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

// Hidden-line test of straight segments against a depth cache.
class SbLineVisibility {
 public:
  // Depth slack added to the cached depth: the rasterised surface and the
  // line's own projection round differently.
  static constexpr float kDepthSlack = 2e-5f;

  // Visible parameter intervals [t0, t1] of the segment p0 + t (p1 - p0).
  // Samples are refined until neighbours lie at most `maxPixels` apart on the
  // screen (at most 2^14 pieces); a sample is visible when it lies in front
  // of the eye, inside the viewport and not behind the cached depth (3 x 3
  // neighbourhood). Interval ends between a visible and a hidden sample are
  // found by bisection. Intervals are ordered, disjoint and have t0 < t1;
  // a visible end point gives exactly 0 or 1.
  static void visibleIntervals(const SbVec3f& p0, const SbVec3f& p1, const SbWindowProjector& projector,
                               SbLineDepthCache& cache, float maxPixels, std::vector<std::pair<float, float>>& out);
};

#endif
