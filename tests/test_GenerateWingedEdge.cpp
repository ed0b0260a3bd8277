#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCoordinate4.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoScale.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <Inventor/VRMLnodes/SoVRMLCoordinate.h>
#include <Inventor/VRMLnodes/SoVRMLElevationGrid.h>
#include <Inventor/VRMLnodes/SoVRMLIndexedFaceSet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "TestMeshes.h"
#include "elements/SoWingedEdgeElement.h"
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

std::vector<SbVec3f> sortedPositions(const WeObject& o) {
  std::vector<SbVec3f> p;
  for (const WeVertex& v : o.vertices) p.push_back(v.position);
  std::sort(p.begin(), p.end(), [](const SbVec3f& a, const SbVec3f& b) {
    return std::lexicographical_compare(a.getValue(), a.getValue() + 3, b.getValue(), b.getValue() + 3);
  });
  return p;
}

void expectPositions(const WeObject& o, std::vector<SbVec3f> expected) {
  std::sort(expected.begin(), expected.end(), [](const SbVec3f& a, const SbVec3f& b) {
    return std::lexicographical_compare(a.getValue(), a.getValue() + 3, b.getValue(), b.getValue() + 3);
  });
  std::vector<SbVec3f> actual = sortedPositions(o);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i)
    EXPECT_TRUE(actual[i].equals(expected[i], 1e-5f))
        << "vertex " << i << ": " << actual[i][0] << " " << actual[i][1] << " " << actual[i][2];
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
    seen = false;
    SoCallbackAction action;
    action.addPreCallback(
        SoInfo::getClassTypeId(),
        [](void* data, SoCallbackAction* a, const SoNode*) {
          auto* self = static_cast<GenerateWingedEdge*>(data);
          self->published = SoWingedEdgeElement::get(a->getState());
          self->seen = true;
          return SoCallbackAction::CONTINUE;
        },
        this);
    action.apply(root);
    EXPECT_TRUE(seen);
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
  bool seen = false;
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
  EXPECT_EQ(model->source, &generator->builtModel());
  EXPECT_EQ(generator->builtModel().faceCount(), 2);
}

TEST_F(GenerateWingedEdge, VertexPropertyBuildsTheSameModelAsCoordinate3) {
  auto* vp = new SoVertexProperty;
  vp->vertex.setValues(0, 4, kSquare.data());
  SoIndexedTriangleStripSet* withProperty = strips({0, 1, 2, 3, -1});
  withProperty->vertexProperty = vp;
  generator->addChild(withProperty);
  const SbWingedEdgeModel* a = traverse();
  ASSERT_EQ(a->objects.size(), 1u);
  const WeObject fromProperty = a->objects[0];

  generator->removeAllChildren();
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  generator->requestRebuild();
  const SbWingedEdgeModel* b = traverse();
  ASSERT_EQ(b->objects.size(), 1u);
  const WeObject& fromNode = b->objects[0];

  ASSERT_EQ(fromProperty.vertices.size(), fromNode.vertices.size());
  ASSERT_EQ(fromProperty.faces.size(), fromNode.faces.size());
  ASSERT_EQ(fromProperty.edges.size(), fromNode.edges.size());
  for (size_t v = 0; v < fromNode.vertices.size(); ++v)
    EXPECT_EQ(fromProperty.vertices[v].position, fromNode.vertices[v].position);
  std::vector<int> ca, cb;
  for (int f = 0; f < static_cast<int>(fromNode.faces.size()); ++f) {
    fromProperty.faceCorners(f, ca);
    fromNode.faceCorners(f, cb);
    EXPECT_EQ(ca, cb);
  }
}

TEST_F(GenerateWingedEdge, VertexPropertyWinsOverTheCoordinatesInTheState) {
  generator->addChild(coordinates(kSquareShifted));
  auto* vp = new SoVertexProperty;
  vp->vertex.setValues(0, 4, kSquare.data());
  SoIndexedTriangleStripSet* s = strips({0, 1, 2, 3, -1});
  s->vertexProperty = vp;
  generator->addChild(s);
  const SbWingedEdgeModel* model = traverse();
  ASSERT_EQ(model->objects.size(), 1u);
  expectPositions(model->objects[0], kSquare);
}

TEST_F(GenerateWingedEdge, OneCoordinate3ServesTwoStripSets) {
  std::vector<SbVec3f> points = kSquare;
  points.insert(points.end(), kSquareShifted.begin(), kSquareShifted.end());
  generator->addChild(coordinates(points));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  generator->addChild(strips({4, 5, 6, 7, -1}));
  const SbWingedEdgeModel* model = traverse();
  ASSERT_EQ(model->objects.size(), 2u);
  EXPECT_EQ(model->objects[0].number, 0);
  EXPECT_EQ(model->objects[1].number, 1);
  expectPositions(model->objects[0], kSquare);
  expectPositions(model->objects[1], kSquareShifted);
}

