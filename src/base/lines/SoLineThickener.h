#ifndef LINFOLD_SOLINETHICKENER_H
#define LINFOLD_SOLINETHICKENER_H

#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>

#include <vector>

#include "lines/SoLineModifier.h"

// Gives every line vertex a stroke thickness (SoLineThicknessElement, one
// value per index entry that is not -1): amplitude; for
// CONSTANT_TEXTURE_HEIGHT amplitude times the current texture's height in
// texels; for DEPTH amplitude / d, with d the eye-space depth (OBJECT_BASED)
// or the depth normalised between the near and far planes (PIXEL_BASED), and
// 0 where d < 1e-5 (SCREEN_BASED keeps amplitude). Thickness already in the
// state is added to. CONSTANT_TEXTURE_WIDTH is treated like CONSTANT.
class SoLineThickener : public SoLineModifier {
  typedef SoLineModifier inherited;
  SO_NODE_HEADER(SoLineThickener);

 public:
  enum ThickenMethod { CONSTANT = 0, CONSTANT_TEXTURE_WIDTH = 1, CONSTANT_TEXTURE_HEIGHT = 2, DEPTH = 3 };

  static void initClass();
  SoLineThickener();

  SoSFFloat amplitude;
  SoSFEnum thickenMethod;

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLineThickener() override;

 private:
  std::vector<float> thickness;
};

#endif
