#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "output/SbInkOutlineHQ.h"
#include "styling/SbInkStrokeBuilderHQ.h"
#include "styling/SbLineSettingsHQ.h"

namespace {

using Builder = SbInkStrokeBuilderHQ;
using Point = Builder::PixelPoint;

const float kPi = 3.14159265358979f;

// A tiny software rasteriser: marks the pixels whose centres lie in any of
// the builder's triangles (solid triangles and dot fans).
class Raster {
 public:
  Raster(int width, int height) : w(width), h(height), cells(static_cast<size_t>(width * height), 0) {}
  void fill(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a[0], b[0], c[0]}))));
    const int x1 = std::min(w - 1, static_cast<int>(std::ceil(std::max({a[0], b[0], c[0]}))));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a[1], b[1], c[1]}))));
    const int y1 = std::min(h - 1, static_cast<int>(std::ceil(std::max({a[1], b[1], c[1]}))));
    const float area = edge(a, b, c[0], c[1]);
    if (std::fabs(area) < 1e-12f) return;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const float px = x + 0.5f, py = y + 0.5f;
        const float e0 = edge(a, b, px, py) / area, e1 = edge(b, c, px, py) / area,
                    e2 = edge(c, a, px, py) / area;
        if (e0 >= 0 && e1 >= 0 && e2 >= 0) cells[static_cast<size_t>(y * w + x)] = 1;
      }
  }
  void draw(const Builder& ink) {
    const auto& v = ink.solidVertices();
    const auto& t = ink.solidTriangles();
    for (size_t i = 0; i + 2 < t.size(); i += 3) fill(v[t[i]], v[t[i + 1]], v[t[i + 2]]);
    const auto& dv = ink.dotVertices();
    for (const Builder::Dot& d : ink.dots())
      for (int k = 1; k + 1 < d.vertexCount; ++k)
        fill(dv[d.firstVertex], dv[d.firstVertex + k], dv[d.firstVertex + k + 1]);
  }
  bool at(int x, int y) const { return cells[static_cast<size_t>(y * w + x)] != 0; }
  int w, h;

 private:
  static float edge(const SbVec3f& a, const SbVec3f& b, float x, float y) {
    return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
  }
  std::vector<char> cells;
};

// Signed distance (sampled) from every pixel centre near the stroke to the
// union, over consecutive point pairs, of the discs whose centres and radii
// move linearly between the pair: the union of the discs and their tangent
// bands. Negative radii count as 0; pixels far from the stroke keep 1e30.
std::vector<float> distanceToStroke(const std::vector<Point>& pts, const std::vector<float>& radius,
                                    int w, int h) {
  std::vector<float> best(static_cast<size_t>(w * h), 1e30f);
  for (size_t k = 0; k + 1 < pts.size(); ++k) {
    const float ax = pts[k].x, ay = pts[k].y, bx = pts[k + 1].x, by = pts[k + 1].y;
    const float reach = std::max({radius[k], radius[k + 1], 0.0f}) + 3.0f;
    const int x0 = std::max(0, static_cast<int>(std::min(ax, bx) - reach));
    const int x1 = std::min(w - 1, static_cast<int>(std::max(ax, bx) + reach));
    const int y0 = std::max(0, static_cast<int>(std::min(ay, by) - reach));
    const int y1 = std::min(h - 1, static_cast<int>(std::max(ay, by) + reach));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        float& d = best[static_cast<size_t>(y * w + x)];
        for (int i = 0; i <= 64; ++i) {
          const float s = i / 64.0f;
          const float r = std::max(0.0f, radius[k] + s * (radius[k + 1] - radius[k]));
          d = std::min(d, std::hypot(x + 0.5f - ax - s * (bx - ax), y + 0.5f - ay - s * (by - ay)) - r);
        }
      }
  }
  return best;
}

class InkStroke : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.setLineWidth(10.0f);
    settings.setMaxWidth(100.0f);
    settings.setTolerance(2.0f);
    settings.setRange(2.0f, 100.0f);
    ink.setSettings(&settings);
    ink.setResolution(2.0f);
  }
  void TearDown() override { EXPECT_EQ(Builder::pool.live(), 0); }

  // Rasterises the solid stroke and compares it with the analytic union.
  void expectOutlineCovers(const std::vector<Point>& pts) {
    std::vector<float> radius;
    for (const Point& p : pts) radius.push_back(std::min(5.0f * p.thickness, 50.0f));
    ink.clear();
    ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, false);
    EXPECT_TRUE(ink.dots().empty());
    Raster raster(340, 200);
    raster.draw(ink);
    const std::vector<float> distance = distanceToStroke(pts, radius, raster.w, raster.h);
    int missing = 0, extra = 0, inside = 0;
    for (int y = 0; y < raster.h; ++y)
      for (int x = 0; x < raster.w; ++x) {
        const float d = distance[static_cast<size_t>(y * raster.w + x)];
        if (d < -1.0f) {
          ++inside;
          if (!raster.at(x, y)) ++missing;
        }
        if (d > 1.0f && raster.at(x, y)) ++extra;
      }
    EXPECT_GT(inside, 1000);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(extra, 0);
  }

  SbLineSettingsHQ settings;
  Builder ink;
};

