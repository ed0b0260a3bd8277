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
#include <Inventor/C/glue/gl.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/system/gl.h>

#include <algorithm>
#include <cmath>

#include "core/GLBatches.h"
#include "core/StageTimes.h"
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

float SoFlowFieldHQ::halfLength(const SbMatrix& modelViewProjection, const SbViewportRegion& viewport) {
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
    StageTimer timer("flow-field display");
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_LINE_BIT |
                 GL_CURRENT_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_FLAT);

    const SbMatrix product =
        SoModelMatrixElement::get(state) * SoViewingMatrixElement::get(state) * SoProjectionMatrixElement::get(state);
    const float L = halfLength(product, SoViewportRegionElement::get(state));
    // A field built for another model may hold a different number of records.
    const int count = std::max(std::min(model->vertexCount(), field->size()), 0);
    // One line per vertex, last vertex first, from arrays: half a million
    // glVertex calls cost more than the drawing itself under software GL.
    linePoints.resize(2 * static_cast<size_t>(count));
    lineColours.resize(2 * static_cast<size_t>(count));
    for (int i = count - 1, k = 0; i >= 0; --i, k += 2) {
      const SbVec3f& p = model->vertices[i]->position;
      const FlowRecord& r = *field->records[i];
      const Colour c = {0, 128, 0, static_cast<uint8_t>(r.locked ? 160 : 32)};
      linePoints[k] = p + r.direction * L;
      linePoints[k + 1] = p - r.direction * L;
      lineColours[k] = lineColours[k + 1] = c;
    }
    if (count > 0) {
      glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
      const cc_glglue* glue = cc_glglue_instance(SoGLCacheContextElement::get(state));
      if (glue && cc_glglue_has_vertex_buffer_object(glue)) cc_glglue_glBindBuffer(glue, GL_ARRAY_BUFFER, 0);
      glDisableClientState(GL_NORMAL_ARRAY);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
      glEnableClientState(GL_VERTEX_ARRAY);
      glEnableClientState(GL_COLOR_ARRAY);
      glVertexPointer(3, GL_FLOAT, sizeof(SbVec3f), linePoints[0].getValue());
      glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Colour), lineColours[0].rgba);
      // GL copies client arrays into a buffer of the draw's size: 50 MB for
      // a million-triangle model in one draw.
      drawLineBatches(2 * count);
      glPopClientAttrib();
    }
    glPopAttrib();
  }
  inherited::GLRender(action);
}

void SoFlowFieldHQ::computeBBox(SoAction*, SbBox3f&, SbVec3f&) {}

void SoFlowFieldHQ::generatePrimitives(SoAction*) {}
