#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>

#include "LineTestNodes.h"
#include "lines/SbHiddenLineRemoval.h"
#include "lines/SbLineConcatenator.h"
#include "lines/SbLineDepthCache.h"
#include "lines/SbLineSet.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoLinePurifier.h"
#include "lines/SoLineThickener.h"

namespace {

// Point i at (x_i, y_i, 0); lines given as point-index lists.
SbLineSet makeLines(const std::vector<SbVec2f>& xy, const std::vector<std::vector<int>>& lines) {
  SbLineSet set;
  for (const SbVec2f& p : xy) set.points.emplace_back(p[0], p[1], 0.0f);
  for (const auto& l : lines) {
    set.indices.insert(set.indices.end(), l.begin(), l.end());
    set.indices.push_back(-1);
  }
  return set;
}

// Per-vertex thickness = 10 x point index, parameters = point index (per entry, -1 at separators).
void tagByPoint(SbLineSet& set) {
  set.thickness.clear();
  set.parameters.clear();
  for (int32_t i : set.indices) {
    if (i >= 0) set.thickness.push_back(10.0f * i);
    set.parameters.push_back(i >= 0 ? float(i) : -1.0f);
  }
}

// Every per-vertex array follows its point and has the convention's length.
void expectArraysFollowPoints(const SbLineSet& set) {
  ASSERT_EQ(set.thickness.size(), size_t(set.vertexEntryCount()));
  ASSERT_EQ(set.parameters.size(), set.indices.size());
  size_t entry = 0;
  for (size_t k = 0; k < set.indices.size(); ++k) {
    if (set.indices[k] < 0) {
      EXPECT_EQ(set.parameters[k], -1.0f);
      continue;
    }
    EXPECT_EQ(set.thickness[entry++], 10.0f * set.indices[k]);
    EXPECT_EQ(set.parameters[k], float(set.indices[k]));
  }
}

}  // namespace

// ---------------------------------------------------------------- line set

TEST(LineSet, ValidateDropsMismatchedArraysAndBrokenLines) {
  SbLineSet set = makeLines({{0, 0}, {1, 0}, {2, 0}}, {{0, 1}, {1, 7}, {1, 2}});
  set.thickness = {1, 2, 3, 4, 5, 6};
  set.taper = {1, 2};  // wrong length
  set.validate();
  EXPECT_EQ(set.indices, (std::vector<int32_t>{0, 1, -1, 1, 2, -1}));
  EXPECT_EQ(set.thickness, (std::vector<float>{1, 2, 5, 6})) << "values of the dropped line go with it";
  EXPECT_TRUE(set.taper.empty());
  SbLineSet open = makeLines({{0, 0}, {1, 0}}, {});
  open.indices = {0, 1};
  open.validate();
  EXPECT_EQ(open.indices, (std::vector<int32_t>{0, 1, -1}));
  SbLineSet nan = makeLines({{0, 0}, {NAN, 0}, {2, 0}}, {{0, 1}, {0, 2}});
  nan.validate();
  EXPECT_EQ(nan.indices, (std::vector<int32_t>{0, 2, -1})) << "no line through a NaN point";
}

// ---------------------------------------------------------------- concatenator

TEST(Concatenator, ChainsShuffledSegmentsAndCarriesTheirValues) {
  // A path 0-1-2-3-4 given as shuffled, reversed segments, and a 3-point line.
  SbLineSet set = makeLines({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {0, 5}, {1, 5}, {2, 5}},
                            {{3, 2}, {0, 1}, {5, 6, 7}, {4, 3}, {1, 2}});
  tagByPoint(set);
  SbLineSet out = SbLineConcatenator::run(set);
  const auto lines = linetest::polylines(out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (std::vector<int>{5, 6, 7})) << "long lines are copied first, unchanged";
  std::vector<int> chain = lines[1];
  if (chain.front() > chain.back()) std::reverse(chain.begin(), chain.end());
  EXPECT_EQ(chain, (std::vector<int>{0, 1, 2, 3, 4}));
  expectArraysFollowPoints(out);
}

