#include <gtest/gtest.h>

#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/system/gl.h>

#include <string>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "lines/SoLineShape.h"
#include "lines/SoSilhouetteSwitches.h"

namespace {

// 100 x 100 pixels over 100 x 100 units; a black cube around the stroke's middle (its front face in front of it), then
// a horizontal stroke from x = -30 to 30 at y = 0 drawn white on black.
class LineShapeGL : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gltest::ensureContext());
    linetest::initNodes();
    SoSilhouetteSwitches::lineStripMode = false;
    root = new SoSeparator, source = new LineSetSource, shape = new SoLineShape;
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 50);
    camera->height = camera->farDistance = 100.0f;
    auto* lightModel = new SoLightModel;
    lightModel->model = SoLightModel::BASE_COLOR;
    auto *black = new SoBaseColor, *white = new SoBaseColor;
    black->rgb.setValue(0, 0, 0), white->rgb.setValue(1, 1, 1);
    source->publishLines = true;
    source->lines.points = {SbVec3f(-30, 0, 0), SbVec3f(30, 0, 0)};
    source->lines.indices = {0, 1, -1};
    source->lines.thickness = {8, 8};
    source->oriented = {SbVec2f(1, 0), SbVec2f(1, 0)};
    for (SoNode* n : std::initializer_list<SoNode*>{camera, lightModel, black, new SoCube, white, source, shape})
      root->addChild(n);
  }
  void TearDown() override {
    if (root) root->unref();
    SoSilhouetteSwitches::lineStripMode = false;
  }
  QImage draw() {
    QImage image = gltest::render(root, 100, 100);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    return image;
  }
  static int columnCount(const QImage& image, int x) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) n += (image.pixel(x, y) & 0xffffff) != 0;
    return n;
  }
  std::string drawnReport() {
    return testing::internal::CaptureStdout(), draw(), testing::internal::GetCapturedStdout();
  }

  SoSeparator* root = nullptr;
  LineSetSource* source = nullptr;
  SoLineShape* shape = nullptr;
};

}  // namespace

// Half width t half-pixels: a band t pixels wide, ending at the stroke's ends, not hidden by the cube (no depth test);
// one thickness value, a list of other length or two index entries: nothing.
TEST_F(LineShapeGL, BandWidthIsTheThicknessAndMismatchedListsDrawNothing) {
  EXPECT_NEAR(columnCount(draw(), 50), 8, 1);
  source->lines.thickness = {16, 16};
  const QImage wide = draw();
  EXPECT_NEAR(columnCount(wide, 50), 16, 1);
  EXPECT_EQ(columnCount(wide, 10), 0);
  EXPECT_GT(columnCount(wide, 45), 14);
  const std::pair<std::vector<int32_t>, std::vector<float>> bad[] = {
      {{0, 1, -1}, {8}}, {{0, 1, -1}, {8, 8, 8}}, {{0, -1}, {8, 8}}};
  for (const auto& [indices, thickness] : bad) {
    source->lines.indices = indices, source->lines.thickness = thickness;
    EXPECT_EQ(gltest::drawnPixels(draw()), 0) << thickness.size();
  }
}

// Without orientations (the element's default: one vector) plain line strips; the line-strip switch draws one diagonal
// of the band, not its area; a final separator is optional.
TEST_F(LineShapeGL, PlainStripsOutlinesAndAMissingFinalSeparator) {
  SoSilhouetteSwitches::lineStripMode = true;
  QImage image = draw();
  EXPECT_LE(columnCount(image, 50), 3);
  EXPECT_GT(gltest::drawnPixels(image), 0);
  SoSilhouetteSwitches::lineStripMode = false;
  source->oriented.clear();
  image = draw();
  EXPECT_EQ(columnCount(image, 50), 1);
  EXPECT_GT(gltest::drawnPixels(image), 55);
  source->lines.points = {SbVec3f(-30, 0, 0), SbVec3f(30, 0, 0), SbVec3f(-30, 20, 0), SbVec3f(30, 20, 0)};
  source->lines.indices = {0, 1, -1, 2, 3, -1};
  source->lines.thickness = {4, 4, 4, 4};
  source->oriented.assign(4, SbVec2f(1, 0));
  const QImage two = draw();
  EXPECT_NEAR(columnCount(two, 50), 8, 2) << "both strokes drawn";
  source->lines.indices = {0, 1, -1, 2, 3};
  EXPECT_EQ(draw(), two);
}

// Texture coordinates outside [0, 1], from the parameters or the texture-coordinate element (one value per vertex
// entry), are reported; those inside pass silently.
TEST_F(LineShapeGL, TextureCoordinateOutsideTheUnitRangeIsReported) {
  shape->useSoLineParameterization = TRUE;
  source->lines.parameters = {0.0f, 1.5f, -1.0f};
  const std::string out = drawnReport();
  EXPECT_NE(out.find("wrong glTexCoord2f(1)(1.500)\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("glTexCoord2f(0)"), std::string::npos) << out;
  shape->useSoLineParameterization = FALSE;
  source->textureCoords = {SbVec2f(-0.25f, 0), SbVec2f(1, 0)};
  EXPECT_NE(drawnReport().find("wrong glTexCoord2f(0)(-0.250)\n"), std::string::npos);
}
