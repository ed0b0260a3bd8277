// The on-screen ink renderer's own part, in an offscreen framebuffer: its
// fields and the line settings reaching the ink, the plain line mode's
// colours, values outside their range, malformed stroke sets and the GL
// state it leaves. That its ink lies where the files put theirs is
// test_HqSnapshotGL's claim.

#include <gtest/gtest.h>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/system/gl.h>

#include <cmath>
#include <limits>
#include <vector>

#include "GlTestContext.h"
#include "HqStrokeSource.h"
#include "styling/SbLineSettingsHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"

namespace {

constexpr float kPi = 3.14159265358979323846f;

// Camera, line settings, stroke source, renderer; one world unit is one
// pixel and the origin the viewport's centre.
struct Scene {
  SoSeparator* root = new SoSeparator;
  SoLineSettingsHQ* settings = new SoLineSettingsHQ;
  HqStrokeSource* source = new HqStrokeSource;
  SoLineShapeHQ* shape = new SoLineShapeHQ;
  int width, height;
  // lineWidth 0 keeps the settings' defaults.
  Scene(int w, int h, float lineWidth = 0.0f, bool withSettings = true) : width(w), height(h) {
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 10);
    camera->height = static_cast<float>(h);
    camera->nearDistance = 1;
    camera->farDistance = 20;
    root->addChild(camera);
    if (lineWidth > 0.0f) {
      settings->lineWidth = lineWidth;
      settings->maxWidth = 40.0f;
    }
    if (withSettings) root->addChild(settings);
    root->addChild(source);
    root->addChild(shape);
  }
  ~Scene() { root->unref(); }
  QImage render() { return gltest::render(root, width, height, 1.0f); }
};

int darkPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += qRed(image.pixel(x, y)) < 128;
  return n;
}

// The grey level drawn at a world position (pixel centre nearest to it).
int greyAt(const QImage& image, float x, float y) {
  const int column = static_cast<int>(std::floor(x + image.width() / 2.0f));
  const int row = image.height() - 1 - static_cast<int>(std::floor(y + image.height() / 2.0f));
  return qRed(image.pixel(column, row));
}

}  // namespace

class LineShapeHQGL : public ::testing::Test {
 protected:
  void SetUp() override {
    HqStrokeSource::initClass();
    ASSERT_TRUE(gltest::ensureContext());
  }
};

// A stroke solid at both ends and light between them, at several dot sizes
// and resolutions: dots of radius lineWidth / 2 whose corners give edges of
// at most `resolution` pixels (at least 5), kept minDistance x r away from
// the points where the tone crosses toneHigh and spread evenly in between.
TEST_F(LineShapeHQGL, GapDotsFollowTheSettingsAndTheNodesResolution) {
  const struct {
    float lineWidth, resolution;
    int corners;
  } cases[] = {{8.0f, 2.0f, 13}, {2.0f, 2.0f, 5}, {20.0f, 2.0f, 32}, {20.0f, 4.0f, 16}, {0.5f, 2.0f, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lineWidth << " at " << c.resolution);
    Scene scene(400, 60, c.lineWidth);
    scene.shape->resolution = c.resolution;
    scene.source->addStroke({{-180, 0}, {-100, 0}, {-99, 0}, {99, 0}, {100, 0}, {180, 0}}, {1, 1, 1, 1, 1, 1},
                            {1, 1, 0.2f, 0.2f, 1, 1});
    scene.render();
    const auto& ink = scene.shape->inkGeometry();
    EXPECT_FALSE(ink.solidTriangles().empty());
    const auto& dots = ink.dots();
    ASSERT_GE(dots.size(), 2u);
    const SbLineSettingsHQ& s = scene.settings->settings();
    const float r = c.lineWidth / 2.0f;
    // Pixels: the viewport's centre is x = 200.
    const float toneCrossingLeft = 200.0f - 100.0f + (s.toneHigh - 1.0f) / (0.2f - 1.0f);
    const float toneCrossingRight = 200.0f + 99.0f + (s.toneHigh - 0.2f) / (1.0f - 0.2f);
    EXPECT_NEAR(dots.front().centre[0], toneCrossingLeft + s.minDistance * r, 0.05f);
    EXPECT_NEAR(dots.back().centre[0], toneCrossingRight - s.minDistance * r, 0.05f);
    for (size_t i = 0; i < dots.size(); ++i) {
      EXPECT_NEAR(dots[i].radius, r, 1e-4f);
      EXPECT_EQ(dots[i].corners, c.corners);
      if (i >= 2) {
        EXPECT_NEAR(dots[i].centre[0] - dots[i - 1].centre[0], dots[1].centre[0] - dots[0].centre[0], 0.05f);
      }
    }
  }
}

