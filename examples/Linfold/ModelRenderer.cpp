#include "ModelRenderer.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "FieldSetting.h"
#include "LinfoldScene.h"
#include "OffscreenCanvas.h"
#include "SceneExporters.h"
#include "core/SbOutputFile.h"
#include "mesh/SoModifyWingedEdge.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineThickenerHQ.h"

namespace render {

namespace {

// Encodes in memory, then writes through SbOutputFile as every export does.
bool writePng(const QImage& picture, const std::string& path, std::string& error) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  std::string why = "the picture cannot be encoded";
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") ||
      !SbOutputFile::write(path, bytes.constData(), static_cast<size_t>(bytes.size()), why)) {
    error = "cannot write " + path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace

void StageClock::report(const char* stage) {
  auto now = std::chrono::steady_clock::now();
  std::printf("linfold-render: %s took %.1f ms\n", stage,
              std::chrono::duration<double, std::milli>(now - start).count());
  std::fflush(stdout);
  start = now;
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
  if (reportTimings) clock.report(name);
}

void ModelRenderer::process(const Job& job, JobResult& result) {
  clock.restart();
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
  refusedSettings(result);

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
}

void ModelRenderer::refusedSettings(JobResult& result) {
  const LinfoldScene::Nodes& n = scene.nodes();
  if (!n.modifier->problem().empty()) note(result, "the mesh was not modified as asked: " + n.modifier->problem());
  const SoLineStrokeValueHQ* formulas[] = {n.thickenerHQ, n.densifierHQ};
  for (const SoLineStrokeValueHQ* node : formulas)
    if (node->formulaFailed())
      note(result, std::string(node->getTypeId().getName().getString()) + ".parserExpression \"" +
                       node->engine().formula() + "\" is not a formula: " + node->engine().error());
}

void ModelRenderer::counts(JobResult& result) {
  result.faces = scene.statistics().faces;
  const SoStreamlinerHQ* streamliner = scene.nodes().streamliner;
  result.strokes = streamliner->doComputation.getValue() ? streamliner->strokes().strokeCount : 0;
}

}  // namespace render
