// Building the half-edge model from a winged-edge torus: the whole build
// (triangulation, edge map, linking, normals) into pools that already hold
// the chunks of an earlier build, the first build into fresh pools, and the
// clear that gives every record back.
//
// Arguments: the torus grid nu x nv; 1000 x 500 gives one million triangles.

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <utility>

#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"
#include "mesh/SbWingedEdgeBuilder.h"

namespace {

const SbWingedEdgeModel& torus(int nu, int nv) {
  static std::map<std::pair<int, int>, std::unique_ptr<SbWingedEdgeModel>> cache;
  auto& model = cache[{nu, nv}];
  if (!model) {
    model = std::make_unique<SbWingedEdgeModel>(testmesh::model(testmesh::torus(nu, nv, 2.0f, 0.5f)));
  }
  return *model;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_HeModelBuild(benchmark::State& state) {
  const SbWingedEdgeModel& input = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SbHeModelHQ model;
  // The first build takes its records from fresh pool chunks.
  const auto start = std::chrono::steady_clock::now();
  model.build(input);
  state.counters["first_build_s"] = seconds(start);
  for (auto _ : state) {
    state.PauseTiming();
    model.clear();
    state.ResumeTiming();
    model.build(input);
    benchmark::ClobberMemory();
  }
  state.counters["triangles"] = model.triangleCount();
  state.counters["half_edges"] = model.halfEdgeCount();
  state.counters["model_MB"] = model.memoryUse() / (1024.0 * 1024.0);
}

void BM_HeModelClear(benchmark::State& state) {
  const SbWingedEdgeModel& input = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SbHeModelHQ model;
  for (auto _ : state) {
    state.PauseTiming();
    model.build(input);
    state.ResumeTiming();
    model.clear();
  }
}

}  // namespace

BENCHMARK(BM_HeModelBuild)->Args({100, 50})->Args({1000, 500})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HeModelClear)->Args({1000, 500})->Unit(benchmark::kMillisecond)->UseRealTime();
