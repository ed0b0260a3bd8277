// The flow field: from curvature, its cost and optimisation, editing, clean-up, selection, and its nodes.

#include <gtest/gtest.h>

#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <new>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "AllocationGuard.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "curvature/SbCurvatureHQ.h"
#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

namespace {

const float kPi = 3.14159265358979f;

std::string capture(const std::function<void()>& run) {
  testing::internal::CaptureStdout();
  run();
  return testing::internal::GetCapturedStdout();
}

std::vector<SbVec3f> directionsOf(const SbFlowFieldHQ& field) {
  std::vector<SbVec3f> d;
  for (const FlowRecord* r : field.records) d.push_back(r->direction);
  return d;
}

// A model with its curvature and flow field, built quietly.
struct Field {
  explicit Field(const PolyMesh& mesh) {
    model.build(testmesh::model(mesh));
    fromOutput = capture([&] {
      curvature.from(model);
      field.from(model, curvature);
    });
  }
  FlowRecord& rec(int i) { return *field.records[i]; }
  void lockAll(bool locked) {
    for (FlowRecord* r : field.records) r->locked = locked;
  }
  // Turns vertex i's direction by angle about its normal, as the editing does.
  void turn(int i, float angle) {
    const SbVec3f& n = model.vertices[i]->normal;
    rec(i).direction = SbFlowFieldHQ::rotateAbout(rec(i).direction, n, angle);
    rec(i).cross = rec(i).direction.cross(n);
  }
  void turnAll(std::mt19937& random, float range) {
    std::uniform_real_distribution<float> noise(-range, range);
    for (int i = 0; i < field.size(); ++i) turn(i, noise(random));
  }
  FlowCostTerms terms() const {
    EdgeAngleTable table;
    FlowCostTerms t;
    field.buildEdgeAngles(model, table);
    field.costTerms(model, table, t);
    return t;
  }
  double cost() const {
    const FlowCostTerms t = terms();
    std::vector<double> x(t.variableCount(), 0.0), g(x.size());
    return SbFlowFieldHQ::evaluateCost(t, 0.0, x.data(), g.data());
  }
  std::vector<SbVec3f> directions() const { return directionsOf(field); }

  SbHeModelHQ model;
  SbCurvatureHQ curvature;
  SbFlowFieldHQ field;
  std::string fromOutput;
};

void expectUnitTangents(const Field& f) {
  ASSERT_EQ(f.field.size(), f.model.vertexCount());
  for (int i = 0; i < f.field.size(); ++i) {
    const FlowRecord& r = *f.field.record(i);
    const float along = r.direction.dot(f.model.vertices[i]->normal);
    ASSERT_TRUE(std::fabs(r.direction.length() - 1) < 1e-5f && std::fabs(along) < 1e-5f &&
                std::fabs(r.cross.length() - 1) < 1e-5f && !std::isnan(r.score))
        << "vertex " << i;
  }
}

const int kMiddle = 2 * 5 + 2;  // the middle vertex of grid(4, 4)

// The angle (degrees, 0 .. 45) between a direction and the nearer of the vertex's two principal lines.
float offPrincipal(const Field& f, int i) {
  const SbVec3f& n = f.model.vertices[i]->normal;
  SbVec3f a = f.curvature.record(i)->maxDirection;
  a = a - n * a.dot(n);
  a.normalize();
  const SbVec3f& d = f.field.record(i)->direction;
  const float angle = std::fmod(std::fabs(std::atan2(d.dot(a.cross(n)), d.dot(a))) * 180.0f / kPi, 90.0f);
  return angle > 45.0f ? 90.0f - angle : angle;
}

}  // namespace

