#include "FramingPoints.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoShapeHintsElement.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>

#include <cmath>

namespace {

struct Collector {
  std::vector<SbVec3f> points;
  std::vector<char> seen;  // per coordinate of the shape being read

  void add(const SbMatrix& toWorld, const SbVec3f& point) {
    SbVec3f p;
    toWorld.multVecMatrix(point, p);
    if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) points.push_back(p);
  }

  static void triangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
                       const SoPrimitiveVertex* c) {
    Collector* self = static_cast<Collector*>(data);
    for (const SoPrimitiveVertex* v : {a, b, c}) self->add(action->getModelMatrix(), v->getPoint());
  }

  // Every corner of a strip or polygon of three or more is a triangle's
  // point; an index out of range (where Coin would read past the array)
  // frames nothing. A shape with anything else unusual (a run of fewer than
  // three corners, which Coin may stop the whole shape at, 4D coordinates, a
  // polygon Coin would tessellate) goes on to the triangle callback instead.
  static SoCallbackAction::Response indexed(void* data, SoCallbackAction* action, const SoNode* node) {
    const SoIndexedShape* shape = static_cast<const SoIndexedShape*>(node);
    const SoVertexProperty* property = static_cast<const SoVertexProperty*>(shape->vertexProperty.getValue());
    const SbVec3f* coordinates;
    int count;
    if (property && property->vertex.getNum() > 0) {
      coordinates = property->vertex.getValues(0);
      count = property->vertex.getNum();
    } else {
      const SoCoordinateElement* element = SoCoordinateElement::getInstance(action->getState());
      if (!element->is3D()) return SoCallbackAction::CONTINUE;
      coordinates = element->getArrayPtr3();
      count = element->getNum();
    }
    const bool fanned = !node->isOfType(SoIndexedFaceSet::getClassTypeId()) ||
                        SoShapeHintsElement::getFaceType(action->getState()) == SoShapeHintsElement::CONVEX;
    const int32_t* index = shape->coordIndex.getValues(0);
    const int n = shape->coordIndex.getNum();
    for (int i = 0, run = 0; i <= n; ++i) {
      if (i == n && run == 0) break;  // the list ends with -1, or is empty
      if (i == n || index[i] < 0) {
        if (run < 3 || (!fanned && run > 3) || (i < n && index[i] != -1)) return SoCallbackAction::CONTINUE;
        run = 0;
      } else {
        ++run;
      }
    }
    Collector* self = static_cast<Collector*>(data);
    self->seen.assign(static_cast<size_t>(count), 0);
    for (int i = 0; i < n; ++i) {
      const int v = index[i];
      if (v >= 0 && v < count && !self->seen[v]) {
        self->seen[v] = 1;
        self->add(action->getModelMatrix(), coordinates[v]);
      }
    }
    return SoCallbackAction::PRUNE;
  }
};

}  // namespace

std::vector<SbVec3f> framingPoints(SoNode* geometry, const SbViewportRegion& viewport, bool readIndices) {
  Collector found;
  SoCallbackAction action(viewport);
  if (readIndices) {
    action.addPreCallback(SoIndexedTriangleStripSet::getClassTypeId(), &Collector::indexed, &found);
    action.addPreCallback(SoIndexedFaceSet::getClassTypeId(), &Collector::indexed, &found);
  }
  action.addTriangleCallback(SoShape::getClassTypeId(), &Collector::triangle, &found);
  action.apply(geometry);
  return std::move(found.points);
}
