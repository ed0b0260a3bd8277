// SoGenerateWingedEdge under a GL render traversal (offscreen, through Qt).

#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
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

  void render() {
    fbo->bind();
    SoGLRenderAction action(SbViewportRegion(16, 16));
    action.setCacheContext(cacheContext);
    action.apply(root);
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

}  // namespace
