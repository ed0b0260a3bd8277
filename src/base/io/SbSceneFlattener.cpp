#include "io/SbSceneFlattener.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/VRMLnodes/SoVRMLBox.h>
#include <Inventor/VRMLnodes/SoVRMLCone.h>
#include <Inventor/VRMLnodes/SoVRMLCoordinate.h>
#include <Inventor/VRMLnodes/SoVRMLCylinder.h>
#include <Inventor/VRMLnodes/SoVRMLElevationGrid.h>
#include <Inventor/VRMLnodes/SoVRMLExtrusion.h>
#include <Inventor/VRMLnodes/SoVRMLIndexedFaceSet.h>
#include <Inventor/VRMLnodes/SoVRMLInline.h>
#include <Inventor/VRMLnodes/SoVRMLSphere.h>
#include <Inventor/VRMLnodes/SoVRMLText.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/details/SoPointDetail.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoProfileCoordinateElement.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/fields/SoMFNode.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoAsciiText.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoCylinder.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedNurbsSurface.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLinearProfile.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNurbsProfile.h>
#include <Inventor/nodes/SoNurbsSurface.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoText3.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>
#include <Inventor/nodes/SoTextureCoordinate3.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/CornerKey.h"
#include "core/Finite.h"
#include "io/SbModelParts.h"

namespace {

using Part = SbModelParts::Part;

// Collects Coin's read errors while it reads one file, instead of letting
// them go to standard error; restores the previous handler when done.
class ReadErrorCapture {
 public:
  ReadErrorCapture() : previous(SoReadError::getHandlerCallback()), previousData(SoReadError::getHandlerData()) {
    SoReadError::setHandlerCallback(&ReadErrorCapture::handle, this);
  }
  ~ReadErrorCapture() { SoReadError::setHandlerCallback(previous, previousData); }
  ReadErrorCapture(const ReadErrorCapture&) = delete;
  ReadErrorCapture& operator=(const ReadErrorCapture&) = delete;

  // The first error's text without Coin's prefix, on one line.
  const std::string& first() const { return firstMessage; }

 private:
  static void handle(const SoError* error, void* data) {
    auto* self = static_cast<ReadErrorCapture*>(data);
    if (!self->firstMessage.empty() || !error) return;
    std::string text = error->getDebugString().getString();
    const std::string prefix = "Coin read error: ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    // Coin says so after the first syntax error; only the first is reported anyway.
    const std::string once = " This message will only be shown once for this file, but more errors might be present";
    const std::string::size_type at = text.find(once);
    if (at != std::string::npos) text.erase(at, once.size());
    for (char& c : text)
      if (c == '\n' || c == '\t') c = ' ';
    text.erase(std::unique(text.begin(), text.end(), [](char a, char b) { return a == ' ' && b == ' '; }), text.end());
    while (!text.empty() && text.back() == ' ') text.pop_back();
    self->firstMessage = text.empty() ? std::string("a read error") : text;
  }

