#include "styling/SoLineShapeHQ.h"

#include <Inventor/C/glue/gl.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/system/gl.h>

#include <cmath>
#include <cstdio>
#include <exception>

#include "core/Finite.h"
#include "core/GLBatches.h"
#include "core/StageTimes.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "lines/LineSetState.h"
#include "styling/SbLineSettingsHQ.h"

SO_NODE_SOURCE(SoLineShapeHQ);

namespace {

// Alpha 0..255 for a value 0..1, truncated; NaN counts as 0.
GLubyte alphaOf(float value) {
  const float a = 255.0f * value;
  if (!(a > 0.0f)) return 0;
  if (a >= 255.0f) return 255;
  return static_cast<GLubyte>(a);
}

}  // namespace

void SoLineShapeHQ::initClass() {
  SO_NODE_INIT_CLASS(SoLineShapeHQ, SoShape, "Shape");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  SO_ENABLE(SoGLRenderAction, SoLineSettingsElementHQ);
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewingMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoProjectionMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewportRegionElement);
}

SoLineShapeHQ::SoLineShapeHQ() {
  SO_NODE_CONSTRUCTOR(SoLineShapeHQ);
  SO_NODE_ADD_FIELD(resolution, (2.0f));
  SO_NODE_ADD_FIELD(glLines, (FALSE));
  SO_NODE_ADD_FIELD(mode, (M_THICK_DENS));
  SO_NODE_DEFINE_ENUM_VALUE(Mode, M_BLACK);
  SO_NODE_DEFINE_ENUM_VALUE(Mode, M_THICK);
  SO_NODE_DEFINE_ENUM_VALUE(Mode, M_DENS);
  SO_NODE_DEFINE_ENUM_VALUE(Mode, M_THICK_DENS);
  SO_NODE_DEFINE_ENUM_VALUE(Mode, M_RESOLUTION);
  SO_NODE_SET_SF_ENUM_TYPE(mode, Mode);
}

SoLineShapeHQ::~SoLineShapeHQ() = default;

SoLineShapeHQ::Mode SoLineShapeHQ::effectiveMode(Mode requested, bool hasThickness, bool hasDensity) {
  switch (requested) {
    case M_THICK: return hasThickness ? M_THICK : M_BLACK;
    case M_DENS: return hasDensity ? M_DENS : M_BLACK;
    case M_THICK_DENS:
      if (hasThickness && hasDensity) return M_THICK_DENS;
      if (hasDensity) return M_DENS;
      return hasThickness ? M_THICK : M_BLACK;
    case M_RESOLUTION: return M_RESOLUTION;
    default: return M_BLACK;
  }
}

void SoLineShapeHQ::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  // What is drawn depends on the stroke set in the state, not on the fields.
  SoCacheElement::invalidate(state);
  StageTimer timer("ink");
  try {
    const SbLineSettingsHQ* settings = SoLineSettingsElementHQ::get(state);
    linestate::viewLineSet(state, lines, pointStore);
    if (!settings || lines.indexCount < 2 || lines.pointCount < 1) return;
    if (glLines.getValue()) {
      drawLines(lines);
      return;
    }
    ink.setSettings(settings);
    buildInk(state, lines);
    drawInk(action);
  } catch (const std::exception& e) {
    std::printf("SoLineShapeHQ::GLRender: %s\n", e.what());
  }
}

void SoLineShapeHQ::drawLines(const SbLineSetView& lines) {
  const float* thickness = lines.thickness;
  const float* density = lines.density;
  const Mode used = effectiveMode(static_cast<Mode>(mode.getValue()), thickness != nullptr, density != nullptr);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_COLOR_BUFFER_BIT | GL_LINE_BIT | GL_HINT_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor4ub(0, 0, 0, 255);
  glShadeModel(used == M_RESOLUTION ? GL_FLAT : GL_SMOOTH);
  if (lineSmoothing) {
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  } else {
    glDisable(GL_LINE_SMOOTH);
  }

  // Flushed after every kDrawBatch points or so, like the large array draws
  // (core/GLBatches.h): a software rasteriser holds all it was sent since the
  // last flush, 50 MB for the strokes of a million-triangle model.
  std::size_t unflushed = 0;
  lines.forEachLine([&](int32_t begin, int32_t end, int32_t firstVertex) {
    bool open = false;
    int inStrip = 0;
    for (int32_t k = begin; k < end; ++k) {
      const int32_t i = lines.indices[k];
      const int32_t v = firstVertex + (k - begin);
      if (!lines.hasPoint(i) || !finite(lines.points[i])) continue;
      const SbVec3f& p = lines.points[i];
      if (!open) {
        glBegin(GL_LINE_STRIP);
        open = true;
      }
      switch (used) {
        case M_THICK: glColor4ub(0, 0, 0, alphaOf(thickness[v])); break;
        case M_DENS: glColor4ub(0, 0, 0, alphaOf(density[v])); break;
        case M_THICK_DENS: glColor4ub(0, 0, 0, alphaOf(thickness[v] * density[v])); break;
        case M_RESOLUTION:
          if (inStrip % 2 == 0)
            glColor4ub(0, 0, 255, 255);
          else
            glColor4ub(255, 0, 0, 255);
          break;
        default: break;
      }
      ++inStrip;
      glVertex3f(p[0], p[1], p[2]);
    }
    if (open) glEnd();
    unflushed += static_cast<std::size_t>(inStrip);
    if (unflushed >= kDrawBatch) {
      glFlush();
      unflushed = 0;
    }
  });
  glPopAttrib();
}

