#include "lines/SoGenerateSilhouette.h"

#include <Inventor/SbViewVolume.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/system/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>
#include <unordered_map>

#include "core/Finite.h"
#include "core/ProgressMeter.h"
#include "core/StageTimes.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "elements/SoWingedEdgeElement.h"
#include "lines/LineSetState.h"
#include "lines/SbLineDepthCache.h"
#include "lines/SbLineVisibility.h"
#include "lines/SbSilhouetteRepair.h"
#include "lines/SoSilhouetteSwitches.h"

SO_NODE_SOURCE(SoGenerateSilhouette);

namespace {
// Both ends exist and lie at finite positions: no NaN line leaves the node.
bool usableEdge(const WeObject& object, const WeEdge& e) {
  const int nv = static_cast<int>(object.vertices.size());
  for (int v : e.vertex) {
    if (v < 0 || v >= nv) return false;
    const SbVec3f& p = object.vertices[v].position;
    if (!finite(p)) return false;
  }
  return true;
}
}  // namespace

void SoGenerateSilhouette::initClass() {
  SO_NODE_INIT_CLASS(SoGenerateSilhouette, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  SO_ENABLE(SoGLRenderAction, SoViewVolumeElement);
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewingMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoProjectionMatrixElement);
  SO_ENABLE(SoCallbackAction, SoWingedEdgeElement);
  SO_ENABLE(SoCallbackAction, SoViewVolumeElement);
  SO_ENABLE(SoCallbackAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewportRegionElement);
  SO_ENABLE(SoCallbackAction, SoViewportRegionElement);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
}

SoGenerateSilhouette::SoGenerateSilhouette() {
  SO_NODE_CONSTRUCTOR(SoGenerateSilhouette);
  SO_NODE_ADD_FIELD(doComputation, (TRUE));
  SO_NODE_ADD_FIELD(displaySilhouette, (TRUE));
  SO_NODE_ADD_FIELD(maximalError, (4.0f));
  SO_NODE_ADD_FIELD(displaySharpEdges, (TRUE));
  SO_NODE_ADD_FIELD(sharpEdgesAngle, (115.0f));
  SO_NODE_ADD_FIELD(sendLines, (TRUE));
  SO_NODE_ADD_FIELD(lineWidth, (1.0f));
  SO_NODE_ADD_FIELD(shapeKey, (-1));
  SO_NODE_ADD_FIELD(antialiasing, (TRUE));
  SO_NODE_ADD_FIELD(fillLineCracks, (TRUE));
}

SoGenerateSilhouette::~SoGenerateSilhouette() = default;

void SoGenerateSilhouette::doAction(SoAction* action) { run(action, false); }

void SoGenerateSilhouette::GLRender(SoGLRenderAction* action) {
  // The result depends on the camera and the library switches, not on fields.
  SoCacheElement::invalidate(action->getState());
  run(action, true);
}

void SoGenerateSilhouette::callback(SoCallbackAction* action) { run(action, false); }

void SoGenerateSilhouette::run(SoAction* action, bool withGL) {
  // The silhouettes' time, less the structures' (reported on their own).
  const double start = msecNow(), cpuStart = stagetimes::cpuNow();
  structureMs = structureCpuMs = 0.0;
  struct Report {
    const SoGenerateSilhouette& node;
    double start, cpuStart;
    ~Report() {
      stagetimes::add("silhouettes", msecNow() - start - node.structureMs,
                      stagetimes::cpuNow() - cpuStart - node.structureCpuMs);
    }
  } report{*this, start, cpuStart};
  try {
    if (!doComputation.getValue()) return;
    SoState* state = action->getState();
    if (!state->isElementEnabled(SoWingedEdgeElement::getClassStackIndex())) return;
    const SbWingedEdgeModel* model = SoWingedEdgeElement::get(state);
    if (!model || model->edgeCount() == 0) return;
    if (!sendLines.getValue() && !withGL) return;  // drawing needs GL
    SbSilhouetteView view;
    if (!currentView(state, view)) return;
    extract(*model, view);
    if (sendLines.getValue())
      sendEdges(state, *model);
    else
      drawEdges(state, *model);
  } catch (const std::exception& e) {
    printf("SoGenerateSilhouette::doAction: %s\n", e.what());
  }
}

