#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestMeshes.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeModel.h"
#include "mesh/SoGenerateWingedEdge.h"

namespace {

// A unit square in z = 0 as one strip (two triangles) and the same square
// shifted by 2 along x.
const std::vector<SbVec3f> kSquare = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
const std::vector<SbVec3f> kSquareShifted = {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}, {3, 1, 0}};

SoCoordinate3* coordinates(const std::vector<SbVec3f>& points) {
  auto* c = new SoCoordinate3;
  c->point.setValues(0, static_cast<int>(points.size()), points.data());
  return c;
}

SoIndexedTriangleStripSet* strips(const std::vector<int32_t>& coordIndex) {
  auto* s = new SoIndexedTriangleStripSet;
  s->coordIndex.setValues(0, static_cast<int>(coordIndex.size()), coordIndex.data());
  return s;
}

// The scene an Inventor text describes.
SoSeparator* scene(const std::string& text) {
  SoInput in;
  const std::string file = "#Inventor V2.1 ascii\n" + text;
  in.setBuffer(file.data(), file.size());
  SoSeparator* s = SoDB::readAll(&in);
  EXPECT_NE(s, nullptr) << text;
  return s;
}

// The object's vertex positions, in any order, are `expected`.
void expectPositions(const WeObject& o, std::vector<SbVec3f> expected) {
  auto less = [](const SbVec3f& a, const SbVec3f& b) {
    return std::lexicographical_compare(a.getValue(), a.getValue() + 3, b.getValue(), b.getValue() + 3);
  };
  std::vector<SbVec3f> actual;
  for (const WeVertex& v : o.vertices) actual.push_back(v.position);
  std::sort(actual.begin(), actual.end(), less);
  std::sort(expected.begin(), expected.end(), less);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_TRUE(actual[i].equals(expected[i], 1e-5f)) << "vertex " << i;
}

// Runs a callback traversal over `root` and returns the model that a node
// after the generator sees in SoWingedEdgeElement.
class GenerateWingedEdge : public ::testing::Test {
 protected:
  void SetUp() override {
    root->ref();
    root->addChild(generator);
    root->addChild(new SoInfo);  // reads the published model
  }
  void TearDown() override { root->unref(); }

  const SbWingedEdgeModel* traverse() {
    published = nullptr;
    SoCallbackAction action;
    action.addPreCallback(
        SoInfo::getClassTypeId(),
        [](void* self, SoCallbackAction* a, const SoNode*) {
          static_cast<GenerateWingedEdge*>(self)->published = SoWingedEdgeElement::get(a->getState());
          return SoCallbackAction::CONTINUE;
        },
        this);
    action.apply(root);
    EXPECT_NE(published, nullptr);
    return published;
  }

