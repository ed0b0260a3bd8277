#ifndef LINFOLD_SOLINECOORDINATEINDEXELEMENT_H
#define LINFOLD_SOLINECOORDINATEINDEXELEMENT_H

#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

// Polyline index list of the current line set: runs of point indices into
// the coordinate element, each run ended by -1.
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineCoordinateIndexElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoLineCoordinateIndexElement);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, int32_t count, const int32_t* values);
  // The innermost setting; count 0 and null when none was set.
  static const int32_t* get(SoState* state, int32_t& count);

 protected:
  ~SoLineCoordinateIndexElement() override;

 private:
  int32_t count = 0;
  const int32_t* values = nullptr;
};

#endif
