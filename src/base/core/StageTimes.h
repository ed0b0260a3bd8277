#ifndef LINFOLD_STAGETIMES_H
#define LINFOLD_STAGETIMES_H

#include <vector>

// Silent record of the time each processing stage spent, for tools that show
// where a frame's time goes (linfold-render). A stage that runs several times
// before the record is taken (the hidden-line remover runs once for the
// silhouettes and once for the strokes) adds up. Only stages that ran are
// listed, in the order they first ran. GUI thread only.
namespace stagetimes {

struct Stage {
  const char* name;  // a string literal: stored by pointer
  double ms;         // wall-clock milliseconds
  double cpuMs;      // CPU milliseconds of the whole process (all threads)
};

void add(const char* stage, double ms, double cpuMs);

// Returns the stages recorded since the last call and empties the record.
std::vector<Stage> take();

// CPU time of the process (all its threads) in milliseconds.
double cpuNow();

}  // namespace stagetimes

// Adds the time between its construction and its destruction to a stage.
class StageTimer {
 public:
  explicit StageTimer(const char* stage);
  ~StageTimer();
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  const char* stage;
  double start;
  double cpuStart;
};

#endif
