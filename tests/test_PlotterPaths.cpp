// Pen paths for plotters: merging touching paths, drawing order and pen-up travel, solid parts, the text format.

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
using Points = std::vector<SbVec2f>;
const auto kHatching = SbPlotterPaths::HATCHING, kSilhouettes = SbPlotterPaths::SILHOUETTES;

void addLine(SbPlotterPaths& paths, Points pts, SbPlotterPaths::Layer layer = kHatching) {
  paths.addPolyline(pts.data(), static_cast<int>(pts.size()), layer);
}

bool isPermutation(const std::vector<Step>& order, size_t n) {
  std::vector<char> seen(n, 0);
  for (const Step& s : order)
    if (s.path < 0 || static_cast<size_t>(s.path) >= n || seen[s.path]++) return false;
  return order.size() == n;
}

// n short strokes at random places and directions, in random order, every third a silhouette and every fifth a dot.
SbPlotterPaths randomStrokes(std::mt19937& rng, int n) {
  std::uniform_real_distribution<float> pos(0.0f, 500.0f), step(-8.0f, 8.0f);
  std::uniform_int_distribution<int> len(2, 5);
  SbPlotterPaths paths;
  for (int i = 0; i < n; ++i) {
    Points pts{SbVec2f(pos(rng), pos(rng))};
    for (int k = len(rng); k > 1; --k) pts.push_back(pts.back() + SbVec2f(step(rng), step(rng)));
    if (i % 5 == 4)
      paths.addDot(pts[0], 0.5f);
    else
      addLine(paths, pts, i % 3 ? kHatching : kSilhouettes);
  }
  return paths;
}

}  // namespace

// On random sets the 2-opt order is a permutation never longer than the nearest-neighbour one; optimising never adds
// pen-up travel, keeps every point (when nothing merges) and draws the layers whole, one after the other.
TEST(PlotterOrder, TwoOptNeverLosesAndOptimisingNeverAddsTravel) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 32; ++trial) {
    SCOPED_TRACE(trial);
    SbPlotterPaths paths = randomStrokes(rng, 1 + trial * 25);
    const std::vector<Step> greedy = SbPlotterPaths::planOrder(paths.paths(), SbVec2f(0, 0), 0.0);
    bool converged = false;
    const std::vector<Step> improved = SbPlotterPaths::planOrder(paths.paths(), SbVec2f(0, 0), 10.0, &converged);
    ASSERT_TRUE(isPermutation(greedy, paths.paths().size()));
    ASSERT_TRUE(isPermutation(improved, paths.paths().size()));
    EXPECT_TRUE(converged);
    EXPECT_LE(SbPlotterPaths::penUpTravel(paths.paths(), improved),
              SbPlotterPaths::penUpTravel(paths.paths(), greedy) + 1e-9);
    auto byLayer = [&paths] {  // the coordinates of every layer, sorted
      std::vector<std::vector<float>> layers(SbPlotterPaths::kLayers);
      for (const Path& p : paths.paths())
        for (const SbVec2f& v : p.points) layers[p.layer].insert(layers[p.layer].end(), {v[0], v[1]});
      for (auto& layer : layers) std::sort(layer.begin(), layer.end());
      return layers;
    };
    const auto before = byLayer();
    const double travel = paths.penUpTravel();
    const SbPlotterPaths::Report report = paths.optimise(trial % 2 ? 0.1f : 0.0f, SbVec2f(0, 500), 1.0);
    EXPECT_LE(report.travelAfter, travel + 1e-9);
    EXPECT_DOUBLE_EQ(report.travelBefore, travel);
    EXPECT_NEAR(report.travelAfter, paths.penUpTravel(), 1e-6);
    EXPECT_TRUE(std::is_sorted(paths.paths().begin(), paths.paths().end(),
                               [](const Path& a, const Path& b) { return a.layer < b.layer; }));
    EXPECT_TRUE(report.merges > 0 || byLayer() == before);
  }
}

