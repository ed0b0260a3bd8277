// Curvature estimation (SbCurvatureHQ::from) on unit geodesic spheres of about
// 100k and 1M triangles, with both threads and with one.
//
// Arguments: the sphere's frequency (20 f^2 triangles: 71 -> 100820,
// 224 -> 1003520) and the thread count.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>

#include "TestMeshes.h"
#include "curvature/SbCurvatureHQ.h"
#include "mesh/SbHeModelHQ.h"

namespace {

const SbHeModelHQ& sphere(int frequency) {
  static std::map<int, std::unique_ptr<SbHeModelHQ>> cache;
  auto& model = cache[frequency];
  if (!model) {
    model = std::make_unique<SbHeModelHQ>();
    model->build(testmesh::model(testmesh::geodesicSphere(frequency, 1.0f)));
  }
  return *model;
}

void BM_CurvatureFrom(benchmark::State& state) {
  const SbHeModelHQ& model = sphere(static_cast<int>(state.range(0)));
  SbCurvatureHQ curvature;
  curvature.setThreadCount(static_cast<int>(state.range(1)));
  int degenerate = 0;
  // The progress lines go to stdout; keep the report readable.
  std::fflush(stdout);
  const int saved = dup(1), null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, 1);
  for (auto _ : state) curvature.from(model);
  std::fflush(stdout);
  if (saved >= 0) dup2(saved, 1);
  if (saved >= 0) close(saved);
  if (null >= 0) close(null);
  for (const CurvatureRecord* r : curvature.records) degenerate += r->degenerate;
  state.counters["triangles"] = model.triangleCount();
  state.counters["vertices"] = model.vertexCount();
  state.counters["degenerate"] = degenerate;
}

}  // namespace

BENCHMARK(BM_CurvatureFrom)
    ->Args({71, 1})
    ->Args({71, 2})
    ->Args({224, 1})
    ->Args({224, 2})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