TEST_F(InkStroke, SolidOutlineIsTheUnionOfDiscsAndTangentBands) {
  std::vector<Point> pts;
  for (int k = 0; k <= 70; ++k)
    pts.push_back({20.0f + 4.0f * k, 100.0f + 30.0f * std::sin(k / 8.0f), 0.5f,
                   0.4f + 1.2f * (0.5f + 0.5f * std::sin(k / 5.0f)), 1.0f});
  expectOutlineCovers(pts);
}

TEST_F(InkStroke, WidthThroughZeroPinchesTheOutline) {
  std::vector<Point> pts;
  for (int k = 0; k <= 70; ++k)
    pts.push_back({20.0f + 4.0f * k, 100.0f + 20.0f * std::cos(k / 9.0f), 0.5f,
                   1.3f * std::sin(k / 6.0f), 1.0f});
  expectOutlineCovers(pts);
}

// Straight run of 400 pixels at a constant tone, radius 2.
std::vector<Point> straight(float tone, float thickness = 0.4f, float length = 400.0f) {
  std::vector<Point> pts;
  for (float x = 0; x <= length + 1e-3f; x += 10.0f) pts.push_back({x, 50.0f, 0.5f, thickness, tone});
  return pts;
}

TEST_F(InkStroke, ConstantLightToneGivesLengthOverSpacingDots) {
  for (float tone : {0.03f, 0.1f, 0.3f, 0.6f}) {
    ink.clear();
    const auto pts = straight(tone);
    ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);
    const float r = 2.0f;
    const float expected = 400.0f / (settings.spacing(tone) * r) + 1.0f;  // from one free end to the other
    EXPECT_NEAR(static_cast<float>(ink.dots().size()), expected, 1.0f) << tone;
    EXPECT_TRUE(ink.solidTriangles().empty()) << tone;
    for (const Builder::Dot& d : ink.dots()) {
      EXPECT_NEAR(d.radius, r, 1e-4);
      EXPECT_NEAR(d.centre[1], 50.0f, 1e-4);
      EXPECT_GE(d.centre[0], -1e-3f);
      EXPECT_LE(d.centre[0], 400.0f + 1e-3f);
    }
  }
}

TEST_F(InkStroke, DotCornerCountsFollowTheResolution) {
  settings.setLineWidth(2.0f);  // radius 1
  auto pts = straight(0.1f, 1.0f);
  ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);
  ASSERT_FALSE(ink.dots().empty());
  for (const Builder::Dot& d : ink.dots()) EXPECT_EQ(d.corners, 5);

  ink.clear();
  settings.setLineWidth(20.0f);  // radius 10
  pts = straight(0.1f, 1.0f, 2000.0f);
  ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);
  ASSERT_FALSE(ink.dots().empty());
  for (const Builder::Dot& d : ink.dots()) {
    EXPECT_EQ(d.corners, 32);
    EXPECT_EQ(d.vertexCount, 34);
    const SbVec3f& first = ink.dotVertices()[d.firstVertex + 1];
    EXPECT_NEAR(first[0] - d.centre[0], 10.0f, 1e-4);  // corner 0 at angle 0
    EXPECT_EQ(ink.dotVertices()[d.firstVertex + d.vertexCount - 1], first);  // fan closed
  }
}

TEST_F(InkStroke, FullToneIsSolidAndLightGapsAreRebalanced) {
  auto pts = straight(1.0f);
  ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);
  EXPECT_TRUE(ink.dots().empty());
  EXPECT_FALSE(ink.solidTriangles().empty());

  // Solid, a light gap, solid again, symmetric about x = 200: rebalancing
  // puts the dots symmetric too (the last one at the same margin as the first).
  for (Point& p : pts) p.density = std::fabs(p.x - 200.0f) < 120.0f ? 0.1f : 1.0f;
  for (bool rebalance : {true, false}) {
    ink.clear();
    settings.setRebalance(rebalance);
    ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);
    ASSERT_GE(ink.dots().size(), 2u);
    const float first = ink.dots().front().centre[0], last = ink.dots().back().centre[0];
    if (rebalance) EXPECT_NEAR(first + last, 400.0f, 1e-2);
    else EXPECT_GT(std::fabs(first + last - 400.0f), 0.1f);
    EXPECT_FALSE(ink.solidTriangles().empty());
  }
}

