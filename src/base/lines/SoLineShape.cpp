#include "lines/SoLineShape.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/bundles/SoMaterialBundle.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoMaterialBindingElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoNormalElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoTextureImageElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/system/gl.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTextureCoordinateElement.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoOrientedCoordinateElement.h"
#include "lines/SoSilhouetteSwitches.h"

SO_NODE_SOURCE(SoLineShape);

void SoLineShape::initClass() {
  SO_NODE_INIT_CLASS(SoLineShape, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoGLRenderAction, SoLineThicknessElement);
  SO_ENABLE(SoGLRenderAction, SoOrientedCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineTextureCoordinateElement);
  SO_ENABLE(SoGLRenderAction, SoLineParameterizationElement);
  SO_ENABLE(SoGLRenderAction, SoNormalElement);
  SO_ENABLE(SoGLRenderAction, SoMaterialBindingElement);
  SO_ENABLE(SoGLRenderAction, SoTextureImageElement);
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewingMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoProjectionMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewportRegionElement);
  SO_ENABLE(SoCallbackAction, SoCoordinateElement);
  SO_ENABLE(SoCallbackAction, SoLineCoordinateIndexElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoCoordinateElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoLineCoordinateIndexElement);
}

SoLineShape::SoLineShape() {
  SO_NODE_CONSTRUCTOR(SoLineShape);
  SO_NODE_ADD_FIELD(useSoLineParameterization, (FALSE));
}

SoLineShape::~SoLineShape() = default;

void SoLineShape::GLRender(SoGLRenderAction* action) {
  // What is drawn comes from elements that other nodes set each traversal.
  SoCacheElement::invalidate(action->getState());
  if (!shouldGLRender(action)) return;
  if (useSoLineParameterization.getValue())
    drawWithParameterization(action);
  else
    drawWithTextureCoordinates(action);
}