// Plain lines over white: black with alpha from thickness, density or both
// (grey = 255 - alpha); without values, or with arrays shorter than the
// index list's vertices, every colouring falls back to opaque black.
TEST_F(LineShapeHQGL, PlainLinesAreColouredByThicknessAndDensity) {
  const std::vector<float> half(3, 0.5f), quarter(3, 0.25f), none, two{0.1f, 0.1f}, one{0.1f};
  const struct {
    SoLineShapeHQ::Mode mode;
    const std::vector<float>&thickness, &density;
    int grey;
  } cases[] = {{SoLineShapeHQ::M_BLACK, half, quarter, 0},
               {SoLineShapeHQ::M_THICK, half, quarter, 255 - 127},
               {SoLineShapeHQ::M_DENS, half, quarter, 255 - 63},
               {SoLineShapeHQ::M_THICK_DENS, half, quarter, 255 - 31},
               {SoLineShapeHQ::M_THICK, none, none, 0},
               {SoLineShapeHQ::M_DENS, none, none, 0},
               {SoLineShapeHQ::M_THICK_DENS, none, none, 0},
               {SoLineShapeHQ::M_THICK, two, one, 0},
               {SoLineShapeHQ::M_DENS, two, one, 0},
               {SoLineShapeHQ::M_THICK_DENS, two, one, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " with " << c.thickness.size() << " values");
    Scene scene(200, 40);
    scene.shape->glLines = TRUE;
    scene.shape->mode = c.mode;
    scene.source->addStroke({{-80, 0.5f}, {0, 0.5f}, {80, 0.5f}}, {}, {});
    scene.source->thickness = c.thickness;
    scene.source->density = c.density;
    const QImage image = scene.render();
    EXPECT_NEAR(greyAt(image, -40.0f, 0.5f), c.grey, 1);
    EXPECT_NEAR(greyAt(image, 40.0f, 0.5f), c.grey, 1);
    EXPECT_EQ(greyAt(image, -40.0f, 3.5f), 255);
    EXPECT_TRUE(scene.shape->inkGeometry().dots().empty());
  }
  // The resolution mode: segments alternately pure blue and pure red.
  Scene scene(200, 40);
  scene.shape->glLines = TRUE;
  scene.shape->mode = SoLineShapeHQ::M_RESOLUTION;
  scene.source->addStroke({{-90, 0.5f}, {-30, 0.5f}, {30, 0.5f}, {90, 0.5f}}, {}, {});
  const QImage image = scene.render();
  const QRgb first = image.pixel(40, 19), second = image.pixel(100, 19), third = image.pixel(160, 19);
  for (const QRgb p : {first, second})
    EXPECT_TRUE((p & 0xffffff) == 0xff0000 || (p & 0xffffff) == 0x0000ff) << std::hex << p;
  EXPECT_NE(first, second);
  EXPECT_EQ(first, third);
}