TEST_F(InkStroke, WithoutThicknessTheWidthIsHalfTheLineWidth) {
  std::vector<Point> pts = {{10, 10, 0.5f, NAN, 1}, {60, 10, 0.5f, NAN, 1}};
  ink.addStroke(pts.data(), 2, false, false);
  float top = -1e9f, bottom = 1e9f;
  for (const SbVec3f& v : ink.solidVertices()) {
    top = std::max(top, v[1]);
    bottom = std::min(bottom, v[1]);
  }
  EXPECT_NEAR(top, 15.0f, 1e-3);
  EXPECT_NEAR(bottom, 5.0f, 1e-3);
}

TEST_F(InkStroke, ProjectionDropsPointsBehindTheEye) {
  // clip = (x, y, z, -z): a perspective division by the distance in front.
  SbMatrix m = SbMatrix::identity();
  m[2][3] = -1.0f;
  m[3][3] = 0.0f;
  ink.setProjection(m, SbVec2f(0, 0), SbVec2f(200, 100));
  SbVec3f pixel;
  EXPECT_TRUE(ink.project(SbVec3f(0, 0, -1), pixel));
  EXPECT_EQ(pixel, SbVec3f(100, 50, 0.0f));
  EXPECT_FALSE(ink.project(SbVec3f(0, 0, 1), pixel));
  EXPECT_FALSE(ink.project(SbVec3f(0, 0, 0), pixel));
  EXPECT_FALSE(ink.project(SbVec3f(NAN, 0, -1), pixel));

  const SbVec3f points[] = {{0, 0, -1}, {0.5f, 0, 1}, {0.5f, 0, -1}, {1e30f, 0, -1e-30f}};
  const int32_t indices[] = {0, 1, 2, 3, -1};
  ink.addLineSet(points, 4, indices, 5, nullptr, 0, nullptr, 0);
  for (const SbVec3f& v : ink.solidVertices())
    ASSERT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]));
  EXPECT_FALSE(ink.solidTriangles().empty());
}

TEST_F(InkStroke, BadLineSetsDoNotCrash) {
  ink.setProjection(SbMatrix::identity(), SbVec2f(0, 0), SbVec2f(400, 400));
  const SbVec3f points[] = {{0, 0, 0}, {0.5f, 0.1f, 0}, {-0.5f, 0.3f, 0}, {0.2f, -0.4f, 0}};
  const int32_t indices[] = {-1, -1, 0, -1, 7, -1, 0, 1, -1, -1, 2, 3, 1, -2, 0};  // no final -1
  const float thickness[] = {0, -2, NAN, 3, 1e30f, -1e30f, INFINITY, 1, 0.5f};
  const float density[] = {5, -3, NAN, 0.5f, 0.2f, 1, INFINITY, -INFINITY, 0.3f};
  const int vertices = 9;
  for (int tc : {0, 3, vertices})
    for (int dc : {0, 2, vertices}) {
      ink.clear();
      ink.addLineSet(points, 4, indices, 15, tc ? thickness : nullptr, tc, dc ? density : nullptr,
                     dc);
      for (const SbVec3f& v : ink.solidVertices())
        ASSERT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]));
      for (const SbVec3f& v : ink.dotVertices())
        ASSERT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]));
    }
  // Arrays of fewer values than vertices are ignored, not read past.
  ink.clear();
  ink.addLineSet(points, 4, indices, 15, thickness, 8, density, 8);
  EXPECT_FALSE(ink.solidTriangles().empty());

  // A single point: a disc when solid, a dot of its radius when light (as
  // in the files), nothing without tone.
  ink.clear();
  const Point one[] = {{5, 5, 0.5f, 1, 1}};
  ink.addStroke(one, 1, true, true);
  EXPECT_FALSE(ink.solidTriangles().empty());
  ink.clear();
  const Point light[] = {{5, 5, 0.5f, 1, 0.1f}};
  ink.addStroke(light, 1, true, true);
  EXPECT_TRUE(ink.solidTriangles().empty());
  ASSERT_EQ(ink.dots().size(), 1u);
  EXPECT_FLOAT_EQ(ink.dots()[0].radius, 5.0f);
  ink.clear();
  const Point blank[] = {{5, 5, 0.5f, 1, 0}};
  ink.addStroke(blank, 1, true, true);
  EXPECT_TRUE(ink.solidTriangles().empty() && ink.dots().empty());

  // A very long light run places a bounded number of dots.
  ink.clear();
  const Point far[] = {{0, 0, 0.5f, 0.01f, 0.01f}, {1e9f, 0, 0.5f, 0.01f, 0.01f}};
  ink.addStroke(far, 2, true, true);
  EXPECT_LE(static_cast<int>(ink.dots().size()), Builder::kMaxDotsPerRun);

  // Without settings nothing is built.
  Builder bare;
  bare.addStroke(one, 1, true, true);
  EXPECT_TRUE(bare.solidVertices().empty());
}

