#include "LineTestNodes.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/elements/SoCoordinateElement.h>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineTextureCoordinateElement.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "elements/SoOrientedCoordinateElement.h"
#include "elements/SoWingedEdgeElement.h"

SO_NODE_SOURCE(LineSetSource);
SO_NODE_SOURCE(LineSetProbe);
SO_NODE_SOURCE(StateStep);

namespace {
template <class T>
int32_t count(const std::vector<T>& v) {
  return static_cast<int32_t>(v.size());
}
template <class T>
const T* data(const std::vector<T>& v) {
  return v.empty() ? nullptr : v.data();
}
}  // namespace

void LineSetSource::initClass() {
  if (getClassTypeId() != SoType::badType()) return;
  SO_NODE_INIT_CLASS(LineSetSource, SoNode, "Node");
  SO_ENABLE(SoGetBoundingBoxAction, SoWingedEdgeElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoCoordinateElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoLineCoordinateIndexElement);
}

LineSetSource::LineSetSource() { SO_NODE_CONSTRUCTOR(LineSetSource); }

void LineSetSource::doAction(SoAction* action) {
  SoState* state = action->getState();
  if (model && state->isElementEnabled(SoWingedEdgeElement::getClassStackIndex()))
    SoWingedEdgeElement::set(state, this, model);
  if (publishLines) {
    static const SbVec3f origin(0, 0, 0);
    SoCoordinateElement::set3(state, this, count(lines.points), lines.points.empty() ? &origin : lines.points.data());
    SoLineCoordinateIndexElement::set(state, this, count(lines.indices), data(lines.indices));
    if (state->isElementEnabled(SoLineThicknessElement::getClassStackIndex())) {
      SoLineThicknessElement::set(state, this, count(lines.thickness), data(lines.thickness));
      SoLineParameterizationElement::set(state, this, count(lines.parameters), data(lines.parameters));
      SoLineTaperElementHQ::set(state, this, count(lines.taper), data(lines.taper));
      SoLineDensityElementHQ::set(state, this, count(lines.density), data(lines.density));
      SoLineTriangleElementHQ::set(state, this, count(lines.triangles), data(lines.triangles));
    }
  }
  if (!oriented.empty() && state->isElementEnabled(SoOrientedCoordinateElement::getClassStackIndex()))
    SoOrientedCoordinateElement::set(state, this, count(oriented), oriented.data());
  if (!textureCoords.empty() && state->isElementEnabled(SoLineTextureCoordinateElement::getClassStackIndex()))
    SoLineTextureCoordinateElement::set(state, this, count(textureCoords), textureCoords.data());
}

void LineSetProbe::initClass() {
  if (getClassTypeId() != SoType::badType()) return;
  SO_NODE_INIT_CLASS(LineSetProbe, SoNode, "Node");
}

LineSetProbe::LineSetProbe() { SO_NODE_CONSTRUCTOR(LineSetProbe); }

void LineSetProbe::GLRender(SoGLRenderAction* action) {
  if (action->getState()->isElementEnabled(SoWingedEdgeElement::getClassStackIndex()))
    models.push_back(SoWingedEdgeElement::get(action->getState()));
  doAction(action);
}

void LineSetProbe::doAction(SoAction* action) {
  SoState* state = action->getState();
  ++visits;
  seen.clear();
  if (!state->isElementEnabled(SoLineCoordinateIndexElement::getClassStackIndex())) return;
  int32_t n = 0;
  indexPointer = SoLineCoordinateIndexElement::get(state, n);
  if (indexPointer) seen.indices.assign(indexPointer, indexPointer + n);
  stored = SoLineMergerElementHQ::storedPrefix(state, indexPointer, n);
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  for (int32_t i = 0; i < coords->getNum(); ++i) seen.points.push_back(coords->get3(i));
  thicknessPointer = SoLineThicknessElement::get(state, n);
  if (thicknessPointer) seen.thickness.assign(thicknessPointer, thicknessPointer + n);
  const float* f = SoLineParameterizationElement::get(state, n);
  if (f) seen.parameters.assign(f, f + n);
  f = SoLineTaperElementHQ::get(state, n);
  if (f) seen.taper.assign(f, f + n);
  f = SoLineDensityElementHQ::get(state, n);
  if (f) seen.density.assign(f, f + n);
  const HeTriangle* const* t = SoLineTriangleElementHQ::get(state, n);
  if (t) seen.triangles.assign(t, t + n);
}

namespace linetest {
void initNodes() {
  LineSetSource::initClass();
  LineSetProbe::initClass();
}

std::vector<std::vector<int>> polylines(const SbLineSet& set) {
  std::vector<std::vector<int>> out(1);
  for (int32_t i : set.indices)
    if (i < 0)
      out.emplace_back();
    else
      out.back().push_back(i);
  out.pop_back();  // the open tail after the last -1
  return out;
}

SoOrthographicCamera* pixelCamera(float height) {
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0, 0, 5);
  camera->height = height;
  return camera;
}

Root scene(std::initializer_list<SoNode*> nodes) {
  auto* root = new SoSeparator;
  root->ref();
  for (SoNode* n : nodes) root->addChild(n);
  return Root(root);
}
}  // namespace linetest

void StateStep::initClass() {
  if (getClassTypeId() == SoType::badType()) SO_NODE_INIT_CLASS(StateStep, SoNode, "Node");
}

StateStep::StateStep(Step s) : step(std::move(s)) { SO_NODE_CONSTRUCTOR(StateStep); }

void StateStep::callback(SoCallbackAction* action) {
  if (step) step(action->getState(), this);
}
