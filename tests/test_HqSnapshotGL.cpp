// The HQ snapshot writers in an offscreen GL render traversal: the PDF,
// rendered back by pdftoppm at the viewport's size, matches the TGA of the
// same view.

#include <gtest/gtest.h>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "GlTestContext.h"
#include "HqStrokeSource.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace fs = std::filesystem;

namespace {

// Pixels of a binary PGM (P5, maxval 255); empty when it is not one.
std::vector<unsigned char> readPgm(const std::string& path, int& width, int& height) {
  const std::string data = readFile(path);
  std::istringstream in(data);
  std::string magic;
  int maxval = 0;
  in >> magic >> width >> height >> maxval;
  if (magic != "P5" || maxval != 255 || width < 1 || height < 1) return {};
  const size_t start = static_cast<size_t>(in.tellg()) + 1;
  if (data.size() < start + static_cast<size_t>(width) * height) return {};
  return std::vector<unsigned char>(data.begin() + start, data.begin() + start + static_cast<size_t>(width) * height);
}

}  // namespace

TEST(HqSnapshotGL, PdfRenderingMatchesTgaOfTheSameView) {
  ASSERT_TRUE(gltest::ensureContext());
  HqStrokeSource::initClass();
  const int W = 400, H = 300;

  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0, 0, 10);
  camera->height = static_cast<float>(H);  // one world unit per pixel
  camera->nearDistance = 1;
  camera->farDistance = 20;
  root->addChild(camera);
  // The model matrix takes part; the shift is not a whole pixel, as with
  // real strokes (edges exactly on pixel borders are where pdftoppm's
  // anti-aliasing rounds outwards by an eighth of a pixel).
  auto* shift = new SoTranslation;
  shift->translation.setValue(10.3f, -5.4f, 0);
  root->addChild(shift);
  auto* source = new HqStrokeSource;
  // A solid wave of changing width, a sharp zig-zag, a light stroke, a stroke
  // that turns light in the middle, and a single point.
  std::vector<SbVec2f> wave;
  std::vector<float> width, tone;
  for (int i = 0; i <= 40; ++i) {
    const float x = -170.0f + 8.5f * i;
    wave.emplace_back(x, 90.0f + 30.0f * std::sin(x / 30.0f));
    width.push_back(1.0f + 3.0f * std::fabs(std::sin(x / 50.0f)));
    tone.push_back(1.0f);
  }
  source->addStroke(wave, width, tone);
  source->addStroke({{-170, 20}, {-130, -20}, {-90, 20}, {-50, -20}, {-10, 20}}, {2.5f, 3, 3.5f, 3, 2.5f},
                    {1, 1, 1, 1, 1});
  source->addStroke({{20, 0}, {170, 10}}, {2.5f, 2.5f}, {0.25f, 0.35f});
  source->addStroke({{-170, -80}, {-60, -80}, {0, -80}, {60, -80}, {170, -80}}, {3, 3, 3, 3, 3},
                    {1, 1, 0.3f, 1, 1});
  source->addStroke({{150, -120}}, {4.0f}, {1.0f});
  root->addChild(source);
  auto* settings = new SoLineSettingsHQ;
  settings->lineWidth = 2.0f;
  settings->maxWidth = 20.0f;
  root->addChild(settings);
  auto* pdf = new SoLineOutputPdfHQ;
  auto* tga = new SoLineOutputTgaHQ;
  root->addChild(pdf);
  root->addChild(tga);

  TempDir dir;
  const std::string pdfPath = dir.file("shot.pdf"), tgaPath = dir.file("shot.tga");
  pdf->requestWrite(pdfPath.c_str());
  tga->requestWrite(tgaPath.c_str());
  gltest::render(root, W, H, 1.0f);
  EXPECT_TRUE(pdf->writeSucceeded());
  ASSERT_TRUE(tga->writeSucceeded());

  const std::string tgaBytes = readFile(tgaPath);
  ASSERT_EQ(tgaBytes.size(), 18u + W * H);
  auto tgaPixel = [&](int x, int y) { return static_cast<unsigned char>(tgaBytes[18 + y * W + x]); };
  // The single point, moved by the translation, is a dot of radius 4 at
  // (160.3, -125.4) from the centre: image column 360.3, row 275.4.
  EXPECT_EQ(tgaPixel(360, 275), 0);
  EXPECT_EQ(tgaPixel(366, 275), 255);

  // A second render writes nothing unless armed again.
  fs::remove(tgaPath);
  gltest::render(root, W, H, 1.0f);
  EXPECT_FALSE(fs::exists(tgaPath));

  if (!haveProgram("qpdf") || !haveProgram("pdftoppm")) {
    root->unref();
    GTEST_SKIP() << "qpdf or pdftoppm missing";
  }
  EXPECT_EQ(std::system(("qpdf --check '" + pdfPath + "' > /dev/null 2>&1").c_str()), 0);
  const std::string prefix = dir.file("page");
  const std::string command = "pdftoppm -gray -singlefile -scale-to-x " + std::to_string(W) + " -scale-to-y " +
                              std::to_string(H) + " '" + pdfPath + "' '" + prefix + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  int w = 0, h = 0;
  const std::vector<unsigned char> page = readPgm(prefix + ".pgm", w, h);
  ASSERT_EQ(w, W);
  ASSERT_EQ(h, H);

  int close = 0, ink = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int a = page[static_cast<size_t>(y) * W + x], b = tgaPixel(x, y);
      close += std::abs(a - b) <= 16;
      ink += b < 128;
    }
  EXPECT_GT(ink, 2000);  // the comparison is about something
  EXPECT_GE(close, static_cast<int>(0.99 * W * H)) << close << " of " << W * H;
  root->unref();
}
