#ifndef LINFOLD_SOLINESHAPE_H
#define LINFOLD_SOLINESHAPE_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/nodes/SoShape.h>

class SoState;

// Draws the state's line set over everything (depth test off): as GL line
// strips when there are no oriented coordinates, otherwise as screen-aligned
// bands (triangle strips) whose half width at a vertex is its thickness in
// half pixels, across the screen direction given by its oriented coordinate,
// optionally textured with the current texture image (s along the stroke,
// 0 and 1 across). While SoSilhouetteSwitches::lineStripMode is set the
// bands are drawn as line strips through the same vertices, untextured.
//
// Nothing is drawn unless the index list has more than 2 entries and there is
// one thickness value per index entry that is not -1 (more than one in all).
// Per-vertex arrays of any other length count as absent; the oriented
// coordinates' default of one vector counts as none.
class SoLineShape : public SoShape {
  typedef SoShape inherited;
  SO_NODE_HEADER(SoLineShape);

 public:
  static void initClass();
  SoLineShape();

  // Take s from SoLineParameterizationElement (one value per index entry)
  // instead of SoLineTextureCoordinateElement (one per vertex entry).
  SoSFBool useSoLineParameterization;

  void GLRender(SoGLRenderAction* action) override;

 protected:
  ~SoLineShape() override;
  void computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) override;
  void generatePrimitives(SoAction* action) override;

 private:
  void draw(SoGLRenderAction* action, bool fromParameterization);
  void drawWithTextureCoordinates(SoGLRenderAction* action) { draw(action, false); }
  void drawWithParameterization(SoGLRenderAction* action) { draw(action, true); }
};

#endif
