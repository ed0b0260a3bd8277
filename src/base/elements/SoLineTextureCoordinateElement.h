#ifndef LINFOLD_SOLINETEXTURECOORDINATEELEMENT_H
#define LINFOLD_SOLINETEXTURECOORDINATEELEMENT_H

#include <Inventor/SbVec2f.h>
#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

// Texture coordinate per line vertex.
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineTextureCoordinateElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoLineTextureCoordinateElement);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, int32_t count, const SbVec2f* values);
  // The innermost setting; count 0 and null when none was set.
  static const SbVec2f* get(SoState* state, int32_t& count);

 protected:
  ~SoLineTextureCoordinateElement() override;

 private:
  int32_t count = 0;
  const SbVec2f* values = nullptr;
};

#endif
