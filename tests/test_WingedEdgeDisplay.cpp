#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoWindowElement.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>

#include <QImage>

#include <memory>
#include <set>

#include "GlTestContext.h"
#include "TestMeshes.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoWingedEdge.h"

// Publishes a given model (and, optionally, stale per-vertex line values) in
// every action, standing in for the generator.
class TestModelNode : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(TestModelNode);

public:
  static void initClass() {
    if (getClassTypeId() == SoType::badType()) SO_NODE_INIT_CLASS(TestModelNode, SoNode, "Node");
  }
  TestModelNode() { SO_NODE_CONSTRUCTOR(TestModelNode); }

  SbWingedEdgeModel* model = nullptr;
  std::vector<float> stale = std::vector<float>(7, 1.0f);

  void doAction(SoAction* action) override {
    SoState* state = action->getState();
    SoWingedEdgeElement::set(state, this, model);
    if (state->isElementEnabled(SoLineThicknessElement::getClassStackIndex())) {
      SoLineThicknessElement::set(state, this, int32_t(stale.size()), stale.data());
      SoLineParameterizationElement::set(state, this, int32_t(stale.size()), stale.data());
      SoLineTaperElementHQ::set(state, this, int32_t(stale.size()), stale.data());
      SoLineDensityElementHQ::set(state, this, int32_t(stale.size()), stale.data());
    }
  }
  void GLRender(SoGLRenderAction* action) override { doAction(action); }
  void callback(SoCallbackAction* action) override { doAction(action); }
  void getBoundingBox(SoGetBoundingBoxAction* action) override { doAction(action); }

private:
  ~TestModelNode() override = default;
};

SO_NODE_SOURCE(TestModelNode);

namespace {

// ---------------------------------------------------------------- line set (no GL)

struct LineSet {
  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  int32_t thickness = -1, parameterization = -1, taper = -1, triangle = -1, density = -1;
};

SoCallbackAction::Response readLineSet(void* data, SoCallbackAction* action, const SoNode*) {
  auto* out = static_cast<LineSet*>(data);
  SoState* state = action->getState();
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  out->points.clear();
  for (int i = 0; i < coords->getNum(); ++i) out->points.push_back(coords->get3(i));
  int32_t count = 0;
  const int32_t* idx = SoLineCoordinateIndexElement::get(state, count);
  out->indices.assign(idx, idx + count);
  SoLineThicknessElement::get(state, out->thickness);
  SoLineParameterizationElement::get(state, out->parameterization);
  SoLineTaperElementHQ::get(state, out->taper);
  SoLineTriangleElementHQ::get(state, out->triangle);
  SoLineDensityElementHQ::get(state, out->density);
  return SoCallbackAction::CONTINUE;
}

class WingedEdgeLineSet : public ::testing::Test {
protected:
  void SetUp() override {
    TestModelNode::initClass();
    root = new SoSeparator;
    root->ref();
    source = new TestModelNode;
    shape = new SoWingedEdge;
    marker = new SoInfo;
    root->addChild(source);
    root->addChild(shape);
    root->addChild(marker);
  }
  void TearDown() override { root->unref(); }

  LineSet read() {
    LineSet out;
    SoCallbackAction action;
    action.addPreCallback(SoInfo::getClassTypeId(), readLineSet, &out);
    action.apply(root);
    return out;
  }