void SoLineShape::draw(SoGLRenderAction* action, bool fromParameterization) {
  SoState* state = action->getState();
  int32_t indexCount = 0, thicknessCount = 0;
  const int32_t* indices = SoLineCoordinateIndexElement::get(state, indexCount);
  const float* thickness = SoLineThicknessElement::get(state, thicknessCount);
  if (!indices || indexCount <= 2 || !thickness || thicknessCount <= 1) return;
  int entries = 0;
  for (int32_t i = 0; i < indexCount; ++i) entries += indices[i] >= 0;
  if (thicknessCount != entries) return;
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  const int32_t pointCount = coords->getNum();

  int32_t orientedCount = 0;
  const SbVec2f* oriented = SoOrientedCoordinateElement::get(state, orientedCount);
  const bool bands = oriented && orientedCount == entries && entries > 1;
  int32_t sCount = 0;
  const float* sParam = nullptr;
  const SbVec2f* sTex = nullptr;
  if (fromParameterization) {
    sParam = SoLineParameterizationElement::get(state, sCount);
    if (sCount != indexCount) sParam = nullptr;
  } else {
    sTex = SoLineTextureCoordinateElement::get(state, sCount);
    if (sCount != entries) sTex = nullptr;
  }
  const SoNormalElement* normalElement = SoNormalElement::getInstance(state);
  const bool normals = normalElement && normalElement->getNum() >= entries;
  const SoMaterialBindingElement::Binding binding = SoMaterialBindingElement::get(state);
  const bool perVertexMaterial =
      binding == SoMaterialBindingElement::PER_VERTEX || binding == SoMaterialBindingElement::PER_VERTEX_INDEXED;

  SbVec2s imageSize(0, 0);
  int components = 0;
  const unsigned char* image = SoTextureImageElement::getImage(state, 0, imageSize, components);
  const bool textured =
      image && imageSize[0] > 0 && imageSize[1] > 0 && !(bands && SoSilhouetteSwitches::lineStripMode);

  SoMaterialBundle mb(action);
  mb.sendFirst();
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  if (normals)
    glEnable(GL_LIGHTING);
  else
    glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  if (textured) {
    if (SoTextureImageElement::getModel(state, 0) == SoTextureImageElement::BLEND || components == 2 ||
        components == 4) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glEnable(GL_TEXTURE_2D);
  }

  auto sAt = [&](int32_t i, int entry) {
    float s = 0.0f;
    if (sParam)
      s = sParam[i];
    else if (sTex)
      s = sTex[entry][0];
    if (!(s >= 0.0f && s <= 1.0f)) printf("wrong glTexCoord2f(%d)(%.3f)\n", i, s);
    return s;
  };
  auto sendVertexAttributes = [&](int entry) {
    if (normals) glNormal3fv(normalElement->get(entry).getValue());
    if (perVertexMaterial) mb.send(entry, TRUE);
  };

  // Band geometry: object -> clip by the full matrix, offset in normalised
  // device coordinates, back to object space by its inverse.
  SbMatrix full = SoModelMatrixElement::get(state);
  full.multRight(SoViewingMatrixElement::get(state));
  full.multRight(SoProjectionMatrixElement::get(state));
  const SbMatrix inverse = full.inverse();
  const SbVec2s vpSize = SoViewportRegionElement::get(state).getViewportSizePixels();
  const float vw = std::max<float>(vpSize[0], 1.0f), vh = std::max<float>(vpSize[1], 1.0f);
  auto bandVertices = [&](const SbVec3f& p, const SbVec2f& direction, float t, SbVec3f& a, SbVec3f& b) {
    SbVec4f clip;
    full.multVecMatrix(SbVec4f(p[0], p[1], p[2], 1.0f), clip);
    if (!(clip[3] > 1e-12f)) return false;
    SbVec2f dir = direction;
    if (!(dir.length() > 0.0f) || !std::isfinite(dir.length())) dir.setValue(1.0f, 0.0f);
    dir.normalize();
    const SbVec2f side(-dir[1], dir[0]);
    const float w = clip[3];
    auto back = [&](float sign, SbVec3f& out) {
      SbVec4f c(clip[0] + sign * t * side[0] / vw * w, clip[1] + sign * t * side[1] / vh * w, clip[2], w);
      SbVec4f o;
      inverse.multVecMatrix(c, o);
      if (!(std::fabs(o[3]) > 1e-20f)) return false;
      out.setValue(o[0] / o[3], o[1] / o[3], o[2] / o[3]);
      return true;
    };
    return back(-1.0f, a) && back(1.0f, b);
  };

  const GLenum bandMode = SoSilhouetteSwitches::lineStripMode ? GL_LINE_STRIP : GL_TRIANGLE_STRIP;
  bool inStrip = false;
  int entry = 0;
  for (int32_t i = 0; i < indexCount; ++i) {
    const int32_t p = indices[i];
    if (p < 0) {
      if (inStrip) glEnd();
      inStrip = false;
      continue;
    }
    const int e = entry++;
    if (p >= pointCount) continue;
    const SbVec3f& point = coords->get3(p);
    if (!inStrip) {
      glBegin(bands ? bandMode : GL_LINE_STRIP);
      inStrip = true;
    }
    const float s = sAt(i, e);
    sendVertexAttributes(e);
    if (!bands) {
      if (textured) glTexCoord2f(s, 0.5f);
      glVertex3fv(point.getValue());
      continue;
    }
    SbVec3f a, b;
    if (!bandVertices(point, oriented[e], thickness[e], a, b)) continue;
    if (textured) glTexCoord2f(s, 0.0f);
    glVertex3fv(a.getValue());
    if (textured) glTexCoord2f(s, 1.0f);
    glVertex3fv(b.getValue());
  }
  if (inStrip) glEnd();
  glPopAttrib();
}

void SoLineShape::computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) {
  box.makeEmpty();
  SoState* state = action->getState();
  SoCacheElement::invalidate(state);
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  int32_t indexCount = 0;
  const int32_t* indices = state->isElementEnabled(SoLineCoordinateIndexElement::getClassStackIndex())
                               ? SoLineCoordinateIndexElement::get(state, indexCount)
                               : nullptr;
  for (int32_t i = 0; indices && i < indexCount; ++i)
    if (indices[i] >= 0 && indices[i] < coords->getNum()) box.extendBy(coords->get3(indices[i]));
  center = box.isEmpty() ? SbVec3f(0, 0, 0) : box.getCenter();
}

void SoLineShape::generatePrimitives(SoAction* action) {
  SoState* state = action->getState();
  if (!state->isElementEnabled(SoLineCoordinateIndexElement::getClassStackIndex())) return;
  int32_t indexCount = 0;
  const int32_t* indices = SoLineCoordinateIndexElement::get(state, indexCount);
  const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
  SoPrimitiveVertex a, b;
  for (int32_t i = 0; indices && i + 1 < indexCount; ++i) {
    const int32_t p = indices[i], q = indices[i + 1];
    if (p < 0 || q < 0 || p >= coords->getNum() || q >= coords->getNum()) continue;
    a.setPoint(coords->get3(p));
    b.setPoint(coords->get3(q));
    invokeLineSegmentCallbacks(action, &a, &b);
  }
}
