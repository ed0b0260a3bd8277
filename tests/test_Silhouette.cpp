#include <gtest/gtest.h>

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "lines/SbSilhouetteEdges.h"
#include "lines/SbSilhouetteGaussMap.h"
#include "lines/SbSilhouettePerspective.h"
#include "lines/SbSilhouetteRepair.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoSilhouetteSwitches.h"

namespace {

SbVec3f randomDirection(std::mt19937& rng) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  SbVec3f d;
  do d.setValue(g(rng), g(rng), g(rng));
  while (d.length() < 1e-3f);
  d.normalize();
  return d;
}

// Named test models: closed, open, non-manifold, non-orientable, several objects.
std::vector<std::pair<std::string, SbWingedEdgeModel>> testModels() {
  std::vector<std::pair<std::string, SbWingedEdgeModel>> models;
  models.emplace_back("icosphere", testmesh::model(testmesh::icosphere(3)));
  models.emplace_back("torus", testmesh::model(testmesh::torus(32, 12, 1.0f, 0.35f)));
  models.emplace_back("cube", testmesh::model(testmesh::cube()));
  models.emplace_back("cylinder", testmesh::model(testmesh::cylinder(16, 4, 0.5f, 2.0f)));
  models.emplace_back("saddle", testmesh::model(testmesh::saddle(10, 1.0f)));
  models.emplace_back("fan", testmesh::model(testmesh::nonManifoldFan()));
  models.emplace_back("mobius", testmesh::model(testmesh::mobiusStrip(24)));
  PolyMesh a = testmesh::geodesicSphere(4), b = testmesh::torus(16, 8, 2.0f, 0.5f);
  models.emplace_back("two objects", testmesh::model({&a, &b}));
  // A degenerate face (zero normal) in an otherwise closed mesh.
  SbWingedEdgeModel broken = testmesh::model(testmesh::icosphere(1));
  broken.objects[0].faces[3].normal.setValue(0, 0, 0);
  models.emplace_back("zero normal", std::move(broken));
  return models;
}

}  // namespace

// ---------------------------------------------------------------- search structures

TEST(SilhouetteSearch, GaussMapMatchesBruteForceForManyDirections) {
  std::mt19937 rng(7);
  std::vector<std::vector<float>> noOffsets;
  for (auto& named : testModels()) {
    const SbWingedEdgeModel& model = named.second;
    for (float error : {0.0f, 4.0f, 45.0f, 1000.0f}) {
      SbSilhouetteGaussMap map;
      map.build(model, error);
      std::vector<SbVec3f> directions;
      for (int i = 0; i < 40; ++i) directions.push_back(randomDirection(rng));
      // Seen exactly edge-on: along the axes, where cube faces have n . v = 0.
      for (int k = 0; k < 3; ++k) {
        SbVec3f d(0, 0, 0);
        d[k] = 1.0f;
        directions.push_back(d);
        directions.push_back(-d);
      }
      directions.push_back(SbVec3f(1, 1, 0) / std::sqrt(2.0f));
      for (const SbVec3f& d : directions) {
        SbSilhouetteView view;
        view.toViewer = d;
        std::vector<SbEdgeRef> expected, got;
        SbSilhouetteEdges::bruteForce(model, view, noOffsets, -1, expected);
        map.query(model, d, -1, got);
        ASSERT_EQ(expected, got) << named.first << " error " << error << " direction " << d[0] << " " << d[1] << " "
                                 << d[2];
      }
    }
  }
}

