// The on-screen ink renderer's own part, offscreen (the ink's shapes are test_InkStroke's claim, that they lie where
// the files put theirs test_HqSnapshotGL's).

#include <gtest/gtest.h>

#include <Inventor/system/gl.h>

#include <cmath>
#include <limits>
#include <vector>

#include "GlTestContext.h"
#include "HqStrokeSource.h"
#include "LineTestNodes.h"
#include "styling/SbLineSettingsHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"

namespace {

// Camera, line settings, stroke source, renderer (plain GL lines with `glLines`); one world unit is one pixel and the
// origin the viewport's centre. lineWidth 0 keeps the settings' defaults.
struct Scene {
  SoLineSettingsHQ* settings = new SoLineSettingsHQ;
  HqStrokeSource* source = new HqStrokeSource;
  SoLineShapeHQ* shape = new SoLineShapeHQ;
  int width, height;
  linetest::Root root;
  Scene(int w, int h, float lineWidth = 0.0f, bool withSettings = true, bool glLines = false)
      : width(w), height(h), root(linetest::scene({linetest::pixelCamera(h)})) {
    shape->glLines = glLines;
    if (lineWidth > 0.0f) settings->lineWidth = lineWidth, settings->maxWidth = 40.0f;
    if (withSettings) root->addChild(settings);
    root->addChild(source), root->addChild(shape);
  }
  QImage render() { return gltest::render(root.get(), width, height, 1.0f); }
};

// Pixels whose grey level lies in (low, high).
int pixelsBetween(const QImage& image, int low, int high) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += qRed(image.pixel(x, y)) > low && qRed(image.pixel(x, y)) < high;
  return n;
}
int darkPixels(const QImage& image) { return pixelsBetween(image, -1, 128); }

// The grey level drawn at a world position (pixel centre nearest to it).
int greyAt(const QImage& image, float x, float y) {
  const int column = static_cast<int>(std::floor(x + image.width() / 2.0f));
  const int row = image.height() - 1 - static_cast<int>(std::floor(y + image.height() / 2.0f));
  return qRed(image.pixel(column, row));
}

class LineShapeHQGL : public ::testing::Test {
  void SetUp() override { ASSERT_TRUE(gltest::ensureContext()); }
};

// A stroke solid at both ends and light between them: dots of radius lineWidth / 2 with the corners the node's
// resolution gives (at least 5), kept minDistance x r from where the tone crosses toneHigh and spread evenly in
// between. Density beyond [0, 1] inks as its nearest end; no settings, no ink.
TEST_F(LineShapeHQGL, SettingsAndResolutionReachTheInkAndDensityIsClamped) {
  const struct {
    float lineWidth, resolution;
    int corners;
  } cases[] = {{8.0f, 2.0f, 13}, {20.0f, 4.0f, 16}, {0.5f, 2.0f, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lineWidth << " at " << c.resolution);
    Scene scene(400, 60, c.lineWidth);
    scene.shape->resolution = c.resolution;
    scene.source->addStroke({{-180, 0}, {-100, 0}, {-99, 0}, {99, 0}, {100, 0}, {180, 0}}, {1, 1, 1, 1, 1, 1},
                            {1, 1, 0.2f, 0.2f, 1, 1});
    scene.render();
    const auto& dots = scene.shape->inkGeometry().dots();
    EXPECT_FALSE(scene.shape->inkGeometry().solidTriangles().empty());
    ASSERT_GE(dots.size(), 2u);
    const SbLineSettingsHQ& s = scene.settings->settings();
    const float r = c.lineWidth / 2.0f;  // in pixels; the viewport's centre is x = 200
    EXPECT_NEAR(dots.front().centre[0], 100.0f + (s.toneHigh - 1.0f) / (0.2f - 1.0f) + s.minDistance * r, 0.05f);
    EXPECT_NEAR(dots.back().centre[0], 299.0f + (s.toneHigh - 0.2f) / (1.0f - 0.2f) - s.minDistance * r, 0.05f);
    for (size_t i = 1; i < dots.size(); ++i) {
      EXPECT_TRUE(dots[i].radius == dots[0].radius && dots[i].corners == dots[0].corners) << i;
      EXPECT_NEAR(dots[i].centre[0] - dots[i - 1].centre[0], dots[1].centre[0] - dots[0].centre[0], 0.05f);
    }
    EXPECT_NEAR(dots[0].radius, r, 1e-4f);
    EXPECT_EQ(dots[0].corners, c.corners);
  }
  auto inkOf = [](float density, bool withSettings = true) {
    Scene scene(200, 40, 8.0f, withSettings);
    scene.source->addStroke({{-80, 0}, {80, 0}}, {1, 1}, {density, density});
    const QImage image = scene.render();
    return std::make_pair(darkPixels(image), scene.shape->inkGeometry().dots().size());
  };
  EXPECT_EQ(inkOf(7.0f), inkOf(1.0f));
  EXPECT_EQ(inkOf(-3.0f), inkOf(0.0f));
  EXPECT_EQ(inkOf(1.0f).second, 0u);
  EXPECT_GT(inkOf(1.0f).first, 1000);
  EXPECT_EQ(inkOf(1.0f, false).first, 0);
}