  // A rebuild of `shapes` (after the square's coordinates unless told not
  // to); returns what the traversal printed.
  std::string rebuild(std::initializer_list<SoNode*> shapes, bool square = true) {
    generator->removeAllChildren();
    if (square) generator->addChild(coordinates(kSquare));
    for (SoNode* shape : shapes) generator->addChild(shape);
    generator->requestRebuild();
    testing::internal::CaptureStdout();
    traverse();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  SoSeparator* root = new SoSeparator;
  SoGenerateWingedEdge* generator = new SoGenerateWingedEdge;
  const SbWingedEdgeModel* published = nullptr;
};

TEST_F(GenerateWingedEdge, PublishesTheWorkingModelBuiltFromTheStrips) {
  EXPECT_EQ(rebuild({strips({0, 1, 2, 3, -1})}), "");
  ASSERT_EQ(published, &generator->workingModel());
  ASSERT_TRUE(published->objects.size() == 1u && generator->hasGeometry());
  const WeObject fromNode = published->objects[0];
  EXPECT_EQ(std::make_tuple(fromNode.faceCount, fromNode.edgeCount, fromNode.vertexCount), std::make_tuple(2, 5, 4));
  expectPositions(fromNode, kSquare);
  // Both triangles face +z: the strip's alternation keeps the winding.
  for (const WeFace& f : fromNode.faces) EXPECT_TRUE(f.normal.equals(SbVec3f(0, 0, 1), 1e-6f));
  // The built objects are lent to the working model, not copied.
  EXPECT_TRUE(published->holdsSource && generator->builtModel().faceCount() == 2);
  // A vertex property wins over the coordinates in the state and gives the same model.
  rebuild(
      {scene("Coordinate3 { point [2 0 0, 3 0 0, 2 1 0, 3 1 0] } IndexedTriangleStripSet {"
             " vertexProperty VertexProperty { vertex [0 0 0, 1 0 0, 0 1 0, 1 1 0] } coordIndex [0, 1, 2, 3, -1] }")});
  const WeObject& fromProperty = published->objects.at(0);
  ASSERT_EQ(fromProperty.faces.size(), 2u);
  for (int f = 0; f < 2; ++f) {
    EXPECT_EQ(testmesh::corners(fromProperty, f), testmesh::corners(fromNode, f));
    EXPECT_EQ(testmesh::cornerPositions(fromProperty, f), testmesh::cornerPositions(fromNode, f));
  }
}

// One Coordinate3 serves two strip sets; the callback numbers the objects,
// -1 keeping an object's position among the strip sets.
TEST_F(GenerateWingedEdge, ObjectNumberCallbackChoosesTheNumbers) {
  std::vector<SbVec3f> points = kSquare;
  points.insert(points.end(), kSquareShifted.begin(), kSquareShifted.end());
  SoIndexedTriangleStripSet *a = strips({0, 1, 2, 3, -1}), *b = strips({4, 5, 6, 7, -1});
  rebuild({coordinates(points), a, b}, false);
  const SbWingedEdgeModel& model = *published;
  ASSERT_EQ(testmesh::objectNumbers(model), (std::vector<int>{0, 1}));
  expectPositions(model.objects[0], kSquare);
  expectPositions(model.objects[1], kSquareShifted);
  std::pair<SoIndexedTriangleStripSet*, std::vector<const SoNode*>> seen{a, {}};  // the first, and every tail
  generator->setObjectNumberCallback(
      [](void* data, const SoPath* path) {
        auto* s = static_cast<decltype(seen)*>(data);
        s->second.push_back(path->getTail());
        return path->getTail() == s->first ? 7 : -1;
      },
      &seen);
  generator->requestRebuild();
  traverse();
  ASSERT_EQ(testmesh::objectNumbers(model), (std::vector<int>{7, 1}));
  for (const WeFace& f : model.objects[0].faces) EXPECT_EQ(f.object, 7);
  EXPECT_EQ(seen.second, (std::vector<const SoNode*>{a, b}));
}

// Out of memory while gathering: the node reports it and publishes an empty
// model with nothing to start again from, not a torn one; the next rebuild
// works again.
TEST_F(GenerateWingedEdge, FailedBuildPublishesAnEmptyModel) {
  rebuild({strips({0, 1, 2, 3, -1})});
  ASSERT_EQ(generator->workingModel().faceCount(), 2);
  generator->setObjectNumberCallback([](void*, const SoPath*) -> int { throw std::bad_alloc(); }, nullptr);
  EXPECT_EQ(rebuild({strips({0, 1, 2, 3, -1})}),
            "SoGenerateWingedEdge: building the winged-edge model failed (std::bad_alloc)\n");
  EXPECT_EQ(published, &generator->workingModel());
  EXPECT_TRUE(published->objects.empty() && published->source == nullptr);
  EXPECT_TRUE(generator->builtModel().objects.empty() && !generator->hasGeometry());
  generator->setObjectNumberCallback(nullptr, nullptr);
  EXPECT_EQ(rebuild({strips({0, 1, 2, 3, -1})}), "");
  EXPECT_TRUE(published->faceCount() == 2 && published->holdsSource && generator->hasGeometry());
}

// Each strip set uses the coordinates on its own path, the later of two;
// one after the separators has none. Coordinate4 points are divided by
// their weight, and a point without a finite position loses its triangle.
TEST_F(GenerateWingedEdge, EachStripSetUsesTheCoordinatesOnItsOwnPath) {
  EXPECT_EQ(rebuild({scene("Separator { Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] }"
                           " IndexedTriangleStripSet { coordIndex [0, 1, 2, 3, -1] } }"
                           "Separator { Coordinate3 { point [9 9 9, 9 8 9, 8 9 9, 8 8 9] }"
                           " Coordinate3 { point [2 0 0, 3 0 0, 2 1 0, 3 1 0] }"
                           "  IndexedTriangleStripSet { coordIndex [0, 1, 2, 3, -1] } }"
                           "IndexedTriangleStripSet { coordIndex [0, 1, 2, -1] }"
                           "Coordinate4 { point [0 0 0 2, 2 0 0 2, 0 4 0 4, 3 3 0 3, 1 1 1 0] }"
                           "IndexedTriangleStripSet { coordIndex [2, 3, 4, -1, 0, 1, 2, 3] }")},  // no last -1
                    false),
            "SoGenerateWingedEdge: skipped a strip set without coordinates\n");
  const SbWingedEdgeModel& model = generator->workingModel();
  ASSERT_EQ(model.objects.size(), 3u);
  EXPECT_EQ(model.objects[2].faceCount, 2);
  for (int i = 0; i < 3; ++i) expectPositions(model.objects[i], i == 1 ? kSquareShifted : kSquare);
}

// The transform moves a copy of the points, once per build, and ends with
// its separator.
TEST_F(GenerateWingedEdge, TransformMovesACopyOfThePointsOnce) {
  SoSeparator* moved = scene(
      "Translation { translation 10 0 0 } Scale { scaleFactor 2 2 2 } Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] "
      "}"
      "IndexedTriangleStripSet { coordIndex [0, 1, 2, 3, -1] }");
  rebuild({moved, coordinates(kSquareShifted), strips({0, 1, 2, 3, -1})}, false);
  const auto* coords = static_cast<const SoCoordinate3*>(moved->getChild(2));
  for (int pass = 0; pass < 2; ++pass) {
    generator->requestRebuild();
    const SbWingedEdgeModel* model = traverse();
    ASSERT_EQ(model->objects.size(), 2u);
    expectPositions(model->objects[0], {{10, 0, 0}, {12, 0, 0}, {10, 2, 0}, {12, 2, 0}});
    expectPositions(model->objects[1], kSquareShifted);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(coords->point[i], kSquare[i]) << "pass " << pass;
  }
}

// Strips naming points past the end go with a message, strips of fewer than
// three points and triangles at a non-finite point silently.
TEST_F(GenerateWingedEdge, BadStripsAreSkipped) {
  const struct {
    std::vector<int32_t> coordIndex;
    const char* out;
    int faces, vertices;
  } cases[] = {{{0, 1, 2, -1, 1, 3, 4, -1, 1, -5, 3, -1, 2, 1, 3, -1},
                "SoGenerateWingedEdge: skipped 2 strip(s) with coordinate indices out of range\n",
                2,
                4},
               {{0, -1, 0, 1, -1, -1, 1, 3, 2, -1, 3}, "", 1, 3},
               {{0, 1, 2, 3, -1, 2, 3, 4, -1}, "", 2, 4}};  // 4 is not finite
  std::vector<SbVec3f> points = kSquare;
  points.push_back(SbVec3f(std::numeric_limits<float>::quiet_NaN(), 0, 0));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(rebuild({coordinates(&c == &cases[2] ? points : kSquare), strips(c.coordIndex)}, false), c.out);
    const WeObject& o = generator->workingModel().objects.at(0);
    EXPECT_EQ(std::make_tuple(generator->workingModel().objects.size(), o.faceCount, o.vertexCount),
              std::make_tuple(1ul, c.faces, c.vertices));
  }
}

