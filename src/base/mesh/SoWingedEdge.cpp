#include "mesh/SoWingedEdge.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/elements/SoGLDisplayList.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/C/glue/gl.h>
#include <Inventor/system/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "core/Finite.h"
#include "core/GLBatches.h"
#include "core/StageTimes.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "elements/SoWingedEdgeElement.h"
#include "mesh/SbWingedEdgeCurvature.h"
#include "mesh/SbWingedEdgeModel.h"

SO_NODE_SOURCE(SoWingedEdge);

namespace {
// OpenGL accepts shininess up to 128; the display asks for 200.
const float kShininess = std::min(200.0f, 128.0f);
const float kSpecular[4] = {0.4f, 0.4f, 0.4f, 1.0f};

bool isLineMode(int mode) {
  return mode == WE_SHOW_LINES || mode == WE_SHOW_FEATURE_LINES || mode == WE_SHOW_DIRECTIONS ||
         mode == WE_SHOW_LINES_NO_DEPTH;
}

// Line variant 1 (mode 5) keeps the feature edges: sharp-marked and boundary.
bool edgeInVariant(const WeEdge& e, int variant) { return variant == 0 || (e.flags & WE_SHARP) || e.isBoundary(); }

bool validVertex(const WeObject& o, int v) { return v >= 0 && v < static_cast<int>(o.vertices.size()); }

// Fills `corners` with face f's vertices; false when they do not make a
// polygon that can be drawn (fewer than three, or one that does not exist).
bool drawableCorners(const WeObject& o, int f, std::vector<int>& corners) {
  o.faceCorners(f, corners);
  if (corners.size() < 3) return false;
  for (int v : corners)
    if (!validVertex(o, v)) return false;
  return true;
}

SbVec3f unitNormal(const WeVertex& v) {
  SbVec3f n = v.normal;
  return n.length() > 0.0f ? n / n.length() : SbVec3f(0, 0, 1);
}

bool hasMeasures(const WeObject& o) { return o.measure.size() == o.vertices.size(); }

// Faces as polygons. Flat faces use the face normal; smooth ones the vertex
// normals and a colour per corner from `colourOf(object, vertex)`.
template <class ColourOf>
void emitFaces(const SbWingedEdgeModel& model, bool smooth, ColourOf colourOf) {
  std::vector<int> corners;
  for (const WeObject& o : model.objects) {
    for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
      if (!drawableCorners(o, f, corners)) continue;
      glBegin(GL_POLYGON);
      if (!smooth) glNormal3fv(o.faces[f].normal.getValue());
      for (int v : corners) {
        if (smooth) {
          glColor3fv(colourOf(o, v).getValue());
          glNormal3fv(unitNormal(o.vertices[v]).getValue());
        }
        glVertex3fv(o.vertices[v].position.getValue());
      }
      glEnd();
    }
  }
}

}  // namespace

void SoWingedEdge::initClass() {
  SO_NODE_INIT_CLASS(SoWingedEdge, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoWingedEdgeElement);
  SO_ENABLE(SoGLRenderAction, SoCoordinateElement);
  SO_ENABLE(SoCallbackAction, SoCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoGLRenderAction, SoLineThicknessElement);
  SO_ENABLE(SoCallbackAction, SoLineThicknessElement);
  SO_ENABLE(SoGLRenderAction, SoLineParameterizationElement);
  SO_ENABLE(SoCallbackAction, SoLineParameterizationElement);
  SO_ENABLE(SoGLRenderAction, SoLineTaperElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineTaperElementHQ);
  SO_ENABLE(SoGLRenderAction, SoLineTriangleElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineTriangleElementHQ);
  SO_ENABLE(SoGLRenderAction, SoLineDensityElementHQ);
  SO_ENABLE(SoCallbackAction, SoLineDensityElementHQ);
  SO_ENABLE(SoGLRenderAction, SoViewVolumeElement);
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
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
  for (bool& valid : listValid) valid = false;
}

void SoWingedEdge::setVisualizationOverride(int mode) { visualizationOverride = mode; }

int SoWingedEdge::currentMode(const SbWingedEdgeModel* model) const {
  return visualizationOverride >= 0 ? visualizationOverride : model->visualizationMode;
}

void SoWingedEdge::releaseLists() {
  // Coin deletes the lists in their own context once it is current again.
  if (lists) lists->unref(nullptr);
  lists = nullptr;
  listContext = -1;
  for (bool& valid : listValid) valid = false;
}

void SoWingedEdge::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  // The drawing follows the model in the state, which no field records.
  SoCacheElement::invalidate(state);
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(state);
  if (!model) return;
  StageTimer timer("mesh display");
  try {
    renderModel(action, model, currentMode(model));
  } catch (const std::exception& e) {
    printf("SoWingedEdge::GLRender: %s\n", e.what());
  }
}

