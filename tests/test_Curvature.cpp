// Curvature of the half-edge models: analytic truths, the patch fit, the fallback frame, the object and its node.

#include <gtest/gtest.h>

#include <Inventor/SbRotation.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "LineTestNodes.h"
#include "TestFiles.h"
#include "TestMeshes.h"
#include "core/ProgressMeter.h"
#include "curvature/SbCurvatureHQ.h"
#include "curvature/SbMatrixT.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "mesh/SbHeModelHQ.h"

namespace {

std::unique_ptr<SbHeModelHQ> heModel(const PolyMesh& mesh) {
  auto model = std::make_unique<SbHeModelHQ>();
  model->build(testmesh::model(mesh));
  return model;
}

// Invariants every record keeps, whatever the mesh: finite, ordered, unit directions; a failed fit is flat with an
// orthonormal tangent frame.
void expectSound(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
  ASSERT_EQ(curvature.size(), model.vertexCount());
  for (int i = 0; i < model.vertexCount(); ++i) {
    SCOPED_TRACE("vertex " + std::to_string(i));
    const CurvatureRecord& r = *curvature.record(i);
    const SbVec3f& normal = model.vertices[i]->normal;
    ASSERT_TRUE(std::isfinite(r.maxDirection.dot(r.maxDirection) + r.minDirection.dot(r.minDirection) + r.maxCurvature +
                              r.minCurvature));
    EXPECT_GE(r.maxCurvature, r.minCurvature);
    EXPECT_TRUE(std::fabs(r.maxDirection.length() - 1) <= 1e-5f && std::fabs(r.minDirection.length() - 1) <= 1e-5f);
    if (!r.degenerate) continue;
    EXPECT_TRUE(r.maxCurvature == 0.0f && r.minCurvature == 0.0f);
    EXPECT_NEAR(r.maxDirection.dot(r.minDirection), 0.0f, 1e-6f);
    const bool hasNormal = normal.length() > 0.5f;
    EXPECT_TRUE(!hasNormal ||
                (std::fabs(r.maxDirection.dot(normal)) <= 1e-6f && std::fabs(r.minDirection.dot(normal)) <= 1e-6f));
  }
}

std::unique_ptr<SbCurvatureHQ> estimate(const SbHeModelHQ& model) {
  auto curvature = std::make_unique<SbCurvatureHQ>();
  testing::internal::CaptureStdout();
  curvature->from(model);
  testing::internal::GetCapturedStdout();
  expectSound(model, *curvature);
  return curvature;
}

// A valid record with the given curvatures, directions along the axes maxAxis / minAxis (0 x, 1 y, 2 z; -1 none).
void expectRecord(const CurvatureRecord& r, float kMax, float maxTolerance, float kMin, float minTolerance, int maxAxis,
                  int minAxis) {
  ASSERT_FALSE(r.degenerate);
  EXPECT_NEAR(r.maxCurvature, kMax, maxTolerance);
  EXPECT_NEAR(r.minCurvature, kMin, minTolerance);
  EXPECT_TRUE(maxAxis < 0 || std::fabs(r.maxDirection[maxAxis]) > 0.99f);
  EXPECT_TRUE(minAxis < 0 || std::fabs(r.minDirection[minAxis]) > 0.99f);
}

// A vertex at the origin with neighbours at the given angles (degrees) and distances on z = (a x^2 + b y^2) / 2;
// closed: a full fan.
PolyMesh fan(const std::vector<float>& angles, const std::vector<float>& distances, float a, float b, bool closed) {
  PolyMesh m;
  m.addVertex({0, 0, 0});
  for (size_t i = 0; i < angles.size(); ++i) {
    const float t = angles[i] * 3.14159265f / 180.0f;
    const float x = distances[i] * std::cos(t), y = distances[i] * std::sin(t);
    m.addVertex({x, y, 0.5f * (a * x * x + b * y * y)});
  }
  const int n = static_cast<int>(angles.size());
  for (int i = 0; i + 1 < n; ++i) m.addFace({0, i + 1, i + 2});
  if (closed) m.addFace({0, n, 1});
  return m;
}

}  // namespace

