// The mesh modifier's own operations on large models: large faces on a flat
// triangle grid (every face merges into one) and on a sphere (nothing merges),
// joining two touching grids, sharp-edge marking and ten smoothing steps.
//
// Argument: the grid side n (2 n^2 triangles) or the icosphere level.

#include <benchmark/benchmark.h>

#include <cstdio>

#include "TestMeshes.h"
#include "mesh/SbConnectObjects.h"
#include "mesh/SbPolygonation.h"
#include "mesh/SbSharpEdges.h"
#include "mesh/SbSmoothing.h"

namespace {

void BM_LargeFacesFlatGrid(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const SbWingedEdgeModel grid = testmesh::model(testmesh::grid(n, n));
  for (auto _ : state) {
    state.PauseTiming();
    SbWingedEdgeModel m = grid;
    state.ResumeTiming();
    benchmark::DoNotOptimize(SbPolygonation::mergeLargeFaces(m.objects[0], 0.2f));
  }
  state.counters["faces"] = 2.0 * n * n;
}
BENCHMARK(BM_LargeFacesFlatGrid)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_LargeFacesSphere(benchmark::State& state) {
  const SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    state.PauseTiming();
    SbWingedEdgeModel m = sphere;
    state.ResumeTiming();
    benchmark::DoNotOptimize(SbPolygonation::mergeLargeFaces(m.objects[0], 0.2f));
  }
  state.counters["faces"] = sphere.faceCount();
}
BENCHMARK(BM_LargeFacesSphere)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_ConnectTwoGrids(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  PolyMesh a = testmesh::grid(n, n), b = a;
  for (SbVec3f& p : b.positions) p[0] += 1.0f;
  const SbWingedEdgeModel two = testmesh::model({&a, &b});
  for (auto _ : state) {
    state.PauseTiming();
    SbWingedEdgeModel m = two;
    state.ResumeTiming();
    benchmark::DoNotOptimize(SbConnectObjects::connect(m));
  }
  state.counters["faces"] = two.faceCount();
}
BENCHMARK(BM_ConnectTwoGrids)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_SharpEdges(benchmark::State& state) {
  SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(static_cast<int>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(SbSharpEdges::mark(sphere.objects[0], 115.0f));
  state.counters["faces"] = sphere.faceCount();
}
BENCHMARK(BM_SharpEdges)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_TenSmoothingSteps(benchmark::State& state) {
  SbWingedEdgeModel sphere = testmesh::model(testmesh::icosphere(static_cast<int>(state.range(0))));
  for (auto _ : state) SbSmoothing::smoothObject(sphere.objects[0], 10, 0.5f);
  state.counters["faces"] = sphere.faceCount();
}
BENCHMARK(BM_TenSmoothingSteps)->Arg(6)->Unit(benchmark::kMillisecond);

}  // namespace
