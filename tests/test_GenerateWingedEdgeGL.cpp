// SoGenerateWingedEdge under a GL render traversal (offscreen, through Qt),
// and NURBS surfaces, which Coin tessellates only with a GL context current.

#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "elements/SoWingedEdgeElement.h"
#include "mesh/SoGenerateWingedEdge.h"

// Records the model each render traversal publishes. A plain node, so that it
// lets a separator cache unless something below invalidates the cache.
class ModelProbe : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(ModelProbe);

public:
  static void initClass() {
    SO_NODE_INIT_CLASS(ModelProbe, SoNode, "Node");
    SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  }
  ModelProbe() { SO_NODE_CONSTRUCTOR(ModelProbe); }
  void GLRender(SoGLRenderAction* action) override {
    seen.push_back(SoWingedEdgeElement::get(action->getState()));
  }
  std::vector<const SbWingedEdgeModel*> seen;
};

SO_NODE_SOURCE(ModelProbe);

namespace {

class GenerateWingedEdgeRender : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_generatewingededge_gl";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    surface = new QOffscreenSurface;
    surface->create();
    context = new QOpenGLContext;
    ASSERT_TRUE(context->create());
    ASSERT_TRUE(context->makeCurrent(surface));
    fbo = new QOpenGLFramebufferObject(16, 16, QOpenGLFramebufferObject::CombinedDepthStencil);
    ASSERT_TRUE(fbo->isValid());
    cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
    if (ModelProbe::getClassTypeId() == SoType::badType()) ModelProbe::initClass();
  }
  static void TearDownTestSuite() {
    delete fbo;
    context->doneCurrent();
    delete context;
    delete surface;
  }

  void SetUp() override {
    ASSERT_TRUE(context->makeCurrent(surface));
    root = new SoSeparator;
    root->ref();
    // A caching separator would replay its cache without running the generator.
    auto* cached = new SoSeparator;
    cached->renderCaching = SoSeparator::ON;
    root->addChild(cached);
    generator = new SoGenerateWingedEdge;
    coords = new SoCoordinate3;
    const SbVec3f square[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    coords->point.setValues(0, 4, square);
    auto* strips = new SoIndexedTriangleStripSet;
    const int32_t index[] = {0, 1, 2, 3, -1};
    strips->coordIndex.setValues(0, 5, index);
    generator->addChild(coords);
    generator->addChild(strips);
    probe = new ModelProbe;
    generator->addChild(probe);
    cached->addChild(generator);
  }
  void TearDown() override { root->unref(); }

  void render(SoNode* scene = nullptr) {
    fbo->bind();
    SoGLRenderAction action(SbViewportRegion(16, 16));
    action.setCacheContext(cacheContext);
    action.apply(scene ? scene : root);
    glFinish();
    fbo->release();
  }

  static QOffscreenSurface* surface;
  static QOpenGLContext* context;
  static QOpenGLFramebufferObject* fbo;
  static uint32_t cacheContext;
  SoSeparator* root = nullptr;
  SoGenerateWingedEdge* generator = nullptr;
  SoCoordinate3* coords = nullptr;
  ModelProbe* probe = nullptr;
};

QOffscreenSurface* GenerateWingedEdgeRender::surface = nullptr;
QOpenGLContext* GenerateWingedEdgeRender::context = nullptr;
QOpenGLFramebufferObject* GenerateWingedEdgeRender::fbo = nullptr;
uint32_t GenerateWingedEdgeRender::cacheContext = 0;

TEST_F(GenerateWingedEdgeRender, EveryRenderPublishesAndOnlyARequestRebuilds) {
  render();
  coords->point.set1Value(0, SbVec3f(-1, -1, 0));
  render();
  render();
  ASSERT_EQ(probe->seen.size(), 3u) << "a render cache skipped the generator";
  for (const SbWingedEdgeModel* m : probe->seen) EXPECT_EQ(m, &generator->workingModel());
  ASSERT_EQ(generator->builtModel().faceCount(), 2);
  for (const WeVertex& v : generator->builtModel().objects[0].vertices)
    EXPECT_NE(v.position, SbVec3f(-1, -1, 0)) << "rebuilt without a request";

  generator->requestRebuild();
  render();
  int moved = 0;
  for (const WeVertex& v : generator->workingModel().objects[0].vertices)
    moved += v.position == SbVec3f(-1, -1, 0);
  EXPECT_EQ(moved, 1);
}


