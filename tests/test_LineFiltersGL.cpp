#include <gtest/gtest.h>

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
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

// An orthographic camera `height` units high looking along -toViewer from `distance` away (seeing as
// far again), and whatever follows drawn black.
SoSeparator* blackScene(float height, SbVec3f toViewer = SbVec3f(0, 0, 1), float distance = 5.0f) {
  SoSeparator* root = new SoSeparator;
  root->ref();
  toViewer.normalize();
  auto* camera = new SoOrthographicCamera;
  camera->orientation = SbRotation(SbVec3f(0, 0, 1), toViewer);
  camera->position = toViewer * distance;
  camera->height = height;
  camera->nearDistance = 1.0f;
  camera->farDistance = 2.0f * distance;
  auto* lightModel = new SoLightModel;
  lightModel->model = SoLightModel::BASE_COLOR;
  auto* black = new SoBaseColor;
  black->rgb.setValue(0, 0, 0);
  root->addChild(camera), root->addChild(lightModel), root->addChild(black);
  return root;
}

}  // namespace

// A 2 x 2 x 2 cube (front face at z = 1) and lines behind it, on its front face and beside it, far
// back: the one behind vanishes, the others stay whole with their values; also in tiny and resized
// windows, and with the same remover twice in a traversal (reading its own output).
TEST(HiddenLinesGL, LineBehindTheModelVanishesAndVisibleLinesStayWhole) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  SoSeparator* root = blackScene(4.0f);
  root->addChild(new SoCube);
  auto* source = new LineSetSource;
  source->publishLines = true;
  source->lines.points = {SbVec3f(-0.5f, 0, -1.5f),  SbVec3f(0.5f, 0, -1.5f),  SbVec3f(-0.5f, 0.3f, 1.0f),
                          SbVec3f(0.5f, 0.3f, 1.0f), SbVec3f(1.5f, -0.5f, -3), SbVec3f(1.5f, 0.5f, -3)};
  source->lines.indices = {0, 1, -1, 2, 3, -1, 4, 5, -1};
  source->lines.taper = {1, 2, 3, 4, 5, 6};
  auto* remover = new SoLineHiddenLineRemover;
  remover->maximalError = 2.0f;
  auto *probe = new LineSetProbe, *second = new LineSetProbe;
  root->addChild(source), root->addChild(remover), root->addChild(probe);
  gltest::render(root, 128, 128);
  const auto lines = linetest::polylines(probe->seen);
  ASSERT_EQ(lines.size(), 2u);
  const SbLineSet& s = probe->seen;
  EXPECT_NEAR(s.points[lines[0][0]][0], -0.5f, 1e-4f);
  EXPECT_NEAR(s.points[lines[0][1]][0], 0.5f, 1e-4f);
  EXPECT_NEAR(s.points[lines[0][0]][2], 1.0f, 1e-6f) << "the line on the front face";
  EXPECT_NEAR(s.points[lines[1][0]][1], -0.5f, 1e-4f);
  EXPECT_NEAR(s.points[lines[1][1]][1], 0.5f, 1e-4f);
  EXPECT_EQ(s.taper, (std::vector<float>{3, 4, 5, 6})) << "taper travels with the kept vertices";
  EXPECT_EQ(s.parameters, (std::vector<float>{0, 1, -1, 0, 1, -1}));
  for (int size : {1, 2, 33, 128, 7}) {  // the depth cache follows the window
    gltest::render(root, size, size);
    for (const SbVec3f& p : probe->seen.points) EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2]));
    EXPECT_EQ(probe->seen.parameters.size(), probe->seen.indices.size());
  }
  root->addChild(new SoLineConcatenator), root->addChild(remover), root->addChild(second);  // the same remover
  gltest::render(root, 128, 128);
  EXPECT_EQ(linetest::polylines(probe->seen).size(), 2u);
  for (auto member : {&SbLineSet::taper, &SbLineSet::parameters}) EXPECT_EQ(second->seen.*member, probe->seen.*member);
  EXPECT_TRUE(second->seen.indices == probe->seen.indices && second->seen.points == probe->seen.points);
  remover->active = FALSE;
  gltest::render(root, 128, 128);
  EXPECT_EQ(linetest::polylines(probe->seen).size(), 3u);
  root->unref();
}

