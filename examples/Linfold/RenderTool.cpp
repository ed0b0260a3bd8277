// linfold-render: draws a model the way the application shows it, without a
// window, and writes the picture and the program's exports of that view.
//
// The program's own scene is built and given the start-up values of every
// control of the window (LinfoldScene, LinfoldControls::applyStartup), so its
// node fields are exactly the program's, except that the hatching is switched
// on (a user of this tool wants the strokes) and line widths count as points
// of the page the picture maps to. Each model is drawn offscreen
// (OffscreenCanvas) under the camera the view options ask for; the export
// nodes of the scene write during a draw, so the tool arms them and draws the
// same view once more (ModelRenderer, SceneExporters). The PNG is the TGA
// snapshot's raster, or with --png-view the frame as the window shows it.
//
// With --out-dir the tool illustrates many models in one run and ends with a
// summary table (BatchJobs, BatchConsole).

#include <QGuiApplication>

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "BatchConsole.h"
#include "BatchJobs.h"
#include "LinfoldControls.h"
#include "LinfoldScene.h"
#include "ModelRenderer.h"
#include "OffscreenCanvas.h"
#include "RenderOptions.h"
#include "SceneExporters.h"
#include "lines/SoGenerateSilhouette.h"
#include "output/SoLineOutputPdfHQ.h"
#include "styling/SoLineSettingsHQ.h"

using namespace render;

int main(int argc, char** argv) {
  Options opt;
  bool help = false;
  if (int status = parseArguments(argc, argv, opt, help)) return status;
  if (help) {
    std::printf("%s", usage().c_str());
    return 0;
  }

  std::vector<Job> jobs;
  if (opt.batch()) {
    if (!batchJobs(opt, jobs)) return 1;
  } else {
    Job job;
    job.model = opt.models[0];
    job.label = job.model;
    job.files = opt.files;
    jobs.push_back(job);
  }

  StageClock clock;
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  // Qt sets the locale from the environment; Inventor values use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  LinfoldScene scene;
  LinfoldControls controls(scene);
  controls.applyStartup();

  std::array<bool, OUTPUT_COUNT> wanted = opt.wanted;
  for (int id = 0; id < OUTPUT_COUNT; ++id) wanted[id] = wanted[id] || !opt.files[id].empty();
  SceneExporters exporters(scene, wanted);
  // The tool's start-up settings (--set may change them): hatching on, with
  // cross-hatching in the darkest parts; the vector line export as the
  // window's "Write PDF File" command writes it.
  controls.setStreamlines(true);
  controls.setCrossHatching(true);
  controls.setFieldCleanUp(opt.fieldCleanUp);
  scene.setLineExportStyle();
  // Line widths are points of the page the picture maps to (the A4 page of
  // the PDF snapshot): --size changes the resolution, not the drawing.
  const float pixelsPerPoint = static_cast<float>(1.0 / SoLineOutputPdfHQ::pageScale(opt.width, opt.height));
  scene.nodes().lineSettings->pixelsPerPoint = pixelsPerPoint;
  scene.nodes().silhouettes->lineWidth = pixelsPerPoint;

  OffscreenCanvas canvas(scene.root(), opt.view.perspective);
  std::string error;
  if (!canvas.create(opt.width, opt.height, error)) {
    fail(error);
    return 1;
  }
  clock.report("start-up");

  ModelRenderer renderer(scene, canvas, exporters, opt, !opt.batch());
  if (!opt.batch()) return renderer.run(jobs[0]).ok ? 0 : 1;

  std::vector<JobResult> results;
  BatchConsole console(static_cast<int>(jobs.size()));
  for (size_t i = 0; i < jobs.size(); ++i) {
    console.begin(static_cast<int>(i), jobs[i].label);
    JobResult result;
    result.error = replacedModel(jobs[i]);
    if (result.error.empty())
      result = renderer.run(jobs[i]);
    else
      fail(result.error);
    console.end(result.ok);
    results.push_back(result);
  }
  console.finish();
  printSummary(jobs, results);
  return std::all_of(results.begin(), results.end(), [](const JobResult& r) { return r.ok; }) ? 0 : 1;
}
