#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

#include "AllocationGuard.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoOrientedCoordinateElement.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SoGenerateHeModelHQ.h"

namespace {

class Elements : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
    SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
    SO_ENABLE(SoCallbackAction, SoLineParameterizationElement);
    SO_ENABLE(SoCallbackAction, SoOrientedCoordinateElement);
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
  void add(SoGroup* parent, StateStep::Step fn) { parent->addChild(new StateStep(std::move(fn))); }
  SoSeparator* root = nullptr;
};

}  // namespace

// A setting ends with its separator; the merger element keeps its own copy
// of the caller's arrays and a nested write starts from the enclosing set;
// unset elements, negative counts and null arrays read as empty.
TEST_F(Elements, ASettingEndsWithItsSeparator) {
  const float outer[2] = {1, 2}, inner[3] = {5, 6, 7};
  int outerModel = 0, innerModel = 0;
  std::vector<int> seen;
  auto probe = [&](SoState* s, SoNode*) {
    int32_t n = 0;
    const float* t = SoLineThicknessElement::get(s, n);
    seen.insert(seen.end(), {n, t ? static_cast<int>(t[0]) : -1,
                             SoHeModelElementHQ::get(s) == reinterpret_cast<SbHeModelHQ*>(&innerModel)});
    const SoLineMergerElementHQ* m = SoLineMergerElementHQ::get(s);
    seen.insert(seen.end(), {static_cast<int>(m->indices().size()), static_cast<int>(m->thickness().size()),
                             static_cast<int>(m->coordinates().empty() ? -1 : m->coordinates()[0][0])});
  };
  add(root, [&](SoState* s, SoNode* node) {
    int32_t n = 7;
    EXPECT_TRUE(SoLineThicknessElement::get(s, n) == nullptr && n == 0);
    const SbVec2f* o = SoOrientedCoordinateElement::get(s, n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(o[0], SbVec2f(0, 1));
    EXPECT_TRUE(SoLineMergerElementHQ::get(s)->isEmpty());
    SoLineDensityElementHQ::set(s, node, -4, outer);
    SoLineParameterizationElement::set(s, node, 3, nullptr);
    SoLineDensityElementHQ::get(s, n = 7);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(SoLineParameterizationElement::get(s, n = 7) == nullptr && n == 0);
    SoLineThicknessElement::set(s, node, 2, outer);
    SoHeModelElementHQ::set(s, node, reinterpret_cast<SbHeModelHQ*>(&outerModel));
    std::vector<SbVec3f> points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    std::vector<int32_t> index = {0, 1, 2, -1};
    std::vector<float> thickness = {1, 2, 3};
    SoLineMergerElementHQ::set(s, node, 3, points.data(), 4, index.data(), 3, thickness.data(), nullptr);
    points[0] = SbVec3f(9, 9, 9);  // the caller's arrays may go away at once
    index[0] = 2;
  });
  auto* separator = new SoSeparator;
  root->addChild(separator);
  add(separator, [&](SoState* s, SoNode* node) {
    SoLineThicknessElement::set(s, node, 3, inner);
    SoHeModelElementHQ::set(s, node, reinterpret_cast<SbHeModelHQ*>(&innerModel));
    SoLineMergerElementHQ* m = SoLineMergerElementHQ::getWritable(s, node);
    m->coordinates().push_back(SbVec3f(2, 2, 2));
    m->indices().insert(m->indices().end(), {3, 0, -1});
    m->thickness().insert(m->thickness().end(), {4, 5});
  });
  add(separator, probe);
  add(root, probe);
  add(root, [&](SoState* s, SoNode*) {
    const SoLineMergerElementHQ* m = SoLineMergerElementHQ::get(s);
    EXPECT_EQ(m->indices(), (std::vector<int32_t>{0, 1, 2, -1}));
    EXPECT_EQ(m->thickness(), (std::vector<float>{1, 2, 3}));
    EXPECT_TRUE(m->density().empty());
  });
  for (int run = 0; run < 2; ++run) {  // element instances are reused: the second run sees the same
    seen.clear();
    traverse();
    EXPECT_EQ(seen, (std::vector<int>{3, 5, 1, 7, 5, 0, 2, 1, 0, 4, 3, 0})) << run;
  }
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
    add(root, [this](SoState* s, SoNode*) { published = SoHeModelElementHQ::get(s); });
  }
  // Builds again from `in` and returns what the build printed.
  std::string rebuild(SbWingedEdgeModel* in) {
    input = in;
    generator->invalidate();
    testing::internal::CaptureStdout();
    traverse();
    EXPECT_EQ(published, &generator->model());
    return testing::internal::GetCapturedStdout();
  }
  SoGenerateHeModelHQ* generator = nullptr;
  SbWingedEdgeModel* input = nullptr;
  SbHeModelHQ* published = nullptr;
};

TEST_F(GenerateHeModel, BuildsOnceUntilInvalidated) {
  const int liveBefore = SbHeModelHQ::triPool.live();
  EXPECT_FALSE(generator->isBuilt());
  traverse();  // no winged-edge input: an empty model
  EXPECT_TRUE(generator->isBuilt() && published->vertexCount() == 0);
  SbWingedEdgeModel tetra = testmesh::model(testmesh::tetrahedron());
  SbWingedEdgeModel cube = testmesh::model(testmesh::cube());
  rebuild(&tetra);
  EXPECT_EQ(published->triangleCount(), 4);
  const uint32_t stamp = published->stamp;
  input = &cube;
  traverse();  // not invalidated: the model stays as it was
  EXPECT_EQ(std::make_pair(published->stamp, published->triangleCount()), std::make_pair(stamp, 4));
  rebuild(&cube);
  EXPECT_TRUE(published->stamp != stamp && published->triangleCount() == 12);
  rebuild(nullptr);  // without input the next build empties the model
  EXPECT_EQ(published->triangleCount(), 0);
  rebuild(&tetra);
  EXPECT_EQ(SbHeModelHQ::triPool.live(), liveBefore + 4);
  root->removeChild(generator);  // the node's last reference: its records go back
  EXPECT_EQ(SbHeModelHQ::triPool.live(), liveBefore);
}

// A build that fails publishes an empty model, not the half-built one, and
// says why: an object whose edge list is gone, and a failure inside the
// build; the next build works.
TEST_F(GenerateHeModel, FailedBuildPublishesAnEmptyModel) {
  const int liveBefore = SbHeModelHQ::vtxPool.live();
  SbWingedEdgeModel tetra = testmesh::model(testmesh::tetrahedron()), broken = tetra;
  broken.objects[0].edges.clear();
  rebuild(&tetra);
  EXPECT_EQ(rebuild(&broken), "SbHeModelHQ::build: object 0 has broken edge links, its faces are skipped\n");
  EXPECT_EQ(published->triangleCount(), 0);
  SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(3));
  allocation::onSize(sphere.objects[0].vertices.size() * sizeof(HeVertex*),
                     [] { throw std::runtime_error("no memory"); });
  EXPECT_EQ(rebuild(&sphere), "SoGenerateHeModelHQ: no memory\n");
  allocation::disarm();
  EXPECT_EQ(std::make_tuple(published->valid, published->vertexCount(), published->triangleCount()),
            std::make_tuple(false, 0, 0));
  EXPECT_EQ(SbHeModelHQ::vtxPool.live(), liveBefore);
  EXPECT_EQ(rebuild(&tetra), "");
  EXPECT_TRUE(published->valid && published->triangleCount() == 4);
}
