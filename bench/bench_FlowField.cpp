// The flow field on a torus: initialisation from curvature (from), the
// optimisation to convergence of a field whose directions were all turned by
// random angles in [-0.5, 0.5] rad with every vertex free, the automatic
// clean-up as the render tool runs it (initialise, then cleanUp) and the
// turning measure.
//
// Arguments: the torus grid nu x nv; 250 x 200 gives 100k triangles,
// 1000 x 500 one million. The optimiser prints its summary line (iterations,
// cost before and after) once per run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "TestMeshes.h"
#include "curvature/SbCurvatureHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

namespace {

struct Input {
  SbHeModelHQ model;
  SbCurvatureHQ curvature;
};

Input& torus(int nu, int nv) {
  static std::map<std::pair<int, int>, std::unique_ptr<Input>> cache;
  auto& input = cache[{nu, nv}];
  if (!input) {
    input = std::make_unique<Input>();
    input->model.build(testmesh::model(testmesh::torus(nu, nv, 2.0f, 0.5f)));
    input->curvature.from(input->model);
  }
  return *input;
}

double cost(const SbFlowFieldHQ& field, const SbHeModelHQ& model) {
  EdgeAngleTable table;
  field.buildEdgeAngles(model, table);
  FlowCostTerms terms;
  field.costTerms(model, table, terms);
  std::vector<double> x(terms.variableCount(), 0.0), g(x.size());
  return SbFlowFieldHQ::evaluateCost(terms, 0.0, x.data(), g.data());
}

void BM_FlowFieldFrom(benchmark::State& state) {
  Input& input = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SbFlowFieldHQ field;
  for (auto _ : state) {
    field.from(input.model, input.curvature);
    benchmark::ClobberMemory();
  }
  int degenerate = 0;
  for (const CurvatureRecord* r : input.curvature.records) degenerate += r->degenerate;
  state.counters["triangles"] = input.model.triangleCount();
  state.counters["degenerate"] = degenerate;
}

void BM_FlowFieldOptimize(benchmark::State& state) {
  Input& input = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SbFlowFieldHQ field;
  double before = 0.0, after = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    field.from(input.model, input.curvature);
    field.select(input.model, input.curvature, SbFlowFieldHQ::SELECT_ALL, 0.0f, 0.0f);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int i = 0; i < field.size(); ++i) {
      FlowRecord& r = *field.records[i];
      const SbVec3f& n = input.model.vertices[i]->normal;
      r.direction = SbFlowFieldHQ::rotateAbout(r.direction, n, noise(random));
      r.cross = r.direction.cross(n);
    }
    before = cost(field, input.model);
    std::fflush(stdout);
    state.ResumeTiming();
    field.optimize(input.model, 0.0f);
    state.PauseTiming();
    std::fflush(stdout);
    after = cost(field, input.model);
    state.ResumeTiming();
  }
  state.counters["triangles"] = input.model.triangleCount();
  state.counters["variables"] = field.size();
  state.counters["cost_per_edge_before"] = before / (input.model.halfEdgeCount());
  state.counters["cost_per_edge_after"] = after / (input.model.halfEdgeCount());
}

void BM_FlowFieldCleanUp(benchmark::State& state) {
  Input& input = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SbFlowFieldHQ field;
  for (auto _ : state) {
    state.PauseTiming();
    field.initialise(input.model, input.curvature);
    state.ResumeTiming();
    field.cleanUp(input.model, input.curvature);
    benchmark::ClobberMemory();
  }
  state.counters["triangles"] = input.model.triangleCount();
  state.counters["turning"] = field.measureTurning(input.model, input.curvature).share();
}

void BM_FlowFieldTurning(benchmark::State& state) {
  Input& input = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SbFlowFieldHQ field;
  field.from(input.model, input.curvature);
  for (auto _ : state) benchmark::DoNotOptimize(field.measureTurning(input.model, input.curvature));
  state.counters["triangles"] = input.model.triangleCount();
}

}  // namespace

BENCHMARK(BM_FlowFieldCleanUp)->Args({250, 200})->Args({1000, 500})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlowFieldTurning)->Args({250, 200})->Args({1000, 500})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlowFieldFrom)->Args({250, 200})->Args({1000, 500})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlowFieldOptimize)
    ->Args({250, 200})
    ->Args({1000, 500})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