TEST(FlowFieldFrom, FlatAndDegenerateMeshesGiveLockedUnitTangentsSilently) {
  Field flat(testmesh::grid(4, 4));
  for (int i = 0; i < flat.curvature.size(); ++i) ASSERT_TRUE(flat.curvature.record(i)->degenerate);
  // The initial optimisation has nothing to pull against and stays silent.
  EXPECT_EQ(flat.fromOutput.find("SbFlowFieldHQ"), std::string::npos) << flat.fromOutput;
  expectUnitTangents(flat);
  for (const FlowRecord* r : flat.field.records) EXPECT_TRUE(r->locked && r->score == 0.0f);
  EXPECT_EQ(flat.field.modelStamp, flat.model.stamp);
  expectUnitTangents(Field(testmesh::singleTriangle()));
  // A zero-length edge (two corners at one place) and a zero-area triangle.
  PolyMesh m = testmesh::grid(2, 2);
  const int c = m.addVertex(m.positions[4]);
  m.addFace({4, 5, c});
  Field pinched(m);
  const HalfEdge* h = pinched.model.findHalfEdge(pinched.model.vertices[4], pinched.model.vertices[c]);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(pinched.field.edgeAngle(h), 0.0f);
  capture([&] { pinched.field.rotate(pinched.model, 30.0f); });
  for (const FlowRecord* r : pinched.field.records) ASSERT_TRUE(std::isfinite(r->direction.dot(r->direction)));
}

TEST(FlowFieldFrom, MeanCurvatureSignChoosesTheLeadingDirection) {
  Field sphere(testmesh::icosphere(2));
  expectUnitTangents(sphere);
  for (int i = 0; i < sphere.field.size(); ++i) {
    const CurvatureRecord& c = *sphere.curvature.record(i);
    EXPECT_EQ(sphere.field.record(i)->locked, c.degenerate) << "vertex " << i;
    if (c.degenerate) continue;
    ASSERT_GE(c.maxCurvature + c.minCurvature, 0.0f);
    EXPECT_GT(std::fabs(sphere.field.record(i)->direction.dot(c.maxDirection)), 0.999f);
  }
  // Hand-made valid record at vertex 6: x the maximum direction, y the minimum; at mean 0 the maximum leads, below not.
  Field f(testmesh::grid(4, 4));
  CurvatureRecord& c = *f.curvature.records[6];
  c = {SbVec3f(1, 0, 0), SbVec3f(0, 1, 0), 1.0f, 0.0f, false};
  for (float minimum : {-1.0f, -2.0f}) {
    c.minCurvature = minimum;
    capture([&] { f.field.from(f.model, f.curvature); });
    EXPECT_EQ(f.field.record(6)->direction, minimum == -1.0f ? SbVec3f(1, 0, 0) : SbVec3f(0, 1, 0));
    EXPECT_FALSE(f.field.record(6)->locked);
  }
}

// A curvature or model the field was not built from changes nothing.
TEST(FlowFieldFrom, StaleModelOrCurvatureChangesNothing) {
  Field f(testmesh::icosphere(1));
  const uint32_t stamp = f.field.stamp;
  SbHeModelHQ other;
  other.build(testmesh::model(testmesh::tetrahedron()));
  f.field.from(other, f.curvature);
  EXPECT_TRUE(f.field.stamp == stamp && f.field.size() == f.model.vertexCount());
  f.lockAll(true);
  f.curvature.modelStamp = 0xffffffffu;
  f.field.select(f.model, f.curvature, SbFlowFieldHQ::SELECT_ALL, 0.5f, 0.04f);
  for (const FlowRecord* r : f.field.records) EXPECT_TRUE(r->locked);
  f.lockAll(false);
  f.model.build(testmesh::model(testmesh::icosphere(1)));  // same shape, new stamp
  const auto before = f.directions();
  EXPECT_EQ(capture([&] {
              f.field.rotate(f.model, 45.0f);
              f.field.relax(f.model);
              f.field.unify(f.model);
              f.field.optimize(f.model, 1.0f);
              f.field.select(f.model, f.curvature, SbFlowFieldHQ::SELECT_INVERSE, 0.5f, 0.1f);
              f.field.cleanUp(f.model, f.curvature);
            }),
            "");
  EXPECT_EQ(f.field.measureTurning(f.model, f.curvature).edges, 0);
  EXPECT_TRUE(f.directions() == before && f.field.stamp == stamp);
  for (const FlowRecord* r : f.field.records) EXPECT_FALSE(r->locked);
}

