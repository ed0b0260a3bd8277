#ifndef LINFOLD_SOLINEMODIFIER_H
#define LINFOLD_SOLINEMODIFIER_H

#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include "lines/SbLineVisibility.h"

class SoState;

// Base of the nodes that rewrite or write out the line set of the traversal
// state. modifyMethod says in which space a derived node measures:
// SCREEN_BASED (screen units), PIXEL_BASED (pixels, normalised depth) or
// OBJECT_BASED (object / eye space).
class SoLineModifier : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoLineModifier);

 public:
  enum ModifyMethod { SCREEN_BASED = 0, PIXEL_BASED = 1, OBJECT_BASED = 2 };

  static void initClass();
  SoLineModifier();

  SoSFEnum modifyMethod;

 protected:
  ~SoLineModifier() override;
  // Object space to window pixels from the state's model, viewing and
  // projection matrices and viewport region (no GL needed).
  static SbWindowProjector stateProjector(SoState* state);
};

#endif
