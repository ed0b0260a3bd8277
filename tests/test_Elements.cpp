#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoIlluminatedGeometryElement.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineTextureCoordinateElement.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "elements/SoOrientedCoordinateElement.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SoGenerateHeModelHQ.h"

namespace {

using StepFn = StateStep::Step;

class Elements : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Nodes that set or read these enable them; here there are none.
    SO_ENABLE(SoCallbackAction, SoCurvatureElementHQ);
    SO_ENABLE(SoCallbackAction, SoFlowFieldElementHQ);
    SO_ENABLE(SoCallbackAction, SoLineSettingsElementHQ);
    SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
    SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
    SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
    SO_ENABLE(SoCallbackAction, SoLineParameterizationElement);
    SO_ENABLE(SoCallbackAction, SoLineTaperElementHQ);
    SO_ENABLE(SoCallbackAction, SoLineTriangleElementHQ);
    SO_ENABLE(SoCallbackAction, SoLineTextureCoordinateElement);
    SO_ENABLE(SoCallbackAction, SoOrientedCoordinateElement);
    SO_ENABLE(SoCallbackAction, SoIlluminatedGeometryElement);
    SO_ENABLE(SoCallbackAction, SoLineMergerElementHQ);
    SO_ENABLE(SoCallbackAction, SoHeModelElementHQ);
    SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
  }
  void SetUp() override {
    root = new SoSeparator;
    root->ref();
  }
  void TearDown() override { root->unref(); }
  void traverse() {
    SoCallbackAction action;
    action.apply(root);
  }
  void add(SoGroup* parent, StepFn fn) { parent->addChild(new StateStep(std::move(fn))); }
  SoSeparator* root = nullptr;
};

}  // namespace

TEST_F(Elements, DefaultsWhenNothingIsSet) {
  int probes = 0;
  add(root, [&](SoState* s, SoNode*) {
    ++probes;
    using Get = std::function<const void*(SoState*, int32_t&)>;
    const Get counted[] = {
        [](SoState* t, int32_t& n) { return SoLineCoordinateIndexElement::get(t, n); },
        [](SoState* t, int32_t& n) { return SoLineThicknessElement::get(t, n); },
        [](SoState* t, int32_t& n) { return SoLineDensityElementHQ::get(t, n); },
        [](SoState* t, int32_t& n) { return SoLineParameterizationElement::get(t, n); },
        [](SoState* t, int32_t& n) { return SoLineTaperElementHQ::get(t, n); },
        [](SoState* t, int32_t& n) { return SoLineTriangleElementHQ::get(t, n); },
        [](SoState* t, int32_t& n) { return SoLineTextureCoordinateElement::get(t, n); },
        [](SoState* t, int32_t& n) { return SoIlluminatedGeometryElement::get(t, n); },
    };
    int32_t n = -1;
    for (const Get& get : counted) {
      n = -1;
      EXPECT_EQ(get(s, n), nullptr);
      EXPECT_EQ(n, 0);
    }
    const SbVec2f* o = SoOrientedCoordinateElement::get(s, n);
    ASSERT_EQ(n, 1);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o[0], SbVec2f(0, 1));
    EXPECT_EQ(SoHeModelElementHQ::get(s), nullptr);
    EXPECT_EQ(SoCurvatureElementHQ::get(s), nullptr);
    EXPECT_EQ(SoFlowFieldElementHQ::get(s), nullptr);
    EXPECT_EQ(SoLineSettingsElementHQ::get(s), nullptr);
    EXPECT_EQ(SoWingedEdgeElement::get(s), nullptr);
    const SoLineMergerElementHQ* merger = SoLineMergerElementHQ::get(s);
    ASSERT_NE(merger, nullptr);
    EXPECT_TRUE(merger->isEmpty());
    EXPECT_TRUE(merger->coordinates().empty());
  });
  traverse();
  EXPECT_EQ(probes, 1);
}