TEST(FlowFieldCost, GradientMatchesFiniteDifferences) {
  Field f(testmesh::icosphere(2));
  std::mt19937 random(11);
  f.turnAll(random, 0.8f);
  for (int i = 0; i < f.field.size(); ++i) f.rec(i).locked = i % 5 == 0;  // some edges to locked vertices
  const FlowCostTerms terms = f.terms();
  const int n = terms.variableCount();
  ASSERT_GT(n, 100);
  std::uniform_real_distribution<float> noise(-0.8f, 0.8f);
  std::vector<double> x(n), g(n), gp(n), xp;
  for (double& xi : x) xi = noise(random);
  for (double lambda : {0.0, 0.7}) {
    SbFlowFieldHQ::evaluateCost(terms, lambda, x.data(), g.data());
    const double step = 1e-6;
    for (int k = 0; k < n; k += 7) {
      xp = x;
      xp[k] = x[k] + step;
      const double fp = SbFlowFieldHQ::evaluateCost(terms, lambda, xp.data(), gp.data());
      xp[k] = x[k] - step;
      const double fm = SbFlowFieldHQ::evaluateCost(terms, lambda, xp.data(), gp.data());
      EXPECT_NEAR(g[k], (fp - fm) / (2 * step), 1e-5 * (1 + std::fabs(g[k]))) << k << " lambda " << lambda;
    }
  }
}

// Each ring term is at its least, -(2 lambda + 2); optimising then, or when all is locked, prints and changes nothing.
TEST(FlowFieldCost, AlignedFieldSitsAtTheMinimumOfEveryTerm) {
  Field f(testmesh::grid(5, 5)), noisy(testmesh::icosphere(2));
  f.lockAll(false);
  const FlowCostTerms terms = f.terms();
  std::vector<double> x(terms.variableCount(), 0.0), g(x.size());
  EXPECT_NEAR(SbFlowFieldHQ::evaluateCost(terms, 0.5, x.data(), g.data()), -3.0 * terms.neighbour.size(), 1e-9);
  for (double gk : g) EXPECT_NEAR(gk, 0.0, 1e-9);
  std::mt19937 random(3);
  noisy.turnAll(random, 1.0f);
  noisy.lockAll(true);
  for (Field* n : {&f, &noisy}) {
    const auto before = n->directions();
    const uint32_t stamp = n->field.stamp;
    EXPECT_EQ(capture([&] { n->field.optimize(n->model, n == &noisy ? 0.5f : 0.0f); }), "");
    EXPECT_TRUE(n->directions() == before && n->field.stamp == stamp);
  }
}

TEST(FlowFieldOptimize, LowersTheCostOfANoisySphereAndReportsIt) {
  Field f(testmesh::icosphere(3));
  std::mt19937 random(7);
  f.lockAll(false);
  f.turnAll(random, 0.6f);
  f.rec(0).locked = f.rec(1).locked = true;
  const SbVec3f locked0 = f.rec(0).direction, locked1 = f.rec(1).direction;
  const double before = f.cost();
  const uint32_t stamp = f.field.stamp;
  const std::string out = capture([&] { f.field.optimize(f.model, 0.0f); });
  std::smatch m;
  const std::regex report("SbFlowFieldHQ::optimize: ([0-9]+) iterations, (-?[0-9]+\\.[0-9]) -> (-?[0-9]+\\.[0-9])\n");
  ASSERT_TRUE(std::regex_match(out, m, report)) << out;
  EXPECT_GT(std::stoi(m[1]), 0);
  EXPECT_NEAR(std::stod(m[2]), before, 0.051);
  const double after = f.cost();
  EXPECT_LT(after, before - 100.0);
  EXPECT_NEAR(std::stod(m[3]), after, 1.0);
  EXPECT_NE(f.field.stamp, stamp);
  EXPECT_TRUE(f.rec(0).direction == locked0 && f.rec(1).direction == locked1);
  expectUnitTangents(f);
  // With a weight on equal turning the cost still goes down.
  f.turnAll(random, 0.6f);
  const double noisy = f.cost();
  capture([&] { f.field.optimize(f.model, 0.5f); });
  EXPECT_LT(f.cost(), noisy);
}

