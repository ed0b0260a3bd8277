#include <gtest/gtest.h>

#include <algorithm>

#include "TestFiles.h"
#include "core/ProgressMeter.h"
#include "core/TimingScope.h"

namespace {
std::vector<std::vector<int>> hookCalls;  // value and phase of the first calls and of the last
long hookCount = 0;
void recordHook(void* client, int value, int phase) {
  if (++hookCount < 5 || phase == 2) hookCalls.push_back({value, phase, client == &hookCount});
}
}  // namespace

// Sixteen ticks, every fourth the percentage done when it is reached; the hook sees the start (total units), every step
// and the end.
TEST(ProgressMeter, TicksPercentagesAndHookCalls) {
  const std::pair<int, const char*> cases[] = {{100, "0...25...50...75...100"},
                                               {1, "0...100...100...100...100"},  // sixteen ticks in one step
                                               {7, "0...28...57...85...100"},
                                               {40000000, "0...25...50...75...100"},  // no overflow
                                               {0, nullptr}};                         // nothing to do: no meter
  progressHook = recordHook;
  progressClient = &hookCount;
  for (const auto& [total, printed] : cases) {
    hookCalls.clear();
    hookCount = 0;
    testing::internal::CaptureStdout();
    ProgressMeter meter;
    EXPECT_EQ(meter.begin("SbCurvatureHQ::from", total), printed != nullptr);
    for (int i = 0; i < std::max(total, 1); ++i) meter.step();
    meter.end();
    EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
              printed ? "SbCurvatureHQ::from: " + std::string(printed) + ", T.TTms\n" : "");
    EXPECT_EQ(hookCount, printed ? total + 2L : 0L) << total;
    if (total == 7) {
      EXPECT_EQ(hookCalls, (std::vector<std::vector<int>>{{112, 0, 1}, {16, 1, 1}, {32, 1, 1}, {48, 1, 1}, {0, 2, 1}}));
    }
  }
  progressHook = nullptr;
  progressClient = nullptr;
}

TEST(TimingScope, NestedScopesIndentByTabs) {
  testing::internal::CaptureStdout();
  {
    TimingScope outer("SoLineOutputHQ");
    TimingScope inner("inner");
    EXPECT_EQ(TimingScope::depth(), 2);
  }
  EXPECT_EQ(maskTimes(testing::internal::GetCapturedStdout()),
            "+SoLineOutputHQ\n\t+inner\n\t-inner: T.TTms\n-SoLineOutputHQ: T.TTms\n");
  EXPECT_EQ(TimingScope::depth(), 0);
}
