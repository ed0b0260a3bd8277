#ifndef LINFOLD_SOWINGEDEDGEOUTPUT_H
#define LINFOLD_SOWINGEDEDGEOUTPUT_H

#include <Inventor/fields/SoSFString.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>

#include "core/SbWriteResult.h"

// Writes the winged-edge model of the traversal state (SoWingedEdgeElement)
// as a VRML 2.0 or an Inventor 2.1 file (SbWingedEdgeWriter), once per
// request, during the next traversal.
class SoWingedEdgeOutput : public SoNode, public SbWriteResult {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoWingedEdgeOutput);

 public:
  enum Format { VRML2 = 1, INVENTOR21 = 2 };

  static void initClass();
  SoWingedEdgeOutput();

  SoSFString filename;  // empty: "output.wrl" (for both formats)

  // The node writes when `written` is false and then sets it; how it went is
  // the SbWriteResult (WR_FAILED after a message).
  bool written = true;
  int32_t format = VRML2;

  void requestVrmlWrite();
  void requestInventorWrite();

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoWingedEdgeOutput() override;
};

#endif