// Unify swaps back only where a quarter turn is strictly better; relax undoes a single turn.
TEST(FlowFieldEditing, UnifyAndRelaxUndoASingleEdit) {
  PolyMesh mesh = testmesh::grid(4, 4);
  const int lonely = mesh.addVertex({5, 5, 0});  // in no face: equal cost either way
  Field f(mesh);
  ASSERT_EQ(f.model.vertices[lonely]->halfEdge, nullptr);
  const int v = kMiddle;  // an interior vertex
  const SbVec3f along = f.rec(v).direction, lonelyDirection = f.rec(lonely).direction;
  std::swap(f.rec(v).direction, f.rec(v).cross);
  f.rec(v).locked = f.rec(lonely).locked = false;
  EdgeAngleTable table;
  f.field.buildEdgeAngles(f.model, table);
  std::vector<double> a(f.field.size(), 0.0);
  EXPECT_EQ(SbFlowFieldHQ::vertexCost(f.model.vertices[lonely], table, a), 0.0);
  uint32_t stamp = f.field.stamp;
  f.field.unify(f.model);
  EXPECT_TRUE(f.rec(v).direction == along && f.rec(lonely).direction == lonelyDirection);
  EXPECT_NE(f.field.stamp, stamp);
  // Now every neighbour agrees: a quarter turn only costs.
  f.field.buildEdgeAngles(f.model, table);
  EXPECT_NEAR(SbFlowFieldHQ::vertexCost(f.model.vertices[v], table, a), -12.0, 1e-9);
  a[v] = kPi / 2;
  EXPECT_NEAR(SbFlowFieldHQ::vertexCost(f.model.vertices[v], table, a), 0.0, 1e-6);
  stamp = f.field.stamp;
  f.field.unify(f.model);
  EXPECT_EQ(f.field.stamp, stamp);
  f.turn(v, 0.4f);
  f.field.relax(f.model);
  EXPECT_LT((f.rec(v).direction - along).length(), 1e-5f);
  EXPECT_NE(f.field.stamp, stamp);
}

TEST(FlowFieldEditing, RotateBackAndForthRestoresFreeDirections) {
  Field f(testmesh::icosphere(2));
  for (int i = 0; i < f.field.size(); ++i) f.rec(i).locked = i % 3 == 0;
  const auto before = f.directions();
  const uint32_t stamp = f.field.stamp;
  f.field.rotate(f.model, 90.0f);
  EXPECT_NE(f.field.stamp, stamp);
  for (int i = 0; i < f.field.size(); ++i)
    EXPECT_NEAR(f.rec(i).direction.dot(before[i]), f.rec(i).locked ? 1.0f : 0.0f, 1e-6f) << i;
  expectUnitTangents(f);
  f.field.rotate(f.model, -90.0f);
  for (int i = 0; i < f.field.size(); ++i) EXPECT_LT((f.rec(i).direction - before[i]).length(), 1e-6f) << i;
  // Turns too small to matter, or not a number, change nothing.
  const auto now = f.directions();
  const uint32_t restored = f.field.stamp;
  f.field.rotate(f.model, 0.0000001f);
  f.field.rotate(f.model, NAN);
  EXPECT_EQ(f.directions(), now);
  EXPECT_EQ(f.field.stamp, restored);
}

TEST(FlowFieldEditing, EveryCommandKeepsUnitTangentsOnEveryTestMesh) {
  // clang-format off
  const PolyMesh meshes[] = {
      testmesh::singleTriangle(), testmesh::tetrahedron(), testmesh::cube(), testmesh::quadFan(),
      testmesh::nonManifoldFan(), testmesh::mobiusStrip(12), testmesh::saddle(6, 1.0f),
      testmesh::torus(12, 8, 2.0f, 0.5f), testmesh::cylinder(12, 4, 1, 2), testmesh::geodesicSphere(2)};
  // clang-format on
  for (const PolyMesh& mesh : meshes) {
    Field f(mesh);
    SCOPED_TRACE(testing::Message() << mesh.positions.size() << " vertices");
    capture([&] {
      f.field.select(f.model, f.curvature, SbFlowFieldHQ::SELECT_ALL, 0, 0);
      f.field.rotate(f.model, 33.0f);
      f.field.relax(f.model);
      f.field.unify(f.model);
      f.field.optimize(f.model, 0.3f);
      for (int mode = 2; mode <= 4; ++mode) {
        f.field.select(f.model, f.curvature, mode, 0.5f, 0.3f);
        f.field.optimize(f.model, 0.0f);
        f.field.relax(f.model);
      }
      f.field.cleanUp(f.model, f.curvature);
    });
    expectUnitTangents(f);
    // The line turns the other way along an edge's twin, by a quarter at most.
    EdgeAngleTable table;
    f.field.buildEdgeAngles(f.model, table);
    EXPECT_EQ(table.size(), f.model.halfEdgeCount());
    for (const HeTriangle* t : f.model.triangles) {
      const HalfEdge* e = t->halfEdge;
      for (int k = 0; k < 3; ++k, e = e->next) {
        float a = 0, b = 0;
        ASSERT_TRUE(table.find(e, a) && table.find(e->twin, b));
        EXPECT_TRUE(std::fabs(a + b) < 1e-6f && std::fabs(a) <= kPi / 2 + 1e-6f) << a << " " << b;
      }
    }
  }
}

