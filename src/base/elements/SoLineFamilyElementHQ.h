#ifndef LINFOLD_SOLINEFAMILYELEMENTHQ_H
#define LINFOLD_SOLINEFAMILYELEMENTHQ_H

#include "elements/SoLineArrayElement.h"

#include <cstdint>

// Stroke family per line vertex (one value per index that is not -1): 0 for
// a point of the first family of hatching strokes, 1 for one of the cross
// family that runs perpendicular to it; a point interpolated between the two
// (a cut between joined strokes of both families) lies in between. Empty
// when the strokes form one family. Holds a count and a pointer to an array
// that belongs to the node that set it and stays valid until that node's
// next traversal.
class SoLineFamilyElementHQ : public SoLineArrayElement {
  typedef SoLineArrayElement inherited;
  SO_ELEMENT_HEADER(SoLineFamilyElementHQ);

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
  ~SoLineFamilyElementHQ() override;
};

#endif
