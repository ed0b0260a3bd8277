#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/ProgressMeter.h"
#include "core/TimingScope.h"

namespace {
std::vector<std::vector<int>> hookCalls;  // the first ones: client given, value, phase
long hookCount = 0;
int hookClient = 0;
void recordHook(void* client, int value, int phase) {
  if (++hookCount < 8 || phase == 2) hookCalls.push_back({client == &hookClient, value, phase});
}
}  // namespace

// Sixteen ticks, every fourth the percentage done when it is reached; the
// hook sees the start (total units), every step and the end.
TEST(ProgressMeter, TicksPercentagesAndHookCalls) {
  struct Case {
    const char* name;
    int total;
    const char* printed;
  };
  const Case cases[] = {{"SbCurvatureHQ::from", 100, "0...25...50...75...100"},
                        {"one", 1, "0...100...100...100...100"},  // all sixteen ticks in the first step
                        {"seven", 7, "0...28...57...85...100"},
                        {"big", 40000000, "0...25...50...75...100"},  // no overflow
                        {"empty", 0, nullptr}};                       // nothing to do: no meter
  progressHook = recordHook;
  progressClient = &hookClient;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hookCalls.clear();
    hookCount = 0;
    testing::internal::CaptureStdout();
    ProgressMeter meter;
    EXPECT_EQ(meter.begin(c.name, c.total), c.printed != nullptr);
    for (int i = 0; i < std::max(c.total, 1); ++i) meter.step();
    meter.end();
    const std::string out = maskTimes(testing::internal::GetCapturedStdout());
    EXPECT_EQ(out, c.printed ? std::string(c.name) + ": " + c.printed + ", T.TTms\n" : "");
    if (c.total == 7) {
      EXPECT_EQ(hookCalls.front(), (std::vector<int>{1, 112, 0}));
      EXPECT_EQ(hookCalls[3], (std::vector<int>{1, 48, 1}));
      EXPECT_EQ(hookCalls.back(), (std::vector<int>{1, 0, 2}));
    }
    EXPECT_EQ(hookCount, c.printed ? c.total + 2L : 0L);
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
