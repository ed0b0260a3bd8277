#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbWingedEdgeCurvature.h"

namespace {

typedef SbWingedEdgeCurvature C;
const double kPi = 3.14159265358979323846;

// Measure of `mode` over the model, after an update.
const std::vector<float>& measures(SbWingedEdgeModel& m, int mode, double threshold = 0.01,
                                   const C::View* view = nullptr) {
  m.curvatureMode = mode;
  m.threshold = threshold;
  C::update(m, view);
  return m.objects.at(0).measure;
}

PolyMesh reversed(PolyMesh mesh) {
  PolyMesh r;
  r.positions = mesh.positions;
  for (int f = 0; f < mesh.faceCount(); ++f) {
    std::vector<int> face(mesh.corners.begin() + mesh.faceStart[f], mesh.corners.begin() + mesh.faceStart[f + 1]);
    r.addFace(std::vector<int>(face.rbegin(), face.rend()));
  }
  return r;
}

}  // namespace

// ---------------------------------------------------------------- sphere

class SphereCurvature : public ::testing::Test {
protected:
  static constexpr float r = 2.0f;
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(4, r));
};

TEST_F(SphereCurvature, PrincipalCurvaturesAreOneOverRadius) {
  C::update(m);
  const WeObject& o = m.objects[0];
  ASSERT_EQ(o.k1.size(), o.vertices.size());
  for (size_t v = 0; v < o.vertices.size(); ++v) {
    EXPECT_GE(o.k1[v], o.k2[v]);
    EXPECT_NEAR(o.k1[v], 1 / r, 0.03 / r) << v;
    EXPECT_NEAR(o.k2[v], 1 / r, 0.03 / r) << v;
    // Principal directions are tangent and orthogonal.
    SbVec3f n = o.vertices[v].position / r;
    EXPECT_NEAR(o.dir1[v].dot(n), 0, 0.02);
    EXPECT_NEAR(o.dir2[v].dot(n), 0, 0.02);
    EXPECT_NEAR(o.dir1[v].dot(o.dir2[v]), 0, 1e-4);
    EXPECT_NEAR(o.dir1[v].length(), 1, 1e-4);
  }
}

TEST_F(SphereCurvature, MeasuresMatchTheUmbilicSphere) {
  struct Case {
    int mode;
    double value, tolerance;
  } cases[] = {
      {C::MIN, 1 / r, 0.03 / r},        {C::MAX, 1 / r, 0.03 / r},
      {C::MEAN, 1 / r, 0.03 / r},       {C::GAUSS, 1 / (r * r), 0.06 / (r * r)},
      {C::MAX_ABSOLUTE, 1 / r, 0.03 / r}, {C::MIN_ABSOLUTE, 1 / r, 0.03 / r},
      {C::SHAPE_INDEX, -1, 0.05},       {C::MODIFIED_SHAPE_INDEX, 0, 0.05},
      {C::SCALED_MODIFIED_SHAPE_INDEX, 0, 0.05 / r}, {C::FOLD_INDEX, 0, 1e-3},
  };
  for (const Case& c : cases) {
    const std::vector<float>& values = measures(m, c.mode);
    for (float x : values) ASSERT_NEAR(x, c.value, c.tolerance) << "mode " << c.mode;
  }
}

TEST_F(SphereCurvature, SingularityIndexMarksEveryVertex) {
  for (float x : measures(m, C::SINGULARITY_INDEX, 0.1)) EXPECT_EQ(x, 1.0f);
  // A tolerance far below the estimate's spread marks (almost) nothing.
  int marked = 0;
  for (float x : measures(m, C::SINGULARITY_INDEX, 1e-7)) marked += x != 0.0f;
  EXPECT_LT(marked, static_cast<int>(m.objects[0].vertices.size()) / 2);
}

