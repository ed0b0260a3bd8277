#ifndef LINFOLD_SOLINEOUTPUTHQ_H
#define LINFOLD_SOLINEOUTPUTHQ_H

#include <Inventor/SbLinear.h>
#include <Inventor/fields/SoSFString.h>

#include "core/SbWriteResult.h"
#include "lines/SoLineModifier.h"
#include "output/ContourPieceHQ.h"

class SoAction;
class SoState;

// Base of the HQ snapshot writers. Once armed (requestWrite), the next
// traversal turns the current stroke set into ink in pixels of the current
// viewport (SbInkOutlineHQ: one filled outline per solid run, round dots for
// the lighter parts) and hands the shapes to the four drawing operations of
// a subclass, which writes the file named by `filename`.
//
// The viewport, view volume and model matrix come from the traversal state,
// so the pass also runs in an SoCallbackAction or an offscreen
// SoGLRenderAction.
class SoLineOutputHQ : public SoLineModifier, public SbWriteResult {
  typedef SoLineModifier inherited;
  SO_NODE_ABSTRACT_HEADER(SoLineOutputHQ);

 public:
  static void initClass();

  // Where a group of lines comes from (SoLineMergerElementHQ::storedPrefix):
  // the stored lines (in the application's scene the silhouettes and sharp
  // edges), the lines merged in after them (the hatching), or not known.
  enum LineOrigin { LO_UNKNOWN, LO_STORED, LO_MERGED };

  // The output path (not a registered field).
  SoSFString filename;
  // Set to write during the next traversal; cleared when a pass has run.
  // An armed node that finds no strokes stays armed.
  bool writePending = false;

  // Stores the path and arms the node (an empty path disarms it); forgets
  // the result of the previous pass. Returns whether the node is armed. The
  // result of a pass (SbWriteResult): WR_NONE while none has run, WR_WRITTEN
  // when the file was written completely, WR_FAILED when it could not be (a
  // message has been printed then).
  bool requestWrite(const SbString& path);

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  SoLineOutputHQ();
  ~SoLineOutputHQ() override;

  // Emits the collected pieces as one closed path filled black (non-zero
  // winding) and empties the list.
  virtual void fillContour() = 0;
  // One filled black disc; centre in pixels from the viewport centre, y up.
  virtual void drawDot(const SbVec3f& centre, float radius) = 0;
  // Starts a picture of width x height pixels; false when it cannot be
  // started (after a message).
  virtual bool beginOutput(int width, int height) = 0;
  // Finishes the picture and writes `filename` (through SbOutputFile); false
  // (after a message, with the reason in `outputError`) when the file could
  // not be written.
  virtual bool endOutput() = 0;
  // Called before the shapes of each group of lines of one origin.
  virtual void beginLines(LineOrigin) {}

  // The outline under construction.
  ContourListHQ pieces;
  // Why beginOutput or endOutput failed, in words.
  std::string outputError;

 private:
  class Sink;
  void outputPass(SoState* state);
};

#endif
