#ifndef LINFOLD_SOHEMODELELEMENTHQ_H
#define LINFOLD_SOHEMODELELEMENTHQ_H

#include <Inventor/elements/SoReplacedElement.h>

class SbHeModelHQ;

// The current half-edge model; the model belongs to the node that set it.
class SoHeModelElementHQ : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoHeModelElementHQ);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, SbHeModelHQ* value);
  // The innermost setting, or null.
  static SbHeModelHQ* get(SoState* state);

 protected:
  ~SoHeModelElementHQ() override;

 private:
  SbHeModelHQ* value = nullptr;
};

#endif