  SoErrorCB* previous;
  void* previousData;
  std::string firstMessage;
};

// The nodes `node` leads to: its children (those of groups, VRML groups and
// File nodes), the nodes in its node-valued fields, and an Inline's scene.
void linkedNodes(SoNode* node, std::vector<SoNode*>& out) {
  out.clear();
  if (SoChildList* children = node->getChildren())
    for (int i = 0; i < children->getLength(); ++i) out.push_back((*children)[i]);
  if (node->isOfType(SoVRMLInline::getClassTypeId())) out.push_back(static_cast<SoVRMLInline*>(node)->getChildData());
  SoFieldList fields;
  node->getFields(fields);
  for (int i = 0; i < fields.getLength(); ++i) {
    SoField* field = fields[i];
    if (field->isOfType(SoSFNode::getClassTypeId())) {
      out.push_back(static_cast<SoSFNode*>(field)->getValue());
    } else if (field->isOfType(SoMFNode::getClassTypeId())) {
      const SoMFNode* many = static_cast<SoMFNode*>(field);
      for (int k = 0; k < many->getNum(); ++k) out.push_back((*many)[k]);
    }
  }
  out.erase(std::remove(out.begin(), out.end(), nullptr), out.end());
}

// Normals, colours and texture coordinates are not needed for the geometry,
// and shapes would read them by indices nobody checked: emptied.
void dropAppearanceData(SoNode* node) {
  if (node->isOfType(SoNormal::getClassTypeId())) {
    static_cast<SoNormal*>(node)->vector.setNum(0);
  } else if (node->isOfType(SoVertexProperty::getClassTypeId())) {
    auto* vp = static_cast<SoVertexProperty*>(node);
    vp->normal.setNum(0);
    vp->texCoord.setNum(0);
    vp->texCoord3.setNum(0);
    vp->orderedRGBA.setNum(0);
  } else if (node->isOfType(SoTextureCoordinate2::getClassTypeId())) {
    static_cast<SoTextureCoordinate2*>(node)->point.setNum(0);
  } else if (node->isOfType(SoTextureCoordinate3::getClassTypeId())) {
    static_cast<SoTextureCoordinate3*>(node)->point.setNum(0);
  } else if (node->isOfType(SoVRMLVertexShape::getClassTypeId())) {
    auto* shape = static_cast<SoVRMLVertexShape*>(node);
    shape->normal = nullptr;
    shape->color = nullptr;
    shape->texCoord = nullptr;
    if (node->isOfType(SoVRMLIndexedShape::getClassTypeId())) {
      auto* indexed = static_cast<SoVRMLIndexedShape*>(node);
      indexed->normalIndex.setNum(0);
      indexed->colorIndex.setNum(0);
      indexed->texCoordIndex.setNum(0);
    }
  } else if (node->isOfType(SoVRMLElevationGrid::getClassTypeId())) {
    auto* grid = static_cast<SoVRMLElevationGrid*>(node);
    grid->normal = nullptr;
    grid->color = nullptr;
    grid->texCoord = nullptr;
  }
}

// Walks every node reachable from `root` without recursion (a file may nest
// deeply), dropping appearance data on the way. False with the reason when a
// node contains itself.
bool checkGraph(SoNode* root, std::string& reason) {
  struct Frame {
    SoNode* node;
    std::vector<SoNode*> next;
    size_t at;
  };
  std::unordered_map<SoNode*, bool> open;  // true while the node is on the current path
  std::vector<Frame> path;
  auto enter = [&](SoNode* node) {
    open[node] = true;
    Frame frame{node, {}, 0};
    linkedNodes(node, frame.next);
    dropAppearanceData(node);
    path.push_back(std::move(frame));
  };
  enter(root);
  while (!path.empty()) {
    Frame& top = path.back();
    if (top.at == top.next.size()) {
      open[top.node] = false;
      path.pop_back();
      continue;
    }
    SoNode* next = top.next[top.at++];
    const auto found = open.find(next);
    if (found == open.end()) {
      enter(next);
    } else if (found->second) {
      const std::string name = next->getName().getString();
      reason = "the scene contains itself (through " +
               (name.empty() ? std::string("a ") + next->getTypeId().getName().getString() + " node"
                             : "the node named " + name) +
               ")";
      return false;
    }
  }
  return true;
}

// True when every index of `index` is -1 (the end of a run) or names one of
// `points` coordinates.
bool indicesInRange(const SoMFInt32& index, int points) {
  const int32_t* values = index.getValues(0);
  for (int i = 0; i < index.getNum(); ++i)
    if (values[i] < -1 || values[i] >= points) return false;
  return true;
}

// The runs (strips or polygons, each ended by -1; a last run may lack it) of
// `index` whose indices all lie in [0, points), each ended by -1; `dropped`
// counts the others.
std::vector<int32_t> runsInRange(const SoMFInt32& index, int points, uint32_t& dropped) {
  std::vector<int32_t> out;
  out.reserve(static_cast<size_t>(index.getNum()) + 1);
  const int32_t* values = index.getValues(0);
  const int n = index.getNum();
  size_t start = 0;
  bool good = true;
  for (int i = 0; i <= n; ++i) {
    if (i == n || values[i] == -1) {
      if (out.size() > start) {
        if (good) {
          out.push_back(-1);
        } else {
          out.resize(start);
          ++dropped;
        }
      }
      start = out.size();
      good = true;
      continue;
    }
    good = good && values[i] >= 0 && values[i] < points;
    out.push_back(values[i]);
  }
  return out;
}

// Cuts the counts of a non-indexed face or strip set (-1: all the rest)
// before the first one that would run past `points` coordinates from
// `start`, counting the cut ones in `dropped`; false when the start itself
// lies beyond them.
bool countsInRange(SoMFInt32& counts, int start, int points, uint32_t& dropped) {
  if (start < 0 || start > points) return false;
  int64_t at = start;
  int keep = counts.getNum();
  for (int i = 0; i < counts.getNum(); ++i) {
    int64_t n = counts[i];
    if (n == -1) n = points - at;
    if (n < 0 || at + n > points) {
      keep = i;
      break;
    }
    at += n;
  }
  dropped += static_cast<uint32_t>(counts.getNum() - keep);
  if (keep < counts.getNum()) counts.setNum(keep);
  return true;
}

// Fills the primitive fields of `part` when `node` is a primitive.
bool readPrimitive(const SoNode* node, Part& part) {
  const SoType type = node->getTypeId();
  if (type.isDerivedFrom(SoCube::getClassTypeId())) {
    const auto* cube = static_cast<const SoCube*>(node);
    part.primitive = SbModelParts::CUBE;
    part.size[0] = cube->width.getValue();
    part.size[1] = cube->height.getValue();
    part.size[2] = cube->depth.getValue();
  } else if (type.isDerivedFrom(SoSphere::getClassTypeId())) {
    part.primitive = SbModelParts::SPHERE;
    part.size[0] = static_cast<const SoSphere*>(node)->radius.getValue();
  } else if (type.isDerivedFrom(SoCone::getClassTypeId())) {
    const auto* cone = static_cast<const SoCone*>(node);
    part.primitive = SbModelParts::CONE;
    part.size[0] = cone->bottomRadius.getValue();
    part.size[1] = cone->height.getValue();
    part.primitiveParts = static_cast<uint32_t>(cone->parts.getValue()) & 3u;
  } else if (type.isDerivedFrom(SoCylinder::getClassTypeId())) {
    const auto* cylinder = static_cast<const SoCylinder*>(node);
    part.primitive = SbModelParts::CYLINDER;
    part.size[0] = cylinder->radius.getValue();
    part.size[1] = cylinder->height.getValue();
    part.primitiveParts = static_cast<uint32_t>(cylinder->parts.getValue()) & 7u;
  } else if (type.isDerivedFrom(SoVRMLBox::getClassTypeId())) {
    const SbVec3f& size = static_cast<const SoVRMLBox*>(node)->size.getValue();
    part.primitive = SbModelParts::VRML_BOX;
    for (int i = 0; i < 3; ++i) part.size[i] = size[i];
  } else if (type.isDerivedFrom(SoVRMLSphere::getClassTypeId())) {
    part.primitive = SbModelParts::VRML_SPHERE;
    part.size[0] = static_cast<const SoVRMLSphere*>(node)->radius.getValue();
  } else if (type.isDerivedFrom(SoVRMLCone::getClassTypeId())) {
    const auto* cone = static_cast<const SoVRMLCone*>(node);
    part.primitive = SbModelParts::VRML_CONE;
    part.size[0] = cone->bottomRadius.getValue();
    part.size[1] = cone->height.getValue();
    part.primitiveParts = (cone->side.getValue() ? 1u : 0u) | (cone->bottom.getValue() ? 2u : 0u);
  } else if (type.isDerivedFrom(SoVRMLCylinder::getClassTypeId())) {
    const auto* cylinder = static_cast<const SoVRMLCylinder*>(node);
    part.primitive = SbModelParts::VRML_CYLINDER;
    part.size[0] = cylinder->radius.getValue();
    part.size[1] = cylinder->height.getValue();
    part.primitiveParts = (cylinder->side.getValue() ? 1u : 0u) | (cylinder->top.getValue() ? 2u : 0u) |
                          (cylinder->bottom.getValue() ? 4u : 0u);
  } else {
    return false;
  }
  part.kind = SbModelParts::PRIMITIVE;
  return true;
}

// Turns the shapes met in one callback traversal into parts.
class Flattener {
 public:
  explicit Flattener(SbModelParts& out) : parts(out) {}

