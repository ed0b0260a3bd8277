#include <gtest/gtest.h>

#include <Inventor/SbViewVolume.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "HqStrokeSource.h"
#include "lines/SbLineSetView.h"
#include "output/SbInkOutlineHQ.h"
#include "styling/SbInkStrokeBuilderHQ.h"
#include "styling/SbLineSettingsHQ.h"

namespace {

using Builder = SbInkStrokeBuilderHQ;
const float kPi = float(M_PI);

// A stroke point in pixels with its thickness factor and tone.
struct Point {
  float x, y, z, thickness, density;
};

void addStroke(Builder& ink, const std::vector<Point>& pts, bool hasThickness = true, bool hasDensity = true) {
  std::vector<SbVec3f> at;
  std::vector<float> thickness, tone;
  for (const Point& p : pts) {
    at.emplace_back(p.x, p.y, p.z);
    thickness.push_back(p.thickness);
    tone.push_back(p.density);
  }
  ink.addStroke(at.data(), hasThickness ? thickness.data() : nullptr, hasDensity ? tone.data() : nullptr,
                static_cast<int>(pts.size()));
}

// Marks the pixels whose centres lie in any of the builder's triangles (solid triangles and dot fans).
struct Raster {
  static constexpr int w = 340, h = 200;
  std::vector<char> cells = std::vector<char>(w * h, 0);
  void fill(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
    const float area = edge(a, b, c[0], c[1]);
    if (std::fabs(area) < 1e-12f) return;
    auto from = [&](int i) { return std::max(0, int(std::min({a[i], b[i], c[i]}))); };
    auto to = [&](int i, int n) { return std::min(n - 1, int(std::max({a[i], b[i], c[i]}))); };
    for (int y = from(1); y <= to(1, h); ++y)
      for (int x = from(0); x <= to(0, w); ++x) {
        const float px = x + 0.5f, py = y + 0.5f;
        if (edge(a, b, px, py) / area >= 0 && edge(b, c, px, py) / area >= 0 && edge(c, a, px, py) / area >= 0)
          cells[y * w + x] = 1;
      }
  }
  explicit Raster(const Builder& ink) {
    const auto &v = ink.solidVertices(), &dv = ink.dotVertices();
    const auto& t = ink.solidTriangles();
    for (size_t i = 0; i + 2 < t.size(); i += 3) fill(v[t[i]], v[t[i + 1]], v[t[i + 2]]);
    for (const Builder::Dot& d : ink.dots())
      for (int k = 1; k + 1 < d.vertexCount; ++k)
        fill(dv[d.firstVertex], dv[d.firstVertex + k], dv[d.firstVertex + k + 1]);
  }
  static float edge(const SbVec3f& a, const SbVec3f& b, float x, float y) {
    return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
  }
};

class InkStroke : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.setLineWidth(10.0f);  // radius 5 x thickness
    settings.setMaxWidth(100.0f);
    settings.setTolerance(2.0f);
    settings.setRange(2.0f, 100.0f);
    ink.setSettings(&settings);
    ink.setResolution(2.0f);
  }
  float extent(int axis, bool most) const {
    float v = most ? -1e9f : 1e9f;
    for (const SbVec3f& p : ink.solidVertices()) v = most ? std::max(v, p[axis]) : std::min(v, p[axis]);
    return v;
  }

  SbLineSettingsHQ settings;
  Builder ink;
};

// Straight run along y = 50 at a constant tone, radius 5 x thickness.
std::vector<Point> straight(float tone, float thickness = 0.4f, float length = 400.0f) {
  std::vector<Point> pts;
  for (float x = 0; x <= length + 1e-3f; x += 10.0f) pts.push_back({x, 50.0f, 0.5f, thickness, tone});
  return pts;
}

