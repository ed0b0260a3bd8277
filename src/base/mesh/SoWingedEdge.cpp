#include "mesh/SoWingedEdge.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoGLDisplayList.h>
#include <Inventor/system/gl.h>

#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeModel.h"

SO_NODE_SOURCE(SoWingedEdge);

void SoWingedEdge::initClass() {
  SO_NODE_INIT_CLASS(SoWingedEdge, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
}

SoWingedEdge::SoWingedEdge() {
  SO_NODE_CONSTRUCTOR(SoWingedEdge);
  SO_NODE_ADD_FIELD(sendLines, (FALSE));
  SO_NODE_ADD_FIELD(hideBackfaces, (TRUE));
  SO_NODE_ADD_FIELD(lineWidth, (5.0f));
  SO_NODE_ADD_FIELD(antialiasing, (TRUE));
  SO_NODE_ADD_FIELD(fillLineCracks, (TRUE));
}

SoWingedEdge::~SoWingedEdge() { releaseLists(); }

void SoWingedEdge::setLineColour(const SbColor& colour) {
  lineColour = colour;
  for (bool& v : listValid) v = false;
}

void SoWingedEdge::setVisualizationOverride(int mode) { visualizationOverride = mode; }

int SoWingedEdge::currentMode(const SbWingedEdgeModel* model) const {
  return visualizationOverride >= 0 ? visualizationOverride : model->visualizationMode;
}

void SoWingedEdge::releaseLists() {
  if (lists) lists->unref(nullptr);
  lists = nullptr;
  listContext = -1;
}

namespace {
void drawFlatFaces(const SbWingedEdgeModel& model) {
  std::vector<int> corners;
  for (const WeObject& object : model.objects) {
    for (int f = 0; f < static_cast<int>(object.faces.size()); ++f) {
      object.faceCorners(f, corners);
      if (corners.size() < 3) continue;
      glBegin(GL_POLYGON);
      glNormal3fv(object.faces[f].normal.getValue());
      for (int v : corners) glVertex3fv(object.vertices[v].position.getValue());
      glEnd();
    }
  }
}
}  // namespace

void SoWingedEdge::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  SoCacheElement::invalidate(state);
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(state);
  if (!model) return;
  renderModel(action, model, currentMode(model));
}

void SoWingedEdge::renderModel(SoGLRenderAction*, SbWingedEdgeModel* model, int) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glShadeModel(GL_FLAT);
  glEnable(GL_LIGHTING);
  glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  glColor3fv(secondColour.getValue());
  drawFlatFaces(*model);
  glPopAttrib();
}

void SoWingedEdge::callList(SoState*, SbWingedEdgeModel*, int, int) {}
void SoWingedEdge::compileList(SoState*, SbWingedEdgeModel*, int, int) {}
void SoWingedEdge::drawDepthOnly(SoState*, SbWingedEdgeModel*) {}
void SoWingedEdge::drawLines(SoState*, SbWingedEdgeModel*, int) {}
void SoWingedEdge::publishLines(SoState*, SbWingedEdgeModel*, int) {}

void SoWingedEdge::callback(SoCallbackAction* action) { inherited::callback(action); }

void SoWingedEdge::computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) {
  box.makeEmpty();
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(action->getState());
  if (model) {
    for (const WeObject& object : model->objects)
      for (const WeVertex& v : object.vertices) box.extendBy(v.position);
  }
  center = box.isEmpty() ? SbVec3f(0, 0, 0) : box.getCenter();
}

void SoWingedEdge::generatePrimitives(SoAction*) {}
