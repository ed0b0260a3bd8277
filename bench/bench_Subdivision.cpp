// One subdivision step on a torus of one million triangles (1000 x 500 grid):
// Loop smoothing, Loop dividing, and one Catmull-Clark step for comparison.
// Each iteration starts from a fresh copy of the object (copying is not timed).
//
// Arguments: the torus grid nu x nv.

#include <benchmark/benchmark.h>

#include <map>
#include <utility>

#include "TestMeshes.h"
#include "mesh/SbSubdivision.h"

namespace {

const WeObject& torus(int nu, int nv) {
  static std::map<std::pair<int, int>, SbWingedEdgeModel> cache;
  auto it = cache.find({nu, nv});
  if (it == cache.end())
    it = cache.emplace(std::make_pair(nu, nv), testmesh::model(testmesh::torus(nu, nv, 2.0f, 0.5f))).first;
  return it->second.objects[0];
}

void runStep(benchmark::State& state, int scheme, bool smooth) {
  const WeObject& source = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  size_t faces = 0;
  for (auto _ : state) {
    state.PauseTiming();
    WeObject o = source;
    state.ResumeTiming();
    SbSubdivision::step(o, scheme, smooth);
    faces = o.faces.size();
    benchmark::DoNotOptimize(o.vertices.data());
    state.PauseTiming();
    { WeObject gone = std::move(o); }
    state.ResumeTiming();
  }
  state.counters["faces_in"] = static_cast<double>(source.faces.size());
  state.counters["faces_out"] = static_cast<double>(faces);
}

void BM_LoopStep(benchmark::State& state) { runStep(state, SbSubdivision::LOOP, true); }
void BM_LoopDividingStep(benchmark::State& state) { runStep(state, SbSubdivision::LOOP, false); }
void BM_CatmullClarkStep(benchmark::State& state) { runStep(state, SbSubdivision::CATMULL_CLARK, true); }

}  // namespace

BENCHMARK(BM_LoopStep)->Args({1000, 500})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoopDividingStep)->Args({1000, 500})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CatmullClarkStep)->Args({1000, 500})->Unit(benchmark::kMillisecond)->Iterations(3);
