#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "LineTestNodes.h"
#include "styling/SoLineMergerHQ.h"

namespace {

using M = SoLineMergerHQ;

class Merger : public ::testing::Test {
 protected:
  void SetUp() override {
    linetest::initNodes();
    root = new SoSeparator;
    root->ref();
  }
  void TearDown() override { root->unref(); }
  void publish(const SbLineSet& set) {
    auto* source = new LineSetSource;
    source->publishLines = true;
    source->lines = set;
    root->addChild(source);
  }
  void merger(int method) {
    auto* node = new M;
    node->method = method;
    root->addChild(node);
  }
  // What the stages after the nodes so far see.
  LineSetProbe* probe() {
    auto* p = new LineSetProbe;
    root->addChild(p);
    return p;
  }
  void traverse() { SoCallbackAction().apply(root); }

  SoSeparator* root = nullptr;
};

SbLineSet set(std::vector<SbVec3f> points, std::vector<int32_t> indices, std::vector<float> thickness,
              std::vector<float> density) {
  const std::vector<float> half(points.size(), 0.5f);  // taper and parameters
  return {points, indices, thickness, half, density, {}, std::vector<const HeTriangle*>(points.size()), half};
}
const SbLineSet kThree = set({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 2, -1}, {1, 2, 3}, {0.1f, 0.2f, 0.3f});
const SbLineSet kTwo = set({{0, 1, 0}, {1, 1, 0}}, {0, 1, -1}, {4, 5}, {});

TEST_F(Merger, StoreMergeRestoreShiftsIndicesAndPads) {
  publish(kThree);
  merger(M::LM_STORE);
  LineSetProbe* afterStore = probe();
  publish(kTwo);
  merger(M::LM_MERGE);
  LineSetProbe* afterMerge = probe();
  merger(M::LM_RESTORE);
  LineSetProbe* restored = probe();
  merger(M::LM_RESTORE);  // repeatable
  LineSetProbe* again = probe();
  publish(kTwo);  // a later stage replaces the set: its origin is unknown
  LineSetProbe* replaced = probe();
  traverse();

  for (const SbLineSet& s : {afterStore->seen, afterMerge->seen})
    EXPECT_TRUE(s.points.empty() && s.indices.empty() && s.thickness.empty() && s.density.empty() && s.taper.empty() &&
                s.parameters.empty() && s.triangles.empty());
  const SbLineSet& r = restored->seen;
  ASSERT_EQ(r.points.size(), 5u);
  EXPECT_EQ(r.points[3], SbVec3f(0, 1, 0));
  EXPECT_EQ(r.indices, (std::vector<int32_t>{0, 1, 2, -1, 3, 4, -1}));
  EXPECT_EQ(r.thickness, (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(r.density, (std::vector<float>{0.1f, 0.2f, 0.3f, 1.0f, 1.0f}));
  EXPECT_TRUE(r.taper.empty() && r.parameters.empty() && r.triangles.empty());
  EXPECT_TRUE(again->seen.indices == r.indices && again->seen.thickness == r.thickness);
  // The first four index entries are the stored lines.
  EXPECT_TRUE(restored->stored == 4 && again->stored == 4);
  EXPECT_TRUE(afterStore->stored == -1 && replaced->stored == -1);
}

// One set stored, a second merged into it or stored in its place, then restored: missing thickness is padded with 1,
// arrays shorter than the points are not stored, a second store starts a new collection.
TEST_F(Merger, RestoredSetsPadOrDropArraysAndRestartOnStore) {
  SbLineSet noThickness = kThree, shortThickness = kThree;
  noThickness.thickness.clear();
  shortThickness.thickness = {7};  // one value for three points
  // clang-format off
  const struct { const char* name; const SbLineSet& first; int then; std::vector<int32_t> indices;
                 std::vector<float> thickness, density; int32_t stored; } cases[] = {
      {"merged into a store without thickness", noThickness, M::LM_MERGE, {0, 1, 2, -1, 3, 4, -1}, {1, 1, 1, 4, 5},
       {0.1f, 0.2f, 0.3f, 1, 1}, 4},
      {"short thickness", shortThickness, M::LM_RESTORE, kThree.indices, {}, kThree.density, 4},
      {"stored twice", kThree, M::LM_STORE, kTwo.indices, kTwo.thickness, {}, 3}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();  // a fresh scene for each case
    publish(c.first);
    merger(M::LM_STORE);
    if (c.then != M::LM_RESTORE) {  // LM_MERGE or LM_STORE of kTwo
      publish(kTwo);
      merger(c.then);
    }
    merger(M::LM_RESTORE);
    LineSetProbe* restored = probe();
    traverse();
    traverse();
    const SbLineSet& r = restored->seen;
    EXPECT_EQ(std::tie(r.indices, r.thickness, r.density, restored->stored),
              std::tie(c.indices, c.thickness, c.density, c.stored));
  }
}

}  // namespace