TEST(CurvatureAnalytic, SphereCurvaturesAreOneOverRadius) {
  const float r = 2.0f;
  auto model = heModel(testmesh::icosphere(5, r));  // 20480 faces
  auto curvature = estimate(*model);
  // Fallback records count as a full error: they are included.
  for (auto k : {&CurvatureRecord::maxCurvature, &CurvatureRecord::minCurvature}) {
    std::vector<double> error;
    for (const CurvatureRecord* rec : curvature->records) error.push_back(std::fabs(rec->*k * r - 1.0));
    std::sort(error.begin(), error.end());
    EXPECT_LT(error[error.size() / 2], 0.01);
    EXPECT_LT(error[error.size() * 99 / 100], 0.05);
  }
}

TEST(CurvatureAnalytic, CylinderTorusAndSaddleHaveTheirPrincipalCurvaturesAndDirections) {
  // Cylinder: every vertex, rims included (their fans are half turns), bends 1/r around and not along the axis,
  // including the vertices whose first neighbour lies along the axis (the quadratic's leading coefficient vanishes).
  const float r = 0.5f;
  auto tube = heModel(testmesh::cylinder(64, 40, r, 4.0f));
  auto tubeCurvature = estimate(*tube);
  int axialFirst = 0;
  for (int v = 0; v < tube->vertexCount(); ++v) {
    SCOPED_TRACE("cylinder vertex " + std::to_string(v));
    const HeVertex* hv = tube->vertices[v];
    const SbVec3f firstEdge = hv->halfEdge->end->position - hv->position;
    axialFirst += std::fabs(firstEdge[0]) < 1e-6f && std::fabs(firstEdge[1]) < 1e-6f;
    const CurvatureRecord& rec = *tubeCurvature->record(v);
    expectRecord(rec, 1 / r, 0.01f / r, 0, 0.01f / r, -1, -1);
    EXPECT_TRUE(std::fabs(rec.minDirection[2]) > 0.999f && std::fabs(rec.maxDirection[2]) < 0.05f);
  }
  EXPECT_GT(axialFirst, 0);

  // Torus: around the tube (z at both equators) 1/r; along the equators 1/(R + r) outside and -1/(R - r) inside.
  const float R = 2.0f, t = 0.5f;
  const int nu = 240, nv = 120;
  auto torus = heModel(testmesh::torus(nu, nv, R, t));
  auto torusCurvature = estimate(*torus);
  for (int i = 0; i < nu; ++i) {
    SCOPED_TRACE("ring " + std::to_string(i));
    expectRecord(*torusCurvature->record(i * nv), 1 / t, 0.02f / t, 1 / (R + t), 0.02f / (R + t), 2, -1);
    expectRecord(*torusCurvature->record(i * nv + nv / 2), 1 / t, 0.02f / t, -1 / (R - t), 0.02f / (R - t), 2, -1);
  }

  // z = x^2 - y^2 with the normal up: it bends towards the normal along x.
  const int n = 40;
  auto saddle = heModel(testmesh::saddle(n, 1.0f));
  expectRecord(*estimate(*saddle)->record((n / 2) * (n + 1) + n / 2), 2, 0.1f, -2, 0.1f, 1, 0);
}

TEST(CurvatureFit, SmallFansSolveTheSquareAndTheUnderdeterminedSystems) {
  // Five rows for five unknowns; the paraboloid bends towards the normal (+z), so its curvatures are -a and -b.
  auto five = heModel(fan({10, 80, 150, 215, 290}, {0.02f, 0.025f, 0.018f, 0.022f, 0.02f}, 1.5f, -0.5f, true));
  ASSERT_EQ(five->valence(five->vertices[0]), 5);
  expectRecord(*estimate(*five)->record(0), 0.5f, 0.025f, -1.5f, 0.075f, 1, 0);
  // Two triangles: three rows, fewer than the five unknowns.
  auto three = heModel(fan({0, 50, 130}, {0.1f, 0.12f, 0.09f}, 1.0f, 0.5f, false));
  ASSERT_EQ(three->valence(three->vertices[0]), 3);
  EXPECT_FALSE(estimate(*three)->record(0)->degenerate);
}

