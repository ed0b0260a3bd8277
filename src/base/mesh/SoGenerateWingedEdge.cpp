#include "mesh/SoGenerateWingedEdge.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec4f.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/details/SoFaceDetail.h>
#include <Inventor/details/SoPointDetail.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoImage.h>
#include <Inventor/nodes/SoIndexedShape.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoIndexedNurbsCurve.h>
#include <Inventor/nodes/SoIndexedNurbsSurface.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoNurbsCurve.h>
#include <Inventor/nodes/SoNurbsSurface.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoText2.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <Inventor/nodes/SoVertexShape.h>
#include <Inventor/VRMLnodes/SoVRMLCoordinate.h>
#include <Inventor/VRMLnodes/SoVRMLElevationGrid.h>
#include <Inventor/VRMLnodes/SoVRMLIndexedFaceSet.h>
#include <Inventor/VRMLnodes/SoVRMLIndexedLineSet.h>
#include <Inventor/VRMLnodes/SoVRMLPointSet.h>
#include <Inventor/C/glue/gl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <set>
#include <cstring>
#include <exception>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/CornerKey.h"
#include "core/Finite.h"
#include "core/StageTimes.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeBuilder.h"
#include "mesh/SbWingedEdgeCurvature.h"

SO_NODE_SOURCE(SoGenerateWingedEdge);

