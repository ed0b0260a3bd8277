// SoFlowFieldHQ after the generators, drawing into an offscreen framebuffer (run under xvfb-run).
#include <gtest/gtest.h>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/system/gl.h>

#include <QImage>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "mesh/SoGenerateHeModelHQ.h"

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

// Nothing until sendLines is on and a field is there; then a line across each of the unit square's 49 vertices, opaque
// where the field is locked and faint where free, and the GL attributes it changed are restored.
TEST(FlowFieldDisplayGL, DrawsLockedLinesOpaqueAndFreeOnesFaintWhenAsked) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  SbWingedEdgeModel mesh = testmesh::model(testmesh::grid(6, 6));  // unit square in z = 0
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0.5f, 0.5f, 5.0f);
  camera->height = 1.5f;
  auto* source = new LineSetSource;
  source->model = &mesh;
  auto* generator = new SoGenerateFlowFieldHQ;
  auto* display = new SoFlowFieldHQ;
  auto* root = new SoSeparator;
  root->ref();
  for (SoNode* n : std::initializer_list<SoNode*>{camera, source, new SoGenerateHeModelHQ, new SoGenerateCurvatureHQ,
                                                  generator, display})
    root->addChild(n);
  testing::internal::CaptureStdout();
  EXPECT_EQ(render(root).first, 0) << "sendLines is off";
  display->sendLines = TRUE;
  generator->ref();
  root->removeChild(generator);
  EXPECT_EQ(render(root).first, 0) << "no field";
  root->insertChild(generator, 4);
  generator->unref();
  SbFlowFieldHQ& field = generator->flowField();
  ASSERT_EQ(field.size(), 49);
  for (FlowRecord* r : field.records) r->locked = true;
  const auto locked = render(root);
  EXPECT_GT(locked.first, 49 * 4);  // each a line of about 2 x 4 pixels
  EXPECT_NEAR(locked.second, 128 * 160 / 255, 3);
  for (FlowRecord* r : field.records) r->locked = false;
  const auto free = render(root);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(free.first == locked.first && std::abs(free.second - 128 * 32 / 255) <= 3) << free.second;
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites == GL_TRUE && !glIsEnabled(GL_BLEND));
  root->unref();
}

}  // namespace
