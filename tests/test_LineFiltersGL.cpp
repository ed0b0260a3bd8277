#include <gtest/gtest.h>

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSphere.h>

#include <cmath>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "mesh/SoGenerateWingedEdge.h"

namespace {

// A 2 x 2 x 2 cube at the origin drawn in black, seen along -z by an
// orthographic camera 4 units high: the front face is at z = 1.
class HiddenLinesGL : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(gltest::ensureContext());
    linetest::initNodes();
    root = new SoSeparator;
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 5);
    camera->height = 4.0f;
    camera->nearDistance = 1.0f;
    camera->farDistance = 10.0f;
    root->addChild(camera);
    auto* lightModel = new SoLightModel;
    lightModel->model = SoLightModel::BASE_COLOR;
    root->addChild(lightModel);
    auto* black = new SoBaseColor;
    black->rgb.setValue(0, 0, 0);
    root->addChild(black);
    root->addChild(new SoCube);
    source = new LineSetSource;
    source->publishLines = true;
    // Behind the cube; on its front face; beside it, far back.
    source->lines.points = {SbVec3f(-0.5f, 0, -1.5f), SbVec3f(0.5f, 0, -1.5f),   SbVec3f(-0.5f, 0.3f, 1.0f),
                            SbVec3f(0.5f, 0.3f, 1.0f), SbVec3f(1.5f, -0.5f, -3), SbVec3f(1.5f, 0.5f, -3)};
    source->lines.indices = {0, 1, -1, 2, 3, -1, 4, 5, -1};
    source->lines.taper = {1, 2, 3, 4, 5, 6};
    root->addChild(source);
    remover = new SoLineHiddenLineRemover;
    remover->maximalError = 2.0f;
    root->addChild(remover);
    probe = new LineSetProbe;
    root->addChild(probe);
  }
  void TearDown() override { root->unref(); }

  SoSeparator* root = nullptr;
  LineSetSource* source = nullptr;
  SoLineHiddenLineRemover* remover = nullptr;
  LineSetProbe* probe = nullptr;
};

}  // namespace

TEST_F(HiddenLinesGL, LineBehindTheModelVanishesAndVisibleLinesStayWhole) {
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
  remover->active = FALSE;
  gltest::render(root, 128, 128);
  EXPECT_EQ(linetest::polylines(probe->seen).size(), 3u);
}

TEST_F(HiddenLinesGL, OneRemoverTwiceInATraversalReadsItsOwnOutputSafely) {
  auto* second = new LineSetProbe;
  root->addChild(new SoLineConcatenator);
  root->addChild(remover);  // the same instance again
  root->addChild(second);
  gltest::render(root, 128, 128);
  EXPECT_EQ(linetest::polylines(probe->seen).size(), 2u);
  EXPECT_EQ(second->seen.indices, probe->seen.indices);
  EXPECT_EQ(second->seen.points, probe->seen.points);
  EXPECT_EQ(second->seen.taper, probe->seen.taper);
  EXPECT_EQ(second->seen.parameters, probe->seen.parameters);
}

TEST_F(HiddenLinesGL, TinyAndResizedWindowsStayInsideTheDepthCache) {
  for (int size : {1, 2, 33, 128, 7}) {
    gltest::render(root, size, size);
    for (const SbVec3f& p : probe->seen.points) EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2]));
    EXPECT_EQ(probe->seen.parameters.size(), probe->seen.indices.size());
  }
}

// ---------------------------------------------------------------- silhouettes drawn at once

TEST(SilhouetteDrawingGL, DrawsTheRimOfASphereOverItsOwnSurface) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  SbWingedEdgeModel model = testmesh::model(testmesh::icosphere(3));
  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0, 0, 5);
  camera->height = 3.0f;
  root->addChild(camera);
  auto* lightModel = new SoLightModel;
  lightModel->model = SoLightModel::BASE_COLOR;
  root->addChild(lightModel);
  auto* black = new SoBaseColor;
  black->rgb.setValue(0, 0, 0);
  root->addChild(black);
  auto* sphere = new SoSphere;
  sphere->radius = 0.97f;  // inside the mesh: its depth hides the back
  root->addChild(sphere);
  auto* source = new LineSetSource;
  source->model = &model;
  root->addChild(source);
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
      if (r > 0.85f && r < 1.1f) ++rim;
      else ++inside;
    }
  EXPECT_GT(rim, int(2 * M_PI * pixelsPerUnit * 0.8f)) << "the outline goes all round";
  EXPECT_EQ(inside, 0) << "nothing drawn away from the silhouette";
  // A 1 x 1 window, then a normal one again.
  gltest::render(root, 1, 1);
  EXPECT_GT(gltest::drawnPixels(gltest::render(root, size, size)), 0);
  root->unref();
}

// ---------------------------------------------------------------- the line separator's silhouette chain

TEST(SilhouetteChainGL, TheOutlineOfARealSphereSurvivesHiddenLineRemoval) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0, 0, 5);
  camera->height = 3.0f;
  root->addChild(camera);
  // The generator draws nothing itself; the sphere's own faces fill the depth buffer.
  StripMesh sphere = testmesh::sphereStrips(48, 24, 1.0f);
  auto* generator = new SoGenerateWingedEdge;
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, int(sphere.coords.size()), sphere.coords.data());
  auto* strips = new SoIndexedTriangleStripSet;
  strips->coordIndex.setValues(0, int(sphere.coordIndex.size()), sphere.coordIndex.data());
  generator->addChild(coords);
  generator->addChild(strips);
  root->addChild(generator);
  auto* silhouette = new SoGenerateSilhouette;
  silhouette->displaySharpEdges = FALSE;
  root->addChild(silhouette);
  root->addChild(new SoLineConcatenator);
  auto* remover = new SoLineHiddenLineRemover;
  root->addChild(remover);
  auto* probe = new LineSetProbe;
  root->addChild(probe);
  const SbVec3f tilt(1, 0.3f, 0);
  camera->orientation = SbRotation(tilt, 0.6f);
  SbVec3f position;
  camera->orientation.getValue().multVec(SbVec3f(0, 0, 5), position);
  camera->position = position;
  auto length = [](const SbLineSet& set) {
    double total = 0.0;
    for (size_t k = 1; k < set.indices.size(); ++k)
      if (set.indices[k] >= 0 && set.indices[k - 1] >= 0)
        total += (set.points[set.indices[k]] - set.points[set.indices[k - 1]]).length();
    return total;
  };
  remover->active = FALSE;
  gltest::render(root, 160, 160);
  const double before = length(probe->seen);
  ASSERT_EQ(linetest::polylines(probe->seen).size(), 1u) << "one closed outline";
  EXPECT_GT(before, 2 * M_PI * 0.9);
  remover->active = TRUE;
  gltest::render(root, 160, 160);
  EXPECT_GT(length(probe->seen), 0.9 * before) << "the outline lies on the visible rim";
  root->unref();
}
