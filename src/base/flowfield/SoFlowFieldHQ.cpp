#include "flowfield/SoFlowFieldHQ.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/system/gl.h>

#include <algorithm>
#include <cmath>

#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"

SO_NODE_SOURCE(SoFlowFieldHQ);

void SoFlowFieldHQ::initClass() {
  SO_NODE_INIT_CLASS(SoFlowFieldHQ, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoHeModelElementHQ);
  SO_ENABLE(SoGLRenderAction, SoFlowFieldElementHQ);
}

SoFlowFieldHQ::SoFlowFieldHQ() {
  SO_NODE_CONSTRUCTOR(SoFlowFieldHQ);
  SO_NODE_ADD_FIELD(sendLines, (FALSE));
}

SoFlowFieldHQ::~SoFlowFieldHQ() {}

float SoFlowFieldHQ::halfLength(const SbMatrix& modelViewProjection,
                                const SbViewportRegion& viewport) {
  const short height = viewport.getViewportSizePixels()[1];
  if (height < 1) return 0.0f;
  SbVec3f origin;
  modelViewProjection.multVecMatrix(SbVec3f(0, 0, 0), origin);
  origin[1] += 8.0f / height;
  SbVec3f back;
  modelViewProjection.inverse().multVecMatrix(origin, back);
  const float length = back.length();
  return std::isfinite(length) ? length : 0.0f;
}

void SoFlowFieldHQ::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  // What is drawn depends on the field in the state, which edits change in
  // place: no render cache may keep it.
  SoCacheElement::invalidate(state);
  const SbHeModelHQ* model = SoHeModelElementHQ::get(state);
  const SbFlowFieldHQ* field = SoFlowFieldElementHQ::get(state);
  if (model && field && sendLines.getValue()) {
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT |
                 GL_LINE_BIT | GL_CURRENT_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
    glBegin(GL_LINES);

    const SbMatrix product = SoModelMatrixElement::get(state) *
                             SoViewingMatrixElement::get(state) *
                             SoProjectionMatrixElement::get(state);
    const float L = halfLength(product, SoViewportRegionElement::get(state));
    // A field built for another model may hold a different number of records.
    const int count = std::min(model->vertexCount(), field->size());
    for (int i = count - 1; i >= 0; --i) {
      const SbVec3f& p = model->vertices[i]->position;
      const FlowRecord& r = *field->records[i];
      glColor4ub(0, 128, 0, r.locked ? 160 : 32);
      const SbVec3f a = p + r.direction * L, b = p - r.direction * L;
      glVertex3fv(a.getValue());
      glVertex3fv(b.getValue());
    }

    glEnd();
    glPopAttrib();
  }
  inherited::GLRender(action);
}

void SoFlowFieldHQ::computeBBox(SoAction*, SbBox3f&, SbVec3f&) {}

void SoFlowFieldHQ::generatePrimitives(SoAction*) {}
