#include "mesh/SoGenerateWingedEdge.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec4f.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeBuilder.h"

SO_NODE_SOURCE(SoGenerateWingedEdge);

namespace {

void reportSkippedStrips(int count) {
  printf("SoGenerateWingedEdge: skipped %d strip(s) with coordinate indices out of range\n", count);
}

void reportMissingCoordinates() {
  printf("SoGenerateWingedEdge: skipped a strip set without coordinates\n");
}

// Collects one object per indexed triangle-strip set during a callback
// traversal of the node's subgraph.
struct Gatherer {
  SbWingedEdgeModel* model = nullptr;
  SoGenerateWingedEdge::ObjectNumberCB* objectNumberCB = nullptr;
  void* objectNumberData = nullptr;
  int stripSets = 0;  // every strip set met, also the skipped ones
  std::vector<SbVec3f> coords;
  std::vector<int> indices, lengths;

  static SoCallbackAction::Response preStripSet(void* data, SoCallbackAction* action,
                                                const SoNode* node) {
    static_cast<Gatherer*>(data)->add(action, static_cast<const SoIndexedTriangleStripSet*>(node));
    return SoCallbackAction::CONTINUE;
  }

  // Copies the coordinates in effect for the strip set into `coords`; false
  // when there are none. A vertex property on the shape wins over the state,
  // as it does when the shape is drawn.
  bool readCoordinates(SoCallbackAction* action, const SoIndexedTriangleStripSet* shape) {
    coords.clear();
    const SoNode* vpNode = shape->vertexProperty.getValue();
    if (vpNode && vpNode->isOfType(SoVertexProperty::getClassTypeId())) {
      const SoMFVec3f& vertex = static_cast<const SoVertexProperty*>(vpNode)->vertex;
      if (vertex.getNum() > 0) {
        coords.assign(vertex.getValues(0), vertex.getValues(0) + vertex.getNum());
        return true;
      }
    }
    const SoCoordinateElement* element = SoCoordinateElement::getInstance(action->getState());
    // The element's start value (one point at the origin) comes from no node.
    if (!element || element->getNodeId() == 0 || element->getNum() <= 0) return false;
    const int n = element->getNum();
    coords.resize(n);
    if (element->is3D()) {
      const SbVec3f* p = element->getArrayPtr3();
      for (int i = 0; i < n; ++i) coords[i] = p[i];
    } else {
      // A zero weight gives a non-finite point; the triangles using it are skipped.
      const SbVec4f* p = element->getArrayPtr4();
      for (int i = 0; i < n; ++i) {
        const float w = p[i][3];
        coords[i] = w != 0.0f ? SbVec3f(p[i][0] / w, p[i][1] / w, p[i][2] / w)
                              : SbVec3f(NAN, NAN, NAN);
      }
    }
    return true;
  }

  void add(SoCallbackAction* action, const SoIndexedTriangleStripSet* shape) {
    const int position = stripSets++;
    if (!readCoordinates(action, shape)) {
      reportMissingCoordinates();
      return;
    }
    // World space for a copy of the points: the scene's fields stay as they are.
    const SbMatrix& matrix = action->getModelMatrix();
    if (matrix != SbMatrix::identity())
      for (SbVec3f& p : coords) matrix.multVecMatrix(p, p);

    // Strips are separated by -1; a last strip without one still counts.
    indices.clear();
    lengths.clear();
    const int32_t* coordIndex = shape->coordIndex.getValues(0);
    const int numIndices = shape->coordIndex.getNum();
    int length = 0;
    for (int i = 0; i < numIndices; ++i) {
      if (coordIndex[i] == -1) {
        lengths.push_back(length);
        length = 0;
      } else {
        indices.push_back(coordIndex[i]);
        ++length;
      }
    }
    if (length > 0) lengths.push_back(length);

    int number = -1;
    if (objectNumberCB) number = objectNumberCB(objectNumberData, action->getCurPath());
    if (number == -1) number = position;

    // Normals are not read: linking computes every face and vertex normal anew.
    WeBuildReport report = addStrips(*model, number, coords.data(), static_cast<int>(coords.size()),
                                     indices, lengths);
    if (report.skippedStrips > 0) reportSkippedStrips(report.skippedStrips);
  }
};

}  // namespace