// Plain lines over white: black with alpha from thickness, density or both (grey = 255 - alpha); without values, or
// with arrays shorter than the index list's vertices, opaque black. The resolution mode: segments alternately pure blue
// and pure red. Line smoothing softens the edges; the GL state is left as found.
TEST_F(LineShapeHQGL, PlainLinesAreColouredByThicknessAndDensityAndSmoothed) {
  const int alpha[] = {255, 127, 63, 31};  // M_BLACK, M_THICK, M_DENS, M_THICK_DENS of 0.5 and 0.25
  const std::vector<float> values[][2] = {
      {{0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f}}, {{}, {}}, {{0.1f, 0.1f}, {0.1f}}};
  for (const auto& v : values)
    for (int mode = 0; mode < 4; ++mode) {
      SCOPED_TRACE(testing::Message() << mode << " with " << v[0].size() << " values");
      Scene scene(200, 40, 0.0f, true, true);
      scene.shape->mode = mode;
      scene.source->addStroke({{-80, 0.5f}, {0, 0.5f}, {80, 0.5f}}, {}, {});
      scene.source->thickness = v[0], scene.source->density = v[1];
      const QImage image = scene.render();
      const int grey = v[0].size() == 3 ? 255 - alpha[mode] : 0;
      EXPECT_TRUE(std::abs(greyAt(image, -40.0f, 0.5f) - grey) <= 1 &&
                  std::abs(greyAt(image, 40.0f, 0.5f) - grey) <= 1);
      EXPECT_EQ(greyAt(image, -40.0f, 3.5f), 255);
      EXPECT_TRUE(scene.shape->inkGeometry().dots().empty());
    }
  Scene scene(200, 40, 0.0f, true, true);
  scene.shape->mode = SoLineShapeHQ::M_RESOLUTION;
  scene.source->addStroke({{-90, 0.5f}, {-30, 0.5f}, {30, 0.5f}, {90, 0.5f}}, {}, {});
  const QImage image = scene.render();
  const QRgb first = image.pixel(40, 19), second = image.pixel(100, 19), third = image.pixel(160, 19);
  for (const QRgb p : {first, second})
    EXPECT_TRUE((p & 0xffffff) == 0xff0000 || (p & 0xffffff) == 0x0000ff) << std::hex << p;
  EXPECT_NE(first, second);
  EXPECT_EQ(first, third);
  Scene slanted(200, 60, 0.0f, true, true);
  slanted.source->addStroke({{-80, -20}, {80, 25}}, {}, {});
  EXPECT_EQ(pixelsBetween(slanted.render(), 10, 245), 0);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  slanted.shape->setLineSmoothing(true);
  EXPECT_GT(pixelsBetween(slanted.render(), 10, 245), 20);
  EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH) || glIsEnabled(GL_BLEND));
  slanted.shape->glLines = FALSE;
  slanted.render();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLint matrixMode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
}

// Malformed stroke sets in both modes: nothing crashes, nothing is read past an array (the sanitizer build checks), and
// what is valid is still drawn.
TEST_F(LineShapeHQGL, MalformedStrokeSetsDrawWithoutFault) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const bool lines : {false, true}) {
    SCOPED_TRACE(lines);
    Scene scene(200, 60, 0.0f, true, lines);
    HqStrokeSource* s = scene.source;
    s->points = {{-80, 0, 0}, {80, 0, 0}, {nan, 0, 0}, {0, 20, 0}, {1e30f, 1e30f, 0}};
    s->indices = {-1, -1, 0, -1, -1, 1, 0, 7, -5, 2, -1, 3, 4, -1, 3};
    s->thickness = {1, -1, 2, nan, 1, 1, 1, 1};  // fewer than the 10 vertices: absent
    s->density = {nan, 2, -1, 0.5f, 1, 1, 1, 1, 1, 1};
    EXPECT_GT(darkPixels(scene.render()), 0);  // the run 1 -> 0 at least
    s->indices = {0, -1};
    scene.render();
    for (const std::vector<int32_t>& indices : {std::vector<int32_t>{1}, std::vector<int32_t>{}}) {
      s->indices = indices;
      EXPECT_EQ(darkPixels(scene.render()), 0);
    }
  }
}

}  // namespace
