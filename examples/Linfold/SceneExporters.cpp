#include "SceneExporters.h"

#include "LinfoldScene.h"
#include "output/SoLineOutput.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "output/SoWingedEdgeOutput.h"

namespace render {

SceneExporters::SceneExporters(LinfoldScene& scene, const std::array<bool, OUTPUT_COUNT>& wanted) {
  const LinfoldScene::Nodes& n = scene.nodes();
  pdf = n.pdfOutput;
  tga = n.tgaOutput;
  lines = n.lineOutput;
  mesh = n.wingedEdgeOutput;
  if (wanted[SVG]) {
    svg = n.svgOutput;
    scene.placeAfterPdf(svg);
  }
  if (wanted[PLOTTER_SVG] || wanted[PLOTTER_TXT]) {
    plotter = n.plotterOutput;
    scene.placeAfterPdf(plotter);
  }
}

SoNode* SceneExporters::node(int id) const { return pick<SoNode>(id); }

template <class T>
T* SceneExporters::pick(int id) const {
  switch (id) {
    case PDF: return pdf;
    case TGA: return tga;
    case SVG: return svg;
    case LINES_PDF:
    case LINES_TXT: return lines;
    case VRML:
    case IV: return mesh;
    case PLOTTER_SVG:
    case PLOTTER_TXT: return plotter;
    default: return nullptr;
  }
}

void SceneExporters::arm(int id, const std::string& path) {
  const SbString name(path.c_str());
  switch (id) {
    case PDF: pdf->requestWrite(name); break;
    case TGA: tga->requestWrite(name); break;
    case SVG: svg->requestWrite(name); break;
    case LINES_PDF:
    case LINES_TXT:
      lines->filename = name;
      if (id == LINES_PDF)
        lines->requestPdfWrite();
      else
        lines->requestTextWrite();
      break;
    case VRML:
    case IV:
      mesh->filename = name;
      if (id == VRML)
        mesh->requestVrmlWrite();
      else
        mesh->requestInventorWrite();
      break;
    case PLOTTER_SVG:
    case PLOTTER_TXT:
      plotter->format = id == PLOTTER_SVG ? SoLinePlotterOutput::SVG : SoLinePlotterOutput::TEXT;
      plotter->requestWrite(name);
      break;
    default: break;
  }
}

bool SceneExporters::check(int id, const std::string& path, std::string& error) {
  const SbWriteResult* node = result(id);
  if (!node) return false;
  switch (node->getWriteResult()) {
    case SbWriteResult::WR_WRITTEN: return true;
    case SbWriteResult::WR_FAILED: error = "cannot write " + path + ": " + node->writeError(); return false;
    case SbWriteResult::WR_NONE: break;
  }
  // Still armed after the draw: disarmed here, so that a later model does
  // not write under this name.
  switch (id) {
    case PDF:
    case TGA:
    case SVG:
    case PLOTTER_SVG:
    case PLOTTER_TXT:
      if (id == PLOTTER_SVG || id == PLOTTER_TXT)
        plotter->requestWrite(SbString());
      else
        static_cast<SoLineOutputHQ*>(this->node(id))->requestWrite(SbString());
      error = path + " not written: nothing to draw in the view (no strokes or silhouettes)";
      break;
    default:
      if (id == VRML || id == IV)
        mesh->written = true;
      else
        lines->written = true;
      error = path + " not written: the scene did not reach its writer";
  }
  return false;
}

}  // namespace render
