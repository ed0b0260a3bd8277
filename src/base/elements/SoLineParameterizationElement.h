#ifndef LINFOLD_SOLINEPARAMETERIZATIONELEMENT_H
#define LINFOLD_SOLINEPARAMETERIZATIONELEMENT_H

#include "elements/SoLineArrayElement.h"

#include <cstdint>

// A parameter value per line vertex (one value per index that is not -1).
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineParameterizationElement : public SoLineArrayElement {
  typedef SoLineArrayElement inherited;
  SO_ELEMENT_HEADER(SoLineParameterizationElement);

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
  ~SoLineParameterizationElement() override;
};

#endif
