#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "mesh/SbHeModelHQ.h"
#include "styling/SbStrokeValuesHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineThickenerHQ.h"

namespace {

using D = SoLineDensifierHQ;
using Values = std::vector<float>;

// A stroke set of two polylines (3 and 2 points) under an orthographic camera at z = 1 looking down -z (depth 1 to 10).
class StrokeValues : public ::testing::Test {
 protected:
  void SetUp() override {
    root = new SoSeparator;
    root->ref();
    root->addChild(new SoOrthographicCamera);
    coords = new SoCoordinate3;
    root->addChild(coords);
    setPoints({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, -4.5f}, {1, 1, -4.5f}});
    add([this](SoState* state) {
      auto n = [](const auto& v) { return static_cast<int32_t>(v.size()); };
      SoLineCoordinateIndexElement::set(state, nullptr, n(indices), indices.data());
      if (!taper.empty()) SoLineTaperElementHQ::set(state, nullptr, n(taper), taper.data());
      if (!faces.empty()) SoLineTriangleElementHQ::set(state, nullptr, n(faces), faces.data());
      if (!earlier.empty()) SoLineDensityElementHQ::set(state, nullptr, n(earlier), earlier.data());
      if (!family.empty()) SoLineFamilyElementHQ::set(state, nullptr, n(family), family.data());
    });
  }
  void TearDown() override { root->unref(); }
  void restart() {
    TearDown();
    SetUp();
  }
  void setPoints(const std::vector<SbVec3f>& p) { coords->point.setValues(0, static_cast<int>(p.size()), p.data()); }
  void add(std::function<void(SoState*)> fn) {
    root->addChild(new StateStep([fn](SoState* state, SoNode*) { fn(state); }));
  }
  // A densifier, then a step that records the density element after it.
  D* densifier(int method, float value, int apply = D::REPLACE, bool inPlace = true, bool probe = true) {
    auto* node = new D;
    node->method = method;
    node->value = value;
    node->apply = apply;
    node->workInPlace = inPlace;
    root->addChild(node);
    if (probe) probeDensity();
    return node;
  }
  void probeDensity() {
    add([this](SoState* state) {
      int32_t n = 0;
      densityPointer = SoLineDensityElementHQ::get(state, n);
      density.assign(densityPointer, densityPointer + n);
    });
  }
  // Traverses and returns what was printed.
  std::string traverse() {
    testing::internal::CaptureStdout();
    SoCallbackAction().apply(root);
    return testing::internal::GetCapturedStdout();
  }

  SoSeparator* root = nullptr;
  SoCoordinate3* coords = nullptr;
  std::vector<int32_t> indices = {0, 1, 2, -1, 3, 4, -1};
  Values taper, earlier, family, density;
  std::vector<const HeTriangle*> faces;
  const float* densityPointer = nullptr;
};

// 0.25 combined into an earlier 0.5, in the earlier node's list (in place) or a copy; a second render does not pile up.
TEST_F(StrokeValues, EveryApplyModeCombinesWithTheEarlierValue) {
  root->addChild(new D);  // the defaults: 1 for every point
  probeDensity();
  traverse();
  EXPECT_EQ(density, Values(5, 1.0f));
  const std::pair<int, float> cases[] = {{D::REPLACE, 0.25f}, {D::ADD, 0.75f}, {D::SUB, 0.25f}, {D::MUL, 0.125f},
                                         {D::SCREEN, 0.625f}, {D::MIN, 0.25f}, {D::MAX, 0.5f}};
  for (const auto& c : cases)
    for (bool inPlace : {true, false}) {
      SCOPED_TRACE(testing::Message() << "apply " << c.first << " in place " << inPlace);
      restart();
      D* first = densifier(D::CONSTANT, 0.5f, D::REPLACE, true, false);
      D* second = densifier(D::CONSTANT, 0.25f, c.first, inPlace);
      for (int i = 0; i < 2; ++i) {
        traverse();
        EXPECT_EQ(density, Values(5, c.second));
      }
      EXPECT_EQ(densityPointer, (inPlace ? first : second)->ownValues().data());
      EXPECT_EQ(second->ownValues().empty(), inPlace);
      EXPECT_TRUE(inPlace || first->ownValues() == Values(5, 0.5f));
    }
  EXPECT_FLOAT_EQ(SbStrokeValuesHQ::combine(D::SCREEN, 0.5f, 0.5f), 0.75f);
}