namespace {

void reportSkippedStrips(int count) {
  printf("SoGenerateWingedEdge: skipped %d strip(s) with coordinate indices out of range\n", count);
}

void reportMissingCoordinates() { printf("SoGenerateWingedEdge: skipped a strip set without coordinates\n"); }

void reportSkippedNurbs(int count) {
  printf("SoGenerateWingedEdge: skipped %d NURBS surface(s): tessellating them needs a current GL context\n", count);
}

bool isNurbsSurface(const SoNode* node) {
  return node->isOfType(SoNurbsSurface::getClassTypeId()) || node->isOfType(SoIndexedNurbsSurface::getClassTypeId());
}

// Whether a GL context is current on this thread. Asked of GLX and EGL when
// the process has loaded them; when it has loaded neither, none can be.
bool glContextCurrent() {
  using Current = void* (*)();
  for (const char* name : {"glXGetCurrentContext", "eglGetCurrentContext"})
    if (const auto current = reinterpret_cast<Current>(dlsym(RTLD_DEFAULT, name)))
      if (current()) return true;
  return false;
}

// Coin tessellates a NURBS surface through GLU and asks for an offscreen GL
// context of its own to do it in, even while one is current; under Xvfb
// that context cannot be made (no triangles come) and without a display
// Coin crashes. A loan lends Coin the current context through Coin's
// offscreen callbacks: they hand out a token and leave the current context
// as it is. Each NURBS node keeps its token and gives it back when it dies,
// so the callbacks stay installed while tokens are out (Coin's own code
// would free the token as a GLX context); outside a loan they make no new
// contexts (an SoOffscreenRenderer gets none then).
struct ContextLender {
  static cc_glglue_offscreen_data create(unsigned int, unsigned int) {
    if (loans == 0) return nullptr;
    ++tokens;
    return &token;
  }
  static SbBool makeCurrent(cc_glglue_offscreen_data) { return loans > 0 || glContextCurrent(); }
  static void reinstate(cc_glglue_offscreen_data) {}
  static void destruct(cc_glglue_offscreen_data data) {
    if (data == &token && tokens > 0) --tokens;
  }
  static void uninstallWhenDone() {
    if (installed && loans == 0 && tokens == 0) {
      cc_glglue_context_set_offscreen_cb_functions(nullptr);
      installed = false;
    }
  }
  static int token;
  static int tokens;  // handed out and not yet given back
  static int loans;   // loans alive (they may nest)
  static bool installed;
  static cc_glglue_offscreen_cb_functions functions;
};
int ContextLender::token = 0;
int ContextLender::tokens = 0;
int ContextLender::loans = 0;
bool ContextLender::installed = false;
cc_glglue_offscreen_cb_functions ContextLender::functions = {&ContextLender::create, &ContextLender::makeCurrent,
                                                             &ContextLender::reinstate, &ContextLender::destruct};

void reportBadIndices(const SoNode* node) {
  printf("SoGenerateWingedEdge: skipped a shape (%s) with coordinate indices out of range\n",
         node->getTypeId().getName().getString());
}

// Coordinates a vertex shape is drawn with: its vertex property's when that
// has some, else those in the state (one point at the origin when no node
// set any).
int coordinateCount(SoCallbackAction* action, const SoVertexShape* shape) {
  const SoNode* vp = shape->vertexProperty.getValue();
  if (vp && vp->isOfType(SoVertexProperty::getClassTypeId()) &&
      static_cast<const SoVertexProperty*>(vp)->vertex.getNum() > 0)
    return static_cast<const SoVertexProperty*>(vp)->vertex.getNum();
  return SoCoordinateElement::getInstance(action->getState())->getNum();
}

bool indicesBelow(const SoMFInt32& index, int64_t points) {
  const int32_t* values = index.getValues(0);
  for (int i = 0; i < index.getNum(); ++i)
    if (values[i] < -1 || values[i] >= points) return false;
  return true;
}

// False when Coin would read coordinates that do not exist to triangulate
// `node`: indices past the coordinates, counts of a face or strip set (-1:
// all the rest) or a quad mesh's size running past them, an elevation grid
// with fewer heights than its size, NURBS surfaces with more control points
// (or indices) than there are coordinates (or indices). Coin reads such
// coordinates unchecked.
bool coordinatesExist(SoCallbackAction* action, const SoNode* node) {
  if (node->isOfType(SoNurbsSurface::getClassTypeId()) || node->isOfType(SoIndexedNurbsSurface::getClassTypeId())) {
    const bool indexed = node->isOfType(SoIndexedNurbsSurface::getClassTypeId());
    // The two classes share no base with these fields: each is read as what it is.
    const auto* plain = indexed ? nullptr : static_cast<const SoNurbsSurface*>(node);
    const auto* withIndex = indexed ? static_cast<const SoIndexedNurbsSurface*>(node) : nullptr;
    const int64_t u = indexed ? withIndex->numUControlPoints.getValue() : plain->numUControlPoints.getValue();
    const int64_t v = indexed ? withIndex->numVControlPoints.getValue() : plain->numVControlPoints.getValue();
    const int64_t points = SoCoordinateElement::getInstance(action->getState())->getNum();
    if (u < 0 || v < 0) return false;
    if (!indexed) return u * v <= points;
    const SoMFInt32& index = withIndex->coordIndex;
    if (u * v > index.getNum()) return false;
    for (int64_t i = 0; i < u * v; ++i)
      if (index[static_cast<int>(i)] < 0 || index[static_cast<int>(i)] >= points) return false;
    return true;
  }
  if (node->isOfType(SoIndexedShape::getClassTypeId())) {
    const auto* shape = static_cast<const SoIndexedShape*>(node);
    return indicesBelow(shape->coordIndex, coordinateCount(action, shape));
  }
  if (node->isOfType(SoFaceSet::getClassTypeId()) || node->isOfType(SoTriangleStripSet::getClassTypeId())) {
    const auto* shape = static_cast<const SoNonIndexedShape*>(node);
    const SoMFInt32& counts = node->isOfType(SoFaceSet::getClassTypeId())
                                  ? static_cast<const SoFaceSet*>(node)->numVertices
                                  : static_cast<const SoTriangleStripSet*>(node)->numVertices;
    const int64_t points = coordinateCount(action, shape);
    int64_t at = shape->startIndex.getValue();
    if (at < 0) return false;
    for (int i = 0; i < counts.getNum(); ++i) {
      const int64_t n = counts[i] == -1 ? points - at : counts[i];
      if (n < 0) return false;
      at += n;
    }
    return at <= points;
  }
  if (node->isOfType(SoQuadMesh::getClassTypeId())) {
    const auto* mesh = static_cast<const SoQuadMesh*>(node);
    const int64_t rows = mesh->verticesPerColumn.getValue(), columns = mesh->verticesPerRow.getValue();
    const int64_t start = mesh->startIndex.getValue();
    return rows >= 0 && columns >= 0 && start >= 0 && start + rows * columns <= coordinateCount(action, mesh);
  }
  if (node->isOfType(SoVRMLIndexedFaceSet::getClassTypeId())) {
    const auto* faces = static_cast<const SoVRMLIndexedFaceSet*>(node);
    const SoNode* coord = faces->coord.getValue();
    const int64_t points = coord && coord->isOfType(SoVRMLCoordinate::getClassTypeId())
                               ? static_cast<const SoVRMLCoordinate*>(coord)->point.getNum()
                               : 0;
    return indicesBelow(faces->coordIndex, points);
  }
  if (node->isOfType(SoVRMLElevationGrid::getClassTypeId())) {
    const auto* grid = static_cast<const SoVRMLElevationGrid*>(node);
    const int64_t x = grid->xDimension.getValue(), z = grid->zDimension.getValue();
    return x >= 0 && z >= 0 && x * z <= grid->height.getNum();
  }
  return true;
}

// Joins the points that lie within `eps` of an earlier kept point and keeps
// only the survivors in `points`; returns each old point's new index. Cells
// of side `eps` are hashed, and a point is compared with the kept points of
// the 27 cells around it.
std::vector<int> weldClosePoints(std::vector<SbVec3f>& points, float eps) {
  struct Cell {
    int64_t c[3];
    bool operator==(const Cell& o) const { return c[0] == o.c[0] && c[1] == o.c[1] && c[2] == o.c[2]; }
  };
  struct CellHash {
    size_t operator()(const Cell& k) const {
      return static_cast<size_t>(uint64_t(k.c[0]) * 73856093u ^ uint64_t(k.c[1]) * 19349663u ^
                                 uint64_t(k.c[2]) * 83492791u);
    }
  };
  std::unordered_map<Cell, std::vector<int>, CellHash> cells;
  std::vector<SbVec3f> kept;
  std::vector<int> newIndex(points.size());
  const float eps2 = eps * eps;
  for (size_t i = 0; i < points.size(); ++i) {
    const SbVec3f& p = points[i];
    Cell home;
    for (int k = 0; k < 3; ++k) {
      // Points far out in cells of eps stay within the integers (no two of
      // them that far apart are within eps anyway).
      const double cell = std::floor(double(p[k]) / double(eps));
      home.c[k] = static_cast<int64_t>(std::max(-4.0e18, std::min(4.0e18, cell)));
    }
    int found = -1;
    for (int dx = -1; dx <= 1 && found < 0; ++dx)
      for (int dy = -1; dy <= 1 && found < 0; ++dy)
        for (int dz = -1; dz <= 1 && found < 0; ++dz) {
          auto it = cells.find(Cell{{home.c[0] + dx, home.c[1] + dy, home.c[2] + dz}});
          if (it == cells.end()) continue;
          for (int q : it->second)
            if ((kept[q] - p).sqrLength() <= eps2) {
              found = q;
              break;
            }
        }
    if (found < 0) {
      found = static_cast<int>(kept.size());
      kept.push_back(p);
      cells[home].push_back(found);
    }
    newIndex[i] = found;
  }
  points.swap(kept);
  return newIndex;
}

// Shapes that have no faces.
bool givesNoTriangles(const SoNode* node) {
  static const SoType types[] = {SoNurbsCurve::getClassTypeId(),   SoIndexedNurbsCurve::getClassTypeId(),
                                 SoLineSet::getClassTypeId(),      SoIndexedLineSet::getClassTypeId(),
                                 SoPointSet::getClassTypeId(),     SoVRMLIndexedLineSet::getClassTypeId(),
                                 SoVRMLPointSet::getClassTypeId(), SoText2::getClassTypeId(),
                                 SoImage::getClassTypeId()};
  for (const SoType& t : types)
    if (node->isOfType(t)) return true;
  return false;
}

// Collects one object per shape during a callback traversal of the node's
// subgraph: indexed triangle-strip sets from their strips, every other shape
// from the triangles Coin generates for it.
struct Gatherer {
  SbWingedEdgeModel* model = nullptr;
  SoGenerateWingedEdge::ObjectNumberCB* objectNumberCB = nullptr;
  void* objectNumberData = nullptr;
  int shapes = 0;                // every strip set met (also the skipped ones) and every shape with faces
  bool tessellateNurbs = false;  // a GL context is current (NurbsContextLoan)
  int skippedNurbs = 0;
  // Shapes that repeat an earlier one point for point (a node USEd twice in
  // one place, an exporter writing a part twice) add nothing to the picture
  // but their cost: a thousand coincident spheres would each be hatched in
  // full, since strokes only keep apart from strokes on the same surface.
  // Each shape's world-space faces are fingerprinted by two independent
  // 64-bit hashes.
  std::set<std::pair<uint64_t, uint64_t>> shapePrints;
  int repeatedShapes = 0;
  std::vector<SbVec3f> coords;
  std::vector<int> indices, lengths;

