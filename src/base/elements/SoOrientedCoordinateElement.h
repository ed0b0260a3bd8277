#ifndef LINFOLD_SOORIENTEDCOORDINATEELEMENT_H
#define LINFOLD_SOORIENTEDCOORDINATEELEMENT_H

#include <Inventor/SbVec2f.h>
#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

// Orientation per line vertex; by default one vector (0, 1).
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoOrientedCoordinateElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoOrientedCoordinateElement);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, int32_t count, const SbVec2f* values);
  // The innermost setting; count 1 and one vector (0, 1) when none was set.
  static const SbVec2f* get(SoState* state, int32_t& count);

 protected:
  ~SoOrientedCoordinateElement() override;

 private:
  int32_t count = 1;
  const SbVec2f* values = nullptr;
};

#endif
