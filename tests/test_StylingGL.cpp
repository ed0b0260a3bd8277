// The styling nodes under a GL render traversal (offscreen): they find their elements enabled there
// and give what a callback traversal gives, also inside a separator that would cache.

#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>

#include <vector>

#include "GlTestContext.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineThickenerHQ.h"

// As a source, sets an index list in both actions (changed without notification when `indices` is);
// else records what the styling nodes before it published.
class StylingProbe : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(StylingProbe);

 public:
  static void initClass() {
    SO_NODE_INIT_CLASS(StylingProbe, SoNode, "Node");
    SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
    SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
  }
  StylingProbe() { SO_NODE_CONSTRUCTOR(StylingProbe); }
  bool source = false;
  std::vector<int32_t> indices{0, 1, 2, -1, 3, 4, -1};
  std::vector<float> density, thickness;
  int points = -1;
  const SbLineSettingsHQ* settings = nullptr;

  void GLRender(SoGLRenderAction* action) override { doAction(action); }
  void callback(SoCallbackAction* action) override { doAction(action); }
  void doAction(SoAction* action) override {
    SoState* state = action->getState();
    if (source) return SoLineCoordinateIndexElement::set(state, this, int32_t(indices.size()), indices.data());
    int32_t n = 0;
    const float* d = SoLineDensityElementHQ::get(state, n);
    density.assign(d, d + n);
    const float* t = SoLineThicknessElement::get(state, n);
    thickness.assign(t, t + n);
    points = SoCoordinateElement::getInstance(state)->getNum();
    settings = SoLineSettingsElementHQ::get(state);
  }
};

SO_NODE_SOURCE(StylingProbe);

// Coordinates, an index source, line settings, a depth densifier, a thickener and a store/restore
// merger pair, then the probe; a stroke set changed without notification is not served from a cache.
TEST(StylingRender, NodesPublishWhatACallbackTraversalGivesAndAreNotCached) {
  ASSERT_TRUE(gltest::ensureContext());
  if (StylingProbe::getClassTypeId() == SoType::badType()) StylingProbe::initClass();
  auto* camera = new SoPerspectiveCamera;
  camera->position.setValue(0, 0, 5);
  camera->nearDistance = 1;
  camera->farDistance = 9;
  auto* coords = new SoCoordinate3;
  const SbVec3f points[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, -2}, {1, 1, -2}};
  coords->point.setValues(0, 5, points);
  auto *source = new StylingProbe, *probe = new StylingProbe;
  source->source = true;
  auto* densifier = new SoLineDensifierHQ;
  densifier->method = SoLineDensifierHQ::DEPTH;
  auto* thickener = new SoLineThickenerHQ;
  thickener->value = 2.0f;
  auto* restore = new SoLineMergerHQ;
  restore->method = SoLineMergerHQ::LM_RESTORE;
  SoSeparator *root = new SoSeparator, *cached = new SoSeparator;
  root->ref();
  root->addChild(cached);
  cached->renderCaching = SoSeparator::ON;
  for (SoNode* n : std::initializer_list<SoNode*>{camera, coords, source, new SoLineSettingsHQ, densifier, thickener,
                                                  new SoLineMergerHQ, restore, probe})
    cached->addChild(n);

  gltest::render(root, 64, 64);
  const std::vector<float> glDensity = probe->density;
  EXPECT_TRUE(probe->thickness == std::vector<float>(5, 2.0f) && probe->points == 5 && probe->settings);
  ASSERT_EQ(glDensity.size(), 5u);
  // Depth: 5 and 7 units in front of the eye between near 1 and far 9.
  EXPECT_NEAR(glDensity[0], 1.0f - 4.0f / 8.0f, 1e-4);
  EXPECT_NEAR(glDensity[3], 1.0f - 6.0f / 8.0f, 1e-4);
  SoCallbackAction(SbViewportRegion(64, 64)).apply(root);
  ASSERT_EQ(probe->density.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(probe->density[i], glDensity[i], 1e-5) << i;
  gltest::render(root, 64, 64);
  source->indices = {3, 4, -1};
  gltest::render(root, 64, 64);
  ASSERT_EQ(probe->density.size(), 2u);
  EXPECT_NEAR(probe->density[0], 1.0f - 6.0f / 8.0f, 1e-4);
  root->unref();
}