void SoWingedEdge::renderModel(SoGLRenderAction* action, SbWingedEdgeModel* model, int mode) {
  SoState* state = action->getState();
  if (mode == WE_SHOW_COLOURED_FACES || mode == WE_SHOW_THREE_COLOURS || mode == WE_SHOW_DIRECTIONS) {
    SbWingedEdgeCurvature::View view;
    const SbViewVolume& volume = SoViewVolumeElement::get(state);
    const SbMatrix toObject = SoModelMatrixElement::get(state).inverse();
    view.perspective = volume.getProjectionType() == SbViewVolume::PERSPECTIVE;
    toObject.multDirMatrix(volume.getProjectionDirection(), view.direction);
    toObject.multVecMatrix(volume.getProjectionPoint(), view.eye);
    SbWingedEdgeCurvature::update(*model, &view);
  }

  const bool send = sendLines.getValue();
  if (send && isLineMode(mode)) publishLines(state, model, mode);

  const int context = SoGLCacheContextElement::get(state);
  if (!lists || listContext != context) {
    releaseLists();
    lists = new SoGLDisplayList(state, SoGLDisplayList::DISPLAY_LIST, LIST_COUNT);
    lists->ref();
    listContext = context;
  }
  const int hide = hideBackfaces.getValue() ? 1 : 0;
  const int fill = fillLineCracks.getValue() ? 1 : 0;
  if (!model->displayListsValid || mode != lastMode || int(send) != lastSendLines || hide != lastHideBackfaces ||
      model != lastModel || fill != lastFillLineCracks) {
    for (bool& valid : listValid) valid = false;
    depthTrianglesValid = false;
  }

  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_NORMALIZE);
  glFrontFace(GL_CCW);
  if (!send) {
    if (antialiasing.getValue()) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
      glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
      glEnable(GL_LINE_SMOOTH);
      glEnable(GL_POINT_SMOOTH);
    }
    float width = lineWidth.getValue();
    if (!(width > 0.0f) || !std::isfinite(width)) width = 1.0f;
    glLineWidth(width);
    glPointSize(width);
  }

  switch (mode) {
    case WE_SHOW_LINES:
    case WE_SHOW_FEATURE_LINES:
    case WE_SHOW_DIRECTIONS:
      if (hide) drawDepthOnly(state, model);
      if (!send) drawLines(state, model, mode);
      if (mode == WE_SHOW_DIRECTIONS) {
        glDisable(GL_LIGHTING);
        callList(state, model, LIST_DIRECTIONS, mode);
      }
      break;
    case WE_SHOW_FACES:
    case WE_SHOW_COLOURED_FACES:
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
      glShadeModel(mode == WE_SHOW_FACES ? GL_FLAT : GL_SMOOTH);
      glEnable(GL_LIGHTING);
      glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
      glMaterialf(GL_FRONT, GL_SHININESS, kShininess);
      glMaterialfv(GL_FRONT, GL_SPECULAR, kSpecular);
      glColor3fv(secondColour.getValue());
      callList(state, model, mode == WE_SHOW_FACES ? LIST_FACES : LIST_COLOURED, mode);
      break;
    case WE_SHOW_NOTHING: drawDepthOnly(state, model); break;
    case WE_SHOW_THREE_COLOURS:
      glDisable(GL_CULL_FACE);
      glShadeModel(GL_SMOOTH);
      glEnable(GL_LIGHTING);
      glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
      glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
      glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, kShininess);
      glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, kSpecular);
      callList(state, model, LIST_THREE_COLOURS, mode);
      break;
    case WE_SHOW_LINES_NO_DEPTH:
      glDisable(GL_DEPTH_TEST);
      if (!send) drawLines(state, model, mode);
      break;
    default: break;  // unknown modes draw nothing
  }
  glPopAttrib();

  model->displayListsValid = true;
  lastMode = mode;
  lastSendLines = send;
  lastHideBackfaces = hide;
  lastFillLineCracks = fill;
  lastModel = model;
}

void SoWingedEdge::buildDepthTriangles(const SbWingedEdgeModel& model) {
  depthTriangles.resize(model.objects.size());
  std::vector<int> corners;
  for (size_t i = 0; i < model.objects.size(); ++i) {
    const WeObject& o = model.objects[i];
    std::vector<uint32_t>& out = depthTriangles[i];
    out.clear();
    out.reserve(3 * o.faces.size());
    for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
      if (!drawableCorners(o, f, corners)) continue;
      // The fan GL itself makes of a polygon.
      for (size_t k = 2; k < corners.size(); ++k) {
        out.push_back(static_cast<uint32_t>(corners[0]));
        out.push_back(static_cast<uint32_t>(corners[k - 1]));
        out.push_back(static_cast<uint32_t>(corners[k]));
      }
    }
  }
  depthTrianglesValid = true;
}