void SoLineShapeHQ::buildInk(SoState* state, const SbLineSetView& lines) {
  const SbMatrix toClip =
      SoModelMatrixElement::get(state) * SoViewingMatrixElement::get(state) * SoProjectionMatrixElement::get(state);
  const SbViewportRegion& viewport = SoViewportRegionElement::get(state);
  const SbVec2s origin = viewport.getViewportOriginPixels();
  const SbVec2s size = viewport.getViewportSizePixels();
  ink.clear();
  ink.setResolution(resolution.getValue());
  ink.setProjection(toClip, SbVec2f(origin[0], origin[1]), SbVec2f(size[0], size[1]));
  ink.addLineSet(lines);

  // Every dot fan (centre, corners, first corner again) as triangles, so
  // that all dots go in one draw call.
  dotIndex.clear();
  for (const SbInkStrokeBuilderHQ::Dot& dot : ink.dots()) {
    const int32_t centre = dot.firstVertex;
    for (int32_t k = 1; k + 1 < dot.vertexCount; ++k) {
      dotIndex.push_back(centre);
      dotIndex.push_back(centre + k);
      dotIndex.push_back(centre + k + 1);
    }
  }
}

void SoLineShapeHQ::drawInk(SoGLRenderAction* action) {
  const std::vector<SbVec3f>& solid = ink.solidVertices();
  const std::vector<int32_t>& triangles = ink.solidTriangles();
  const std::vector<SbVec3f>& dotVertices = ink.dotVertices();
  if (triangles.empty() && dotIndex.empty()) return;
  SoState* state = action->getState();
  const SbViewportRegion& viewport = SoViewportRegionElement::get(state);
  const SbVec2s origin = viewport.getViewportOriginPixels();
  const SbVec2s size = viewport.getViewportSizePixels();

  // Plain client-side arrays: no buffer object may be bound while they are used.
  const cc_glglue* glue = cc_glglue_instance(static_cast<int>(action->getCacheContext()));
  const bool buffers = glue && cc_glglue_has_vertex_buffer_object(glue);
  GLint arrayBuffer = 0, elementBuffer = 0;
  if (buffers) {
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    if (arrayBuffer) cc_glglue_glBindBuffer(glue, GL_ARRAY_BUFFER, 0);
    if (elementBuffer) cc_glglue_glBindBuffer(glue, GL_ELEMENT_ARRAY_BUFFER, 0);
  }

  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT | GL_COLOR_BUFFER_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  // The hidden-line remover has already cut what the surface hides; the ink
  // lies on the surface and would fight it for depth.
  glDisable(GL_DEPTH_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColor4ub(0, 0, 0, 255);

  // Pixels: x right, y up, z the window depth 0..1.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(origin[0], origin[0] + size[0], origin[1], origin[1] + size[1], 0.0, -1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (!triangles.empty()) {
    glVertexPointer(3, GL_FLOAT, sizeof(SbVec3f), solid.data());
    drawTriangleBatches(triangles.data(), triangles.size());
  }
  if (!dotIndex.empty()) {
    glVertexPointer(3, GL_FLOAT, sizeof(SbVec3f), dotVertices.data());
    drawTriangleBatches(dotIndex.data(), dotIndex.size());
  }

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
  if (buffers) {
    if (arrayBuffer) cc_glglue_glBindBuffer(glue, GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
    if (elementBuffer) cc_glglue_glBindBuffer(glue, GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(elementBuffer));
  }
}

void SoLineShapeHQ::computeBBox(SoAction*, SbBox3f& box, SbVec3f& center) {
  box.makeEmpty();
  center.setValue(0, 0, 0);
}

void SoLineShapeHQ::generatePrimitives(SoAction*) {}
