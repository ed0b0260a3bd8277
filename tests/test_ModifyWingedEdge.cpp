#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "AllocationGuard.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbConnectObjects.h"
#include "mesh/SbHeModelHQ.h"
#include "mesh/SbMeshOperations.h"
#include "mesh/SbPolygonation.h"
#include "mesh/SbSharpEdges.h"
#include "mesh/SbSmoothing.h"
#include "mesh/SbSubdivision.h"
#include "mesh/SbWingedEdgeBuilder.h"
#include "mesh/SoModifyWingedEdge.h"

namespace {

using testmesh::boundaryEdges;
using testmesh::linkProblem;

// What the thing printed on the console.
template <class F>
std::string printed(F&& what) {
  testing::internal::CaptureStdout();
  what();
  return testing::internal::GetCapturedStdout();
}

// A built model and the working copy a generator would publish, then the modifier.
struct Scene {
  SbWingedEdgeModel built, working;
  SoSeparator* root = new SoSeparator;
  SoModifyWingedEdge* modifier = new SoModifyWingedEdge;

  explicit Scene(SbWingedEdgeModel model, bool withSource = true) : built(std::move(model)) {
    working.copyGeometryFrom(built);
    working.source = withSource ? &built : nullptr;
    root->ref();
    root->addChild(new StateStep([this](SoState* s, SoNode* node) { SoWingedEdgeElement::set(s, node, &working); }));
    root->addChild(modifier);
  }
  ~Scene() { root->unref(); }
  std::string traverse() {  // what the traversal printed
    return printed([this] { SoCallbackAction().apply(root); });
  }
};

void expectSameGeometry(const SbWingedEdgeModel& a, const SbWingedEdgeModel& b) {
  ASSERT_EQ(a.objects.size(), b.objects.size());
  for (size_t i = 0; i < a.objects.size(); ++i) {
    const WeObject &x = a.objects[i], &y = b.objects[i];
    ASSERT_EQ(std::make_tuple(x.vertices.size(), x.faces.size(), x.edges.size()),
              std::make_tuple(y.vertices.size(), y.faces.size(), y.edges.size()));
    for (size_t v = 0; v < x.vertices.size(); ++v)
      EXPECT_TRUE(x.vertices[v].position == y.vertices[v].position && x.vertices[v].flags == y.vertices[v].flags)
          << "vertex " << v;
    for (int f = 0; f < static_cast<int>(x.faces.size()); ++f)
      EXPECT_EQ(testmesh::corners(x, f), testmesh::corners(y, f)) << "face " << f;
  }
}

double radiusVariance(const WeObject& o) {
  double sum = 0, sum2 = 0;
  for (const WeVertex& v : o.vertices) sum += v.position.length(), sum2 += v.position.sqrLength();
  const double n = static_cast<double>(o.vertices.size());
  return sum2 / n - (sum / n) * (sum / n);
}

PolyMesh bumpySphere() {
  PolyMesh m = testmesh::icosphere(3);
  for (size_t i = 0; i < m.positions.size(); ++i) m.positions[i] *= 1.0f + 0.05f * std::sin(37.0f * float(i));
  return m;
}

// A 3 x 3 grid of quads without its middle one: one coplanar ring.
PolyMesh holedGrid() {
  PolyMesh ring = testmesh::grid(3, 3, 3.0f, false), holed;
  holed.positions = ring.positions;
  for (int f = 0; f < ring.faceCount(); ++f)
    if (f != 4) holed.addFace(std::vector<int>(&ring.corners[ring.faceStart[f]], &ring.corners[ring.faceStart[f + 1]]));
  return holed;
}

}  // namespace