// Two families (the first stroke, the cross stroke): up to crossStart the first family alone carries the value, the
// cross family nothing; from there both grow, to full ink at crossFull; a value above 1 stays as it is.
TEST_F(StrokeValues, CrossFamilyInksOnlyAboveTheStartAndBothAreFullAtFull) {
  family = {0, 0, 0, 1, 1};
  D* node = densifier(D::CONSTANT, 0.0f);
  node->crossStart = 0.4f;
  node->crossFull = 0.5f;
  float first = -1.0f, cross = -1.0f;  // values must never fall as the value grows
  for (float v = -0.25f; v <= 1.5f; v += 0.01f) {
    SCOPED_TRACE(v);
    node->value = v;
    traverse();
    ASSERT_EQ(density.size(), 5u);
    EXPECT_TRUE(density[1] == density[0] && density[4] == density[3]);
    EXPECT_TRUE(density[0] >= first && density[3] >= cross);
    first = density[0];
    cross = density[3];
    if (v <= 0.4f) {
      EXPECT_TRUE(first == v && cross == 0.0f);
    } else if (v < 0.5f) {
      EXPECT_TRUE(first > v && cross > 0.0f && cross < first);
    } else {
      EXPECT_TRUE(first == std::max(v, 1.0f) && cross == first);
    }
  }
  // A negative start, or no family marks, leaves the values as asked for.
  node->value = 0.45f;
  node->crossStart = -1.0f;
  traverse();
  EXPECT_EQ(density, Values(5, 0.45f));
  node->crossStart = 0.4f;
  family.clear();
  traverse();
  EXPECT_EQ(density, Values(5, 0.45f));
}

// Too few earlier values are ignored (ADD acts as REPLACE); a method without its input (no curvature in the state) or
// no polylines publish nothing.
TEST_F(StrokeValues, ShortOrMissingInputs) {
  earlier = {0.5f, 0.5f};
  densifier(D::CONSTANT, 0.25f, D::ADD);
  traverse();
  EXPECT_EQ(density, Values(5, 0.25f));
  EXPECT_EQ(earlier, Values(2, 0.5f));
  restart();
  earlier = Values(5, 0.5f);
  densifier(D::CURVATURE, 1.0f);
  traverse();
  EXPECT_TRUE(density.empty() && densityPointer == nullptr);
  restart();
  indices.clear();
  densifier(D::CONSTANT, 1.0f);
  traverse();
  EXPECT_TRUE(density.empty());
}

TEST_F(StrokeValues, DepthAndFormulasOfTaperAndDepthFailingToZero) {
  D* node = densifier(D::DEPTH, 1.0f);
  traverse();
  ASSERT_EQ(density.size(), 5u);
  EXPECT_TRUE(std::fabs(density[0] - 1.0f) <= 1e-5f && std::fabs(density[4] - 0.5f) <= 1e-5f);  // near, half way
  node->method = D::PARSER;
  node->value = 2.0f;
  node->parserExpression = "taper";
  EXPECT_EQ(traverse(), "LineSthScalarEngineHQ::Parser: TAPER \n");
  EXPECT_EQ(density, Values(5, 2.0f));  // no taper values: 1
  taper = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
  traverse();
  EXPECT_EQ(density, (Values{0.2f, 0.4f, 0.6f, 0.8f, 1.0f}));
  taper = {0.1f, 0.2f};  // too short: absent
  traverse();
  EXPECT_EQ(density, Values(5, 2.0f));
  node->parserExpression = "depth";
  traverse();
  ASSERT_EQ(density.size(), 5u);
  EXPECT_TRUE(std::fabs(density[0]) <= 1e-5f && std::fabs(density[3] + 1.0f) <= 1e-5f);  // near, halfway: -0.5 * 2
  for (const char* bad : {"light +", "(0-1)^0.5"}) {                                     // does not parse, or NaN: 0
    node->parserExpression = bad;
    traverse();
    EXPECT_EQ(density, Values(5, 0.0f)) << bad;
  }
}