  // The shape whose triangles are being collected, with its corners so far.
  const SoNode* shape = nullptr;
  std::unordered_map<CornerKey, int, CornerKeyHash> cornerVertex;
  std::vector<SbVec3f> positions;  // object space until the shape ends
  std::vector<int> faceStart, corners;
  // The shape computes its points (a sphere's, a cone's) rather than taking
  // them from coordinates: its seams meet only up to rounding.
  bool computedPoints = false;

  static SoCallbackAction::Response preShape(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<Gatherer*>(data);
    if (node->isOfType(SoIndexedTriangleStripSet::getClassTypeId())) {
      self->add(action, static_cast<const SoIndexedTriangleStripSet*>(node));
      return SoCallbackAction::PRUNE;  // its triangles are not wanted a second time
    }
    if (givesNoTriangles(node)) return SoCallbackAction::PRUNE;
    if (isNurbsSurface(node) && !self->tessellateNurbs) {
      ++self->skippedNurbs;
      return SoCallbackAction::PRUNE;
    }
    if (!coordinatesExist(action, node)) {
      reportBadIndices(node);
      return SoCallbackAction::PRUNE;
    }
    self->beginShape(node);
    return SoCallbackAction::CONTINUE;
  }

  static SoCallbackAction::Response postShape(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<Gatherer*>(data);
    if (self->shape == node) self->endShape(action);
    return SoCallbackAction::CONTINUE;
  }