// Every operation keeps the links whole and the Euler characteristic (large
// faces merge only discs); closed surfaces stay closed.
TEST(MeshInvariants, HoldOnEveryTestMeshThroughEveryOperation) {
  using S = SbSubdivision;
  using Run = std::function<void(SbWingedEdgeModel&)>;
  SbMeshOperations::Settings all;
  all.connectObjects = all.polygonation = all.useSharpAngles = true;
  all.dividingSteps = all.adaptiveSubdivisionSteps = all.subdivisionSteps = all.smoothingSteps = 1;
  const struct {
    const char* name;
    Run run;
    bool openMeshes;
    int passes = 2;
  } operations[] = {
      {"build", [](SbWingedEdgeModel&) {}, true},
      {"Doo-Sabin", [](SbWingedEdgeModel& m) { S::step(m.objects[0], S::DOO_SABIN, true); }, false},
      {"Catmull-Clark", [](SbWingedEdgeModel& m) { S::step(m.objects[0], S::CATMULL_CLARK, true); }, true},
      {"Loop", [](SbWingedEdgeModel& m) { S::step(m.objects[0], S::LOOP, true); }, true},
      {"Butterfly", [](SbWingedEdgeModel& m) { S::step(m.objects[0], S::BUTTERFLY, true); }, true},
      {"Loop dividing", [](SbWingedEdgeModel& m) { S::step(m.objects[0], S::LOOP, false); }, true},
      {"adaptive Butterfly", [](SbWingedEdgeModel& m) { S::adaptiveStep(m.objects[0], S::BUTTERFLY, 10.0f); }, true},
      {"large faces", [](SbWingedEdgeModel& m) { SbPolygonation::mergeLargeFaces(m.objects[0], 0.2f); }, true},
      {"sharp edges", [](SbWingedEdgeModel& m) { SbSharpEdges::mark(m.objects[0], 100.0f); }, true},
      {"smoothing", [](SbWingedEdgeModel& m) { SbSmoothing::smooth(m, 2, 0.5f); }, true},
      // Once: a second run would merge the flat faces it left into polygons
      // with straight corners, whose fans the dividing step breaks.
      {"whole chain", [all](SbWingedEdgeModel& m) { SbMeshOperations::apply(m, all); }, true, 1},
  };
  for (const testmesh::NamedMesh& c : testmesh::catalogue()) {
    for (const auto& op : operations) {
      if (!c.closed && !op.openMeshes) continue;
      SCOPED_TRACE(std::string(c.name) + ", " + op.name);
      SbWingedEdgeModel m = testmesh::model(c.mesh);
      printed([&] {
        for (int pass = 0; pass < op.passes; ++pass) op.run(m);
      });
      ASSERT_EQ(m.objects.size(), 1u);
      const WeObject& o = m.objects[0];
      EXPECT_EQ(linkProblem(o), "");
      EXPECT_EQ(testmesh::euler(o), c.euler);
      EXPECT_EQ(testmesh::connectedFaces(o), static_cast<int>(o.faces.size()));
      EXPECT_EQ(boundaryEdges(o) == 0, c.closed);
    }
  }
}

// ------------------------------------------------------------ the node

// The scheme fields read the numbers they always held and the scheme names,
// and print numbers, so files and --set settings keep their meaning.
TEST(ModifyWingedEdgeNode, SchemesReadNumbersAndNamesAndPrintNumbers) {
  Scene scene{SbWingedEdgeModel()};
  const std::tuple<const char*, bool, const char*> rows[] = {
      {"2", true, "2"}, {"LOOP", true, "3"}, {"BUTTERFLY", true, "4"}, {"9", true, "9"}, {"SPLINE", false, "9"}};
  for (const auto& [text, read, printed] : rows) {
    EXPECT_EQ(bool(scene.modifier->subdivisionMode.set(text)), read) << text;
    SbString value;
    scene.modifier->subdivisionMode.get(value);
    EXPECT_STREQ(value.getString(), printed) << text;
  }
}

TEST(ModifyWingedEdgeNode, RerunsStartFromTheBuiltModel) {
  Scene off(testmesh::model(testmesh::torus(12, 8, 2, 0.5f)));
  EXPECT_EQ(off.traverse(), "");
  EXPECT_TRUE(off.working.modified && !off.working.displayListsValid);
  expectSameGeometry(off.working, off.built);
  for (bool withSource : {true, false}) {
    SCOPED_TRACE(withSource);
    Scene scene(testmesh::model(bumpySphere()), withSource);
    scene.modifier->smoothingSteps = 3;
    scene.modifier->subdivisionSteps = 1;
    scene.modifier->polygonationMode = TRUE;
    std::string out = scene.traverse();
    const SbWingedEdgeModel first = scene.working;
    EXPECT_EQ(first.faceCount(), 4 * scene.built.faceCount());  // one Loop step, nothing coplanar
    out += scene.traverse();                                    // nothing changed: the chain does not run again
    for (int i = 0; i < 2; ++i) {
      scene.modifier->markChanged();
      out += scene.traverse();
    }
    EXPECT_EQ(out, "ping\npong\nping\npong\nping\npong\n");
    expectSameGeometry(scene.working, first);
  }
}

