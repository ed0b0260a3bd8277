#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>


#include "TestFiles.h"
#include "output/SbTgaRasterHQ.h"

namespace fs = std::filesystem;

namespace {

// Ink in a rectangle of image pixels: sum of (255 - p) / 255.
double inkIn(const SbTgaRasterHQ& r, int x0, int y0, int x1, int y1) {
  double ink = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) ink += (255 - r.pixel(x, y)) / 255.0;
  return ink;
}

double totalInk(const SbTgaRasterHQ& r) { return inkIn(r, 0, 0, r.getWidth(), r.getHeight()); }

// A square contour in centre coordinates.
void fillSquare(SbTgaRasterHQ& r, double x0, double y0, double x1, double y1) {
  r.addLineTo(x0, y0);
  r.addLineTo(x1, y0);
  r.addLineTo(x1, y1);
  r.addLineTo(x0, y1);
  r.fillContour();
}

}  // namespace

TEST(TgaRaster, FileIsHeaderThenTopDownPixels) {
  TempDir dir;
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(640, 480));
  r.drawDot(0, 0, 10);
  const std::string path = dir.file("shot.tga");
  ASSERT_TRUE(r.write(path.c_str()));
  const std::string file = readFile(path);
  ASSERT_EQ(file.size(), 18u + 640u * 480u);
  const unsigned char header[18] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x02, 0xe0, 0x01, 0x08, 0x20};
  EXPECT_EQ(file.substr(0, 18), std::string(reinterpret_cast<const char*>(header), 18));
  EXPECT_EQ(file.substr(18), std::string(r.getPixels().begin(), r.getPixels().end()));
  EXPECT_EQ(static_cast<unsigned char>(file[18 + 240 * 640 + 320]), 0);  // the dot's centre
  EXPECT_EQ(static_cast<unsigned char>(file[18]), 255);
}

TEST(TgaRaster, DotPolygonsHaveOddCornerCounts) {
  EXPECT_EQ(SbTgaRasterHQ::dotCorners(0.1), 5);
  EXPECT_EQ(SbTgaRasterHQ::dotCorners(1), 5);
  EXPECT_EQ(SbTgaRasterHQ::dotCorners(3), 7);   // ceil(2 pi) = 7
  EXPECT_EQ(SbTgaRasterHQ::dotCorners(4), 9);   // ceil(8.38) = 9
  EXPECT_EQ(SbTgaRasterHQ::dotCorners(3.5), 9); // ceil(7.33) = 8, made odd
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 80));
  for (double radius : {1.0, 3.0, 4.0, 25.0}) {
    SCOPED_TRACE(radius);
    const std::vector<ArtVpath> path = r.dotPath(10, 5, radius);
    const int n = SbTgaRasterHQ::dotCorners(radius);
    ASSERT_EQ(static_cast<int>(path.size()), n + 2);
    EXPECT_EQ(path.front().code, ART_MOVETO);
    EXPECT_EQ(path.back().code, ART_END);
    EXPECT_EQ(path[n].x, path[0].x);
    EXPECT_EQ(path[n].y, path[0].y);
    std::set<std::pair<double, double>> corners;
    for (int i = 0; i < n; ++i) {
      if (i > 0) {
        EXPECT_EQ(path[i].code, ART_LINETO);
      }
      // Centre (10, 5) maps to image (60, 35).
      EXPECT_NEAR(std::hypot(path[i].x - 60, path[i].y - 35), radius, 1e-9);
      corners.insert({path[i].x, path[i].y});
    }
    EXPECT_EQ(static_cast<int>(corners.size()), n);
  }
}

TEST(TgaRaster, InkIsZeroInsideAndPaperUntouched) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 60));
  // Pixel-aligned square: image columns 40..59, rows 20..39.
  fillSquare(r, -10, -10, 10, 10);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x) {
      const bool inside = x >= 40 && x < 60 && y >= 20 && y < 40;
      ASSERT_EQ(r.pixel(x, y), inside ? 0 : 255) << x << "," << y;
    }
}

TEST(TgaRaster, CentreOriginMapsWithYUp) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 60));
  r.drawDot(30, 20, 3);  // image (80, 10)
  EXPECT_EQ(r.pixel(80, 10), 0);
  EXPECT_EQ(r.pixel(80, 50), 255);
  EXPECT_EQ(r.pixel(20, 10), 255);
}

TEST(TgaRaster, PartialCoverageIsGreyAndAreaIsKept) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 60));
  // Half a pixel column on the left edge.
  fillSquare(r, -9.5, -10, 10, 10);
  const int grey = r.pixel(40, 30);
  EXPECT_GT(grey, 110);
  EXPECT_LT(grey, 145);
  EXPECT_EQ(r.pixel(41, 30), 0);
  EXPECT_NEAR(totalInk(r), 19.5 * 20, 20 * 0.02);

  // A disc from two half arcs covers pi r^2.
  SbTgaRasterHQ d;
  ASSERT_TRUE(d.begin(200, 200));
  d.addArc(0, 0, 40, 0, M_PI);
  d.addArc(0, 0, 40, M_PI, 2 * M_PI);
  d.fillContour();
  EXPECT_NEAR(totalInk(d), M_PI * 40 * 40, M_PI * 40 * 40 * 0.01);
  EXPECT_EQ(d.pixel(100, 100), 0);
  EXPECT_EQ(d.pixel(100 + 38, 100), 0);
  EXPECT_EQ(d.pixel(100 + 42, 100), 255);
  // The same disc as a dot.
  SbTgaRasterHQ e;
  ASSERT_TRUE(e.begin(200, 200));
  e.drawDot(0, 0, 40);
  EXPECT_NEAR(totalInk(e), M_PI * 40 * 40, M_PI * 40 * 40 * 0.01);
}

