#include "output/SoLinePlotterOutput.h"

#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/misc/SoState.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "lines/LineSetState.h"
#include "output/SbInkOutlineHQ.h"
#include "core/SbOutputFile.h"
#include "output/SbPlotterPaths.h"
#include "output/SbSvgWriter.h"
#include "output/SoLineOutputPdfHQ.h"
#include "styling/SbInkStrokeBuilderHQ.h"
#include "styling/SbLineSettingsHQ.h"

SO_NODE_SOURCE(SoLinePlotterOutput);

namespace {

// Keeps the dots of the HQ ink (centre and radius in pixels) and drops the
// outlines of the solid runs, whose centre lines are taken from the strokes.
class DotCollector : public SbInkOutlineHQ::Receiver {
 public:
  void fillContour(ContourListHQ& outline) override { outline.clear(); }
  void drawDot(const SbVec3f& centre, float radius) override { dots.emplace_back(centre[0], centre[1], radius); }
  std::vector<SbVec3f> dots;
};

}  // namespace

void SoLinePlotterOutput::initClass() {
  SO_NODE_INIT_CLASS(SoLinePlotterOutput, SoLineModifier, "SoLineModifier");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
  SO_ENABLE(SoGLRenderAction, SoLineSettingsElementHQ);
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewVolumeElement);
  SO_ENABLE(SoGLRenderAction, SoViewportRegionElement);
  SO_ENABLE(SoCallbackAction, SoLineSettingsElementHQ);
  SO_ENABLE(SoCallbackAction, SoModelMatrixElement);
  SO_ENABLE(SoCallbackAction, SoViewVolumeElement);
  SO_ENABLE(SoCallbackAction, SoViewportRegionElement);
}

SoLinePlotterOutput::SoLinePlotterOutput() {
  SO_NODE_CONSTRUCTOR(SoLinePlotterOutput);
  SO_NODE_ADD_FIELD(filename, (""));
  SO_NODE_ADD_FIELD(format, (SVG));
  SO_NODE_ADD_FIELD(includeDots, (TRUE));
  SO_NODE_ADD_FIELD(optimiseSeconds, (2.0f));
  SO_NODE_ADD_FIELD(penWidth, (kPenWidth));
  SO_NODE_DEFINE_ENUM_VALUE(Format, SVG);
  SO_NODE_DEFINE_ENUM_VALUE(Format, TEXT);
  SO_NODE_SET_SF_ENUM_TYPE(format, Format);
}

SoLinePlotterOutput::~SoLinePlotterOutput() = default;

bool SoLinePlotterOutput::requestWrite(const SbString& path) {
  filename.setValue(path);
  writePending = path.getLength() > 0;
  resetWriteResult();
  return writePending;
}

void SoLinePlotterOutput::GLRender(SoGLRenderAction* action) {
  // Whether the node writes depends on writePending, which is no field.
  SoCacheElement::invalidate(action->getState());
  doAction(action);
}

void SoLinePlotterOutput::callback(SoCallbackAction* action) { doAction(action); }

void SoLinePlotterOutput::doAction(SoAction* action) {
  if (!writePending || !action) return;
  // Only these actions carry the elements the pass reads.
  if (!action->isOfType(SoGLRenderAction::getClassTypeId()) && !action->isOfType(SoCallbackAction::getClassTypeId()))
    return;
  try {
    outputPass(action->getState());
  } catch (...) {
    writePending = false;
    setWriteFailed(filename.getValue().getString(), "the output pass failed");
    std::printf("SoLinePlotterOutput: the output pass failed, nothing written\n");
  }
}