TEST(ModifyWingedEdgeNode, FieldChangeRerunsTheChain) {
  Scene scene(testmesh::model(bumpySphere()));
  const SbWingedEdgeModel input = scene.built;
  scene.traverse();
  const double before = radiusVariance(scene.working.objects[0]);
  scene.modifier->smoothingSteps = 2;  // no markChanged: the field change itself counts
  EXPECT_EQ(scene.traverse(), "ping\npong\n");
  EXPECT_LT(radiusVariance(scene.working.objects[0]), before);
  scene.modifier->smoothingSteps = 0;
  scene.traverse();
  expectSameGeometry(scene.working, input);
  EXPECT_EQ(scene.modifier->problem(), "");
  // A refused operation stays with the node for the caller until the next run.
  scene.modifier->subdivisionSteps = 99;
  scene.traverse();
  EXPECT_EQ(scene.modifier->problem().rfind("99 subdivision steps would make ", 0), 0u);
  // A smoothing speed that would blow the mesh up is cut to 1.
  scene.modifier->subdivisionSteps = 0;
  scene.modifier->smoothingSteps = 20;
  scene.modifier->smoothingSpeed = 1e38f;
  EXPECT_EQ(scene.traverse(), "SoModifyWingedEdge: smoothingSpeed 1e+38 is outside 0..1; using 1\nping\npong\n");
  EXPECT_EQ(scene.modifier->problem(), "");
  EXPECT_LT(radiusVariance(scene.working.objects[0]), before);
}

// Out of memory inside the chain: the node reports it and falls back to the
// built model; when even the copy back fails, it publishes an empty model.
// Either way the next run starts again from the built model.
TEST(ModifyWingedEdgeNode, FailedChainLeavesTheModelAsBuiltOrEmpty) {
  Scene scene(testmesh::model(testmesh::icosphere(3)));
  scene.modifier->subdivisionSteps = 1;
  const std::string failed = "mesh operations failed (std::bad_alloc); the model is left as built";
  for (int refused : {1, 2}) {
    SCOPED_TRACE(refused);
    scene.modifier->markChanged();
    allocation::refuseFrom(64 * 1024, refused);
    const std::string out = scene.traverse();
    allocation::disarm();
    EXPECT_EQ(std::make_tuple(out, scene.modifier->problem(), scene.working.modified),
              std::make_tuple("SoModifyWingedEdge: " + failed + "\n", failed, true));
    EXPECT_TRUE(refused == 2 ? scene.working.objects.empty() : linkProblem(scene.working.objects.at(0)) == "");
    if (refused == 1) expectSameGeometry(scene.working, scene.built);
    scene.modifier->markChanged();
    const std::string again = scene.traverse();
    EXPECT_EQ(std::make_tuple(again, scene.modifier->problem(), scene.working.faceCount()),
              std::make_tuple("", "", 4 * scene.built.faceCount()));
  }
}

// ------------------------------------------------------------ the operations