  static void triangle(void* data, SoCallbackAction*, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
                       const SoPrimitiveVertex* c) {
    static_cast<Gatherer*>(data)->addTriangle(a, b, c);
  }

  void beginShape(const SoNode* node) {
    shape = node;
    cornerVertex.clear();
    positions.clear();
    faceStart.assign(1, 0);
    corners.clear();
    computedPoints = false;
  }

  int cornerOf(const SoPrimitiveVertex* v) {
    const SbVec3f& p = v->getPoint();
    if (!finite(p)) return -1;
    const SoDetail* detail = v->getDetail();
    if (!detail ||
        !(detail->isOfType(SoPointDetail::getClassTypeId()) || detail->isOfType(SoFaceDetail::getClassTypeId())))
      computedPoints = true;
    const CornerKey key = CornerKey::of(*v);
    auto inserted = cornerVertex.emplace(key, static_cast<int>(positions.size()));
    if (inserted.second) positions.push_back(p);
    return inserted.first->second;
  }

  void addTriangle(const SoPrimitiveVertex* a, const SoPrimitiveVertex* b, const SoPrimitiveVertex* c) {
    if (!shape) return;
    const int i = cornerOf(a), j = cornerOf(b), k = cornerOf(c);
    // A triangle collapsed onto two corners adds no face.
    if (i < 0 || j < 0 || k < 0 || i == j || j == k || i == k) return;
    corners.push_back(i);
    corners.push_back(j);
    corners.push_back(k);
    faceStart.push_back(static_cast<int>(corners.size()));
  }

