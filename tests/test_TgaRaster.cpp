#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "output/SbTgaRasterHQ.h"

namespace {

// Ink in the whole image: sum of (255 - p) / 255.
double totalInk(const SbTgaRasterHQ& r) {
  double ink = 0;
  for (uint8_t p : r.getPixels()) ink += (255 - p) / 255.0;
  return ink;
}

// A contour through the points, in centre coordinates.
void fill(SbTgaRasterHQ& r, std::initializer_list<std::pair<double, double>> points) {
  for (const auto& p : points) r.addLineTo(p.first, p.second);
  r.fillContour();
}
void fillSquare(SbTgaRasterHQ& r, double x0, double y0, double x1, double y1) {
  fill(r, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

}  // namespace

// Dots are polygons of ceil(2 pi r / 3) corners on the circle, at least 5, made odd.
TEST(TgaRaster, DotPolygonsHaveOddCornerCountsOnTheCircle) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 80));
  for (auto c : {std::make_pair(0.1, 5), {1.0, 5}, {3.0, 7}, {4.0, 9}, {3.5, 9}, {25.0, 53}}) {
    const std::vector<ArtVpath> path = r.dotPath(10, 5, c.first);
    const int n = SbTgaRasterHQ::dotCorners(c.first);
    EXPECT_EQ(n, c.second) << c.first;
    ASSERT_EQ(static_cast<int>(path.size()), n + 2);
    EXPECT_EQ(path.back().code, ART_END);
    EXPECT_EQ(std::make_pair(path[n].x, path[n].y), std::make_pair(path[0].x, path[0].y));
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(path[i].code, i ? ART_LINETO : ART_MOVETO);
      EXPECT_NEAR(std::hypot(path[i].x - 60, path[i].y - 35), c.first, 1e-9);  // centre (10, 5) is image (60, 35)
      EXPECT_GT(std::hypot(path[i + 1].x - path[i].x, path[i + 1].y - path[i].y), 0.0);
    }
  }
}

// Full coverage is black, none leaves the paper, partial coverage is grey and the ink of a shape is its area.
TEST(TgaRaster, CoverageIsInkAndTheAreaIsKept) {
  SbTgaRasterHQ r;
  ASSERT_TRUE(r.begin(100, 60));
  fillSquare(r, -10, -10, 10, 10);  // pixel aligned: image columns 40..59, rows 20..39
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(r.pixel(x, y), x >= 40 && x < 60 && y >= 20 && y < 40 ? 0 : 255) << x << "," << y;
  ASSERT_TRUE(r.begin(100, 60));
  fillSquare(r, -9.5, -10, 10, 10);  // half a pixel column on the left edge
  EXPECT_NEAR(r.pixel(40, 30), 128, 18);
  EXPECT_EQ(r.pixel(41, 30), 0);
  EXPECT_NEAR(totalInk(r), 19.5 * 20, 20 * 0.02);

  // A disc from two half arcs, from one arc traced twice (non-zero winding: filled once), and as a dot: pi r^2 each.
  const double disc = M_PI * 40 * 40;
  double ink[3];
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    SbTgaRasterHQ d;
    ASSERT_TRUE(d.begin(200, 200));
    if (way < 2) d.addArc(0, 0, 40, 0, way ? 4 * M_PI : M_PI);
    if (way == 0) d.addArc(0, 0, 40, M_PI, 2 * M_PI);
    way < 2 ? d.fillContour() : d.drawDot(0, 0, 40);
    ink[way] = totalInk(d);
    EXPECT_NEAR(ink[way], disc, disc * 0.01);
    EXPECT_EQ(d.pixel(100, 100) + d.pixel(100 + 38, 100), 0);
    EXPECT_EQ(d.pixel(100 + 42, 100), 255);
  }
  EXPECT_NEAR(ink[1], ink[0], 1.0);
  // Arcs take a step per quarter turn or per 3 pixels, and one for no sweep: a point, drawn without NaN.
  EXPECT_EQ((std::vector<int>{SbTgaRasterHQ::arcSteps(0, M_PI / 2, 0.5), SbTgaRasterHQ::arcSteps(0, M_PI, 0.5),
                              SbTgaRasterHQ::arcSteps(M_PI, 0, 30), SbTgaRasterHQ::arcSteps(1, 1, 10)}),
            (std::vector<int>{1, 2, static_cast<int>(std::ceil(M_PI * 10)), 1}));
  ASSERT_TRUE(r.begin(50, 50));
  r.addLineTo(-5, -5);
  r.addArc(0, 0, 5, 0.3, 0.3);
  r.addLineTo(-5, 5);
  r.fillContour();
  EXPECT_LT(r.pixel(22, 25), 255);
}

