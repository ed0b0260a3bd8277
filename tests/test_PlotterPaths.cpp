// Pen paths for plotters: merging of touching paths, the drawing order and
// its pen-up travel, the solid parts of styled strokes, the text format.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "output/SbPlotterPaths.h"

namespace {

using Path = SbPlotterPaths::Path;
using Step = SbPlotterPaths::Step;

void addLine(SbPlotterPaths& paths, std::vector<SbVec2f> pts) {
  paths.addPolyline(pts.data(), static_cast<int>(pts.size()));
}

bool isPermutation(const std::vector<Step>& order, size_t n) {
  if (order.size() != n) return false;
  std::vector<char> seen(n, 0);
  for (const Step& s : order) {
    if (s.path < 0 || static_cast<size_t>(s.path) >= n || seen[s.path]) return false;
    seen[s.path] = 1;
  }
  return true;
}

// Every point of every path, sorted: merging and ordering must keep them.
std::vector<std::pair<float, float>> allPoints(const std::vector<Path>& paths) {
  std::vector<std::pair<float, float>> out;
  for (const Path& p : paths)
    for (const SbVec2f& v : p.points) out.emplace_back(v[0], v[1]);
  std::sort(out.begin(), out.end());
  return out;
}

// n short strokes at random places and directions, in random order.
SbPlotterPaths randomStrokes(std::mt19937& rng, int n) {
  std::uniform_real_distribution<float> pos(0.0f, 500.0f), step(-8.0f, 8.0f);
  std::uniform_int_distribution<int> len(2, 5);
  SbPlotterPaths paths;
  for (int i = 0; i < n; ++i) {
    std::vector<SbVec2f> pts{SbVec2f(pos(rng), pos(rng))};
    const int m = len(rng);
    for (int k = 1; k < m; ++k) pts.push_back(pts.back() + SbVec2f(step(rng), step(rng)));
    addLine(paths, pts);
  }
  return paths;
}

}  // namespace

TEST(PlotterOrder, NeverIncreasesPenUpTravelOnRandomSets) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 60; ++trial) {
    SbPlotterPaths paths = randomStrokes(rng, 1 + trial * 7);
    const auto before = allPoints(paths.paths());
    const double travel = paths.penUpTravel();
    const SbPlotterPaths::Report report = paths.optimise(0.1f, SbVec2f(0, 500), 1.0);
    EXPECT_LE(report.travelAfter, travel + 1e-9) << "trial " << trial;
    EXPECT_DOUBLE_EQ(report.travelBefore, travel);
    EXPECT_NEAR(report.travelAfter, paths.penUpTravel(), 1e-6);
    if (report.merges == 0) {
      EXPECT_EQ(before, allPoints(paths.paths())) << "trial " << trial;
    }
  }
}

TEST(PlotterOrder, TwoOptNeverLosesToNearestNeighbour) {
  std::mt19937 rng(777);
  for (int trial = 0; trial < 20; ++trial) {
    const SbPlotterPaths paths = randomStrokes(rng, 50 + trial * 40);
    const std::vector<Step> greedy = SbPlotterPaths::planOrder(paths.paths(), SbVec2f(0, 0), 0.0);
    bool converged = false;
    const std::vector<Step> improved = SbPlotterPaths::planOrder(paths.paths(), SbVec2f(0, 0), 10.0, &converged);
    ASSERT_TRUE(isPermutation(greedy, paths.paths().size()));
    ASSERT_TRUE(isPermutation(improved, paths.paths().size()));
    EXPECT_TRUE(converged);
    EXPECT_LE(SbPlotterPaths::penUpTravel(paths.paths(), improved),
              SbPlotterPaths::penUpTravel(paths.paths(), greedy) + 1e-9);
  }
}

TEST(PlotterOrder, ShuffledHatchingTravelIsCutByMoreThanHalf) {
  // 400 parallel strokes 2 units apart, 100 long, traced in random order and
  // direction: the best order zig-zags with 2 units of travel per stroke.
  std::mt19937 rng(4);
  std::vector<int> rows(400);
  for (int i = 0; i < 400; ++i) rows[i] = i;
  std::shuffle(rows.begin(), rows.end(), rng);
  SbPlotterPaths paths;
  for (int r : rows) {
    const float y = 2.0f * r;
    if (rng() & 1) addLine(paths, {SbVec2f(0, y), SbVec2f(50, y + 0.3f), SbVec2f(100, y)});
    else addLine(paths, {SbVec2f(100, y), SbVec2f(50, y + 0.3f), SbVec2f(0, y)});
  }
  const SbPlotterPaths::Report report = paths.optimise(0.1f, SbVec2f(0, 0), 5.0);
  EXPECT_EQ(report.merges, 0);
  EXPECT_LT(report.travelAfter, 0.5 * report.travelBefore);
  // Close to the zig-zag: 399 steps of 2 units.
  EXPECT_LT(report.travelAfter, 399 * 2.0 * 1.5);
}

