// One view, one stroke set, drawn in one GL render traversal three ways: on screen by SoLineShapeHQ, into the TGA
// raster and into the PDF (rendered back by pdftoppm at the viewport's size). All three put the ink in the same places.

#include <gtest/gtest.h>

#include <Inventor/nodes/SoTranslation.h>

#include <cmath>
#include <filesystem>

#include "GlTestContext.h"
#include "HqStrokeSource.h"
#include "LineTestNodes.h"
#include "TestFiles.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"

TEST(HqSnapshotGL, ScreenTgaAndPdfPutTheSameInkInTheSamePlaces) {
  ASSERT_TRUE(gltest::ensureContext());
  const int W = 400, H = 300;
  // The model matrix takes part; the shift is not a whole pixel, as with real strokes (edges exactly on pixel borders
  // are where pdftoppm's anti-aliasing rounds outwards by an eighth of a pixel).
  auto* shift = new SoTranslation;
  shift->translation.setValue(10.3f, -5.4f, 0);
  // A solid wave whose width swells and falls to nothing at x = 0, a sharp zig-zag, a light stroke, a stroke light
  // between solid ends, a lone point.
  auto* source = new HqStrokeSource;
  std::vector<SbVec2f> wave;
  std::vector<float> width;
  for (int i = 0; i <= 40; ++i) {
    const float x = -170.0f + 8.5f * i;
    wave.emplace_back(x, 90.0f + 30.0f * std::sin(x / 30.0f));
    width.push_back(4.0f * std::fabs(std::sin(x / 50.0f)));
  }
  source->addStroke(wave, width, {});
  source->addStroke({{-170, 20}, {-130, -20}, {-90, 20}, {-50, -20}, {-10, 20}}, {2.5f, 3, 3.5f, 3, 2.5f}, {});
  source->addStroke({{20, 0}, {170, 10}}, {2.5f, 2.5f}, {0.25f, 0.35f});
  source->addStroke({{-170, -80}, {-60, -80}, {0, -80}, {60, -80}, {170, -80}}, {3, 3, 3, 3, 3}, {1, 1, 0.3f, 1, 1});
  source->addStroke({{150, -120}}, {4.0f}, {1.0f});
  auto* settings = new SoLineSettingsHQ;
  settings->lineWidth = 2.0f, settings->maxWidth = 20.0f;
  auto* shape = new SoLineShapeHQ;
  auto* pdf = new SoLineOutputPdfHQ;
  auto* tga = new SoLineOutputTgaHQ;
  const linetest::Root root = linetest::scene({linetest::pixelCamera(H), shift, source, settings, shape, pdf, tga});
  TempDir dir;
  const std::string pdfPath = dir.file("shot.pdf"), tgaPath = dir.file("shot.tga");
  pdf->requestWrite(pdfPath.c_str());
  tga->requestWrite(tgaPath.c_str());
  const QImage screen = gltest::render(root.get(), W, H, 1.0f);
  ASSERT_EQ(screen.size(), QSize(W, H));
  ASSERT_TRUE(pdf->writeSucceeded() && tga->writeSucceeded());
  const std::string tgaBytes = readFile(tgaPath);
  ASSERT_EQ(tgaBytes.size(), 18u + W * H);
  auto tgaPixel = [&](int x, int y) { return static_cast<unsigned char>(tgaBytes[18 + y * W + x]); };
  // The lone point, moved, is a dot of radius 4 at (160.3, -125.4) from the centre: column 360.3, row 275.4.
  EXPECT_TRUE(tgaPixel(360, 275) == 0 && tgaPixel(366, 275) == 255);
  // Screen against file: every inked pixel of one has ink of the other within a pixel; the inked areas agree within 2%.
  auto screenInk = [&](int x, int y) { return qRed(screen.pixel(x, y)) < 128; };
  auto tgaInk = [&](int x, int y) { return tgaPixel(x, y) < 128; };
  auto near = [&](auto ink, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (x + dx >= 0 && y + dy >= 0 && x + dx < W && y + dy < H && ink(x + dx, y + dy)) return true;
    return false;
  };
  int onScreen = 0, inFile = 0, both = 0, screenAlone = 0, fileAlone = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool s = screenInk(x, y), f = tgaInk(x, y);
      onScreen += s, inFile += f, both += s && f;
      screenAlone += s && !near(tgaInk, x, y), fileAlone += f && !near(screenInk, x, y);
    }
  EXPECT_TRUE(inFile > 3000 && screenAlone + fileAlone == 0)
      << screenAlone << " on screen alone, " << fileAlone << " in the file";
  EXPECT_GE(both, 0.97 * std::max(onScreen, inFile)) << both << " of " << onScreen << " / " << inFile;
  EXPECT_NEAR(static_cast<double>(onScreen) / inFile, 1.0, 0.02);
  EXPECT_FALSE(shape->inkGeometry().dots().empty());  // the comparison covers dots too
  std::filesystem::remove(tgaPath);                   // a second render writes nothing unless armed again
  gltest::render(root.get(), W, H, 1.0f);
  EXPECT_FALSE(std::filesystem::exists(tgaPath));
  if (!haveProgram("qpdf") || !haveProgram("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
  EXPECT_TRUE(qpdfAccepts(pdfPath));
  const std::string paper = pdfGreys(pdfPath, W, H);
  ASSERT_EQ(paper.size(), size_t(W) * H);
  int close = 0;
  for (int i = 0; i < W * H; ++i)
    close += std::abs(static_cast<unsigned char>(paper[i]) - tgaPixel(i % W, i / W)) <= 16;
  EXPECT_GE(close, static_cast<int>(0.99 * W * H)) << close << " of " << W * H;
}
