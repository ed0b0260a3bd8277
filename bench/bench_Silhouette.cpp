// Silhouette extraction per frame on a one-million-triangle torus: the
// Gauss-map search (orthographic) and the cone tree (perspective) against
// testing every edge, with the view changing every frame; and the one-off
// builds of both structures. The maximalError argument is the Gauss map's cell
// size in degrees and twice the cone tree's leaf size.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <utility>

#include "TestMeshes.h"
#include "lines/SbSilhouetteEdges.h"
#include "lines/SbSilhouetteGaussMap.h"
#include "lines/SbSilhouettePerspective.h"

namespace {

const SbWingedEdgeModel& torus() {
  static std::unique_ptr<SbWingedEdgeModel> model;
  if (!model) model = std::make_unique<SbWingedEdgeModel>(testmesh::model(testmesh::torus(1000, 500, 2.0f, 0.5f)));
  return *model;
}

std::vector<SbVec3f> views(float distance) {
  std::mt19937 rng(3);
  std::normal_distribution<float> g(0.0f, 1.0f);
  std::vector<SbVec3f> out;
  for (int i = 0; i < 64; ++i) {
    SbVec3f d(g(rng), g(rng), g(rng));
    d.normalize();
    out.push_back(d * distance);
  }
  return out;
}

void counters(benchmark::State& state, size_t found, size_t candidates) {
  state.counters["edges"] = double(torus().edgeCount());
  state.counters["triangles"] = double(torus().faceCount());
  state.counters["silhouette_edges"] = double(found);
  if (candidates) state.counters["candidates"] = double(candidates);
}

void BM_OrthographicBruteForce(benchmark::State& state) {
  const SbWingedEdgeModel& model = torus();
  const std::vector<SbVec3f> dirs = views(1.0f);
  std::vector<SbEdgeRef> out;
  size_t frame = 0;
  for (auto _ : state) {
    SbSilhouetteView view;
    view.toViewer = dirs[frame++ % dirs.size()];
    SbSilhouetteEdges::bruteForce(model, view, {}, -1, out);
    benchmark::DoNotOptimize(out.data());
  }
  counters(state, out.size(), 0);
}

void BM_OrthographicGaussMap(benchmark::State& state) {
  const SbWingedEdgeModel& model = torus();
  SbSilhouetteGaussMap map;
  map.build(model, float(state.range(0)));
  const std::vector<SbVec3f> dirs = views(1.0f);
  std::vector<SbEdgeRef> out;
  size_t frame = 0;
  for (auto _ : state) {
    map.query(model, dirs[frame++ % dirs.size()], -1, out);
    benchmark::DoNotOptimize(out.data());
  }
  counters(state, out.size(), map.lastCandidateCount());
  state.counters["cells_per_side"] = map.resolution();
  state.counters["filed_entries"] = double(map.filedEntries());
}

void BM_GaussMapBuild(benchmark::State& state) {
  const SbWingedEdgeModel& model = torus();
  for (auto _ : state) {
    SbSilhouetteGaussMap map;
    map.build(model, float(state.range(0)));
    benchmark::DoNotOptimize(&map);
  }
}

void BM_PerspectiveBruteForce(benchmark::State& state) {
  const SbWingedEdgeModel& model = torus();
  std::vector<std::vector<float>> offsets;
  SbSilhouetteEdges::faceOffsets(model, offsets);
  const std::vector<SbVec3f> eyes = views(8.0f);
  std::vector<SbEdgeRef> out;
  size_t frame = 0;
  for (auto _ : state) {
    SbSilhouetteView view;
    view.perspective = true;
    view.eye = eyes[frame++ % eyes.size()];
    SbSilhouetteEdges::bruteForce(model, view, offsets, -1, out);
    benchmark::DoNotOptimize(out.data());
  }
  counters(state, out.size(), 0);
}

void BM_PerspectiveConeTree(benchmark::State& state) {
  const SbWingedEdgeModel& model = torus();
  SbSilhouettePerspective tree;
  tree.build(model, float(state.range(0)));
  const std::vector<SbVec3f> eyes = views(8.0f);
  std::vector<SbEdgeRef> out;
  size_t frame = 0;
  for (auto _ : state) {
    tree.query(model, eyes[frame++ % eyes.size()], -1, out);
    benchmark::DoNotOptimize(out.data());
  }
  counters(state, out.size(), tree.lastCandidateCount());
}

void BM_ConeTreeBuild(benchmark::State& state) {
  const SbWingedEdgeModel& model = torus();
  for (auto _ : state) {
    SbSilhouettePerspective tree;
    tree.build(model, float(state.range(0)));
    benchmark::DoNotOptimize(&tree);
  }
}

}  // namespace

BENCHMARK(BM_OrthographicBruteForce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrthographicGaussMap)->Arg(4)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussMapBuild)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PerspectiveBruteForce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerspectiveConeTree)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConeTreeBuild)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(2);
