// SoFlowFieldHQ drawing into an offscreen framebuffer (run under xvfb-run).
#include <gtest/gtest.h>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>
#include <Inventor/system/gl.h>

#include <QImage>

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
    if (getClassTypeId() != SoType::badType()) return;
    SO_NODE_INIT_CLASS(TestFieldSource, SoNode, "Node");
    SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
    SO_ENABLE(SoGLRenderAction, SoFlowFieldElementHQ);
  }
  TestFieldSource() { SO_NODE_CONSTRUCTOR(TestFieldSource); }
  SbHeModelHQ* model = nullptr;
  SbFlowFieldHQ* field = nullptr;
  void GLRender(SoGLRenderAction* action) override {
    SoHeModelElementHQ::set(action->getState(), this, model);
    SoFlowFieldElementHQ::set(action->getState(), this, field);
  }
};

SO_NODE_SOURCE(TestFieldSource);

namespace {

// Pixels drawn (not black), each pure green, and the brightest green.
std::pair<int, int> render(SoNode* root) {
  const QImage image = gltest::render(root, 120, 120);
  int pixels = 0, green = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if ((p & 0xffffff) == 0) continue;
      ++pixels, green = std::max(green, qGreen(p));
      EXPECT_EQ(qRed(p) + qBlue(p), 0);
    }
  return {pixels, green};
}

// Nothing until sendLines is on and a field is there; then a line across each of the unit square's 49
// vertices, opaque where the field is locked and faint where free, and the GL attributes it changed
// are restored.
TEST(FlowFieldDisplayGL, DrawsLockedLinesOpaqueAndFreeOnesFaintWhenAsked) {
  ASSERT_TRUE(gltest::ensureContext());
  TestFieldSource::initClass();
  SbHeModelHQ model;
  SbCurvatureHQ curvature;
  SbFlowFieldHQ field;
  model.build(testmesh::model(testmesh::grid(6, 6)));  // unit square in z = 0
  testing::internal::CaptureStdout();
  curvature.from(model);
  field.from(model, curvature);
  testing::internal::GetCapturedStdout();
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0.5f, 0.5f, 5.0f);
  camera->height = 1.5f;
  auto* source = new TestFieldSource;
  source->model = &model, source->field = &field;
  auto* display = new SoFlowFieldHQ;
  root->addChild(camera), root->addChild(source), root->addChild(display);
  EXPECT_EQ(render(root).first, 0) << "sendLines is off";
  display->sendLines = TRUE;
  source->field = nullptr;
  EXPECT_EQ(render(root).first, 0) << "no field";
  source->field = &field;
  for (FlowRecord* r : field.records) r->locked = true;
  const auto locked = render(root);
  EXPECT_GT(locked.first, 49 * 4);  // each a line of about 2 x 4 pixels
  EXPECT_NEAR(locked.second, 128 * 160 / 255, 3);
  for (FlowRecord* r : field.records) r->locked = false;
  const auto free = render(root);
  EXPECT_TRUE(free.first == locked.first && std::abs(free.second - 128 * 32 / 255) <= 3) << free.second;
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites == GL_TRUE && !glIsEnabled(GL_BLEND));
  root->unref();
}

}  // namespace