void SoWingedEdge::drawDepthOnly(SoState* state, SbWingedEdgeModel* model) {
  if (!depthTrianglesValid || depthTriangles.size() != model->objects.size()) buildDepthTriangles(*model);
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_ENABLE_BIT);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glDisable(GL_BLEND);
  glShadeModel(GL_FLAT);
  glDisable(GL_LIGHTING);
  // Push the faces back a little so the edges on them pass the depth test.
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1.0f, 1.0f);
  // Saves the array buffer bindings too: the arrays below are client memory.
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  const cc_glglue* glue = cc_glglue_instance(SoGLCacheContextElement::get(state));
  if (glue && cc_glglue_has_vertex_buffer_object(glue)) {
    cc_glglue_glBindBuffer(glue, GL_ARRAY_BUFFER, 0);
    cc_glglue_glBindBuffer(glue, GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  for (size_t i = 0; i < model->objects.size(); ++i) {
    const WeObject& o = model->objects[i];
    const std::vector<uint32_t>& triangles = depthTriangles[i];
    if (triangles.empty() || o.vertices.empty()) continue;
    glVertexPointer(3, GL_FLOAT, sizeof(WeVertex), o.vertices[0].position.getValue());
    drawTriangleBatches(triangles.data(), triangles.size());
  }
  glPopClientAttrib();
  glPopAttrib();
}

void SoWingedEdge::drawLines(SoState* state, SbWingedEdgeModel* model, int mode) {
  // The line colour is all the edges show: unlit, as if emissive.
  glDisable(GL_LIGHTING);
  glColor3fv(lineColour.getValue());
  callList(state, model, LIST_EDGES, mode);
}

void SoWingedEdge::callList(SoState* state, SbWingedEdgeModel* model, int list, int mode) {
  if (!lists) return;
  if (!listValid[list] || (list == LIST_EDGES && listEdgeVariant != (mode == WE_SHOW_FEATURE_LINES ? 1 : 0))) {
    compileList(state, model, list, mode);
  }
  glCallList(lists->getFirstIndex() + list);
}

void SoWingedEdge::compileList(SoState*, SbWingedEdgeModel* model, int list, int mode) {
  glNewList(lists->getFirstIndex() + list, GL_COMPILE);
  switch (list) {
    case LIST_FACES: emitFaces(*model, false, [](const WeObject&, int) { return SbColor(0, 0, 0); }); break;
    case LIST_COLOURED: {
      const bool separately = model->measureMode == SbWingedEdgeCurvature::MIN_MAX_SEPARATELY;
      const float lo = model->measureMin, hi = model->measureMax;
      emitFaces(*model, true, [&](const WeObject& o, int v) {
        if (!hasMeasures(o)) return SbWingedEdgeCurvature::colour(0.0f, lo, hi);
        if (separately && o.measure2.size() == o.vertices.size())
          return SbWingedEdgeCurvature::colourSeparately(o.measure[v], o.measure2[v], lo, hi);
        return SbWingedEdgeCurvature::colour(o.measure[v], lo, hi);
      });
      break;
    }
    case LIST_THREE_COLOURS: {
      const float lo = model->measureMin, hi = model->measureMax;
      emitFaces(*model, true, [&](const WeObject& o, int v) {
        float value = hasMeasures(o) ? o.measure[v] : 0.0f;
        return SbWingedEdgeCurvature::classColour(SbWingedEdgeCurvature::threeClass(value, lo, hi));
      });
      break;
    }
    case LIST_EDGES: {
      const int variant = mode == WE_SHOW_FEATURE_LINES ? 1 : 0;
      listEdgeVariant = variant;
      glBegin(GL_LINES);
      for (const WeObject& o : model->objects) {
        for (const WeEdge& e : o.edges) {
          if (!edgeInVariant(e, variant) || !validVertex(o, e.vertex[0]) || !validVertex(o, e.vertex[1])) continue;
          glVertex3fv(o.vertices[e.vertex[0]].position.getValue());
          glVertex3fv(o.vertices[e.vertex[1]].position.getValue());
        }
      }
      glEnd();
      if (fillLineCracks.getValue()) {
        // Round points at the ends fill the gaps where wide lines meet.
        glBegin(GL_POINTS);
        for (const WeObject& o : model->objects) {
          std::vector<char> used(o.vertices.size(), 0);
          for (const WeEdge& e : o.edges) {
            if (!edgeInVariant(e, variant)) continue;
            for (int end = 0; end < 2; ++end) {
              int v = e.vertex[end];
              if (validVertex(o, v) && !used[v]) {
                used[v] = 1;
                glVertex3fv(o.vertices[v].position.getValue());
              }
            }
          }
        }
        glEnd();
      }
      break;
    }
    case LIST_DIRECTIONS: {
      // A short cross at each vertex: k1's direction red, k2's blue, each
      // segment 0.6 of the mean edge length there, lifted off the surface.
      glBegin(GL_LINES);
      for (const WeObject& o : model->objects) {
        if (o.dir1.size() != o.vertices.size() || o.vertexEdgeStart.size() != o.vertices.size() + 1) continue;
        for (int v = 0; v < static_cast<int>(o.vertices.size()); ++v) {
          float sum = 0.0f;
          int count = 0;
          for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v); ++i) {
            const int edge = o.vertexEdges[i];
            if (edge < 0 || edge >= static_cast<int>(o.edges.size())) continue;
            int q = o.edges[edge].other(v);
            if (!validVertex(o, q)) continue;
            sum += (o.vertices[q].position - o.vertices[v].position).length();
            ++count;
          }
          if (count == 0 || !(sum > 0.0f) || !std::isfinite(sum)) continue;
          const float half = 0.3f * sum / count;
          const SbVec3f p = o.vertices[v].position + unitNormal(o.vertices[v]) * (0.05f * half);
          glColor3f(0.9f, 0.15f, 0.15f);
          glVertex3fv((p - o.dir1[v] * half).getValue());
          glVertex3fv((p + o.dir1[v] * half).getValue());
          glColor3f(0.15f, 0.3f, 0.9f);
          glVertex3fv((p - o.dir2[v] * half).getValue());
          glVertex3fv((p + o.dir2[v] * half).getValue());
        }
      }
      glEnd();
      break;
    }
    default: break;
  }
  glEndList();
  listValid[list] = true;
}

