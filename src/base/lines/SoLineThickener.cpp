#include "lines/SoLineThickener.h"

#include <Inventor/SbViewVolume.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoTextureImageElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>

#include <cmath>
#include <cstdio>
#include <exception>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/LineSetState.h"

SO_NODE_SOURCE(SoLineThickener);

void SoLineThickener::initClass() {
  SO_NODE_INIT_CLASS(SoLineThickener, SoLineModifier, "SoLineModifier");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
  SO_ENABLE(SoGLRenderAction, SoViewVolumeElement);
  SO_ENABLE(SoCallbackAction, SoViewVolumeElement);
  SO_ENABLE(SoGLRenderAction, SoTextureImageElement);
  SO_ENABLE(SoCallbackAction, SoTextureImageElement);
}

SoLineThickener::SoLineThickener() {
  SO_NODE_CONSTRUCTOR(SoLineThickener);
  SO_NODE_ADD_FIELD(amplitude, (1.0f));
  SO_NODE_ADD_FIELD(thickenMethod, (CONSTANT));
  SO_NODE_DEFINE_ENUM_VALUE(ThickenMethod, CONSTANT);
  SO_NODE_DEFINE_ENUM_VALUE(ThickenMethod, CONSTANT_TEXTURE_WIDTH);
  SO_NODE_DEFINE_ENUM_VALUE(ThickenMethod, CONSTANT_TEXTURE_HEIGHT);
  SO_NODE_DEFINE_ENUM_VALUE(ThickenMethod, DEPTH);
  SO_NODE_SET_SF_ENUM_TYPE(thickenMethod, ThickenMethod);
}

SoLineThickener::~SoLineThickener() = default;

void SoLineThickener::doAction(SoAction* action) {
  try {
    SoState* state = action->getState();
    int32_t indexCount = 0;
    const int32_t* indices = SoLineCoordinateIndexElement::get(state, indexCount);
    const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
    const int32_t pointCount = coords ? coords->getNum() : 0;
    if (!indices || indexCount < 2 || pointCount < 2) return;
    const int method = thickenMethod.getValue();
    float value = amplitude.getValue();
    if (method == CONSTANT_TEXTURE_HEIGHT) {
      SbVec2s size(0, 0);
      int components = 0;
      const unsigned char* image = SoTextureImageElement::getImage(state, 0, size, components);
      value *= image ? float(size[1]) : 0.0f;
    }
    const bool depth = method == DEPTH && modifyMethod.getValue() != SCREEN_BASED;
    SbMatrix toEye = SbMatrix::identity();
    float nearDist = 0.0f, range = 1.0f;
    if (depth) {
      SoCacheElement::invalidate(state);  // follows the camera
      toEye = SoModelMatrixElement::get(state);
      toEye.multRight(SoViewingMatrixElement::get(state));
      const SbViewVolume& volume = SoViewVolumeElement::get(state);
      nearDist = volume.getNearDist();
      range = volume.getDepth();
    }
    int32_t oldCount = 0;
    const float* old = SoLineThicknessElement::get(state, oldCount);
    int entries = 0;
    for (int32_t i = 0; i < indexCount; ++i) entries += indices[i] >= 0;
    const bool add = old && oldCount == entries;
    thickness.clear();
    thickness.reserve(entries);
    for (int32_t i = 0; i < indexCount; ++i) {
      const int32_t p = indices[i];
      if (p < 0) continue;
      float t = value;
      if (depth) {
        float d = 0.0f;
        if (p < pointCount) {
          SbVec3f eye;
          toEye.multVecMatrix(coords->get3(p), eye);
          d = -eye[2];  // the eye looks down its -z axis
          if (modifyMethod.getValue() == PIXEL_BASED) d = range > 0.0f ? (d - nearDist) / range : 0.0f;
        }
        t = std::isfinite(d) && d >= 1e-5f ? amplitude.getValue() / d : 0.0f;
      }
      if (add) t += old[thickness.size()];
      thickness.push_back(t);
    }
    SoLineThicknessElement::set(state, this, static_cast<int32_t>(thickness.size()), thickness.data());
  } catch (const std::exception& e) {
    printf("SoLineThickener::doAction: %s\n", e.what());
  }
}

void SoLineThickener::GLRender(SoGLRenderAction* action) { doAction(action); }
void SoLineThickener::callback(SoCallbackAction* action) { doAction(action); }