// The rasterised solid ink against the analytic union of discs and tangent bands (away from the raster's edge): more
// than a pixel inside is ink, more than a pixel outside paper, also where the width falls through zero.
TEST_F(InkStroke, SolidOutlineIsTheUnionOfDiscsAndTangentBands) {
  for (bool throughZero : {false, true}) {
    SCOPED_TRACE(throughZero ? "width through zero" : "varying width");
    std::vector<Point> pts;
    std::vector<SbVec2f> at;
    std::vector<float> radius;
    for (int k = 0; k <= 70; ++k) {
      const float t = throughZero ? 1.3f * std::sin(k / 6.0f) : 0.4f + 1.2f * (0.5f + 0.5f * std::sin(k / 5.0f));
      const float y = 100.0f + (throughZero ? 20.0f * std::cos(k / 9.0f) : 30.0f * std::sin(k / 8.0f));
      pts.push_back({20.0f + 4.0f * k, y, 0.5f, t, 1.0f});
      at.emplace_back(pts.back().x, pts.back().y);
      radius.push_back(std::min(5.0f * t, 50.0f));
    }
    ink.clear();
    addStroke(ink, pts, true, false);
    EXPECT_TRUE(ink.dots().empty());
    const Raster raster(ink);
    int missing = 0, extra = 0, inside = 0;
    for (int y = 6; y < 195; ++y)
      for (int x = 6; x < 335; ++x) {
        const double d = strokeDistance(SbVec2f(x + 0.5f, y + 0.5f), at, radius);
        inside += d < -1.0;
        missing += d < -1.0 && !raster.cells[y * Raster::w + x];
        extra += d > 1.0 && raster.cells[y * Raster::w + x];
      }
    EXPECT_GT(inside, 1000);
    EXPECT_EQ(std::make_pair(missing, extra), std::make_pair(0, 0));
  }
}

// Dots from one free end to the other at the tone's spacing, of the stroke's radius; full tone is solid. A dot has 5
// corners at radius 1, 32 at radius 10, corner 0 at angle 0, and its fan closed.
TEST_F(InkStroke, LightTonesAreDotsAtTheirSpacingAndFullToneIsSolid) {
  for (float tone : {0.03f, 0.1f, 0.3f, 0.6f, 1.0f}) {
    ink.clear();
    addStroke(ink, straight(tone));  // radius 2
    EXPECT_EQ(ink.solidTriangles().empty(), tone < 1) << tone;
    const float dots = tone == 1 ? 0.0f : 400.0f / (settings.spacing(tone) * 2.0f) + 1.0f;
    EXPECT_NEAR(float(ink.dots().size()), dots, tone == 1 ? 0.0f : 1.0f) << tone;
    for (const Builder::Dot& d : ink.dots())
      EXPECT_TRUE(std::fabs(d.radius - 2.0f) < 1e-4f && std::fabs(d.centre[1] - 50.0f) < 1e-4f &&
                  d.centre[0] >= -1e-3f && d.centre[0] <= 400.0f + 1e-3f)
          << d.centre[0];
  }
  for (float width : {2.0f, 20.0f}) {
    settings.setLineWidth(width);
    ink.clear();
    addStroke(ink, straight(0.1f, 1.0f, 2000.0f));
    ASSERT_FALSE(ink.dots().empty());
    for (const Builder::Dot& d : ink.dots()) {
      EXPECT_EQ(std::make_pair(d.corners, d.vertexCount), width < 10 ? std::make_pair(5, 7) : std::make_pair(32, 34));
      const SbVec3f& first = ink.dotVertices()[d.firstVertex + 1];
      EXPECT_NEAR(first[0] - d.centre[0], width / 2, 1e-4);
      EXPECT_EQ(ink.dotVertices()[d.firstVertex + d.vertexCount - 1], first);
    }
  }
}

