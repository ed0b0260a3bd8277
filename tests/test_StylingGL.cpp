// The styling nodes under a GL render traversal (offscreen): they find their elements enabled there and give what a
// callback traversal gives, also inside a separator that would cache.

#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineThickenerHQ.h"

// A stroke set, line settings, a depth densifier, a thickener and a store/restore merger pair, then the probe; a stroke
// set changed without notification is not served from a cache.
TEST(StylingRender, NodesPublishWhatACallbackTraversalGivesAndAreNotCached) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  auto* camera = new SoPerspectiveCamera;
  camera->position.setValue(0, 0, 5);
  camera->nearDistance = 1;
  camera->farDistance = 9;
  auto* source = new LineSetSource;
  source->publishLines = true;
  source->lines.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, -2}, {1, 1, -2}};
  source->lines.indices = {0, 1, 2, -1, 3, 4, -1};
  auto* densifier = new SoLineDensifierHQ;
  densifier->method = SoLineDensifierHQ::DEPTH;
  auto* thickener = new SoLineThickenerHQ;
  thickener->value = 2.0f;
  auto* restore = new SoLineMergerHQ;
  restore->method = SoLineMergerHQ::LM_RESTORE;
  auto* probe = new LineSetProbe;
  const linetest::Root cached =
      linetest::scene({camera, source, new SoLineSettingsHQ, densifier, thickener, new SoLineMergerHQ, restore, probe});
  const linetest::Root root = linetest::scene({cached.get()});
  cached->renderCaching = SoSeparator::ON;
  gltest::render(root.get(), 64, 64);
  const std::vector<float> glDensity = probe->seen.density;
  EXPECT_TRUE(probe->seen.thickness == std::vector<float>(5, 2.0f) && probe->seen.points.size() == 5);
  // Depth: 5 and 7 units in front of the eye between near 1 and far 9.
  ASSERT_EQ(glDensity.size(), 5u);
  EXPECT_NEAR(glDensity[0], 1.0f - 4.0f / 8.0f, 1e-4);
  EXPECT_NEAR(glDensity[3], 1.0f - 6.0f / 8.0f, 1e-4);
  SoCallbackAction(SbViewportRegion(64, 64)).apply(root.get());
  ASSERT_EQ(probe->seen.density.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(probe->seen.density[i], glDensity[i], 1e-5) << i;
  gltest::render(root.get(), 64, 64);
  source->lines.indices = {3, 4, -1};
  gltest::render(root.get(), 64, 64);
  ASSERT_EQ(probe->seen.density.size(), 2u);
  EXPECT_NEAR(probe->seen.density[0], 1.0f - 6.0f / 8.0f, 1e-4);
}
