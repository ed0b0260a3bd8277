// SoFlowFieldHQ drawing into an offscreen framebuffer (run under xvfb-run).

#include <gtest/gtest.h>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>
#include <Inventor/system/gl.h>

#include <QImage>

#include <memory>

#include "GlTestContext.h"
#include "TestMeshes.h"
#include "curvature/SbCurvatureHQ.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

// Publishes a given model and flow field, standing in for the generators.
class TestFieldSource : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(TestFieldSource);

 public:
  static void initClass() {
    if (getClassTypeId() == SoType::badType()) {
      SO_NODE_INIT_CLASS(TestFieldSource, SoNode, "Node");
      SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
      SO_ENABLE(SoGLRenderAction, SoFlowFieldElementHQ);
    }
  }
  TestFieldSource() { SO_NODE_CONSTRUCTOR(TestFieldSource); }

  SbHeModelHQ* model = nullptr;
  SbFlowFieldHQ* field = nullptr;

  void GLRender(SoGLRenderAction* action) override {
    SoHeModelElementHQ::set(action->getState(), this, model);
    SoFlowFieldElementHQ::set(action->getState(), this, field);
  }

 private:
  ~TestFieldSource() override = default;
};

SO_NODE_SOURCE(TestFieldSource);

namespace {

class FlowFieldDisplayGL : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(gltest::ensureContext());
    TestFieldSource::initClass();
  }

  void SetUp() override {
    ASSERT_TRUE(gltest::ensureContext());
    model.build(testmesh::model(testmesh::grid(6, 6)));  // unit square in z = 0
    testing::internal::CaptureStdout();
    curvature.from(model);
    field.from(model, curvature);
    testing::internal::GetCapturedStdout();
    root = new SoSeparator;
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0.5f, 0.5f, 5.0f);
    camera->height = 1.5f;
    root->addChild(camera);
    source = new TestFieldSource;
    source->model = &model;
    source->field = &field;
    root->addChild(source);
    display = new SoFlowFieldHQ;
    root->addChild(display);
  }
  void TearDown() override { root->unref(); }

  QImage render() { return gltest::render(root, kSize, kSize); }

  // Pixels that are not black, and the brightest green among them; every
  // drawn pixel must be pure green.
  static int drawn(const QImage& image, int& maxGreen) {
    int n = 0;
    maxGreen = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if ((p & 0xffffff) == 0) continue;
        ++n;
        EXPECT_EQ(qRed(p), 0);
        EXPECT_EQ(qBlue(p), 0);
        if (qGreen(p) > maxGreen) maxGreen = qGreen(p);
      }
    return n;
  }

  static constexpr int kSize = 120;

  SbHeModelHQ model;
  SbCurvatureHQ curvature;
  SbFlowFieldHQ field;
  SoSeparator* root = nullptr;
  TestFieldSource* source = nullptr;
  SoFlowFieldHQ* display = nullptr;
};

}  // namespace

TEST_F(FlowFieldDisplayGL, DrawsNothingUntilAskedTo) {
  int green = 0;
  EXPECT_EQ(drawn(render(), green), 0);
  display->sendLines = TRUE;
  source->field = nullptr;
  EXPECT_EQ(drawn(render(), green), 0);
}

TEST_F(FlowFieldDisplayGL, LockedLinesAreOpaqueAndFreeOnesFaint) {
  display->sendLines = TRUE;
  for (FlowRecord* r : field.records) r->locked = true;
  int lockedGreen = 0, freeGreen = 0;
  const int lockedPixels = drawn(render(), lockedGreen);
  // 49 vertices, each a line of about 2 x 4 pixels across the screen.
  EXPECT_GT(lockedPixels, 49 * 4);
  EXPECT_NEAR(lockedGreen, 128 * 160 / 255, 3);
  for (FlowRecord* r : field.records) r->locked = false;
  const int freePixels = drawn(render(), freeGreen);
  EXPECT_EQ(freePixels, lockedPixels);
  EXPECT_NEAR(freeGreen, 128 * 32 / 255, 3);

  // The attributes it changed are restored.
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_EQ(depthWrites, GL_TRUE);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}
