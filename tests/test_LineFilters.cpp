#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <tuple>

#include "AllocationGuard.h"
#include "LineTestNodes.h"
#include "TestFiles.h"
#include "TestMeshes.h"
#include "lines/SbHiddenLineRemoval.h"
#include "lines/SbLineConcatenator.h"
#include "lines/SbLineDepthCache.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoLinePurifier.h"
#include "lines/SoLineThickener.h"
#include "output/SoLineOutputPdfHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace {

// The values that follow the points: thickness 10 x the point index, parameters the point index (-1 at separators).
std::pair<std::vector<float>, std::vector<float>> valuesOf(const std::vector<int32_t>& indices) {
  std::pair<std::vector<float>, std::vector<float>> values;
  for (int32_t i : indices) {
    if (i >= 0) values.first.push_back(10.0f * i);
    values.second.push_back(i >= 0 ? float(i) : -1.0f);
  }
  return values;
}

// Point i at (x_i, y_i, 0); lines given as point-index lists; the values of valuesOf.
SbLineSet makeLines(const std::vector<SbVec2f>& xy, const std::vector<std::vector<int>>& lines) {
  SbLineSet set;
  for (const SbVec2f& p : xy) set.points.emplace_back(p[0], p[1], 0.0f);
  for (const auto& l : lines) {
    set.indices.insert(set.indices.end(), l.begin(), l.end());
    set.indices.push_back(-1);
  }
  std::tie(set.thickness, set.parameters) = valuesOf(set.indices);
  return set;
}

// Every per-vertex array still follows its point.
void expectArraysFollowPoints(const SbLineSet& set) {
  EXPECT_EQ(std::make_pair(set.thickness, set.parameters), valuesOf(set.indices));
}

// source -> stage -> probe under an orthographic camera where one unit is one pixel of the 200 x 200 viewport.
struct Pipeline {
  bool ready = (linetest::initNodes(), true);
  SoSeparator* root = new SoSeparator;
  LineSetSource* source = new LineSetSource;
  LineSetProbe* probe = new LineSetProbe;
  explicit Pipeline(SoNode* stage, SoCamera* camera = nullptr) {
    root->ref();
    if (!camera) {
      camera = new SoOrthographicCamera;
      camera->position.setValue(0, 0, 5);
      static_cast<SoOrthographicCamera*>(camera)->height = 200.0f;
    }
    source->publishLines = true;
    for (SoNode* node : {(SoNode*)camera, (SoNode*)source, stage, (SoNode*)probe}) root->addChild(node);
  }
  ~Pipeline() { root->unref(); }
  const SbLineSet& run(const SbLineSet* lines = nullptr) {
    if (lines) source->lines = *lines;
    SoCallbackAction action(SbViewportRegion(200, 200));
    action.apply(root);
    return probe->seen;
  }
};

}  // namespace

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

// Lines chain through points where exactly two meet, never through a branch point; a loop closes; arrays follow.
TEST(Concatenator, ChainsMeetOnlyAtEndsAndCarryTheirValues) {
  // name, points, lines -> lines after, sorted, each from its smaller end (none: one closed loop)
  const std::tuple<const char*, std::vector<SbVec2f>, std::vector<std::vector<int>>, std::vector<std::vector<int>>>
      cases[] = {{"shuffled, reversed segments and a 3-point line",
                  {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {0, 5}, {1, 5}, {2, 5}},
                  {{3, 2}, {0, 1}, {5, 6, 7}, {4, 3}, {1, 2}},
                  {{0, 1, 2, 3, 4}, {5, 6, 7}}},
                 {"three meet at point 0",
                  {{0, 0}, {1, 0}, {0, 1}, {-1, 0}, {-2, 0}},
                  {{1, 0}, {0, 2}, {0, 3}, {3, 4}},
                  {{0, 1}, {0, 2}, {0, 3, 4}}},
                 {"a loop", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{2, 3}, {0, 1}, {3, 0}, {1, 2}}, {}}};
  for (const auto& [name, xy, lines, expected] : cases) {
    SCOPED_TRACE(name);
    SbLineSet in = makeLines(xy, lines);
    in.taper.assign(in.vertexEntryCount(), 0.5f);
    expectArraysFollowPoints(SbLineConcatenator::run(in));
    Pipeline pipe(new SoLineConcatenator);
    const SbLineSet& out = pipe.run(&in);
    expectArraysFollowPoints(out);
    EXPECT_EQ(out.taper.size(), size_t(out.vertexEntryCount()));
    auto chains = linetest::polylines(out);
    if (expected.empty()) {
      ASSERT_EQ(chains.size(), 1u);
      EXPECT_TRUE(chains[0].size() == 5 && chains[0].front() == chains[0].back());
      continue;
    }
    for (auto& l : chains)
      if (l.front() > l.back()) std::reverse(l.begin(), l.end());
    std::sort(chains.begin(), chains.end());
    EXPECT_EQ(chains, expected);
  }
}

