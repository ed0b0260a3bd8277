#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/ProgressMeter.h"
#include "core/TimingScope.h"

namespace {
struct HookCall {
  void* client;
  int value;
  int phase;
};
std::vector<HookCall> hookCalls;
void recordHook(void* client, int value, int phase) { hookCalls.push_back({client, value, phase}); }

}  // namespace

TEST(ProgressMeter, SixteenTicksWithFourPercentages) {
  testing::internal::CaptureStdout();
  ProgressMeter meter;
  ASSERT_TRUE(meter.begin("SbCurvatureHQ::from", 100, 4, 4));
  for (int i = 0; i < 100; ++i) meter.step();
  meter.end();
  EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
            "SbCurvatureHQ::from: 0...25...50...75...100, T.TTms\n");
}

TEST(ProgressMeter, TotalOfOneTicksSixteenTimesInTheFirstStep) {
  testing::internal::CaptureStdout();
  ProgressMeter meter;
  meter.begin("one", 1);
  meter.step();
  meter.end();
  EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
            "one: 0...100...100...100...100, T.TTms\n");
}

TEST(ProgressMeter, OddTotalsStillEndAtOneHundred) {
  testing::internal::CaptureStdout();
  ProgressMeter meter;
  meter.begin("seven", 7);
  for (int i = 0; i < 7; ++i) meter.step();
  meter.end();
  std::string out = maskTimes(testing::internal::GetCapturedStdout());
  EXPECT_EQ(std::count(out.begin(), out.end(), '.') - 1, 12);  // 12 dots besides "T.TT"
  EXPECT_NE(out.find("100, T.TTms\n"), std::string::npos) << out;
}

TEST(ProgressMeter, HugeTotalsDoNotOverflowThePercentage) {
  testing::internal::CaptureStdout();
  ProgressMeter meter;
  meter.begin("big", 40000000);
  for (int i = 0; i < 40000000; ++i) meter.step();
  meter.end();
  EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
            "big: 0...25...50...75...100, T.TTms\n");
}

TEST(ProgressMeter, NothingToDoRunsNoMeter) {
  hookCalls.clear();
  progressHook = recordHook;
  testing::internal::CaptureStdout();
  ProgressMeter meter;
  EXPECT_FALSE(meter.begin("empty", 0));
  meter.step();
  meter.end();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(hookCalls.empty());
  progressHook = nullptr;
}

TEST(ProgressMeter, HookSeesStartStepsAndEnd) {
  hookCalls.clear();
  int client = 0;
  progressHook = recordHook;
  progressClient = &client;
  testing::internal::CaptureStdout();
  ProgressMeter meter;
  meter.begin("hook", 3);
  for (int i = 0; i < 3; ++i) meter.step();
  meter.end();
  testing::internal::GetCapturedStdout();
  progressHook = nullptr;
  progressClient = nullptr;
  ASSERT_EQ(hookCalls.size(), 5u);
  EXPECT_EQ(hookCalls[0].client, &client);
  EXPECT_EQ(hookCalls[0].value, 48);
  EXPECT_EQ(hookCalls[0].phase, 0);
  EXPECT_EQ(hookCalls[1].value, 16);
  EXPECT_EQ(hookCalls[3].value, 48);
  EXPECT_EQ(hookCalls[3].phase, 1);
  EXPECT_EQ(hookCalls[4].phase, 2);
}

TEST(TimingScope, NestedScopesIndentByTabs) {
  testing::internal::CaptureStdout();
  {
    TimingScope outer("SoLineOutputHQ");
    {
      TimingScope inner("inner");
      EXPECT_EQ(TimingScope::depth(), 2);
    }
  }
  EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
            "+SoLineOutputHQ\n\t+inner\n\t-inner: T.TTms\n-SoLineOutputHQ: T.TTms\n");
  EXPECT_EQ(TimingScope::depth(), 0);
}
