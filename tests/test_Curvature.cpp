#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoLabel.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/SbRotation.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "TestMeshes.h"
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

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t i = static_cast<size_t>(p * (values.size() - 1) + 0.5);
  return values[i];
}

// Invariants every record keeps, whatever the mesh.
void expectSound(const CurvatureRecord& r, const SbVec3f& normal, int vertex) {
  SCOPED_TRACE("vertex " + std::to_string(vertex));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(std::isfinite(r.maxDirection[i]));
    ASSERT_TRUE(std::isfinite(r.minDirection[i]));
  }
  ASSERT_TRUE(std::isfinite(r.maxCurvature));
  ASSERT_TRUE(std::isfinite(r.minCurvature));
  EXPECT_GE(r.maxCurvature, r.minCurvature);
  EXPECT_NEAR(r.maxDirection.length(), 1.0f, 1e-5f);
  EXPECT_NEAR(r.minDirection.length(), 1.0f, 1e-5f);
  if (r.degenerate) {
    EXPECT_EQ(r.maxCurvature, 0.0f);
    EXPECT_EQ(r.minCurvature, 0.0f);
    EXPECT_NEAR(r.maxDirection.dot(r.minDirection), 0.0f, 1e-6f);
    if (normal.length() > 0.5f) {
      EXPECT_NEAR(r.maxDirection.dot(normal), 0.0f, 1e-6f);
      EXPECT_NEAR(r.minDirection.dot(normal), 0.0f, 1e-6f);
    }
  }
}

void expectSound(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) {
  ASSERT_EQ(curvature.size(), model.vertexCount());
  for (int i = 0; i < model.vertexCount(); ++i)
    expectSound(*curvature.record(i), model.vertices[i]->normal, i);
}