// Solid, a light gap, solid again, symmetric about x = 200: rebalanced, the dots are evenly spaced, symmetric, clear
// of the solid ends.
TEST_F(InkStroke, DotsOfALightGapAreRebalancedBetweenTheSolidEnds) {
  auto pts = straight(1.0f);
  for (Point& p : pts) p.density = std::fabs(p.x - 200.0f) < 120.0f ? 0.1f : 1.0f;
  for (bool rebalance : {true, false}) {
    ink.clear();
    settings.setRebalance(rebalance);
    addStroke(ink, pts);
    ASSERT_GE(ink.dots().size(), 3u);
    EXPECT_FALSE(ink.solidTriangles().empty());
    std::vector<float> x;
    for (const Builder::Dot& d : ink.dots()) x.push_back(d.centre[0]);
    std::sort(x.begin(), x.end());
    if (!rebalance) {
      EXPECT_GT(std::fabs(x.front() + x.back() - 400.0f), 0.1f);
      continue;
    }
    EXPECT_NEAR(x.front() + x.back(), 400.0f, 1e-2);
    for (size_t i = 1; i < x.size(); ++i) EXPECT_NEAR(x[i] - x[i - 1], x[1] - x[0], 1e-2f);
    EXPECT_GT(x.front(), 80.0f + 2.0f * 2.0f - 1e-3f);
  }
  // A tone rising through full ink along one segment turns solid where it crosses.
  ink.clear();
  addStroke(ink, {{0, 50, 0.5f, 0.4f, 0.0f}, {100, 50, 0.5f, 0.4f, 1.0f}});
  EXPECT_NEAR(extent(0, false), 100.0f * settings.toneHigh - 2.0f, 0.25f);  // a polygon cap
}

// With a perspective camera a point lands where x / w and y / w put it: two points on one ray land on one pixel; points
// behind the eye are dropped.
TEST_F(InkStroke, ProjectionDividesByTheDistanceAndDropsPointsBehindTheEye) {
  SbViewVolume volume;
  volume.perspective(kPi / 2, 2.0f, 1.0f, 10.0f);  // at distance d: half height d, half width 2d
  SbMatrix affine, projection;
  volume.getMatrices(affine, projection);
  ink.setProjection(affine * projection, SbVec2f(0, 0), SbVec2f(200, 100));
  const std::pair<SbVec3f, SbVec2f> cases[] = {
      {{0, 0, -3}, {100, 50}}, {{1, 0.5f, -2}, {125, 62.5f}}, {{2, 1, -4}, {125, 62.5f}}, {{-4, -1, -4}, {50, 37.5f}}};
  std::vector<float> depth;
  SbVec3f pixel;
  for (const auto& [point, expected] : cases) {
    ASSERT_TRUE(ink.project(point, pixel)) << expected[0];
    EXPECT_LT((SbVec2f(pixel[0], pixel[1]) - expected).length(), 1e-3f) << pixel[0] << " " << pixel[1];
    depth.push_back(pixel[2]);
  }
  EXPECT_LT(depth[1], depth[2]);  // farther is deeper
  for (const SbVec3f& behind : {SbVec3f(0, 0, 1), SbVec3f(0, 0, 0), SbVec3f(NAN, 0, -1)})
    EXPECT_FALSE(ink.project(behind, pixel));
  // A stroke from (0, 0, -2) to (2, 0, -4): centre line from x = 100 to 125.
  const SbVec3f line[] = {{0, 0, -2}, {2, 0, -4}};
  const int32_t two[] = {0, 1, -1};
  ink.addLineSet(SbLineSetView(line, 2, two, 3));
  EXPECT_NEAR(extent(0, false), 95.0f, 1e-3f);
  EXPECT_NEAR(extent(0, true), 130.0f, 1e-3f);
  // A line through points behind the eye and far off keeps finite ink.
  ink.clear();
  const SbVec3f points[] = {{0, 0, -1}, {0.5f, 0, 1}, {0.5f, 0, -1}, {1e30f, 0, -1e-30f}};
  const int32_t indices[] = {0, 1, 2, 3, -1};
  ink.addLineSet(SbLineSetView(points, 4, indices, 5));
  for (const SbVec3f& v : ink.solidVertices()) ASSERT_TRUE(std::isfinite(v[0] + v[1] + v[2]));
  EXPECT_FALSE(ink.solidTriangles().empty());
}