  // Joins the points of one object that lie within 1e-5 of its size.
  static void weld(std::vector<SbVec3f>& points, std::vector<int>& cornerList) {
    SbBox3f box;
    for (const SbVec3f& p : points) box.extendBy(p);
    float dx, dy, dz;
    box.getSize(dx, dy, dz);
    const float size = std::max(dx, std::max(dy, dz));
    if (!(size > 0.0f) || !std::isfinite(size)) return;
    // Triangles collapsed by the welding are dropped when the object is linked.
    const std::vector<int> newIndex = weldClosePoints(points, size * 1e-5f);
    for (int& c : cornerList) c = newIndex[c];
  }

  // Consecutive NURBS surfaces are the patches of one surface, meant to
  // meet along their edges (Coin samples a shared edge alike from both
  // sides): they become one object, welded in world space, so the seams
  // between patches are neither hatching boundaries nor drawn as edges.
  std::vector<SbVec3f> runPositions;
  std::vector<int> runFaceStart, runCorners;
  int runNumber = -1;

  void endRun() {
    if (runCorners.empty()) return;
    weld(runPositions, runCorners);
    model->objects.emplace_back();
    buildWingedEdgeObject(model->objects.back(), runNumber, runPositions, runFaceStart, runCorners);
    runPositions.clear();
    runFaceStart.clear();
    runCorners.clear();
  }

  void endShape(SoCallbackAction* action) {
    const SoNode* node = shape;
    shape = nullptr;
    if (corners.empty()) return;
    const bool patch = isNurbsSurface(node);
    if (!patch) endRun();
    const bool continuesRun = patch && !runCorners.empty();
    const int position = continuesRun ? -1 : shapes++;

    if (computedPoints && !patch) weld(positions, corners);

    // Vertex shapes list their corners in the order the shape hints state;
    // a mirroring matrix turns that order round once more.
    const SbMatrix& matrix = action->getModelMatrix();
    bool reverse = matrix.det3() < 0.0f;
    if (node->isOfType(SoVertexShape::getClassTypeId()) && action->getVertexOrdering() == SoShapeHints::CLOCKWISE)
      reverse = !reverse;
    if (reverse)
      for (size_t t = 0; t + 1 < faceStart.size(); ++t) std::swap(corners[faceStart[t]], corners[faceStart[t + 1] - 1]);
    if (matrix != SbMatrix::identity()) {
      bool allFinite = true;
      for (SbVec3f& p : positions) {
        matrix.multVecMatrix(p, p);
        allFinite = allFinite && finite(p);
      }
      // A huge placement of huge points overflows: those faces go.
      if (!allFinite) dropFacesOffTheFloats();
      if (corners.empty()) return;
    }

    int number = -1;
    if (!continuesRun) {
      if (objectNumberCB) number = objectNumberCB(objectNumberData, action->getCurPath());
      if (number == -1) number = position;
    }
    if (patch) {
      if (!continuesRun) runNumber = number, runFaceStart.assign(1, 0);
      const int base = static_cast<int>(runPositions.size());
      const int cornerBase = static_cast<int>(runCorners.size());
      runPositions.insert(runPositions.end(), positions.begin(), positions.end());
      for (int c : corners) runCorners.push_back(base + c);
      for (size_t t = 1; t < faceStart.size(); ++t) runFaceStart.push_back(cornerBase + faceStart[t]);
      return;
    }
    if (!shapePrints.insert(fingerprint()).second) {
      ++repeatedShapes;
      return;
    }
    model->objects.emplace_back();
    buildWingedEdgeObject(model->objects.back(), number, positions, faceStart, corners);
  }

  // Keeps the faces whose corners are all finite, and only the points they use.
  void dropFacesOffTheFloats() {
    std::vector<int> newIndex(positions.size(), -1);
    std::vector<SbVec3f> keptPositions;
    std::vector<int> keptStart(1, 0), keptCorners;
    for (size_t f = 0; f + 1 < faceStart.size(); ++f) {
      bool allFinite = true;
      for (int c = faceStart[f]; c < faceStart[f + 1]; ++c) allFinite = allFinite && finite(positions[corners[c]]);
      if (!allFinite) continue;
      for (int c = faceStart[f]; c < faceStart[f + 1]; ++c) {
        int& to = newIndex[corners[c]];
        if (to < 0) {
          to = static_cast<int>(keptPositions.size());
          keptPositions.push_back(positions[corners[c]]);
        }
        keptCorners.push_back(to);
      }
      keptStart.push_back(static_cast<int>(keptCorners.size()));
    }
    positions.swap(keptPositions);
    faceStart.swap(keptStart);
    corners.swap(keptCorners);
  }