// On a cylinder every vertex is trusted (curvatures 1/r and 0) and the field follows the rings: nothing turns until one
// vertex is turned by a quarter, which turns every edge it has. A sphere is umbilic everywhere.
TEST(FlowFieldCleanUp, TurningCountsEdgesBetweenTrustedVertices) {
  Field f(testmesh::cylinder(24, 6, 1.0f, 2.0f));
  const SbFlowFieldHQ::Turning before = f.field.measureTurning(f.model, f.curvature);
  EXPECT_EQ(before.edges, 24 * 6 + 24 * 7 + 24 * 6);  // diagonals, rings, axial edges; none turns
  EXPECT_EQ(before.turning, 0);
  const int v = 3 * 24 + 5;
  f.turn(v, 0.5f * kPi);
  const SbFlowFieldHQ::Turning after = f.field.measureTurning(f.model, f.curvature);
  EXPECT_EQ(after.turning, f.model.valence(f.model.vertices[v]));
  EXPECT_EQ(after.text(), "field: 1.3% of edges turn > 30 deg (456 edges away from umbilics)");
  Field sphere(testmesh::icosphere(2));
  EXPECT_EQ(sphere.field.measureTurning(sphere.model, sphere.curvature).text(), "field: no edges away from umbilics");
}

namespace {
void mixedSignTorus(int around, int across, double turningShare) {
  Field f(testmesh::torus(around, across, 1.0f, 0.6f));
  const SbFlowFieldHQ::Turning before = f.field.measureTurning(f.model, f.curvature);
  ASSERT_GT(before.edges, 0);
  EXPECT_GT(before.share(), turningShare);
  const uint32_t stamp = f.field.stamp;
  f.field.cleanUp(f.model, f.curvature);
  EXPECT_NE(f.field.stamp, stamp);
  EXPECT_EQ(f.field.measureTurning(f.model, f.curvature).turning, 0);
  expectUnitTangents(f);
  // Every direction is still a principal line, and the trusted vertices are locked against later edits; cleaning a
  // clean field changes nothing.
  const float flat = SbFlowFieldHQ::flatCurvature(f.model);
  const auto clean = f.directions();
  f.field.cleanUp(f.model, f.curvature);
  for (int i = 0; i < f.field.size(); ++i) {
    EXPECT_LT(offPrincipal(f, i), 5.0f) << "vertex " << i;
    EXPECT_EQ(f.field.record(i)->locked, !SbFlowFieldHQ::isUmbilic(SbFlowFieldHQ::trust(*f.curvature.record(i), flat)));
    EXPECT_GT(std::fabs(f.field.record(i)->direction.dot(clean[i])), 0.9999f) << "vertex " << i;
  }
}
}  // namespace

// A fat torus: the mean curvature is positive outside and negative on the inner side, so from() leads with the tube's
// circles outside and with the long circles inside, a quarter turn apart where the sign changes. The finer torus has
// enough vertices for the clean-up to prepare on two threads.
TEST(FlowFieldCleanUp, MixedSignMeanCurvatureGetsOneFamilyOfLines) {
  mixedSignTorus(48, 32, 0.03);
  // The quarter turn lies along one ring of edges: a smaller share of the finer mesh's.
  mixedSignTorus(320, 208, 0.005);
}