void SoGenerateWingedEdge::initClass() {
  SO_NODE_INIT_CLASS(SoGenerateWingedEdge, SoGroup, "Group");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
}

SoGenerateWingedEdge::SoGenerateWingedEdge() {
  SO_NODE_CONSTRUCTOR(SoGenerateWingedEdge);
  SO_NODE_ADD_FIELD(curvatureMode, (1));
  SO_NODE_ADD_FIELD(threshold, (1.0f));
  SO_NODE_ADD_FIELD(doBuildWingedEdge, (TRUE));
  SO_NODE_ADD_FIELD(visualizationMode, (2));
}

SoGenerateWingedEdge::~SoGenerateWingedEdge() {}

void SoGenerateWingedEdge::setObjectNumberCallback(ObjectNumberCB* callback, void* userData) {
  objectNumberCB = callback;
  objectNumberData = userData;
}

void SoGenerateWingedEdge::requestRebuild() { rebuildRequested = true; }

void SoGenerateWingedEdge::invalidateFaceColours() { working.displayListsValid = false; }

void SoGenerateWingedEdge::invalidateCurvature() { working.curvatureValid = false; }

void SoGenerateWingedEdge::rebuild() {
  built.clear();
  Gatherer gatherer;
  gatherer.model = &built;
  gatherer.objectNumberCB = objectNumberCB;
  gatherer.objectNumberData = objectNumberData;

  SoCallbackAction action;
  action.addPreCallback(SoIndexedTriangleStripSet::getClassTypeId(), &Gatherer::preStripSet,
                        &gatherer);
  // The traversal passes through this node again: it must only walk the children.
  gathering = true;
  action.apply(this);
  gathering = false;

  built.number();
  geometryFound = gatherer.stripSets > 0;
}

void SoGenerateWingedEdge::updateModel(SoAction* action) {
  try {
    if (!doBuildWingedEdge.getValue()) {
      if (!workingEmptied || !working.objects.empty()) {
        working.clear();
        working.source = nullptr;  // nothing for the modifier to start again from
        workingEmptied = true;
      }
    } else {
      if (rebuildRequested) {
        rebuildRequested = false;
        workingEmptied = true;
        rebuild();
      }
      if (workingEmptied) {
        working.copyGeometryFrom(built);
        working.source = &built;
        workingEmptied = false;
      }
      working.curvatureMode = curvatureMode.getValue();
      working.threshold = threshold.getValue();
      if (visualizationMode.getValue() != working.visualizationMode) {
        working.visualizationMode = visualizationMode.getValue();
        working.displayListsValid = false;
      }
    }
  } catch (const std::exception& e) {
    // Out of memory on a huge scene: publish an empty model rather than a torn one.
    gathering = false;
    built.clear();
    working.clear();
    working.source = nullptr;
    workingEmptied = true;
    geometryFound = false;
    printf("SoGenerateWingedEdge: building the winged-edge model failed (%s)\n", e.what());
  }
  SoWingedEdgeElement::set(action->getState(), this, &working);
}

void SoGenerateWingedEdge::doAction(SoAction* action) {
  if (!gathering && action->getState()->isElementEnabled(SoWingedEdgeElement::getClassStackIndex()))
    updateModel(action);
  inherited::doAction(action);
}

void SoGenerateWingedEdge::GLRender(SoGLRenderAction* action) {
  if (!gathering) {
    updateModel(action);
    // The published model is not described by this node's fields alone.
    SoCacheElement::invalidate(action->getState());
  }
  inherited::GLRender(action);
}

void SoGenerateWingedEdge::callback(SoCallbackAction* action) {
  if (!gathering) updateModel(action);
  inherited::doAction(action);
}