// Coin reads the coordinates other shapes name without checking: a shape that
// names one past the end is left out whole, with a message, and the next
// shape is still gathered.
TEST_F(GenerateWingedEdge, ShapesNamingMissingCoordinatesAreSkippedAndReported) {
  const std::pair<const char*, const char*> cases[] = {
      {"IndexedFaceSet", "IndexedFaceSet { coordIndex [0, 1, 2, -1, 1, 3, 2000000, -1] }"},
      {"FaceSet", "FaceSet { numVertices [3, 3] }"},
      {"FaceSet", "FaceSet { startIndex 5 numVertices -1 }"},
      {"TriangleStripSet", "TriangleStripSet { numVertices [4, 100000] }"},
      {"QuadMesh", "QuadMesh { verticesPerRow 2 verticesPerColumn 3 }"},
      {"VRMLIndexedFaceSet",
       "VRMLIndexedFaceSet { coord VRMLCoordinate { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] }"
       " coordIndex [0, 1, 3, -1, 0, 3, 9, -1] }"},
      {"VRMLElevationGrid", "VRMLElevationGrid { xDimension 3 zDimension 3 height [0, 0, 0, 0] }"}};
  for (const auto& [name, shape] : cases) {
    SCOPED_TRACE(shape);
    EXPECT_EQ(
        rebuild({scene(shape), scene("IndexedFaceSet { coordIndex [0, 1, 3, 2, -1] }")}),
        std::string("SoGenerateWingedEdge: skipped a shape (") + name + ") with coordinate indices out of range\n");
    EXPECT_EQ(std::make_pair(generator->workingModel().objects.size(), generator->workingModel().faceCount()),
              std::make_pair(1ul, 2));
  }
}

