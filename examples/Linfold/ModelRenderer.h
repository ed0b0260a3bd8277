#ifndef LINFOLD_MODELRENDERER_H
#define LINFOLD_MODELRENDERER_H

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "RenderOptions.h"

class LinfoldScene;

namespace render {

class OffscreenCanvas;
class SceneExporters;

// One model to draw and the files to write for it.
struct Job {
  std::string model;
  std::string label;                            // the model as shown in the summary
  std::array<std::string, OUTPUT_COUNT> files;  // empty: not requested
};

struct JobResult {
  bool ok = false;
  int faces = -1;    // of the model after the modifier; -1 when not drawn
  int strokes = -1;  // hatching strokes traced; -1 when not drawn
  double seconds = 0.0;
  long peakKB = -1;                  // peak resident memory; -1 when not measured
  std::vector<std::string> written;  // names of the outputs written
  std::string error;                 // the first failure
};

// Prints "linfold-render: STAGE took N ms (CPU M ms)" for the time since the
// last report or restart (the CPU time of all threads), and returns the wall
// time.
class StageClock {
 public:
  double report(const char* stage);
  void restart();

 private:
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double cpuStart = 0.0;  // the process's CPU time at the start, ms
};

// Draws one model after another into the same scene: loads it, applies the
// --set settings, frames it for the view, draws it (refusing a model without
// faces), writes the window-view PNG when asked for, then arms the export
// nodes and draws again (one draw per output of the same node). The ink PNG
// is the TGA snapshot's raster. Reports the time of each stage when asked to.
class ModelRenderer {
 public:
  ModelRenderer(LinfoldScene& scene, OffscreenCanvas& canvas, SceneExporters& exporters, const Options& options,
                bool reportTimings)
      : scene(scene), canvas(canvas), exporters(exporters), opt(options), reportTimings(reportTimings) {}

  JobResult run(const Job& job);

 private:
  void process(const Job& job, JobResult& result);
  void note(JobResult& result, const std::string& error);
  void stage(const char* name);
  void reportPeakMemory();
  void counts(JobResult& result);
  // Settings the scene refused while drawing (a formula that does not parse,
  // mesh operations refused): failures of the run.
  void refusedSettings(JobResult& result);
  // Arms the first output of each node in `pending` (those left stay in it)
  // and returns the armed outputs.
  std::vector<int> armGroup(const Job& job, const std::string& scratch, std::vector<int>& pending);
  // After the draw that ran the armed outputs: records each as written or
  // failed (and turns an ink PNG's raster into the PNG) and returns whether
  // the TGA was written. With `takeBack`, only gathers the files written.
  bool finishGroup(const Job& job, const std::string& scratch, const std::vector<int>& armed, bool drawn,
                   const std::string& drawError, JobResult& result, std::vector<std::string>* takeBack = nullptr);

  LinfoldScene& scene;
  OffscreenCanvas& canvas;
  SceneExporters& exporters;
  const Options& opt;
  bool reportTimings;
  StageClock clock;
};

}  // namespace render

#endif
