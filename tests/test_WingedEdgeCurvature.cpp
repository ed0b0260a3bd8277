// Curvature of the winged-edge models: analytic shapes, every measure, ranges, colours, recomputation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbWingedEdgeCurvature.h"

namespace {

typedef SbWingedEdgeCurvature C;

// Measure of `mode` over the model, after an update.
const std::vector<float>& measures(SbWingedEdgeModel& m, int mode, double threshold = 0.5,
                                   const C::View* view = nullptr) {
  m.curvatureMode = mode;
  m.threshold = threshold;
  C::update(m, view);
  return m.objects.at(0).measure;
}

}  // namespace

// Sphere (umbilic), cylinder (parabolic) and saddle: principal curvatures and unit, orthogonal, tangent directions, and
// every measure, away from borders.
TEST(WeCurvature, AnalyticShapesGiveTheirCurvaturesAndMeasures) {
  const double rs = 2.0, rc = 1.5;  // radii
  // clang-format off
  // Vertices probed: |z| below zLimit, distance from the origin below rLimit. Measures of the modes MIN to
  // SINGULARITY_INDEX (MIN_MAX_SEPARATELY left out) and their tolerances.
  const struct { const char* name; PolyMesh mesh; float zLimit, rLimit;
                 double k1, k2, tolerance, values[11], tolerances[11]; } cases[] = {
      {"sphere", testmesh::icosphere(4, rs), 1e9f, 1e9f, 1 / rs, 1 / rs, 0.03 / rs,
       {1 / rs, 1 / rs, 1 / rs, 1 / (rs * rs), 1 / rs, 1 / rs, -1, 0, 0, 0, 1},
       {0.03 / rs, 0.03 / rs, 0.03 / rs, 0.06 / (rs * rs), 0.03 / rs, 0.03 / rs, 0.05, 0.05, 0.05 / rs, 1e-3, 0}},
      {"cylinder", testmesh::cylinder(48, 16, rc, 4.0f), 2.0f - 2 * 4.0f / 16 + 1e-3f, 1e9f, 1 / rc, 0, 0.02 / rc,
       {0, 1 / rc, 0.5 / rc, 0, 1 / rc, 0, -0.5, -1, -1 / rc, -1 / rc, 0},
       {0.02 / rc, 0.02 / rc, 0.02 / rc, 0.03 / (rc * rc), 0.02 / rc, 0.02 / rc, 0.02, 0.01, 0.03 / rc, 0.06 / rc, 0}},
      // z = x^2 - y^2 at the origin bends along the coordinate axes.
      {"saddle", testmesh::saddle(12, 0.6f), 1e9f, 1e-6f, 2, -2, 0.05, {-2, 2, 0, -4, 2, 2, 0, 0, 0, 0, 0},
       {0.05, 0.05, 0.05, 0.2, 0.05, 0.05, 0.02, 0.03, 0.1, 0.1, 0}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SbWingedEdgeModel m = testmesh::model(c.mesh);
    C::update(m);
    const WeObject& o = m.objects[0];
    ASSERT_EQ(o.k1.size(), o.vertices.size());
    std::vector<int> probed;
    for (size_t v = 0; v < o.vertices.size(); ++v) {
      const SbVec3f& p = o.vertices[v].position;
      if (std::fabs(p[2]) < c.zLimit && p.length() < c.rLimit) probed.push_back(static_cast<int>(v));
    }
    ASSERT_FALSE(probed.empty());
    for (int v : probed) {
      SCOPED_TRACE(v);
      EXPECT_GE(o.k1[v], o.k2[v]);
      EXPECT_NEAR(o.k1[v], c.k1, c.tolerance);
      EXPECT_NEAR(o.k2[v], c.k2, c.tolerance);
      SbVec3f n = o.vertices[v].normal;
      n.normalize();
      EXPECT_TRUE(std::fabs(o.dir1[v].length() - 1) <= 1e-4 && std::fabs(o.dir1[v].dot(o.dir2[v])) <= 1e-4 &&
                  std::fabs(o.dir1[v].dot(n)) <= 0.02 && std::fabs(o.dir2[v].dot(n)) <= 0.02);
      // On the cylinder k2 runs along the axis; on the saddle k1 along x or y.
      EXPECT_TRUE(&c != &cases[1] ||
                  (std::fabs(std::fabs(o.dir2[v][2]) - 1) <= 0.01 && std::fabs(o.dir1[v][2]) <= 0.1));
      EXPECT_TRUE(&c != &cases[2] || std::fabs(std::fabs(o.dir1[v][0]) + std::fabs(o.dir1[v][1]) - 1) < 0.02);
    }
    for (int mode = C::MIN, i = 0; mode <= C::SINGULARITY_INDEX; ++mode) {
      if (mode == C::MIN_MAX_SEPARATELY) continue;
      const std::vector<float>& values = measures(m, mode);
      for (int v : probed) ASSERT_NEAR(values[v], c.values[i], c.tolerances[i]) << "mode " << mode;
      ++i;
    }
    // Both curvatures at once; the range always holds 0.
    measures(m, C::MIN_MAX_SEPARATELY);
    EXPECT_EQ(o.measure, o.k1);
    EXPECT_EQ(o.measure2, o.k2);
    EXPECT_TRUE(m.measureMin <= 0.0f && m.measureMax >= 0.0f);
  }
}

// Inward normals flip the sign of the estimate; a tolerance far below its spread marks (almost) no umbilic; shape-index
// ranges are fixed, others hold 0.
TEST(WeCurvature, OrientationSingularityToleranceAndRanges) {
  const float r = 2.0f;
  PolyMesh in = testmesh::icosphere(4, r);
  for (size_t f = 0; f + 1 < in.faceStart.size(); ++f)
    std::reverse(in.corners.begin() + in.faceStart[f], in.corners.begin() + in.faceStart[f + 1]);
  SbWingedEdgeModel out = testmesh::model(testmesh::icosphere(4, r)), inside = testmesh::model(in),
                    cube = testmesh::model(testmesh::cube());
  for (SbWingedEdgeModel* m : {&out, &cube, &inside})
    for (float x : measures(*m, C::HEURISTIC)) EXPECT_GT(m == &inside ? -x : x, 0.0f);
  for (float x : measures(inside, C::MEAN)) EXPECT_NEAR(x, -1 / r, 0.03 / r);
  int marked = 0;
  for (float x : measures(out, C::SINGULARITY_INDEX, 1e-7)) marked += x != 0.0f;
  EXPECT_LT(marked, static_cast<int>(out.objects[0].vertices.size()) / 2);
  measures(out, C::MEAN);  // all positive
  EXPECT_EQ(out.measureMin, 0.0f);
  EXPECT_NEAR(out.measureMax, 0.5f, 0.025f);
  measures(out, C::SHAPE_INDEX);
  EXPECT_EQ(std::make_pair(out.measureMin, out.measureMax), std::make_pair(-1.0f, 1.0f));
}

TEST(WeCurvature, ViewAngleFollowsTheNormal) {
  const float r = 2.0f;
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(4, r));
  const WeObject& o = m.objects[0];
  C::View parallel, eye;
  parallel.direction = SbVec3f(0, 0, -3);
  const std::vector<float>& values = measures(m, C::VIEW_ANGLE, 0.01, &parallel);
  for (size_t v = 0; v < values.size(); ++v)
    EXPECT_NEAR(values[v], std::acos(std::fabs(o.vertices[v].normal[2]) / o.vertices[v].normal.length()), 1e-4);
  // Seen from far along +x, the view angle is about acos(|x| / r).
  eye.perspective = true;
  eye.eye = SbVec3f(1e4f, 0, 0);
  const std::vector<float>& seen = measures(m, C::VIEW_ANGLE, 0.01, &eye);
  for (size_t v = 0; v < seen.size(); ++v)
    EXPECT_NEAR(seen[v], std::acos(std::fabs(o.vertices[v].position[0]) / r), 0.05);
}