TEST_F(GenerateWingedEdge, EachStripSetUsesTheCoordinatesOnItsOwnPath) {
  // The second strip set follows two coordinate nodes: the later one counts.
  auto* first = new SoSeparator;
  first->addChild(coordinates(kSquare));
  first->addChild(strips({0, 1, 2, 3, -1}));
  auto* second = new SoSeparator;
  second->addChild(coordinates({{9, 9, 9}, {9, 8, 9}, {8, 9, 9}, {8, 8, 9}}));
  second->addChild(coordinates(kSquareShifted));
  second->addChild(strips({0, 1, 2, 3, -1}));
  generator->addChild(first);
  generator->addChild(second);
  // A strip set after the separators has no coordinates in effect.
  generator->addChild(strips({0, 1, 2, -1}));
  std::string out = traverseCapturingOutput();
  EXPECT_EQ(out, "SoGenerateWingedEdge: skipped a strip set without coordinates\n");
  const SbWingedEdgeModel& model = generator->workingModel();
  ASSERT_EQ(model.objects.size(), 2u);
  expectPositions(model.objects[0], kSquare);
  expectPositions(model.objects[1], kSquareShifted);
}

TEST_F(GenerateWingedEdge, Coordinate4PointsAreDividedByTheirWeight) {
  auto* c = new SoCoordinate4;
  // The last point has no finite position: its triangle goes.
  const SbVec4f points[] = {{0, 0, 0, 2}, {2, 0, 0, 2}, {0, 4, 0, 4}, {3, 3, 0, 3}, {1, 1, 1, 0}};
  c->point.setValues(0, 5, points);
  generator->addChild(c);
  generator->addChild(strips({2, 3, 4, -1, 0, 1, 2, 3}));  // the last strip needs no -1
  const SbWingedEdgeModel* model = traverse();
  ASSERT_EQ(model->objects.size(), 1u);
  EXPECT_EQ(model->objects[0].faceCount, 2);
  expectPositions(model->objects[0], kSquare);
}

TEST_F(GenerateWingedEdge, TransformMovesACopyOfThePointsOnce) {
  auto* sep = new SoSeparator;
  auto* move = new SoTranslation;
  move->translation.setValue(10, 0, 0);
  auto* scale = new SoScale;
  scale->scaleFactor.setValue(2, 2, 2);
  SoCoordinate3* coords = coordinates(kSquare);
  sep->addChild(move);
  sep->addChild(scale);
  sep->addChild(coords);
  sep->addChild(strips({0, 1, 2, 3, -1}));
  generator->addChild(sep);
  // Outside the separator the transform no longer applies.
  generator->addChild(coordinates(kSquareShifted));
  generator->addChild(strips({0, 1, 2, 3, -1}));

  const std::vector<SbVec3f> moved = {{10, 0, 0}, {12, 0, 0}, {10, 2, 0}, {12, 2, 0}};
  for (int pass = 0; pass < 2; ++pass) {
    generator->requestRebuild();
    const SbWingedEdgeModel* model = traverse();
    ASSERT_EQ(model->objects.size(), 2u);
    expectPositions(model->objects[0], moved);
    expectPositions(model->objects[1], kSquareShifted);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(coords->point[i], kSquare[i]) << "pass " << pass;
  }
}

TEST_F(GenerateWingedEdge, StripsWithIndicesPastTheEndAreSkippedAndReported) {
  generator->addChild(coordinates(kSquare));
  // Strip 2 names coordinate 4 and strip 3 coordinate -5: both go, the others stay.
  generator->addChild(strips({0, 1, 2, -1, 1, 3, 4, -1, 1, -5, 3, -1, 2, 1, 3, -1}));
  std::string out = traverseCapturingOutput();
  EXPECT_EQ(out, "SoGenerateWingedEdge: skipped 2 strip(s) with coordinate indices out of range\n");
  ASSERT_EQ(generator->workingModel().objects.size(), 1u);
  EXPECT_EQ(generator->workingModel().objects[0].faceCount, 2);
}