TEST_F(SphereCurvature, HeuristicIsPositiveOnConvexAndNegativeOnInsideOut) {
  for (float x : measures(m, C::HEURISTIC)) EXPECT_GT(x, 0.0f);
  SbWingedEdgeModel inside = testmesh::model(reversed(testmesh::icosphere(4, r)));
  for (float x : measures(inside, C::HEURISTIC)) EXPECT_LT(x, 0.0f);
  // Inward normals flip the sign of the curvature estimate as well.
  for (float x : measures(inside, C::MEAN)) EXPECT_NEAR(x, -1 / r, 0.03 / r);
  SbWingedEdgeModel cube = testmesh::model(testmesh::cube());
  for (float x : measures(cube, C::HEURISTIC)) EXPECT_GT(x, 0.0f);
}

TEST_F(SphereCurvature, ViewAngleFollowsTheNormal) {
  C::View parallel;
  parallel.direction = SbVec3f(0, 0, -3);
  const std::vector<float>& values = measures(m, C::VIEW_ANGLE, 0.01, &parallel);
  const WeObject& o = m.objects[0];
  for (size_t v = 0; v < values.size(); ++v) {
    SbVec3f n = o.vertices[v].normal;
    n.normalize();
    EXPECT_NEAR(values[v], std::acos(std::fabs(n[2])), 1e-4);
  }
  // Seen from far along +x, the view angle is about acos(|x| / r).
  C::View eye;
  eye.perspective = true;
  eye.eye = SbVec3f(1e4f, 0, 0);
  const std::vector<float>& seen = measures(m, C::VIEW_ANGLE, 0.01, &eye);
  for (size_t v = 0; v < seen.size(); ++v)
    EXPECT_NEAR(seen[v], std::acos(std::fabs(o.vertices[v].position[0]) / r), 0.05);
}

// ---------------------------------------------------------------- cylinder

class CylinderCurvature : public ::testing::Test {
protected:
  static constexpr float r = 1.5f;
  SbWingedEdgeModel m = testmesh::model(testmesh::cylinder(48, 16, r, 4.0f));

  // Vertices at least two rings away from the open ends.
  std::vector<int> interior() {
    const WeObject& o = m.objects[0];
    std::vector<int> result;
    for (size_t v = 0; v < o.vertices.size(); ++v)
      if (std::fabs(o.vertices[v].position[2]) < 2.0f - 2 * 4.0f / 16 + 1e-3f) result.push_back(int(v));
    return result;
  }
};

TEST_F(CylinderCurvature, OneOverRadiusAcrossAndZeroAlong) {
  C::update(m);
  const WeObject& o = m.objects[0];
  std::vector<int> inner = interior();
  ASSERT_GT(inner.size(), 100u);
  for (int v : inner) {
    EXPECT_NEAR(o.k1[v], 1 / r, 0.02 / r) << v;
    EXPECT_NEAR(o.k2[v], 0, 0.02 / r) << v;
    EXPECT_NEAR(std::fabs(o.dir2[v][2]), 1, 0.01) << "k2 runs along the axis";
    EXPECT_NEAR(o.dir1[v][2], 0, 0.1);
  }
}

TEST_F(CylinderCurvature, MeasuresMatchTheParabolicCylinder) {
  struct Case {
    int mode;
    double value, tolerance;
  } cases[] = {
      {C::MIN, 0, 0.02 / r},           {C::MAX, 1 / r, 0.02 / r},
      {C::MEAN, 0.5 / r, 0.02 / r},    {C::GAUSS, 0, 0.03 / (r * r)},
      {C::MAX_ABSOLUTE, 1 / r, 0.02 / r}, {C::MIN_ABSOLUTE, 0, 0.02 / r},
      {C::SHAPE_INDEX, -0.5, 0.02},    {C::MODIFIED_SHAPE_INDEX, -1, 0.01},
      {C::SCALED_MODIFIED_SHAPE_INDEX, -1 / r, 0.03 / r}, {C::FOLD_INDEX, -1 / r, 0.06 / r},
  };
  for (const Case& c : cases) {
    const std::vector<float>& values = measures(m, c.mode);
    for (int v : interior()) ASSERT_NEAR(values[v], c.value, c.tolerance) << "mode " << c.mode;
  }
}

