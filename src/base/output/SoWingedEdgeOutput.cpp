#include "output/SoWingedEdgeOutput.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>

#include <cstdio>
#include <exception>

#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeModel.h"
#include "core/SbOutputFile.h"
#include "output/SbWingedEdgeWriter.h"

SO_NODE_SOURCE(SoWingedEdgeOutput);

void SoWingedEdgeOutput::initClass() {
  SO_NODE_INIT_CLASS(SoWingedEdgeOutput, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
}

SoWingedEdgeOutput::SoWingedEdgeOutput() {
  SO_NODE_CONSTRUCTOR(SoWingedEdgeOutput);
  SO_NODE_ADD_FIELD(filename, (""));
}

SoWingedEdgeOutput::~SoWingedEdgeOutput() = default;

void SoWingedEdgeOutput::requestVrmlWrite() {
  written = false;
  format = VRML2;
  resetWriteResult();
}

void SoWingedEdgeOutput::requestInventorWrite() {
  written = false;
  format = INVENTOR21;
  resetWriteResult();
}

void SoWingedEdgeOutput::doAction(SoAction* action) {
  if (written) return;
  written = true;
  resetWriteResult();
  std::string path = filename.getValue().getString();
  if (path.empty()) path = "output.wrl";
  try {
    if (format != VRML2 && format != INVENTOR21) {
      printf("SoWingedEdgeOutput::doAction: unknown format %d\n", int(format));
      setWriteFailed(path, "unknown format");
      return;
    }
    SbWingedEdgeModel* model = SoWingedEdgeElement::get(action->getState());
    SbWingedEdgeModel empty;
    if (model) model->number();
    const SbWingedEdgeModel& source = model ? *model : empty;
    int skipped = 0;
    for (const WeObject& object : source.objects) skipped += !SbWingedEdgeWriter::writable(object);
    if (skipped > 0) printf("SoWingedEdgeOutput::doAction: %d object(s) without vertices or faces left out\n", skipped);
    int nonFinite = 0;
    const std::string text = format == VRML2 ? SbWingedEdgeWriter::vrml(source, &nonFinite)
                                             : SbWingedEdgeWriter::inventor(source, &nonFinite);
    if (nonFinite > 0) printf("SoWingedEdgeOutput::doAction: %d non-finite number(s) written as 0\n", nonFinite);
    std::string why;
    if (SbOutputFile::write(path, text, why)) {
      setWritten(path);
    } else {
      printf("SoWingedEdgeOutput::doAction: cannot write \"%s\": %s\n", path.c_str(), why.c_str());
      setWriteFailed(path, why);
    }
  } catch (const std::exception& e) {
    printf("SoWingedEdgeOutput::doAction: %s\n", e.what());
    setWriteFailed(path, e.what());
  }
}

void SoWingedEdgeOutput::GLRender(SoGLRenderAction* action) {
  // Whether a write is pending is not a field: keep render caches from
  // skipping this node.
  SoCacheElement::invalidate(action->getState());
  doAction(action);
}

void SoWingedEdgeOutput::callback(SoCallbackAction* action) { doAction(action); }
