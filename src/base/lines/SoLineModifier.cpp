#include "lines/SoLineModifier.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>

SO_NODE_SOURCE(SoLineModifier);

void SoLineModifier::initClass() {
  SO_NODE_INIT_CLASS(SoLineModifier, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoModelMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewingMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoProjectionMatrixElement);
  SO_ENABLE(SoGLRenderAction, SoViewportRegionElement);
  SO_ENABLE(SoCallbackAction, SoModelMatrixElement);
  SO_ENABLE(SoCallbackAction, SoViewingMatrixElement);
  SO_ENABLE(SoCallbackAction, SoProjectionMatrixElement);
  SO_ENABLE(SoCallbackAction, SoViewportRegionElement);
}

SoLineModifier::SoLineModifier() {
  SO_NODE_CONSTRUCTOR(SoLineModifier);
  SO_NODE_ADD_FIELD(modifyMethod, (PIXEL_BASED));
  SO_NODE_DEFINE_ENUM_VALUE(ModifyMethod, SCREEN_BASED);
  SO_NODE_DEFINE_ENUM_VALUE(ModifyMethod, PIXEL_BASED);
  SO_NODE_DEFINE_ENUM_VALUE(ModifyMethod, OBJECT_BASED);
  SO_NODE_SET_SF_ENUM_TYPE(modifyMethod, ModifyMethod);
}

SoLineModifier::~SoLineModifier() = default;

SbWindowProjector SoLineModifier::stateProjector(SoState* state) {
  const SbViewportRegion& region = SoViewportRegionElement::get(state);
  const SbVec2s origin = region.getViewportOriginPixels();
  const SbVec2s size = region.getViewportSizePixels();
  return SbWindowProjector(SoModelMatrixElement::get(state), SoViewingMatrixElement::get(state),
                           SoProjectionMatrixElement::get(state), origin[0], origin[1], size[0], size[1]);
}