TEST_F(CylinderCurvature, SingularityIndexMarksNothing) {
  for (float x : measures(m, C::SINGULARITY_INDEX, 0.1)) EXPECT_EQ(x, 0.0f);
  for (float x : measures(m, C::SINGULARITY_INDEX, 0.5)) EXPECT_EQ(x, 0.0f);
}

TEST_F(CylinderCurvature, MinMaxSeparatelyKeepsBothCurvatures) {
  measures(m, C::MIN_MAX_SEPARATELY);
  const WeObject& o = m.objects[0];
  ASSERT_EQ(o.measure2.size(), o.vertices.size());
  for (size_t v = 0; v < o.vertices.size(); ++v) {
    EXPECT_EQ(o.measure[v], o.k1[v]);
    EXPECT_EQ(o.measure2[v], o.k2[v]);
  }
  for (int v : interior()) {
    SbColor c = C::colourSeparately(o.measure[v], o.measure2[v], m.measureMin, m.measureMax);
    EXPECT_GT(c[0], c[2]) << "k1 > k2 shows redder than blue";
  }
}

// ---------------------------------------------------------------- saddle

TEST(SaddleCurvature, OriginHasPlusMinusTwo) {
  SbWingedEdgeModel m = testmesh::model(testmesh::saddle(12, 0.6f));
  C::update(m);
  const WeObject& o = m.objects[0];
  int origin = -1;
  for (size_t v = 0; v < o.vertices.size(); ++v)
    if (o.vertices[v].position.length() < 1e-6f) origin = int(v);
  ASSERT_GE(origin, 0);
  EXPECT_NEAR(o.k1[origin], 2.0, 0.05);
  EXPECT_NEAR(o.k2[origin], -2.0, 0.05);
  // z = x^2 - y^2 bends along the coordinate axes.
  EXPECT_NEAR(std::fabs(o.dir1[origin][0]) + std::fabs(o.dir1[origin][1]), 1.0, 0.02);
  EXPECT_NEAR(std::fabs(o.dir1[origin].dot(o.dir2[origin])), 0.0, 1e-4);

  struct Case {
    int mode;
    double value, tolerance;
  } cases[] = {{C::MEAN, 0, 0.05},        {C::GAUSS, -4, 0.2},
               {C::MAX_ABSOLUTE, 2, 0.05}, {C::MIN_ABSOLUTE, 2, 0.05},
               {C::SHAPE_INDEX, 0, 0.02}, {C::MODIFIED_SHAPE_INDEX, 0, 0.03},
               {C::SCALED_MODIFIED_SHAPE_INDEX, 0, 0.1}, {C::FOLD_INDEX, 0, 0.1},
               {C::SINGULARITY_INDEX, 0, 0}};
  for (const Case& c : cases) EXPECT_NEAR(measures(m, c.mode, 0.5)[origin], c.value, c.tolerance) << "mode " << c.mode;
}

// ---------------------------------------------------------------- flat and ranges

TEST(FlatCurvature, GridGivesZeroRangeWithoutNaN) {
  SbWingedEdgeModel m = testmesh::model(testmesh::grid(6, 6, 2.0f));
  for (int mode : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13}) {
    for (float x : measures(m, mode, 1.0)) {
      ASSERT_TRUE(std::isfinite(x)) << "mode " << mode;
      EXPECT_NEAR(x, 0.0f, 1e-5f) << "mode " << mode;
    }
    EXPECT_GE(0.0f, m.measureMin);
    EXPECT_LE(0.0f, m.measureMax);
    SbColor c = C::colour(0.0f, m.measureMin, m.measureMax);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(c[i]));
  }
  measures(m, C::GAUSS);
  EXPECT_EQ(m.measureMin, 0.0f);
  EXPECT_EQ(m.measureMax, 0.0f);
  SbColor c = C::colour(0.0f, 0.0f, 0.0f);
  SbColor s = C::colourSeparately(0.0f, 0.0f, 0.0f, 0.0f);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(c[i]) && std::isfinite(s[i]));
  EXPECT_EQ(C::threeClass(0.0f, 0.0f, 0.0f), 0);
}