  void apply(SoNode* scene) {
    SoCallbackAction action;
    action.addPreCallback(SoShape::getClassTypeId(), &Flattener::preShape, this);
    action.addPostCallback(SoShape::getClassTypeId(), &Flattener::postShape, this);
    action.addTriangleCallback(SoShape::getClassTypeId(), &Flattener::triangle, this);
    action.apply(scene);
  }

 private:
  static SoCallbackAction::Response preShape(void* data, SoCallbackAction* action, const SoNode* node) {
    return static_cast<Flattener*>(data)->begin(action, const_cast<SoNode*>(node));
  }
  static SoCallbackAction::Response postShape(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<Flattener*>(data);
    if (self->shape == node) self->end(action);
    return SoCallbackAction::CONTINUE;
  }
  static void triangle(void* data, SoCallbackAction*, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
                       const SoPrimitiveVertex* c) {
    static_cast<Flattener*>(data)->addTriangle(a, b, c);
  }

  // The part's placement; false when the matrix is not finite.
  static bool place(SoCallbackAction* action, Part& part) {
    const SbMatrix& matrix = action->getModelMatrix();
    if (!finite(&matrix.getValue()[0][0], 16)) return false;
    part.placed = matrix != SbMatrix::identity();
    part.matrix = matrix;
    return true;
  }