// No set, one path, tiny or bad time bounds, every path starting at one point (the grid cannot spread them) and a home
// far outside (must not overflow the grid) all still give a permutation; applyOrder takes nothing else.
TEST(PlotterOrder, DegenerateSetsAndBoundsStillGiveAPermutation) {
  SbPlotterPaths none, one;
  EXPECT_TRUE(SbPlotterPaths::planOrder(none.paths(), SbVec2f(0, 0), 1.0).empty());
  EXPECT_EQ(none.optimise(0.1f, SbVec2f(0, 0), 1.0).travelAfter, 0.0);
  addLine(one, {SbVec2f(5, 5), SbVec2f(0, 0)});
  const std::vector<Step> order = SbPlotterPaths::planOrder(one.paths(), SbVec2f(0, 0), 1.0);
  ASSERT_EQ(order.size(), 1u);
  EXPECT_TRUE(order[0].reversed);  // entered at the end nearer home
  addLine(one, {SbVec2f(0, 1), SbVec2f(1, 1)});
  EXPECT_FALSE(one.applyOrder({{0, false}, {0, true}}));
  EXPECT_FALSE(one.applyOrder({{0, false}}));
  EXPECT_FALSE(one.applyOrder({{0, false}, {2, false}}));
  ASSERT_TRUE(one.applyOrder({{1, true}, {0, false}}));
  EXPECT_EQ(one.paths()[0].points, (Points{SbVec2f(1, 1), SbVec2f(0, 1)}));

  std::mt19937 rng(99);
  const SbPlotterPaths many = randomStrokes(rng, 20000);
  for (double seconds : {0.0, 1e-9, 1e-4, -1.0, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_TRUE(isPermutation(SbPlotterPaths::planOrder(many.paths(), SbVec2f(0, 0), seconds), 20000)) << seconds;
  SbPlotterPaths fan;
  for (int i = 0; i < 30000; ++i) addLine(fan, {SbVec2f(0, 0), SbVec2f(std::cos(0.0002f * i), std::sin(0.0002f * i))});
  fan.addDot(SbVec2f(0, 0), 0.1f);
  EXPECT_EQ(fan.merge(1e-5f), 15000);  // spokes pair up at the hub (a path has two ends); the dot stays
  EXPECT_EQ(fan.pathCount(), 15001);
  for (const SbVec2f home : {SbVec2f(0, 0), SbVec2f(3e38f, -3e38f)})
    EXPECT_TRUE(isPermutation(SbPlotterPaths::planOrder(fan.paths(), home, 0.2), fan.paths().size()));
}

// Touching ends of one layer join, reversed as needed, the shared point once; gaps, dots, loops, other layers don't.
TEST(PlotterMerge, JoinsTouchingPathsAndKeepsTheRestApart) {
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(1, 0)});                                // A
  addLine(paths, {SbVec2f(3, 0), SbVec2f(2, 0), SbVec2f(1.05f, 0)});             // B, ends near A's end
  addLine(paths, {SbVec2f(-1, 0), SbVec2f(0, 0)});                               // C, ends on A's start
  addLine(paths, {SbVec2f(10, 10), SbVec2f(11, 10)});                            // apart
  addLine(paths, {SbVec2f(3.2f, 0), SbVec2f(4, 0)});                             // 0.2 away: beyond the tolerance
  paths.addDot(SbVec2f(4.05f, 0), 0.1f);                                         // a dot touching the end
  addLine(paths, {SbVec2f(5, 5), SbVec2f(6, 5), SbVec2f(5, 6), SbVec2f(5, 5)});  // closed loop
  addLine(paths, {SbVec2f(-1, 0), SbVec2f(-1, -1)}, kSilhouettes);               // another layer's line
  EXPECT_EQ(paths.merge(0.1f), 2);
  ASSERT_EQ(paths.pathCount(), 6);
  EXPECT_EQ(paths.dotCount(), 1);
  EXPECT_EQ(paths.paths()[0].points,
            (Points{SbVec2f(-1, 0), SbVec2f(0, 0), SbVec2f(1, 0), SbVec2f(1.05f, 0), SbVec2f(2, 0), SbVec2f(3, 0)}));
  EXPECT_EQ(paths.paths()[1].points.front(), SbVec2f(10, 10));
  EXPECT_EQ(paths.paths()[4].points.size(), 4u);
}