void SoLinePlotterOutput::outputPass(SoState* state) {
  SbLineSetView lines;
  std::vector<SbVec3f> pointStore;
  linestate::viewLineSet(state, lines, pointStore);
  const SbLineSettingsHQ* settings = SoLineSettingsElementHQ::get(state);
  // No lines yet: stay armed for a later traversal.
  if (lines.indexCount < 2 || lines.pointCount < 1) return;

  const SbVec2s size = SoViewportRegionElement::get(state).getViewportSizePixels();
  const int width = size[0], height = size[1];
  writePending = false;
  if (width < 1 || height < 1 || width > 65535 || height > 65535) {
    std::printf("SoLinePlotterOutput: viewport of %d x %d pixels is outside 1..65535, nothing written\n", width,
                height);
    setWriteFailed(filename.getValue().getString(), "the viewport is outside 1..65535 pixels");
    return;
  }

  // Object space to pixels about the viewport centre (as the HQ snapshot),
  // then to page points, origin bottom-left.
  SbMatrix affine, projection;
  SoViewVolumeElement::get(state).getMatrices(affine, projection);
  const SbMatrix toClip = SoModelMatrixElement::get(state) * affine * projection;
  SbInkStrokeBuilderHQ projector;
  projector.setProjection(toClip, SbVec2f(-0.5f * width, -0.5f * height),
                          SbVec2f(static_cast<float>(width), static_cast<float>(height)));
  // The page of the PDF snapshot: box rounded to whole points, the viewport
  // centre at its centre.
  const double scale = SoLineOutputPdfHQ::pageScale(width, height);
  const int pageWidth = static_cast<int>(width * scale + 0.5);
  const int pageHeight = static_cast<int>(height * scale + 0.5);
  const double shiftX = pageWidth * 0.5, shiftY = pageHeight * 0.5;
  auto toPage = [&](float x, float y) {
    return SbVec2f(static_cast<float>(x * scale + shiftX), static_cast<float>(y * scale + shiftY));
  };
  std::vector<SbVec2f> pixels;
  std::vector<uint8_t> valid;
  projector.projectPoints(lines, pixels, valid);
  // Index entries before `stored` are silhouettes (all are hatching when unknown).
  const int32_t stored = std::max(0, SoLineMergerElementHQ::storedPrefix(state, lines.indices, lines.indexCount));
  const float pen = std::isfinite(penWidth.getValue()) && penWidth.getValue() > 0.0f ? penWidth.getValue() : kPenWidth;

  SbPlotterPaths paths;
  const bool dots = includeDots.getValue() != FALSE;
  DotCollector collector;
  std::unique_ptr<SbInkOutlineHQ> ink;
  if (settings) ink.reset(new SbInkOutlineHQ(*settings, collector));
  std::vector<SbVec2f> run;
  std::vector<float> tone, radius;
  SbPlotterPaths::Layer layer = SbPlotterPaths::HATCHING;
  auto flush = [&]() {
    if (settings) {
      paths.addSolidParts(run.data(), tone.data(), radius.data(), static_cast<int>(run.size()), settings->toneHigh,
                          layer);
    } else if (run.size() == 1) {
      if (dots) paths.addDot(run[0], std::max(kDefaultDotMark, pen));
    } else {
      paths.addPolyline(run.data(), static_cast<int>(run.size()), layer);
    }
    run.clear();
    tone.clear();
    radius.clear();
  };
  lines.forEachLine([&](int32_t begin, int32_t end, int32_t firstVertex) {
    layer = begin < stored ? SbPlotterPaths::SILHOUETTES : SbPlotterPaths::HATCHING;
    for (int32_t k = begin; k < end; ++k) {
      const int32_t i = lines.indices[k];
      const int32_t v = firstVertex + (k - begin);
      if (!lines.hasPoint(i) || !valid[i]) continue;
      run.push_back(toPage(pixels[i][0], pixels[i][1]));
      if (ink) {
        const float* density = lines.density;
        tone.push_back(density ? std::clamp(std::isfinite(density[v]) ? density[v] : 0.0f, 0.0f, 1.0f) : 1.0f);
        radius.push_back(SbInkRunsHQ::halfWidth(*settings, lines.thickness ? lines.thickness + v : nullptr));
      }
    }
    flush();
  });
  if (ink) {
    if (dots) ink->addLineSet(lines, pixels.data(), valid.data());
    ink.reset();
    for (const SbVec3f& d : collector.dots)
      paths.addDot(toPage(d[0], d[1]), std::max(pen, static_cast<float>(2.0 * d[2] * scale)));
  }
  const SbPlotterPaths::ShortReport shortPaths = paths.absorbShort(pen);
  if (shortPaths.joined + shortPaths.dropped > 0)
    std::printf(
        "SoLinePlotterOutput: %d path(s) shorter than the pen width: %d joined to a neighbour, %d left out "
        "(%.1f points of ink)\n",
        shortPaths.joined + shortPaths.dropped, shortPaths.joined, shortPaths.dropped, shortPaths.droppedLength);

  // The pen starts at the top-left corner, where plotters home.
  const double seconds = std::isfinite(optimiseSeconds.getValue()) ? optimiseSeconds.getValue() : 0.0;
  const SbPlotterPaths::Report report =
      paths.optimise(kMergeTolerance, SbVec2f(0.0f, static_cast<float>(pageHeight)), seconds);
  std::printf("SoLinePlotterOutput: pen-up travel %.1f -> %.1f points\n", report.travelBefore, report.travelAfter);
  std::string why;
  if (writeFile(paths, pageWidth, pageHeight, pen, why))
    setWritten(filename.getValue().getString());
  else
    setWriteFailed(filename.getValue().getString(), why);
}

bool SoLinePlotterOutput::writeFile(const SbPlotterPaths& paths, int pageWidth, int pageHeight, float pen,
                                    std::string& why) {
  const std::string path = filename.getValue().getString();
  if (format.getValue() == TEXT) {
    std::string header = "plotter paths: " + std::to_string(paths.pathCount()) + ", page " + std::to_string(pageWidth) +
                         " x " + std::to_string(pageHeight) + " points, origin bottom-left, y up, pen ";
    SbSvgWriter::appendNumber(header, pen);
    header += " points\none path per line: x y x y ...";
    if (SbOutputFile::write(path, paths.text(header), why)) return true;
    std::printf("SoLinePlotterOutput: cannot write %s: %s\n", path.c_str(), why.c_str());
    return false;
  }
  SbSvgWriter svg(pageWidth, pageHeight);
  paths.writeSvg(svg, pen);
  return svg.write(path, &why);
}
