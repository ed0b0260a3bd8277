#include "mesh/SoModifyWingedEdge.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>

#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeModel.h"

SO_NODE_SOURCE(SoModifyWingedEdge);

void SoModifyWingedEdge::initClass() {
  SO_NODE_INIT_CLASS(SoModifyWingedEdge, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
}

SoModifyWingedEdge::SoModifyWingedEdge() {
  SO_NODE_CONSTRUCTOR(SoModifyWingedEdge);
  SO_NODE_ADD_FIELD(connectObjects, (FALSE));
  SO_NODE_ADD_FIELD(dividingMode, (3));
  SO_NODE_ADD_FIELD(dividingSteps, (0));
  SO_NODE_ADD_FIELD(polygonationMode, (FALSE));
  SO_NODE_ADD_FIELD(sharpAngle, (115.0f));
  SO_NODE_ADD_FIELD(smoothingSpeed, (1.0f));
  SO_NODE_ADD_FIELD(smoothingSteps, (0));
  SO_NODE_ADD_FIELD(subdivisionMode, (3));
  SO_NODE_ADD_FIELD(subdivisionSteps, (0));
  SO_NODE_ADD_FIELD(adaptiveSubdivisionSteps, (0));
  SO_NODE_ADD_FIELD(adaptiveSubdivisionMode, (3));
  SO_NODE_ADD_FIELD(useSharpAngles, (FALSE));
}

SoModifyWingedEdge::~SoModifyWingedEdge() {}

void SoModifyWingedEdge::markChanged() { changed = true; }

void SoModifyWingedEdge::notify(SoNotList* list) {
  changed = true;
  inherited::notify(list);
}

void SoModifyWingedEdge::GLRender(SoGLRenderAction* action) {
  SoCacheElement::invalidate(action->getState());
  doAction(action);
}

void SoModifyWingedEdge::callback(SoCallbackAction* action) { doAction(action); }

void SoModifyWingedEdge::doAction(SoAction* action) {
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(action->getState());
  if (!model) return;
  if (model->modified && !changed) return;
  applyChain(*model);
  changed = false;
}

void SoModifyWingedEdge::applyChain(SbWingedEdgeModel& model) {
  model.number();
  for (WeObject& o : model.objects) o.computeNormals();
  model.displayListsValid = false;
  model.curvatureValid = false;
  model.modified = true;
}