// Polylines split at non-finite points and drop repeated ones; a dot is a short mark; the text file has one path per
// line after the comments, layer by layer.
TEST(PlotterInput, PolylinesSplitAtNonFinitePointsAndTheTextListsThem) {
  const float nan = NAN;
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(1.5f, 2)}, kSilhouettes);
  addLine(paths, {SbVec2f(0, 0), SbVec2f(0, 0), SbVec2f(1, 0), SbVec2f(nan, 0), SbVec2f(2, 0.25f), SbVec2f(3, 0),
                  SbVec2f(4, INFINITY), SbVec2f(7, 7)});
  ASSERT_EQ(paths.pathCount(), 3);  // (7, 7) alone is no path
  paths.addDot(SbVec2f(nan, 1), 1.0f);
  EXPECT_EQ(paths.pathCount(), 3);
  paths.addDot(SbVec2f(1, 1), 0.5f);
  EXPECT_EQ(paths.text("two paths\nin points"),
            "# two paths\n# in points\n# layer silhouettes\n0 0 1.5 2\n"
            "# layer hatching\n0 0 1 0\n2 0.25 3 0\n# layer dots\n0.75 1 1.25 1\n");
  paths.removeDots();
  EXPECT_EQ(paths.text(""), "# layer silhouettes\n0 0 1.5 2\n# layer hatching\n0 0 1 0\n2 0.25 3 0\n");
}

TEST(PlotterInput, SolidPartsEndWhereToneOrWidthCrossTheLimit) {
  const Points pts{SbVec2f(0, 0), SbVec2f(10, 0), SbVec2f(20, 0), SbVec2f(30, 0), SbVec2f(40, 0)};
  // Solid, solid, light (tone crosses 0.8 at x = 12), light, solid again from x = 28 with a radius falling to zero
  // halfway to the last point (x = 35).
  const std::vector<float> tone{1.0f, 1.0f, 0.0f, 1.0f, 1.0f}, radius{1.0f, 1.0f, 1.0f, 2.0f, -2.0f};
  SbPlotterPaths paths, plain;
  paths.addSolidParts(pts.data(), tone.data(), radius.data(), 5, 0.8f);
  ASSERT_EQ(paths.pathCount(), 2);
  std::vector<float> xs;
  for (const Path& p : paths.paths())
    for (const SbVec2f& v : p.points) xs.push_back(v[0]);
  const std::vector<float> expected{0, 10, 12, 28, 30, 35};
  ASSERT_EQ(xs.size(), expected.size());
  for (size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(xs[i], expected[i], 1e-4f) << i;
  plain.addSolidParts(pts.data(), nullptr, nullptr, 5, 0.8f);
  ASSERT_EQ(plain.pathCount(), 1);
  EXPECT_EQ(plain.paths()[0].points.size(), 5u);
}

TEST(PlotterShort, ShortPathsJoinATouchingEndOfTheirLayerOrAreLeftOut) {
  const float pen = 0.5f;
  SbPlotterPaths paths;
  addLine(paths, {SbVec2f(0, 0), SbVec2f(10, 0)});
  addLine(paths, {SbVec2f(10.3f, 0), SbVec2f(10.6f, 0)});                // 0.3 from the end: joined on
  addLine(paths, {SbVec2f(5, 0.2f), SbVec2f(5.3f, 0.2f)});               // touches the middle only: left out
  addLine(paths, {SbVec2f(-0.3f, 0), SbVec2f(-0.6f, 0)}, kSilhouettes);  // another layer: left out
  addLine(paths, {SbVec2f(20, 0), SbVec2f(20.2f, 0)});                   // two short pieces join,
  addLine(paths, {SbVec2f(20.3f, 0), SbVec2f(20.45f, 0)});               //   stay short, are left out
  paths.addDot(SbVec2f(10, 1), 0.1f);                                    // dots are kept
  const double before = paths.lineLength();
  const SbPlotterPaths::ShortReport report = paths.absorbShort(pen);
  EXPECT_EQ(std::make_pair(report.joined, report.dropped), std::make_pair(2, 3));
  EXPECT_NEAR(report.droppedLength, 0.3 + 0.3 + 0.45, 1e-5);
  EXPECT_NEAR(report.joinLength, 0.3 + 0.1, 1e-5);
  ASSERT_EQ(paths.pathCount(), 2);
  EXPECT_EQ(paths.paths()[0].points, (Points{SbVec2f(0, 0), SbVec2f(10, 0), SbVec2f(10.3f, 0), SbVec2f(10.6f, 0)}));
  EXPECT_TRUE(paths.paths()[1].isDot());
  EXPECT_NEAR(paths.lineLength(), before - report.droppedLength + report.joinLength, 1e-5);
}