  SoSeparator* root = nullptr;
  TestModelNode* source = nullptr;
  SoWingedEdge* shape = nullptr;
  SoInfo* marker = nullptr;
};

TEST_F(WingedEdgeLineSet, EveryEdgeBecomesItsOwnTwoPointPolyline) {
  PolyMesh cubeMesh = testmesh::cube(), tetMesh = testmesh::tetrahedron();
  SbWingedEdgeModel model = testmesh::model({&cubeMesh, &tetMesh});
  model.visualizationMode = 1;
  source->model = &model;
  shape->sendLines = TRUE;
  LineSet lines = read();
  const WeObject& cube = model.objects[0];
  const WeObject& tet = model.objects[1];
  const size_t edges = cube.edges.size() + tet.edges.size();
  ASSERT_EQ(lines.indices.size(), 3 * edges);
  // One point per vertex record, shared by the edges that meet there.
  EXPECT_EQ(lines.points.size(), cube.vertices.size() + tet.vertices.size());
  for (size_t k = 0; k < edges; ++k) {
    EXPECT_EQ(lines.indices[3 * k + 2], -1);
    const WeObject& o = k < cube.edges.size() ? cube : tet;
    const WeEdge& e = o.edges[k < cube.edges.size() ? k : k - cube.edges.size()];
    ASSERT_LT(size_t(lines.indices[3 * k]), lines.points.size());
    ASSERT_LT(size_t(lines.indices[3 * k + 1]), lines.points.size());
    EXPECT_EQ(lines.points[lines.indices[3 * k]], o.vertices[e.vertex[0]].position);
    EXPECT_EQ(lines.points[lines.indices[3 * k + 1]], o.vertices[e.vertex[1]].position);
  }
  // The stale arrays set before are hidden behind empty ones.
  EXPECT_EQ(lines.thickness, 0);
  EXPECT_EQ(lines.parameterization, 0);
  EXPECT_EQ(lines.taper, 0);
  EXPECT_EQ(lines.triangle, 0);
  EXPECT_EQ(lines.density, 0);
}

TEST_F(WingedEdgeLineSet, VariantOneSendsOnlySharpAndBoundaryEdges) {
  SbWingedEdgeModel model = testmesh::model(testmesh::grid(3, 3, 1.0f));
  WeObject& o = model.objects[0];
  int boundary = 0;
  for (const WeEdge& e : o.edges) boundary += e.isBoundary();
  // Mark one interior edge sharp.
  for (WeEdge& e : o.edges)
    if (!e.isBoundary()) {
      e.flags |= WE_SHARP;
      break;
    }
  model.visualizationMode = 5;
  source->model = &model;
  shape->sendLines = TRUE;
  EXPECT_EQ(read().indices.size(), size_t(3 * (boundary + 1)));
  shape->setVisualizationOverride(8);
  EXPECT_EQ(read().indices.size(), 3 * o.edges.size());
}

TEST_F(WingedEdgeLineSet, NothingIsSentOutsideLineModesOrWithoutTheSwitch) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube());
  source->model = &model;
  model.visualizationMode = 1;
  EXPECT_TRUE(read().indices.empty()) << "sendLines is off";
  shape->sendLines = TRUE;
  for (int mode : {2, 3, 4, 6}) {
    model.visualizationMode = mode;
    EXPECT_TRUE(read().indices.empty()) << "mode " << mode;
  }
  source->model = nullptr;
  model.visualizationMode = 1;
  EXPECT_TRUE(read().indices.empty()) << "no model";
}

TEST_F(WingedEdgeLineSet, BoundingBoxIsTheModels) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube(2.0f));
  SbViewportRegion vp(100, 100);
  SoGetBoundingBoxAction bbox(vp);
  bbox.apply(root);
  EXPECT_TRUE(bbox.getBoundingBox().isEmpty()) << "no model, no box";
  source->model = &model;
  bbox.apply(root);
  SbBox3f box = bbox.getBoundingBox();
  EXPECT_EQ(box.getMin(), SbVec3f(-2, -2, -2));
  EXPECT_EQ(box.getMax(), SbVec3f(2, 2, 2));
}

// ---------------------------------------------------------------- GL drawing