TEST(LargeFaces, CoplanarRegionsWithoutHolesMerge) {
  PolyMesh folded = testmesh::grid(4, 2, 2.0f);  // two halves meeting at 90 degrees
  for (SbVec3f& p : folded.positions)
    if (p[0] > 1.0f) p = SbVec3f(1.0f, p[1], p[0] - 1.0f);
  const struct {
    const char* name;
    PolyMesh mesh;
    int merged, faces, vertices, boundary, corners;  // -1: not checked
  } cases[] = {
      // The six inner vertices go; the boundary keeps its collinear ones.
      {"coplanar grid", testmesh::grid(4, 3, 2.0f), 23, 1, 14, 14, 14},
      {"cube of triangles", testmesh::cubeTriangles(), 6, 6, 8, 0, 4},
      {"sphere", testmesh::icosphere(3), 0, 1280, 642, 0, 3},
      {"ring around a hole", holedGrid(), 0, 8, 16, 16, 4},
      {"folded grid", folded, -1, 2, -1, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SbWingedEdgeModel m = testmesh::model(c.mesh);
    WeObject& o = m.objects[0];
    const int merged = SbPolygonation::mergeLargeFaces(o, 0.2f);
    auto checked = [](int expected, int actual) { return expected < 0 ? -1 : actual; };
    EXPECT_EQ(std::make_tuple(checked(c.merged, merged), static_cast<int>(o.faces.size()),
                              checked(c.vertices, static_cast<int>(o.vertices.size())),
                              checked(c.boundary, boundaryEdges(o))),
              std::make_tuple(c.merged, c.faces, c.vertices, c.boundary));
    for (int f = 0; f < static_cast<int>(o.faces.size()) && c.corners >= 0; ++f)
      EXPECT_EQ(static_cast<int>(testmesh::corners(o, f).size()), c.corners);
    EXPECT_EQ(linkProblem(o, false), "");
    EXPECT_TRUE(c.faces != 1 || std::fabs(o.faces[0].normal[2] - 1.0f) < 1e-6f);
  }
}

// A divided cube merged back keeps the midpoints of its sides as corners. A
// fan from a cube corner lays a flat triangle whose diagonal runs along a
// side, where the face across it lays the same one: an edge of four faces.
TEST(LargeFaces, MergedFacesWithCornersAlongTheirSidesTriangulateAsAClosedSurface) {
  for (int scheme : {int(SbSubdivision::LOOP), int(SbSubdivision::BUTTERFLY), 0}) {
    SCOPED_TRACE(scheme);
    SbWingedEdgeModel m = testmesh::model(testmesh::cube());
    WeObject& o = m.objects[0];
    SbSubdivision::step(o, SbSubdivision::CATMULL_CLARK, false);
    SbMeshOperations::finish(m);
    ASSERT_EQ(SbPolygonation::mergeLargeFaces(o, 0.2f), 18);
    SbMeshOperations::finish(m);
    if (scheme == 0) {  // the half-edge model fans the octagons itself
      SbHeModelHQ he;
      he.build(m);
      EXPECT_EQ(std::make_pair(he.triangleCount(), he.boundaryHalfEdgeCount()), std::make_pair(36, 0));
      continue;
    }
    SbSubdivision::step(o, scheme, true);
    SbMeshOperations::finish(m);
    EXPECT_EQ(std::make_tuple(testmesh::euler(o), linkProblem(o), boundaryEdges(o)), std::make_tuple(2, "", 0));
  }
}

// Objects that touch become one, joined within 1e-6 of the model's size;
// faces that joining pinches are dropped with a message.
TEST(ConnectObjects, TouchingObjectsBecomeOneAndPinchedFacesGo) {
  PolyMesh a = testmesh::grid(3, 3, 1.0f), b = a;
  for (SbVec3f& p : b.positions) p += SbVec3f(1, 0, 0);  // shares the line x = 1
  SbWingedEdgeModel m = testmesh::model({&a, &b});
  EXPECT_TRUE(SbConnectObjects::connect(m));
  ASSERT_EQ(m.objects.size(), 1u);
  const WeObject& o = m.objects[0];
  // Four vertices shared; a 6 x 3 grid's border.
  EXPECT_EQ(std::make_tuple(o.vertices.size(), testmesh::connectedFaces(o), boundaryEdges(o), linkProblem(o)),
            std::make_tuple(16u + 16u - 4u, 36, 2 * 6 + 2 * 3, ""));
  // The size is 2000, so 1e-3 apart joins and 1e-2 apart does not.
  for (float gap : {0.001f, 0.011f}) {
    PolyMesh c = testmesh::grid(1, 1, 1000.0f), d = c;
    for (SbVec3f& p : d.positions) p += SbVec3f(1000.0f + gap, 0, 0);
    m = testmesh::model({&c, &d});
    SbConnectObjects::connect(m);
    EXPECT_EQ(m.objects[0].vertices.size(), gap < 0.002f ? 6u : 8u);
  }
  m = testmesh::model(testmesh::cube());  // one object without seams is left alone
  const SbWingedEdgeModel before = m;
  EXPECT_FALSE(SbConnectObjects::connect(m));
  expectSameGeometry(m, before);
  // A quad whose opposite corners coincide, beside a triangle.
  m = testmesh::model(testmesh::polyMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 2, 0}},
                                         {{0, 1, 2, 3}, {4, 5, 6}}));
  EXPECT_EQ(printed([&] { EXPECT_TRUE(SbConnectObjects::connect(m)); }),
            "SbConnectObjects::connect: 1 faces pinched by joining vertices were dropped\n");
  EXPECT_EQ(std::make_tuple(m.objects.at(0).faces.size(), linkProblem(m.objects[0], false)), std::make_tuple(1ul, ""));
}

