#ifndef LINFOLD_SCENEEXPORTERS_H
#define LINFOLD_SCENEEXPORTERS_H

#include <array>
#include <string>

#include "RenderOptions.h"

class LinfoldScene;
class SoLineOutput;
class SoLineOutputPdfHQ;
class SoLineOutputSvgHQ;
class SoLineOutputTgaHQ;
class SoLinePlotterOutput;
class SbWriteResult;
class SoNode;
class SoWingedEdgeOutput;

namespace render {

// The nodes of the scene that write linfold-render's outputs other than the
// PNG. They write during a draw: arm them, draw, check.
class SceneExporters {
 public:
  // The SVG and plotter writers stand outside the scene; when an output of
  // theirs is wanted they are placed beside the PDF snapshot writer (same line
  // set, line settings and view) for the whole run.
  SceneExporters(LinfoldScene& scene, const std::array<bool, OUTPUT_COUNT>& wanted);

  // The node an output is written by; outputs of one node need a draw each.
  SoNode* node(int id) const;
  // Asks the output's node to write `path` in the next draw.
  void arm(int id, const std::string& path);
  // After the draw that ran the armed node: whether the file was written;
  // otherwise `error` says why ("cannot write PATH: it is read-only"). A
  // writer that found nothing to draw stays armed; it is disarmed here so a
  // later model does not write under this name.
  bool check(int id, const std::string& path, std::string& error);

 private:
  // The write result of the output's node.
  const SbWriteResult* result(int id) const { return pick<const SbWriteResult>(id); }
  // The output's node as a T (a base every output node has), or null.
  template <class T>
  T* pick(int id) const;

  SoLineOutputPdfHQ* pdf = nullptr;
  SoLineOutputTgaHQ* tga = nullptr;
  SoLineOutputSvgHQ* svg = nullptr;
  SoLineOutput* lines = nullptr;
  SoWingedEdgeOutput* mesh = nullptr;
  SoLinePlotterOutput* plotter = nullptr;
};

}  // namespace render

#endif