// A vertex at the origin with `angles.size()` neighbours at the given angles
// (degrees, counter-clockwise seen from +z) and distances, lifted onto
// z = (a x^2 + b y^2) / 2. closed: a full fan; otherwise an open fan from the
// first neighbour to the last.
PolyMesh fan(const std::vector<float>& angles, const std::vector<float>& distances, float a,
             float b, bool closed) {
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

// ---------------------------------------------------------------- analytic truth

TEST(CurvatureAnalytic, SphereCurvaturesAreOneOverRadius) {
  const float r = 2.0f;
  auto model = heModel(testmesh::icosphere(5, r));  // 20480 faces
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  std::vector<double> maxError, minError;
  for (CurvatureRecord* rec : curvature.records) {
    maxError.push_back(std::fabs(rec->maxCurvature * r - 1.0));
    minError.push_back(std::fabs(rec->minCurvature * r - 1.0));
  }
  // Fallback records count as a full error: they are included.
  EXPECT_LT(percentile(maxError, 0.5), 0.01);
  EXPECT_LT(percentile(minError, 0.5), 0.01);
  EXPECT_LT(percentile(maxError, 0.99), 0.05);
  EXPECT_LT(percentile(minError, 0.99), 0.05);
}

TEST(CurvatureAnalytic, CylinderBendsAroundButNotAlongItsAxis) {
  const float r = 0.5f;
  const int around = 64, along = 40;
  auto model = heModel(testmesh::cylinder(around, along, r, 4.0f));
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  // The rims are borders: their fans are half turns, kept as such.
  int axialFirst = 0;
  for (int j = 0; j <= along; ++j)
    for (int i = 0; i < around; ++i) {
      const int v = j * around + i;
      SCOPED_TRACE("vertex " + std::to_string(v));
      const CurvatureRecord& rec = *curvature.record(v);
      // Vertices whose first neighbour lies along the axis: the quadratic's
      // leading coefficient vanishes and Pv is a principal direction.
      const HeVertex* hv = model->vertices[v];
      const SbVec3f firstEdge = hv->halfEdge->end->position - hv->position;
      if (std::fabs(firstEdge[0]) < 1e-6f && std::fabs(firstEdge[1]) < 1e-6f) ++axialFirst;
      ASSERT_FALSE(rec.degenerate);
      EXPECT_NEAR(rec.maxCurvature * r, 1.0f, 0.01f);
      EXPECT_NEAR(rec.minCurvature * r, 0.0f, 0.01f);
      EXPECT_GT(std::fabs(rec.minDirection[2]), 0.999f);
      EXPECT_LT(std::fabs(rec.maxDirection[2]), 0.05f);
    }
  EXPECT_GT(axialFirst, 0);
}

TEST(CurvatureAnalytic, TorusEquatorsHaveKnownCurvatures) {
  const float R = 2.0f, r = 0.5f;
  const int nu = 240, nv = 120;
  auto model = heModel(testmesh::torus(nu, nv, R, r));
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  for (int i = 0; i < nu; ++i) {
    SCOPED_TRACE("ring " + std::to_string(i));
    const CurvatureRecord& outer = *curvature.record(i * nv);
    const CurvatureRecord& inner = *curvature.record(i * nv + nv / 2);
    ASSERT_FALSE(outer.degenerate);
    ASSERT_FALSE(inner.degenerate);
    EXPECT_NEAR(outer.maxCurvature, 1.0f / r, 0.02f / r);
    EXPECT_NEAR(outer.minCurvature, 1.0f / (R + r), 0.02f / (R + r));
    EXPECT_NEAR(inner.maxCurvature, 1.0f / r, 0.02f / r);
    EXPECT_NEAR(inner.minCurvature, -1.0f / (R - r), 0.02f / (R - r));
    // Around the tube (along z at both equators) the surface bends most.
    EXPECT_GT(std::fabs(outer.maxDirection[2]), 0.99f);
    EXPECT_GT(std::fabs(inner.maxDirection[2]), 0.99f);
  }
}

TEST(CurvatureAnalytic, SaddleHasOppositeCurvatures) {
  // z = x^2 - y^2 with the normal up: it bends towards the normal along x.
  const int n = 40;
  auto model = heModel(testmesh::saddle(n, 1.0f));
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  const CurvatureRecord& centre = *curvature.record((n / 2) * (n + 1) + n / 2);
  ASSERT_FALSE(centre.degenerate);
  EXPECT_NEAR(centre.maxCurvature, 2.0f, 0.1f);
  EXPECT_NEAR(centre.minCurvature, -2.0f, 0.1f);
  EXPECT_GT(std::fabs(centre.maxDirection[1]), 0.99f);
  EXPECT_GT(std::fabs(centre.minDirection[0]), 0.99f);
}

// ---------------------------------------------------------------- fit regimes

TEST(CurvatureFit, ValenceFiveVertexSolvesTheSquareSystem) {
  // Five rows for five unknowns; the paraboloid bends towards the normal (+z),
  // so its curvatures are -a and -b.
  const float a = 1.5f, b = -0.5f;
  auto model = heModel(fan({10, 80, 150, 215, 290}, {0.02f, 0.025f, 0.018f, 0.022f, 0.02f}, a,
                           b, true));
  ASSERT_EQ(model->valence(model->vertices[0]), 5);
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  const CurvatureRecord& c = *curvature.record(0);
  ASSERT_FALSE(c.degenerate);
  EXPECT_NEAR(c.maxCurvature, -b, 0.05f * -b);
  EXPECT_NEAR(c.minCurvature, -a, 0.05f * a);
  EXPECT_GT(std::fabs(c.maxDirection[1]), 0.99f);
  EXPECT_GT(std::fabs(c.minDirection[0]), 0.99f);
}

TEST(CurvatureFit, BoundaryVertexWithThreeNeighboursUsesTheMinimumNormSolution) {
  // Two triangles: three outgoing half-edges, three rows, fewer than the five
  // unknowns.
  auto model = heModel(fan({0, 50, 130}, {0.1f, 0.12f, 0.09f}, 1.0f, 0.5f, false));
  ASSERT_EQ(model->valence(model->vertices[0]), 3);
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  EXPECT_FALSE(curvature.record(0)->degenerate);
}

TEST(CurvatureFit, FitPatchMatchesTheMatrixFormulas) {
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
    math::matrix X;
    if (m > 5)
      X = !(~B * B) * ~B * D;
    else if (m == 5)
      X = !B * D;
    else
      X = ~B * !(B * ~B) * D;
    double x[5][3];
    ASSERT_TRUE(SbCurvatureHQ::fitPatch(rows.data(), m, x));
    for (int j = 0; j < 5; ++j)
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(x[j][c], X(j, c), 1e-7 * (1.0 + std::fabs(X(j, c))));
  }
}

