#include "ModelRenderer.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <unistd.h>

#include "FieldSetting.h"
#include "LinfoldScene.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "OffscreenCanvas.h"
#include "SceneExporters.h"
#include "core/SbOutputFile.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "core/StageTimes.h"
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

// Whether the scene holds triangles (lines and points do not count): a count
// from the shapes' index arrays, far cheaper than a traversal that makes them.
bool hasTriangles(SoNode* root) {
  SoGetPrimitiveCountAction count;
  count.apply(root);
  return count.getTriangleCount() > 0;
}

// Where the TGA raster of an ink PNG is written when no TGA is asked for.
std::string scratchTga() {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  return ((ec ? std::filesystem::path("/tmp") : dir) / ("linfold-render-" + std::to_string(::getpid()) + ".tga"))
      .string();
}

// The 8-bit greyscale TGA that SoLineOutputTgaHQ writes (uncompressed, rows
// from the top) as a greyscale PNG.
bool tgaToPng(const std::string& tga, const std::string& png, std::string& error) {
  std::ifstream in(tga, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t header = bytes.size() >= 18 ? 18u + bytes[0] : 0u;
  const int width = header ? bytes[12] | bytes[13] << 8 : 0, height = header ? bytes[14] | bytes[15] << 8 : 0;
  if (!header || bytes[2] != 3 || bytes[16] != 8 || width < 1 || height < 1 ||
      bytes.size() < header + static_cast<size_t>(width) * height) {
    error = "cannot read the drawing back from " + tga;
    return false;
  }
  QImage image(width, height, QImage::Format_Grayscale8);
  const bool topDown = bytes[17] & 0x20;
  for (int y = 0; y < height; ++y)
    std::memcpy(image.scanLine(topDown ? y : height - 1 - y), &bytes[header + static_cast<size_t>(y) * width],
                static_cast<size_t>(width));
  return writePng(image, png, error);
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
  // Outputs in the order of the option list, whatever draw wrote them.
  auto rank = [](const std::string& name) -> int {
    for (int id = 0; id < OUTPUT_COUNT; ++id)
      if (name == kOutputs[id].name) return id;
    return OUTPUT_COUNT;
  };
  std::stable_sort(result.written.begin(), result.written.end(),
                   [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
  if (!parts.empty()) std::printf("linfold-render:   everything else took %.1f ms\n", std::max(total - sum, 0.0));
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

  // The PNG drawing is the TGA snapshot's raster: taken from the TGA file when
  // one is asked for, else from one written aside for it.
  const bool wantPng = !job.files[PNG].empty();
  const bool inkPng = wantPng && !opt.pngView;
  const bool pngFromTga = inkPng && !job.files[TGA].empty();
  const std::string scratch = inkPng && !pngFromTga ? scratchTga() : std::string();

  // Exports in as few draws as possible: one per output of the same node. The
  // first group rides on the draw that computes everything, unless the model
  // has no triangles at all (then nothing is written): a second traversal of
  // a large model costs about as much as its drawing and hidden lines.
  std::vector<int> pending;
  for (int id = PDF; id < OUTPUT_COUNT; ++id)
    if (!job.files[id].empty()) pending.push_back(id);
  if (!scratch.empty()) pending.push_back(PNG);
  std::vector<int> armed;
  if (!pending.empty() && hasTriangles(scene.geometry())) armed = armGroup(job, scratch, pending);

  // After a first draw that must write nothing: disarms the writers (which
  // find nothing to draw without faces) and removes what one wrote anyway.
  auto takeBack = [&] {
    std::vector<std::string> written;
    finishGroup(job, scratch, armed, true, error, result, &written);
    for (const std::string& file : written) std::remove(file.c_str());
  };

  clock.restart();
  canvas.frame(scene.geometry(), opt.view);
  QImage picture;
  bool drawn = canvas.draw(scene.backgroundColour(), opt.pngView ? &picture : nullptr, error);
  if (!drawn) {
    takeBack();
    note(result, error);
    return;
  }
  stage("render");
  counts(result);
  // A model that yields no faces (NURBS the reader does not tessellate, lines,
  // points, only lights or cameras) has nothing to draw: no blank pictures.
  if (scene.nodes().geometryParent->doBuildWingedEdge.getValue() && scene.statistics().originalFaces == 0) {
    // Triangles that all fell away (degenerate ones, say).
    takeBack();
    note(result, job.model + " has no faces to draw");
    return;
  }
  const LinfoldScene::Nodes& n = scene.nodes();
  std::printf("%s\n",
              n.flowField->flowField().measureTurning(n.heModel->model(), n.curvature->curvature()).text().c_str());
  refusedSettings(result);

  if (wantPng && opt.pngView) {
    if (writePng(picture, job.files[PNG], error))
      result.written.push_back(kOutputs[PNG].name);
    else
      note(result, error);
  }
  bool tgaWritten = finishGroup(job, scratch, armed, true, error, result);
  while (!pending.empty()) {
    armed = armGroup(job, scratch, pending);
    drawn = canvas.draw(scene.backgroundColour(), nullptr, error);
    tgaWritten = finishGroup(job, scratch, armed, drawn, error, result) || tgaWritten;
  }
  if (!scratch.empty()) std::remove(scratch.c_str());
  if (pngFromTga) {
    if (!tgaWritten)
      note(result, job.files[PNG] + " not written: it is drawn from the TGA snapshot, which failed");
    else if (tgaToPng(job.files[TGA], job.files[PNG], error))
      result.written.push_back(kOutputs[PNG].name);
    else
      note(result, error);
  }
  if (std::any_of(job.files.begin(), job.files.end(), [](const std::string& f) { return !f.empty(); })) stage("write");
  reportPeakMemory();
}

std::vector<int> ModelRenderer::armGroup(const Job& job, const std::string& scratch, std::vector<int>& pending) {
  std::set<SoNode*> used;
  std::vector<int> armed, later;
  for (int id : pending) {
    const int by = id == PNG ? TGA : id;
    if (used.insert(exporters.node(by)).second) {
      exporters.arm(by, id == PNG ? scratch : job.files[id]);
      armed.push_back(id);
    } else {
      later.push_back(id);
    }
  }
  pending.swap(later);
  return armed;
}

bool ModelRenderer::finishGroup(const Job& job, const std::string& scratch, const std::vector<int>& armed, bool drawn,
                                const std::string& drawError, JobResult& result, std::vector<std::string>* takeBack) {
  bool tgaWritten = false;
  for (int id : armed) {
    const int by = id == PNG ? TGA : id;
    std::string why;
    const std::string& file = id == PNG ? scratch : job.files[id];
    bool written = drawn && exporters.check(by, file, why);
    if (takeBack) {
      if (written) takeBack->push_back(file);
      continue;
    }
    if (written && id == PNG) written = tgaToPng(scratch, job.files[PNG], why);
    if (written) {
      result.written.push_back(kOutputs[id].name);
      tgaWritten = tgaWritten || id == TGA;
    } else {
      note(result, drawn ? why : drawError);
    }
    if (!drawn) exporters.check(by, file, why);  // disarms
  }
  return tgaWritten;
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
