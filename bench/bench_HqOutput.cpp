// HQ PDF and TGA snapshots of a full stroke set: a torus of 100k triangles
// hatched by the streamline tracer (separation 0.01 of the model size, as at
// start-up), styled by a light-like tone (1 - |n.l| of the stroke's face,
// through the solid threshold) and a thickness that follows it, seen from
// an orthographic camera in a 1280 x 1024 viewport. One iteration is the
// whole output pass of the node (projection, outlines and dots, rendering or
// content stream, writing the file). Reports strokes, points, outlines
// written as paths, dots and the file's size.
//
// Argument: 0 PDF, 1 TGA.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "HqStrokeSource.h"
#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "strokes/SbStreamlineTracer.h"
#include "styling/SoLineSettingsHQ.h"

namespace {

// The hatched torus as a stroke set with thickness and density per point.
HqStrokeSource* hatchedTorus() {
  static HqStrokeSource* source = nullptr;
  if (source) return source;
  SbHeModelHQ mesh;
  mesh.build(testmesh::model(testmesh::torus(500, 100, 2.0f, 0.5f)));  // 100k triangles
  std::vector<SbVec3f> directions;
  for (const HeVertex* v : mesh.vertices) {
    const SbVec3f& p = v->position;
    SbVec3f around = SbVec3f(0, 0, 1).cross(p);
    SbVec3f centre(p[0], p[1], 0);
    centre.normalize();
    SbVec3f d = around + around.cross(p - centre * 2.0f) * 0.5f;
    d -= v->normal * d.dot(v->normal);
    if (d.length() > 0) d.normalize();
    directions.push_back(d);
  }
  SbStreamlineTracer::Settings s;
  s.seperationDist = 0.01f;
  s.probeDist = 0.012f;
  s.sharpEdge = 115.0f;
  s.maxBend = -1.0f;
  s.minLength = 0.02f;
  s.maxLength = -1.0f;
  s.stepSize = 0.025f;
  StrokeSet strokes;
  SbStreamlineTracer tracer(mesh, directions, SbStreamlineTracer::derive(s, mesh.size()));
  tracer.hatch(strokes, SbStreamlineTracer::TM_NONE);

  source = new HqStrokeSource;
  source->ref();
  source->points = strokes.points;
  source->indices = strokes.indices;
  SbVec3f light(-1, 1, 1);
  light.normalize();
  size_t vertex = 0;
  for (int32_t i : strokes.indices) {
    if (i < 0) continue;
    const SbVec3f& n = strokes.faces[vertex++]->normal;
    const float tone = 1.0f - std::fabs(n.dot(light));
    source->density.push_back(std::min(1.0f, 1.4f * tone));
    source->thickness.push_back(0.3f + 0.7f * tone);
  }
  return source;
}

void BM_HqSnapshot(benchmark::State& state) {
  HqStrokeSource::initClass();
  const bool tga = state.range(0) == 1;
  HqStrokeSource* source = hatchedTorus();

  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0.0f, -6.0f, 6.0f);
  camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 0, 1));
  camera->height = 6.0f;
  camera->nearDistance = 1.0f;
  camera->farDistance = 20.0f;
  root->addChild(camera);
  root->addChild(source);
  auto* settings = new SoLineSettingsHQ;  // application defaults
  root->addChild(settings);
  SoLineOutputHQ* output =
      tga ? static_cast<SoLineOutputHQ*>(new SoLineOutputTgaHQ) : static_cast<SoLineOutputHQ*>(new SoLineOutputPdfHQ);
  root->addChild(output);

  const std::string path =
      (std::filesystem::temp_directory_path() / (tga ? "linfold-bench-hq.tga" : "linfold-bench-hq.pdf")).string();
  SoCallbackAction action(SbViewportRegion(1280, 1024));
  bool ok = true;
  for (auto _ : state) {
    output->requestWrite(path.c_str());
    // The timing trace goes to /dev/null while the pass runs.
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    action.apply(root);
    std::fflush(stdout);
    if (saved >= 0) dup2(saved, 1);
    if (null >= 0) close(null);
    if (saved >= 0) close(saved);
    ok = ok && output->writeSucceeded();
  }
  if (!ok) state.SkipWithError("the snapshot was not written");
  state.counters["points"] = static_cast<double>(source->points.size());
  state.counters["strokes"] = static_cast<double>(source->indices.size() - source->points.size());
  std::error_code ec;
  state.counters["file_kB"] = static_cast<double>(std::filesystem::file_size(path, ec)) / 1024.0;
  if (!std::getenv("LINFOLD_BENCH_KEEP")) std::filesystem::remove(path, ec);  // keep it to look at
  root->unref();
}

}  // namespace

BENCHMARK(BM_HqSnapshot)->ArgNames({"tga"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
