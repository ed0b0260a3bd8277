#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "TestMeshes.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbConnectObjects.h"
#include "mesh/SbMeshOperations.h"
#include "mesh/SbPolygonation.h"
#include "mesh/SbSharpEdges.h"
#include "mesh/SbSmoothing.h"
#include "mesh/SbSubdivision.h"
#include "mesh/SbWingedEdgeBuilder.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"

// Publishes a working copy of a fixed built model, as the generator does.
class TestModelSource : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(TestModelSource);

public:
  static void initClass() {
    if (getClassTypeId() != SoType::badType()) return;
    SO_NODE_INIT_CLASS(TestModelSource, SoNode, "Node");
    SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
  }
  TestModelSource() { SO_NODE_CONSTRUCTOR(TestModelSource); }

  void setBuilt(SbWingedEdgeModel model, bool withSource = true) {
    built = std::move(model);
    working.copyGeometryFrom(built);
    working.source = withSource ? &built : nullptr;
  }
  void callback(SoCallbackAction* action) override {
    SoWingedEdgeElement::set(action->getState(), this, &working);
  }

  SbWingedEdgeModel built, working;

protected:
  ~TestModelSource() override {}
};
SO_NODE_SOURCE(TestModelSource);

namespace {

struct Scene {
  SoSeparator* root;
  TestModelSource* source;
  SoModifyWingedEdge* modifier;

  explicit Scene(SbWingedEdgeModel model, bool withSource = true) {
    TestModelSource::initClass();
    root = new SoSeparator;
    root->ref();
    source = new TestModelSource;
    source->setBuilt(std::move(model), withSource);
    modifier = new SoModifyWingedEdge;
    root->addChild(source);
    root->addChild(modifier);
  }
  ~Scene() { root->unref(); }
  void traverse() {
    SoCallbackAction action;
    action.apply(root);
  }
  const SbWingedEdgeModel& working() const { return source->working; }
};

std::vector<SbVec3f> translated(std::vector<SbVec3f> p, const SbVec3f& by) {
  for (SbVec3f& q : p) q += by;
  return p;
}

void expectSameGeometry(const SbWingedEdgeModel& a, const SbWingedEdgeModel& b) {
  ASSERT_EQ(a.objects.size(), b.objects.size());
  std::vector<int> ca, cb;
  for (size_t i = 0; i < a.objects.size(); ++i) {
    const WeObject& x = a.objects[i];
    const WeObject& y = b.objects[i];
    ASSERT_EQ(x.vertices.size(), y.vertices.size());
    ASSERT_EQ(x.edges.size(), y.edges.size());
    ASSERT_EQ(x.faces.size(), y.faces.size());
    for (size_t v = 0; v < x.vertices.size(); ++v) {
      EXPECT_EQ(x.vertices[v].position, y.vertices[v].position) << "vertex " << v;
      EXPECT_EQ(x.vertices[v].flags, y.vertices[v].flags) << "vertex " << v;
    }
    for (int f = 0; f < static_cast<int>(x.faces.size()); ++f) {
      x.faceCorners(f, ca);
      y.faceCorners(f, cb);
      EXPECT_EQ(ca, cb) << "face " << f;
    }
  }
}

// Faces reachable from face 0 across edges with faces on both sides.
int connectedFaces(const WeObject& o) {
  if (o.faces.empty()) return 0;
  std::vector<char> seen(o.faces.size(), 0);
  std::vector<int> queue{0};
  seen[0] = 1;
  for (size_t q = 0; q < queue.size(); ++q) {
    o.walkFace(queue[q], [&](int, int e) {
      const WeEdge& edge = o.edges[e];
      for (int g : edge.face)
        if (g >= 0 && !seen[g]) {
          seen[g] = 1;
          queue.push_back(g);
        }
    });
  }
  return static_cast<int>(queue.size());
}

// Every face side of every edge is walked exactly once by its face.
void expectClosedWalks(const WeObject& o) {
  std::vector<int> uses(o.edges.size(), 0), expected(o.edges.size(), 0);
  for (size_t e = 0; e < o.edges.size(); ++e)
    expected[e] = (o.edges[e].face[0] >= 0) + (o.edges[e].face[1] >= 0);
  for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
    int corners = 0;
    o.walkFace(f, [&](int, int e) {
      ++uses[e];
      ++corners;
    });
    EXPECT_GE(corners, 3) << "face " << f;
  }
  EXPECT_EQ(uses, expected);
}

