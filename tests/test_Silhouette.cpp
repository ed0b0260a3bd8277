#include <gtest/gtest.h>

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cmath>
#include <map>
#include <random>
#include <tuple>

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

// Closed, open, non-manifold, non-orientable, two objects, a zero face normal.
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
  SbWingedEdgeModel broken = testmesh::model(testmesh::icosphere(1));
  broken.objects[0].faces[3].normal.setValue(0, 0, 0);
  models.emplace_back("zero normal", std::move(broken));
  return models;
}

}  // namespace

// Both search structures find exactly the brute-force edges, of every object or one, visiting only a part of the edges.
TEST(SilhouetteSearch, StructuresMatchBruteForceForManyViews) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> distance(0.05f, 20.0f);
  for (auto& named : testModels()) {
    const SbWingedEdgeModel& model = named.second;
    for (float error : {0.0f, 0.5f, 4.0f, 45.0f, 1000.0f}) {
      SCOPED_TRACE(named.first + " error " + std::to_string(error));
      SbSilhouetteGaussMap map;
      map.build(model, error);
      // 7 directions edge-on for the cube's faces, 30 random; 3 eyes (inside, on the sphere, far away), 40 random.
      const SbVec3f directions[] = {
          {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, SbVec3f(1, 1, 0) / std::sqrt(2.0f)};
      const SbVec3f eyes[] = {{0, 0, 0}, {0, 0, 1.0f}, {1e6f, 0, 0}};
      std::vector<SbSilhouetteView> views(7 + 30);
      for (int i = 0; i < 7 + 30; ++i) views[i].toViewer = i < 7 ? directions[i] : randomDirection(rng);
      SbSilhouettePerspective tree;
      if (error > 0.0f) tree.build(model, error);
      for (int i = 0; i < 3 + 40 && error > 0.0f; ++i) {
        views.emplace_back().perspective = true;
        views.back().eye = i < 3 ? eyes[i] : randomDirection(rng) * distance(rng);
      }
      for (int object : {-1, 1})
        for (const SbSilhouetteView& view : views) {
          const SbVec3f& v = view.perspective ? view.eye : view.toViewer;
          std::vector<SbEdgeRef> expected, got;
          SbSilhouetteEdges::bruteForce(
              model, view, view.perspective ? tree.offsets() : std::vector<std::vector<float>>(), object, expected);
          view.perspective ? tree.query(model, v, object, got) : map.query(model, v, object, got);
          ASSERT_EQ(expected, got) << "object " << object << (view.perspective ? " eye " : " direction ") << v[0] << " "
                                   << v[1] << " " << v[2];
        }
    }
  }
  // Large enough for both structures to be built on two threads.
  const SbWingedEdgeModel sphere = testmesh::model(testmesh::geodesicSphere(48));
  ASSERT_GE(sphere.objects[0].edges.size(), SbSilhouetteGaussMap::kParallelEdges);
  ASSERT_GE(sphere.objects[0].edges.size(), size_t(SbSilhouettePerspective::kParallelItems));
  SbSilhouetteGaussMap map;
  SbSilhouettePerspective tree;
  map.build(sphere, 4.0f);
  tree.build(sphere, 4.0f);
  std::vector<SbEdgeRef> found, viewed, expected;
  SbSilhouetteView slanted;
  slanted.toViewer = SbVec3f(0.3f, 0.5f, 0.8f);
  SbSilhouetteEdges::bruteForce(sphere, slanted, {}, -1, expected);
  map.query(sphere, slanted.toViewer, -1, found);
  EXPECT_EQ(expected, found);
  SbSilhouetteView eye;
  eye.perspective = true;
  for (int i = 0; i < 30; ++i) {  // eyes close by, each seeing a different part of the edges
    eye.eye = randomDirection(rng) * 1.2f;
    SbSilhouetteEdges::bruteForce(sphere, eye, tree.offsets(), -1, expected);
    tree.query(sphere, eye.eye, -1, viewed);
    ASSERT_EQ(expected, viewed) << "eye " << eye.eye[0] << " " << eye.eye[1] << " " << eye.eye[2];
  }
  EXPECT_FALSE(found.empty() || viewed.empty());
  EXPECT_LT(map.lastCandidateCount(), sphere.objects[0].edges.size() / 4);
  EXPECT_LT(tree.lastCandidateCount(), sphere.objects[0].edges.size() / 2);
  map.query(sphere, SbVec3f(0, 0, 1), 7, found);  // no such object
  tree.query(sphere, eye.eye, 7, viewed);
  EXPECT_TRUE(found.empty() && viewed.empty());
}

