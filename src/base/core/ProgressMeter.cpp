#include "core/ProgressMeter.h"

#include <chrono>
#include <climits>
#include <cstdio>

ProgressHookFunction progressHook = nullptr;
void* progressClient = nullptr;

double msecNow() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(clock::now().time_since_epoch()).count();
}

namespace {
int clampToInt(int64_t v) { return v > INT_MAX ? INT_MAX : static_cast<int>(v); }
}  // namespace

bool ProgressMeter::begin(const char* name, int total, int a, int b) {
  running = total >= 1 && a >= 1 && b >= 1;
  if (!running) return false;
  start = msecNow();
  unitsPerStep = int64_t(a) * b;
  totalUnits = unitsPerStep * total;
  tick = 0;
  ticksPerLabel = b;
  done = 0;
  nextThreshold = total;
  thresholdStep = total;
  std::printf("%s: 0", name);
  std::fflush(stdout);
  if (progressHook) progressHook(progressClient, clampToInt(totalUnits), 0);
  return true;
}

void ProgressMeter::step() {
  if (!running) return;
  done += unitsPerStep;
  bool printed = false;
  while (done >= nextThreshold) {
    if (++tick == ticksPerLabel) {
      tick = 0;
      std::printf("%i", static_cast<int>(done * 100 / totalUnits));
    } else {
      std::printf(".");
    }
    printed = true;
    nextThreshold += thresholdStep;
  }
  if (printed) std::fflush(stdout);
  if (progressHook) progressHook(progressClient, clampToInt(done), 1);
}

void ProgressMeter::end() {
  if (!running) return;
  running = false;
  std::printf(", %.2fms\n", msecNow() - start);
  std::fflush(stdout);
  if (progressHook) progressHook(progressClient, 0, 2);
}