TEST(SilhouetteSearch, PerspectiveHierarchyMatchesBruteForceForManyEyes) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> distance(0.05f, 20.0f);
  for (auto& named : testModels()) {
    const SbWingedEdgeModel& model = named.second;
    for (float error : {0.5f, 4.0f, 40.0f}) {
      SbSilhouettePerspective tree;
      tree.build(model, error);
      std::vector<SbVec3f> eyes;
      for (int i = 0; i < 60; ++i) eyes.push_back(randomDirection(rng) * distance(rng));
      eyes.push_back(SbVec3f(0, 0, 0));     // inside the closed models
      eyes.push_back(SbVec3f(0, 0, 1.0f));  // on the sphere, in the saddle's plane of symmetry
      eyes.push_back(SbVec3f(1e6f, 0, 0));  // far away
      for (const SbVec3f& eye : eyes) {
        SbSilhouetteView view;
        view.perspective = true;
        view.eye = eye;
        std::vector<SbEdgeRef> expected, got;
        SbSilhouetteEdges::bruteForce(model, view, tree.offsets(), -1, expected);
        tree.query(model, eye, -1, got);
        ASSERT_EQ(expected, got) << named.first << " error " << error << " eye " << eye[0] << " " << eye[1] << " "
                                 << eye[2];
      }
    }
  }
}

TEST(SilhouetteSearch, StructuresVisitFewerEdgesThanTheModelHas) {
  SbWingedEdgeModel model = testmesh::model(testmesh::geodesicSphere(24));
  const size_t edges = model.objects[0].edges.size();
  SbSilhouetteGaussMap map;
  map.build(model, 4.0f);
  std::vector<SbEdgeRef> out;
  map.query(model, SbVec3f(0.3f, 0.5f, 0.8f), -1, out);
  EXPECT_FALSE(out.empty());
  EXPECT_LT(map.lastCandidateCount(), edges / 4);
  SbSilhouettePerspective tree;
  tree.build(model, 4.0f);
  tree.query(model, SbVec3f(0, 0, 6), -1, out);
  EXPECT_FALSE(out.empty());
  EXPECT_LT(tree.lastCandidateCount(), edges / 2);
}

TEST(SilhouetteSearch, ShapeKeySelectsObjectsByNumber) {
  PolyMesh a = testmesh::icosphere(2), b = testmesh::icosphere(2, 0.5f);
  SbWingedEdgeModel model = testmesh::model({&a, &b});
  SbSilhouetteGaussMap map;
  map.build(model, 4.0f);
  std::vector<SbEdgeRef> all, second;
  map.query(model, SbVec3f(0, 0, 1), -1, all);
  map.query(model, SbVec3f(0, 0, 1), 1, second);
  ASSERT_FALSE(second.empty());
  for (const SbEdgeRef& r : second) EXPECT_EQ(r.object, 1);
  EXPECT_EQ(second.size(), std::count_if(all.begin(), all.end(), [](const SbEdgeRef& r) { return r.object == 1; }));
  std::vector<SbEdgeRef> none;
  map.query(model, SbVec3f(0, 0, 1), 7, none);
  EXPECT_TRUE(none.empty());
}

// ---------------------------------------------------------------- sharp edges

TEST(SharpEdges, ThresholdsOnACubeOfTriangles) {
  // 12 edges at 90 degrees, 6 face diagonals between coplanar triangles.
  SbWingedEdgeModel model = testmesh::model(testmesh::cubeTriangles());
  ASSERT_EQ(model.objects[0].edges.size(), 18u);
  std::vector<SbEdgeRef> out;
  SbSilhouetteEdges::sharpEdges(model, 115.0f, -1, out);  // angle > 65 degrees
  EXPECT_EQ(out.size(), 12u);
  SbSilhouetteEdges::sharpEdges(model, 180.0f, -1, out);  // any bend
  EXPECT_EQ(out.size(), 12u);
  SbSilhouetteEdges::sharpEdges(model, 0.0f, -1, out);    // none
  EXPECT_TRUE(out.empty());
  SbSilhouetteEdges::sharpEdges(model, 80.0f, -1, out);   // angle > 100 degrees: none of the 90-degree edges
  EXPECT_TRUE(out.empty());
}