  // The block of the coordinates `shape` is drawn with: its vertex
  // property's when that has some, else those in the state; -1 when there
  // are none. Shapes that share coordinates share the block.
  int64_t coordinateBlock(SoCallbackAction* action, const SoVertexShape* shape) {
    const SoNode* vp = shape->vertexProperty.getValue();
    if (vp && vp->isOfType(SoVertexProperty::getClassTypeId())) {
      const SoMFVec3f& vertex = static_cast<const SoVertexProperty*>(vp)->vertex;
      if (vertex.getNum() > 0) {
        const auto key = std::make_pair(1, reinterpret_cast<uintptr_t>(vp));
        const auto found = blockOf.find(key);
        if (found != blockOf.end()) return found->second;
        return blockOf[key] = parts.addBlock(vertex.getValues(0), static_cast<uint32_t>(vertex.getNum()));
      }
    }
    const SoCoordinateElement* element = SoCoordinateElement::getInstance(action->getState());
    // The element's start value (one point at the origin) comes from no node.
    if (!element || element->getNodeId() == 0 || element->getNum() <= 0) return -1;
    const auto key = std::make_pair(0, static_cast<uintptr_t>(element->getNodeId()));
    const auto found = blockOf.find(key);
    if (found != blockOf.end()) return found->second;
    const int n = element->getNum();
    if (element->is3D()) return blockOf[key] = parts.addBlock(element->getArrayPtr3(), static_cast<uint32_t>(n));
    // A zero weight gives a non-finite point; the faces using it add nothing.
    std::vector<SbVec3f> points(static_cast<size_t>(n));
    const SbVec4f* p = element->getArrayPtr4();
    for (int i = 0; i < n; ++i) {
      const float w = p[i][3];
      points[i] = w != 0.0f ? SbVec3f(p[i][0] / w, p[i][1] / w, p[i][2] / w) : SbVec3f(NAN, NAN, NAN);
    }
    return blockOf[key] = parts.addBlock(std::move(points));
  }