double radiusVariance(const WeObject& o) {
  double sum = 0, sum2 = 0;
  for (const WeVertex& v : o.vertices) {
    double r = v.position.length();
    sum += r;
    sum2 += r * r;
  }
  const double n = static_cast<double>(o.vertices.size());
  return sum2 / n - (sum / n) * (sum / n);
}

PolyMesh bumpySphere() {
  PolyMesh m = testmesh::icosphere(3);
  for (size_t i = 0; i < m.positions.size(); ++i)
    m.positions[i] *= 1.0f + 0.05f * std::sin(37.0f * float(i));  // deterministic bumps
  return m;
}

using testmesh::boundaryEdges;
using testmesh::sharpEdges;

}  // namespace

// ------------------------------------------------------------ the node

// The scheme fields read the numbers they always held and the scheme names,
// and print numbers, so files and --set settings keep their meaning.
TEST(ModifyWingedEdgeNode, SchemesReadNumbersAndNamesAndPrintNumbers) {
  auto* node = new SoModifyWingedEdge;
  node->ref();
  const struct {
    const char* text;
    bool read;
    int value;
  } rows[] = {{"2", true, 2}, {"LOOP", true, 3}, {"BUTTERFLY", true, 4}, {"9", true, 9}, {"SPLINE", false, 9}};
  for (const auto& row : rows) {
    EXPECT_EQ(bool(node->subdivisionMode.set(row.text)), row.read) << row.text;
    SbString printed;
    node->subdivisionMode.get(printed);
    EXPECT_EQ(std::string(printed.getString()), std::to_string(row.value)) << row.text;
  }
  node->unref();
}

TEST(ModifyWingedEdgeNode, AllOffLeavesTheBuiltModel) {
  Scene scene(testmesh::model(testmesh::torus(12, 8, 2, 0.5f)));
  testing::internal::CaptureStdout();
  scene.traverse();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(scene.working().modified);
  EXPECT_FALSE(scene.working().displayListsValid);
  expectSameGeometry(scene.working(), scene.source->built);
}

TEST(ModifyWingedEdgeNode, RerunStartsFromTheBuiltModel) {
  Scene scene(testmesh::model(bumpySphere()));
  scene.modifier->smoothingSteps = 3;
  scene.modifier->subdivisionSteps = 1;
  scene.modifier->polygonationMode = TRUE;
  testing::internal::CaptureStdout();
  scene.traverse();
  SbWingedEdgeModel first = scene.working();
  const int firstFaces = scene.working().faceCount();
  EXPECT_EQ(firstFaces, 4 * scene.source->built.faceCount());  // one Loop step, nothing coplanar

  scene.traverse();  // nothing changed: the chain does not run again
  scene.modifier->markChanged();
  scene.traverse();
  scene.modifier->markChanged();
  scene.traverse();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ping\npong\nping\npong\nping\npong\n");
  EXPECT_EQ(scene.working().faceCount(), firstFaces);
  expectSameGeometry(scene.working(), first);
}

