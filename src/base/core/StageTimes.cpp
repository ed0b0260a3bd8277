#include "core/StageTimes.h"

#include <cstring>
#include <ctime>

#include "core/ProgressMeter.h"

namespace {
std::vector<stagetimes::Stage>& record() {
  static std::vector<stagetimes::Stage> stages;
  return stages;
}
}  // namespace

namespace stagetimes {

void add(const char* stage, double ms, double cpuMs) {
  for (Stage& s : record())
    if (s.name == stage || std::strcmp(s.name, stage) == 0) {
      s.ms += ms;
      s.cpuMs += cpuMs;
      return;
    }
  record().push_back({stage, ms, cpuMs});
}

std::vector<Stage> take() {
  std::vector<Stage> stages;
  stages.swap(record());
  return stages;
}

double cpuNow() {
  timespec t{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0.0;
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

}  // namespace stagetimes

StageTimer::StageTimer(const char* name) : stage(name), start(msecNow()), cpuStart(stagetimes::cpuNow()) {}

StageTimer::~StageTimer() { stagetimes::add(stage, msecNow() - start, stagetimes::cpuNow() - cpuStart); }