bool SoGenerateSilhouette::currentView(SoState* state, SbSilhouetteView& view) {
  if (SoSilhouetteSwitches::cameraStatic && haveView) {
    view = lastView;
    return true;
  }
  if (!state->isElementEnabled(SoViewVolumeElement::getClassStackIndex())) return false;
  const SbViewVolume& volume = SoViewVolumeElement::get(state);
  const SbMatrix inverse = SoModelMatrixElement::get(state).inverse();
  if (volume.getProjectionType() == SbViewVolume::PERSPECTIVE) {
    view.perspective = true;
    inverse.multVecMatrix(volume.getProjectionPoint(), view.eye);
    for (int k = 0; k < 3; ++k)
      if (!std::isfinite(view.eye[k])) return false;
  } else {
    view.perspective = false;
    SbVec3f toViewer;
    inverse.multDirMatrix(-volume.getProjectionDirection(), toViewer);
    const float len = toViewer.length();
    if (!(len > 0.0f) || !std::isfinite(len)) return false;
    view.toViewer = toViewer / len;
  }
  lastView = view;
  haveView = true;
  haveScreen = false;
  if (state->isElementEnabled(SoViewportRegionElement::getClassStackIndex())) {
    const SbViewportRegion& region = SoViewportRegionElement::get(state);
    const SbVec2s origin = region.getViewportOriginPixels(), size = region.getViewportSizePixels();
    if (size[0] > 0 && size[1] > 0) {
      SbMatrix viewing, projection;
      volume.getMatrices(viewing, projection);
      lastScreen = SbWindowProjector(SoModelMatrixElement::get(state), viewing, projection, origin[0], origin[1],
                                     size[0], size[1]);
      haveScreen = true;
    }
  }
  return true;
}

void SoGenerateSilhouette::structureBuilt(double ms, double cpuMs) {
  stagetimes::add("silhouette structures", ms, cpuMs);
  structureMs += ms;
  structureCpuMs += cpuMs;
}

void SoGenerateSilhouette::extract(const SbWingedEdgeModel& model, const SbSilhouetteView& view) {
  edges.clear();
  const float error = maximalError.getValue();
  const int key = shapeKey.getValue();
  uint64_t print = 0;
  bool printed = false;
  auto fingerprint = [&]() {
    if (!printed) print = SbSilhouetteEdges::fingerprint(model), printed = true;
    return print;
  };
  auto current = [&](const Key& k, float err) {
    return k.valid && k.model == &model && k.maximalError == err && k.fingerprint == fingerprint();
  };
  if (displaySilhouette.getValue()) {
    if (view.perspective) {
      if (!current(perspectiveKey, error)) {
        const double built = msecNow(), cpuBuilt = stagetimes::cpuNow();
        perspective.build(model, error);
        structureBuilt(msecNow() - built, stagetimes::cpuNow() - cpuBuilt);
        perspectiveKey = {&model, fingerprint(), error, true};
        ++builds;
      }
      perspective.query(model, view.eye, key, edges);
    } else {
      if (!current(gaussKey, error)) {
        const double built = msecNow(), cpuBuilt = stagetimes::cpuNow();
        gaussMap.build(model, error);
        structureBuilt(msecNow() - built, stagetimes::cpuNow() - cpuBuilt);
        gaussKey = {&model, fingerprint(), error, true};
        ++builds;
      }
      gaussMap.query(model, view.toViewer, key, edges);
    }
    // Without a viewport the size of a zig-zag on the screen is unknown: no repair.
    if (SoSilhouetteSwitches::meshZigZagRepair && haveScreen)
      SbSilhouetteRepair::meshZigZag(model, lastScreen, SbSilhouetteRepair::kZigZagPixels, edges);
    if (SoSilhouetteSwitches::triangleChunkRepair) SbSilhouetteRepair::triangleChunks(model, edges);
  }
  if (displaySharpEdges.getValue()) {
    const float angle = sharpEdgesAngle.getValue();
    if (!current(sharpKey, 0.0f) || sharpAngle != angle || sharpShape != key) {
      const double built = msecNow(), cpuBuilt = stagetimes::cpuNow();
      SbSilhouetteEdges::sharpEdges(model, angle, key, sharp);
      structureBuilt(msecNow() - built, stagetimes::cpuNow() - cpuBuilt);
      sharpKey = {&model, fingerprint(), 0.0f, true};
      sharpAngle = angle;
      sharpShape = key;
    }
    std::vector<SbEdgeRef> both;
    both.reserve(edges.size() + sharp.size());
    std::set_union(edges.begin(), edges.end(), sharp.begin(), sharp.end(), std::back_inserter(both));
    edges.swap(both);
  }
}