TEST(PlotterOrder, TinyTimeBoundStillGivesAValidPermutation) {
  std::mt19937 rng(99);
  const SbPlotterPaths paths = randomStrokes(rng, 20000);
  for (double seconds : {0.0, 1e-9, 1e-4, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    const std::vector<Step> order = SbPlotterPaths::planOrder(paths.paths(), SbVec2f(0, 0), seconds);
    EXPECT_TRUE(isPermutation(order, paths.paths().size())) << seconds;
  }
}

TEST(PlotterOrder, CoincidentEndsAndAFarHomeStillGiveAPermutation) {
  // Every path starts at the same point (a fan of silhouette edges): the
  // grid cannot spread them; a home far outside must not overflow the grid.
  SbPlotterPaths fan;
  for (int i = 0; i < 30000; ++i) {
    const float a = 0.0002f * i;
    addLine(fan, {SbVec2f(0, 0), SbVec2f(std::cos(a), std::sin(a))});
  }
  fan.addDot(SbVec2f(0, 0), 0.1f);
  // Spokes pair up at the hub (a path has only two ends); the dot stays.
  EXPECT_EQ(fan.merge(1e-5f), 15000);
  EXPECT_EQ(fan.pathCount(), 15001);
  for (const SbVec2f home : {SbVec2f(0, 0), SbVec2f(3e38f, -3e38f)}) {
    const std::vector<Step> order = SbPlotterPaths::planOrder(fan.paths(), home, 0.2);
    EXPECT_TRUE(isPermutation(order, fan.paths().size()));
  }
}

TEST(PlotterOrder, EmptyAndSinglePathSets) {
  SbPlotterPaths none;
  EXPECT_TRUE(SbPlotterPaths::planOrder(none.paths(), SbVec2f(0, 0), 1.0).empty());
  EXPECT_EQ(none.optimise(0.1f, SbVec2f(0, 0), 1.0).travelAfter, 0.0);
  SbPlotterPaths one;
  addLine(one, {SbVec2f(5, 5), SbVec2f(0, 0)});
  const std::vector<Step> order = SbPlotterPaths::planOrder(one.paths(), SbVec2f(0, 0), 1.0);
  ASSERT_EQ(order.size(), 1u);
  EXPECT_TRUE(order[0].reversed);  // entered at the end nearer home
}

TEST(PlotterOrder, ApplyOrderRejectsWhatIsNoPermutation) {
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(1, 0)});
  addLine(paths, {SbVec2f(0, 1), SbVec2f(1, 1)});
  EXPECT_FALSE(paths.applyOrder({{0, false}, {0, true}}));
  EXPECT_FALSE(paths.applyOrder({{0, false}}));
  EXPECT_FALSE(paths.applyOrder({{0, false}, {2, false}}));
  ASSERT_TRUE(paths.applyOrder({{1, true}, {0, false}}));
  EXPECT_EQ(paths.paths()[0].points.front(), SbVec2f(1, 1));
  EXPECT_EQ(paths.paths()[1].points.front(), SbVec2f(0, 0));
}

TEST(PlotterMerge, JoinsTouchingPathsReversingAsNeeded) {
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(1, 0)});            // A
  addLine(paths, {SbVec2f(3, 0), SbVec2f(2, 0), SbVec2f(1.05f, 0)});  // B, ends near A's end
  addLine(paths, {SbVec2f(-1, 0), SbVec2f(0, 0)});           // C, ends on A's start
  addLine(paths, {SbVec2f(10, 10), SbVec2f(11, 10)});        // apart
  EXPECT_EQ(paths.merge(0.1f), 2);
  ASSERT_EQ(paths.pathCount(), 2);
  const std::vector<SbVec2f> expected{SbVec2f(-1, 0), SbVec2f(0, 0), SbVec2f(1, 0),
                                      SbVec2f(1.05f, 0), SbVec2f(2, 0), SbVec2f(3, 0)};
  EXPECT_EQ(paths.paths()[0].points, expected);  // the shared point (0, 0) once
  EXPECT_EQ(paths.paths()[1].points.front(), SbVec2f(10, 10));
}