TEST(Purifier, EachMethodRemovesItsFaultAndKeepsTheValues) {
  using P = SoLinePurifier;
  using Lines = std::vector<std::vector<SbVec2f>>;
  const std::tuple<int, float, Lines, Lines> cases[] = {
      // method, threshold, lines before and after
      // Short segments go, the last vertex stays, and so does a turn back.
      {P::ELIMINATE_SHORT_SEGMENTS,
       5,
       {{{0, 0}, {1, 0}, {2, 0}, {10, 0}, {11, 0}}, {{0, 20}, {10, 20}, {12, 20}, {8, 20}}},
       {{{0, 0}, {10, 0}, {11, 0}}, {{0, 20}, {10, 20}, {12, 20}, {8, 20}}}},
      // Tiny lines go; the last vertex replaces a kept one too close.
      {P::ELIMINATE_SUBPIXEL_LENGTHS,
       2,
       {{{0, 0}, {0.5f, 0}, {1, 0}}, {{0, 10}, {1, 10}, {30, 10}, {31, 10}}},
       {{{0, 10}, {31, 10}}}},
      {P::ELIMINATE_ZIG_ZAGS, 90, {{{0, 0}, {10, 0}, {2, 1}, {12, 2}, {20, 2}}}, {{{0, 0}, {12, 2}, {20, 2}}}},
      {P::ELIMINATE_ZIG_ZAGS, 90, {{{0, 0}, {10, 0}, {20, 5}, {30, 5}}}, {{{0, 0}, {10, 0}, {20, 5}, {30, 5}}}},
      {P::ELIMINATE_SHARP_ANGLES, 45, {{{0, 0}, {10, 0}, {0, 1}, {-10, 1}}}, {{{0, 0}, {0, 1}, {-10, 1}}}}};
  auto* purifier = new P;
  Pipeline pipe(purifier);
  for (const auto& [method, threshold, before, after] : cases) {
    SCOPED_TRACE(testing::Message() << "method " << method);
    std::vector<SbVec2f> xy;
    std::vector<std::vector<int>> idx;
    for (const auto& l : before) {
      idx.emplace_back(l.size());
      std::iota(idx.back().begin(), idx.back().end(), int(xy.size()));
      xy.insert(xy.end(), l.begin(), l.end());
    }
    purifier->purifyMethod = method;
    purifier->threshold = threshold;
    const SbLineSet in = makeLines(xy, idx);
    const SbLineSet& seen = pipe.run(&in);
    Lines out;
    for (const auto& l : linetest::polylines(seen)) {
      out.emplace_back();
      for (int p : l) out.back().emplace_back(seen.points[p][0], seen.points[p][1]);
    }
    EXPECT_EQ(out, after);
    EXPECT_EQ(std::make_pair(seen.thickness.size(), seen.parameters.size()),
              std::make_pair(size_t(seen.vertexEntryCount()), seen.indices.size()));
  }
  // An inactive purifier leaves the lines and a negative threshold alone; an active one sets the method's default.
  const SbLineSet line = makeLines({{0, 0}, {1, 0}, {50, 0}}, {{0, 1, 2}});
  purifier->purifyMethod = P::ELIMINATE_SHORT_SEGMENTS;
  purifier->threshold = -1.0f;
  purifier->active = FALSE;
  EXPECT_EQ(pipe.run(&line).indices.size(), 4u);
  EXPECT_EQ(purifier->threshold.getValue(), -1.0f);
  purifier->active = TRUE;
  EXPECT_EQ(pipe.run().indices.size(), 3u);
  EXPECT_EQ(purifier->threshold.getValue(), 5.0f);
}

