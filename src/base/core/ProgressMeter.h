#ifndef LINFOLD_PROGRESSMETER_H
#define LINFOLD_PROGRESSMETER_H

#include <cstdint>

// Progress callback of the application: phase 0 starts (value = total units),
// phase 1 reports the units done, phase 2 ends. Unset, meters only print.
typedef void (*ProgressHookFunction)(void* client, int value, int phase);
extern ProgressHookFunction progressHook;
extern void* progressClient;

// Milliseconds from a steady high-resolution clock.
double msecNow();

// Console progress of a long loop: "name: 0...25...50...75...100, 12.34ms".
// With a = b = 4 it prints sixteen ticks over `total` steps, every fourth one
// as a percentage.
class ProgressMeter {
 public:
  // Returns false and prints nothing when total < 1; step() and end() then do
  // nothing either.
  bool begin(const char* name, int total, int a = 4, int b = 4);
  void step();
  void end();

 private:
  bool running = false;
  double start = 0.0;
  int64_t unitsPerStep = 0;
  int64_t totalUnits = 0;
  int tick = 0;
  int ticksPerLabel = 0;
  int64_t done = 0;
  int64_t nextThreshold = 0;
  int64_t thresholdStep = 0;
};

#endif
