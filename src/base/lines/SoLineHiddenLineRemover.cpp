#include "lines/SoLineHiddenLineRemover.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/system/gl.h>

#include <cstdio>
#include <exception>

#include "core/StageTimes.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/LineSetState.h"
#include "lines/SbHiddenLineRemoval.h"
#include "lines/SbLineDepthCache.h"

SO_NODE_SOURCE(SoLineHiddenLineRemover);

void SoLineHiddenLineRemover::initClass() {
  SO_NODE_INIT_CLASS(SoLineHiddenLineRemover, SoLineModifier, "SoLineModifier");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
}

SoLineHiddenLineRemover::SoLineHiddenLineRemover() {
  SO_NODE_CONSTRUCTOR(SoLineHiddenLineRemover);
  SO_NODE_ADD_FIELD(maximalError, (6.0f));
  SO_NODE_ADD_FIELD(active, (TRUE));
}

SoLineHiddenLineRemover::~SoLineHiddenLineRemover() = default;

void SoLineHiddenLineRemover::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  // The result depends on what is in the depth buffer.
  SoCacheElement::invalidate(state);
  if (!active.getValue()) return;
  StageTimer timer("hidden-line removal");
  try {
    // A copy: when this node runs a second time in the traversal, its input
    // is its own first output, which is rebuilt below.
    SbLineSet input;
    linestate::readLineSet(state, input);
    if (input.indices.empty()) return;
    GLint vp[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, vp);
    const SbWindowProjector projector(SoModelMatrixElement::get(state), SoViewingMatrixElement::get(state),
                                      SoProjectionMatrixElement::get(state), vp[0], vp[1], vp[2], vp[3]);
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    SbLineDepthCache cache;
    cache.reset(vp[0], vp[1], vp[2], vp[3], [](int x, int y, int w, int h, float* out) {
      glReadPixels(x, y, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, out);
    });
    SbLineSet result = vp[2] > 0 && vp[3] > 0
                           ? SbHiddenLineRemoval::run(input, projector, cache, maximalError.getValue())
                           : SbLineSet();
    glPopClientAttrib();
    glPopAttrib();
    output = std::move(result);
    linestate::publishLineSet(state, this, output);
  } catch (const std::exception& e) {
    printf("SoLineHiddenLineRemover::GLRender: %s\n", e.what());
  }
}