TEST(CurvatureFit, FitPatchRefusesSingularSystems) {
  double x[5][3];
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(nullptr, 0, x));
  // Six rows on a line through the vertex: u, u^2 and nothing else.
  std::vector<SbCurvatureHQ::PatchRow> rows(6);
  for (int i = 0; i < 6; ++i) {
    const double u = 0.01 * (i + 1);
    rows[i] = {{u, 0, u * u / 2, 0, 0}, {u, 0, 0}};
  }
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(rows.data(), 6, x));
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(rows.data(), 5, x));
  // Two identical rows.
  rows[1] = rows[0];
  EXPECT_FALSE(SbCurvatureHQ::fitPatch(rows.data(), 2, x));
  // Only the scale of the system matters, not its units: a tiny well-posed
  // patch still solves.
  std::vector<SbCurvatureHQ::PatchRow> tiny(7);
  for (int i = 0; i < 7; ++i) {
    const double t = 2 * 3.14159265358979 * i / 7, rho = 1e-4;
    const double u = rho * std::cos(t), v = rho * std::sin(t);
    tiny[i] = {{u, v, u * u / 2, u * v, v * v / 2}, {u, v, -(u * u + v * v) / 2}};
  }
  ASSERT_TRUE(SbCurvatureHQ::fitPatch(tiny.data(), 7, x));
  EXPECT_NEAR(x[2][2], -1.0, 1e-6);
  EXPECT_NEAR(x[4][2], -1.0, 1e-6);
}

// ---------------------------------------------------------------- fallbacks

TEST(CurvatureFallback, FlatVertexGetsTheFrameFromX) {
  auto model = heModel(testmesh::grid(4, 4));
  SbCurvatureHQ curvature;
  curvature.from(*model);
  expectSound(*model, curvature);
  const CurvatureRecord& c = *curvature.record(2 * 5 + 2);
  EXPECT_TRUE(c.degenerate);
  EXPECT_EQ(c.maxCurvature, 0.0f);
  EXPECT_EQ(c.minCurvature, 0.0f);
  // n = +z, a = x: max = n x a = +y, min = n x max = -x.
  EXPECT_EQ(c.maxDirection, SbVec3f(0, 1, 0));
  EXPECT_EQ(c.minDirection, SbVec3f(-1, 0, 0));
}

TEST(CurvatureFallback, TiltedPlanesAreFlatInEveryOrientationAndScale) {
  // Rounding leaves the tilted copies' neighbours a few units in the last
  // place off the tangent plane; that is no curvature, at the border neither.
  const struct {
    SbVec3f axis;
    float angle, scale;
    SbVec3f shift;
  } poses[] = {{{1, 2, 3}, 0.7f, 1.0f, {0, 0, 0}},     {{-1, 0.3f, 2}, 1.9f, 1e-3f, {5e-3f, -3e-3f, 0}},
               {{0, 1, 0}, 0.5f, 1e3f, {0, 0, 4e3f}},  {{1, 1, 0}, 2.5f, 37.0f, {-100, 20, 3}},
               {{0, 0, 1}, 1.0f, 1e-5f, {0, 0, 0}}};
  for (const auto& pose : poses) {
    SCOPED_TRACE("scale " + std::to_string(pose.scale));
    PolyMesh plane = testmesh::grid(12, 9);
    const SbRotation turn(pose.axis, pose.angle);
    for (SbVec3f& p : plane.positions) {
      SbVec3f q;
      turn.multVec(p * pose.scale, q);
      p = q + pose.shift;
    }
    auto model = heModel(plane);
    SbCurvatureHQ curvature;
    curvature.from(*model);
    expectSound(*model, curvature);
    for (const CurvatureRecord* r : curvature.records) ASSERT_TRUE(r->degenerate);
  }
}

TEST(CurvatureFallback, IsolatedVertexAlongXTakesTheFrameFromY) {
  PolyMesh mesh = testmesh::singleTriangle();
  mesh.addVertex({5, 5, 5});  // in no face
  auto model = heModel(mesh);
  ASSERT_EQ(model->vertexCount(), 4);
  ASSERT_EQ(model->vertices[3]->halfEdge, nullptr);
  model->vertices[3]->normal.setValue(1, 0, 0);
  SbCurvatureHQ curvature;
  curvature.from(*model);
  const CurvatureRecord& c = *curvature.record(3);
  EXPECT_TRUE(c.degenerate);
  EXPECT_EQ(c.maxCurvature, 0.0f);
  // n = x, a = y: max = x cross y = z, min = x cross z = -y.
  EXPECT_EQ(c.maxDirection, SbVec3f(0, 0, 1));
  EXPECT_EQ(c.minDirection, SbVec3f(0, -1, 0));

  // Without any normal the frame is still orthonormal.
  model->vertices[3]->normal.setValue(0, 0, 0);
  curvature.from(*model);
  expectSound(*model, curvature);
  EXPECT_TRUE(curvature.record(3)->degenerate);
}