TEST(Concatenator, NoChainPassesThroughABranchPoint) {
  // Three segments meet at point 0; a fourth continues from point 3.
  SbLineSet set = makeLines({{0, 0}, {1, 0}, {0, 1}, {-1, 0}, {-2, 0}}, {{1, 0}, {0, 2}, {0, 3}, {3, 4}});
  tagByPoint(set);
  SbLineSet out = SbLineConcatenator::run(set);
  auto lines = linetest::polylines(out);
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& l : lines)
    for (size_t k = 1; k + 1 < l.size(); ++k) EXPECT_NE(l[k], 0) << "the branch point is only ever an end";
  std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  std::vector<int> longest = lines[0];
  if (longest.front() != 0) std::reverse(longest.begin(), longest.end());
  EXPECT_EQ(longest, (std::vector<int>{0, 3, 4}));
  expectArraysFollowPoints(out);
}

TEST(Concatenator, ALoopIsClosedAndTheNodeReordersEveryArray) {
  linetest::initNodes();
  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* source = new LineSetSource;
  source->publishLines = true;
  source->lines = makeLines({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{2, 3}, {0, 1}, {3, 0}, {1, 2}});
  tagByPoint(source->lines);
  source->lines.taper = {0, 1, 2, 3, 4, 5, 6, 7};
  auto* probe = new LineSetProbe;
  root->addChild(source);
  root->addChild(new SoLineConcatenator);
  root->addChild(probe);
  SoCallbackAction action(SbViewportRegion(100, 100));
  action.apply(root);
  const auto lines = linetest::polylines(probe->seen);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 5u);
  EXPECT_EQ(lines[0].front(), lines[0].back());
  expectArraysFollowPoints(probe->seen);
  EXPECT_EQ(probe->seen.taper.size(), 5u);
  root->unref();
}

// ---------------------------------------------------------------- purifier

class Purifier : public ::testing::Test {
protected:
  void SetUp() override {
    linetest::initNodes();
    root = new SoSeparator;
    root->ref();
    // 200 x 200 pixels over 200 x 200 units: one unit is one pixel.
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 5);
    camera->height = 200.0f;
    root->addChild(camera);
    source = new LineSetSource;
    source->publishLines = true;
    root->addChild(source);
    purifier = new SoLinePurifier;
    root->addChild(purifier);
    probe = new LineSetProbe;
    root->addChild(probe);
  }
  void TearDown() override { root->unref(); }
  std::vector<std::vector<SbVec2f>> purify(int method, float threshold, const std::vector<std::vector<SbVec2f>>& lines) {
    std::vector<SbVec2f> xy;
    std::vector<std::vector<int>> idx;
    for (const auto& l : lines) {
      idx.emplace_back();
      for (const SbVec2f& p : l) {
        idx.back().push_back(static_cast<int>(xy.size()));
        xy.push_back(p);
      }
    }
    source->lines = makeLines(xy, idx);
    tagByPoint(source->lines);
    purifier->purifyMethod = method;
    purifier->threshold = threshold;
    SoCallbackAction action(SbViewportRegion(200, 200));
    action.apply(root);
    std::vector<std::vector<SbVec2f>> out;
    for (const auto& l : linetest::polylines(probe->seen)) {
      out.emplace_back();
      for (int p : l) out.back().emplace_back(probe->seen.points[p][0], probe->seen.points[p][1]);
    }
    // Thickness and parameters came along with the kept vertices.
    EXPECT_EQ(probe->seen.thickness.size(), size_t(probe->seen.vertexEntryCount()));
    EXPECT_EQ(probe->seen.parameters.size(), probe->seen.indices.size());
    return out;
  }

  SoSeparator* root = nullptr;
  LineSetSource* source = nullptr;
  SoLinePurifier* purifier = nullptr;
  LineSetProbe* probe = nullptr;
};

