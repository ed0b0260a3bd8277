#ifndef LINFOLD_SOILLUMINATEDGEOMETRYELEMENT_H
#define LINFOLD_SOILLUMINATEDGEOMETRYELEMENT_H

#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

// Illuminated-geometry data per line vertex.
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoIlluminatedGeometryElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoIlluminatedGeometryElement);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, int32_t count, const float* values);
  // The innermost setting; count 0 and null when none was set.
  static const float* get(SoState* state, int32_t& count);

 protected:
  ~SoIlluminatedGeometryElement() override;

 private:
  int32_t count = 0;
  const float* values = nullptr;
};

#endif