TEST(ModifyWingedEdgeNode, FieldChangeRerunsTheChain) {
  Scene scene(testmesh::model(bumpySphere()));
  const SbWingedEdgeModel input = scene.source->built;
  scene.traverse();
  const double before = radiusVariance(scene.working().objects[0]);
  scene.modifier->smoothingSteps = 2;  // no markChanged: the field change itself counts
  testing::internal::CaptureStdout();
  scene.traverse();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ping\npong\n");
  EXPECT_LT(radiusVariance(scene.working().objects[0]), before);
  scene.modifier->smoothingSteps = 0;
  scene.traverse();
  expectSameGeometry(scene.working(), input);
  EXPECT_EQ(scene.modifier->problem(), "");
  // A refused operation stays with the node for the caller until the next run.
  scene.modifier->subdivisionSteps = 99;
  testing::internal::CaptureStdout();
  scene.traverse();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(scene.modifier->problem().rfind("99 subdivision steps would make ", 0), 0u);
  // A smoothing speed that would blow the mesh up is cut to 1.
  scene.modifier->subdivisionSteps = 0;
  scene.modifier->smoothingSteps = 20;
  scene.modifier->smoothingSpeed = 1e38f;
  testing::internal::CaptureStdout();
  scene.traverse();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SoModifyWingedEdge: smoothingSpeed 1e+38 is outside 0..1; using 1\nping\npong\n");
  EXPECT_EQ(scene.modifier->problem(), "");
  EXPECT_LT(radiusVariance(scene.working().objects[0]), before);
}

TEST(ModifyWingedEdgeNode, ModelWithoutSourceStartsAgainFromItsFirstInput) {
  Scene scene(testmesh::model(bumpySphere()), /*withSource=*/false);
  scene.modifier->smoothingSteps = 4;
  testing::internal::CaptureStdout();
  scene.traverse();
  SbWingedEdgeModel first = scene.working();
  scene.modifier->markChanged();
  scene.traverse();
  testing::internal::GetCapturedStdout();
  expectSameGeometry(scene.working(), first);
}

TEST(ModifyWingedEdgeNode, NoModelInTheStateDoesNothing) {
  auto* root = new SoSeparator;
  root->ref();
  auto* modifier = new SoModifyWingedEdge;
  modifier->smoothingSteps = 5;
  root->addChild(modifier);
  SoCallbackAction action;
  testing::internal::CaptureStdout();
  action.apply(root);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  root->unref();
}

TEST(ModifyWingedEdgeNode, WorksBelowTheGenerator) {
  StripMesh torus = testmesh::torusStrips(16, 8, 2, 0.5f);
  auto* root = new SoSeparator;
  root->ref();
  auto* generator = new SoGenerateWingedEdge;
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, static_cast<int>(torus.coords.size()), torus.coords.data());
  auto* strips = new SoIndexedTriangleStripSet;
  strips->coordIndex.setValues(0, static_cast<int>(torus.coordIndex.size()), torus.coordIndex.data());
  generator->addChild(coords);
  generator->addChild(strips);
  auto* modifier = new SoModifyWingedEdge;
  root->addChild(generator);
  root->addChild(modifier);

  SoCallbackAction action;
  action.apply(root);
  ASSERT_GT(generator->builtModel().faceCount(), 0);
  expectSameGeometry(generator->workingModel(), generator->builtModel());

  modifier->useSharpAngles = TRUE;
  modifier->sharpAngle = 150.0f;  // the 45 degree steps around the tube are sharp
  action.apply(root);
  WeObject expected = generator->builtModel().objects.at(0);
  const int sharp = SbSharpEdges::mark(expected, 150.0f);
  EXPECT_GT(sharp, 0);
  EXPECT_LT(sharp, static_cast<int>(expected.edges.size()));
  EXPECT_EQ(sharpEdges(generator->workingModel().objects.at(0)), sharp);
  modifier->useSharpAngles = FALSE;
  action.apply(root);
  EXPECT_EQ(sharpEdges(generator->workingModel().objects.at(0)), 0);
  // A chain that changes nothing leaves the built objects unshared, not copied.
  EXPECT_TRUE(generator->workingModel().holdsSource);
  expectSameGeometry(generator->workingModel(), generator->builtModel());
  root->unref();
}

// ------------------------------------------------------------ large faces

TEST(LargeFaces, CoplanarGridBecomesOneFace) {
  SbWingedEdgeModel m = testmesh::model(testmesh::grid(4, 3, 2.0f));
  WeObject& o = m.objects[0];
  EXPECT_EQ(SbPolygonation::mergeLargeFaces(o, 0.2f), 23);
  ASSERT_EQ(o.faces.size(), 1u);
  std::vector<int> corners;
  o.faceCorners(0, corners);
  EXPECT_EQ(corners.size(), 14u);        // the boundary vertices, collinear ones kept
  EXPECT_EQ(o.vertices.size(), 14u);     // the six inner vertices are gone
  EXPECT_NEAR(o.faces[0].normal[2], 1.0f, 1e-6f);
  EXPECT_EQ(boundaryEdges(o), 14);
  expectClosedWalks(o);
}

