#ifndef LINFOLD_SOFLOWFIELDELEMENTHQ_H
#define LINFOLD_SOFLOWFIELDELEMENTHQ_H

#include <Inventor/elements/SoReplacedElement.h>

class SbFlowFieldHQ;

// The current flow field; it belongs to the node that set it.
class SoFlowFieldElementHQ : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoFlowFieldElementHQ);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, SbFlowFieldHQ* value);
  // The innermost setting, or null.
  static SbFlowFieldHQ* get(SoState* state);

 protected:
  ~SoFlowFieldElementHQ() override;

 private:
  SbFlowFieldHQ* value = nullptr;
};

#endif
