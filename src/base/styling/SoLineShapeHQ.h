#ifndef LINFOLD_SOLINESHAPEHQ_H
#define LINFOLD_SOLINESHAPEHQ_H

#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoSubNode.h>

class SoGLRenderAction;

// Draws the current line set (the points of SoCoordinateElement joined by the
// runs of SoLineCoordinateIndexElement) as plain GL line strips in the
// current diffuse colour, without lighting.
class SoLineShapeHQ : public SoShape {
  typedef SoShape inherited;
  SO_NODE_HEADER(SoLineShapeHQ);

 public:
  static void initClass();
  SoLineShapeHQ();

  void GLRender(SoGLRenderAction* action) override;

 protected:
  ~SoLineShapeHQ() override;
  // The lines come from the state, not from the node: no box of its own.
  void computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) override;
  void generatePrimitives(SoAction* action) override;
};

#endif
