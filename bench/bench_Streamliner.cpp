// Hatching a torus and a sphere of 100k and 1M triangles with the
// application's start-up settings (separation 0.01, probe 0.012, step 0.025,
// minimum length 0.02, sharp edges at 115 degrees, planar taper), and at half
// the separation. Reports the strokes, their points and the time of one
// complete hatch (seeding, tracing, taper).
//
// Arguments: model (0 torus, 1 sphere), triangles in thousands, separation in
// thousandths of the model size, cross-hatching (1: a second family along the
// perpendicular field, traced after the first as the node does).
//
// BM_HatchCoarse hatches models of a few faces each a hundred separations
// wide or more (a cube of 12 triangles, an 8-sided tube of 16), where every
// face carries thousands of segments. Argument: model (0 cube, 1 tube).

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <tuple>

#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"
#include "strokes/SbStreamlineTracer.h"

namespace {

struct Model {
  SbHeModelHQ mesh;
  std::vector<SbVec3f> directions;
  std::vector<SbVec3f> cross;  // normal x direction
};

// Torus: along the tube, turning about it; sphere: latitudes about a tilted axis.
const Model& model(int kind, int thousands) {
  static std::map<std::pair<int, int>, std::unique_ptr<Model>> cache;
  auto& m = cache[{kind, thousands}];
  if (m) return *m;
  m = std::make_unique<Model>();
  if (kind == 0) {
    const int nv = thousands >= 1000 ? 500 : 100;
    const int nu = thousands * 1000 / (2 * nv);
    m->mesh.build(testmesh::model(testmesh::torus(nu, nv, 2.0f, 0.5f)));
  } else {
    int n = 1;
    while (20 * n * n < thousands * 1000) ++n;
    m->mesh.build(testmesh::model(testmesh::geodesicSphere(n, 1.0f)));
  }
  for (const HeVertex* v : m->mesh.vertices) {
    const SbVec3f& p = v->position;
    SbVec3f d;
    if (kind == 0) {
      SbVec3f around = SbVec3f(0, 0, 1).cross(p);
      SbVec3f centre(p[0], p[1], 0);
      centre.normalize();
      d = around + around.cross(p - centre * 2.0f) * 0.5f;
    } else {
      d = SbVec3f(0.3f, 0.2f, 1.0f).cross(p);
    }
    d -= v->normal * d.dot(v->normal);
    if (d.length() > 0) d.normalize();
    m->directions.push_back(d);
    m->cross.push_back(v->normal.cross(d));
  }
  return *m;
}

SbStreamlineTracer::Settings startupSettings(float separation) {
  SbStreamlineTracer::Settings s;
  s.seperationDist = separation;
  s.probeDist = 1.2f * s.seperationDist;
  s.sharpEdge = 115.0f;
  s.maxBend = -60.0f;
  s.minLength = 0.02f;
  s.maxLength = -0.2f;
  s.stepSize = 0.025f;
  return s;
}

void run(benchmark::State& state, const Model& m, const SbStreamlineTracer::Settings& s, bool cross = false) {
  const SbStreamlineTracer::Parameters p = SbStreamlineTracer::derive(s, m.mesh.size());
  StrokeSet strokes;
  int segments = 0;
  long entries = 0;
  for (auto _ : state) {
    SbStreamlineTracer tracer(m.mesh, m.directions, p);
    tracer.hatch(strokes, SbStreamlineTracer::TM_PLANE);
    segments = tracer.segmentCount();
    entries = tracer.entryCount();
    if (cross) {
      tracer.setDirections(m.cross);
      StrokeSet second;
      tracer.hatch(second, SbStreamlineTracer::TM_PLANE);
      strokes.appendCross(second);
      segments += tracer.segmentCount();
      entries += tracer.entryCount();
    }
    benchmark::ClobberMemory();
  }
  state.counters["segments"] = segments;
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["triangles"] = m.mesh.triangleCount();
  state.counters["strokes"] = strokes.strokeCount;
  state.counters["points"] = static_cast<double>(strokes.points.size());
}

void BM_Hatch(benchmark::State& state) {
  const Model& m = model(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  run(state, m, startupSettings(state.range(2) / 1000.0f), state.range(3) != 0);
}

// Cube: latitudes about a tilted axis; tube: a helix about z.
const Model& coarseModel(int kind) {
  static std::map<int, std::unique_ptr<Model>> cache;
  auto& m = cache[kind];
  if (m) return *m;
  m = std::make_unique<Model>();
  m->mesh.build(testmesh::model(kind == 0 ? testmesh::cubeTriangles(1.0f) : testmesh::cylinder(8, 1, 1.0f, 2.0f)));
  for (const HeVertex* v : m->mesh.vertices) {
    const SbVec3f& p = v->position;
    SbVec3f d = kind == 0 ? SbVec3f(0.3f, 0.2f, 1.0f).cross(p) : SbVec3f(-p[1], p[0], 0.05f);
    d -= v->normal * d.dot(v->normal);
    if (d.length() > 0) d.normalize();
    m->directions.push_back(d);
  }
  return *m;
}

void BM_HatchCoarse(benchmark::State& state) {
  run(state, coarseModel(static_cast<int>(state.range(0))), startupSettings(0.01f));
}

}  // namespace

BENCHMARK(BM_Hatch)
    ->ArgNames({"sphere", "ktri", "sep_permille", "cross"})
    ->Args({1, 100, 10, 0})
    ->Args({1, 100, 5, 0})
    ->Args({0, 100, 10, 0})
    ->Args({0, 100, 10, 1})
    ->Args({0, 100, 5, 0})
    ->Args({1, 1000, 10, 0})
    ->Args({1, 1000, 5, 0})
    ->Args({0, 1000, 10, 0})
    ->Args({0, 1000, 10, 1})
    ->Args({0, 1000, 5, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

BENCHMARK(BM_HatchCoarse)
    ->ArgNames({"tube"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