TEST_F(Elements, ASettingEndsWithItsSeparator) {
  const float outer[2] = {1, 2};
  const float inner[3] = {5, 6, 7};
  int outerModel = 0, innerModel = 0;
  std::vector<int> seen;
  auto probe = [&](SoState* s, SoNode*) {
    int32_t n = 0;
    const float* t = SoLineThicknessElement::get(s, n);
    seen.push_back(n);
    seen.push_back(t ? static_cast<int>(t[0]) : -1);
    seen.push_back(SoHeModelElementHQ::get(s) == reinterpret_cast<SbHeModelHQ*>(&innerModel));
  };
  add(root, [&](SoState* s, SoNode* node) {
    SoLineThicknessElement::set(s, node, 2, outer);
    SoHeModelElementHQ::set(s, node, reinterpret_cast<SbHeModelHQ*>(&outerModel));
  });
  auto* separator = new SoSeparator;
  root->addChild(separator);
  add(separator, [&](SoState* s, SoNode* node) {
    SoLineThicknessElement::set(s, node, 3, inner);
    SoHeModelElementHQ::set(s, node, reinterpret_cast<SbHeModelHQ*>(&innerModel));
  });
  add(separator, probe);
  add(root, probe);
  traverse();
  EXPECT_EQ(seen, (std::vector<int>{3, 5, 1, 2, 1, 0}));
}

TEST_F(Elements, NegativeCountsAndNullArraysReadAsEmpty) {
  const float values[2] = {1, 2};
  add(root, [&](SoState* s, SoNode* node) {
    SoLineDensityElementHQ::set(s, node, -4, values);
    SoLineParameterizationElement::set(s, node, 3, nullptr);
  });
  add(root, [&](SoState* s, SoNode*) {
    int32_t n = 7;
    SoLineDensityElementHQ::get(s, n);
    EXPECT_EQ(n, 0);
    n = 7;
    EXPECT_EQ(SoLineParameterizationElement::get(s, n), nullptr);
    EXPECT_EQ(n, 0);
  });
  traverse();
}

TEST_F(Elements, MergerKeepsItsOwnCopyAndNestedWritesEndWithTheSeparator) {
  add(root, [&](SoState* s, SoNode* node) {
    // The caller's arrays may go away at once: the element holds a copy.
    std::vector<SbVec3f> points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    std::vector<int32_t> index = {0, 1, 2, -1};
    std::vector<float> thickness = {1, 2, 3};
    SoLineMergerElementHQ::set(s, node, 3, points.data(), 4, index.data(), 3, thickness.data(),
                               nullptr);
    points[0] = SbVec3f(9, 9, 9);
    index[0] = 2;
  });
  auto* separator = new SoSeparator;
  root->addChild(separator);
  add(separator, [&](SoState* s, SoNode* node) {
    SoLineMergerElementHQ* m = SoLineMergerElementHQ::getWritable(s, node);
    ASSERT_NE(m, nullptr);
    // Starts from the enclosing set.
    ASSERT_EQ(m->indices().size(), 4u);
    m->coordinates().push_back(SbVec3f(2, 2, 2));
    m->indices().insert(m->indices().end(), {3, 0, -1});
    m->thickness().insert(m->thickness().end(), {4, 5});
  });
  add(separator, [&](SoState* s, SoNode*) {
    const SoLineMergerElementHQ* m = SoLineMergerElementHQ::get(s);
    EXPECT_EQ(m->coordinates().size(), 4u);
    EXPECT_EQ(m->indices().size(), 7u);
    EXPECT_EQ(m->thickness().size(), 5u);
  });
  add(root, [&](SoState* s, SoNode*) {
    const SoLineMergerElementHQ* m = SoLineMergerElementHQ::get(s);
    ASSERT_EQ(m->coordinates().size(), 3u);
    EXPECT_EQ(m->coordinates()[0], SbVec3f(0, 0, 0));
    EXPECT_EQ(m->indices(), (std::vector<int32_t>{0, 1, 2, -1}));
    EXPECT_EQ(m->thickness(), (std::vector<float>{1, 2, 3}));
    EXPECT_TRUE(m->density().empty());
  });
  traverse();
  traverse();  // element instances are reused: the second run sees the same
}