// The bicubic Bezier patch with control points (i/3, j/3, ij/9) is the
// saddle z = x y over the unit square: Bernstein polynomials reproduce the
// bilinear function exactly, so every tessellated point lies on it.
const char* const kSaddlePatch =
    "#Inventor V2.1 ascii\n"
    "Separator { Coordinate3 { point [\n"
    " 0 0 0, 0 0.333333 0, 0 0.666667 0, 0 1 0,\n"
    " 0.333333 0 0, 0.333333 0.333333 0.111111, 0.333333 0.666667 0.222222, 0.333333 1 0.333333,\n"
    " 0.666667 0 0, 0.666667 0.333333 0.222222, 0.666667 0.666667 0.444444, 0.666667 1 0.666667,\n"
    " 1 0 0, 1 0.333333 0.333333, 1 0.666667 0.666667, 1 1 1 ] }\n"
    " NurbsSurface { numUControlPoints 4 numVControlPoints 4\n"
    "  uKnotVector [0, 0, 0, 0, 1, 1, 1, 1] vKnotVector [0, 0, 0, 0, 1, 1, 1, 1] } }\n";

SoSeparator* readScene(const char* text) {
  SoInput in;
  in.setBuffer(text, std::strlen(text));
  return SoDB::readAll(&in);
}

TEST_F(GenerateWingedEdgeRender, NurbsSurfacesNeedACurrentContextAndAreBuiltOnceOneIs) {
  auto* nurbs = new SoGenerateWingedEdge;
  nurbs->ref();
  nurbs->addChild(readScene(kSaddlePatch));

  // No context: skipped, with a message.
  context->doneCurrent();
  testing::internal::CaptureStdout();
  SoCallbackAction gather;
  gather.apply(nurbs);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SoGenerateWingedEdge: skipped 1 NURBS surface(s): tessellating them needs a current GL context\n");
  EXPECT_EQ(nurbs->builtModel().faceCount(), 0);
  EXPECT_FALSE(nurbs->hasGeometry());

  // The next traversal with a context builds it, without a request.
  ASSERT_TRUE(context->makeCurrent(surface));
  gather.apply(nurbs);
  const SbWingedEdgeModel& model = nurbs->builtModel();
  ASSERT_EQ(model.objects.size(), 1u);
  const WeObject& o = model.objects[0];
  EXPECT_GT(o.faceCount, 8);
  EXPECT_EQ(o.vertexCount - o.edgeCount + o.faceCount, 1);  // one disc
  double area = 0.0;
  std::vector<int> corners;
  for (int f = 0; f < o.faceCount; ++f) {
    o.faceCorners(f, corners);
    ASSERT_EQ(corners.size(), 3u);
    const SbVec3f& a = o.vertices[corners[0]].position;
    const SbVec3f& b = o.vertices[corners[1]].position;
    const SbVec3f& c = o.vertices[corners[2]].position;
    area += 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
  }
  EXPECT_NEAR(area, 1.0, 1e-4);  // the triangles tile the unit square
  for (const WeVertex& v : o.vertices) EXPECT_NEAR(v.position[2], v.position[0] * v.position[1], 1e-5);
  nurbs->unref();
}

TEST_F(GenerateWingedEdgeRender, TeapotPatchesBecomeOneSurfaceInARender) {
  const char* path = "/usr/share/inventor/data/models/household/teapot.iv";
  FILE* installed = std::fopen(path, "rb");
  if (!installed) GTEST_SKIP() << path << " is not installed (package inventor-data)";
  std::fclose(installed);
  SoInput in;
  ASSERT_TRUE(in.openFile(path));
  SoSeparator* teapot = SoDB::readAll(&in);
  ASSERT_NE(teapot, nullptr);
  auto* teapotRoot = new SoSeparator;
  teapotRoot->ref();
  auto* teapotGenerator = new SoGenerateWingedEdge;
  teapotRoot->addChild(teapotGenerator);
  teapotGenerator->addChild(teapot);
  render(teapotRoot);
  const SbWingedEdgeModel& model = teapotGenerator->builtModel();
  const size_t objects = model.objects.size();
  const int faces = model.faceCount();
  int boundary = 0, edges = 0;
  for (const WeObject& o : model.objects)
    for (const WeEdge& e : o.edges) boundary += e.isBoundary(), ++edges;
  teapotRoot->unref();
  std::printf("teapot: %zu object(s), %d faces, %d of %d edges on a boundary\n", objects, faces, boundary, edges);
  EXPECT_EQ(objects, 1u);  // 32 patches, welded
  EXPECT_GT(faces, 3000);
  // Left open: the rims of lid and body, the ends of handle and spout, and
  // where neighbouring patches are sampled apart (bottom, knob); 32 patches
  // each with its own boundary would be about a sixth of the edges.
  EXPECT_LT(boundary, edges / 12);
}

}  // namespace