// Blue below zero, red above, white at zero, paler halfway; three classes; finite colours for NaN and flat ranges.
TEST(WeCurvature, ColoursDivergeAroundZero) {
  const SbColor white = C::colour(0.0f, -1.0f, 2.0f), low = C::colour(-1.0f, -1.0f, 2.0f),
                high = C::colour(2.0f, -1.0f, 2.0f), half = C::colour(1.0f, -1.0f, 2.0f);
  EXPECT_TRUE(low[2] > low[0] && high[0] > high[2] && half[1] > high[1]);
  EXPECT_NEAR(white[0], white[2], 1e-6f);
  for (auto [value, lo, hi, expected] : {std::tuple(-1.0f, -1.0f, 2.0f, -1), std::tuple(0.05f, -1.0f, 2.0f, 0),
                                         std::tuple(1.0f, -1.0f, 2.0f, 1), std::tuple(0.0f, 0.0f, 0.0f, 0)})
    EXPECT_EQ(C::threeClass(value, lo, hi), expected) << value;
  const SbColor nan = C::colour(std::nanf(""), -1.0f, 1.0f), flat = C::colour(0.0f, 0.0f, 0.0f),
                flatPair = C::colourSeparately(0.0f, 0.0f, 0.0f, 0.0f);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(nan[i] + flat[i] + flatPair[i]));
}