TEST_F(Purifier, NegativeThresholdBecomesTheMethodDefault) {
  const std::pair<int, float> defaults[] = {{SoLinePurifier::ELIMINATE_SUBPIXEL_LENGTHS, 2.0f},
                                            {SoLinePurifier::ELIMINATE_ZIG_ZAGS, 90.0f},
                                            {SoLinePurifier::ELIMINATE_SHARP_ANGLES, 45.0f},
                                            {SoLinePurifier::ELIMINATE_SHORT_SEGMENTS, 5.0f}};
  for (const auto& d : defaults) {
    purify(d.first, -1.0f, {{{0, 0}, {50, 0}}});
    EXPECT_EQ(purifier->threshold.getValue(), d.second) << "method " << d.first;
  }
  // An inactive purifier leaves the field and the lines alone.
  purifier->active = FALSE;
  auto out = purify(SoLinePurifier::ELIMINATE_SHORT_SEGMENTS, -1.0f, {{{0, 0}, {1, 0}, {50, 0}}});
  EXPECT_EQ(purifier->threshold.getValue(), -1.0f);
  EXPECT_EQ(out[0].size(), 3u);
}

TEST_F(Purifier, ShortSegmentsKeepTheLastVertexAndTurnBacks) {
  auto out = purify(SoLinePurifier::ELIMINATE_SHORT_SEGMENTS, 5.0f,
                    {{{0, 0}, {1, 0}, {2, 0}, {10, 0}, {11, 0}}, {{0, 20}, {10, 20}, {12, 20}, {8, 20}}});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], (std::vector<SbVec2f>{{0, 0}, {10, 0}, {11, 0}}));
  EXPECT_EQ(out[1].size(), 4u) << "the line turns back at (12, 20)";
}