// Edges whose faces bend by more than 180 - angle degrees, and every boundary edge. Float normals of one plane that
// differ in the last bits are no bend; an angle that is no number adds nothing.
TEST(SharpEdges, BendsOverTheAngleAndBoundaries) {
  PolyMesh tilted = testmesh::grid(8, 8);
  const SbRotation turn(SbVec3f(1, 2, 3), 0.7f);
  for (SbVec3f& p : tilted.positions) turn.multVec(p, p);
  const SbWingedEdgeModel cube = testmesh::model(testmesh::cubeTriangles()),
                          grid = testmesh::model(testmesh::grid(3, 2)),
                          sphere = testmesh::model(testmesh::icosphere(3)), plane = testmesh::model(tilted);
  ASSERT_EQ(cube.objects[0].edges.size(), 18u);  // 12 at 90 degrees, 6 diagonals between coplanar triangles
  auto sharp = [](const SbWingedEdgeModel& model, float angle) {
    std::vector<SbEdgeRef> out;
    SbSilhouetteEdges::sharpEdges(model, angle, -1, out);
    return out.size();
  };
  EXPECT_EQ((std::vector<size_t>{sharp(cube, 115), sharp(cube, 180), sharp(cube, 0), sharp(cube, 80), sharp(grid, 0),
                                 sharp(sphere, 115), sharp(sphere, 180), sharp(plane, 180), sharp(plane, NAN)}),
            (std::vector<size_t>{12, 12, 0, 0, 2 * (3 + 2), 0, sphere.objects[0].edges.size(), 4 * 8, 4 * 8}));
}

namespace {
// A 4 x 4 triangle grid in z = 0 seen from +z; the faces whose centroid satisfies `flip` turn away, and their rim
// is the silhouette.
SbWingedEdgeModel flippedGrid(const std::function<bool(const SbVec3f&)>& flip) {
  SbWingedEdgeModel model = testmesh::model(testmesh::grid(4, 4, 4.0f));
  WeObject& o = model.objects[0];
  std::vector<int> corners;
  for (size_t f = 0; f < o.faces.size(); ++f) {
    o.faceCorners(static_cast<int>(f), corners);
    SbVec3f c(0, 0, 0);
    for (int v : corners) c += o.vertices[v].position / float(corners.size());
    if (flip(c)) o.faces[f].normal = -o.faces[f].normal;
  }
  return model;
}
// The left border at x = 1 and one lone triangle turned away far from it.
bool borderAndLoneTriangle(const SbVec3f& c) {
  return c[0] < 1.0f || (c[0] > 3.0f && c[0] < 3.5f && c[1] > 2.5f && c[1] < 3.0f);
}
}  // namespace

class SilhouetteNode : public ::testing::Test {
 protected:
  void SetUp() override {
    linetest::initNodes();
    TearDown();
    root = new SoSeparator;
    root->ref();
    ortho = new SoOrthographicCamera;
    ortho->height = 4.0f;
    source = new LineSetSource;
    silhouette = new SoGenerateSilhouette;
    probe = new LineSetProbe;
    for (SoNode* node : {(SoNode*)ortho, (SoNode*)source, (SoNode*)silhouette, (SoNode*)probe}) root->addChild(node);
  }
  void TearDown() override {
    if (root) root->unref();
    root = nullptr;
    SoSilhouetteSwitches::cameraStatic = false;
    SoSilhouetteSwitches::meshZigZagRepair = SoSilhouetteSwitches::triangleChunkRepair = 0;
  }
  void look(SoCamera* camera, const SbRotation& rotation, float distance = 5.0f) {
    camera->orientation = rotation;
    SbVec3f position;
    rotation.multVec(SbVec3f(0, 0, distance), position);
    camera->position = position;
  }
  void traverse(const SbWingedEdgeModel* model = nullptr) {
    if (model) source->model = const_cast<SbWingedEdgeModel*>(model);
    SoCallbackAction action(SbViewportRegion(200, 200));
    action.apply(root);
  }
  size_t lineCount() const { return linetest::polylines(probe->seen).size(); }

  SoSeparator* root = nullptr;
  SoOrthographicCamera* ortho = nullptr;
  LineSetSource* source = nullptr;
  SoGenerateSilhouette* silhouette = nullptr;
  LineSetProbe* probe = nullptr;
};