// The curvature directions of a sphere are noise, those of an ellipsoid are trusted away from its four umbilics. Share
// of edges (all of them) along which the line turns by more than 30 degrees: from(), then after the clean-up, which
// must not exceed the given bound.
TEST(FlowFieldCleanUp, UmbilicRegionsGetASmoothField) {
  PolyMesh ellipsoid = testmesh::icosphere(4);
  for (SbVec3f& p : ellipsoid.positions) p.setValue(3.0f * p[0], 2.0f * p[1], p[2]);
  const struct Case {
    PolyMesh mesh;
    double from, bound;
  } cases[] = {{testmesh::icosphere(4), 0.25, 0.04}, {ellipsoid, 0.0, 0.005}};
  for (const auto& c : cases) {
    Field f(c.mesh);
    auto rough = [&] {
      int turning = 0, edges = 0;
      for (const HeTriangle* t : f.model.triangles) {
        const HalfEdge* h = t->halfEdge;
        for (int k = 0; k < 3; ++k, h = h->next, ++edges) turning += std::fabs(f.field.edgeAngle(h)) > kPi / 6;
      }
      return static_cast<double>(turning) / edges;
    };
    SCOPED_TRACE(testing::Message() << c.mesh.positions.size() << " vertices");
    EXPECT_GE(rough(), c.from);
    f.field.cleanUp(f.model, f.curvature);
    expectUnitTangents(f);
    EXPECT_LT(rough(), c.bound);
  }
}

// All frees, inverse locks, unknown modes do nothing; the tolerance locks the scores up to that share of the largest
// (0.5: 3.75), without a new stamp.
TEST(FlowFieldSelect, AllInverseAndToleranceSetTheLocks) {
  Field f(testmesh::grid(2, 2));
  const std::pair<int, bool> modes[] = {
      {SbFlowFieldHQ::SELECT_ALL, false}, {SbFlowFieldHQ::SELECT_INVERSE, true}, {5, true}, {-1, true}};
  for (const auto& [mode, locked] : modes) {
    f.field.select(f.model, f.curvature, mode, 0.5f, 0.04f);
    for (const FlowRecord* r : f.field.records) EXPECT_EQ(r->locked, locked) << mode;
  }
  for (int i = 0; i < 9; ++i) f.rec(i).score = i < 8 ? float(i) : 7.5f;
  const uint32_t stamp = f.field.stamp;
  for (const auto& [tolerance, lockedUpTo] : {std::pair<float, int>{0.0f, -1}, {1.0f, 7}, {0.5f, 3}}) {
    f.field.applyTolerance(tolerance);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(f.rec(i).locked, i <= lockedUpTo) << tolerance << " " << i;
  }
  EXPECT_EQ(f.field.stamp, stamp);
}

TEST(FlowFieldSelect, TensionScoresTheDifferencesAroundAVertex) {
  Field f(testmesh::grid(4, 4));
  const int v = kMiddle;
  f.turn(v, 0.25f);
  f.field.select(f.model, f.curvature, SbFlowFieldHQ::SELECT_TENSION_NEIGHBOURS, 1.0f, 0.0f);
  EXPECT_NEAR(f.rec(v).score, 6 * 0.25f, 1e-5f);
  EXPECT_FALSE(f.rec(v).locked);
  EXPECT_TRUE(f.rec(0).score == 0.0f && f.rec(0).locked);
  // A sphere about every vertex that holds the whole grid: every edge counts once, weight 1; six edges at v differ.
  const std::string out =
      capture([&] { f.field.select(f.model, f.curvature, SbFlowFieldHQ::SELECT_TENSION_GEODESIC, 0.0f, 10.0f); });
  EXPECT_NE(out.find("SbFlowFieldHQ::select"), std::string::npos) << out;
  const int edges = f.model.halfEdgeCount() / 2;
  for (int i = 0; i < f.field.size(); ++i) EXPECT_NEAR(f.rec(i).score, 6 * 0.25f / edges, 1e-6f) << i;
  // A radius that reaches no edge gives the largest float, which then dominates the threshold: every vertex stays free.
  capture([&] { f.field.select(f.model, f.curvature, SbFlowFieldHQ::SELECT_TENSION_GEODESIC, 0.5f, 1e-9f); });
  for (const FlowRecord* r : f.field.records) EXPECT_TRUE(r->score == FLT_MAX && !r->locked);
}

