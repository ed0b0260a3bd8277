#include "output/SoLineOutputHQ.h"

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

#include <cstdio>
#include <vector>

#include "core/TimingScope.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "lines/LineSetState.h"
#include "output/SbInkOutlineHQ.h"
#include "styling/SbInkStrokeBuilderHQ.h"
#include "styling/SbLineSettingsHQ.h"

SO_NODE_ABSTRACT_SOURCE(SoLineOutputHQ);

// Forwards the shapes of SbInkOutlineHQ to the node's drawing operations.
class SoLineOutputHQ::Sink : public SbInkOutlineHQ::Receiver {
 public:
  explicit Sink(SoLineOutputHQ& node) : node(node) {}
  void fillContour(ContourListHQ& outline) override {
    // The outline arrives in the node's own list.
    if (&outline != &node.pieces) {
      node.pieces.clear();
      node.pieces = outline;
      outline.take();
    }
    node.fillContour();
    node.pieces.clear();
  }
  void drawDot(const SbVec3f& centre, float radius) override { node.drawDot(centre, radius); }

 private:
  SoLineOutputHQ& node;
};

void SoLineOutputHQ::initClass() {
  SO_NODE_INIT_ABSTRACT_CLASS(SoLineOutputHQ, SoLineModifier, "SoLineModifier");
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

SoLineOutputHQ::SoLineOutputHQ() { SO_NODE_CONSTRUCTOR(SoLineOutputHQ); }

SoLineOutputHQ::~SoLineOutputHQ() { pieces.clear(); }

bool SoLineOutputHQ::requestWrite(const SbString& path) {
  filename.setValue(path);
  writePending = path.getLength() > 0;
  resetWriteResult();
  return writePending;
}

void SoLineOutputHQ::GLRender(SoGLRenderAction* action) {
  // Whether this node does anything depends on writePending, which is no
  // field: a render cache must never skip it.
  SoCacheElement::invalidate(action->getState());
  doAction(action);
}

void SoLineOutputHQ::callback(SoCallbackAction* action) { doAction(action); }

void SoLineOutputHQ::doAction(SoAction* action) {
  if (!writePending || !action) return;
  // Only these actions carry the elements the pass reads.
  if (!action->isOfType(SoGLRenderAction::getClassTypeId()) && !action->isOfType(SoCallbackAction::getClassTypeId()))
    return;
  try {
    outputPass(action->getState());
  } catch (...) {
    pieces.clear();
    writePending = false;
    setWriteFailed(filename.getValue().getString(), "the output pass failed");
    std::printf("SoLineOutputHQ: the output pass failed, nothing written\n");
  }
}

void SoLineOutputHQ::outputPass(SoState* state) {
  TimingScope timing("SoLineOutputHQ");
  SbLineSetView lines;
  std::vector<SbVec3f> pointStore;
  linestate::viewLineSet(state, lines, pointStore);
  const SbLineSettingsHQ* settings = SoLineSettingsElementHQ::get(state);
  // No strokes yet: stay armed for a later traversal.
  if (!settings || lines.indexCount < 2 || lines.pointCount < 1) return;

  const SbViewportRegion& region = SoViewportRegionElement::get(state);
  const SbVec2s size = region.getViewportSizePixels();
  const int width = size[0], height = size[1];
  writePending = false;
  const std::string path = filename.getValue().getString();
  if (width < 1 || height < 1 || width > 65535 || height > 65535) {
    std::printf("SoLineOutputHQ: viewport of %d x %d pixels is outside 1..65535, nothing written\n", width, height);
    setWriteFailed(path, "the viewport is outside 1..65535 pixels");
    return;
  }

  // Object space to clip space, then to pixels about the viewport centre.
  SbMatrix affine, projection;
  SoViewVolumeElement::get(state).getMatrices(affine, projection);
  const SbMatrix toClip = SoModelMatrixElement::get(state) * affine * projection;
  SbInkStrokeBuilderHQ projector;
  projector.setProjection(toClip, SbVec2f(-0.5f * width, -0.5f * height),
                          SbVec2f(static_cast<float>(width), static_cast<float>(height)));
  std::vector<SbVec2f> pixels;
  std::vector<uint8_t> valid;
  projector.projectPoints(lines, pixels, valid);

  outputError.clear();
  if (!beginOutput(width, height)) {
    setWriteFailed(path, outputError.empty() ? "the picture could not be started" : outputError);
    return;
  }
  {
    Sink sink(*this);
    SbInkOutlineHQ ink(*settings, sink);
    const int32_t stored = SoLineMergerElementHQ::storedPrefix(state, lines.indices, lines.indexCount);
    if (stored < 0) {
      beginLines(LO_UNKNOWN);
      ink.addLineSet(lines, pixels.data(), valid.data());
    } else {
      // The stored lines, then the merged ones.
      beginLines(LO_STORED);
      ink.addLineSet(lines.slice(0, stored), pixels.data(), valid.data());
      beginLines(LO_MERGED);
      ink.addLineSet(lines.slice(stored, lines.indexCount), pixels.data(), valid.data());
    }
  }
  pieces.clear();
  if (endOutput())
    setWritten(path);
  else
    setWriteFailed(path, outputError.empty() ? "the file could not be written" : outputError);
}
