// The on-screen ink renderer in an offscreen framebuffer: the drawn pixels
// of a solid stroke against the exact union of its discs and tangent bands,
// dot rows against the tone's spacing, the plain line mode's colours, and
// malformed stroke sets.

#include <gtest/gtest.h>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/system/gl.h>

#include <algorithm>
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

// camera, line settings, stroke source, renderer; one world unit is one
// pixel and the origin the viewport's centre.
struct Scene {
  SoSeparator* root = new SoSeparator;
  SoLineSettingsHQ* settings = new SoLineSettingsHQ;
  HqStrokeSource* source = new HqStrokeSource;
  SoLineShapeHQ* shape = new SoLineShapeHQ;
  int width, height;

  // HqStrokeSource::initClass() must have run (the fixture does it).
  Scene(int w, int h, bool withSettings = true) : width(w), height(h) {
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 10);
    camera->height = static_cast<float>(h);
    camera->nearDistance = 1;
    camera->farDistance = 20;
    root->addChild(camera);
    if (withSettings) root->addChild(settings);
    root->addChild(source);
    root->addChild(shape);
  }
  ~Scene() { root->unref(); }
  QImage render() { return gltest::render(root, width, height, 1.0f); }
};

bool dark(const QImage& image, int x, int y) { return qRed(image.pixel(x, y)) < 128; }

int darkPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += dark(image, x, y);
  return n;
}

// Connected groups (8-neighbourhood) of dark pixels.
int blobs(const QImage& image) {
  const int w = image.width(), h = image.height();
  std::vector<char> seen(static_cast<size_t>(w) * h, 0);
  int count = 0;
  std::vector<std::pair<int, int>> stack;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (seen[y * w + x] || !dark(image, x, y)) continue;
      ++count;
      stack.assign(1, {x, y});
      seen[y * w + x] = 1;
      while (!stack.empty()) {
        const auto [px, py] = stack.back();
        stack.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = px + dx, ny = py + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || seen[ny * w + nx] || !dark(image, nx, ny)) continue;
            seen[ny * w + nx] = 1;
            stack.push_back({nx, ny});
          }
      }
    }
  return count;
}

// The grey level drawn at a world position (pixel centre nearest to it).
int greyAt(const QImage& image, float x, float y) {
  const int column = static_cast<int>(std::floor(x + image.width() / 2.0f));
  const int row = image.height() - 1 - static_cast<int>(std::floor(y + image.height() / 2.0f));
  return qRed(image.pixel(column, row));
}

// Signed distance-like measure to the hull of two discs: the hull is the
// union of the discs of centre and radius interpolated between them, and
// |p - c(t)| - r(t) is convex in t, so a ternary search finds its minimum.
// Its sub-level set {<= e} is the hull grown by e (e may be negative).
float hullValue(const SbVec2f& p, const SbVec2f& c0, float r0, const SbVec2f& c1, float r1) {
  auto f = [&](float t) { return (p - (c0 + (c1 - c0) * t)).length() - (r0 + (r1 - r0) * t); };
  float lo = 0.0f, hi = 1.0f;
  for (int i = 0; i < 40; ++i) {
    const float a = lo + (hi - lo) / 3.0f, b = hi - (hi - lo) / 3.0f;
    if (f(a) < f(b)) hi = b;
    else lo = a;
  }
  return std::min({f(0.0f), f(1.0f), f((lo + hi) / 2.0f)});
}

}  // namespace

class LineShapeHQGL : public ::testing::Test {
 protected:
  void SetUp() override {
    HqStrokeSource::initClass();
    ASSERT_TRUE(gltest::ensureContext());
  }
};

