// The line filters that need a depth buffer, offscreen (xvfb-run).
#include <gtest/gtest.h>

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoSphere.h>

#include <array>
#include <cmath>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "lines/SbSilhouetteEdges.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoSilhouetteSwitches.h"

namespace {

// An orthographic camera `height` units high looking along -toViewer from `distance` away (seeing as far again), then
// `nodes` drawn black.
linetest::Root blackScene(float height, const std::vector<SoNode*>& nodes, SbVec3f toViewer = SbVec3f(0, 0, 1),
                          float distance = 5.0f) {
  toViewer.normalize();
  auto* camera = linetest::pixelCamera(height);
  camera->orientation = SbRotation(SbVec3f(0, 0, 1), toViewer);
  camera->position = toViewer * distance;
  camera->farDistance = 2.0f * distance;
  auto* lightModel = new SoLightModel;
  lightModel->model = SoLightModel::BASE_COLOR;
  auto* black = new SoBaseColor;
  black->rgb.setValue(0, 0, 0);
  linetest::Root root = linetest::scene({camera, lightModel, black});
  for (SoNode* n : nodes) root->addChild(n);
  return root;
}

// Length of a segment as the orthographic view along `toViewer` shows it.
double shownLength(const SbVec3f& d, const SbVec3f& toViewer) { return (d - toViewer * d.dot(toViewer)).length(); }

// The mesh's faces.
SoSeparator* faces(const PolyMesh& m) {
  auto* group = new SoSeparator;
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, int(m.positions.size()), m.positions.data());
  auto* faceSet = new SoIndexedFaceSet;
  for (int f = 0; f < m.faceCount(); ++f) {
    const int n = faceSet->coordIndex.getNum(), corners = m.faceStart[f + 1] - m.faceStart[f];
    faceSet->coordIndex.setValues(n, corners, &m.corners[m.faceStart[f]]);
    faceSet->coordIndex.set1Value(n + corners, -1);
  }
  group->addChild(coords), group->addChild(faceSet);
  return group;
}

// Screen length of the silhouette edges' visible parts at the picture's resolution, by brute force: a point is visible
// when a ray towards the viewer from it, or from a point a pixel beside it, meets no face (Moeller-Trumbore).
double rayCastOutline(const SbWingedEdgeModel& model, const SbVec3f& toViewer, float pixel) {
  SbVec3f right, up;
  SbRotation(SbVec3f(0, 0, 1), toViewer).multVec(SbVec3f(1, 0, 0), right);
  SbRotation(SbVec3f(0, 0, 1), toViewer).multVec(SbVec3f(0, 1, 0), up);
  std::vector<SbEdgeRef> edges;
  SbSilhouetteView view;
  view.toViewer = toViewer;
  SbSilhouetteEdges::bruteForce(model, view, {}, -1, edges);
  std::vector<std::array<SbVec3f, 3>> triangles;
  std::vector<int> c;
  for (const WeObject& o : model.objects)
    for (int f = 0; f < o.faceCount; ++f)
      for (size_t k = (o.faceCorners(f, c), 1); k + 1 < c.size(); ++k)
        triangles.push_back({o.vertices[c[0]].position, o.vertices[c[k]].position, o.vertices[c[k + 1]].position});
  auto hidden = [&](const SbVec3f& p) {
    for (const auto& t : triangles) {
      const SbVec3f e1 = t[1] - t[0], e2 = t[2] - t[0], q = toViewer.cross(e2), s = p - t[0], r = s.cross(e1);
      const float det = e1.dot(q), u = s.dot(q) / det, v = toViewer.dot(r) / det;
      if (std::fabs(det) >= 1e-9f && u >= 0 && v >= 0 && u + v <= 1 && e2.dot(r) / det > 1e-4f) return true;
    }
    return false;
  };
  double total = 0.0;
  for (const SbEdgeRef& ref : edges) {
    const WeObject& o = model.objects[ref.object];
    const SbVec3f a = o.vertices[o.edges[ref.edge].vertex[0]].position,
                  b = o.vertices[o.edges[ref.edge].vertex[1]].position;
    int seen = 0;
    for (int i = 0; i < 64; ++i)
      for (int d = 0; d < 9; ++d)
        if (!hidden(a + (b - a) * ((i + 0.5f) / 64) + (right * float(d % 3 - 1) + up * float(d / 3 - 1)) * pixel)) {
          ++seen;
          break;
        }
    total += shownLength(b - a, toViewer) * seen / 64;
  }
  return total;
}