TEST(CurvatureRange, ZeroIsAlwaysInsideAndShapeIndexIsFixed) {
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(3, 1.0f));
  measures(m, C::MEAN);  // all positive
  EXPECT_EQ(m.measureMin, 0.0f);
  EXPECT_NEAR(m.measureMax, 1.0f, 0.05f);
  measures(m, C::SHAPE_INDEX);
  EXPECT_EQ(m.measureMin, -1.0f);
  EXPECT_EQ(m.measureMax, 1.0f);
  measures(m, C::MIN_MAX_SEPARATELY);
  EXPECT_EQ(m.measureMin, 0.0f);
}

TEST(CurvatureUpdate, RecomputesOnlyWhenInvalidOrModeChanged) {
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(3, 1.0f));
  m.curvatureMode = C::MEAN;
  EXPECT_TRUE(C::update(m));
  EXPECT_TRUE(m.curvatureValid);
  EXPECT_FALSE(m.displayListsValid);
  m.displayListsValid = true;
  EXPECT_FALSE(C::update(m));
  EXPECT_TRUE(m.displayListsValid);

  m.curvatureMode = C::GAUSS;
  EXPECT_TRUE(C::update(m));
  EXPECT_FALSE(C::update(m));

  // Moving the geometry without invalidating keeps the old estimate ...
  for (WeVertex& v : m.objects[0].vertices) v.position *= 2.0f;
  EXPECT_FALSE(C::update(m));
  // ... and invalidating picks up the new one.
  m.curvatureValid = false;
  EXPECT_TRUE(C::update(m));
  for (float x : m.objects[0].measure) EXPECT_NEAR(x, 0.25f, 0.05f);

  // The view angle follows the view on every update.
  m.curvatureMode = C::VIEW_ANGLE;
  EXPECT_TRUE(C::update(m));
  EXPECT_TRUE(C::update(m));
}

TEST(CurvatureColours, DivergingMapAroundZero) {
  SbColor white = C::colour(0.0f, -1.0f, 2.0f);
  SbColor low = C::colour(-1.0f, -1.0f, 2.0f);
  SbColor high = C::colour(2.0f, -1.0f, 2.0f);
  SbColor half = C::colour(1.0f, -1.0f, 2.0f);
  EXPECT_GT(low[2], low[0]);
  EXPECT_GT(high[0], high[2]);
  EXPECT_NEAR(white[0], white[2], 1e-6f);
  EXPECT_GT(half[1], high[1]);  // halfway is paler than the end
  EXPECT_EQ(C::threeClass(-1.0f, -1.0f, 2.0f), -1);
  EXPECT_EQ(C::threeClass(0.05f, -1.0f, 2.0f), 0);
  EXPECT_EQ(C::threeClass(1.0f, -1.0f, 2.0f), 1);
  SbColor nan = C::colour(std::nanf(""), -1.0f, 1.0f);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(nan[i]));
}

TEST(CurvatureRobustness, DegenerateInputGivesZeroNotNaN) {
  // A lone triangle, a collapsed triangle and a vertex at NaN.
  PolyMesh tri = testmesh::singleTriangle();
  PolyMesh collapsed;
  for (int i = 0; i < 3; ++i) collapsed.addVertex({0, 0, 0});
  collapsed.addFace({0, 1, 2});
  PolyMesh broken = testmesh::icosphere(1, 1.0f);
  broken.positions[0] = SbVec3f(std::nanf(""), 0, 0);
  for (const PolyMesh* mesh : {&tri, &collapsed, &broken}) {
    SbWingedEdgeModel m = testmesh::model(*mesh);
    for (int mode : {1, 4, 5, 9, 10, 11, 12, 13, 22}) {
      for (float x : measures(m, mode)) ASSERT_TRUE(std::isfinite(x)) << "mode " << mode;
      EXPECT_TRUE(std::isfinite(m.measureMin) && std::isfinite(m.measureMax));
    }
  }
  SbWingedEdgeModel empty;
  EXPECT_TRUE(C::update(empty));
}