// The fit solves as the matrix formulas do (least squares, square, least norm) and refuses singular systems.
TEST(CurvatureFit, FitPatchMatchesTheMatrixFormulasAndRefusesSingularSystems) {
  double x[5][3];
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (int m = 1; m <= 9; ++m) {
    SCOPED_TRACE("rows " + std::to_string(m));
    std::vector<SbCurvatureHQ::PatchRow> rows(m);
    math::matrix B(m, 5), D(m, 3);
    for (int i = 0; i < m; ++i) {
      const double u = 0.1 * uniform(random), v = 0.1 * uniform(random);
      const double b[5] = {u, v, u * u / 2, u * v, v * v / 2};
      for (int j = 0; j < 5; ++j) B(i, j) = rows[i].b[j] = b[j];
      for (int c = 0; c < 3; ++c) D(i, c) = rows[i].d[c] = uniform(random);
    }
    const math::matrix X = m > 5 ? !(~B * B) * ~B * D : m == 5 ? !B * D : ~B * !(B * ~B) * D;
    ASSERT_TRUE(SbCurvatureHQ::fitPatch(rows.data(), m, x));
    for (int j = 0; j < 5; ++j)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(x[j][c], X(j, c), 1e-7 * (1.0 + std::fabs(X(j, c))));
  }
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(nullptr, 0, x));
  std::vector<SbCurvatureHQ::PatchRow> rows(7);
  for (int i = 0; i < 6; ++i) {  // six rows on a line through the vertex: u, u^2 and nothing else
    const double u = 0.01 * (i + 1);
    rows[i] = {{u, 0, u * u / 2, 0, 0}, {u, 0, 0}};
  }
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(rows.data(), 6, x));
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(rows.data(), 5, x));
  rows[1] = rows[0];  // two identical rows
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(rows.data(), 2, x));
  // Only the scale of the system matters, not its units: a tiny well-posed patch still solves.
  for (int i = 0; i < 7; ++i) {
    const double t = 2 * 3.14159265358979 * i / 7, u = 1e-4 * std::cos(t), v = 1e-4 * std::sin(t);
    rows[i] = {{u, v, u * u / 2, u * v, v * v / 2}, {u, v, -(u * u + v * v) / 2}};
  }
  ASSERT_TRUE(SbCurvatureHQ::fitPatch(rows.data(), 7, x));
  EXPECT_TRUE(std::fabs(x[2][2] + 1.0) <= 1e-6 && std::fabs(x[4][2] + 1.0) <= 1e-6) << x[2][2] << " " << x[4][2];
}

// Flat vertices take a frame from x (from y when the normal lies along x): max = n x a, min = n x max.
TEST(CurvatureFallback, PlanesInEveryOrientationAndScaleAreFlat) {
  PolyMesh mesh = testmesh::singleTriangle();
  mesh.addVertex({5, 5, 5});  // in no face
  auto grid = heModel(testmesh::grid(4, 4)), lone = heModel(mesh);
  ASSERT_EQ(lone->vertices[3]->halfEdge, nullptr);
  lone->vertices[3]->normal.setValue(1, 0, 0);
  auto flat = estimate(*grid), single = estimate(*lone);
  const CurvatureRecord &c = *flat->record(2 * 5 + 2), &l = *single->record(3);
  EXPECT_TRUE(c.degenerate && l.degenerate);
  EXPECT_EQ(std::make_pair(c.maxDirection, c.minDirection), std::make_pair(SbVec3f(0, 1, 0), SbVec3f(-1, 0, 0)));
  EXPECT_EQ(std::make_pair(l.maxDirection, l.minDirection), std::make_pair(SbVec3f(0, 0, 1), SbVec3f(0, -1, 0)));
  // Rounding leaves the tilted copies' neighbours a few units in the last place off the tangent plane; that is no
  // curvature, at the border neither.
  // clang-format off
  const struct { SbVec3f axis; float angle, scale; SbVec3f shift; } poses[] = {
      {{1, 2, 3}, 0.7f, 1.0f, {0, 0, 0}}, {{-1, 0.3f, 2}, 1.9f, 1e-3f, {5e-3f, -3e-3f, 0}},
      {{0, 1, 0}, 0.5f, 1e3f, {0, 0, 4e3f}}, {{1, 1, 0}, 2.5f, 37.0f, {-100, 20, 3}},
      {{0, 0, 1}, 1.0f, 1e-5f, {0, 0, 0}}};
  // clang-format on
  for (const auto& pose : poses) {
    SCOPED_TRACE("scale " + std::to_string(pose.scale));
    PolyMesh plane = testmesh::grid(12, 9);
    for (SbVec3f& p : plane.positions) {
      SbVec3f q;
      SbRotation(pose.axis, pose.angle).multVec(p * pose.scale, q);
      p = q + pose.shift;
    }
    auto model = heModel(plane);
    auto curvature = estimate(*model);
    for (const CurvatureRecord* r : curvature->records) ASSERT_TRUE(r->degenerate);
  }
}

