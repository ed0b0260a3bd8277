#ifndef LINFOLD_SOLINEARRAYELEMENT_H
#define LINFOLD_SOLINEARRAYELEMENT_H

#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>

// An array per line vertex (or per index) set by one node for the stages
// after it: a count and a pointer to values that belong to the node that set
// them and stay valid until that node's next traversal. The concrete
// elements give the values their type; a count is kept only with values.
class SoLineArrayElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_ABSTRACT_HEADER(SoLineArrayElement);

 public:
  static void initClass();
  void init(SoState* state) override;

 protected:
  ~SoLineArrayElement() override;
  static void setArray(SoState* state, int stackIndex, SoNode* node, int32_t count, const void* values);
  // The innermost setting; count 0 and null when none was set.
  static const void* getArray(SoState* state, int stackIndex, int32_t& count);

 private:
  int32_t count = 0;
  const void* values = nullptr;
};

#endif