// An icosphere's silhouette drawn at once (no line set) over a sphere just inside it: the rim all
// round, nothing elsewhere; also after a 1 x 1 window.
TEST(SilhouetteDrawingGL, DrawsTheRimOfASphereOverItsOwnSurface) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(3));
  auto* sphere = new SoSphere;
  sphere->radius = 0.97f;  // inside the mesh: its depth hides the back
  SoSeparator* root = blackScene(3.0f);
  auto* source = new LineSetSource;
  source->model = &model;
  root->addChild(sphere), root->addChild(source);
  auto* silhouette = new SoGenerateSilhouette;
  silhouette->sendLines = FALSE;
  silhouette->antialiasing = FALSE;
  silhouette->setColour(SbColor(1, 1, 1));
  root->addChild(silhouette);
  const int size = 96;
  QImage image = gltest::render(root, size, size);
  ASSERT_FALSE(image.isNull());
  int rim = 0, inside = 0;
  const float pixelsPerUnit = size / 3.0f;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      if ((image.pixel(x, y) & 0xffffff) == 0) continue;
      const float r = std::hypot(x + 0.5f - size / 2.0f, y + 0.5f - size / 2.0f) / pixelsPerUnit;
      ++(r > 0.85f && r < 1.1f ? rim : inside);
    }
  EXPECT_GT(rim, int(2 * M_PI * pixelsPerUnit * 0.8f)) << "the outline goes all round";
  EXPECT_EQ(inside, 0) << "nothing drawn away from the silhouette";
  gltest::render(root, 1, 1);
  EXPECT_GT(gltest::drawnPixels(gltest::render(root, size, size)), 0);
  root->unref();
}

// ---------------------------------------------------------------- the line separator's silhouette chain

