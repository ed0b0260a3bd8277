// Shared main of the benchmarks: Google Benchmark's runner plus a peak-memory
// column. Every benchmark gets the counter "peak_MB", the largest resident set
// of the process while it ran (setup included); the process-wide peak is
// printed at the end.
//
// On Linux the kernel's high-water mark (VmHWM) is reset between benchmarks by
// writing 5 to /proc/self/clear_refs; where that is not possible the column
// shows the peak of the whole process so far (getrusage), which only grows.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <Inventor/SoDB.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "registry/LibraryClasses.h"

namespace {

double processPeakMB() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0.0;
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// VmHWM in MB, or a negative value when /proc is not available.
double highWaterMarkMB() {
  FILE* f = fopen("/proc/self/status", "r");
  if (!f) return -1.0;
  char line[256];
  double mb = -1.0;
  while (fgets(line, sizeof line, f)) {
    long kb = 0;
    if (sscanf(line, "VmHWM: %ld kB", &kb) == 1) {
      mb = kb / 1024.0;
      break;
    }
  }
  fclose(f);
  return mb;
}

bool resetHighWaterMark() {
  FILE* f = fopen("/proc/self/clear_refs", "w");
  if (!f) return false;
  bool ok = fputs("5", f) >= 0;
  ok = fclose(f) == 0 && ok;
  return ok;
}

class PeakMemoryReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that redirected output stays plain text.
  PeakMemoryReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

  bool ReportContext(const Context& context) override {
    perBenchmark = resetHighWaterMark();
    return ConsoleReporter::ReportContext(context);
  }

  void ReportRuns(const std::vector<Run>& reports) override {
    double peak = perBenchmark ? highWaterMarkMB() : -1.0;
    if (peak < 0) peak = processPeakMB();
    if (peak > processPeak) processPeak = peak;
    std::vector<Run> withPeak(reports);
    for (Run& run : withPeak) {
      // Spread measures of a constant make no sense: leave them out.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean" && run.aggregate_name != "median") continue;
      run.counters["peak_MB"] = benchmark::Counter(peak);
    }
    ConsoleReporter::ReportRuns(withPeak);
    if (perBenchmark) perBenchmark = resetHighWaterMark();
  }

  // The largest peak seen; getrusage's figure is lowered by the resets.
  double peakMB() const { return processPeak > processPeakMB() ? processPeak : processPeakMB(); }

 private:
  bool perBenchmark = false;
  double processPeak = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
  SoDB::init();
  initLibraryClasses();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PeakMemoryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("peak memory of the process: %.1f MB\n", reporter.peakMB());
  benchmark::Shutdown();
  return 0;
}