TEST(SharpEdges, AngleDecidesWhichEdgesAndVerticesAreSharp) {
  const int ALL = -1, BORDER = -2;
  const struct {
    const char* name;
    PolyMesh mesh;
    float angle;
    int sharp, corners;  // corners -1: not checked
  } cases[] = {{"cube at 115", testmesh::cube(), 115.0f, 12, 8},
               {"sphere at 115", testmesh::icosphere(3), 115.0f, 0, 0},
               {"sphere at 180", testmesh::icosphere(2), 180.0f, ALL, -1},
               {"grid at 180", testmesh::grid(3, 3), 180.0f, BORDER, -1},
               {"cube at 0", testmesh::cube(), 0.0f, 0, -1},
               {"saddle at 0", testmesh::saddle(6, 1.0f), 0.0f, BORDER, 4 * 6}};  // the border of 7 x 7 vertices
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SbWingedEdgeModel m = testmesh::model(c.mesh);
    WeObject& o = m.objects[0];
    const int expected = c.sharp == ALL      ? static_cast<int>(o.edges.size())
                         : c.sharp == BORDER ? boundaryEdges(o)
                                             : c.sharp;
    EXPECT_EQ(SbSharpEdges::mark(o, c.angle), expected);
    for (const WeEdge& e : o.edges) EXPECT_TRUE(c.sharp != BORDER || ((e.flags & WE_SHARP) != 0) == e.isBoundary());
    int cornered = 0;
    for (const WeVertex& v : o.vertices) cornered += (v.flags & WE_CORNER) != 0;
    EXPECT_EQ(c.corners < 0 ? -1 : cornered, c.corners);
  }
}

// Smoothing lowers the roughness, refuses a speed that is not a number, and
// keeps boundary and corner vertices where they are.
TEST(Smoothing, ReducesRoughnessKeepsBoundaryAndCornersAndRefusesABadSpeed) {
  SbWingedEdgeModel m = testmesh::model(bumpySphere());
  const SbWingedEdgeModel before = m;
  EXPECT_EQ(printed([&] {
              SbSmoothing::smooth(m, 0, 1.0f);
              SbSmoothing::smooth(m, 3, std::nanf(""));
            }),
            "SbSmoothing::smooth: the speed is not a number; no smoothing\n");
  expectSameGeometry(m, before);
  EXPECT_EQ(printed([&] { SbSmoothing::smooth(m, 3, 0.5f); }), "ping\npong\n");
  EXPECT_LT(radiusVariance(m.objects[0]), 0.25 * radiusVariance(before.objects[0]));

  PolyMesh g = testmesh::grid(6, 6);
  for (size_t i = 0; i < g.positions.size(); ++i) g.positions[i][2] = 0.1f * std::sin(11.0f * float(i));
  m = testmesh::model(g);
  WeObject& o = m.objects[0];
  const int pinned = 3 * 7 + 3;  // the middle vertex
  o.vertices[pinned].flags |= WE_CORNER;
  const WeObject old = o;
  printed([&] { SbSmoothing::smooth(m, 5, 1.0f); });
  int moved = 0;
  for (int v = 0; v < static_cast<int>(o.vertices.size()); ++v) {
    const SbVec3f& p = old.vertices[v].position;
    const bool border = std::fabs(p[0] - 0.5f) > 0.49f || std::fabs(p[1] - 0.5f) > 0.49f;
    if (border || v == pinned)
      EXPECT_EQ(o.vertices[v].position, p) << "vertex " << v;
    else
      moved += !(o.vertices[v].position == p);
  }
  EXPECT_EQ(moved, 5 * 5 - 1);
}