// Zero-area triangles (a collapsed row, three collinear corners), a NaN coordinate, a bump far below float noise, a
// vertex without a normal, and every test mesh: sound records (checked by estimate()).
TEST(CurvatureFallback, EveryTestMeshGivesSoundRecords) {
  PolyMesh collapsed = testmesh::grid(4, 4), collinear = testmesh::grid(3, 3), notANumber = collinear,
           bumpy = testmesh::grid(6, 6), lone = testmesh::singleTriangle();
  for (int i = 0; i <= 4; ++i) collapsed.positions[2 * 5 + i] = collapsed.positions[1 * 5 + i];
  collinear.positions[1] = SbVec3f(1.0f / 6, 1.0f / 6, 0.0f);  // on the line from 0 to 5
  notANumber.positions[5][2] = std::nanf("");
  bumpy.positions[3 * 7 + 3][2] = 1e-30f;
  lone.addVertex({5, 5, 5});
  std::vector<testmesh::NamedMesh> meshes = testmesh::catalogue();
  for (const PolyMesh& m : {collapsed, collinear, notANumber, bumpy, testmesh::nonManifoldFan(),
                            testmesh::mobiusStrip(12), testmesh::geodesicSphere(3)})
    meshes.push_back({"odd", m, 0, false});
  for (const auto& c : meshes) {
    SCOPED_TRACE(c.name);
    estimate(*heModel(c.mesh));
  }
  auto triangle = heModel(lone);
  triangle->vertices[3]->normal.setValue(0, 0, 0);
  auto curvature = estimate(*triangle);
  for (const CurvatureRecord* r : curvature->records) EXPECT_TRUE(r->degenerate) << "flat everywhere";
}

// Records replaced (not added) and given back on clear, new stamps; one progress line, same records on any threads.
TEST(CurvatureObject, StampsRecordsAndOneProgressLineOnAnyThreadCount) {
  auto small = heModel(testmesh::icosphere(2));  // sequential
  PolyMesh mesh = testmesh::icosphere(5);        // both threads
  std::mt19937 random(3);
  std::uniform_real_distribution<float> jitter(-0.002f, 0.002f);
  for (SbVec3f& p : mesh.positions) p += SbVec3f(jitter(random), jitter(random), jitter(random));
  auto large = heModel(mesh);
  const int liveBefore = SbCurvatureHQ::recordPool.live();
  for (SbHeModelHQ* model : {small.get(), large.get()}) {
    SbCurvatureHQ sequential, parallel;
    EXPECT_NE(parallel.modelStamp, model->stamp);
    sequential.setThreadCount(1);
    for (SbCurvatureHQ* c : {&sequential, &parallel, &parallel}) {
      const uint32_t stamp = c->stamp;
      testing::internal::CaptureStdout();
      c->from(*model);
      EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
                "SbCurvatureHQ::from: 0...25...50...75...100, T.TTms\n");
      EXPECT_NE(c->stamp, stamp);
      EXPECT_EQ(c->modelStamp, model->stamp);
    }
    EXPECT_EQ(SbCurvatureHQ::recordPool.live(), liveBefore + 2 * model->vertexCount());
    ASSERT_EQ(sequential.size(), parallel.size());
    for (int i = 0; i < sequential.size(); ++i)
      ASSERT_EQ(std::memcmp(sequential.record(i), parallel.record(i), 33), 0) << "vertex " << i;
    const uint32_t stamp = parallel.stamp;
    parallel.clear();
    EXPECT_TRUE(parallel.size() == 0 && parallel.stamp != stamp && parallel.modelStamp != model->stamp);
  }
  EXPECT_EQ(SbCurvatureHQ::recordPool.live(), liveBefore);
  SbHeModelHQ empty;
  SbCurvatureHQ curvature;
  testing::internal::CaptureStdout();
  curvature.from(empty);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(curvature.size() == 0 && curvature.modelStamp == empty.stamp);
}

