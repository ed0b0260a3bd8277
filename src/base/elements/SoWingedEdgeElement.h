#ifndef LINFOLD_SOWINGEDGEELEMENT_H
#define LINFOLD_SOWINGEDGEELEMENT_H

#include <Inventor/elements/SoReplacedElement.h>

class SbWingedEdgeModel;

// The current winged-edge model; the model belongs to the node that set it.
class SoWingedEdgeElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoWingedEdgeElement);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, SbWingedEdgeModel* model);
  static SbWingedEdgeModel* get(SoState* state);

 protected:
  ~SoWingedEdgeElement() override;

 private:
  SbWingedEdgeModel* model = nullptr;
};

#endif