// ------------------------------------------------------------ the chain

TEST(MeshOperations, RefusedOperationsLeaveTheModelWithAMessage) {
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(2));
  const SbWingedEdgeModel before = m;
  SbMeshOperations::Settings s;
  s.subdivisionSteps = s.dividingSteps = 99;
  std::string refused;
  const std::string out = printed([&] { EXPECT_FALSE(SbMeshOperations::apply(m, s, &refused)); });
  EXPECT_EQ(refused.rfind("99 subdivision steps would make ", 0), 0u) << refused;
  EXPECT_NE(out.find("refused\n"), out.rfind("refused\n")) << out;  // both operations
  expectSameGeometry(m, before);
  EXPECT_TRUE(m.modified);
  s.dividingMode = 1;
  s.adaptiveSubdivisionMode = 2;
  s.subdivisionMode = 0;
  s.dividingSteps = s.adaptiveSubdivisionSteps = s.subdivisionSteps = 1;
  EXPECT_EQ(printed([&] { EXPECT_FALSE(SbMeshOperations::apply(m, s, &refused)); }),
            "SbMeshOperations::apply: dividing mode 1 is not a scheme for it; dividing skipped\n"
            "SbMeshOperations::apply: adaptive subdivision mode 2 is not a scheme for it; adaptive "
            "subdivision skipped\n"
            "SbMeshOperations::apply: subdivision mode 0 is not a scheme for it; subdivision skipped\n");
  EXPECT_EQ(refused, "dividing mode 1 is not a scheme for it; dividing skipped");
  expectSameGeometry(m, before);
}

TEST(MeshOperations, AwkwardModelsSurviveEveryOperation) {
  std::vector<SbWingedEdgeModel> models(2);  // no objects; vertices only
  models[1].objects.emplace_back();
  buildWingedEdgeObject(models[1].objects[0], 0, {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}, {0}, {});
  PolyMesh p = testmesh::singleTriangle(), q = testmesh::quadFan();
  printed([&] {
    for (const PolyMesh& mesh : {holedGrid(), testmesh::nonManifoldFan(), testmesh::mobiusStrip(12)})
      models.push_back(testmesh::model(mesh));
    models.push_back(testmesh::model({&p, &q}));
  });
  SbMeshOperations::Settings s;
  s.connectObjects = s.polygonation = s.useSharpAngles = true;
  s.dividingSteps = s.adaptiveSubdivisionSteps = s.subdivisionSteps = 1;
  s.smoothingSteps = 2;
  for (int scheme = 1; scheme <= 4; ++scheme) {  // every scheme each operation offers
    s.subdivisionMode = scheme;
    s.dividingMode = std::max(scheme, 2);
    s.adaptiveSubdivisionMode = std::max(scheme, 3);
    for (size_t i = 0; i < models.size(); ++i) {
      SCOPED_TRACE(std::to_string(scheme) + ", model " + std::to_string(i));
      SbWingedEdgeModel m = models[i];
      printed([&] { SbMeshOperations::apply(m, s); });
      EXPECT_TRUE(m.modified);
      for (const WeObject& o : m.objects) {
        EXPECT_EQ(o.vertexEdgeStart.size(), o.vertices.size() + 1);
        for (const WeVertex& v : o.vertices)
          EXPECT_TRUE(std::isfinite(v.position[0]) && std::isfinite(v.position[1]) && std::isfinite(v.position[2]));
      }
      EXPECT_TRUE(i != 0 || m.objects.empty());
      EXPECT_TRUE(i < 2 || m.faceCount() > 0);  // no scheme loses every face
      // The two copies of the origin joined (Doo-Sabin keeps no vertex without a face).
      EXPECT_TRUE(i != 1 || scheme == 1 || m.objects.at(0).vertices.size() == 2u);
    }
  }
}