void SoGenerateSilhouette::sendEdges(SoState* state, const SbWingedEdgeModel& model) {
  SbLineSet in;
  linestate::readLineSet(state, in);
  // The lines already present come first; the edges join after them.
  std::vector<SbVec3f> points = in.points;
  std::vector<int32_t> indices = in.indices;
  if (indices.empty()) points.clear();
  // One point per vertex record: keyed by the object's position and the
  // vertex's index in it (vertex numbers restart in every object).
  std::unordered_map<uint64_t, int32_t> pointOf;
  pointOf.reserve(edges.size() * 2);
  indices.reserve(indices.size() + edges.size() * 3);
  // An edge the model repeats (both sides of a seam whose vertices are not
  // shared, coincident parts) is sent once: twice, it doubles the ink of
  // the drawing and a plotter draws it twice.
  std::set<std::array<uint32_t, 6>> sent;
  auto bits = [](const SbVec3f& p, uint32_t* out) {
    for (int i = 0; i < 3; ++i) {
      const float x = p[i] + 0.0f;  // -0 and +0 alike
      std::memcpy(out + i, &x, sizeof x);
    }
  };
  for (const SbEdgeRef& r : edges) {
    const WeObject& object = model.objects[r.object];
    const WeEdge& e = object.edges[r.edge];
    if (!usableEdge(object, e)) continue;
    std::array<uint32_t, 6> key;
    bits(object.vertices[e.vertex[0]].position, key.data());
    bits(object.vertices[e.vertex[1]].position, key.data() + 3);
    if (std::lexicographical_compare(key.begin() + 3, key.end(), key.begin(), key.begin() + 3))
      std::rotate(key.begin(), key.begin() + 3, key.end());
    if (!sent.insert(key).second) continue;
    for (int k = 0; k < 2; ++k) {
      const uint64_t id = (uint64_t(uint32_t(r.object)) << 32) | uint32_t(e.vertex[k]);
      auto it = pointOf.emplace(id, static_cast<int32_t>(points.size()));
      if (it.second) points.push_back(object.vertices[e.vertex[k]].position);
      indices.push_back(it.first->second);
    }
    indices.push_back(-1);
  }
  outCoords.setValues(0, static_cast<int>(points.size()), points.data());
  outCoords.setNum(static_cast<int>(points.size()));
  outIndices.setValues(0, static_cast<int>(indices.size()), indices.data());
  outIndices.setNum(static_cast<int>(indices.size()));
  static const SbVec3f origin(0, 0, 0);
  SoCoordinateElement::set3(state, this, outCoords.getNum(), outCoords.getNum() ? outCoords.getValues(0) : &origin);
  SoLineCoordinateIndexElement::set(state, this, outIndices.getNum(),
                                    outIndices.getNum() ? outIndices.getValues(0) : nullptr);
  // The new index list carries no per-vertex values.
  SoLineThicknessElement::set(state, this, 0, nullptr);
  SoLineParameterizationElement::set(state, this, 0, nullptr);
  SoLineTaperElementHQ::set(state, this, 0, nullptr);
  SoLineTriangleElementHQ::set(state, this, 0, nullptr);
  SoLineDensityElementHQ::set(state, this, 0, nullptr);
}

void SoGenerateSilhouette::drawEdges(SoState* state, const SbWingedEdgeModel& model) {
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  if (vp[2] <= 0 || vp[3] <= 0) return;
  const SbWindowProjector projector(SoModelMatrixElement::get(state), SoViewingMatrixElement::get(state),
                                    SoProjectionMatrixElement::get(state), vp[0], vp[1], vp[2], vp[3]);
  SbLineDepthCache cache;
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  cache.reset(vp[0], vp[1], vp[2], vp[3], [](int x, int y, int w, int h, float* out) {
    glReadPixels(x, y, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, out);
  });
  visible.assign(edges.size(), {});
  for (size_t i = 0; i < edges.size(); ++i) {
    const WeObject& object = model.objects[edges[i].object];
    const WeEdge& e = object.edges[edges[i].edge];
    if (!usableEdge(object, e)) continue;
    SbLineVisibility::visibleIntervals(object.vertices[e.vertex[0]].position, object.vertices[e.vertex[1]].position,
                                       projector, cache, 2.0f, visible[i]);
  }
  glPopClientAttrib();

  glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_POINT_BIT | GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT |
               GL_HINT_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  if (antialiasing.getValue()) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
  }
  glColor3f(colour_[0], colour_[1], colour_[2]);
  const float width = std::isfinite(lineWidth.getValue()) ? std::max(lineWidth.getValue(), 0.1f) : 1.0f;
  glLineWidth(width);
  glPointSize(width);
  // The visibility pass decided what shows: draw over the surface.
  glDepthFunc(GL_ALWAYS);
  auto point = [&](const SbVec3f& p0, const SbVec3f& p1, float t) { return p0 + (p1 - p0) * t; };
  glBegin(GL_LINES);
  for (size_t i = 0; i < edges.size(); ++i) {
    const WeObject& object = model.objects[edges[i].object];
    const WeEdge& e = object.edges[edges[i].edge];
    for (const auto& iv : visible[i]) {
      const SbVec3f& p0 = object.vertices[e.vertex[0]].position;
      const SbVec3f& p1 = object.vertices[e.vertex[1]].position;
      glVertex3fv(point(p0, p1, iv.first).getValue());
      glVertex3fv(point(p0, p1, iv.second).getValue());
    }
  }
  glEnd();
  if (fillLineCracks.getValue()) {
    glBegin(GL_POINTS);
    for (size_t i = 0; i < edges.size(); ++i) {
      const WeObject& object = model.objects[edges[i].object];
      const WeEdge& e = object.edges[edges[i].edge];
      for (const auto& iv : visible[i]) {
        const SbVec3f& p0 = object.vertices[e.vertex[0]].position;
        const SbVec3f& p1 = object.vertices[e.vertex[1]].position;
        glVertex3fv(point(p0, p1, iv.first).getValue());
        glVertex3fv(point(p0, p1, iv.second).getValue());
      }
    }
    glEnd();
  }
  glPopAttrib();
}