class WingedEdgeDisplay : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_TRUE(gltest::ensureContext()); }

  void SetUp() override {
    ASSERT_TRUE(gltest::ensureContext());
    root = new SoSeparator;
    root->ref();
    camera = new SoOrthographicCamera;
    root->addChild(camera);
    root->addChild(new SoDirectionalLight);
    auto* invisible = new SoDrawStyle;
    invisible->style = SoDrawStyle::INVISIBLE;
    root->addChild(invisible);
    generator = new SoGenerateWingedEdge;
    StripMesh sphere = testmesh::sphereStrips(24, 12, 1.0f);
    auto* coords = new SoCoordinate3;
    coords->point.setValues(0, int(sphere.coords.size()), sphere.coords.data());
    auto* strips = new SoIndexedTriangleStripSet;
    strips->coordIndex.setValues(0, int(sphere.coordIndex.size()), sphere.coordIndex.data());
    generator->addChild(coords);
    generator->addChild(strips);
    root->addChild(generator);
    auto* filled = new SoDrawStyle;
    filled->style = SoDrawStyle::FILLED;
    root->addChild(filled);
    shape = new SoWingedEdge;
    shape->setLineColour(SbColor(1, 1, 1));
    shape->lineWidth = 2.0f;
    root->addChild(shape);
    camera->viewAll(root, SbViewportRegion(kSize, kSize));
  }
  void TearDown() override { root->unref(); }

  QImage render(int mode) {
    generator->visualizationMode = mode;
    QImage image = gltest::render(root, kSize, kSize);
    if (const char* dir = getenv("LINFOLD_DUMP_DIR")) image.save(QString("%1/mode%2.png").arg(dir).arg(mode));
    return image;
  }

  static int drawnPixels(const QImage& image) { return gltest::drawnPixels(image); }
  // Pixels whose red and blue differ clearly: colour, not grey.
  static int tintedPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        QRgb p = image.pixel(x, y);
        n += std::abs(qRed(p) - qBlue(p)) > 40;
      }
    return n;
  }

  static constexpr int kSize = 96;

  SoSeparator* root = nullptr;
  SoOrthographicCamera* camera = nullptr;
  SoGenerateWingedEdge* generator = nullptr;
  SoWingedEdge* shape = nullptr;
};

TEST_F(WingedEdgeDisplay, ModesDrawDifferentPictures) {
  QImage faces = render(2), lines = render(1), coloured = render(3), nothing = render(4);
  const int all = kSize * kSize;
  EXPECT_GT(drawnPixels(faces), all / 5);
  EXPECT_GT(drawnPixels(lines), all / 20);
  EXPECT_GT(drawnPixels(coloured), all / 5);
  EXPECT_EQ(drawnPixels(nothing), 0) << "depth only leaves the background";
  EXPECT_NE(faces, lines);
  EXPECT_NE(faces, coloured);
  EXPECT_NE(lines, coloured);
  // The heuristic measure of a sphere is one-signed: coloured, not grey.
  EXPECT_GT(tintedPixels(coloured), all / 10);
  EXPECT_EQ(tintedPixels(faces), 0);
}

TEST_F(WingedEdgeDisplay, OtherModesDrawToo) {
  const int all = kSize * kSize;
  QImage three = render(6);
  EXPECT_GT(drawnPixels(three), all / 5);
  EXPECT_GT(tintedPixels(three), all / 10) << "a sphere is in one signed class";
  QImage directions = render(7);
  EXPECT_GT(tintedPixels(directions), 20) << "red and blue direction crosses";
  QImage feature = render(5);
  EXPECT_EQ(drawnPixels(feature), 0) << "a closed smooth sphere has no sharp or boundary edge";
  QImage throughLines = render(8);
  EXPECT_GT(drawnPixels(throughLines), drawnPixels(render(1))) << "no depth test shows the back edges too";
}

TEST_F(WingedEdgeDisplay, DisplayListsFollowTheModel) {
  QImage first = render(2);
  EXPECT_EQ(render(2), first) << "drawing from the lists repeats the picture";
  QImage lines = render(1);
  shape->setVisualizationOverride(1);
  EXPECT_EQ(render(2), lines) << "the override wins over the model's mode";
  shape->setVisualizationOverride(-1);
  EXPECT_EQ(render(2), first);
  // Moving the model's vertices is picked up once the lists are invalidated.
  SbWingedEdgeModel& model = generator->workingModel();
  for (WeObject& o : model.objects)
    for (WeVertex& v : o.vertices) v.position *= 0.5f;
  model.displayListsValid = false;
  EXPECT_LT(drawnPixels(render(2)), drawnPixels(first));
}

TEST_F(WingedEdgeDisplay, SendLinesDrawsNoEdges) {
  shape->hideBackfaces = FALSE;
  EXPECT_GT(drawnPixels(render(1)), 0);
  shape->sendLines = TRUE;
  EXPECT_EQ(drawnPixels(render(1)), 0);
  EXPECT_GT(drawnPixels(render(2)), 0) << "faces are drawn whatever sendLines says";
}

TEST_F(WingedEdgeDisplay, NoModelDrawsNothing) {
  generator->doBuildWingedEdge = FALSE;
  EXPECT_EQ(drawnPixels(render(2)), 0);
  EXPECT_EQ(drawnPixels(render(1)), 0);
}

}  // namespace
