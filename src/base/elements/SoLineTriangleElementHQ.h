#ifndef LINFOLD_SOLINETRIANGLEELEMENTHQ_H
#define LINFOLD_SOLINETRIANGLEELEMENTHQ_H

#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

struct HeTriangle;

// The mesh triangle under each line vertex (one per index that is not -1).
// Holds a count and a pointer to an array that belongs to the node that set
// it and stays valid until that node's next traversal.
class SoLineTriangleElementHQ : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoLineTriangleElementHQ);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, int32_t count, const HeTriangle* const* values);
  // The innermost setting; count 0 and null when none was set.
  static const HeTriangle* const* get(SoState* state, int32_t& count);

 protected:
  ~SoLineTriangleElementHQ() override;

 private:
  int32_t count = 0;
  const HeTriangle* const* values = nullptr;
};

#endif