// The model is rebuilt only on request (later stages edit the working copy
// in between); switched off or without shapes the node publishes an empty
// model that does not lead the modifier back to the built geometry.
TEST_F(GenerateWingedEdge, RebuildsOnlyOnRequestAndPublishesEmptyWhenOffOrWithoutShapes) {
  rebuild({});
  EXPECT_TRUE(published->objects.empty() && !generator->hasGeometry());
  SoCoordinate3* coords = coordinates(kSquare);
  rebuild({coords, strips({0, 1, 2, 3, -1})}, false);
  ASSERT_TRUE(published->faceCount() == 2 && generator->hasGeometry());
  coords->point.set1Value(0, SbVec3f(-1, -1, 0));
  traverse();
  expectPositions(generator->builtModel().objects[0], kSquare);
  generator->workingModel().objects[0].vertices[0].position = SbVec3f(5, 5, 5);
  traverse();
  EXPECT_EQ(generator->workingModel().objects[0].vertices[0].position, SbVec3f(5, 5, 5));
  generator->requestRebuild();
  traverse();
  std::vector<SbVec3f> changed = kSquare;
  changed[0] = SbVec3f(-1, -1, 0);
  expectPositions(generator->builtModel().objects[0], changed);
  expectPositions(generator->workingModel().objects[0], changed);

  generator->doBuildWingedEdge = FALSE;
  ASSERT_EQ(traverse(), &generator->workingModel());
  EXPECT_TRUE(published->objects.empty() && published->source == nullptr);
  generator->doBuildWingedEdge = TRUE;
  EXPECT_TRUE(traverse()->faceCount() == 2 && published->holdsSource);
  generator->removeChild(1);  // geometry found once and then removed clears the flag again
  generator->requestRebuild();
  EXPECT_TRUE(traverse()->objects.empty() && !generator->hasGeometry());
}

}  // namespace