TEST_F(SilhouetteNode, ClosedConvexMeshGivesOneClosedLoopOfTwoPointLines) {
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(2));
  silhouette->displaySharpEdges = FALSE;
  look(ortho, SbRotation(SbVec3f(1, 2, 0.5f), 0.7f));
  traverse(&model);
  const auto lines = linetest::polylines(probe->seen);
  ASSERT_GT(lines.size(), 8u);
  std::map<int, int> degree;
  for (const auto& l : lines) {
    ASSERT_EQ(l.size(), 2u) << "every edge is its own two-point line";
    for (int p : l) ++degree[p];
  }
  for (const auto& d : degree) EXPECT_EQ(d.second, 2) << "a loop passes every point twice";
  EXPECT_EQ(degree.size(), lines.size()) << "one cycle: as many points as edges";
  EXPECT_TRUE(probe->seen.thickness.empty() && probe->seen.parameters.empty() && probe->seen.taper.empty());
  // Chained, it is one closed polyline.
  root->insertChild(new SoLineConcatenator, root->findChild(probe));
  traverse();
  const auto chained = linetest::polylines(probe->seen);
  ASSERT_EQ(chained.size(), 1u);
  EXPECT_TRUE(chained[0].front() == chained[0].back() && chained[0].size() == lines.size() + 1);
}

// Seen through a perspective camera from outside and inside a torus, and of bad models (a NaN point, an empty model):
// the brute-force edges, finite points.
TEST_F(SilhouetteNode, PerspectiveViewFromInsideAndOutside) {
  SbWingedEdgeModel model = testmesh::model(testmesh::torus(24, 12, 1.0f, 0.3f));
  silhouette->displaySharpEdges = FALSE;
  auto* persp = new SoPerspectiveCamera;
  root->replaceChild(ortho, persp);
  std::vector<std::vector<float>> offsets;
  SbSilhouetteEdges::faceOffsets(model, offsets);
  for (float distance : {6.0f, 1.0f, 0.0f}) {  // outside, inside the tube's ring, at the centre
    look(persp, SbRotation(SbVec3f(1, 0, 0), 0.9f), distance);
    traverse(&model);
    SbSilhouetteView view;
    view.perspective = true;
    view.eye = persp->position.getValue();
    std::vector<SbEdgeRef> expected;
    SbSilhouetteEdges::bruteForce(model, view, offsets, -1, expected);
    EXPECT_EQ(silhouette->foundEdges(), expected) << "distance " << distance;
  }
  silhouette->displaySharpEdges = TRUE;
  SbWingedEdgeModel empty;
  traverse(&empty);
  EXPECT_TRUE(probe->seen.indices.empty());
  for (auto& named : testModels()) {
    named.second.objects[0].vertices[0].position.setValue(NAN, 0, 0);
    traverse(&named.second);
    const std::vector<SbVec3f>& q = probe->seen.points;
    for (const auto& l : linetest::polylines(probe->seen))
      for (int p : l) ASSERT_TRUE(p < int(q.size()) && std::isfinite(q[p][0] + q[p][1] + q[p][2])) << named.first;
  }
}

TEST_F(SilhouetteNode, SharpAndSilhouetteEdgesAreSentOnceWithTheirOwnPoints) {
  PolyMesh a = testmesh::cube(), b = testmesh::cube(0.5f), c = testmesh::cube();
  for (SbVec3f& p : b.positions) p += SbVec3f(3, 0, 0);
  const SbWingedEdgeModel cube = testmesh::model(a), apart = testmesh::model({&a, &b}),
                          twice = testmesh::model({&a, &c});
  look(ortho, SbRotation(SbVec3f(1, 1, 0), 0.5f));
  // model, silhouette, sharp edges -> edges found, lines sent
  const std::tuple<const SbWingedEdgeModel&, bool, bool, size_t, size_t> cases[] = {
      {cube, false, true, 12, 12},   // all cube edges are sharp
      {cube, true, false, 6, 6},     // from a general direction: a hexagon
      {cube, true, true, 12, 12},    // silhouette edges are sharp too: no duplicates
      {twice, false, true, 24, 12},  // an edge the model repeats is sent once
      {apart, false, true, 24, 24}};
  for (const auto& [model, outline, sharp, found, lines] : cases) {
    silhouette->displaySilhouette = outline;
    silhouette->displaySharpEdges = sharp;
    traverse(&model);
    EXPECT_EQ(std::make_pair(silhouette->foundEdges().size(), lineCount()), std::make_pair(found, lines));
  }
  // Vertex numbers restart at 0 in every object: an edge joins points of one cube.
  ASSERT_EQ(probe->seen.points.size(), 16u);
  for (const auto& l : linetest::polylines(probe->seen)) {
    const SbVec3f& p = probe->seen.points[l[0]];
    EXPECT_NEAR((p - probe->seen.points[l[1]]).length(), p[0] > 2.0f ? 1.0f : 2.0f, 1e-5f);
  }
}