TEST_F(InkStroke, BadOrMissingValuesGiveFiniteInk) {
  ink.setProjection(SbMatrix::identity(), SbVec2f(0, 0), SbVec2f(400, 400));
  const SbVec3f points[] = {{0, 0, 0}, {0.5f, 0.1f, 0}, {-0.5f, 0.3f, 0}, {0.2f, -0.4f, 0}};
  const int32_t indices[] = {-1, -1, 0, -1, 7, -1, 0, 1, -1, -1, 2, 3, 1, -2, 0};  // no final -1
  const float thickness[] = {0, -2, NAN, 3, 1e30f, -1e30f, INFINITY, 1, 0.5f};
  const float density[] = {5, -3, NAN, 0.5f, 0.2f, 1, INFINITY, -INFINITY, 0.3f};
  // Arrays of fewer values than vertices (9) are ignored, not read past.
  for (int tc : {0, 3, 8, 9})
    for (int dc : {0, 2, 8, 9}) {
      ink.clear();
      SbLineSetView view(points, 4, indices, 15);
      view.setThickness(tc ? thickness : nullptr, tc);
      view.setDensity(dc ? density : nullptr, dc);
      ink.addLineSet(view);
      for (const auto* list : {&ink.solidVertices(), &ink.dotVertices()})
        for (const SbVec3f& v : *list) ASSERT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]));
      EXPECT_TRUE(tc != 8 || dc != 8 || !ink.solidTriangles().empty());
    }
  // Without thickness the radius is half the line width.
  ink.clear();
  addStroke(ink, {{10, 10, 0.5f, NAN, 1}, {60, 10, 0.5f, NAN, 1}}, false, false);
  EXPECT_NEAR(extent(1, true), 15.0f, 1e-3);
  EXPECT_NEAR(extent(1, false), 5.0f, 1e-3);
  // A single point with ink is a dot of its radius (as in the files), without tone nothing.
  for (float tone : {1.0f, 0.1f, 0.0f}) {
    ink.clear();
    addStroke(ink, {{5, 5, 0.5f, 1, tone}});
    EXPECT_TRUE(ink.solidTriangles().empty()) << tone;
    ASSERT_EQ(ink.dots().size(), tone > 0 ? 1u : 0u) << tone;
    EXPECT_TRUE(tone == 0 || ink.dots()[0].radius == 5.0f);
  }
  // A very long light run places a bounded number of dots; without settings nothing is built.
  ink.clear();
  const std::vector<Point> far = {{0, 0, 0.5f, 0.01f, 0.01f}, {1e9f, 0, 0.5f, 0.01f, 0.01f}};
  addStroke(ink, far);
  EXPECT_LE(static_cast<int>(ink.dots().size()), SbInkRunsHQ::kMaxDotsPerRun);
  Builder unset;
  addStroke(unset, far);
  EXPECT_TRUE(unset.solidVertices().empty() && unset.dots().empty());
}