TEST(PlotterMerge, KeepsGapsDotsAndLoopsApart) {
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(1, 0)});
  addLine(paths, {SbVec2f(1.2f, 0), SbVec2f(2, 0)});  // 0.2 away: beyond the tolerance
  paths.addDot(SbVec2f(2.05f, 0), 0.1f);               // a dot touching the end
  addLine(paths, {SbVec2f(5, 5), SbVec2f(6, 5), SbVec2f(5, 6), SbVec2f(5, 5)});  // closed loop
  const SbVec2f outline[] = {SbVec2f(1, 0), SbVec2f(1, -1)};  // another layer's line at the end
  paths.addPolyline(outline, 2, SbPlotterPaths::SILHOUETTES);
  EXPECT_EQ(paths.merge(0.1f), 0);
  EXPECT_EQ(paths.pathCount(), 5);
  EXPECT_EQ(paths.dotCount(), 1);
  EXPECT_EQ(paths.paths()[3].points.size(), 4u);
}

TEST(PlotterOrder, LayersAreDrawnWholeOneAfterTheOther) {
  std::mt19937 rng(31);
  SbPlotterPaths paths = randomStrokes(rng, 300);
  std::vector<Path> mixed = paths.paths();
  SbPlotterPaths interleaved;
  int count[SbPlotterPaths::kLayers] = {0, 0, 0};
  for (size_t i = 0; i < mixed.size(); ++i) {
    const int layer = static_cast<int>(i % 3);
    ++count[layer];
    if (layer == SbPlotterPaths::DOTS) interleaved.addDot(mixed[i].points[0], 0.5f);
    else interleaved.addPolyline(mixed[i].points.data(), static_cast<int>(mixed[i].points.size()),
                                 static_cast<SbPlotterPaths::Layer>(layer));
  }
  interleaved.optimise(0.0f, SbVec2f(0, 500), 1.0);
  int seen[SbPlotterPaths::kLayers] = {0, 0, 0};
  int last = 0;
  for (const Path& p : interleaved.paths()) {
    EXPECT_GE(p.layer, last);
    last = p.layer;
    ++seen[p.layer];
  }
  for (int k = 0; k < SbPlotterPaths::kLayers; ++k) EXPECT_EQ(seen[k], count[k]) << k;
}

TEST(PlotterInput, PolylinesSplitAtNonFinitePointsAndDropRepeats) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(0, 0), SbVec2f(1, 0), SbVec2f(nan, 0), SbVec2f(2, 0), SbVec2f(3, 0),
                  SbVec2f(4, std::numeric_limits<float>::infinity()), SbVec2f(7, 7)});
  ASSERT_EQ(paths.pathCount(), 2);  // (7, 7) alone is no path
  EXPECT_EQ(paths.paths()[0].points, (std::vector<SbVec2f>{SbVec2f(0, 0), SbVec2f(1, 0)}));
  EXPECT_EQ(paths.paths()[1].points, (std::vector<SbVec2f>{SbVec2f(2, 0), SbVec2f(3, 0)}));
  paths.addDot(SbVec2f(nan, 1), 1.0f);
  EXPECT_EQ(paths.pathCount(), 2);
  paths.addDot(SbVec2f(1, 1), 0.5f);
  EXPECT_EQ(paths.paths().back().points, (std::vector<SbVec2f>{SbVec2f(0.75f, 1), SbVec2f(1.25f, 1)}));
  paths.removeDots();
  EXPECT_EQ(paths.pathCount(), 2);
}

TEST(PlotterInput, SolidPartsEndWhereToneOrWidthCrossTheLimit) {
  SbPlotterPaths paths;
  const std::vector<SbVec2f> pts{SbVec2f(0, 0), SbVec2f(10, 0), SbVec2f(20, 0), SbVec2f(30, 0), SbVec2f(40, 0)};
  // Solid, solid, light (tone crosses 0.8 at x = 12), light, solid again
  // with a radius falling to zero halfway to the last point (x = 35).
  const std::vector<float> tone{1.0f, 1.0f, 0.0f, 1.0f, 1.0f};
  const std::vector<float> radius{1.0f, 1.0f, 1.0f, 2.0f, -2.0f};
  paths.addSolidParts(pts.data(), tone.data(), radius.data(), 5, 0.8f);
  ASSERT_EQ(paths.pathCount(), 2);
  const std::vector<SbVec2f>& a = paths.paths()[0].points;
  ASSERT_EQ(a.size(), 3u);
  EXPECT_NEAR(a[2][0], 12.0f, 1e-4f);
  const std::vector<SbVec2f>& b = paths.paths()[1].points;
  ASSERT_EQ(b.size(), 3u);
  EXPECT_NEAR(b[0][0], 28.0f, 1e-4f);  // tone 0 -> 1 crosses 0.8 at 0.8 of the segment
  EXPECT_NEAR(b[1][0], 30.0f, 1e-4f);
  EXPECT_NEAR(b[2][0], 35.0f, 1e-4f);

  SbPlotterPaths plain;
  plain.addSolidParts(pts.data(), nullptr, nullptr, 5, 0.8f);
  ASSERT_EQ(plain.pathCount(), 1);
  EXPECT_EQ(plain.paths()[0].points.size(), 5u);
}

