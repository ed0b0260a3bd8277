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
#include <vector>

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
    root = new SoSeparator;
    root->ref();
    generator = new SoGenerateWingedEdge;
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

  // Traverses and returns what the traversal printed.
  std::string traverseCapturingOutput() {
    testing::internal::CaptureStdout();
    traverse();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  SoSeparator* root = nullptr;
  SoGenerateWingedEdge* generator = nullptr;
  const SbWingedEdgeModel* published = nullptr;
};

TEST_F(GenerateWingedEdge, PublishesTheWorkingModelBuiltFromTheStrips) {
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  const SbWingedEdgeModel* model = traverse();
  ASSERT_EQ(model, &generator->workingModel());
  EXPECT_TRUE(generator->hasGeometry());
  ASSERT_EQ(model->objects.size(), 1u);
  const WeObject& o = model->objects[0];
  EXPECT_EQ(o.faceCount, 2);
  EXPECT_EQ(o.edgeCount, 5);
  EXPECT_EQ(o.vertexCount, 4);
  expectPositions(o, kSquare);
  // Both triangles face +z: the strip's alternation keeps the winding.
  for (const WeFace& f : o.faces) EXPECT_TRUE(f.normal.equals(SbVec3f(0, 0, 1), 1e-6f));
  // The built objects are lent to the working model, not copied.
  EXPECT_TRUE(model->holdsSource);
  EXPECT_EQ(generator->builtModel().faceCount(), 2);

  // A vertex property wins over the coordinates in the state and gives the same model.
  const WeObject fromNode = o;
  generator->removeAllChildren();
  generator->addChild(
      scene("Coordinate3 { point [2 0 0, 3 0 0, 2 1 0, 3 1 0] } IndexedTriangleStripSet {"
            " vertexProperty VertexProperty { vertex [0 0 0, 1 0 0, 0 1 0, 1 1 0] } coordIndex [0, 1, 2, 3, -1] }"));
  generator->requestRebuild();
  const WeObject& fromProperty = traverse()->objects.at(0);
  ASSERT_EQ(fromProperty.faces.size(), 2u);
  std::vector<int> ca, cb;
  for (int f = 0; f < 2; ++f) {
    fromProperty.faceCorners(f, ca);
    fromNode.faceCorners(f, cb);
    EXPECT_EQ(ca, cb);
    for (size_t k = 0; k < ca.size(); ++k)
      EXPECT_EQ(fromProperty.vertices[ca[k]].position, fromNode.vertices[cb[k]].position);
  }
}

// One Coordinate3 serves two strip sets; the callback numbers the objects,
// -1 keeping an object's position among the strip sets.
TEST_F(GenerateWingedEdge, ObjectNumberCallbackChoosesTheNumbers) {
  std::vector<SbVec3f> points = kSquare;
  points.insert(points.end(), kSquareShifted.begin(), kSquareShifted.end());
  generator->addChild(coordinates(points));
  SoIndexedTriangleStripSet* a = strips({0, 1, 2, 3, -1});
  SoIndexedTriangleStripSet* b = strips({4, 5, 6, 7, -1});
  generator->addChild(a);
  generator->addChild(b);
  const SbWingedEdgeModel& model = *traverse();
  ASSERT_EQ(model.objects.size(), 2u);
  EXPECT_EQ(model.objects[0].number, 0);
  EXPECT_EQ(model.objects[1].number, 1);
  expectPositions(model.objects[0], kSquare);
  expectPositions(model.objects[1], kSquareShifted);

  struct Seen {
    SoIndexedTriangleStripSet* first;
    std::vector<const SoNode*> tails;
  } seen{a, {}};
  generator->setObjectNumberCallback(
      [](void* data, const SoPath* path) {
        auto* s = static_cast<Seen*>(data);
        s->tails.push_back(path->getTail());
        return path->getTail() == s->first ? 7 : -1;
      },
      &seen);
  generator->requestRebuild();
  traverse();
  ASSERT_EQ(model.objects.size(), 2u);
  EXPECT_EQ(model.objects[0].number, 7);
  EXPECT_EQ(model.objects[1].number, 1);
  for (const WeFace& f : model.objects[0].faces) EXPECT_EQ(f.object, 7);
  EXPECT_EQ(seen.tails, (std::vector<const SoNode*>{a, b}));
}

