#ifndef LINFOLD_SOLINECOORDINATEINDEXELEMENT_H
#define LINFOLD_SOLINECOORDINATEINDEXELEMENT_H

#include "elements/SoLineArrayElement.h"

#include <cstdint>

// Polyline index list of the current line set: runs of point indices into
// the coordinate element, each run ended by -1.
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineCoordinateIndexElement : public SoLineArrayElement {
  typedef SoLineArrayElement inherited;
  SO_ELEMENT_HEADER(SoLineCoordinateIndexElement);

 public:
  static void initClass();
  static void set(SoState* state, SoNode* node, int32_t count, const int32_t* values) {
    setArray(state, classStackIndex, node, count, values);
  }
  // The innermost setting; count 0 and null when none was set.
  static const int32_t* get(SoState* state, int32_t& count) {
    return static_cast<const int32_t*>(getArray(state, classStackIndex, count));
  }

 protected:
  ~SoLineCoordinateIndexElement() override;
};

#endif