// Ink from values that are absent, too short or out of range: no or short
// arrays give a band of width lineWidth with round caps, thickness 0 or below
// gives nothing, density beyond [0, 1] is clamped.
TEST_F(LineShapeHQGL, AbsentShortAndOutOfRangeValuesInk) {
  auto band = [](bool shortArrays) {
    Scene scene(200, 60, 10.0f);
    scene.source->addStroke({{-80, 0}, {0, 10}, {80, 0}}, {}, {});
    scene.source->thickness = shortArrays ? std::vector<float>{3.0f, 3.0f} : std::vector<float>{};
    scene.source->density = shortArrays ? std::vector<float>{0.1f} : std::vector<float>{};
    return darkPixels(scene.render());
  };
  const int plain = band(false);
  EXPECT_NEAR(plain, 160 * 10 + 25 * kPi, 60);
  EXPECT_EQ(band(true), plain);

  Scene blank(200, 40);
  blank.source->addStroke({{-80, 0}, {80, 0}}, {0, 0}, {1, 1});
  blank.source->addStroke({{-80, 10}, {80, 10}}, {-2, -1}, {1, 1});
  EXPECT_EQ(darkPixels(blank.render()), 0);
  auto inkOf = [](float density) {
    Scene scene(200, 40, 8.0f);
    scene.source->addStroke({{-80, 0}, {80, 0}}, {1, 1}, {density, density});
    const QImage image = scene.render();
    return std::make_pair(darkPixels(image), scene.shape->inkGeometry().dots().size());
  };
  EXPECT_EQ(inkOf(7.0f), inkOf(1.0f));
  EXPECT_EQ(inkOf(-3.0f), inkOf(0.0f));
  EXPECT_EQ(inkOf(1.0f).second, 0u);
}

// Malformed stroke sets in both modes: nothing crashes, nothing is read past
// an array (the sanitizer build checks), and what is valid is still drawn.
TEST_F(LineShapeHQGL, MalformedStrokeSetsDrawWithoutFault) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const bool lines : {false, true}) {
    SCOPED_TRACE(lines);
    Scene scene(200, 60);
    scene.shape->glLines = lines;
    HqStrokeSource* s = scene.source;
    s->points = {{-80, 0, 0}, {80, 0, 0}, {nan, 0, 0}, {0, 20, 0}, {1e30f, 1e30f, 0}};
    s->indices = {-1, -1, 0, -1, -1, 1, 0, 7, -5, 2, -1, 3, 4, -1, 3};
    s->thickness = {1, -1, 2, nan, 1, 1, 1, 1};  // fewer than the 10 vertices: absent
    s->density = {nan, 2, -1, 0.5f, 1, 1, 1, 1, 1, 1};
    EXPECT_GT(darkPixels(scene.render()), 0);  // the run 1 -> 0 at least
    // Only a single point, and an index list of one entry.
    s->indices = {0, -1};
    scene.render();
    s->indices = {1};
    EXPECT_EQ(darkPixels(scene.render()), 0);
    s->indices.clear();
    EXPECT_EQ(darkPixels(scene.render()), 0);
  }
  Scene bare(200, 60, 0.0f, false);  // no line settings: nothing
  bare.source->addStroke({{-80, 0}, {80, 0}}, {1, 1}, {1, 1});
  EXPECT_EQ(darkPixels(bare.render()), 0);
}

// The renderer leaves the GL state as it found it, also with line smoothing,
// which softens the plain lines' edges.
TEST_F(LineShapeHQGL, LineSmoothingSoftensLinesAndStateIsRestored) {
  Scene scene(200, 60);
  scene.shape->glLines = TRUE;
  scene.shape->mode = SoLineShapeHQ::M_BLACK;
  scene.source->addStroke({{-80, -20}, {80, 25}}, {}, {});
  auto greys = [](const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += qRed(image.pixel(x, y)) > 10 && qRed(image.pixel(x, y)) < 245;
    return n;
  };
  EXPECT_EQ(greys(scene.render()), 0);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  scene.shape->setLineSmoothing(true);
  EXPECT_GT(greys(scene.render()), 20);
  EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  scene.shape->glLines = FALSE;
  scene.render();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLint matrixMode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
}