// Out of memory while gathering: the node reports it and publishes an empty
// model with nothing to start again from, not a torn one; the next rebuild
// works again.
TEST_F(GenerateWingedEdge, FailedBuildPublishesAnEmptyModel) {
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  traverse();
  ASSERT_EQ(generator->workingModel().faceCount(), 2);
  generator->setObjectNumberCallback([](void*, const SoPath*) -> int { throw std::bad_alloc(); }, nullptr);
  generator->requestRebuild();
  EXPECT_EQ(traverseCapturingOutput(),
            "SoGenerateWingedEdge: building the winged-edge model failed (std::bad_alloc)\n");
  EXPECT_EQ(published, &generator->workingModel());
  EXPECT_TRUE(published->objects.empty());
  EXPECT_EQ(published->source, nullptr);
  EXPECT_TRUE(generator->builtModel().objects.empty());
  EXPECT_FALSE(generator->hasGeometry());

  generator->setObjectNumberCallback(nullptr, nullptr);
  generator->requestRebuild();
  EXPECT_EQ(traverseCapturingOutput(), "");
  EXPECT_EQ(published->faceCount(), 2);
  EXPECT_TRUE(published->holdsSource);
  EXPECT_TRUE(generator->hasGeometry());
}

// Each strip set uses the coordinates on its own path, the later of two;
// one after the separators has none. Coordinate4 points are divided by
// their weight, and a point without a finite position loses its triangle.
TEST_F(GenerateWingedEdge, EachStripSetUsesTheCoordinatesOnItsOwnPath) {
  generator->addChild(
      scene("Separator { Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] } IndexedTriangleStripSet { coordIndex [0, "
            "1, 2, 3, -1] } }"
            "Separator { Coordinate3 { point [9 9 9, 9 8 9, 8 9 9, 8 8 9] } Coordinate3 { point [2 0 0, 3 0 0, 2 1 0, "
            "3 1 0] }"
            "  IndexedTriangleStripSet { coordIndex [0, 1, 2, 3, -1] } }"
            "IndexedTriangleStripSet { coordIndex [0, 1, 2, -1] }"
            "Coordinate4 { point [0 0 0 2, 2 0 0 2, 0 4 0 4, 3 3 0 3, 1 1 1 0] }"
            "IndexedTriangleStripSet { coordIndex [2, 3, 4, -1, 0, 1, 2, 3] }"));  // the last strip needs no -1
  EXPECT_EQ(traverseCapturingOutput(), "SoGenerateWingedEdge: skipped a strip set without coordinates\n");
  const SbWingedEdgeModel& model = generator->workingModel();
  ASSERT_EQ(model.objects.size(), 3u);
  expectPositions(model.objects[0], kSquare);
  expectPositions(model.objects[1], kSquareShifted);
  EXPECT_EQ(model.objects[2].faceCount, 2);
  expectPositions(model.objects[2], kSquare);
}

