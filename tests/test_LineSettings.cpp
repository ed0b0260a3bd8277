#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "LineTestNodes.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "styling/SbLineSettingsHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace {

const float kPi = 3.14159265358979f;

// The inked fraction of the band of width 2 along a row of unit discs at spacing d, integrated over one period.
double integratedCoverage(double d) {
  const int steps = 20000;
  double inked = 0.0;
  for (int i = 0; i < steps; ++i) {
    const double x = (i + 0.5) / steps * d, nearest = std::min(x, d - x);  // to the closest centre
    double half = 0.0;                                                     // half height covered at x
    for (double c : {nearest, nearest + d})
      if (c < 1.0) half = std::max(half, std::sqrt(1.0 - c * c));
    inked += half;
  }
  return inked / steps;
}

// The coverage matches the integral; the table of spacings for the tones from pi/4 up is finite and falls from 2 to 0.
TEST(LineSettingsCoverage, MatchesIntegrationOfTheDotRowAndTheTableFallsFromTwoToZero) {
  for (double d : {0.3, 1.0, 1.7, 2.0, 3.0, 10.0})
    EXPECT_NEAR(SbLineSettingsHQ::coverage(static_cast<float>(d)), integratedCoverage(d), 2e-4) << d;
  EXPECT_FLOAT_EQ(SbLineSettingsHQ::coverage(0.0f), 1.0f);
  EXPECT_NEAR(SbLineSettingsHQ::coverage(2.0f), kPi / 4, 1e-6);
  EXPECT_NEAR(SbLineSettingsHQ::coverage(1.9999f), kPi / 4, 1e-4);  // continuous at 2
  SbLineSettingsHQ s;
  ASSERT_EQ(s.count, 40);
  EXPECT_FLOAT_EQ(s.table[0], 2.0f);
  EXPECT_FLOAT_EQ(s.table[s.count], 0.0f);
  for (int i = 0; i < s.count; ++i) EXPECT_TRUE(std::isfinite(s.table[i]) && s.table[i] > s.table[i + 1]) << i;
}

TEST(LineSettingsSpacing, InvertsTheCoverageBetweenTheRangesEnds) {
  SbLineSettingsHQ s, swapped;
  s.setRange(2.0f, 100.0f);
  const float tones[] = {kPi / 4, 1.0f, kPi / 200, 0.001f, NAN}, spacings[] = {2, 2, 100, 100, 100};
  for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(s.spacing(tones[i]), spacings[i]) << tones[i];
  EXPECT_NEAR(s.spacing(0.1f), kPi / 0.2f, 1e-4);
  // A swapped range behaves as the ordered one.
  swapped.setRange(100.0f, 2.0f);
  EXPECT_TRUE(swapped.minDistance == 2.0f && swapped.maxDistance == 100.0f);
  EXPECT_TRUE(swapped.toneLow == s.toneLow && swapped.toneHigh == s.toneHigh);
  for (float t : {0.001f, 0.05f, 0.3f, 0.9f}) EXPECT_FLOAT_EQ(swapped.spacing(t), s.spacing(t));
  // Overlapping dots interpolate the table.
  s.setRange(0.5f, 100.0f);
  EXPECT_NEAR(s.toneHigh, SbLineSettingsHQ::coverage(0.5f), 1e-6);
  EXPECT_LT(s.toneHigh, 1.0f);
  for (float t = kPi / 4 + 0.01f; t < s.toneHigh; t += 0.01f) EXPECT_TRUE(s.spacing(t) > 0.5f && s.spacing(t) < 2);
  s.setRange(0.0f, 100.0f);
  EXPECT_FLOAT_EQ(s.toneHigh, 0.999999f);
  EXPECT_TRUE(s.spacing(0.999999f) == 0.0f && s.spacing(1.0f) == 0.0f);
  for (float t = s.toneLow; t < s.toneHigh; t += 0.0025f)
    EXPECT_NEAR(SbLineSettingsHQ::coverage(s.spacing(t)), t, 2e-3) << t;
  // A huge largest spacing clamps the lowest tone.
  s.setRange(2.0f, 1e8f);
  EXPECT_FLOAT_EQ(s.toneLow, 1e-6f);
  EXPECT_FLOAT_EQ(s.spacing(1e-7f), 1e8f);
}

// Widths are points: at 2.5 pixels a point the record holds pixels (the tolerance squared); spacings are dot radii,
// published ordered.
TEST(LineSettingsNode, PublishesItsFieldsInPixelsWithTheRangeOrdered) {
  auto* root = new SoSeparator;
  root->ref();
  auto* node = new SoLineSettingsHQ;
  node->lineWidth = 3.0f;
  node->maxWidth = 7.0f;
  node->tolerance = 0.5f;
  node->rebalance = FALSE;
  node->minDistance = 50.0f;
  node->maxDistance = 3.0f;
  root->addChild(node);
  const SbLineSettingsHQ* seen = nullptr;
  root->addChild(new StateStep([&seen](SoState* state, SoNode*) { seen = SoLineSettingsElementHQ::get(state); }));
  SoCallbackAction action;
  for (float scale : {1.0f, 2.5f, -1.0f}) {  // -1: no scale
    node->pixelsPerPoint = scale;
    action.apply(root);
    ASSERT_EQ(seen, &node->settings());
    const float k = scale > 0 ? scale : 1.0f;  // every value below is exact in binary
    EXPECT_EQ(std::make_tuple(seen->getRebalance(), seen->getLineWidth(), seen->getMaxWidth(), seen->getTolerance(),
                              seen->minDistance, seen->maxDistance),
              std::make_tuple(false, 3.0f * k, 7.0f * k, 0.5f * k * k, 3.0f, 50.0f));
  }
  root->unref();
}

}  // namespace
