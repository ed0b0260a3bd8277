#ifndef LINFOLD_SOLINEPURIFIER_H
#define LINFOLD_SOLINEPURIFIER_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>

#include "lines/SbLineSet.h"
#include "lines/SoLineModifier.h"

// Removes screen-space noise from the state's lines (SbLinePurifier, rules
// there). A negative threshold is replaced by the method's default, written
// back into the field. The screen positions come from the state's matrices
// and viewport, so a callback traversal purifies as a GL render does.
class SoLinePurifier : public SoLineModifier {
  typedef SoLineModifier inherited;
  SO_NODE_HEADER(SoLinePurifier);

 public:
  enum PurifyMethod {
    ELIMINATE_SUBPIXEL_LENGTHS = 0,
    ELIMINATE_ZIG_ZAGS = 1,
    ELIMINATE_SHARP_ANGLES = 2,
    ELIMINATE_SHORT_SEGMENTS = 3
  };

  static void initClass();
  SoLinePurifier();

  SoSFEnum purifyMethod;
  SoSFFloat threshold;
  SoSFBool active;

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLinePurifier() override;

 private:
  SbLineSet output;
};

#endif