TEST(CurvatureFallback, NoRecordIsNaNOnDegenerateMeshes) {
  // Zero-area triangles: a grid whose middle row is collapsed onto the row
  // below it, and one whose corner triangle has three collinear corners.
  PolyMesh collapsed = testmesh::grid(4, 4);
  for (int i = 0; i <= 4; ++i) collapsed.positions[2 * 5 + i] = collapsed.positions[1 * 5 + i];
  PolyMesh collinear = testmesh::grid(3, 3);
  collinear.positions[1] = SbVec3f(1.0f / 6, 1.0f / 6, 0.0f);  // on the line from 0 to 5
  PolyMesh notANumber = testmesh::grid(3, 3);
  notANumber.positions[5][2] = std::nanf("");
  PolyMesh bumpy = testmesh::grid(6, 6);
  bumpy.positions[3 * 7 + 3][2] = 1e-30f;  // curvature far below float noise
  const PolyMesh meshes[] = {testmesh::grid(5, 5),        testmesh::singleTriangle(),
                             collapsed,                   collinear,
                             bumpy,                       testmesh::tetrahedron(),
                             testmesh::cube(),            testmesh::nonManifoldFan(),
                             testmesh::mobiusStrip(12),   testmesh::quadFan(),
                             notANumber};
  int index = 0;
  for (const PolyMesh& mesh : meshes) {
    SCOPED_TRACE("mesh " + std::to_string(index++));
    auto model = heModel(mesh);
    SbCurvatureHQ curvature;
    curvature.from(*model);
    expectSound(*model, curvature);
  }
  // The flat ones are flat everywhere.
  auto single = heModel(testmesh::singleTriangle());
  SbCurvatureHQ curvature;
  curvature.from(*single);
  for (CurvatureRecord* r : curvature.records) EXPECT_TRUE(r->degenerate);
}

// ---------------------------------------------------------------- object

TEST(CurvatureObject, StampsFollowTheModel) {
  auto model = heModel(testmesh::icosphere(2));
  SbCurvatureHQ curvature;
  EXPECT_NE(curvature.modelStamp, model->stamp);
  EXPECT_EQ(curvature.size(), 0);
  const int liveBefore = SbCurvatureHQ::recordPool.live();

  testing::internal::CaptureStdout();
  curvature.from(*model);
  const uint32_t first = curvature.stamp;
  EXPECT_EQ(curvature.modelStamp, model->stamp);
  EXPECT_EQ(curvature.size(), model->vertexCount());
  EXPECT_EQ(SbCurvatureHQ::recordPool.live(), liveBefore + model->vertexCount());

  curvature.from(*model);  // records replaced, not added
  EXPECT_NE(curvature.stamp, first);
  EXPECT_EQ(SbCurvatureHQ::recordPool.live(), liveBefore + model->vertexCount());
  testing::internal::GetCapturedStdout();

  const uint32_t stamp = curvature.stamp;
  curvature.clear();
  EXPECT_EQ(curvature.size(), 0);
  EXPECT_NE(curvature.stamp, stamp);
  EXPECT_NE(curvature.modelStamp, model->stamp);
  EXPECT_EQ(SbCurvatureHQ::recordPool.live(), liveBefore);
}

TEST(CurvatureObject, ProgressMeterPrintsOneLine) {
  auto small = heModel(testmesh::icosphere(2));    // sequential
  auto large = heModel(testmesh::icosphere(5));    // both threads
  for (SbHeModelHQ* model : {small.get(), large.get()}) {
    SbCurvatureHQ curvature;
    testing::internal::CaptureStdout();
    curvature.from(*model);
    EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
              "SbCurvatureHQ::from: 0...25...50...75...100, T.TTms\n");
  }
  SbHeModelHQ empty;
  SbCurvatureHQ curvature;
  testing::internal::CaptureStdout();
  curvature.from(empty);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(curvature.size(), 0);
  EXPECT_EQ(curvature.modelStamp, empty.stamp);
}

