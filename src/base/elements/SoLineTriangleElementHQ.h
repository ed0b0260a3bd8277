#ifndef LINFOLD_SOLINETRIANGLEELEMENTHQ_H
#define LINFOLD_SOLINETRIANGLEELEMENTHQ_H

#include "elements/SoLineArrayElement.h"

#include <cstdint>

struct HeTriangle;

// The mesh triangle under each line vertex (one per index that is not -1).
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineTriangleElementHQ : public SoLineArrayElement {
  typedef SoLineArrayElement inherited;
  SO_ELEMENT_HEADER(SoLineTriangleElementHQ);

 public:
  static void initClass();
  static void set(SoState* state, SoNode* node, int32_t count, const HeTriangle* const* values) {
    setArray(state, classStackIndex, node, count, values);
  }
  // The innermost setting; count 0 and null when none was set.
  static const HeTriangle* const* get(SoState* state, int32_t& count) {
    return static_cast<const HeTriangle* const*>(getArray(state, classStackIndex, count));
  }

 protected:
  ~SoLineTriangleElementHQ() override;
};

#endif