// One stroke through every kind of run: solid ends, a light gap between solid parts, stretches of tone 0, a dip to 0 at
// a single point, tones fading in and out. The screen and the files put the same dots, and none where the tone is 0.
TEST_F(InkStroke, ScreenAndFileDotsAgreeAndNoneLieWhereTheToneIsZero) {
  auto toneOf = [high = settings.toneHigh](float x) {
    if (x < 60.0f || (x >= 150.0f && x < 200.0f)) return 1.0f;            // solid
    if (x < 150.0f) return 0.2f;                                          // gap
    if (x < 260.0f || (x >= 500.0f && x < 560.0f)) return 0.0f;           // no ink
    if (x < 400.0f) return 0.5f * std::sin((x - 260.0f) / 140.0f * kPi);  // fades in and out
    if (x < 500.0f) return std::fabs(x - 450.0f) / 50.0f * 0.4f;          // dips to 0 at 450
    return std::min(high, (x - 560.0f) / 200.0f);                         // fades in to solid
  };
  std::vector<Point> pts;
  std::vector<SbVec2f> positions;
  std::vector<float> thickness, tone;
  for (int k = 0; k <= 160; ++k) {
    const float x = 5.0f + 5.0f * k;
    pts.push_back({x, 100.0f + 20.0f * std::sin(x / 50.0f), 0.5f, 0.4f + 0.2f * std::sin(x / 30.0f), toneOf(x)});
    positions.emplace_back(pts.back().x, pts.back().y);
    thickness.push_back(pts.back().thickness);
    tone.push_back(pts.back().density);
  }
  auto toneAt = [&](float x) {  // as the stroke interpolates it
    for (size_t k = 0; k + 1 < pts.size(); ++k)
      if (x >= pts[k].x && x <= pts[k + 1].x)
        return pts[k].density + (x - pts[k].x) / (pts[k + 1].x - pts[k].x) * (pts[k + 1].density - pts[k].density);
    return 0.0f;
  };
  addStroke(ink, pts);
  struct Recorder : SbInkOutlineHQ::Receiver {
    std::vector<std::pair<SbVec3f, float>> dots;
    void fillContour(ContourListHQ& outline) override { outline.clear(); }
    void drawDot(const SbVec3f& centre, float radius) override { dots.emplace_back(centre, radius); }
  } file;
  SbInkOutlineHQ(settings, file).addStroke(positions.data(), thickness.data(), tone.data(), int(pts.size()));
  int gap = 0, fading = 0, dip = 0;
  for (const Builder::Dot& d : ink.dots()) {
    EXPECT_GT(toneAt(d.centre[0]), 0.0f) << "a dot on screen where the tone is 0, at x = " << d.centre[0];
    gap += d.centre[0] > 60 && d.centre[0] < 150;
    fading += d.centre[0] > 260 && d.centre[0] < 400;
    dip += d.centre[0] > 400 && d.centre[0] < 500;
  }
  EXPECT_TRUE(gap > 3 && fading > 3 && dip > 3) << gap << " " << fading << " " << dip;
  ASSERT_EQ(file.dots.size(), ink.dots().size());  // the same dots: none in the file where the tone is 0 either
  for (size_t k = 0; k < file.dots.size(); ++k) {
    const Builder::Dot& d = ink.dots()[k];
    const SbVec3f& at = file.dots[k].first;
    EXPECT_TRUE(std::fabs(d.centre[0] - at[0]) <= 1e-3f && std::fabs(d.centre[1] - at[1]) <= 1e-3f &&
                std::fabs(d.radius - file.dots[k].second) <= 1e-4f)
        << k;
  }
}

// Points closer than the tolerance merge, yet the ink still spans the stroke's ends with far fewer discs than points.
TEST_F(InkStroke, MergedPointsKeepTheStrokeEnds) {
  std::vector<Point> pts;
  for (int k = 0; k <= 100; ++k) pts.push_back({10.0f + 0.3f * k, 20.0f, 0.5f, 1.0f, 1.0f});
  addStroke(ink, pts);
  EXPECT_NEAR(extent(0, false), 5.0f, 1e-3);
  EXPECT_NEAR(extent(0, true), 45.0f, 1e-3);
  EXPECT_LT(ink.solidTriangles().size() / 3, 101u * 4u);  // every disc has at least 4 triangles
}

// A view reads the arrays in place: lines by their index runs, per-vertex arrays only when they cover every vertex,
// slices that carry their values.
TEST(LineSetView, WalksLinesAndKeepsOnlyCoveringArrays) {
  const SbVec3f points[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  const int32_t indices[] = {-1, 0, 1, -1, -1, 2, 7, 1};  // empty lines, a bad point, no final -1
  const float thickness[] = {1, 2, 3, 4, 5};
  SbLineSetView view(points, 3, indices, 8);
  EXPECT_EQ(view.vertexCount, 5);
  view.setThickness(thickness, 5);
  view.setDensity(thickness, 4);  // one value short: none
  EXPECT_TRUE(view.thickness == thickness && view.density == nullptr);
  std::vector<std::array<int32_t, 3>> lines;
  view.forEachLine([&](int32_t b, int32_t e, int32_t v) { lines.push_back({b, e, v}); });
  EXPECT_EQ(lines, (std::vector<std::array<int32_t, 3>>{{1, 3, 0}, {5, 8, 2}}));
  EXPECT_FALSE(view.hasPoint(indices[6]));
  const SbLineSetView tail = view.slice(4, 8);
  // The thickness slots of the vertices before it are skipped.
  EXPECT_TRUE(tail.vertexCount == 3 && tail.indices == indices + 4 && tail.thickness == thickness + 2);
  EXPECT_TRUE(view.slice(3, 5).empty() && view.slice(3, 5).thickness == nullptr);
  EXPECT_TRUE(SbLineSetView(nullptr, 0, nullptr, 0).empty());
}

}  // namespace