  // FNV-1a and a multiply-rotate hash over the shape's faces in world space.
  std::pair<uint64_t, uint64_t> fingerprint() const {
    uint64_t a = 1469598103934665603ull, b = 0x9e3779b97f4a7c15ull;
    auto mix = [&](const void* data, size_t bytes) {
      const auto* c = static_cast<const unsigned char*>(data);
      for (size_t i = 0; i < bytes; ++i) {
        a = (a ^ c[i]) * 1099511628211ull;
        b = (b ^ c[i]) * 0xff51afd7ed558ccdull;
        b = (b << 29) | (b >> 35);
      }
    };
    for (size_t t = 0; t + 1 < faceStart.size(); ++t) {
      for (int c = faceStart[t]; c < faceStart[t + 1]; ++c) {
        SbVec3f p = positions[corners[c]];
        for (int i = 0; i < 3; ++i) p[i] += 0.0f;  // -0 and 0 alike
        mix(p.getValue(), sizeof(float) * 3);
      }
      const int end = -1;
      mix(&end, sizeof end);
    }
    return {a, b};
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
        coords[i] = w != 0.0f ? SbVec3f(p[i][0] / w, p[i][1] / w, p[i][2] / w) : SbVec3f(NAN, NAN, NAN);
      }
    }
    return true;
  }

  void add(SoCallbackAction* action, const SoIndexedTriangleStripSet* shape) {
    endRun();
    const int position = shapes++;
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
    WeBuildReport report = addStrips(*model, number, coords.data(), static_cast<int>(coords.size()), indices, lengths);
    if (report.skippedStrips > 0) reportSkippedStrips(report.skippedStrips);
  }
};

}  // namespace

SoGenerateWingedEdge::NurbsContextLoan::NurbsContextLoan() {
  if (!ContextLender::installed) cc_glglue_context_set_offscreen_cb_functions(&ContextLender::functions);
  ContextLender::installed = true;
  ++ContextLender::loans;
}

SoGenerateWingedEdge::NurbsContextLoan::~NurbsContextLoan() {
  --ContextLender::loans;
  ContextLender::uninstallWhenDone();
}

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
  SO_NODE_ADD_FIELD(visualizationMode, (WE_SHOW_FACES));
  // Both mode fields also read names; numbers stay what they always were.
  static const std::pair<const char*, int> curvatureModes[] = {
      {"HEURISTIC", SbWingedEdgeCurvature::HEURISTIC},
      {"MIN", SbWingedEdgeCurvature::MIN},
      {"MAX", SbWingedEdgeCurvature::MAX},
      {"MEAN", SbWingedEdgeCurvature::MEAN},
      {"GAUSS", SbWingedEdgeCurvature::GAUSS},
      {"MAX_ABSOLUTE", SbWingedEdgeCurvature::MAX_ABSOLUTE},
      {"MIN_ABSOLUTE", SbWingedEdgeCurvature::MIN_ABSOLUTE},
      {"MIN_MAX_SEPARATELY", SbWingedEdgeCurvature::MIN_MAX_SEPARATELY},
      {"SHAPE_INDEX", SbWingedEdgeCurvature::SHAPE_INDEX},
      {"MODIFIED_SHAPE_INDEX", SbWingedEdgeCurvature::MODIFIED_SHAPE_INDEX},
      {"SCALED_MODIFIED_SHAPE_INDEX", SbWingedEdgeCurvature::SCALED_MODIFIED_SHAPE_INDEX},
      {"FOLD_INDEX", SbWingedEdgeCurvature::FOLD_INDEX},
      {"SINGULARITY_INDEX", SbWingedEdgeCurvature::SINGULARITY_INDEX},
      {"VIEW_ANGLE", SbWingedEdgeCurvature::VIEW_ANGLE}};
  static const std::pair<const char*, int> visualizations[] = {{"LINES", WE_SHOW_LINES},
                                                               {"FACES", WE_SHOW_FACES},
                                                               {"COLOURED_FACES", WE_SHOW_COLOURED_FACES},
                                                               {"NOTHING", WE_SHOW_NOTHING},
                                                               {"FEATURE_LINES", WE_SHOW_FEATURE_LINES},
                                                               {"THREE_COLOURS", WE_SHOW_THREE_COLOURS},
                                                               {"DIRECTIONS", WE_SHOW_DIRECTIONS},
                                                               {"LINES_NO_DEPTH", WE_SHOW_LINES_NO_DEPTH}};
  for (const auto& [name, value] : curvatureModes) fieldData->addEnumValue("CurvatureMode", name, value);
  for (const auto& [name, value] : visualizations) fieldData->addEnumValue("Visualization", name, value);
  SO_NODE_SET_SF_ENUM_TYPE(curvatureMode, CurvatureMode);
  SO_NODE_SET_SF_ENUM_TYPE(visualizationMode, Visualization);
}