  int coordinateCount(SoCallbackAction* action, const SoVertexShape* shape) {
    const int64_t block = coordinateBlock(action, shape);
    return block < 0 ? -1 : static_cast<int>(parts.blocks[block].size);
  }

  // An indexed strip or face set, with the runs that name existing
  // coordinates: the field's own array when all of them do.
  void indexedShape(SoCallbackAction* action, const SoIndexedShape* shape, bool strips) {
    Part part;
    if (!place(action, part)) {
      ++parts.skippedShapes;
      return;
    }
    int64_t block = coordinateBlock(action, shape);
    // A strip set without coordinates keeps its place among the shapes.
    if (block < 0) block = parts.addBlock(std::vector<SbVec3f>());
    part.block = static_cast<uint32_t>(block);
    const int points = static_cast<int>(parts.blocks[part.block].size);
    if (indicesInRange(shape->coordIndex, points)) {
      part.coordIndex.data = shape->coordIndex.getValues(0);
      part.coordIndex.size = static_cast<uint32_t>(shape->coordIndex.getNum());
    } else {
      part.coordIndex =
          parts.keep(runsInRange(shape->coordIndex, points, strips ? parts.skippedStrips : parts.skippedFaces));
    }
    if (strips) {
      part.kind = SbModelParts::STRIPS;
    } else {
      if (part.coordIndex.size == 0) return;
      part.kind = SbModelParts::FACES;
      part.ordering = action->getVertexOrdering();
      part.shapeType = action->getShapeType();
      part.faceType = action->getFaceType();
    }
    parts.parts.push_back(part);
  }

  template <class T>
  static SbModelParts::Array<T> view(const SoMField& field, const T* values) {
    return SbModelParts::Array<T>{values, static_cast<uint32_t>(field.getNum())};
  }

  // The trimming curves in effect, each with the profile coordinates it
  // names, into `part`; false when a profile names coordinates that do not
  // exist or is of no known kind.
  bool readProfiles(SoCallbackAction* action, Part& part) {
    const SoNodeList& list = action->getProfile();
    if (list.getLength() == 0) return true;
    const SoProfileCoordinateElement* element = SoProfileCoordinateElement::getInstance(action->getState());
    const int available = element ? element->getNum() : 0;
    const bool flat = !element || element->is2D();
    part.profileDimension = flat ? 2 : 3;
    std::vector<float> points;
    part.firstProfile = static_cast<uint32_t>(parts.profiles.size());
    for (int i = 0; i < list.getLength(); ++i) {
      const SoNode* node = list[i];
      SbModelParts::Profile profile;
      if (node->isOfType(SoNurbsProfile::getClassTypeId())) {
        const SoMFFloat& knots = static_cast<const SoNurbsProfile*>(node)->knotVector;
        profile.curve = SbModelParts::NURBS_PROFILE;
        profile.knots = view(knots, knots.getValues(0));
      } else if (!node->isOfType(SoLinearProfile::getClassTypeId())) {
        return false;
      }
      const auto* p = static_cast<const SoProfile*>(node);
      profile.linkage = static_cast<uint32_t>(p->linkage.getValue());
      const int32_t* index = p->index.getValues(0);
      for (int k = 0; k < p->index.getNum(); ++k) {
        if (index[k] < 0 || index[k] >= available) return false;
        const float* point = flat ? element->get2(index[k]).getValue() : element->get3(index[k]).getValue();
        points.insert(points.end(), point, point + part.profileDimension);
      }
      profile.points = static_cast<uint32_t>(p->index.getNum());
      parts.profiles.push_back(profile);
      ++part.profileCount;
    }
    part.profilePoints = parts.keepFloats(std::move(points));
    return true;
  }