TEST(FlowFieldSelect, ShapeIndexScoresSpheresHighAndCylindersLow) {
  Field sphere(testmesh::icosphere(3)), tube(testmesh::cylinder(24, 12, 1.0f, 4.0f));
  sphere.field.select(sphere.model, sphere.curvature, SbFlowFieldHQ::SELECT_SHAPE_INDEX, 0.5f, 0);
  int valid = 0;
  for (int i = 0; i < sphere.field.size(); ++i) {
    const bool degenerate = sphere.curvature.record(i)->degenerate;
    valid += !degenerate;
    EXPECT_TRUE(degenerate ? sphere.rec(i).score == 1.0f : sphere.rec(i).score > 0.8f) << i;
  }
  EXPECT_GT(valid, sphere.field.size() / 2);
  tube.field.select(tube.model, tube.curvature, SbFlowFieldHQ::SELECT_SHAPE_INDEX, 0.5f, 0);
  for (int i = 24 * 2; i < 24 * 11; ++i) {  // away from the open ends
    ASSERT_FALSE(tube.curvature.record(i)->degenerate);
    EXPECT_LT(tube.rec(i).score, 0.1f) << "vertex " << i;
  }
}

TEST(FlowFieldSelect, SegmentInsideSphere) {
  // clang-format off
  const struct { const char* name; SbVec3f a, b; float share; } cases[] = {
      {"wholly inside", {-0.5f, 0, 0}, {0.5f, 0.2f, 0}, 1.0f}, {"through the centre", {-2, 0, 0}, {2, 0, 0}, 0.5f},
      {"leaving", {0, 0, 0}, {2, 0, 0}, 0.5f}, {"entering", {-2, 0, 0}, {0, 0, 0}, 0.5f},
      {"a chord", {-3, 0.6f, 0}, {3, 0.6f, 0}, 1.6f / 6}, {"pointing away", {2, 0, 0}, {4, 0, 0}, 0.0f},
      {"stopping short", {-4, 0, 0}, {-2, 0, 0}, 0.0f}, {"passing by", {-2, 1.5f, 0}, {2, 1.5f, 0}, 0.0f},
      {"a point outside", {2, 0, 0}, {2, 0, 0}, 0.0f}, {"a point inside", {0.5f, 0, 0}, {0.5f, 0, 0}, 1.0f}};
  // clang-format on
  for (const auto& c : cases)
    EXPECT_NEAR(SbFlowFieldHQ::segmentInsideSphere(c.a, c.b, SbVec3f(0, 0, 0), 1.0f), c.share, 1e-6f) << c.name;
}

namespace {
class FlowFieldNode : public testing::Test {
 protected:
  void SetUp() override {
    root->ref();
    root->addChild(new StateStep([this](SoState* s, SoNode* n) {
      SoHeModelElementHQ::set(s, n, publishModel ? &model : nullptr);
      SoCurvatureElementHQ::set(s, n, publishCurvature ? &curvature : nullptr);
      if (failNext) allocation::onSize(model.vertexCount() * sizeof(FlowRecord*), failNext);
    }));
    node->addChild(new StateStep([this](SoState* s, SoNode*) { seen.push_back(SoFlowFieldElementHQ::get(s)); }));
    root->addChild(node);
    model.build(testmesh::model(testmesh::icosphere(2)));
    newCurvature();
  }
  void TearDown() override {
    allocation::disarm();
    root->unref();
  }
  void newCurvature() {
    capture([&] { curvature.from(model); });
  }
  std::string traverse() {
    seen.clear();
    const std::string out = capture([&] { SoCallbackAction().apply(root); });
    allocation::disarm();
    failNext = nullptr;
    return out;
  }

  SoSeparator* root = new SoSeparator;
  SoGenerateFlowFieldHQ* node = new SoGenerateFlowFieldHQ;
  SbHeModelHQ model;
  SbCurvatureHQ curvature;
  bool publishModel = true, publishCurvature = true;
  void (*failNext)() = nullptr;  // armed for the field's records in the next traversal
  std::vector<SbFlowFieldHQ*> seen;
};
}  // namespace

