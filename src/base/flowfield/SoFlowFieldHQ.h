#ifndef LINFOLD_SOFLOWFIELDHQ_H
#define LINFOLD_SOFLOWFIELDHQ_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/nodes/SoShape.h>

#include <cstdint>
#include <vector>

class SbFlowFieldHQ;
class SbHeModelHQ;
class SbMatrix;
class SbViewportRegion;

// Draws the flow field in the state as a short line through every vertex
// along its direction, 8 pixels long on screen at the object's origin:
// locked vertices nearly opaque, free ones faint. It has no bounding box and
// no primitives.
class SoFlowFieldHQ : public SoShape {
  typedef SoShape inherited;
  SO_NODE_HEADER(SoFlowFieldHQ);

 public:
  static void initClass();
  SoFlowFieldHQ();

  SoSFBool sendLines;  // draw the field (default FALSE)

  void GLRender(SoGLRenderAction* action) override;

  // Half length, in object space, of the lines: the distance from the origin
  // of the point that lies 8 / viewport height above the origin's projection
  // in normalised device coordinates; modelViewProjection maps object space
  // to clip space (row vectors, as SbMatrix does).
  static float halfLength(const SbMatrix& modelViewProjection, const SbViewportRegion& viewport);

 protected:
  ~SoFlowFieldHQ() override;
  void computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) override;
  void generatePrimitives(SoAction* action) override;

 private:
  struct Colour {
    uint8_t rgba[4];
  };
  // The lines of the last frame, kept so that their memory serves again.
  std::vector<SbVec3f> linePoints;
  std::vector<Colour> lineColours;
};

#endif