  // A NURBS surface with its control points (gathered through its indices
  // for an indexed surface), knots, complexity and trimming curves; left out
  // and counted when any of that is out of range. Texture coordinates of the
  // surface are not needed for the geometry.
  void nurbsSurface(SoCallbackAction* action, const SoNode* node) {
    Part part;
    part.kind = SbModelParts::NURBS;
    if (!place(action, part)) {
      ++parts.skippedShapes;
      return;
    }
    const bool indexed = node->isOfType(SoIndexedNurbsSurface::getClassTypeId());
    // The two classes share no base with these fields: each is read as what it is.
    const auto* plain = indexed ? nullptr : static_cast<const SoNurbsSurface*>(node);
    const auto* withIndex = indexed ? static_cast<const SoIndexedNurbsSurface*>(node) : nullptr;
    const int64_t numU = indexed ? withIndex->numUControlPoints.getValue() : plain->numUControlPoints.getValue();
    const int64_t numV = indexed ? withIndex->numVControlPoints.getValue() : plain->numVControlPoints.getValue();
    const SoMFFloat& uKnots = indexed ? withIndex->uKnotVector : plain->uKnotVector;
    const SoMFFloat& vKnots = indexed ? withIndex->vKnotVector : plain->vKnotVector;
    const SoCoordinateElement* element = SoCoordinateElement::getInstance(action->getState());
    // The element's start value (one point at the origin) comes from no node.
    const int64_t available = element && element->getNodeId() != 0 ? element->getNum() : 0;
    const int64_t count = numU * numV;
    const size_t before = parts.profiles.size();
    auto skip = [&]() {
      parts.profiles.resize(before);
      ++parts.skippedNurbs;
    };
    if (numU < 1 || numV < 1 || available == 0 || (!indexed && count > available)) return skip();
    part.numU = static_cast<uint32_t>(numU);
    part.numV = static_cast<uint32_t>(numV);
    part.dimension = element->is3D() ? 3 : 4;
    const float* points =
        part.dimension == 3 ? element->getArrayPtr3()->getValue() : element->getArrayPtr4()->getValue();
    if (indexed) {
      const SoMFInt32& index = withIndex->coordIndex;
      if (index.getNum() < count) return skip();
      std::vector<float> gathered;
      gathered.reserve(static_cast<size_t>(count) * part.dimension);
      for (int64_t i = 0; i < count; ++i) {
        const int32_t c = index[static_cast<int>(i)];
        if (c < 0 || c >= available) return skip();
        gathered.insert(gathered.end(), points + size_t(c) * part.dimension, points + size_t(c + 1) * part.dimension);
      }
      part.controlPoints = parts.keepFloats(std::move(gathered));
    } else {
      part.controlPoints.data = points;
      part.controlPoints.size = static_cast<uint32_t>(count * part.dimension);
    }
    part.uKnots = view(uKnots, uKnots.getValues(0));
    part.vKnots = view(vKnots, vKnots.getValues(0));
    // Coin takes the complexity within [0, 1].
    part.complexity = std::min(1.0f, std::max(0.0f, action->getComplexity()));
    part.complexityType = action->getComplexityType();
    if (!readProfiles(action, part) || SbModelParts::nurbsProblem(part, parts.profiles)) return skip();
    parts.parts.push_back(part);
  }

  SoCallbackAction::Response begin(SoCallbackAction* action, SoNode* node) {
    const SoType type = node->getTypeId();
    const bool strips = type.isDerivedFrom(SoIndexedTriangleStripSet::getClassTypeId());
    if (strips || type.isDerivedFrom(SoIndexedFaceSet::getClassTypeId())) {
      indexedShape(action, static_cast<const SoIndexedShape*>(node), strips);
      return SoCallbackAction::PRUNE;
    }
    if (type.isDerivedFrom(SoNurbsSurface::getClassTypeId()) ||
        type.isDerivedFrom(SoIndexedNurbsSurface::getClassTypeId())) {
      nurbsSurface(action, node);
      return SoCallbackAction::PRUNE;
    }
    Part part;
    if (readPrimitive(node, part)) {
      if (!place(action, part) || !finite(part.size, 3)) {
        ++parts.skippedShapes;
      } else {
        part.complexity = action->getComplexity();
        part.complexityType = action->getComplexityType();
        parts.parts.push_back(part);
      }
      return SoCallbackAction::PRUNE;
    }
    if (!safeToTriangulate(action, node)) return SoCallbackAction::PRUNE;
    shape = node;
    cornerVertex.clear();
    positions.clear();
    corners.clear();
    return SoCallbackAction::CONTINUE;
  }