TEST_F(FlowFieldNode, BuildsOnceForTwoTraversalsAndRebuildsForNewCurvature) {
  // Without a model or a curvature the published field is null.
  for (bool* off : {&publishModel, &publishCurvature}) {
    *off = false;
    EXPECT_EQ(traverse(), "");
    EXPECT_EQ(seen, std::vector<SbFlowFieldHQ*>{nullptr});
    *off = true;
  }
  traverse();
  SbFlowFieldHQ& field = node->flowField();
  EXPECT_EQ(seen, std::vector<SbFlowFieldHQ*>{&field});
  ASSERT_EQ(field.size(), model.vertexCount());
  const auto fresh = directionsOf(field);
  auto expectFresh = [&] {
    for (int i = 0; i < field.size(); ++i) EXPECT_LT((field.record(i)->direction - fresh[i]).length(), 1e-6f) << i;
  };
  // An edit survives a traversal with the same curvature; a new curvature stamp rebuilds the field and discards it.
  field.rotate(model, 30.0f);
  const uint32_t edited = field.stamp;
  traverse();
  EXPECT_EQ(field.stamp, edited);
  newCurvature();
  traverse();
  EXPECT_NE(field.stamp, edited);
  expectFresh();
  // The clean-up switched on rebuilds and cleans, as the field's own operations do; off brings back from()'s field.
  SbFlowFieldHQ cleaned;
  cleaned.initialise(model, curvature);
  cleaned.cleanUp(model, curvature);
  node->cleanUp = SoGenerateFlowFieldHQ::AUTO;
  const uint32_t plain = field.stamp;
  traverse();
  EXPECT_NE(field.stamp, plain);
  EXPECT_EQ(directionsOf(field), directionsOf(cleaned));
  node->cleanUp = SoGenerateFlowFieldHQ::NONE;
  traverse();
  expectFresh();
}

// A build that fails publishes an empty field, which matches no model, and says why: the field's own out-of-memory
// report, or the node's for any other failure; the next curvature builds again.
TEST_F(FlowFieldNode, FailedBuildPublishesAnEmptyFieldAndSaysWhy) {
  // clang-format off
  const struct { SoGenerateFlowFieldHQ::CleanUp mode; void (*fail)(); const char* message; } cases[] = {
      {SoGenerateFlowFieldHQ::NONE, [] { throw std::bad_alloc(); }, "SbFlowFieldHQ::from: out of memory\n"},
      {SoGenerateFlowFieldHQ::NONE, [] { throw std::length_error("vector::reserve"); },
       "SoGenerateFlowFieldHQ: vector::reserve\n"},
      {SoGenerateFlowFieldHQ::AUTO, [] { throw std::runtime_error("no memory"); },
       "SoGenerateFlowFieldHQ: no memory\n"}};
  // clang-format on
  const int liveBefore = SbFlowFieldHQ::recordPool.live();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    node->cleanUp = c.mode;
    newCurvature();
    failNext = c.fail;
    EXPECT_EQ(traverse(), c.message);
    EXPECT_EQ(seen, std::vector<SbFlowFieldHQ*>{&node->flowField()});
    EXPECT_EQ(node->flowField().size(), 0);
    EXPECT_FALSE(node->flowField().matches(model));
    EXPECT_EQ(SbFlowFieldHQ::recordPool.live(), liveBefore);
    newCurvature();
    traverse();
    EXPECT_TRUE(node->flowField().matches(model));
    node->flowField().clear();
    node->flowField().records.shrink_to_fit();  // so that the next build allocates
  }
}

TEST(FlowFieldDisplay, HalfLengthSpansEightViewportUnitsAtTheOrigin) {
  SbMatrix scale, moved;
  scale.setScale(SbVec3f(4, 4, 4));
  moved.setTranslate(SbVec3f(0.3f, -0.2f, 0.1f));
  for (const auto& [matrix, pixels, tolerance] :
       {std::tuple(SbMatrix::identity(), 8.0f, 1e-7f), std::tuple(scale, 2.0f, 1e-7f), std::tuple(moved, 8.0f, 1e-6f)})
    EXPECT_NEAR(SoFlowFieldHQ::halfLength(matrix, SbViewportRegion(640, 800)), pixels / 800, tolerance) << pixels;
}