namespace {

// A solid of revolution about y from a profile of (radius, height) points,
// `around` facets, quads split in two and the ends closed by fans: as coarse
// as the chess pieces of inventor-data.
PolyMesh lathe(const std::vector<SbVec2f>& profile, int around) {
  PolyMesh m;
  const int rows = static_cast<int>(profile.size());
  for (const SbVec2f& p : profile)
    for (int j = 0; j < around; ++j) {
      const float a = float(2 * M_PI) * j / around;
      m.addVertex({p[0] * std::cos(a), p[1], -p[0] * std::sin(a)});
    }
  auto id = [&](int i, int j) { return i * around + (j % around); };
  for (int i = 0; i + 1 < rows; ++i)
    for (int j = 0; j < around; ++j) {
      m.addFace({id(i, j), id(i, j + 1), id(i + 1, j + 1)});
      m.addFace({id(i, j), id(i + 1, j + 1), id(i + 1, j)});
    }
  const int bottom = m.addVertex({0, profile.front()[1], 0}), top = m.addVertex({0, profile.back()[1], 0});
  for (int j = 0; j < around; ++j) {
    m.addFace({bottom, id(0, j + 1), id(0, j)});
    m.addFace({top, id(rows - 1, j), id(rows - 1, j + 1)});
  }
  return m;
}

// Length of a segment as the orthographic view along `toViewer` shows it.
double shownLength(const SbVec3f& d, const SbVec3f& toViewer) { return (d - toViewer * d.dot(toViewer)).length(); }

// Length on the screen of the silhouette edges' parts that are visible at
// the picture's resolution, by brute force: a point is visible when a ray
// towards the viewer from it, or from a point one pixel (`pixel` long, along
// `right` and `up`) beside it, meets no face.
double rayCastOutline(const SbWingedEdgeModel& model, const std::vector<const PolyMesh*>& meshes,
                      const SbVec3f& toViewer, const SbVec3f& right, const SbVec3f& up, float pixel) {
  std::vector<SbEdgeRef> edges;
  SbSilhouetteView view;
  view.toViewer = toViewer;
  SbSilhouetteEdges::bruteForce(model, view, {}, -1, edges);
  std::vector<std::array<SbVec3f, 3>> triangles;
  for (const PolyMesh* m : meshes)
    for (int f = 0; f < m->faceCount(); ++f)
      for (int k = m->faceStart[f] + 1; k + 1 < m->faceStart[f + 1]; ++k)
        triangles.push_back(
            {m->positions[m->corners[m->faceStart[f]]], m->positions[m->corners[k]], m->positions[m->corners[k + 1]]});
  auto hidden = [&](const SbVec3f& p) {
    for (const auto& t : triangles) {  // Moeller-Trumbore
      const SbVec3f e1 = t[1] - t[0], e2 = t[2] - t[0], q = toViewer.cross(e2);
      const float det = e1.dot(q);
      if (std::fabs(det) < 1e-9f) continue;
      const SbVec3f s = p - t[0];
      const float u = s.dot(q) / det;
      if (u < 0 || u > 1) continue;
      const SbVec3f r = s.cross(e1);
      const float v = toViewer.dot(r) / det;
      if (v < 0 || u + v > 1) continue;
      if (e2.dot(r) / det > 1e-4f) return true;
    }
    return false;
  };
  auto visible = [&](const SbVec3f& p) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (!hidden(p + (right * float(dx) + up * float(dy)) * pixel)) return true;
    return false;
  };
  double total = 0.0;
  const int samples = 64;
  for (const SbEdgeRef& ref : edges) {
    const WeObject& o = model.objects[ref.object];
    const SbVec3f a = o.vertices[o.edges[ref.edge].vertex[0]].position;
    const SbVec3f b = o.vertices[o.edges[ref.edge].vertex[1]].position;
    int seen = 0;
    for (int i = 0; i < samples; ++i) seen += visible(a + (b - a) * ((i + 0.5f) / samples));
    total += shownLength(b - a, toViewer) * seen / samples;
  }
  return total;
}

}  // namespace