// A 2 x 2 x 2 cube (front face at z = 1) and lines behind it, on its front face and beside it, far back: the one behind
// vanishes, the others stay whole with their values (taper too); also in tiny and resized windows, and with the same
// remover twice in a traversal (reading its own output).
TEST(HiddenLinesGL, LineBehindTheModelVanishesAndVisibleLinesStayWhole) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  auto* source = new LineSetSource;
  source->publishLines = true;
  source->lines.points = {SbVec3f(-0.5f, 0, -1.5f),  SbVec3f(0.5f, 0, -1.5f),  SbVec3f(-0.5f, 0.3f, 1.0f),
                          SbVec3f(0.5f, 0.3f, 1.0f), SbVec3f(1.5f, -0.5f, -3), SbVec3f(1.5f, 0.5f, -3)};
  source->lines.indices = {0, 1, -1, 2, 3, -1, 4, 5, -1};
  source->lines.taper = {1, 2, 3, 4, 5, 6};
  auto* remover = new SoLineHiddenLineRemover;
  remover->maximalError = 2.0f;
  auto *probe = new LineSetProbe, *second = new LineSetProbe;
  const linetest::Root root = blackScene(4.0f, {new SoCube, source, remover, probe});
  gltest::render(root.get(), 128, 128);
  const SbLineSet& s = probe->seen;
  const auto lines = linetest::polylines(s);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::fabs(s.points[lines[0][0]][0] + 0.5f) < 1e-4f && std::fabs(s.points[lines[0][1]][0] - 0.5f) < 1e-4f);
  EXPECT_NEAR(s.points[lines[0][0]][2], 1.0f, 1e-6f);
  EXPECT_TRUE(std::fabs(s.points[lines[1][0]][1] + 0.5f) < 1e-4f && std::fabs(s.points[lines[1][1]][1] - 0.5f) < 1e-4f);
  EXPECT_EQ(s.taper, (std::vector<float>{3, 4, 5, 6}));
  EXPECT_EQ(s.parameters, (std::vector<float>{0, 1, -1, 0, 1, -1}));
  for (int size : {1, 2, 33, 128, 7}) {  // the depth cache follows the window
    gltest::render(root.get(), size, size);
    for (const SbVec3f& p : s.points) EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2]));
    EXPECT_EQ(s.parameters.size(), s.indices.size());
  }
  root->addChild(new SoLineConcatenator), root->addChild(remover), root->addChild(second);
  gltest::render(root.get(), 128, 128);
  EXPECT_EQ(linetest::polylines(s).size(), 2u);
  EXPECT_TRUE(second->seen.indices == s.indices && second->seen.points == s.points && second->seen.taper == s.taper &&
              second->seen.parameters == s.parameters);
  remover->active = FALSE;
  gltest::render(root.get(), 128, 128);
  EXPECT_EQ(linetest::polylines(s).size(), 3u);
}

// An icosphere's silhouette drawn at once (no line set) over a sphere just inside it: the rim all round, nothing
// elsewhere; also after a 1 x 1 window.
TEST(SilhouetteDrawingGL, DrawsTheRimOfASphereOverItsOwnSurface) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(3));
  auto* sphere = new SoSphere;
  sphere->radius = 0.97f;  // its depth hides the back
  auto* source = new LineSetSource;
  source->model = &model;
  auto* silhouette = new SoGenerateSilhouette;
  silhouette->sendLines = silhouette->antialiasing = FALSE;
  silhouette->setColour(SbColor(1, 1, 1));
  const linetest::Root root = blackScene(3.0f, {sphere, source, silhouette});
  const int size = 96;
  const float pixelsPerUnit = size / 3.0f;
  const QImage image = gltest::render(root.get(), size, size);
  int rim = 0, inside = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (image.pixel(x, y) & 0xffffff) {
        const float r = std::hypot(x + 0.5f - size / 2.0f, y + 0.5f - size / 2.0f) / pixelsPerUnit;
        ++(r > 0.85f && r < 1.1f ? rim : inside);
      }
  EXPECT_GT(rim, int(2 * M_PI * pixelsPerUnit * 0.8f));
  EXPECT_EQ(inside, 0);
  gltest::render(root.get(), 1, 1);
  EXPECT_GT(gltest::drawnPixels(gltest::render(root.get(), size, size)), 0);
}