// A wavy stroke whose width swells, shrinks to nothing in the middle and
// swells again: every pixel whose centre lies a pixel inside the exact
// outline is inked, and no inked pixel lies more than a pixel outside it.
TEST_F(LineShapeHQGL, SolidStrokeCoversItsDiscsAndTangentBandsWithinOnePixel) {
  const int W = 400, H = 200;
  Scene scene(W, H);
  scene.settings->lineWidth = 24.0f;
  scene.settings->maxWidth = 24.0f;
  std::vector<SbVec2f> points;
  std::vector<float> thickness, density;
  for (int i = 0; i <= 50; ++i) {
    const float x = -150.0f + 6.0f * i;
    points.emplace_back(x, 40.0f * std::sin(x / 45.0f));
    thickness.push_back(std::fabs(std::sin(x / 70.0f)) + 0.1f * ((i + 1) % 2));  // 0 at x = 0
    density.push_back(1.0f);
  }
  scene.source->addStroke(points, thickness, density);
  const QImage image = scene.render();
  ASSERT_FALSE(image.isNull());

  // Centres are pixels from the viewport's lower left corner.
  std::vector<SbVec2f> centre;
  std::vector<float> radius;
  for (size_t i = 0; i < points.size(); ++i) {
    centre.push_back(points[i] + SbVec2f(W / 2.0f, H / 2.0f));
    radius.push_back(std::min(12.0f * thickness[i], 12.0f));  // maxWidth / 2
  }
  int outside = 0, missed = 0, inked = 0;
  for (int row = 0; row < H; ++row)
    for (int column = 0; column < W; ++column) {
      const SbVec2f p(column + 0.5f, (H - 1 - row) + 0.5f);
      float value = std::numeric_limits<float>::max();
      for (size_t i = 0; i + 1 < centre.size(); ++i) {
        const float reach = std::max(radius[i], radius[i + 1]) + 2.0f;
        const float lox = std::min(centre[i][0], centre[i + 1][0]) - reach;
        const float hix = std::max(centre[i][0], centre[i + 1][0]) + reach;
        const float loy = std::min(centre[i][1], centre[i + 1][1]) - reach;
        const float hiy = std::max(centre[i][1], centre[i + 1][1]) + reach;
        if (p[0] < lox || p[0] > hix || p[1] < loy || p[1] > hiy) continue;
        value = std::min(value, hullValue(p, centre[i], radius[i], centre[i + 1], radius[i + 1]));
      }
      const bool ink = dark(image, column, row);
      inked += ink;
      if (ink && value > 1.0f) ++outside;
      if (!ink && value < -1.0f) ++missed;
    }
  EXPECT_GT(inked, 3000);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(missed, 0);
}

// A straight run of one light tone becomes a row of separate dots, one per
// spacing(tone) x r of its length (within one), each drawn as its own blob.
TEST_F(LineShapeHQGL, ConstantLightToneGivesOneDotPerSpacingTimesRadius) {
  for (const float tone : {0.1f, 0.3f}) {
    SCOPED_TRACE(tone);
    const int W = 400, H = 60;
    Scene scene(W, H);
    scene.settings->lineWidth = 8.0f;  // radius 4 pixels
    scene.settings->maxWidth = 8.0f;
    std::vector<SbVec2f> points;
    for (int i = 0; i <= 36; ++i) points.emplace_back(-180.0f + 10.0f * i, 0.0f);
    scene.source->addStroke(points, std::vector<float>(points.size(), 1.0f),
                            std::vector<float>(points.size(), tone));
    const QImage image = scene.render();
    ASSERT_FALSE(image.isNull());

    const float length = 360.0f;
    const float step = scene.settings->settings().spacing(tone) * 4.0f;
    EXPECT_NEAR(step, kPi / (2.0f * tone) * 4.0f, 1e-3f);  // dots apart: the exact inverse
    const int drawn = static_cast<int>(scene.shape->inkGeometry().dots().size());
    EXPECT_NEAR(drawn, length / step, 1.0);
    EXPECT_EQ(blobs(image), drawn);
    EXPECT_TRUE(scene.shape->inkGeometry().solidTriangles().empty());
    // Each blob is a dot of radius 4: about 16 pi pixels.
    EXPECT_NEAR(darkPixels(image) / static_cast<double>(drawn), 16.0 * kPi, 6.0);
  }
}