void SoWingedEdge::publishLines(SoState* state, SbWingedEdgeModel* model, int mode) {
  const int variant = mode == WE_SHOW_FEATURE_LINES ? 1 : 0;
  linePoints.clear();
  lineIndices.clear();
  std::vector<int32_t> pointOf;
  for (const WeObject& o : model->objects) {
    // One point per vertex record (object + index), shared by its edges.
    pointOf.assign(o.vertices.size(), -1);
    auto point = [&](int v) {
      if (pointOf[v] < 0) {
        pointOf[v] = static_cast<int32_t>(linePoints.size());
        linePoints.push_back(o.vertices[v].position);
      }
      return pointOf[v];
    };
    for (const WeEdge& e : o.edges) {
      if (!edgeInVariant(e, variant) || !validVertex(o, e.vertex[0]) || !validVertex(o, e.vertex[1])) continue;
      lineIndices.push_back(point(e.vertex[0]));
      lineIndices.push_back(point(e.vertex[1]));
      lineIndices.push_back(-1);
    }
  }
  SoCoordinateElement::set3(state, this, static_cast<int32_t>(linePoints.size()), linePoints.data());
  SoLineCoordinateIndexElement::set(state, this, static_cast<int32_t>(lineIndices.size()), lineIndices.data());
  // The new line set has no per-vertex values: no later node may read the
  // arrays of an earlier line set against these indices.
  SoLineThicknessElement::set(state, this, 0, nullptr);
  SoLineParameterizationElement::set(state, this, 0, nullptr);
  SoLineTaperElementHQ::set(state, this, 0, nullptr);
  SoLineTriangleElementHQ::set(state, this, 0, nullptr);
  SoLineDensityElementHQ::set(state, this, 0, nullptr);
}

void SoWingedEdge::callback(SoCallbackAction* action) {
  SoState* state = action->getState();
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(state);
  try {
    if (model && sendLines.getValue() && isLineMode(currentMode(model))) publishLines(state, model, currentMode(model));
  } catch (const std::exception& e) {
    printf("SoWingedEdge::callback: %s\n", e.what());
  }
  inherited::callback(action);
}

void SoWingedEdge::computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) {
  box.makeEmpty();
  // The box follows the model in the state: never keep it in a cache.
  SoCacheElement::invalidate(action->getState());
  SbWingedEdgeModel* model = SoWingedEdgeElement::get(action->getState());
  if (model) {
    for (const WeObject& object : model->objects)
      for (const WeVertex& v : object.vertices)
        if (finite(v.position)) box.extendBy(v.position);
  }
  center = box.isEmpty() ? SbVec3f(0, 0, 0) : box.getCenter();
}

void SoWingedEdge::generatePrimitives(SoAction*) {}
