// Ordering of pen-plotter paths (SbPlotterPaths::planOrder) against the
// number of strokes: hatching of short parallel strokes in patches over an
// A4 page, in random order and direction (as a tracer might emit them).
// Arguments: stroke count, and 0 for nearest neighbour only or 1 for
// nearest neighbour plus 2-opt until no move gains (bound 120 s).
// Counters: travel before and after as a fraction (after / before), the
// paths per second.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "output/SbPlotterPaths.h"

namespace {

SbPlotterPaths hatching(int strokes) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  struct Stroke {
    SbVec2f a, b;
  };
  std::vector<Stroke> list;
  list.reserve(strokes);
  // Patches of 50 parallel strokes with their own direction.
  while (static_cast<int>(list.size()) < strokes) {
    const SbVec2f centre(20.0f + 555.0f * unit(rng), 20.0f + 802.0f * unit(rng));
    const float angle = 3.14159265f * unit(rng);
    const SbVec2f along(std::cos(angle), std::sin(angle)), across(-along[1], along[0]);
    const float spacing = 0.6f, length = 6.0f + 10.0f * unit(rng);
    for (int k = 0; k < 50 && static_cast<int>(list.size()) < strokes; ++k) {
      const SbVec2f base = centre + across * (spacing * (k - 25));
      list.push_back({base - along * (0.5f * length), base + along * (0.5f * length)});
    }
  }
  std::shuffle(list.begin(), list.end(), rng);
  SbPlotterPaths paths;
  for (Stroke& s : list) {
    if (rng() & 1) std::swap(s.a, s.b);
    const SbVec2f pts[3] = {s.a, (s.a + s.b) * 0.5f + SbVec2f(0.05f, 0.05f), s.b};
    paths.addPolyline(pts, 3);
  }
  return paths;
}

void BM_PlotterOrder(benchmark::State& state) {
  const int strokes = static_cast<int>(state.range(0));
  const double seconds = state.range(1) ? 120.0 : 0.0;
  const SbPlotterPaths paths = hatching(strokes);
  const double before = paths.penUpTravel();
  double after = before;
  bool converged = false;
  for (auto _ : state) {
    const std::vector<SbPlotterPaths::Step> order =
        SbPlotterPaths::planOrder(paths.paths(), SbVec2f(0, 842), seconds, &converged);
    after = SbPlotterPaths::penUpTravel(paths.paths(), order);
    benchmark::DoNotOptimize(order.data());
  }
  state.counters["after_over_before"] = after / before;
  state.counters["converged"] = converged ? 1 : 0;
  state.counters["paths_per_s"] =
      benchmark::Counter(static_cast<double>(strokes) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_PlotterMerge(benchmark::State& state) {
  const SbPlotterPaths paths = hatching(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    SbPlotterPaths copy = paths;
    benchmark::DoNotOptimize(copy.merge(0.1f));
  }
}

}  // namespace

BENCHMARK(BM_PlotterOrder)->ArgsProduct({{1000, 10000, 100000}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PlotterMerge)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
