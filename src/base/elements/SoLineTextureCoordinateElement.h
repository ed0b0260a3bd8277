#ifndef LINFOLD_SOLINETEXTURECOORDINATEELEMENT_H
#define LINFOLD_SOLINETEXTURECOORDINATEELEMENT_H

#include <Inventor/SbVec2f.h>
#include "elements/SoLineArrayElement.h"

#include <cstdint>

// Texture coordinate per line vertex.
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineTextureCoordinateElement : public SoLineArrayElement {
  typedef SoLineArrayElement inherited;
  SO_ELEMENT_HEADER(SoLineTextureCoordinateElement);

 public:
  static void initClass();
  static void set(SoState* state, SoNode* node, int32_t count, const SbVec2f* values) {
    setArray(state, classStackIndex, node, count, values);
  }
  // The innermost setting; count 0 and null when none was set.
  static const SbVec2f* get(SoState* state, int32_t& count) {
    return static_cast<const SbVec2f*>(getArray(state, classStackIndex, count));
  }

 protected:
  ~SoLineTextureCoordinateElement() override;
};

#endif
