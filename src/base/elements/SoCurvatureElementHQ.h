#ifndef LINFOLD_SOCURVATUREELEMENTHQ_H
#define LINFOLD_SOCURVATUREELEMENTHQ_H

#include <Inventor/elements/SoReplacedElement.h>

class SbCurvatureHQ;

// The current curvature estimate; it belongs to the node that set it.
class SoCurvatureElementHQ : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoCurvatureElementHQ);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, SbCurvatureHQ* value);
  // The innermost setting, or null.
  static SbCurvatureHQ* get(SoState* state);

 protected:
  ~SoCurvatureElementHQ() override;

 private:
  SbCurvatureHQ* value = nullptr;
};

#endif