TEST(TgaRaster, ArcStepsKeepPointsCloseAndNeverZero) {
  EXPECT_EQ(SbTgaRasterHQ::arcSteps(0, M_PI / 2, 0.5), 1);  // one per quarter turn
  EXPECT_EQ(SbTgaRasterHQ::arcSteps(0, M_PI, 0.5), 2);
  EXPECT_EQ(SbTgaRasterHQ::arcSteps(M_PI, 0, 30), static_cast<int>(std::ceil(M_PI * 10)));
  EXPECT_EQ(SbTgaRasterHQ::arcSteps(1, 1, 10), 1);  // a zero sweep
  // A zero-sweep arc is a point, drawn without NaN.
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(50, 50));
  testing::internal::CaptureStdout();
  r.addLineTo(-5, -5);
  r.addArc(0, 0, 5, 0.3, 0.3);
  r.addLineTo(-5, 5);
  r.fillContour();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_LT(r.pixel(22, 25), 255);
}

TEST(TgaRaster, OverlapsDarkenAndNeverLighten) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(64, 64));
  // Two half-covering shapes on the same pixels: darker than one.
  fillSquare(r, -10.5, -10, 10, 10);
  const int once = r.pixel(21, 30);
  fillSquare(r, -10.5, -10, 10, 10);
  const int twice = r.pixel(21, 30);
  EXPECT_LT(twice, once);
  EXPECT_LT(once, 255);

  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(-34, 34), rad(0.2, 6);
  std::vector<uint8_t> before = r.getPixels();
  for (int i = 0; i < 200; ++i) {
    if (i % 2)
      r.drawDot(pos(rng), pos(rng), rad(rng));
    else
      fillSquare(r, pos(rng), pos(rng), pos(rng), pos(rng));
    const std::vector<uint8_t>& after = r.getPixels();
    for (std::size_t k = 0; k < after.size(); ++k) ASSERT_LE(after[k], before[k]) << "shape " << i;
    before = after;
  }
}

TEST(TgaRaster, SelfOverlapFillsOnceWithNonZeroWinding) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 100));
  // The circle traced twice in one contour: the same disc, not darker.
  r.addArc(0, 0, 20, 0, 4 * M_PI);
  r.fillContour();
  SbTgaRasterHQ once;
  ASSERT_TRUE(once.begin(100, 100));
  once.addArc(0, 0, 20, 0, 2 * M_PI);
  once.fillContour();
  EXPECT_NEAR(totalInk(r), totalInk(once), 1.0);
  EXPECT_EQ(r.pixel(50, 50), 0);
}

// Coincident and collinear edges (zero-width stretches of a stroke, points on
// a grid) are filled and finish.
TEST(TgaRaster, DegenerateContoursFinish) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(40, 40));
  // A square with a zero-width tail that runs out and back along one line.
  for (auto p : {std::pair<double, double>{-5, -5}, {5, -5}, {15, -5}, {5, -5}, {5, 5}, {-5, 5}})
    r.addLineTo(p.first, p.second);
  r.fillContour();
  EXPECT_NEAR(totalInk(r), 100.0, 0.5);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> grid(-4, 4), count(1, 12);
  for (int i = 0; i < 300; ++i) {
    const int n = count(rng);
    for (int k = 0; k < n; ++k) r.addLineTo(grid(rng) * 4.0, grid(rng) * 4.0);
    r.fillContour();
  }
  EXPECT_GT(totalInk(r), 100.5);
}

TEST(TgaRaster, BadSizesAreRefused) {
  SbTgaRasterHQ r;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(r.begin(0, 0));
  EXPECT_FALSE(r.begin(70000, 10));
  EXPECT_FALSE(r.begin(10, -1));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbTgaRasterHQ::begin: image size 0 x 0 is outside 1..65535, no image\n"
            "SbTgaRasterHQ::begin: image size 70000 x 10 is outside 1..65535, no image\n"
            "SbTgaRasterHQ::begin: image size 10 x -1 is outside 1..65535, no image\n");
  EXPECT_FALSE(r.hasImage());
  r.drawDot(0, 0, 5);  // nothing to draw on
  TempDir dir;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(r.write(dir.file("none.tga").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "couldn't write TGA!\n");
  EXPECT_TRUE(fs::is_empty(dir.path));
  EXPECT_TRUE(r.begin(65535, 1));
}

TEST(TgaRaster, NonFinitePointsDropTheContour) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(20, 20));
  testing::internal::CaptureStdout();
  r.addLineTo(0, 0);
  r.addLineTo(std::nan(""), 3);
  r.addLineTo(5, 5);
  r.fillContour();
  r.drawDot(1, 1, HUGE_VAL);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbTgaRasterHQ::fillContour: a point is not finite, contour left out\n"
            "SbTgaRasterHQ::drawDot: a value is not finite, dot left out\n");
  EXPECT_DOUBLE_EQ(totalInk(r), 0.0);
  // The next contour is drawn normally.
  fillSquare(r, -2, -2, 2, 2);
  EXPECT_EQ(r.pixel(10, 10), 0);
}

// The file goes through SbOutputFile (tested on its own).
TEST(TgaRaster, UnwritablePathFailsWithAMessageAndLeavesNoFile) {
  TempDir dir;
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(8, 8));
  testing::internal::CaptureStdout();
  std::string why;
  EXPECT_FALSE(r.write(dir.file("missing/x.tga").c_str(), &why));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "couldn't write TGA!\n");
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_TRUE(dir.entries().empty());
}