TEST(CurvatureObject, RecordsDoNotDependOnTheThreadCount) {
  PolyMesh mesh = testmesh::icosphere(5);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> jitter(-0.002f, 0.002f);
  for (SbVec3f& p : mesh.positions) p += SbVec3f(jitter(random), jitter(random), jitter(random));
  auto model = heModel(mesh);
  SbCurvatureHQ sequential, parallel;
  sequential.setThreadCount(1);
  parallel.setThreadCount(2);
  testing::internal::CaptureStdout();
  sequential.from(*model);
  parallel.from(*model);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(sequential.size(), parallel.size());
  for (int i = 0; i < sequential.size(); ++i)
    ASSERT_EQ(std::memcmp(sequential.record(i), parallel.record(i), 33), 0) << "vertex " << i;
}

// ---------------------------------------------------------------- node

namespace {
struct NodeProbe {
  SbHeModelHQ* model = nullptr;  // what the injector publishes
  std::vector<SbCurvatureHQ*> seen;
};

SoCallbackAction::Response injectModel(void* data, SoCallbackAction* action, const SoNode* node) {
  SoHeModelElementHQ::set(action->getState(), const_cast<SoNode*>(node),
                          static_cast<NodeProbe*>(data)->model);
  return SoCallbackAction::CONTINUE;
}

SoCallbackAction::Response readCurvature(void* data, SoCallbackAction* action, const SoNode*) {
  static_cast<NodeProbe*>(data)->seen.push_back(SoCurvatureElementHQ::get(action->getState()));
  return SoCallbackAction::CONTINUE;
}

class CurvatureNode : public testing::Test {
 protected:
  void SetUp() override {
    root = new SoSeparator;
    root->ref();
    root->addChild(new SoInfo);  // publishes probe.model
    node = new SoGenerateCurvatureHQ;
    node->addChild(new SoLabel);  // reads the curvature below the node
    root->addChild(node);
  }
  void TearDown() override { root->unref(); }

  std::string traverse() {
    probe.seen.clear();
    SoCallbackAction action;
    action.addPreCallback(SoInfo::getClassTypeId(), injectModel, &probe);
    action.addPreCallback(SoLabel::getClassTypeId(), readCurvature, &probe);
    testing::internal::CaptureStdout();
    action.apply(root);
    return testing::internal::GetCapturedStdout();
  }

  SoSeparator* root = nullptr;
  SoGenerateCurvatureHQ* node = nullptr;
  NodeProbe probe;
};
}  // namespace

TEST_F(CurvatureNode, IsAGroupRegisteredUnderItsName) {
  EXPECT_EQ(SoType::fromName("SoGenerateCurvatureHQ"), SoGenerateCurvatureHQ::getClassTypeId());
  EXPECT_TRUE(node->isOfType(SoGroup::getClassTypeId()));
  SoFieldList fields;
  EXPECT_EQ(node->getFields(fields), 0);
}

TEST_F(CurvatureNode, ComputesOnceForTwoTraversals) {
  auto model = heModel(testmesh::icosphere(2));
  probe.model = model.get();
  EXPECT_EQ(countOf(traverse(), "SbCurvatureHQ::from"), 1);
  ASSERT_EQ(probe.seen.size(), 1u);
  EXPECT_EQ(probe.seen[0], &node->curvature());
  EXPECT_EQ(node->curvature().size(), model->vertexCount());
  const uint32_t stamp = node->curvature().stamp;

  EXPECT_EQ(countOf(traverse(), "SbCurvatureHQ::from"), 0);
  EXPECT_EQ(node->curvature().stamp, stamp);
  ASSERT_EQ(probe.seen.size(), 1u);
  EXPECT_EQ(probe.seen[0], &node->curvature());
}

TEST_F(CurvatureNode, RecomputesForANewModelStamp) {
  auto model = heModel(testmesh::icosphere(2));
  probe.model = model.get();
  traverse();
  const uint32_t stamp = node->curvature().stamp;
  model->build(testmesh::model(testmesh::icosphere(1)));
  EXPECT_EQ(countOf(traverse(), "SbCurvatureHQ::from"), 1);
  EXPECT_NE(node->curvature().stamp, stamp);
  EXPECT_EQ(node->curvature().modelStamp, model->stamp);
  EXPECT_EQ(node->curvature().size(), model->vertexCount());
}

TEST_F(CurvatureNode, PublishesNullWithoutAModel) {
  probe.model = nullptr;
  EXPECT_EQ(traverse(), "");
  ASSERT_EQ(probe.seen.size(), 1u);
  EXPECT_EQ(probe.seen[0], nullptr);
}