// The application's silhouette chain (extraction with both artifact repairs, concatenation, hidden-line removal) on
// coarse and fine, convex and non-convex models and models of several objects: what comes out is the visible outline
// that a ray cast finds.
TEST(SilhouetteChainGL, TheVisibleOutlineSurvivesHiddenLineRemoval) {
  const float height = 3.2f;
  const int size = 256;
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  const PolyMesh cube = testmesh::cubeTriangles(0.5f), sphere = testmesh::icosphere(3);
  const PolyMesh torus = testmesh::torus(12, 8, 0.7f, 0.3f), coarse = testmesh::torus(7, 5, 0.8f, 0.4f);
  PolyMesh otherCube = cube, prism, box = testmesh::cube(0.7f);
  for (SbVec3f& p : otherCube.positions) p += SbVec3f(0.5f, 0.5f, -1.5f);
  // A seven-sided prism with flat ends (one face each) under a wider box, seen from the side: the ends edge-on.
  std::vector<int> bottom, top;
  for (int j = 0; j < 14; ++j) {
    const float a = float(2 * M_PI) * (j % 7 + 0.25f) / 7;
    prism.addVertex({0.4f * std::cos(a), j < 7 ? -1.2f : 0.0f, 0.4f * std::sin(a)});
    if (j < 7) prism.addFace({j, (j + 1) % 7, 7 + (j + 1) % 7, 7 + j}), bottom.push_back(j), top.push_back(13 - j);
  }
  prism.addFace(bottom), prism.addFace(top);
  for (SbVec3f& p : box.positions) p[1] = p[1] > 0 ? 1.0f : 0.0f;
  const SbVec3f side(0.05f, 0.1f, 1.0f), oblique(0.4f, 0.7f, 0.6f), front(0, 0, 1);
  // clang-format off
  const struct { const char* name; std::vector<const PolyMesh*> meshes; SbVec3f direction; } cases[] = {
      {"cube face-on", {&cube}, front}, {"sphere", {&sphere}, oblique}, {"coarse torus from the side", {&coarse}, side},
      {"coarse torus from above", {&coarse}, oblique}, {"torus", {&torus}, oblique},
      {"two cubes, one partly behind", {&cube, &otherCube}, front}, {"prism under a box", {&prism, &box}, front}};
  // clang-format on
  const int oldZigZag = SoSilhouetteSwitches::meshZigZagRepair, oldChunks = SoSilhouetteSwitches::triangleChunkRepair;
  SoSilhouetteSwitches::meshZigZagRepair = SoSilhouetteSwitches::triangleChunkRepair = 1;  // as the application starts
  for (const auto& [name, meshes, direction] : cases) {
    SCOPED_TRACE(name);
    SbWingedEdgeModel model =
        meshes.size() == 1 ? testmesh::model(*meshes[0]) : testmesh::model({meshes[0], meshes[1]});
    auto* source = new LineSetSource;
    source->model = &model;
    auto* silhouette = new SoGenerateSilhouette;
    silhouette->displaySharpEdges = FALSE;
    auto* probe = new LineSetProbe;
    std::vector<SoNode*> nodes;
    for (const PolyMesh* m : meshes) nodes.push_back(faces(*m));  // they fill the depth buffer
    nodes.insert(nodes.end(), {source, silhouette, new SoLineConcatenator, new SoLineHiddenLineRemover, probe});
    const linetest::Root root = blackScene(height, nodes, direction, 6.0f);  // holds the probe
    gltest::render(root.get(), size, size);
    SbVec3f toViewer = direction;
    toViewer.normalize();
    const double expected = rayCastOutline(model, toViewer, height / size);
    ASSERT_GT(expected, 1.0);
    double drawn = 0.0;
    const SbLineSet& set = probe->seen;
    for (size_t k = 1; k < set.indices.size(); ++k)
      if (set.indices[k] >= 0 && set.indices[k - 1] >= 0)
        drawn += shownLength(set.points[set.indices[k]] - set.points[set.indices[k - 1]], toViewer);
    EXPECT_NEAR(drawn, expected, 0.02 * expected);
  }
  SoSilhouetteSwitches::meshZigZagRepair = oldZigZag, SoSilhouetteSwitches::triangleChunkRepair = oldChunks;
}

}  // namespace
