#ifndef LINFOLD_SOLINETHICKNESSELEMENT_H
#define LINFOLD_SOLINETHICKNESSELEMENT_H

#include "elements/SoLineArrayElement.h"

#include <cstdint>

// Stroke thickness per line vertex (one value per index that is not -1).
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineThicknessElement : public SoLineArrayElement {
  typedef SoLineArrayElement inherited;
  SO_ELEMENT_HEADER(SoLineThicknessElement);

 public:
  static void initClass();
  static void set(SoState* state, SoNode* node, int32_t count, const float* values) {
    setArray(state, classStackIndex, node, count, values);
  }
  // The innermost setting; count 0 and null when none was set.
  static const float* get(SoState* state, int32_t& count) {
    return static_cast<const float*>(getArray(state, classStackIndex, count));
  }

 protected:
  ~SoLineThicknessElement() override;
};

#endif
