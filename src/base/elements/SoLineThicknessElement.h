#ifndef LINFOLD_SOLINETHICKNESSELEMENT_H
#define LINFOLD_SOLINETHICKNESSELEMENT_H

#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

// Stroke thickness per line vertex (one value per index that is not -1).
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineThicknessElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoLineThicknessElement);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, int32_t count, const float* values);
  // The innermost setting; count 0 and null when none was set.
  static const float* get(SoState* state, int32_t& count);

 protected:
  ~SoLineThicknessElement() override;

 private:
  int32_t count = 0;
  const float* values = nullptr;
};

#endif
