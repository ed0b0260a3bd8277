#include "ModelRenderer.h"

#include <QImage>
#include <QSaveFile>
#include <QString>

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "FieldSetting.h"
#include "LinfoldScene.h"
#include "OffscreenCanvas.h"
#include "SceneExporters.h"
#include "core/StageTimes.h"
#include "strokes/SoStreamlinerHQ.h"

namespace render {

namespace {

bool writePng(const QImage& picture, const std::string& path, std::string& error) {
  QSaveFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
    error = "cannot write " + path + ": " + file.errorString().toLocal8Bit().constData();
    return false;
  }
  return true;
}

}  // namespace

void StageClock::restart() {
  start = std::chrono::steady_clock::now();
  cpuStart = stagetimes::cpuNow();
}

double StageClock::report(const char* stage) {
  auto now = std::chrono::steady_clock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - start).count();
  const double cpu = stagetimes::cpuNow();
  std::printf("linfold-render: %s took %.1f ms (CPU %.1f ms)\n", stage, ms, cpu - cpuStart);
  std::fflush(stdout);
  start = now;
  cpuStart = cpu;
  return ms;
}

JobResult ModelRenderer::run(const Job& job) {
  JobResult result;
  const auto start = std::chrono::steady_clock::now();
  process(job, result);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ok = result.error.empty();
  return result;
}

void ModelRenderer::note(JobResult& result, const std::string& error) {
  fail(error);
  if (result.error.empty()) result.error = error;
}

void ModelRenderer::stage(const char* name) {
  // Taken also when not reported, so that the record stays small.
  const std::vector<stagetimes::Stage> parts = stagetimes::take();
  if (!reportTimings) return;
  const double total = clock.report(name);
  // Where the time of a draw went: the processing stages that ran in it, then
  // the rest (drawing, the other line filters, writing files). The CPU time
  // (of all threads) tells more than the wall time on a busy machine.
  double sum = 0.0;
  for (const stagetimes::Stage& part : parts) {
    std::printf("linfold-render:   %s took %.1f ms (CPU %.1f ms)\n", part.name, part.ms, part.cpuMs);
    sum += part.ms;
  }
  if (!parts.empty())
    std::printf("linfold-render:   everything else took %.1f ms\n", std::max(total - sum, 0.0));
  std::fflush(stdout);
}

void ModelRenderer::reportPeakMemory() {
  if (!reportTimings) return;
  // The high-water mark of the resident set (Linux).
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  std::fclose(status);
  if (kb >= 0) {
    std::printf("linfold-render: peak memory %.1f MB\n", kb / 1024.0);
    std::fflush(stdout);
  }
}

void ModelRenderer::process(const Job& job, JobResult& result) {
  clock.restart();
  stagetimes::take();
  const LinfoldScene::LoadResult load = scene.loadModel(job.model.c_str());
  if (!load.message.empty()) {
    // As the window reports it with LINFOLD_NO_DIALOGS set.
    std::printf("Error: %s\n", load.message.c_str());
    std::fflush(stdout);
  }
  if (!load.loaded) {
    note(result, "cannot load " + job.model);
    return;
  }
  stage("load");

  std::string error;
  for (const FieldSetting& s : opt.settings)
    if (!applySetting(scene.root(), s, error)) {
      note(result, error);
      return;
    }

  clock.restart();
  canvas.frame(scene.root());
  QImage picture;
  if (!canvas.draw(scene.backgroundColour(), &picture, error)) {
    note(result, error);
    return;
  }
  stage("render");
  counts(result);

  if (!job.files[PNG].empty()) {
    if (writePng(picture, job.files[PNG], error))
      result.written.push_back(kOutputs[PNG].name);
    else
      note(result, error);
  }

  // Exports in as few draws as possible: one per output of the same node.
  std::vector<int> pending;
  for (int id = PDF; id < OUTPUT_COUNT; ++id)
    if (!job.files[id].empty()) pending.push_back(id);
  while (!pending.empty()) {
    std::set<SoNode*> used;
    std::vector<int> armed, later;
    for (int id : pending) {
      if (used.insert(exporters.node(id)).second) {
        exporters.arm(id, job.files[id]);
        armed.push_back(id);
      } else {
        later.push_back(id);
      }
    }
    const bool drawn = canvas.draw(scene.backgroundColour(), nullptr, error);
    for (int id : armed) {
      std::string why;
      if (drawn && exporters.check(id, job.files[id], why))
        result.written.push_back(kOutputs[id].name);
      else
        note(result, drawn ? why : error);
      if (!drawn) exporters.check(id, job.files[id], why);  // disarms
    }
    pending.swap(later);
  }
  if (std::any_of(job.files.begin(), job.files.end(), [](const std::string& f) { return !f.empty(); }))
    stage("write");
  reportPeakMemory();
}

void ModelRenderer::counts(JobResult& result) {
  result.faces = scene.statistics().faces;
  const SoStreamlinerHQ* streamliner = scene.nodes().streamliner;
  result.strokes = streamliner->doComputation.getValue() ? streamliner->strokes().strokeCount : 0;
}

}  // namespace render
