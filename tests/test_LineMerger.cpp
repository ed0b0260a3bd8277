#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <vector>

#include "LineTestNodes.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "styling/SoLineMergerHQ.h"

namespace {

// A line set as the state carries it, for setting and for reading back.
struct LineSet {
  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  std::vector<float> thickness;
  std::vector<float> density;
  std::vector<float> taper;  // also parameters and (as a count) triangles
  int32_t stored = -2;       // SoLineMergerElementHQ::storedPrefix of the set
};

class Merger : public ::testing::Test {
 protected:
  void SetUp() override {
    root = new SoSeparator;
    root->ref();
  }
  void TearDown() override { root->unref(); }

  void add(StateStep::Step fn) { root->addChild(new StateStep(std::move(fn))); }
  // Publishes `set` (which must outlive the traversal) as the current line set.
  void publish(const LineSet& set) {
    add([&set](SoState* state, SoNode* node) {
      SoCoordinateElement::set3(state, node, static_cast<int32_t>(set.points.size()),
                                set.points.data());
      SoLineCoordinateIndexElement::set(state, node, static_cast<int32_t>(set.indices.size()),
                                        set.indices.data());
      SoLineThicknessElement::set(state, node, static_cast<int32_t>(set.thickness.size()),
                                  set.thickness.data());
      SoLineDensityElementHQ::set(state, node, static_cast<int32_t>(set.density.size()),
                                  set.density.data());
      const int32_t n = static_cast<int32_t>(set.taper.size());
      SoLineTaperElementHQ::set(state, node, n, set.taper.data());
      SoLineParameterizationElement::set(state, node, n, set.taper.data());
      static const HeTriangle* const none[8] = {};
      SoLineTriangleElementHQ::set(state, node, n, n ? none : nullptr);
    });
  }
  // Reads the current line set into `out` during the traversal.
  void capture(LineSet& out) {
    add([&out](SoState* state, SoNode*) {
      const SoCoordinateElement* c = SoCoordinateElement::getInstance(state);
      out.points.clear();
      for (int i = 0; i < c->getNum(); ++i) out.points.push_back(c->get3(i));
      int32_t n = 0;
      const int32_t* idx = SoLineCoordinateIndexElement::get(state, n);
      out.indices.assign(idx, idx + n);
      out.stored = SoLineMergerElementHQ::storedPrefix(state, idx, n);
      const float* t = SoLineThicknessElement::get(state, n);
      out.thickness.assign(t, t + n);
      const float* d = SoLineDensityElementHQ::get(state, n);
      out.density.assign(d, d + n);
      int32_t taperCount = 0, paramCount = 0, triangleCount = 0;
      SoLineTaperElementHQ::get(state, taperCount);
      SoLineParameterizationElement::get(state, paramCount);
      SoLineTriangleElementHQ::get(state, triangleCount);
      out.taper.assign(static_cast<size_t>(taperCount + paramCount + triangleCount), 0.0f);
    });
  }
  void merger(int method) {
    auto* node = new SoLineMergerHQ;
    node->method = method;
    root->addChild(node);
  }
  void traverse() {
    SoCallbackAction action;
    action.apply(root);
  }

  SoSeparator* root = nullptr;
};

const LineSet kThree{{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 2, -1}, {1, 2, 3}, {0.1f, 0.2f, 0.3f},
                     {0.5f, 0.5f, 0.5f}};
const LineSet kTwo{{{0, 1, 0}, {1, 1, 0}}, {0, 1, -1}, {4, 5}, {}, {0.5f, 0.5f}};

TEST_F(Merger, StoreMergeRestoreShiftsIndicesAndPads) {
  LineSet afterStore, afterMerge, restored, again, replaced;
  publish(kThree);
  merger(SoLineMergerHQ::LM_STORE);
  capture(afterStore);
  publish(kTwo);
  merger(SoLineMergerHQ::LM_MERGE);
  capture(afterMerge);
  merger(SoLineMergerHQ::LM_RESTORE);
  capture(restored);
  merger(SoLineMergerHQ::LM_RESTORE);  // repeatable
  capture(again);
  publish(kTwo);  // a later stage replaces the set: its origin is unknown
  capture(replaced);
  traverse();

  for (const LineSet* empty : {&afterStore, &afterMerge}) {
    EXPECT_TRUE(empty->points.empty());
    EXPECT_TRUE(empty->indices.empty());
    EXPECT_TRUE(empty->thickness.empty());
    EXPECT_TRUE(empty->density.empty());
    EXPECT_TRUE(empty->taper.empty());  // taper, parameters and triangles cleared too
  }
  ASSERT_EQ(restored.points.size(), 5u);
  EXPECT_EQ(restored.points[3], SbVec3f(0, 1, 0));
  EXPECT_EQ(restored.indices, (std::vector<int32_t>{0, 1, 2, -1, 3, 4, -1}));
  EXPECT_EQ(restored.thickness, (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(restored.density, (std::vector<float>{0.1f, 0.2f, 0.3f, 1.0f, 1.0f}));
  EXPECT_TRUE(restored.taper.empty());
  EXPECT_EQ(again.indices, restored.indices);
  EXPECT_EQ(again.thickness, restored.thickness);
  // The first four index entries are the stored lines.
  EXPECT_EQ(restored.stored, 4);
  EXPECT_EQ(again.stored, 4);
  EXPECT_EQ(afterStore.stored, -1);
  EXPECT_EQ(replaced.stored, -1);
}

TEST_F(Merger, MergingThicknessIntoAStoreWithoutPadsTheEarlierPoints) {
  LineSet noThickness = kThree;
  noThickness.thickness.clear();
  LineSet restored;
  publish(noThickness);
  merger(SoLineMergerHQ::LM_STORE);
  publish(kTwo);
  merger(SoLineMergerHQ::LM_MERGE);
  merger(SoLineMergerHQ::LM_RESTORE);
  capture(restored);
  traverse();
  EXPECT_EQ(restored.thickness, (std::vector<float>{1, 1, 1, 4, 5}));
}

TEST_F(Merger, ShortPerVertexArraysAreNotStored) {
  LineSet shortArrays = kThree;
  shortArrays.thickness = {7};  // one value for three points
  LineSet restored;
  publish(shortArrays);
  merger(SoLineMergerHQ::LM_STORE);
  merger(SoLineMergerHQ::LM_RESTORE);
  capture(restored);
  traverse();
  EXPECT_TRUE(restored.thickness.empty());
  EXPECT_EQ(restored.density, kThree.density);
}

TEST_F(Merger, StoreStartsANewCollectionEachTime) {
  LineSet restored;
  publish(kThree);
  merger(SoLineMergerHQ::LM_STORE);
  publish(kTwo);
  merger(SoLineMergerHQ::LM_STORE);
  merger(SoLineMergerHQ::LM_RESTORE);
  capture(restored);
  traverse();
  traverse();
  EXPECT_EQ(restored.indices, kTwo.indices);
  EXPECT_EQ(restored.thickness, kTwo.thickness);
  EXPECT_TRUE(restored.density.empty());
  EXPECT_EQ(restored.stored, 3);
}

}  // namespace