namespace {
class CurvatureNode : public testing::Test {
 protected:
  void SetUp() override {
    root->ref();
    root->addChild(new StateStep([this](SoState* s, SoNode* n) { SoHeModelElementHQ::set(s, n, model); }));
    node->addChild(new StateStep([this](SoState* s, SoNode*) { seen.push_back(SoCurvatureElementHQ::get(s)); }));
    root->addChild(node);
  }
  void TearDown() override {
    progressHook = nullptr;
    root->unref();
  }
  // How often the traversal estimated (its output kept in `out`); checks what the node's child saw.
  int estimates(SbCurvatureHQ* expected) {
    seen.clear();
    testing::internal::CaptureStdout();
    SoCallbackAction().apply(root);
    EXPECT_EQ(seen, std::vector<SbCurvatureHQ*>{expected});
    out = testing::internal::GetCapturedStdout();
    return countOf(out, "SbCurvatureHQ::from");
  }
  // Whether the estimate is of the model as it is now.
  bool current() const { return curvature.size() == model->vertexCount() && curvature.modelStamp == model->stamp; }

  SoSeparator* root = new SoSeparator;
  SoGenerateCurvatureHQ* node = new SoGenerateCurvatureHQ;
  SbCurvatureHQ& curvature = node->curvature();
  SbHeModelHQ* model = nullptr;      // published before the node
  std::vector<SbCurvatureHQ*> seen;  // by its child
  std::string out;
};
}  // namespace

TEST_F(CurvatureNode, EstimatesOncePerModelStampAndPublishesNullWithoutAModel) {
  EXPECT_EQ(SoType::fromName("SoGenerateCurvatureHQ"), SoGenerateCurvatureHQ::getClassTypeId());
  EXPECT_EQ(estimates(nullptr), 0);
  auto m = heModel(testmesh::icosphere(2));
  model = m.get();
  EXPECT_EQ(estimates(&curvature), 1);
  EXPECT_TRUE(current());
  const uint32_t stamp = curvature.stamp;
  EXPECT_EQ(estimates(&curvature), 0);
  EXPECT_EQ(curvature.stamp, stamp);
  model->build(testmesh::model(testmesh::icosphere(1)));
  EXPECT_EQ(estimates(&curvature), 1);
  EXPECT_TRUE(curvature.stamp != stamp && current());
}

// A failure inside the estimate (here the application's progress callback throws) is reported; the node publishes an
// empty estimate that matches no model, so the next traversal tries again.
TEST_F(CurvatureNode, FailedEstimateIsReportedClearedAndRetried) {
  auto m = heModel(testmesh::icosphere(2));
  model = m.get();
  const int liveBefore = SbCurvatureHQ::recordPool.live();
  progressHook = [](void*, int, int phase) {
    if (phase == 0) throw std::runtime_error("cancelled");
  };
  estimates(&curvature);
  EXPECT_EQ(out, "SbCurvatureHQ::from: 0SoGenerateCurvatureHQ: cancelled\n");
  EXPECT_TRUE(curvature.size() == 0 && curvature.modelStamp != model->stamp);
  EXPECT_EQ(SbCurvatureHQ::recordPool.live(), liveBefore);
  progressHook = nullptr;
  EXPECT_EQ(estimates(&curvature), 1);
  EXPECT_TRUE(current());
}