// Coin reads the coordinates other shapes name without checking: a shape that
// names one past the end is left out whole, with a message, and the next
// shape is still gathered.
TEST_F(GenerateWingedEdge, ShapesNamingMissingCoordinatesAreSkippedAndReported) {
  auto faceSet = [](int start, std::vector<int32_t> counts) {
    auto* f = new SoFaceSet;
    f->startIndex = start;
    f->numVertices.setValues(0, static_cast<int>(counts.size()), counts.data());
    return static_cast<SoNode*>(f);
  };
  const struct {
    const char* name;
    std::function<SoNode*()> make;
  } cases[] = {
      {"IndexedFaceSet",
       [] {
         auto* f = new SoIndexedFaceSet;
         const int32_t index[] = {0, 1, 2, -1, 1, 3, 2000000, -1};
         f->coordIndex.setValues(0, 8, index);
         return f;
       }},
      {"FaceSet", [&] { return faceSet(0, {3, 3}); }},
      {"FaceSet", [&] { return faceSet(5, {-1}); }},
      {"TriangleStripSet",
       [] {
         auto* t = new SoTriangleStripSet;
         const int32_t counts[] = {4, 100000};
         t->numVertices.setValues(0, 2, counts);
         return t;
       }},
      {"QuadMesh",
       [] {
         auto* q = new SoQuadMesh;
         q->verticesPerRow = 2;
         q->verticesPerColumn = 3;
         return q;
       }},
      {"VRMLIndexedFaceSet",
       [] {
         auto* f = new SoVRMLIndexedFaceSet;
         auto* c = new SoVRMLCoordinate;
         c->point.setValues(0, 4, kSquare.data());
         f->coord = c;
         const int32_t index[] = {0, 1, 3, -1, 0, 3, 9, -1};
         f->coordIndex.setValues(0, 8, index);
         return f;
       }},
      {"VRMLElevationGrid",
       [] {
         auto* g = new SoVRMLElevationGrid;
         g->xDimension = 3;
         g->zDimension = 3;
         g->height.setNum(4);
         return g;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    generator->removeAllChildren();
    generator->addChild(coordinates(kSquare));
    generator->addChild(c.make());
    auto* good = new SoIndexedFaceSet;
    const int32_t square[] = {0, 1, 3, 2, -1};
    good->coordIndex.setValues(0, 5, square);
    generator->addChild(good);
    generator->requestRebuild();
    EXPECT_EQ(traverseCapturingOutput(), std::string("SoGenerateWingedEdge: skipped a shape (") +
                                             c.name + ") with coordinate indices out of range\n");
    ASSERT_EQ(generator->workingModel().objects.size(), 1u);
    EXPECT_EQ(generator->workingModel().objects[0].faceCount, 2);
  }
}

TEST_F(GenerateWingedEdge, StripsOfFewerThanThreeIndicesAddNothing) {
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, -1, 0, 1, -1, -1, 1, 3, 2, -1, 3}));
  std::string out = traverseCapturingOutput();
  EXPECT_EQ(out, "");
  ASSERT_EQ(generator->workingModel().objects.size(), 1u);
  const WeObject& o = generator->workingModel().objects[0];
  EXPECT_EQ(o.faceCount, 1);
  EXPECT_EQ(o.vertexCount, 3);
}

TEST_F(GenerateWingedEdge, TrianglesWithNonFiniteCornersAreSkipped) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<SbVec3f> points = kSquare;
  points.push_back(SbVec3f(nan, 0, 0));
  generator->addChild(coordinates(points));
  generator->addChild(strips({0, 1, 2, 3, -1, 2, 3, 4, -1}));
  traverse();
  ASSERT_EQ(generator->workingModel().objects.size(), 1u);
  const WeObject& o = generator->workingModel().objects[0];
  EXPECT_EQ(o.faceCount, 2);
  for (const WeVertex& v : o.vertices) EXPECT_FALSE(std::isnan(v.position[0]));
}

TEST_F(GenerateWingedEdge, SwitchedOffPublishesAnEmptyModelAndBackOnRestoresIt) {
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  traverse();
  ASSERT_EQ(generator->workingModel().faceCount(), 2);

  generator->doBuildWingedEdge = FALSE;
  const SbWingedEdgeModel* model = traverse();
  ASSERT_EQ(model, &generator->workingModel());
  EXPECT_TRUE(model->objects.empty());
  // The empty model must not lead the modifier back to the built geometry.
  EXPECT_EQ(model->source, nullptr);

  generator->doBuildWingedEdge = TRUE;
  model = traverse();
  EXPECT_EQ(model->faceCount(), 2);
  EXPECT_EQ(model->source, &generator->builtModel());
}