TEST(SharpEdges, BoundaryEdgesAlwaysCountAndSmoothSpheresOnlyAtFullAngle) {
  SbWingedEdgeModel grid = testmesh::model(testmesh::grid(3, 2));
  std::vector<SbEdgeRef> out;
  SbSilhouetteEdges::sharpEdges(grid, 0.0f, -1, out);
  EXPECT_EQ(out.size(), size_t(2 * (3 + 2)));  // the rim of a flat grid
  SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(3));
  SbSilhouetteEdges::sharpEdges(sphere, 115.0f, -1, out);
  EXPECT_TRUE(out.empty());
  SbSilhouetteEdges::sharpEdges(sphere, 180.0f, -1, out);
  EXPECT_EQ(out.size(), sphere.objects[0].edges.size());
  // A tilted plane: its faces' float normals differ in the last bits, yet at
  // 180 degrees only the rim is sharp; an angle that is no number adds nothing.
  PolyMesh tilted = testmesh::grid(8, 8);
  const SbRotation turn(SbVec3f(1, 2, 3), 0.7f);
  for (SbVec3f& p : tilted.positions) turn.multVec(p, p);
  const SbWingedEdgeModel plane = testmesh::model(tilted);
  for (float angle : {180.0f, std::nanf("")}) {
    SbSilhouetteEdges::sharpEdges(plane, angle, -1, out);
    EXPECT_EQ(out.size(), size_t(4 * 8)) << angle;
  }
}

// ---------------------------------------------------------------- repairs

namespace {
// A 4 x 4 grid of triangles in z = 0 seen from +z, with the faces whose
// centroid satisfies `flip` turned away: their rim is the silhouette.
SbWingedEdgeModel flippedGrid(const std::function<bool(const SbVec3f&)>& flip) {
  SbWingedEdgeModel model = testmesh::model(testmesh::grid(4, 4, 4.0f));
  WeObject& o = model.objects[0];
  std::vector<int> corners;
  for (size_t f = 0; f < o.faces.size(); ++f) {
    o.faceCorners(static_cast<int>(f), corners);
    SbVec3f c(0, 0, 0);
    for (int v : corners) c += o.vertices[v].position;
    c /= float(corners.size());
    if (flip(c)) o.faces[f].normal = -o.faces[f].normal;
  }
  return model;
}
std::vector<SbEdgeRef> silhouetteFromAbove(const SbWingedEdgeModel& model) {
  SbSilhouetteView view;
  view.toViewer.setValue(0, 0, 1);
  std::vector<SbEdgeRef> out;
  SbSilhouetteEdges::bruteForce(model, view, {}, -1, out);
  return out;
}
// The view from above with `pixels` pixels per model unit.
SbWindowProjector screenOf(float pixels) {
  SbMatrix identity;
  identity.makeIdentity();
  const int size = static_cast<int>(2 * pixels);
  return SbWindowProjector(identity, identity, identity, 0, 0, size, size);
}
bool verticalAtX2(const SbWingedEdgeModel& m, const SbEdgeRef& r) {
  const WeObject& o = m.objects[r.object];
  const WeEdge& e = o.edges[r.edge];
  return o.vertices[e.vertex[0]].position[0] == 2.0f && o.vertices[e.vertex[1]].position[0] == 2.0f;
}
}  // namespace

TEST(SilhouetteRepair, ZigZagTakesTheStraightPathPastADetourOfAPixel) {
  // Left half turned away, plus one triangle beside the border at y in [1, 2].
  SbWingedEdgeModel model = flippedGrid([](const SbVec3f& c) {
    return c[0] < 2.0f || (c[0] > 2.0f && c[0] < 2.5f && c[1] > 1.5f && c[1] < 2.0f);
  });
  const std::vector<SbEdgeRef> found = silhouetteFromAbove(model);
  ASSERT_EQ(found.size(), 5u) << "three border edges and a two-edge detour";
  std::vector<SbEdgeRef> edges = found;
  SbSilhouetteRepair::meshZigZag(model, screenOf(1.0f), SbSilhouetteRepair::kZigZagPixels, edges);
  ASSERT_EQ(edges.size(), 4u);
  for (const SbEdgeRef& r : edges) EXPECT_TRUE(verticalAtX2(model, r));
  // Seen closer, the detour is part of the outline a viewer sees: kept.
  edges = found;
  SbSilhouetteRepair::meshZigZag(model, screenOf(2.0f), SbSilhouetteRepair::kZigZagPixels, edges);
  EXPECT_EQ(edges, found);
  // A straight border is left alone.
  SbWingedEdgeModel straight = flippedGrid([](const SbVec3f& c) { return c[0] < 2.0f; });
  std::vector<SbEdgeRef> border = silhouetteFromAbove(straight), repaired = border;
  SbSilhouetteRepair::meshZigZag(straight, screenOf(1.0f), SbSilhouetteRepair::kZigZagPixels, repaired);
  EXPECT_EQ(border, repaired);
}