// A flat grid is zero in every measure; a lone triangle, a collapsed one and a vertex at NaN give finite values.
TEST(WeCurvature, FlatAndDegenerateInputGiveZeroNotNaN) {
  PolyMesh collapsed{std::vector<SbVec3f>(3, SbVec3f(0, 0, 0)), {0, 3}, {0, 1, 2}};  // one triangle at one point
  PolyMesh broken = testmesh::icosphere(1, 1.0f);
  broken.positions[0] = SbVec3f(std::nanf(""), 0, 0);
  const PolyMesh meshes[] = {testmesh::grid(6, 6, 2.0f), testmesh::singleTriangle(), collapsed, broken};
  for (const PolyMesh& mesh : meshes) {
    const bool flat = &mesh == &meshes[0];
    SbWingedEdgeModel m = testmesh::model(mesh);
    for (int mode : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 22}) {
      for (float x : measures(m, mode)) {
        ASSERT_TRUE(std::isfinite(x)) << "mode " << mode;
        EXPECT_TRUE(!flat || mode == C::SHAPE_INDEX || mode == C::VIEW_ANGLE || std::fabs(x) < 1e-5f) << mode;
      }
      EXPECT_TRUE(std::isfinite(m.measureMin + m.measureMax) &&
                  (!flat || (m.measureMin <= 0.0f && m.measureMax >= 0.0f)))
          << "mode " << mode;
    }
    measures(m, C::GAUSS);
    EXPECT_TRUE(!flat || (m.measureMin == 0.0f && m.measureMax == 0.0f));
  }
  SbWingedEdgeModel empty;
  EXPECT_TRUE(C::update(empty));
}

TEST(WeCurvature, RecomputesOnlyWhenInvalidOrModeChanged) {
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(3, 1.0f));
  m.curvatureMode = C::MEAN;
  EXPECT_TRUE(C::update(m) && m.curvatureValid && !m.displayListsValid);
  m.displayListsValid = true;
  EXPECT_TRUE(!C::update(m) && m.displayListsValid);
  m.curvatureMode = C::GAUSS;
  EXPECT_TRUE(C::update(m));
  EXPECT_FALSE(C::update(m));
  // Moving the geometry without invalidating keeps the old estimate; invalidating picks up the new one.
  for (WeVertex& v : m.objects[0].vertices) v.position *= 2.0f;
  EXPECT_FALSE(C::update(m));
  m.curvatureValid = false;
  EXPECT_TRUE(C::update(m));
  for (float x : m.objects[0].measure) EXPECT_NEAR(x, 0.25f, 0.05f);
  // The view angle follows the view on every update.
  m.curvatureMode = C::VIEW_ANGLE;
  EXPECT_TRUE(C::update(m) && C::update(m));
}