TEST(Thickener, ConstantAddsToThicknessAndDepthIsInverseAndZeroAtTheEye) {
  auto* camera = new SoPerspectiveCamera;
  camera->position.setValue(0, 0, 10);
  camera->nearDistance = 1.0f;
  camera->farDistance = 11.0f;
  auto* thickener = new SoLineThickener;
  thickener->amplitude = 2.0f;
  Pipeline pipe(thickener, camera);
  // Eye depths 10, 0 (the eye itself), 1 (near plane), 6 (half way).
  SbLineSet& in = pipe.source->lines;
  in.points = {SbVec3f(0, 0, 0), SbVec3f(0, 0, 10), SbVec3f(0, 0, 9), SbVec3f(0, 0, 4)};
  in.indices = {0, 1, -1, 2, 3, -1};
  EXPECT_EQ(pipe.run().thickness, (std::vector<float>{2, 2, 2, 2}));
  in.thickness = {1, 2, 3, 4};
  EXPECT_EQ(pipe.run().thickness, (std::vector<float>{3, 4, 5, 6}));
  in.thickness = {1, 2};  // wrong length: not read
  EXPECT_EQ(pipe.run().thickness, (std::vector<float>{2, 2, 2, 2}));

  thickener->thickenMethod = SoLineThickener::DEPTH;
  const std::pair<int, std::vector<float>> cases[] = {
      {SoLineModifier::OBJECT_BASED, {2.0f / 10, 0, 2.0f / 1, 2.0f / 6}},
      {SoLineModifier::PIXEL_BASED, {2.0f / 0.9f, 0, 0, 2.0f / 0.5f}},  // (depth - near) / (far - near)
      {SoLineModifier::SCREEN_BASED, {2, 2, 2, 2}}};
  for (const auto& [modify, expected] : cases) {
    thickener->modifyMethod = modify;
    const std::vector<float> t = pipe.run().thickness;
    ASSERT_EQ(t.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(t[i], expected[i], 1e-4f) << modify << " " << i;
  }
}

TEST(DepthCache, ReadsTilesLazilyAndNeverOutsideTheViewport) {
  for (const auto& vp : std::vector<std::array<int, 4>>{{0, 0, 1, 1}, {5, 3, 33, 47}, {0, 0, 64, 64}, {31, 31, 2, 2}}) {
    SbLineDepthCache cache;
    int reads = 0;
    // A depth of its own at every pixel, so a neighbourhood read from the wrong pixels shows.
    auto depthAt = [](int x, int y) { return float((x * 7 + y * 13) % 101) / 100.0f; };
    cache.reset(vp[0], vp[1], vp[2], vp[3], [&](int x, int y, int w, int h, float* out) {
      ++reads;
      EXPECT_TRUE(x >= vp[0] && y >= vp[1] && x + w <= vp[0] + vp[2] && y + h <= vp[1] + vp[3]);
      for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) out[r * w + c] = depthAt(x + c, y + r);
    });
    EXPECT_EQ(reads, 0);
    for (int y = vp[1] - 2; y < vp[1] + vp[3] + 2; ++y)
      for (int x = vp[0] - 2; x < vp[0] + vp[2] + 2; ++x) {
        float expected = -1.0f;
        for (int dy = -1; dy <= 1 && cache.inside(x, y); ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            if (cache.inside(x + dx, y + dy)) expected = std::max(expected, depthAt(x + dx, y + dy));
        ASSERT_EQ(cache.neighbourhoodMax(x, y), expected) << x << " " << y;
      }
    EXPECT_GE(reads, 1);
    EXPECT_EQ(reads, cache.tilesRead());
  }
}

TEST(HiddenLineRemoval, ALineBehindAWallKeepsOnlyItsFreePartWithItsValues) {
  // Left half of a 100 x 100 window is covered at depth 0.4; the line lies at 0.5. Identity matrices: x, y in [-1, 1]
  // fill the window, depth (z + 1) / 2.
  const SbMatrix id = SbMatrix::identity();
  SbLineDepthCache cache;
  cache.reset(0, 0, 100, 100, [](int x, int, int w, int h, float* out) {
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) out[r * w + c] = x + c < 50 ? 0.4f : 1.0f;
  });
  SbLineSet in;
  in.points = {SbVec3f(-0.9f, 0, 0), SbVec3f(0.9f, 0, 0), SbVec3f(0.2f, 0.5f, 0), SbVec3f(0.4f, 0.5f, 0),
               SbVec3f(0.6f, 0.5f, 0)};
  in.indices = {0, 1, -1, 2, 3, 4, -1};
  in.taper = {0, 1, 7, 7, 7};
  SbLineSet out = SbHiddenLineRemoval::run(in, SbWindowProjector(id, id, id, 0, 0, 100, 100), cache, 2.0f);
  const auto lines = linetest::polylines(out);
  ASSERT_TRUE(lines.size() == 2 && lines[0].size() == 2);
  const SbVec3f a = out.points[lines[0][0]], b = out.points[lines[0][1]];
  EXPECT_NEAR(a[0], 0.0f, 0.05f) << "the visible part starts at the wall's edge (3 x 3 neighbourhood)";
  EXPECT_EQ(b[0], 0.9f);
  EXPECT_EQ(lines[1].size(), 3u) << "a line wholly in the open stays whole, vertices and all";
  ASSERT_EQ(out.parameters.size(), out.indices.size());
  EXPECT_NEAR(out.parameters[0], (a[0] + 0.9f) / 1.8f, 1e-4f) << "parameters by length when the input has none";
  EXPECT_EQ(std::make_pair(out.parameters[1], out.parameters[2]), std::make_pair(1.0f, -1.0f));
  ASSERT_EQ(out.taper.size(), 5u);
  EXPECT_NEAR(out.taper[0], (a[0] + 0.9f) / 1.8f, 1e-4f) << "taper interpolated along the segment";
  EXPECT_EQ(out.taper[2], 7.0f);

  // In a 1 x 1 window only the line through the pixel remains; one behind the eye and one off screen vanish.
  cache.reset(0, 0, 1, 1, [](int, int, int w, int h, float* o) { std::fill(o, o + w * h, 1.0f); });
  in.points = {SbVec3f(-5, 0, 0), SbVec3f(-3, 0, 0), SbVec3f(0, 0, 0), SbVec3f(0, 0, 0.5f)};
  in.indices = {0, 1, -1, 2, 3, -1};
  in.taper.clear();
  out = SbHiddenLineRemoval::run(in, SbWindowProjector(id, id, id, 0, 0, 1, 1), cache, 6.0f);
  EXPECT_EQ(linetest::polylines(out).size(), 1u);
  for (const SbVec3f& p : out.points) EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2]));

  // The node removes hidden lines while rendering only.
  Pipeline pipe(new SoLineHiddenLineRemover);
  const SbLineSet two = makeLines({{0, 0}, {1, 0}}, {{0, 1}});
  pipe.run(&two);
  EXPECT_EQ(pipe.probe->indexPointer, pipe.source->lines.indices.data());
}