SoGenerateWingedEdge::~SoGenerateWingedEdge() {}

void SoGenerateWingedEdge::setObjectNumberCallback(ObjectNumberCB* callback, void* userData) {
  objectNumberCB = callback;
  objectNumberData = userData;
}

void SoGenerateWingedEdge::requestRebuild() { rebuildRequested = true; }

void SoGenerateWingedEdge::invalidateFaceColours() { working.displayListsValid = false; }

void SoGenerateWingedEdge::invalidateCurvature() { working.curvatureValid = false; }

void SoGenerateWingedEdge::rebuild(bool glContext) {
  built.clear();
  Gatherer gatherer;
  gatherer.model = &built;
  gatherer.objectNumberCB = objectNumberCB;
  gatherer.objectNumberData = objectNumberData;
  gatherer.tessellateNurbs = glContext;
  std::unique_ptr<NurbsContextLoan> loan;
  if (glContext) loan.reset(new NurbsContextLoan);

  SoCallbackAction action;
  action.addPreCallback(SoShape::getClassTypeId(), &Gatherer::preShape, &gatherer);
  action.addPostCallback(SoShape::getClassTypeId(), &Gatherer::postShape, &gatherer);
  action.addTriangleCallback(SoShape::getClassTypeId(), &Gatherer::triangle, &gatherer);
  // The traversal passes through this node again: it must only walk the children.
  gathering = true;
  action.apply(this);
  gathering = false;
  gatherer.endRun();

  loan.reset();

  built.number();
  geometryFound = gatherer.shapes > 0;
  // Built again at the next traversal that has a GL context.
  nurbsSkipped = gatherer.skippedNurbs > 0;
  if (nurbsSkipped) reportSkippedNurbs(gatherer.skippedNurbs);
  if (gatherer.repeatedShapes > 0)
    printf("SoGenerateWingedEdge: skipped %d shape(s) that repeat an earlier one exactly\n", gatherer.repeatedShapes);
}

void SoGenerateWingedEdge::updateModel(SoAction* action) {
  try {
    if (!doBuildWingedEdge.getValue()) {
      if (!workingEmptied || !working.objects.empty()) {
        working.returnSource();
        working.clear();
        working.source = nullptr;  // nothing for the modifier to start again from
        workingEmptied = true;
      }
    } else {
      // A render traversal always has a context current.
      const bool glContext = action->isOfType(SoGLRenderAction::getClassTypeId()) || glContextCurrent();
      if (rebuildRequested || (nurbsSkipped && glContext)) {
        StageTimer timer("winged-edge build");
        rebuildRequested = false;
        workingEmptied = true;
        rebuild(glContext);
      }
      if (workingEmptied) {
        // Lent, not copied: the modifier copies it back before it changes it.
        working.borrowGeometryFrom(built);
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
    working.clear();
    built.clear();
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