// One stroke through every kind of run: solid ends, a light gap between
// solid parts, stretches of tone 0, a dip to 0 at a single point, tones
// fading in and out. The screen and the files put the same dots, and none
// where the tone is 0.
TEST_F(InkStroke, ScreenAndFileDotsAgreeAndNoneLieWhereTheToneIsZero) {
  const float high = settings.toneHigh;
  std::vector<Point> pts;
  for (int k = 0; k <= 160; ++k) {
    const float x = 5.0f + 5.0f * k;
    float tone;
    if (x < 60.0f) tone = 1.0f;                                                      // solid
    else if (x < 150.0f) tone = 0.2f;                                                // gap
    else if (x < 200.0f) tone = 1.0f;                                                // solid
    else if (x < 260.0f) tone = 0.0f;                                                // no ink
    else if (x < 400.0f) tone = 0.5f * std::sin((x - 260.0f) / 140.0f * kPi);        // fades in and out
    else if (x < 500.0f) tone = std::fabs(x - 450.0f) / 50.0f * 0.4f;               // dips to 0 at 450
    else if (x < 560.0f) tone = 0.0f;                                                // no ink
    else tone = std::min(high, (x - 560.0f) / 200.0f);                               // fades in to solid
    pts.push_back({x, 100.0f + 20.0f * std::sin(x / 50.0f), 0.5f, 0.4f + 0.2f * std::sin(x / 30.0f), tone});
  }
  auto toneAt = [&](float x) {
    for (size_t k = 0; k + 1 < pts.size(); ++k)
      if (x >= pts[k].x && x <= pts[k + 1].x) {
        const float f = (x - pts[k].x) / (pts[k + 1].x - pts[k].x);
        return pts[k].density + f * (pts[k + 1].density - pts[k].density);
      }
    return 0.0f;
  };

  ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);

  struct Recorder : SbInkOutlineHQ::Receiver {
    std::vector<std::pair<SbVec3f, float>> dots;
    void fillContour(ContourListHQ& outline) override { outline.clear(); }
    void drawDot(const SbVec3f& centre, float radius) override { dots.emplace_back(centre, radius); }
  } file;
  std::vector<SbVec2f> positions;
  std::vector<float> thickness, tone;
  for (const Point& p : pts) {
    positions.emplace_back(p.x, p.y);
    thickness.push_back(p.thickness);
    tone.push_back(p.density);
  }
  SbInkOutlineHQ(settings, file).addStroke(positions.data(), thickness.data(), tone.data(), int(pts.size()));

  int gap = 0, fading = 0, dip = 0;
  for (const Builder::Dot& d : ink.dots()) {
    EXPECT_GT(toneAt(d.centre[0]), 0.0f) << "a dot on screen where the tone is 0, at x = " << d.centre[0];
    gap += d.centre[0] > 60 && d.centre[0] < 150;
    fading += d.centre[0] > 260 && d.centre[0] < 400;
    dip += d.centre[0] > 400 && d.centre[0] < 500;
  }
  EXPECT_GT(gap, 3);
  EXPECT_GT(fading, 3);
  EXPECT_GT(dip, 3);
  for (const auto& d : file.dots)
    EXPECT_GT(toneAt(d.first[0]), 0.0f) << "a dot in the file where the tone is 0, at x = " << d.first[0];
  ASSERT_EQ(file.dots.size(), ink.dots().size());
  for (size_t k = 0; k < file.dots.size(); ++k) {
    const Builder::Dot& d = ink.dots()[k];
    EXPECT_NEAR(d.centre[0], file.dots[k].first[0], 1e-3f) << k;
    EXPECT_NEAR(d.centre[1], file.dots[k].first[1], 1e-3f) << k;
    EXPECT_NEAR(d.radius, file.dots[k].second, 1e-4f) << k;
  }
}

TEST_F(InkStroke, MergedPointsKeepTheStrokeEnds) {
  std::vector<Point> pts;
  for (int k = 0; k <= 100; ++k) pts.push_back({10.0f + 0.3f * k, 20.0f, 0.5f, 1.0f, 1.0f});
  ink.addStroke(pts.data(), static_cast<int>(pts.size()), true, true);
  float left = 1e9f, right = -1e9f;
  for (const SbVec3f& v : ink.solidVertices()) {
    left = std::min(left, v[0]);
    right = std::max(right, v[0]);
  }
  EXPECT_NEAR(left, 5.0f, 1e-3);
  EXPECT_NEAR(right, 45.0f, 1e-3);
  // Far fewer discs than points: every disc has at least 4 triangles.
  EXPECT_LT(ink.solidTriangles().size() / 3, 101u * 4u);
  (void)kPi;
}

}  // namespace