// A stage that fails (here: no memory for its copy of a large line set) says so and passes on the set it was given.
TEST(CatchPaths, AFailingStageReportsAndPassesItsInputOn) {
  SbLineSet big;
  for (int i = 0; i < 10000; ++i) {
    big.points.insert(big.points.end(), {SbVec3f(i * 0.01f, 0, 0), SbVec3f(i * 0.01f, 1, 0)});
    big.indices.insert(big.indices.end(), {2 * i, 2 * i + 1, -1});
  }
  big.thickness.assign(20000, 1.0f);
  big.density.assign(20000, 0.5f);
  SbWingedEdgeModel cube = testmesh::model(testmesh::cube());
  TempDir dir;
  const std::string pdfPath = dir.file("failed.pdf");
  auto* pdf = new SoLineOutputPdfHQ;
  pdf->ref();
  auto* merger = new SoLineMergerHQ;
  merger->method = SoLineMergerHQ::LM_STORE;
  for (SoNode* node : std::initializer_list<SoNode*>{new SoLineThickener, new SoLinePurifier, new SoLineConcatenator,
                                                     new SoGenerateSilhouette, merger, new SoLineDensifierHQ, pdf}) {
    const bool densityCleared = node->isOfType(SoLineDensifierHQ::getClassTypeId());  // by the densifier only
    const std::string message =
        node == pdf ? std::string("SoLineOutputHQ: the output pass failed, nothing written\n")
                    : node->getTypeId().getName().getString() + std::string("::doAction: std::bad_alloc\n");
    SCOPED_TRACE(message);
    auto* stage = new SoGroup;  // settings, then the stage between steps that turn the failures on and off
    stage->addChild(new SoLineSettingsHQ);
    stage->addChild(new StateStep([](SoState*, SoNode*) { allocation::refuseFrom(1 << 16); }));
    stage->addChild(node);
    stage->addChild(new StateStep([](SoState*, SoNode*) { allocation::disarm(); }));
    Pipeline pipe(stage);
    pipe.source->model = &cube;
    pdf->requestWrite(pdfPath.c_str());
    testing::internal::CaptureStdout();
    const SbLineSet& seen = pipe.run(&big);
    allocation::disarm();
    EXPECT_NE(testing::internal::GetCapturedStdout().find(message), std::string::npos);
    EXPECT_EQ(pipe.probe->indexPointer, pipe.source->lines.indices.data());
    EXPECT_EQ(seen.points.size(), big.points.size());
    EXPECT_EQ(seen.thickness, big.thickness);
    EXPECT_EQ(seen.density, densityCleared ? std::vector<float>() : big.density);
  }
  EXPECT_FALSE(pdf->writePending);
  EXPECT_EQ(pdf->getWriteResult(), SoLineOutputHQ::WR_FAILED);
  EXPECT_EQ(pdf->writeError(), "the output pass failed");
  EXPECT_FALSE(std::filesystem::exists(pdfPath));
  pdf->unref();
}