  // True for the other shapes with faces once every coordinate they will
  // read exists; cuts faces and strips that would read beyond them.
  bool safeToTriangulate(SoCallbackAction* action, SoNode* node) {
    const SoType type = node->getTypeId();
    const bool faceSet = type.isDerivedFrom(SoFaceSet::getClassTypeId());
    if (faceSet || type.isDerivedFrom(SoTriangleStripSet::getClassTypeId())) {
      auto* shape = static_cast<SoNonIndexedShape*>(node);
      const int points = coordinateCount(action, shape);
      SoMFInt32& counts =
          faceSet ? static_cast<SoFaceSet*>(node)->numVertices : static_cast<SoTriangleStripSet*>(node)->numVertices;
      if (points < 0) return false;
      if (!countsInRange(counts, shape->startIndex.getValue(), points,
                         faceSet ? parts.skippedFaces : parts.skippedStrips)) {
        ++parts.skippedShapes;
        return false;
      }
      return counts.getNum() > 0;
    }
    if (type.isDerivedFrom(SoQuadMesh::getClassTypeId())) {
      auto* mesh = static_cast<SoQuadMesh*>(node);
      const int points = coordinateCount(action, mesh);
      const int64_t rows = mesh->verticesPerColumn.getValue(), columns = mesh->verticesPerRow.getValue();
      const int64_t start = mesh->startIndex.getValue();
      if (points < 0) return false;
      if (rows < 0 || columns < 0 || start < 0 || start + rows * columns > points) {
        ++parts.skippedShapes;
        return false;
      }
      return true;
    }
    if (type.isDerivedFrom(SoVRMLIndexedFaceSet::getClassTypeId())) {
      auto* faces = static_cast<SoVRMLIndexedFaceSet*>(node);
      const SoNode* coord = faces->coord.getValue();
      if (!coord || !coord->isOfType(SoVRMLCoordinate::getClassTypeId())) return false;
      const int points = static_cast<const SoVRMLCoordinate*>(coord)->point.getNum();
      if (!indicesInRange(faces->coordIndex, points)) {
        const std::vector<int32_t> kept = runsInRange(faces->coordIndex, points, parts.skippedFaces);
        faces->coordIndex.setNum(static_cast<int>(kept.size()));
        if (!kept.empty()) faces->coordIndex.setValues(0, static_cast<int>(kept.size()), kept.data());
      }
      return faces->coordIndex.getNum() > 0;
    }
    if (type.isDerivedFrom(SoVRMLElevationGrid::getClassTypeId())) {
      const auto* grid = static_cast<const SoVRMLElevationGrid*>(node);
      const int64_t x = grid->xDimension.getValue(), z = grid->zDimension.getValue();
      if (x < 0 || z < 0 || x * z > grid->height.getNum()) {
        ++parts.skippedShapes;
        return false;
      }
      return true;
    }
    return type.isDerivedFrom(SoVRMLExtrusion::getClassTypeId()) || type.isDerivedFrom(SoText3::getClassTypeId()) ||
           type.isDerivedFrom(SoAsciiText::getClassTypeId()) || type.isDerivedFrom(SoVRMLText::getClassTypeId());
  }