TEST_F(Purifier, SubpixelLengthsRemoveTinyLines) {
  auto out = purify(SoLinePurifier::ELIMINATE_SUBPIXEL_LENGTHS, 2.0f,
                    {{{0, 0}, {0.5f, 0}, {1, 0}}, {{0, 10}, {1, 10}, {30, 10}, {31, 10}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (std::vector<SbVec2f>{{0, 10}, {31, 10}})) << "the last vertex replaces a kept one too close";
}

TEST_F(Purifier, ZigZagsLoseBothCorners) {
  auto out = purify(SoLinePurifier::ELIMINATE_ZIG_ZAGS, 90.0f, {{{0, 0}, {10, 0}, {2, 1}, {12, 2}, {20, 2}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (std::vector<SbVec2f>{{0, 0}, {12, 2}, {20, 2}}));
  // A gentle bend is no zig-zag.
  out = purify(SoLinePurifier::ELIMINATE_ZIG_ZAGS, 90.0f, {{{0, 0}, {10, 0}, {20, 5}, {30, 5}}});
  EXPECT_EQ(out[0].size(), 4u);
}

TEST_F(Purifier, SharpAnglesLoseTheirSpike) {
  auto out = purify(SoLinePurifier::ELIMINATE_SHARP_ANGLES, 45.0f, {{{0, 0}, {10, 0}, {0, 1}, {-10, 1}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (std::vector<SbVec2f>{{0, 0}, {0, 1}, {-10, 1}}));
}

// ---------------------------------------------------------------- thickener

class Thickener : public ::testing::Test {
protected:
  void SetUp() override {
    linetest::initNodes();
    root = new SoSeparator;
    root->ref();
    camera = new SoPerspectiveCamera;
    camera->position.setValue(0, 0, 10);
    camera->nearDistance = 1.0f;
    camera->farDistance = 11.0f;
    root->addChild(camera);
    source = new LineSetSource;
    source->publishLines = true;
    // Eye depths 10, 0 (the eye itself), 1 (near plane), 6 (half way).
    source->lines.points = {SbVec3f(0, 0, 0), SbVec3f(0, 0, 10), SbVec3f(0, 0, 9), SbVec3f(0, 0, 4)};
    source->lines.indices = {0, 1, -1, 2, 3, -1};
    root->addChild(source);
    thickener = new SoLineThickener;
    thickener->amplitude = 2.0f;
    root->addChild(thickener);
    probe = new LineSetProbe;
    root->addChild(probe);
  }
  void TearDown() override { root->unref(); }
  std::vector<float> run() {
    SoCallbackAction action(SbViewportRegion(100, 100));
    action.apply(root);
    return probe->seen.thickness;
  }
  SoSeparator* root = nullptr;
  SoPerspectiveCamera* camera = nullptr;
  LineSetSource* source = nullptr;
  SoLineThickener* thickener = nullptr;
  LineSetProbe* probe = nullptr;
};

TEST_F(Thickener, ConstantGivesOneValuePerVertexEntryAndAddsToExisting) {
  EXPECT_EQ(run(), (std::vector<float>{2, 2, 2, 2}));
  source->lines.thickness = {1, 2, 3, 4};
  EXPECT_EQ(run(), (std::vector<float>{3, 4, 5, 6}));
  source->lines.thickness = {1, 2};  // wrong length: not read
  EXPECT_EQ(run(), (std::vector<float>{2, 2, 2, 2}));
}

TEST_F(Thickener, DepthIsZeroAtTheEyeAndInverseElsewhere) {
  thickener->thickenMethod = SoLineThickener::DEPTH;
  thickener->modifyMethod = SoLineModifier::OBJECT_BASED;
  std::vector<float> t = run();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_NEAR(t[0], 2.0f / 10.0f, 1e-5f);
  EXPECT_EQ(t[1], 0.0f) << "a point at the eye";
  EXPECT_NEAR(t[2], 2.0f / 1.0f, 1e-5f);
  EXPECT_NEAR(t[3], 2.0f / 6.0f, 1e-5f);
  thickener->modifyMethod = SoLineModifier::PIXEL_BASED;  // (depth - near) / (far - near)
  t = run();
  EXPECT_NEAR(t[0], 2.0f / 0.9f, 1e-4f);
  EXPECT_EQ(t[1], 0.0f);
  EXPECT_EQ(t[2], 0.0f) << "on the near plane";
  EXPECT_NEAR(t[3], 2.0f / 0.5f, 1e-4f);
  thickener->modifyMethod = SoLineModifier::SCREEN_BASED;
  EXPECT_EQ(run(), (std::vector<float>{2, 2, 2, 2}));
}

// ---------------------------------------------------------------- hidden lines without GL

namespace {
// Identity matrices: object x, y in [-1, 1] fill the viewport, window depth (z + 1) / 2.
SbWindowProjector identityProjector(int x, int y, int w, int h) {
  return SbWindowProjector(SbMatrix::identity(), SbMatrix::identity(), SbMatrix::identity(), x, y, w, h);
}
}  // namespace

TEST(DepthCache, ReadsTilesLazilyAndNeverOutsideTheViewport) {
  for (const auto& vp : std::vector<std::array<int, 4>>{{0, 0, 1, 1}, {5, 3, 33, 47}, {0, 0, 64, 64}, {31, 31, 2, 2}}) {
    SbLineDepthCache cache;
    int reads = 0;
    cache.reset(vp[0], vp[1], vp[2], vp[3], [&](int x, int y, int w, int h, float* out) {
      ++reads;
      EXPECT_GE(x, vp[0]);
      EXPECT_GE(y, vp[1]);
      EXPECT_LE(x + w, vp[0] + vp[2]);
      EXPECT_LE(y + h, vp[1] + vp[3]);
      std::fill(out, out + w * h, 0.25f);
    });
    EXPECT_EQ(reads, 0);
    for (int y = vp[1] - 2; y < vp[1] + vp[3] + 2; ++y)
      for (int x = vp[0] - 2; x < vp[0] + vp[2] + 2; ++x) {
        const bool in = cache.inside(x, y);
        EXPECT_EQ(cache.neighbourhoodMax(x, y), in ? 0.25f : -1.0f);
      }
    EXPECT_GE(reads, 1);
    EXPECT_EQ(reads, cache.tilesRead());
  }
}

TEST(HiddenLineRemoval, ALineBehindAWallKeepsOnlyItsFreePartWithItsValues) {
  // Left half of a 100 x 100 window is covered at depth 0.4; the line lies at 0.5.
  SbLineDepthCache cache;
  cache.reset(0, 0, 100, 100, [](int x, int y, int w, int h, float* out) {
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) out[r * w + c] = x + c < 50 ? 0.4f : 1.0f;
    (void)y;
  });
  SbLineSet in;
  in.points = {SbVec3f(-0.9f, 0, 0), SbVec3f(0.9f, 0, 0), SbVec3f(0.2f, 0.5f, 0), SbVec3f(0.4f, 0.5f, 0),
               SbVec3f(0.6f, 0.5f, 0)};
  in.indices = {0, 1, -1, 2, 3, 4, -1};
  in.taper = {0, 1, 7, 7, 7};
  SbLineSet out = SbHiddenLineRemoval::run(in, identityProjector(0, 0, 100, 100), cache, 2.0f);
  const auto lines = linetest::polylines(out);
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(lines[0].size(), 2u);
  const SbVec3f a = out.points[lines[0][0]], b = out.points[lines[0][1]];
  EXPECT_NEAR(a[0], 0.0f, 0.05f) << "the visible part starts at the wall's edge (3 x 3 neighbourhood)";
  EXPECT_EQ(b[0], 0.9f);
  EXPECT_EQ(lines[1].size(), 3u) << "a line wholly in the open stays whole, vertices and all";
  ASSERT_EQ(out.parameters.size(), out.indices.size());
  EXPECT_NEAR(out.parameters[0], (a[0] + 0.9f) / 1.8f, 1e-4f) << "parameters by length when the input has none";
  EXPECT_EQ(out.parameters[1], 1.0f);
  EXPECT_EQ(out.parameters[2], -1.0f);
  ASSERT_EQ(out.taper.size(), 5u);
  EXPECT_NEAR(out.taper[0], (a[0] + 0.9f) / 1.8f, 1e-4f) << "taper interpolated along the segment";
  EXPECT_EQ(out.taper[2], 7.0f);
}

TEST(HiddenLineRemoval, LinesOffScreenOrBehindTheEyeVanish) {
  SbLineDepthCache cache;
  cache.reset(0, 0, 1, 1, [](int, int, int w, int h, float* out) { std::fill(out, out + w * h, 1.0f); });
  SbLineSet in;
  in.points = {SbVec3f(-5, 0, 0), SbVec3f(-3, 0, 0), SbVec3f(0, 0, 0), SbVec3f(0, 0, 0.5f)};
  in.indices = {0, 1, -1, 2, 3, -1};
  SbLineSet out = SbHiddenLineRemoval::run(in, identityProjector(0, 0, 1, 1), cache, 6.0f);
  const auto lines = linetest::polylines(out);
  ASSERT_EQ(lines.size(), 1u) << "in a 1 x 1 window only the line through the pixel remains";
  for (const SbVec3f& p : out.points) EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2]));
}

TEST(HiddenLineRemover, CallbackTraversalLeavesTheLineSetAsItIs) {
  linetest::initNodes();
  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* source = new LineSetSource;
  source->publishLines = true;
  source->lines = makeLines({{0, 0}, {1, 0}}, {{0, 1}});
  auto* probe = new LineSetProbe;
  root->addChild(source);
  root->addChild(new SoLineHiddenLineRemover);
  root->addChild(probe);
  SoCallbackAction action(SbViewportRegion(100, 100));
  action.apply(root);
  EXPECT_EQ(probe->indexPointer, source->lines.indices.data());
  root->unref();
}