// The application's silhouette chain (extraction with both artifact repairs,
// concatenation, hidden-line removal) on coarse and fine, convex and
// non-convex models and models of several objects: what comes out is the
// visible outline that a ray cast finds.
TEST(SilhouetteChainGL, TheVisibleOutlineSurvivesHiddenLineRemoval) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  const std::vector<SbVec2f> queen = {{0.9f, -1.0f}, {0.8f, -0.7f}, {0.6f, -0.1f}, {0.75f, 0.0f},
                                      {0.3f, 0.1f},  {0.25f, 0.6f}, {0.6f, 0.7f},  {0.3f, 0.9f}};
  const PolyMesh coarseQueen = lathe(queen, 8), cube = testmesh::cubeTriangles(0.5f);
  const PolyMesh sphere = testmesh::icosphere(3);
  const PolyMesh torus = testmesh::torus(12, 8, 0.7f, 0.3f);
  PolyMesh otherCube = cube;
  for (SbVec3f& p : otherCube.positions) p += SbVec3f(0.5f, 0.5f, -1.5f);
  // A seven-sided prism with flat ends (one face each) standing under a wider box, both seen exactly
  // from the side: the ends are edge-on.
  PolyMesh prism, box = testmesh::cube(0.7f);
  std::vector<int> bottom, top;
  for (int j = 0; j < 14; ++j) {
    const float a = float(2 * M_PI) * (j % 7 + 0.25f) / 7;
    prism.addVertex({0.4f * std::cos(a), j < 7 ? -1.2f : 0.0f, 0.4f * std::sin(a)});
    if (j < 7) prism.addFace({j, (j + 1) % 7, 7 + (j + 1) % 7, 7 + j}), bottom.push_back(j), top.push_back(13 - j);
  }
  prism.addFace(bottom), prism.addFace(top);
  for (SbVec3f& p : box.positions) p[1] = p[1] > 0 ? 1.0f : 0.0f;
  const SbVec3f side(0.05f, 0.1f, 1.0f), oblique(0.4f, 0.7f, 0.6f), front(0, 0, 1);
  const struct {
    const char* name;
    std::vector<const PolyMesh*> meshes;
    SbVec3f toViewer;
  } cases[] = {
      {"cube face-on", {&cube}, front},
      {"sphere", {&sphere}, oblique},
      {"coarse lathe from the side", {&coarseQueen}, side},
      {"coarse lathe from above", {&coarseQueen}, oblique},
      {"torus", {&torus}, oblique},
      {"two objects face-on, one partly behind the other", {&cube, &otherCube}, front},
      {"prism under a box, ends edge-on", {&prism, &box}, front},
  };
  const int oldZigZag = SoSilhouetteSwitches::meshZigZagRepair, oldChunks = SoSilhouetteSwitches::triangleChunkRepair;
  SoSilhouetteSwitches::meshZigZagRepair = SoSilhouetteSwitches::triangleChunkRepair = 1;  // as the application starts
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SbWingedEdgeModel model =
        c.meshes.size() == 1 ? testmesh::model(*c.meshes[0]) : testmesh::model({c.meshes[0], c.meshes[1]});
    const float height = 3.2f;
    SoSeparator* root = blackScene(height, c.toViewer, 6.0f);
    for (const PolyMesh* m : c.meshes) {  // the faces fill the depth buffer
      auto* coords = new SoCoordinate3;
      coords->point.setValues(0, int(m->positions.size()), m->positions.data());
      auto* faceSet = new SoIndexedFaceSet;
      for (int f = 0; f < m->faceCount(); ++f) {
        for (int k = m->faceStart[f]; k < m->faceStart[f + 1]; ++k)
          faceSet->coordIndex.set1Value(faceSet->coordIndex.getNum(), m->corners[k]);
        faceSet->coordIndex.set1Value(faceSet->coordIndex.getNum(), -1);
      }
      root->addChild(coords), root->addChild(faceSet);
    }
    auto* source = new LineSetSource;
    source->model = &model;
    auto* silhouette = new SoGenerateSilhouette;
    silhouette->displaySharpEdges = FALSE;
    auto* probe = new LineSetProbe;
    for (SoNode* n :
         std::initializer_list<SoNode*>{source, silhouette, new SoLineConcatenator, new SoLineHiddenLineRemover, probe})
      root->addChild(n);
    const int size = 256;
    gltest::render(root, size, size);
    SbVec3f toViewer = c.toViewer, right, up;
    toViewer.normalize();
    SbRotation(SbVec3f(0, 0, 1), toViewer).multVec(SbVec3f(1, 0, 0), right);
    SbRotation(SbVec3f(0, 0, 1), toViewer).multVec(SbVec3f(0, 1, 0), up);
    const double expected = rayCastOutline(model, c.meshes, toViewer, right, up, height / size);
    ASSERT_GT(expected, 1.0);
    double drawn = 0.0;
    const SbLineSet& set = probe->seen;
    for (size_t k = 1; k < set.indices.size(); ++k)
      if (set.indices[k] >= 0 && set.indices[k - 1] >= 0)
        drawn += shownLength(set.points[set.indices[k]] - set.points[set.indices[k - 1]], toViewer);
    EXPECT_NEAR(drawn, expected, 0.02 * expected);
    root->unref();
  }
  SoSilhouetteSwitches::meshZigZagRepair = oldZigZag;
  SoSilhouetteSwitches::triangleChunkRepair = oldChunks;
}