// Corners of a dot: at least 5, otherwise edges of at most `resolution`
// pixels (radius 1 and 10 at resolution 2: 5 and 32; radius 10 at 4: 16).
TEST_F(LineShapeHQGL, DotCornerCountsFollowRadiusAndResolution) {
  struct Case {
    float lineWidth, resolution;
    int corners;
  } cases[] = {{2.0f, 2.0f, 5}, {20.0f, 2.0f, 32}, {20.0f, 4.0f, 16}, {0.5f, 2.0f, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lineWidth);
    Scene scene(400, 60);
    scene.settings->lineWidth = c.lineWidth;
    scene.settings->maxWidth = c.lineWidth;
    scene.shape->resolution = c.resolution;
    scene.source->addStroke({{-180, 0}, {180, 0}}, {1, 1}, {0.2f, 0.2f});
    const QImage image = scene.render();
    const auto& dots = scene.shape->inkGeometry().dots();
    ASSERT_FALSE(dots.empty());
    for (const auto& dot : dots) {
      EXPECT_NEAR(dot.radius, c.lineWidth / 2.0f, 1e-4f);
      EXPECT_EQ(dot.corners, c.corners);
    }
    if (c.lineWidth >= 2.0f) {
      EXPECT_EQ(blobs(image), static_cast<int>(dots.size()));
    }
  }
}

// A stroke solid at both ends and light in between: solid parts and a row of
// dots kept minDistance x r away from them, the gap rebalanced so that the
// last dot sits exactly that far before the second solid part.
TEST_F(LineShapeHQGL, LightGapBetweenSolidPartsIsDottedAndRebalanced) {
  Scene scene(400, 60);
  scene.settings->lineWidth = 8.0f;
  scene.settings->maxWidth = 8.0f;
  scene.source->addStroke({{-180, 0}, {-100, 0}, {-99, 0}, {99, 0}, {100, 0}, {180, 0}},
                          {1, 1, 1, 1, 1, 1}, {1, 1, 0.2f, 0.2f, 1, 1});
  scene.render();
  const auto& ink = scene.shape->inkGeometry();
  EXPECT_FALSE(ink.solidTriangles().empty());
  const auto& dots = ink.dots();
  ASSERT_GE(dots.size(), 2u);
  const SbLineSettingsHQ& s = scene.settings->settings();
  // Pixels: the viewport's centre is x = 200.
  const float toneCrossingLeft = 200.0f - 100.0f + (s.toneHigh - 1.0f) / (0.2f - 1.0f);
  const float toneCrossingRight = 200.0f + 99.0f + (s.toneHigh - 0.2f) / (1.0f - 0.2f);
  EXPECT_NEAR(dots.front().centre[0], toneCrossingLeft + s.minDistance * 4.0f, 0.05f);
  EXPECT_NEAR(dots.back().centre[0], toneCrossingRight - s.minDistance * 4.0f, 0.05f);
  // Evenly spread: equal steps.
  for (size_t i = 2; i < dots.size(); ++i)
    EXPECT_NEAR(dots[i].centre[0] - dots[i - 1].centre[0], dots[1].centre[0] - dots[0].centre[0], 0.05f);
}

// Plain lines: black with alpha from thickness, density or both, or blue
// and red segments, over a white background (grey = 255 - alpha).
TEST_F(LineShapeHQGL, PlainLinesAreColouredByThicknessAndDensity) {
  struct Case {
    SoLineShapeHQ::Mode mode;
    int grey;
  } cases[] = {{SoLineShapeHQ::M_BLACK, 0},
               {SoLineShapeHQ::M_THICK, 255 - 127},
               {SoLineShapeHQ::M_DENS, 255 - 63},
               {SoLineShapeHQ::M_THICK_DENS, 255 - 31}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Scene scene(200, 40);
    scene.shape->glLines = TRUE;
    scene.shape->mode = c.mode;
    scene.source->addStroke({{-80, 0.5f}, {0, 0.5f}, {80, 0.5f}}, {0.5f, 0.5f, 0.5f},
                            {0.25f, 0.25f, 0.25f});
    const QImage image = scene.render();
    EXPECT_NEAR(greyAt(image, -40.0f, 0.5f), c.grey, 1);
    EXPECT_NEAR(greyAt(image, 40.0f, 0.5f), c.grey, 1);
    EXPECT_EQ(greyAt(image, -40.0f, 3.5f), 255);
    EXPECT_TRUE(scene.shape->inkGeometry().dots().empty());
  }
}