TEST(LargeFaces, TriangulatedCubeBecomesSixQuads) {
  SbWingedEdgeModel m = testmesh::model(testmesh::cubeTriangles());
  WeObject& o = m.objects[0];
  EXPECT_EQ(SbPolygonation::mergeLargeFaces(o, 0.2f), 6);
  EXPECT_EQ(o.faces.size(), 6u);
  EXPECT_EQ(o.edges.size(), 12u);
  EXPECT_EQ(o.vertices.size(), 8u);
  EXPECT_EQ(boundaryEdges(o), 0);
  std::vector<int> corners;
  for (int f = 0; f < 6; ++f) {
    o.faceCorners(f, corners);
    EXPECT_EQ(corners.size(), 4u);
  }
  expectClosedWalks(o);
}

TEST(LargeFaces, CurvedSurfacesStaySplit) {
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(3));
  EXPECT_EQ(SbPolygonation::mergeLargeFaces(m.objects[0], 0.2f), 0);
  EXPECT_EQ(m.objects[0].faces.size(), 1280u);
}

TEST(LargeFaces, RegionWithAHoleStaysSplit) {
  // A 3 x 3 grid of quads without its middle one: one coplanar ring.
  PolyMesh ring = testmesh::grid(3, 3, 3.0f, false);
  PolyMesh holed;
  holed.positions = ring.positions;
  for (int f = 0; f < ring.faceCount(); ++f) {
    if (f == 4) continue;
    holed.addFace(std::vector<int>(ring.corners.begin() + ring.faceStart[f],
                                   ring.corners.begin() + ring.faceStart[f + 1]));
  }
  SbWingedEdgeModel m = testmesh::model(holed);
  EXPECT_EQ(SbPolygonation::mergeLargeFaces(m.objects[0], 0.2f), 0);
  EXPECT_EQ(m.objects[0].faces.size(), 8u);
}

TEST(LargeFaces, FoldedGridMergesEachHalf) {
  // Two coplanar halves meeting at a 90 degree crease.
  PolyMesh g = testmesh::grid(4, 2, 2.0f);
  for (SbVec3f& p : g.positions)
    if (p[0] > 1.0f) p = SbVec3f(1.0f, p[1], p[0] - 1.0f);
  SbWingedEdgeModel m = testmesh::model(g);
  SbPolygonation::mergeLargeFaces(m.objects[0], 0.2f);
  EXPECT_EQ(m.objects[0].faces.size(), 2u);
  expectClosedWalks(m.objects[0]);
}

// ------------------------------------------------------------ connect objects

TEST(ConnectObjects, TouchingGridsBecomeOneConnectedObject) {
  PolyMesh a = testmesh::grid(3, 3, 1.0f);
  PolyMesh b = a;
  b.positions = translated(b.positions, SbVec3f(1, 0, 0));  // shares the line x = 1
  SbWingedEdgeModel m = testmesh::model({&a, &b});
  ASSERT_EQ(m.objects.size(), 2u);
  EXPECT_TRUE(SbConnectObjects::connect(m));
  ASSERT_EQ(m.objects.size(), 1u);
  const WeObject& o = m.objects[0];
  EXPECT_EQ(o.vertices.size(), 16u + 16u - 4u);
  EXPECT_EQ(o.faces.size(), 36u);
  EXPECT_EQ(connectedFaces(o), 36);
  EXPECT_EQ(boundaryEdges(o), 2 * 6 + 2 * 3);  // a 6 x 3 grid's border
  expectClosedWalks(o);
}