// Overlaps darken, never lighten; coincident and collinear edges (a zero-width tail, points on a grid) fill and finish.
TEST(TgaRaster, OverlapsDarkenAndDegenerateContoursFinish) {
  SbTgaRasterHQ r, grid;
  ASSERT_TRUE(r.begin(64, 64));
  fillSquare(r, -10.5, -10, 10, 10);
  const int once = r.pixel(21, 30);
  fillSquare(r, -10.5, -10, 10, 10);
  EXPECT_TRUE(r.pixel(21, 30) < once && once < 255) << once;
  ASSERT_TRUE(grid.begin(40, 40));
  fill(grid, {{-5, -5}, {5, -5}, {15, -5}, {5, -5}, {5, 5}, {-5, 5}});
  EXPECT_NEAR(totalInk(grid), 100.0, 0.5);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(-34, 34), rad(0.2, 6);
  std::uniform_int_distribution<int> onGrid(-4, 4), count(1, 12);
  for (SbTgaRasterHQ* raster : {&r, &grid}) {
    std::vector<uint8_t> before = raster->getPixels();
    for (int i = 0; i < 300; ++i) {
      if (raster == &grid) {
        for (int k = count(rng); k > 0; --k) grid.addLineTo(onGrid(rng) * 4.0, onGrid(rng) * 4.0);
        grid.fillContour();
      } else if (i % 2) {
        r.drawDot(pos(rng), pos(rng), rad(rng));
      } else {
        fillSquare(r, pos(rng), pos(rng), pos(rng), pos(rng));
      }
      const std::vector<uint8_t>& after = raster->getPixels();
      for (std::size_t k = 0; k < after.size(); ++k) ASSERT_LE(after[k], before[k]) << "shape " << i;
      before = after;
    }
  }
  EXPECT_GT(totalInk(grid), 100.5);
}

TEST(TgaRaster, BadSizesAndNonFinitePointsAreRefused) {
  SbTgaRasterHQ r;
  TempDir dir;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(r.begin(0, 0) || r.begin(70000, 10) || r.begin(10, -1) || r.hasImage());
  r.drawDot(0, 0, 5);  // nothing to draw on
  EXPECT_FALSE(r.write(dir.file("none.tga").c_str()));
  ASSERT_TRUE(r.begin(20, 20));
  fill(r, {{0, 0}, {std::nan(""), 3}, {5, 5}});
  r.drawDot(1, 1, HUGE_VAL);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbTgaRasterHQ::begin: image size 0 x 0 is outside 1..65535, no image\n"
            "SbTgaRasterHQ::begin: image size 70000 x 10 is outside 1..65535, no image\n"
            "SbTgaRasterHQ::begin: image size 10 x -1 is outside 1..65535, no image\n"
            "couldn't write TGA!\n"
            "SbTgaRasterHQ::fillContour: a point is not finite, contour left out\n"
            "SbTgaRasterHQ::drawDot: a value is not finite, dot left out\n");
  EXPECT_TRUE(dir.entries().empty());
  EXPECT_DOUBLE_EQ(totalInk(r), 0.0);
  fillSquare(r, -2, -2, 2, 2);  // the next contour is drawn normally
  EXPECT_EQ(r.pixel(10, 10), 0);
  EXPECT_TRUE(r.begin(65535, 1));
}