TEST_F(LineShapeHQGL, ResolutionModeAlternatesBlueAndRedSegments) {
  Scene scene(200, 40);
  scene.shape->glLines = TRUE;
  scene.shape->mode = SoLineShapeHQ::M_RESOLUTION;
  scene.source->addStroke({{-90, 0.5f}, {-30, 0.5f}, {30, 0.5f}, {90, 0.5f}}, {}, {});
  const QImage image = scene.render();
  const QRgb first = image.pixel(100 - 60, 19), second = image.pixel(100, 19), third = image.pixel(160, 19);
  auto pure = [](QRgb p) {
    return (qRed(p) == 255 && qGreen(p) == 0 && qBlue(p) == 0) || (qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 255);
  };
  EXPECT_TRUE(pure(first));
  EXPECT_TRUE(pure(second));
  EXPECT_NE(first, second);
  EXPECT_EQ(first, third);
}

// Without values (or with arrays shorter than the index list's vertices)
// every colouring falls back to opaque black lines, and the ink is solid
// at lineWidth / 2.
TEST_F(LineShapeHQGL, MissingOrShortPerVertexArraysCountAsAbsent) {
  for (const int mode : {SoLineShapeHQ::M_THICK, SoLineShapeHQ::M_DENS, SoLineShapeHQ::M_THICK_DENS}) {
    for (const bool shortArrays : {false, true}) {
      SCOPED_TRACE(mode * 10 + shortArrays);
      Scene scene(200, 40);
      scene.shape->glLines = TRUE;
      scene.shape->mode = mode;
      scene.source->addStroke({{-80, 0.5f}, {0, 0.5f}, {80, 0.5f}}, {}, {});
      if (shortArrays) {
        scene.source->thickness = {0.1f, 0.1f};
        scene.source->density = {0.1f};
      } else {
        scene.source->thickness.clear();
        scene.source->density.clear();
      }
      const QImage image = scene.render();
      EXPECT_EQ(greyAt(image, -40.0f, 0.5f), 0);
    }
  }
  // Ink: short arrays draw what no arrays draw.
  auto inkPixels = [](bool shortArrays) {
    Scene scene(200, 60);
    scene.settings->lineWidth = 10.0f;
    scene.settings->maxWidth = 40.0f;
    scene.source->addStroke({{-80, 0}, {0, 10}, {80, 0}}, {}, {});
    scene.source->thickness = shortArrays ? std::vector<float>{3.0f, 3.0f} : std::vector<float>{};
    scene.source->density = shortArrays ? std::vector<float>{0.1f} : std::vector<float>{};
    return darkPixels(scene.render());
  };
  const int plain = inkPixels(false);
  EXPECT_NEAR(plain, 160 * 10 + 25 * kPi, 60);  // a band of width 10 with round caps
  EXPECT_EQ(inkPixels(true), plain);
}

// Thickness 0 or below leaves no ink; density beyond [0, 1] is clamped.
TEST_F(LineShapeHQGL, NonPositiveThicknessDrawsNothingAndDensityIsClamped) {
  {
    Scene scene(200, 40);
    scene.source->addStroke({{-80, 0}, {80, 0}}, {0, 0}, {1, 1});
    scene.source->addStroke({{-80, 10}, {80, 10}}, {-2, -1}, {1, 1});
    EXPECT_EQ(darkPixels(scene.render()), 0);
  }
  auto inkOf = [](float density) {
    Scene scene(200, 40);
    scene.settings->lineWidth = 8.0f;
    scene.settings->maxWidth = 8.0f;
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
    const QImage image = scene.render();
    EXPECT_GT(darkPixels(image), 0);  // the run 1 -> 0 at least
    // Only a single point, and an index list of one entry.
    s->indices = {0, -1};
    scene.render();
    s->indices = {1};
    EXPECT_EQ(darkPixels(scene.render()), 0);
    s->indices.clear();
    EXPECT_EQ(darkPixels(scene.render()), 0);
  }
  // No line settings: nothing.
  Scene bare(200, 60, false);
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
      for (int x = 0; x < image.width(); ++x) {
        const int g = qRed(image.pixel(x, y));
        n += g > 10 && g < 245;
      }
    return n;
  };
  const QImage hard = scene.render();
  EXPECT_EQ(greys(hard), 0);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  scene.shape->setLineSmoothing(true);
  const QImage soft = scene.render();
  EXPECT_GT(greys(soft), 20);
  EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  scene.shape->glLines = FALSE;
  scene.render();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLint matrixMode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
}