TEST(SilhouetteRepair, ChunksOfUpToThreeEdgesAreDropped) {
  // The left border (4 edges) and one lone triangle turned away far from it.
  SbWingedEdgeModel model = flippedGrid([](const SbVec3f& c) {
    return c[0] < 1.0f || (c[0] > 3.0f && c[0] < 3.5f && c[1] > 2.5f && c[1] < 3.0f);
  });
  std::vector<SbEdgeRef> edges = silhouetteFromAbove(model);
  ASSERT_EQ(edges.size(), 7u);
  SbSilhouetteRepair::triangleChunks(model, edges);
  ASSERT_EQ(edges.size(), 4u);
  for (const SbEdgeRef& r : edges) {
    const WeObject& o = model.objects[r.object];
    EXPECT_EQ(o.vertices[o.edges[r.edge].vertex[0]].position[0], 1.0f);
  }
  // The zig-zag rule turns the lone triangle back as well, when it is small.
  edges = silhouetteFromAbove(model);
  SbSilhouetteRepair::meshZigZag(model, screenOf(0.5f), SbSilhouetteRepair::kZigZagPixels, edges);
  EXPECT_EQ(edges.size(), 4u);
}

// ---------------------------------------------------------------- the node

class SilhouetteNode : public ::testing::Test {
protected:
  void SetUp() override {
    linetest::initNodes();
    SoSilhouetteSwitches::cameraStatic = false;
    SoSilhouetteSwitches::meshZigZagRepair = 0;
    SoSilhouetteSwitches::triangleChunkRepair = 0;
    root = new SoSeparator;
    root->ref();
    ortho = new SoOrthographicCamera;
    ortho->height = 4.0f;
    root->addChild(ortho);
    source = new LineSetSource;
    root->addChild(source);
    silhouette = new SoGenerateSilhouette;
    root->addChild(silhouette);
    probe = new LineSetProbe;
    root->addChild(probe);
  }
  void TearDown() override {
    root->unref();
    SoSilhouetteSwitches::cameraStatic = false;
  }
  void look(SoCamera* camera, const SbRotation& rotation, float distance = 5.0f) {
    camera->orientation = rotation;
    SbVec3f position;
    rotation.multVec(SbVec3f(0, 0, distance), position);
    camera->position = position;
  }
  void traverse() {
    SoCallbackAction action(SbViewportRegion(200, 200));
    action.apply(root);
  }

  SoSeparator* root = nullptr;
  SoOrthographicCamera* ortho = nullptr;
  LineSetSource* source = nullptr;
  SoGenerateSilhouette* silhouette = nullptr;
  LineSetProbe* probe = nullptr;
};

TEST_F(SilhouetteNode, ClosedConvexMeshGivesOneClosedLoopOfTwoPointLines) {
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(2));
  source->model = &model;
  silhouette->displaySharpEdges = FALSE;
  look(ortho, SbRotation(SbVec3f(1, 2, 0.5f), 0.7f));
  traverse();
  const auto lines = linetest::polylines(probe->seen);
  ASSERT_GT(lines.size(), 8u);
  std::map<int, int> degree;
  for (const auto& l : lines) {
    ASSERT_EQ(l.size(), 2u) << "every edge is its own two-point line";
    ++degree[l[0]];
    ++degree[l[1]];
  }
  for (const auto& d : degree) EXPECT_EQ(d.second, 2) << "a loop passes every point twice";
  EXPECT_EQ(degree.size(), lines.size()) << "one cycle: as many points as edges";
  EXPECT_TRUE(probe->seen.thickness.empty() && probe->seen.parameters.empty() && probe->seen.taper.empty());

  // Chained, it is one closed polyline.
  root->insertChild(new SoLineConcatenator, root->findChild(probe));
  traverse();
  const auto chained = linetest::polylines(probe->seen);
  ASSERT_EQ(chained.size(), 1u);
  EXPECT_EQ(chained[0].front(), chained[0].back());
  EXPECT_EQ(chained[0].size(), lines.size() + 1);
}