TEST(ConnectObjects, JoinsWithinTheRelativeTolerance) {
  PolyMesh a = testmesh::grid(1, 1, 1000.0f);
  PolyMesh b = a;
  // 1e-6 of the size (2000) is 2e-3: 1e-3 apart joins, 1e-2 apart does not.
  b.positions = translated(b.positions, SbVec3f(1000.001f, 0, 0));
  SbWingedEdgeModel m = testmesh::model({&a, &b});
  SbConnectObjects::connect(m);
  EXPECT_EQ(m.objects[0].vertices.size(), 6u);
  b.positions = translated(b.positions, SbVec3f(0.01f, 0, 0));
  m = testmesh::model({&a, &b});
  SbConnectObjects::connect(m);
  EXPECT_EQ(m.objects[0].vertices.size(), 8u);
}

TEST(ConnectObjects, PinchedFacesAreDroppedWithAMessage) {
  // A quad whose opposite corners coincide, beside a triangle.
  PolyMesh m;
  for (SbVec3f p : {SbVec3f(0, 0, 0), SbVec3f(1, 0, 0), SbVec3f(2, 0, 0), SbVec3f(1, 0, 0),
                    SbVec3f(0, 1, 0), SbVec3f(1, 1, 0), SbVec3f(0, 2, 0)})
    m.addVertex(p);
  m.addFace({0, 1, 2, 3});
  m.addFace({4, 5, 6});
  SbWingedEdgeModel model = testmesh::model(m);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(SbConnectObjects::connect(model));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbConnectObjects::connect: 1 faces pinched by joining vertices were dropped\n");
  EXPECT_EQ(model.objects.at(0).faces.size(), 1u);
  expectClosedWalks(model.objects[0]);
}

TEST(ConnectObjects, OneObjectWithoutSeamsIsLeftAlone) {
  SbWingedEdgeModel m = testmesh::model(testmesh::cube());
  SbWingedEdgeModel before = m;
  EXPECT_FALSE(SbConnectObjects::connect(m));
  expectSameGeometry(m, before);
}

// ------------------------------------------------------------ sharp edges

TEST(SharpEdges, CubeIsSharpAt115AndSphereIsNot) {
  SbWingedEdgeModel cube = testmesh::model(testmesh::cube());
  EXPECT_EQ(SbSharpEdges::mark(cube.objects[0], 115.0f), 12);
  for (const WeVertex& v : cube.objects[0].vertices) EXPECT_TRUE(v.flags & WE_CORNER);

  SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(3));
  EXPECT_EQ(SbSharpEdges::mark(sphere.objects[0], 115.0f), 0);
  for (const WeVertex& v : sphere.objects[0].vertices) EXPECT_FALSE(v.flags & WE_CORNER);
}

TEST(SharpEdges, At180AllButCoplanarEdgesAreSharp) {
  SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(2));
  WeObject& s = sphere.objects[0];
  EXPECT_EQ(SbSharpEdges::mark(s, 180.0f), static_cast<int>(s.edges.size()));

  SbWingedEdgeModel grid = testmesh::model(testmesh::grid(3, 3));
  WeObject& g = grid.objects[0];
  EXPECT_EQ(SbSharpEdges::mark(g, 180.0f), boundaryEdges(g));
  for (const WeEdge& e : g.edges) EXPECT_EQ((e.flags & WE_SHARP) != 0, e.isBoundary());
}

TEST(SharpEdges, At0OnlyTheBoundaryIsSharp) {
  SbWingedEdgeModel cube = testmesh::model(testmesh::cube());
  EXPECT_EQ(SbSharpEdges::mark(cube.objects[0], 0.0f), 0);
  SbWingedEdgeModel saddle = testmesh::model(testmesh::saddle(6, 1.0f));
  WeObject& o = saddle.objects[0];
  EXPECT_EQ(SbSharpEdges::mark(o, 0.0f), boundaryEdges(o));
  int cornered = 0;
  for (const WeVertex& v : o.vertices) cornered += (v.flags & WE_CORNER) != 0;
  EXPECT_EQ(cornered, 4 * 6);  // the border of a 7 x 7 vertex grid
}

// ------------------------------------------------------------ smoothing