TEST(PlotterText, OnePathPerLineAfterTheCommentsLayerByLayer) {
  SbPlotterPaths paths;
  const SbVec2f outline[] = {SbVec2f(0, 0), SbVec2f(1.5f, 2)};
  paths.addPolyline(outline, 2, SbPlotterPaths::SILHOUETTES);
  addLine(paths, {SbVec2f(-3, 0.25f), SbVec2f(4, 5), SbVec2f(6, 7)});
  EXPECT_EQ(paths.text("two paths\nin points"),
            "# two paths\n# in points\n# layer silhouettes\n0 0 1.5 2\n# layer hatching\n-3 0.25 4 5 6 7\n");
  EXPECT_EQ(paths.text(""), "# layer silhouettes\n0 0 1.5 2\n# layer hatching\n-3 0.25 4 5 6 7\n");
}

TEST(PlotterShort, ShortPathsJoinATouchingEndOfTheirLayerOrAreLeftOut) {
  const float pen = 0.5f;
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(10, 0)});
  addLine(paths, {SbVec2f(10.3f, 0), SbVec2f(10.6f, 0)});       // 0.3 from the end: joined on
  addLine(paths, {SbVec2f(5, 0.2f), SbVec2f(5.3f, 0.2f)});      // touches the middle only: left out
  const SbVec2f outline[] = {SbVec2f(-0.3f, 0), SbVec2f(-0.6f, 0)};
  paths.addPolyline(outline, 2, SbPlotterPaths::SILHOUETTES);   // another layer's end: left out
  addLine(paths, {SbVec2f(20, 0), SbVec2f(20.2f, 0)});          // two short pieces join,
  addLine(paths, {SbVec2f(20.3f, 0), SbVec2f(20.45f, 0)});      //   stay short, are left out
  paths.addDot(SbVec2f(10, 1), 0.1f);                           // dots are kept
  const double before = paths.lineLength();
  const SbPlotterPaths::ShortReport report = paths.absorbShort(pen);
  EXPECT_EQ(report.joined, 2);
  EXPECT_EQ(report.dropped, 3);
  EXPECT_NEAR(report.droppedLength, 0.3 + 0.3 + 0.45, 1e-5);
  EXPECT_NEAR(report.joinLength, 0.3 + 0.1, 1e-5);
  ASSERT_EQ(paths.pathCount(), 2);
  EXPECT_EQ(paths.paths()[0].points,
            (std::vector<SbVec2f>{SbVec2f(0, 0), SbVec2f(10, 0), SbVec2f(10.3f, 0), SbVec2f(10.6f, 0)}));
  EXPECT_TRUE(paths.paths()[1].isDot());
  EXPECT_NEAR(paths.lineLength(), before - report.droppedLength + report.joinLength, 1e-5);

  // Random sets with many short pieces: none is left, and the ink length
  // changes by exactly what was left out and what joined the rest on.
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> pos(0.0f, 100.0f), step(-0.4f, 0.4f), longStep(-8.0f, 8.0f);
  for (int trial = 0; trial < 20; ++trial) {
    SbPlotterPaths set;
    for (int i = 0; i < 50 + 30 * trial; ++i) {
      std::vector<SbVec2f> pts{SbVec2f(pos(rng), pos(rng))};
      const bool tiny = (i % 3) != 0;
      for (int k = 0; k < 1 + i % 3; ++k)
        pts.push_back(pts.back() + (tiny ? SbVec2f(step(rng), step(rng)) : SbVec2f(longStep(rng), longStep(rng))));
      set.addPolyline(pts.data(), static_cast<int>(pts.size()),
                      i % 5 == 0 ? SbPlotterPaths::SILHOUETTES : SbPlotterPaths::HATCHING);
    }
    const double length = set.lineLength();
    const SbPlotterPaths::ShortReport r = set.absorbShort(pen);
    EXPECT_GT(r.joined + r.dropped, 0) << trial;
    for (const Path& p : set.paths()) EXPECT_GE(SbPlotterPaths::length(p), pen) << trial;
    EXPECT_NEAR(set.lineLength(), length - r.droppedLength + r.joinLength, 1e-4 * length) << trial;
    EXPECT_LE(r.joinLength, r.joined * static_cast<double>(pen) + 1e-6) << trial;
  }
}