  int cornerOf(const SoPrimitiveVertex* v) {
    const SbVec3f& p = v->getPoint();
    if (!finite(p.getValue(), 3)) return -1;
    const CornerKey key = CornerKey::of(*v);
    const auto inserted = cornerVertex.emplace(key, static_cast<int32_t>(positions.size()));
    if (inserted.second) positions.push_back(p);
    return inserted.first->second;
  }

  void addTriangle(const SoPrimitiveVertex* a, const SoPrimitiveVertex* b, const SoPrimitiveVertex* c) {
    if (!shape) return;
    const int i = cornerOf(a), j = cornerOf(b), k = cornerOf(c);
    // A triangle collapsed onto two corners adds no face.
    if (i < 0 || j < 0 || k < 0 || i == j || j == k || i == k) return;
    corners.insert(corners.end(), {i, j, k});
  }

  void end(SoCallbackAction* action) {
    const SoNode* node = shape;
    shape = nullptr;
    if (corners.empty()) return;
    Part part;
    if (!place(action, part)) {
      ++parts.skippedShapes;
      return;
    }
    // Vertex shapes list their corners in the order the shape hints state:
    // turned counter-clockwise here. A mirroring matrix stays with the
    // placement, for whoever gathers the part.
    const bool reverse =
        node->isOfType(SoVertexShape::getClassTypeId()) && action->getVertexOrdering() == SoShapeHints::CLOCKWISE;
    std::vector<int32_t> index;
    index.reserve(corners.size() / 3 * 4);
    for (size_t t = 0; t < corners.size(); t += 3) {
      if (reverse)
        index.insert(index.end(), {corners[t + 2], corners[t + 1], corners[t], -1});
      else
        index.insert(index.end(), {corners[t], corners[t + 1], corners[t + 2], -1});
    }
    part.kind = SbModelParts::FACES;
    part.block = parts.addBlock(std::move(positions));
    part.coordIndex = parts.keep(std::move(index));
    positions = std::vector<SbVec3f>();
    parts.parts.push_back(part);
  }

  SbModelParts& parts;
  std::map<std::pair<int, uintptr_t>, uint32_t> blockOf;
  // The shape whose triangles are being collected, with its corners so far.
  const SoNode* shape = nullptr;
  std::unordered_map<CornerKey, int32_t, CornerKeyHash> cornerVertex;
  std::vector<SbVec3f> positions;
  std::vector<int32_t> corners;
};

}  // namespace

bool SbSceneFlattener::flatten(SoNode* scene, SbModelParts& parts, std::string& reason) {
  if (!checkGraph(scene, reason)) return false;
  Flattener(parts).apply(scene);
  return true;
}

bool SbSceneFlattener::read(const std::string& file, const std::string& absolutePath, SbModelParts& parts,
                            std::string& message) {
  // Coin looks for a relative name first from the working directory, then
  // from the folder of each file it has opened: the model's folder first.
  const std::string folder = absolutePath.substr(0, absolutePath.rfind('/') + 1);
  if (!folder.empty() && chdir(folder.c_str()) != 0) {
    message = "Cannot read " + file + ": cannot enter its folder (" + std::strerror(errno) + ")";
    return false;
  }
  SoInput::clearDirectories();
  ReadErrorCapture capture;
  SoInput input;
  if (!input.openFile(absolutePath.c_str(), TRUE)) {
    message = "Cannot open " + file;
    return false;
  }
  if (!input.isValidFile()) {
    message = file + " is not an Open Inventor or VRML file";
    return false;
  }
  SoSeparator* scene = SoDB::readAll(&input);
  // A missing File or Inline part, as much as text Coin cannot parse, means
  // the scene is not what the file describes.
  if (!scene || !capture.first().empty()) {
    message = "Cannot read " + file + (capture.first().empty() ? std::string() : ": " + capture.first());
    return false;
  }
  scene->ref();  // kept: the parts point into it until the reading process ends
  std::string reason;
  if (!flatten(scene, parts, reason)) {
    message = "Cannot read " + file + ": " + reason;
    return false;
  }
  return true;
}