TEST(Smoothing, ReducesRoughnessAndPrintsItsMarks) {
  SbWingedEdgeModel m = testmesh::model(bumpySphere());
  const double before = radiusVariance(m.objects[0]);
  testing::internal::CaptureStdout();
  SbSmoothing::smooth(m, 3, 0.5f);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ping\npong\n");
  EXPECT_LT(radiusVariance(m.objects[0]), 0.25 * before);
}

TEST(Smoothing, KeepsBoundaryAndCornerVertices) {
  PolyMesh g = testmesh::grid(6, 6);
  for (size_t i = 0; i < g.positions.size(); ++i) g.positions[i][2] = 0.1f * std::sin(11.0f * float(i));
  SbWingedEdgeModel m = testmesh::model(g);
  WeObject& o = m.objects[0];
  const int pinned = 3 * 7 + 3;  // the middle vertex
  o.vertices[pinned].flags |= WE_CORNER;
  std::vector<SbVec3f> before;
  for (const WeVertex& v : o.vertices) before.push_back(v.position);
  testing::internal::CaptureStdout();
  SbSmoothing::smooth(m, 5, 1.0f);
  testing::internal::GetCapturedStdout();
  o.buildVertexEdges();
  int moved = 0;
  for (int v = 0; v < static_cast<int>(o.vertices.size()); ++v) {
    bool boundary = false;
    for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v); ++i)
      boundary |= o.edges[o.vertexEdges[i]].isBoundary();
    if (boundary || v == pinned)
      EXPECT_EQ(o.vertices[v].position, before[v]) << "vertex " << v;
    else
      moved += !(o.vertices[v].position == before[v]);
  }
  EXPECT_EQ(moved, 5 * 5 - 1);
}

TEST(Smoothing, NoStepsPrintNothingAndBadSpeedIsRefused) {
  SbWingedEdgeModel m = testmesh::model(bumpySphere());
  SbWingedEdgeModel before = m;
  testing::internal::CaptureStdout();
  SbSmoothing::smooth(m, 0, 1.0f);
  SbSmoothing::smooth(m, 3, std::nanf(""));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbSmoothing::smooth: the speed is not a number; no smoothing\n");
  expectSameGeometry(m, before);
}

// ------------------------------------------------------------ the chain

TEST(MeshOperations, RefusedSubdivisionLeavesTheModel) {
  SbWingedEdgeModel m = testmesh::model(testmesh::icosphere(2));
  SbWingedEdgeModel before = m;
  SbMeshOperations::Settings s;
  s.subdivisionSteps = 99;
  s.dividingSteps = 99;
  testing::internal::CaptureStdout();
  std::string refused;
  EXPECT_FALSE(SbMeshOperations::apply(m, s, &refused));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(refused.rfind("99 subdivision steps would make ", 0), 0u) << refused;
  const size_t first = out.find("refused\n");
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find("refused\n", first + 1), std::string::npos) << out;  // both operations
  expectSameGeometry(m, before);
  EXPECT_TRUE(m.modified);
}

TEST(MeshOperations, SchemesNotOfferedAreSkippedWithAMessage) {
  SbWingedEdgeModel m = testmesh::model(testmesh::cube());
  SbWingedEdgeModel before = m;
  SbMeshOperations::Settings s;
  s.dividingMode = 1;
  s.dividingSteps = 1;
  s.adaptiveSubdivisionMode = 2;
  s.adaptiveSubdivisionSteps = 1;
  s.subdivisionMode = 0;
  s.subdivisionSteps = 1;
  testing::internal::CaptureStdout();
  std::string refused;
  EXPECT_FALSE(SbMeshOperations::apply(m, s, &refused));
  EXPECT_EQ(refused, "dividing mode 1 is not a scheme for it; dividing skipped");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbMeshOperations::apply: dividing mode 1 is not a scheme for it; dividing skipped\n"
            "SbMeshOperations::apply: adaptive subdivision mode 2 is not a scheme for it; adaptive "
            "subdivision skipped\n"
            "SbMeshOperations::apply: subdivision mode 0 is not a scheme for it; subdivision "
            "skipped\n");
  expectSameGeometry(m, before);
}