// The half-edge node publishes its model and builds it only when asked.
class GenerateHeModel : public Elements {
 protected:
  void SetUp() override {
    Elements::SetUp();
    add(root, [this](SoState* s, SoNode* node) {
      if (input) SoWingedEdgeElement::set(s, node, input);
    });
    generator = new SoGenerateHeModelHQ;
    root->addChild(generator);
    add(root, [this](SoState* s, SoNode*) {
      published = SoHeModelElementHQ::get(s);
      ++probes;
    });
  }
  SoGenerateHeModelHQ* generator = nullptr;
  SbWingedEdgeModel* input = nullptr;
  SbHeModelHQ* published = nullptr;
  int probes = 0;
};

TEST_F(GenerateHeModel, BuildsOnceUntilInvalidated) {
  const int liveBefore = SbHeModelHQ::triPool.live();
  EXPECT_FALSE(generator->isBuilt());
  traverse();  // no winged-edge input: an empty model
  EXPECT_TRUE(generator->isBuilt());
  ASSERT_EQ(published, &generator->model());
  EXPECT_EQ(published->triangleCount(), 0);
  EXPECT_EQ(published->vertexCount(), 0);

  SbWingedEdgeModel tetra = testmesh::model(testmesh::tetrahedron());
  input = &tetra;
  generator->invalidate();
  traverse();
  EXPECT_EQ(published->triangleCount(), 4);
  EXPECT_TRUE(published->valid);
  const uint32_t stamp = published->stamp;

  SbWingedEdgeModel cube = testmesh::model(testmesh::cube());
  input = &cube;
  traverse();  // not invalidated: the model stays as it was
  EXPECT_EQ(published->stamp, stamp);
  EXPECT_EQ(published->triangleCount(), 4);

  generator->invalidate();
  traverse();
  EXPECT_NE(published->stamp, stamp);
  EXPECT_EQ(published->triangleCount(), 12);

  // Without input the next build empties the model.
  input = nullptr;
  generator->invalidate();
  traverse();
  EXPECT_EQ(published->triangleCount(), 0);
  EXPECT_EQ(probes, 5);

  input = &tetra;
  generator->invalidate();
  traverse();
  EXPECT_EQ(SbHeModelHQ::triPool.live(), liveBefore + 4);
  root->removeChild(generator);  // the node's last reference: its records go back
  EXPECT_EQ(SbHeModelHQ::triPool.live(), liveBefore);
}

// A model whose object has a face but no edges asks the build for more
// triangles than a vector can hold: the node reports it and publishes an
// empty model, not the half-built one, and builds again when asked.
TEST_F(GenerateHeModel, FailedBuildPublishesAnEmptyModel) {
  const int liveBefore = SbHeModelHQ::vtxPool.live();
  SbWingedEdgeModel tetra = testmesh::model(testmesh::tetrahedron());
  input = &tetra;
  traverse();
  ASSERT_EQ(published->triangleCount(), 4);
  SbWingedEdgeModel broken = tetra;
  broken.objects[0].edges.clear();
  input = &broken;
  generator->invalidate();
  testing::internal::CaptureStdout();
  traverse();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SoGenerateHeModelHQ: vector::reserve\n");
  ASSERT_EQ(published, &generator->model());
  EXPECT_FALSE(published->valid);
  EXPECT_EQ(published->vertexCount(), 0);
  EXPECT_EQ(published->triangleCount(), 0);
  EXPECT_EQ(SbHeModelHQ::vtxPool.live(), liveBefore);
  input = &tetra;
  generator->invalidate();
  traverse();
  EXPECT_EQ(published->triangleCount(), 4);
  EXPECT_TRUE(published->valid);
}