TEST_F(SilhouetteNode, AppendsAfterTheLinesThereOrLeavesThemWhenOff) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube());
  source->publishLines = true;
  source->lines.points = {SbVec3f(5, 5, 5), SbVec3f(6, 5, 5), SbVec3f(7, 5, 5)};
  source->lines.indices = {0, 1, 2, -1};
  source->lines.thickness = {1, 2, 3};
  silhouette->displaySilhouette = FALSE;
  traverse(&model);
  const auto lines = linetest::polylines(probe->seen);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[0], (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(probe->seen.points.size(), 3u + 8u);
  EXPECT_TRUE(probe->seen.thickness.empty()) << "thickness of the old index list would not match";
  silhouette->doComputation = FALSE;
  traverse();
  EXPECT_TRUE(probe->indexPointer == source->lines.indices.data() &&
              probe->thicknessPointer == source->lines.thickness.data());
}

TEST_F(SilhouetteNode, StructuresFollowTheModelAndCameraStaticKeepsTheView) {
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(2));
  silhouette->displaySharpEdges = FALSE;
  traverse(&model);
  look(ortho, SbRotation(SbVec3f(0, 1, 0), 1.0f));
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 1) << "a new view uses the same structure";
  silhouette->maximalError = 2.0f;
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 2);
  for (WeVertex& v : model.objects[0].vertices) v.position *= 1.5f;  // moved, as smoothing does: a new model
  model.objects[0].computeNormals();
  traverse();
  EXPECT_EQ(silhouette->structureBuilds(), 3);
  // Switched on before any extraction: the current camera is used once.
  SetUp();
  silhouette->displaySharpEdges = FALSE;
  SoSilhouetteSwitches::cameraStatic = true;
  look(ortho, SbRotation(SbVec3f(1, 0, 0), 0.4f));
  traverse(&model);
  const std::vector<SbEdgeRef> first = silhouette->foundEdges();
  ASSERT_FALSE(first.empty());
  look(ortho, SbRotation(SbVec3f(0, 1, 0), 1.3f));
  traverse();
  EXPECT_EQ(silhouette->foundEdges(), first);
  SoSilhouetteSwitches::cameraStatic = false;
  traverse();
  EXPECT_NE(silhouette->foundEdges(), first);
}

// Chunks of up to three edges go; zig-zags under a pixel are straightened (a small lone triangle too), wider ones kept.
TEST_F(SilhouetteNode, RepairSwitchesRunThePasses) {
  const SbWingedEdgeModel lone = flippedGrid(borderAndLoneTriangle),
                          straight = flippedGrid([](const SbVec3f&c) { return c[0] < 2.0f; }),
                          detour = flippedGrid([](const SbVec3f&c) {  // the border at x = 2 and a triangle beside it
                            return c[0] < 2.0f || (c[0] > 2.0f && c[0] < 2.5f && c[1] > 1.5f && c[1] < 2.0f);
                          });
  silhouette->displaySharpEdges = FALSE;
  // model, chunk pass, zig-zag pass, camera height (200 / height pixels per unit) -> edges found and the x of every
  // point (NaN: not all on the border)
  const std::tuple<const SbWingedEdgeModel&, int, int, float, size_t, float> steps[] = {
      {lone, 0, 0, 4, 7, NAN},     {lone, 1, 0, 4, 4, 1},     {lone, 0, 1, 4, 7, NAN},     {lone, 0, 1, 400, 4, 1},
      {detour, 0, 0, 200, 5, NAN}, {detour, 0, 1, 200, 4, 2}, {detour, 0, 1, 100, 5, NAN}, {straight, 0, 1, 200, 4, 2}};
  for (const auto& step : steps) {
    const auto& [model, chunkPass, zigZagPass, height, edges, x] = step;
    SCOPED_TRACE(&step - steps);
    SoSilhouetteSwitches::triangleChunkRepair = chunkPass;
    SoSilhouetteSwitches::meshZigZagRepair = zigZagPass;
    ortho->height = height;
    traverse(&model);
    EXPECT_EQ(silhouette->foundEdges().size(), edges);
    bool onBorder = true;
    for (const auto& l : linetest::polylines(probe->seen))
      for (int p : l) onBorder = onBorder && probe->seen.points[p][0] == x;
    EXPECT_EQ(onBorder, x == x);
  }
  // The chunk pass alone, on the search's own list.
  SbSilhouetteView view;
  view.toViewer.setValue(0, 0, 1);
  std::vector<SbEdgeRef> chunks;
  SbSilhouetteEdges::bruteForce(lone, view, {}, -1, chunks);
  ASSERT_EQ(chunks.size(), 7u);
  SbSilhouetteRepair::triangleChunks(lone, chunks);
  EXPECT_EQ(chunks.size(), 4u);
}