TEST_F(GenerateWingedEdge, SceneWithoutStripSetsGivesNoObjects) {
  generator->addChild(coordinates(kSquare));
  const SbWingedEdgeModel* model = traverse();
  ASSERT_NE(model, nullptr);
  EXPECT_TRUE(model->objects.empty());
  EXPECT_FALSE(generator->hasGeometry());

  // Geometry found once and then removed clears the flag again.
  generator->addChild(strips({0, 1, 2, -1}));
  generator->requestRebuild();
  traverse();
  EXPECT_TRUE(generator->hasGeometry());
  generator->removeChild(1);
  generator->requestRebuild();
  traverse();
  EXPECT_FALSE(generator->hasGeometry());
  EXPECT_TRUE(generator->workingModel().objects.empty());
}

TEST_F(GenerateWingedEdge, ObjectNumberCallbackChoosesTheNumbers) {
  std::vector<SbVec3f> points = kSquare;
  points.insert(points.end(), kSquareShifted.begin(), kSquareShifted.end());
  generator->addChild(coordinates(points));
  SoIndexedTriangleStripSet* a = strips({0, 1, 2, 3, -1});
  SoIndexedTriangleStripSet* b = strips({4, 5, 6, 7, -1});
  generator->addChild(a);
  generator->addChild(b);
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
  traverse();
  const SbWingedEdgeModel& model = generator->workingModel();
  ASSERT_EQ(model.objects.size(), 2u);
  EXPECT_EQ(model.objects[0].number, 7);
  EXPECT_EQ(model.objects[1].number, 1);  // -1: its position among the strip sets
  for (const WeFace& f : model.objects[0].faces) EXPECT_EQ(f.object, 7);
  ASSERT_EQ(seen.tails.size(), 2u);
  EXPECT_EQ(seen.tails[0], a);
  EXPECT_EQ(seen.tails[1], b);
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

TEST_F(GenerateWingedEdge, SettingsGoToTheWorkingModel) {
  generator->addChild(coordinates(kSquare));
  generator->addChild(strips({0, 1, 2, 3, -1}));
  generator->curvatureMode = 9;
  generator->threshold = 0.25f;
  traverse();
  SbWingedEdgeModel& model = generator->workingModel();
  EXPECT_EQ(model.curvatureMode, 9);
  EXPECT_DOUBLE_EQ(model.threshold, 0.25);
  EXPECT_EQ(model.visualizationMode, 2);

  // A new display mode makes the drawing stale; the same mode does not.
  model.displayListsValid = true;
  traverse();
  EXPECT_TRUE(model.displayListsValid);
  generator->visualizationMode = 3;
  traverse();
  EXPECT_EQ(model.visualizationMode, 3);
  EXPECT_FALSE(model.displayListsValid);

  // A rebuild copies new geometry but keeps the working model's settings.
  generator->requestRebuild();
  traverse();
  EXPECT_EQ(model.curvatureMode, 9);
  EXPECT_EQ(model.visualizationMode, 3);
}

TEST_F(GenerateWingedEdge, TorusStripsBuildOneClosedObject) {
  StripMesh mesh = testmesh::torusStrips(24, 12, 2.0f, 0.5f);
  generator->addChild(coordinates(mesh.coords));
  generator->addChild(strips(mesh.coordIndex));
  traverse();
  ASSERT_EQ(generator->workingModel().objects.size(), 1u);
  const WeObject& o = generator->workingModel().objects[0];
  EXPECT_EQ(o.faceCount, mesh.triangleCount());
  EXPECT_EQ(o.vertexCount, 24 * 12);
  // Closed surface of genus 1: every edge has two faces and V - E + F = 0.
  for (const WeEdge& e : o.edges) EXPECT_FALSE(e.isBoundary());
  EXPECT_EQ(o.vertexCount - o.edgeCount + o.faceCount, 0);
}

TEST(GenerateWingedEdgeFile, ReadsAnInventorModel) {
  const char* path = "/usr/share/inventor/data/models/torus.iv";
  FILE* probe = fopen(path, "rb");
  if (!probe) GTEST_SKIP() << path << " is not installed (package inventor-data)";
  fclose(probe);
  SoInput in;
  ASSERT_TRUE(in.openFile(path));
  SoSeparator* scene = SoDB::readAll(&in);
  ASSERT_NE(scene, nullptr);
  auto* generator = new SoGenerateWingedEdge;
  generator->ref();
  generator->addChild(scene);
  SoCallbackAction action;
  action.apply(generator);
  EXPECT_TRUE(generator->hasGeometry());
  const SbWingedEdgeModel& model = generator->workingModel();
  ASSERT_FALSE(model.objects.empty());
  EXPECT_GT(model.faceCount(), 100);
  std::vector<int> corners;
  for (const WeObject& o : model.objects)
    for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
      o.faceCorners(f, corners);
      ASSERT_EQ(corners.size(), 3u);
    }
  generator->unref();
}

}  // namespace