// The transform moves a copy of the points, once per build, and ends with
// its separator.
TEST_F(GenerateWingedEdge, TransformMovesACopyOfThePointsOnce) {
  SoSeparator* moved = scene(
      "Translation { translation 10 0 0 } Scale { scaleFactor 2 2 2 } Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] "
      "}"
      "IndexedTriangleStripSet { coordIndex [0, 1, 2, 3, -1] }");
  generator->addChild(moved);
  generator->addChild(coordinates(kSquareShifted));
  generator->addChild(strips({0, 1, 2, 3, -1}));
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

TEST_F(GenerateWingedEdge, BadStripsAreSkipped) {
  std::vector<SbVec3f> withNan = kSquare;
  withNan.push_back(SbVec3f(std::numeric_limits<float>::quiet_NaN(), 0, 0));
  const struct {
    const char* name;
    const std::vector<SbVec3f>& points;
    std::vector<int32_t> coordIndex;
    const char* out;
    int faces, vertices;
  } cases[] = {
      // Strip 2 names coordinate 4 and strip 3 coordinate -5: both go, the others stay.
      {"past the end",
       kSquare,
       {0, 1, 2, -1, 1, 3, 4, -1, 1, -5, 3, -1, 2, 1, 3, -1},
       "SoGenerateWingedEdge: skipped 2 strip(s) with coordinate indices out of range\n",
       2,
       4},
      {"fewer than three", kSquare, {0, -1, 0, 1, -1, -1, 1, 3, 2, -1, 3}, "", 1, 3},
      {"non-finite corner", withNan, {0, 1, 2, 3, -1, 2, 3, 4, -1}, "", 2, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    generator->removeAllChildren();
    generator->addChild(coordinates(c.points));
    generator->addChild(strips(c.coordIndex));
    generator->requestRebuild();
    EXPECT_EQ(traverseCapturingOutput(), c.out);
    ASSERT_EQ(generator->workingModel().objects.size(), 1u);
    EXPECT_EQ(generator->workingModel().objects[0].faceCount, c.faces);
    EXPECT_EQ(generator->workingModel().objects[0].vertexCount, c.vertices);
  }
}

// Coin reads the coordinates other shapes name without checking: a shape that
// names one past the end is left out whole, with a message, and the next
// shape is still gathered.
TEST_F(GenerateWingedEdge, ShapesNamingMissingCoordinatesAreSkippedAndReported) {
  const struct {
    const char* name;
    const char* shape;
  } cases[] = {
      {"IndexedFaceSet", "IndexedFaceSet { coordIndex [0, 1, 2, -1, 1, 3, 2000000, -1] }"},
      {"FaceSet", "FaceSet { numVertices [3, 3] }"},
      {"FaceSet", "FaceSet { startIndex 5 numVertices -1 }"},
      {"TriangleStripSet", "TriangleStripSet { numVertices [4, 100000] }"},
      {"QuadMesh", "QuadMesh { verticesPerRow 2 verticesPerColumn 3 }"},
      {"VRMLIndexedFaceSet",
       "VRMLIndexedFaceSet { coord VRMLCoordinate { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] }"
       " coordIndex [0, 1, 3, -1, 0, 3, 9, -1] }"},
      {"VRMLElevationGrid", "VRMLElevationGrid { xDimension 3 zDimension 3 height [0, 0, 0, 0] }"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shape);
    generator->removeAllChildren();
    generator->addChild(coordinates(kSquare));
    generator->addChild(scene(c.shape));
    generator->addChild(scene("IndexedFaceSet { coordIndex [0, 1, 3, 2, -1] }"));
    generator->requestRebuild();
    EXPECT_EQ(traverseCapturingOutput(), std::string("SoGenerateWingedEdge: skipped a shape (") + c.name +
                                             ") with coordinate indices out of range\n");
    ASSERT_EQ(generator->workingModel().objects.size(), 1u);
    EXPECT_EQ(generator->workingModel().objects[0].faceCount, 2);
  }
}

TEST_F(GenerateWingedEdge, SwitchedOffOrWithoutShapesPublishesAnEmptyModel) {
  generator->addChild(coordinates(kSquare));
  EXPECT_TRUE(traverse()->objects.empty());
  EXPECT_FALSE(generator->hasGeometry());
  generator->addChild(strips({0, 1, 2, 3, -1}));
  generator->requestRebuild();
  ASSERT_EQ(traverse()->faceCount(), 2);
  EXPECT_TRUE(generator->hasGeometry());

  generator->doBuildWingedEdge = FALSE;
  ASSERT_EQ(traverse(), &generator->workingModel());
  EXPECT_TRUE(published->objects.empty());
  // The empty model must not lead the modifier back to the built geometry.
  EXPECT_EQ(published->source, nullptr);
  generator->doBuildWingedEdge = TRUE;
  EXPECT_EQ(traverse()->faceCount(), 2);
  EXPECT_TRUE(published->holdsSource);

  // Geometry found once and then removed clears the flag again.
  generator->removeChild(1);
  generator->requestRebuild();
  EXPECT_TRUE(traverse()->objects.empty());
  EXPECT_FALSE(generator->hasGeometry());
}

TEST_F(GenerateWingedEdge, RebuildsOnlyOnRequest) {
  SoCoordinate3* coords = coordinates(kSquare);
  generator->addChild(coords);
  generator->addChild(strips({0, 1, 2, 3, -1}));
  traverse();
  coords->point.set1Value(0, SbVec3f(-1, -1, 0));
  traverse();
  expectPositions(generator->builtModel().objects[0], kSquare);
  expectPositions(generator->workingModel().objects[0], kSquare);

  // Later stages edit the working copy; a traversal without a request keeps their work.
  generator->workingModel().objects[0].vertices[0].position = SbVec3f(5, 5, 5);
  traverse();
  EXPECT_EQ(generator->workingModel().objects[0].vertices[0].position, SbVec3f(5, 5, 5));

  generator->requestRebuild();
  traverse();
  std::vector<SbVec3f> changed = kSquare;
  changed[0] = SbVec3f(-1, -1, 0);
  expectPositions(generator->builtModel().objects[0], changed);
  expectPositions(generator->workingModel().objects[0], changed);
}

// A new display mode makes the drawing stale, the same mode does not; a
// rebuild copies new geometry but keeps the working model's settings.
TEST_F(GenerateWingedEdge, SettingsGoToTheWorkingModel) {
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  generator->curvatureMode = 9;
  SbWingedEdgeModel& model = generator->workingModel();
  traverse();
  for (int mode : {2, 3}) {
    generator->visualizationMode = mode;
    model.displayListsValid = true;
    traverse();
    EXPECT_EQ(model.displayListsValid, mode == 2);
  }
  generator->requestRebuild();
  traverse();
  EXPECT_EQ(model.curvatureMode, 9);
  EXPECT_EQ(model.visualizationMode, 3);
}

}  // namespace
