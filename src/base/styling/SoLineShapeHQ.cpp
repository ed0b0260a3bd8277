#include "styling/SoLineShapeHQ.h"

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/system/gl.h>

#include "elements/SoLineCoordinateIndexElement.h"

SO_NODE_SOURCE(SoLineShapeHQ);

void SoLineShapeHQ::initClass() {
  SO_NODE_INIT_CLASS(SoLineShapeHQ, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
}

SoLineShapeHQ::SoLineShapeHQ() { SO_NODE_CONSTRUCTOR(SoLineShapeHQ); }

SoLineShapeHQ::~SoLineShapeHQ() = default;

void SoLineShapeHQ::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  // What is drawn depends on the line set in the state.
  SoCacheElement::invalidate(state);
  int32_t count = 0;
  const int32_t* index = SoLineCoordinateIndexElement::get(state, count);
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  if (!index || count <= 0 || !coords) return;
  const int32_t points = coords->getNum();
  const SbColor colour = SoLazyElement::getDiffuse(state, 0);

  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3f(colour[0], colour[1], colour[2]);
  bool open = false;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t k = index[i];
    if (k < 0 || k >= points) {
      // -1 ends a run; an index outside the points ends it too.
      if (open) glEnd();
      open = false;
      continue;
    }
    if (!open) glBegin(GL_LINE_STRIP);
    open = true;
    const SbVec3f& p = coords->get3(k);
    glVertex3f(p[0], p[1], p[2]);
  }
  if (open) glEnd();
  glPopAttrib();
}

void SoLineShapeHQ::computeBBox(SoAction*, SbBox3f& box, SbVec3f& center) {
  box.makeEmpty();
  center.setValue(0, 0, 0);
}

void SoLineShapeHQ::generatePrimitives(SoAction*) {}