TEST_F(SilhouetteNode, PerspectiveViewFromInsideAndOutside) {
  SbWingedEdgeModel model = testmesh::model(testmesh::torus(24, 12, 1.0f, 0.3f));
  source->model = &model;
  silhouette->displaySharpEdges = FALSE;
  auto* persp = new SoPerspectiveCamera;
  root->replaceChild(ortho, persp);
  for (float distance : {6.0f, 1.0f, 0.0f}) {  // outside, inside the tube's ring, at the centre
    look(persp, SbRotation(SbVec3f(1, 0, 0), 0.9f), distance);
    traverse();
    SbSilhouetteView view;
    view.perspective = true;
    view.eye = persp->position.getValue();
    std::vector<std::vector<float>> offsets;
    SbSilhouetteEdges::faceOffsets(model, offsets);
    std::vector<SbEdgeRef> expected;
    SbSilhouetteEdges::bruteForce(model, view, offsets, -1, expected);
    EXPECT_EQ(silhouette->foundEdges(), expected) << "distance " << distance;
    for (const SbVec3f& p : probe->seen.points) EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2]));
  }
}

TEST_F(SilhouetteNode, SilhouetteAndSharpEdgesTogether) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube());
  source->model = &model;
  look(ortho, SbRotation(SbVec3f(1, 1, 0), 0.5f));
  silhouette->displaySilhouette = FALSE;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 12u) << "all cube edges are sharp";
  silhouette->displaySharpEdges = FALSE;
  silhouette->displaySilhouette = TRUE;
  traverse();
  const size_t silhouetteOnly = silhouette->foundEdges().size();
  EXPECT_EQ(silhouetteOnly, 6u) << "a cube seen from a general direction shows a hexagon";
  silhouette->displaySharpEdges = TRUE;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 12u) << "silhouette edges are sharp too: no duplicates";
  EXPECT_EQ(linetest::polylines(probe->seen).size(), 12u);
}

TEST_F(SilhouetteNode, EdgesOfDifferentObjectsNeverShareAPoint) {
  // Vertex numbers restart at 0 in every object.
  PolyMesh a = testmesh::cube(), b = testmesh::cube(0.5f);
  for (SbVec3f& p : b.positions) p += SbVec3f(3, 0, 0);
  SbWingedEdgeModel model = testmesh::model({&a, &b});
  source->model = &model;
  silhouette->displaySilhouette = FALSE;
  traverse();
  ASSERT_EQ(probe->seen.points.size(), 16u);
  for (const auto& l : linetest::polylines(probe->seen)) {
    ASSERT_EQ(l.size(), 2u);
    const SbVec3f& p = probe->seen.points[l[0]];
    const SbVec3f& q = probe->seen.points[l[1]];
    EXPECT_NEAR((p - q).length(), p[0] > 2.0f ? 1.0f : 2.0f, 1e-5f) << "an edge joins points of one cube";
  }
}

TEST_F(SilhouetteNode, AnEdgeTheModelRepeatsIsSentOnce) {
  // Two copies of one cube: 24 sharp edges found, 12 lines drawn.
  PolyMesh a = testmesh::cube(), b = testmesh::cube();
  SbWingedEdgeModel model = testmesh::model({&a, &b});
  source->model = &model;
  silhouette->displaySilhouette = FALSE;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 24u);
  EXPECT_EQ(linetest::polylines(probe->seen).size(), 12u);
}

TEST_F(SilhouetteNode, AppendsAfterTheLinesAlreadyThereAndClearsStaleArrays) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube());
  source->model = &model;
  source->publishLines = true;
  source->lines.points = {SbVec3f(5, 5, 5), SbVec3f(6, 5, 5), SbVec3f(7, 5, 5)};
  source->lines.indices = {0, 1, 2, -1};
  source->lines.thickness = {1, 2, 3};
  silhouette->displaySilhouette = FALSE;
  traverse();
  const auto lines = linetest::polylines(probe->seen);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[0], (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(probe->seen.points.size(), 3u + 8u);
  EXPECT_TRUE(probe->seen.thickness.empty()) << "thickness of the old index list would not match";
}

