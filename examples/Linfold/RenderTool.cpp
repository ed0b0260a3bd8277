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
// With --out-dir the tool illustrates many models in one run, each in a child
// process of its own (a model that crashes, hangs past --max-seconds or
// exhausts memory ends only itself), and ends with a summary table
// (BatchJobs, BatchConsole).

#include <QGuiApplication>

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "BatchConsole.h"
#include "BatchJobs.h"
#include "LinfoldControls.h"
#include "LinfoldScene.h"
#include "ModelRenderer.h"
#include "OffscreenCanvas.h"
#include "RenderOptions.h"
#include "SceneExporters.h"
#include "core/SbOutputFile.h"
#include "lines/SoGenerateSilhouette.h"
#include "output/SoLineOutputPdfHQ.h"
#include "styling/SoLineSettingsHQ.h"

using namespace render;
namespace fs = std::filesystem;

namespace {

// Start-up, then one model drawn and its outputs written, as the tool does for
// a single model and for each model of a batch (in a child process there).
JobResult drawModel(char* program, const Options& opt, const Job& job, bool reportTimings) {
  StageClock clock;
  int qtArgc = 1;
  char* qtArgv[] = {program, nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  // Qt sets the locale from the environment; Inventor values use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  LinfoldScene scene;
  LinfoldControls controls(scene);
  controls.applyStartup();

  std::array<bool, OUTPUT_COUNT> wanted = opt.wanted;
  for (int id = 0; id < OUTPUT_COUNT; ++id) wanted[id] = wanted[id] || !job.files[id].empty();
  SceneExporters exporters(scene, wanted);
  // The tool's start-up settings (--set may change them): hatching on, with
  // cross-hatching in the darkest parts; the vector line export as the
  // window's "Write PDF File" command writes it.
  controls.setStreamlines(true);
  controls.setCrossHatching(true);
  controls.setFieldCleanUp(opt.fieldCleanUp);
  // The flow-field marks show in the window's view alone: without a
  // --png-view picture they would be drawn for no one (a tenth of a second
  // and 60 MB of GL memory at a million vertices).
  if (!opt.pngView) controls.setFlowFieldShown(false);
  scene.setLineExportStyle();
  // Line widths are points of the page the picture maps to (the A4 page of
  // the PDF snapshot): --size changes the resolution, not the drawing.
  const float pixelsPerPoint = static_cast<float>(1.0 / SoLineOutputPdfHQ::pageScale(opt.width, opt.height));
  scene.nodes().lineSettings->pixelsPerPoint = pixelsPerPoint;
  scene.nodes().silhouettes->lineWidth = pixelsPerPoint;

  OffscreenCanvas canvas(scene.root(), opt.view.perspective);
  JobResult result;
  if (!canvas.create(opt.width, opt.height, result.error)) {
    fail(result.error);
    return result;
  }
  if (reportTimings) clock.report("start-up");
  ModelRenderer renderer(scene, canvas, exporters, opt, reportTimings);
  return renderer.run(job);
}

// Why the job's outputs must not be written at all, found before any work:
// one that would replace a model of the run or is not a regular file
// (folder, device, pipe, link) or is read-only, or two naming the same file.
// Empty when they may.
std::string refusedOutputs(const Job& job) {
  std::vector<std::pair<int, std::string>> named;
  for (int id = 0; id < OUTPUT_COUNT; ++id) {
    const std::string& file = job.files[id];
    if (file.empty()) continue;
    std::string why;
    if (!SbOutputFile::check(file, why))
      return "refused to write " + file + " (the " + kOutputs[id].name + " output): " + why;
    std::error_code ec;
    const std::string same = fs::weakly_canonical(fs::absolute(file, ec), ec).string();
    for (const auto& other : named)
      if (other.second == same)
        return std::string("the ") + kOutputs[other.first].name + " and " + kOutputs[id].name + " outputs both name " +
               file;
    named.emplace_back(id, same);
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool help = false;
  if (int status = parseArguments(argc, argv, opt, help)) return status;
  if (help) {
    std::printf("%s", usage().c_str());
    return 0;
  }

  if (!opt.batch()) {
    Job job;
    job.model = opt.models[0];
    job.label = job.model;
    job.files = opt.files;
    SbOutputFile::protectInput(job.model);
    const std::string refused = refusedOutputs(job);
    if (!refused.empty()) {
      fail(refused);
      return 1;
    }
    handleInterrupts(false);
    armModelTimer(opt.maxSeconds, job.model, 1);
    const bool ok = drawModel(argv[0], opt, job, true).ok;
    disarmModelTimer();
    return ok ? 0 : 1;
  }

  std::vector<Job> jobs;
  if (!batchJobs(opt, jobs)) return 1;
  for (const Job& job : jobs) SbOutputFile::protectInput(job.model);
  handleInterrupts(true);
  std::vector<JobResult> results;
  bool interrupted = false;
  BatchConsole console(static_cast<int>(jobs.size()));
  for (size_t i = 0; i < jobs.size() && !interrupted; ++i) {
    const Job& job = jobs[i];
    console.begin(static_cast<int>(i), job.label);
    JobResult result;
    result.error = refusedOutputs(job);
    if (result.error.empty())
      result = runIsolated(
          job, opt.maxSeconds, [&]() { return drawModel(argv[0], opt, job, false); }, interrupted);
    else
      fail(result.error);
    console.end(result.ok);
    results.push_back(result);
  }
  console.finish();
  printSummary(jobs, results);
  if (interrupted) {
    fail("interrupted");
    return 130;
  }
  return std::all_of(results.begin(), results.end(), [](const JobResult& r) { return r.ok; }) ? 0 : 1;
}