TEST_F(StrokeValues, RimAndIsoFollowTheFaceNormal) {
  // A face seen head-on (normal +z) and one seen edge-on (normal -y): corners 0 1 2 and 3 4 5.
  PolyMesh mesh{{{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 0, -8}, {8, 0, -8}, {0, 0, -1}}, {0, 3, 6}, {0, 1, 2, 3, 4, 5}};
  SbHeModelHQ model;
  model.build(testmesh::model(mesh));
  ASSERT_EQ(model.triangleCount(), 2);
  setPoints({{0.5f, 0.5f, 0}, {1.5f, 0.5f, 0}, {2, 1, 0}, {1, 0, -4}, {2, 0, -4}});
  const HeTriangle *a = model.triangles[0], *b = model.triangles[1];
  faces = {a, a, a, b, b};
  D* node = densifier(D::RIM, 1.0f);
  traverse();
  EXPECT_EQ(density, (Values{0, 0, 0, 1, 1}));
  // iso: the stroke's side direction seen from the camera: in the image plane on the head-on face (1), along the view
  // on the edge-on face (0).
  node->method = D::PARSER;
  node->parserExpression = "iso";
  traverse();
  ASSERT_EQ(density.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(density[i], i < 3 ? 1.0f : 0.0f, 1e-5) << i;
  faces.resize(2);  // too few faces: treated as absent, no crash
  traverse();
  EXPECT_EQ(density.size(), 5u);
}

// The light comes from the camera's upper left, 54.7 degrees off the view, whatever the view volume's size and kind.
TEST(StrokeDirections, LightFollowsTheCameraNotTheVolumesShape) {
  SbRotation turn(SbVec3f(0.3f, 1, 0.2f), 0.7f);
  SbVec3f expected;
  turn.multVec(SbVec3f(-1, 1, -1) / std::sqrt(3.0f), expected);  // up - right - back
  // clang-format off
  const struct { bool perspective; float width, aspect, nearDistance, farDistance; } volumes[] = {
      {false, 2, 1, 1, 10}, {false, 0.01f, 3, 0.5f, 400}, {false, 300, 0.4f, 10, 11}, {true, 0.8f, 1.5f, 0.1f, 50}};
  // clang-format on
  for (const auto& v : volumes) {
    SbViewVolume volume;
    const float w = v.width / 2, h = w / v.aspect;
    if (v.perspective)
      volume.perspective(v.width, v.aspect, v.nearDistance, v.farDistance);
    else
      volume.ortho(-w, w, -h, h, v.nearDistance, v.farDistance);
    volume.rotateCamera(turn);
    volume.translateCamera(SbVec3f(5, -2, 7));
    const SbVec3f l = SbStrokeValuesHQ::lightDirection(volume);
    EXPECT_NEAR(std::fabs(l.dot(expected)), 1.0f, 1e-5) << v.width << " " << v.aspect;
    EXPECT_NEAR(std::fabs(l.dot(SbStrokeValuesHQ::viewDirection(volume))), 1 / std::sqrt(3.0f), 1e-5);
  }
}

TEST_F(StrokeValues, ThickenerWritesTheThicknessElementOnly) {
  auto* thickener = new SoLineThickenerHQ;
  thickener->value = 3.0f;
  root->addChild(thickener);
  int32_t n = 0;
  const float* thickness = nullptr;
  add([&](SoState* state) { thickness = SoLineThicknessElement::get(state, n); });
  probeDensity();
  traverse();
  EXPECT_EQ(Values(thickness, thickness + n), Values(5, 3.0f));
  EXPECT_TRUE(density.empty());
}

}  // namespace