TEST_F(SilhouetteNode, DoComputationFalseLeavesTheLineSetUnchanged) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube());
  source->model = &model;
  source->publishLines = true;
  source->lines.points = {SbVec3f(0, 0, 0), SbVec3f(1, 0, 0)};
  source->lines.indices = {0, 1, -1};
  source->lines.thickness = {2, 2};
  silhouette->doComputation = FALSE;
  traverse();
  EXPECT_EQ(probe->indexPointer, source->lines.indices.data());
  EXPECT_EQ(probe->thicknessPointer, source->lines.thickness.data());
  EXPECT_EQ(probe->seen.indices, source->lines.indices);
}

TEST_F(SilhouetteNode, MaximalErrorRebuildsTheStructureAndTheViewDoesNot) {
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(2));
  source->model = &model;
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 1);
  look(ortho, SbRotation(SbVec3f(0, 1, 0), 1.0f));
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 1);
  silhouette->maximalError = 2.0f;
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 2);
  // Moving the mesh (as smoothing does) is a new model too.
  for (WeVertex& v : model.objects[0].vertices) v.position *= 1.5f;
  model.objects[0].computeNormals();
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 3);
}

TEST_F(SilhouetteNode, CameraStaticKeepsTheViewItFirstSaw) {
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(2));
  source->model = &model;
  silhouette->displaySharpEdges = FALSE;
  // Switched on before any extraction: the current camera is used once.
  SoSilhouetteSwitches::cameraStatic = true;
  look(ortho, SbRotation(SbVec3f(1, 0, 0), 0.4f));
  traverse();
  const std::vector<SbEdgeRef> first = silhouette->foundEdges();
  ASSERT_FALSE(first.empty());
  look(ortho, SbRotation(SbVec3f(0, 1, 0), 1.3f));
  traverse();
  EXPECT_EQ(silhouette->foundEdges(), first);
  SoSilhouetteSwitches::cameraStatic = false;
  traverse();
  EXPECT_NE(silhouette->foundEdges(), first);
}

TEST_F(SilhouetteNode, RepairSwitchesRunThePasses) {
  SbWingedEdgeModel model = flippedGrid([](const SbVec3f& c) {
    return c[0] < 1.0f || (c[0] > 3.0f && c[0] < 3.5f && c[1] > 2.5f && c[1] < 3.0f);
  });
  source->model = &model;
  silhouette->displaySharpEdges = FALSE;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 7u);
  SoSilhouetteSwitches::triangleChunkRepair = 1;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 4u);
  SoSilhouetteSwitches::triangleChunkRepair = 0;
  SoSilhouetteSwitches::meshZigZagRepair = 1;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 7u) << "the lone triangle is 70 pixels wide: kept";
  ortho->height = 400.0f;
  traverse();
  EXPECT_EQ(silhouette->foundEdges().size(), 4u) << "now it is below a pixel: turned";
  SoSilhouetteSwitches::meshZigZagRepair = 0;
}

TEST_F(SilhouetteNode, BadModelsGiveNoNaNLines) {
  // Open, non-manifold, degenerate and NaN-positioned meshes; an empty model.
  SbWingedEdgeModel empty;
  source->model = &empty;
  traverse();
  EXPECT_TRUE(probe->seen.indices.empty());
  for (auto& named : testModels()) {
    SbWingedEdgeModel model = named.second;
    model.objects[0].vertices[0].position.setValue(NAN, 0, 0);
    source->model = &model;
    traverse();
    for (const auto& l : linetest::polylines(probe->seen))
      for (int p : l) {
        ASSERT_LT(p, static_cast<int>(probe->seen.points.size()));
        const SbVec3f& q = probe->seen.points[p];
        EXPECT_TRUE(std::isfinite(q[0] + q[1] + q[2])) << named.first;
      }
  }
}