TEST(MeshOperations, AwkwardModelsSurviveEveryOperation) {
  std::vector<SbWingedEdgeModel> models;
  models.emplace_back();  // no objects
  {
    SbWingedEdgeModel isolated;  // vertices only
    isolated.objects.emplace_back();
    buildWingedEdgeObject(isolated.objects[0], 0, {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}, {0}, {});
    models.push_back(isolated);
  }
  {
    PolyMesh ring = testmesh::grid(3, 3, 3.0f, false);  // boundary hole
    PolyMesh holed;
    holed.positions = ring.positions;
    for (int f = 0; f < ring.faceCount(); ++f)
      if (f != 4)
        holed.addFace(std::vector<int>(ring.corners.begin() + ring.faceStart[f],
                                       ring.corners.begin() + ring.faceStart[f + 1]));
    models.push_back(testmesh::model(holed));
  }
  testing::internal::CaptureStdout();
  models.push_back(testmesh::model(testmesh::nonManifoldFan()));
  models.push_back(testmesh::model(testmesh::mobiusStrip(12)));
  PolyMesh p = testmesh::singleTriangle(), q = testmesh::quadFan();
  models.push_back(testmesh::model({&p, &q}));

  SbMeshOperations::Settings s;
  s.connectObjects = true;
  s.polygonation = true;
  s.useSharpAngles = true;
  s.dividingSteps = 1;
  s.adaptiveSubdivisionSteps = 1;
  s.subdivisionSteps = 1;
  s.smoothingSteps = 2;
  for (SbWingedEdgeModel& m : models) {
    SbMeshOperations::apply(m, s);
    EXPECT_TRUE(m.modified);
    for (const WeObject& o : m.objects) {
      EXPECT_EQ(o.vertexEdgeStart.size(), o.vertices.size() + 1);
      for (const WeVertex& v : o.vertices)
        EXPECT_TRUE(std::isfinite(v.position[0]) && std::isfinite(v.position[1]) &&
                    std::isfinite(v.position[2]));
    }
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(models[0].objects.size(), 0u);
  EXPECT_EQ(models[1].objects.at(0).vertices.size(), 2u);  // the two copies of the origin joined
}

TEST(MeshOperations, RandomSoupsSurviveTheWholeChain) {
  // Triangles and quads over a few lattice points, so vertices coincide across
  // objects, faces fold onto each other and edges turn non-manifold.
  unsigned seed = 12345;
  auto next = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<unsigned>(n));
  };
  SbMeshOperations::Settings s;
  s.connectObjects = true;
  s.polygonation = true;
  s.useSharpAngles = true;
  s.smoothingSteps = 3;
  s.dividingSteps = 1;
  s.adaptiveSubdivisionSteps = 1;
  s.subdivisionSteps = 1;
  for (int trial = 0; trial < 300; ++trial) {
    s.subdivisionMode = 1 + trial % 4;
    std::vector<PolyMesh> meshes(1 + next(3));
    for (PolyMesh& m : meshes) {
      for (int v = 0; v < 12; ++v)
        m.addVertex(SbVec3f(float(next(3)), float(next(3)), float(next(2))));
      for (int f = 0, faces = next(15); f < faces; ++f) {
        std::vector<int> face;
        while (face.size() < 3u + next(2)) {
          int c = next(12);
          if (std::find(face.begin(), face.end(), c) == face.end()) face.push_back(c);
        }
        m.addFace(face);
      }
    }
    SbWingedEdgeModel model;
    for (size_t i = 0; i < meshes.size(); ++i) {
      model.objects.emplace_back();
      buildWingedEdgeObject(model.objects.back(), static_cast<int>(i), meshes[i].positions,
                            meshes[i].faceStart, meshes[i].corners);
      SCOPED_TRACE("built");
      expectClosedWalks(model.objects.back());
    }
    testing::internal::CaptureStdout();
    SbMeshOperations::apply(model, s);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(model.objects.size(), 1u) << "trial " << trial;
    expectClosedWalks(model.objects[0]);
  }
}
