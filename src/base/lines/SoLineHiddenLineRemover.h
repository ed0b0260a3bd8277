#ifndef LINFOLD_SOLINEHIDDENLINEREMOVER_H
#define LINFOLD_SOLINEHIDDENLINEREMOVER_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>

#include "lines/SbLineSet.h"
#include "lines/SoLineModifier.h"

// Cuts the state's lines into their visible pieces against the depth buffer
// of the window (SbHiddenLineRemoval with an SbLineDepthCache read lazily in
// 32 x 32 tiles), carrying parameters, thickness, taper, triangles and
// density along. Needs GL: only a GL render does it, a callback traversal
// leaves the line set as it is. The node may stand twice in one traversal:
// it reads a copy of its input before replacing its own output.
class SoLineHiddenLineRemover : public SoLineModifier {
  typedef SoLineModifier inherited;
  SO_NODE_HEADER(SoLineHiddenLineRemover);

 public:
  static void initClass();
  SoLineHiddenLineRemover();

  SoSFFloat maximalError;  // sample spacing on the screen, pixels
  SoSFBool active;

  void GLRender(SoGLRenderAction* action) override;

 protected:
  ~SoLineHiddenLineRemover() override;

 private:
  SbLineSet output;
};

#endif
