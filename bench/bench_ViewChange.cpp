// A view change after the first frame, as the window shows it while the user
// orbits: the application's scene with its start-up settings (hatching and
// cross-hatching on), a model loaded and drawn once (every cached stage
// computed), then each iteration turns the model by 3 degrees about the
// vertical and draws one 800 x 600 frame offscreen. The strokes stay; the
// silhouettes, the hidden lines, the depth pass and the ink are redone.
// Under xvfb-run this is Mesa's software GL (llvmpipe). Reports the wall and
// process CPU time per frame (all threads, llvmpipe's included), the frames
// per second the window would show (1000 / wall ms) and, as counters, the
// CPU milliseconds of each stage per frame.
//
// The model: $LINFOLD_BENCH_MODEL, else data/torus.iv (bench/make_big_models.py
// writes large ones: make_big_models.py torus 1000000 torus_1m.iv).

#include <benchmark/benchmark.h>

#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QGuiApplication>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "LinfoldControls.h"
#include "LinfoldScene.h"
#include "OffscreenCanvas.h"
#include "RenderOptions.h"
#include "core/StageTimes.h"

namespace {

struct Viewer {
  QGuiApplication* app = nullptr;
  LinfoldScene* scene = nullptr;
  LinfoldControls* controls = nullptr;
  render::OffscreenCanvas* canvas = nullptr;
  SoRotation* turn = nullptr;
  bool ok = false;
  std::string error;
  // As the render tool: the canvas before the scene; all before main ends
  // (the toolkit is finished there and the pools report leaks after it).
  void release() {
    delete canvas;
    delete controls;
    delete scene;
    delete app;
    *this = Viewer();
  }
};

Viewer& viewer() {
  static Viewer v;
  if (v.app || !v.error.empty()) return v;
  static int argc = 1;
  static char name[] = "bench_viewchange";
  static char* argv[] = {name, nullptr};
  v.app = new QGuiApplication(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  v.scene = new LinfoldScene;
  v.controls = new LinfoldControls(*v.scene);
  v.controls->applyStartup();
  v.controls->setStreamlines(true);
  v.controls->setCrossHatching(true);
  v.canvas = new render::OffscreenCanvas(v.scene->root(), false);
  if (!v.canvas->create(800, 600, v.error)) return v;
  const char* model = std::getenv("LINFOLD_BENCH_MODEL");
  const std::string path = model && *model ? model : "data/torus.iv";
  if (!v.scene->loadModel(path.c_str()).loaded) {
    v.error = "cannot load " + path;
    return v;
  }
  // Turning the model before everything is what orbiting the camera does to
  // the drawing: every view-dependent stage runs again.
  v.turn = new SoRotation;
  v.scene->root()->insertChild(v.turn, 0);
  v.canvas->frame(v.scene->root(), render::View());
  if (!v.canvas->draw(v.scene->backgroundColour(), nullptr, v.error)) return v;
  stagetimes::take();
  v.ok = true;
  return v;
}

void BM_ViewChange(benchmark::State& state) {
  Viewer& v = viewer();
  if (!v.ok) {
    static std::string why;
    why = v.error;
    state.SkipWithError(why.c_str());
    v.release();
    return;
  }
  float angle = 0.0f;
  std::map<std::string, double> cpu;
  for (auto _ : state) {
    angle += 3.0f * 3.14159265f / 180.0f;
    v.turn->rotation.setValue(SbVec3f(0, 1, 0), angle);
    std::string error;
    if (!v.canvas->draw(v.scene->backgroundColour(), nullptr, error)) {
      static std::string why;
      why = error;
      state.SkipWithError(why.c_str());
      v.release();
      return;
    }
    for (const stagetimes::Stage& s : stagetimes::take()) cpu[s.name] += s.cpuMs;
  }
  v.release();
  for (const auto& [stage, ms] : cpu) state.counters[stage] = benchmark::Counter(ms / state.iterations());
  state.SetLabel(std::getenv("LINFOLD_BENCH_MODEL") ? std::getenv("LINFOLD_BENCH_MODEL") : "data/torus.iv");
}
BENCHMARK(BM_ViewChange)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(20);

}  // namespace
