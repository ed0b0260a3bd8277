#include "elements/SoLineMergerElementHQ.h"

#include <Inventor/misc/SoState.h>

#include <algorithm>

SO_ELEMENT_SOURCE(SoLineMergerElementHQ);

void SoLineMergerElementHQ::initClass() { SO_ELEMENT_INIT_CLASS(SoLineMergerElementHQ, inherited); }

SoLineMergerElementHQ::~SoLineMergerElementHQ() {}

void SoLineMergerElementHQ::init(SoState* state) {
  inherited::init(state);
  clear();
}

void SoLineMergerElementHQ::push(SoState* state) {
  inherited::push(state);
  // Element instances are reused between traversals: start from the
  // enclosing set, not from whatever this depth held last time.
  auto* below = static_cast<const SoLineMergerElementHQ*>(getNextInStack());
  if (below) {
    lines = below->lines;
    stored = below->stored;
  } else {
    clear();
  }
}

void SoLineMergerElementHQ::clear() {
  lines.clear();
  stored = 0;
}

void SoLineMergerElementHQ::set(SoState* state, SoNode* node, int32_t coordCount, const SbVec3f* coords,
                                int32_t indexCount, const int32_t* indices, int32_t valueCount, const float* thickness,
                                const float* density) {
  SoLineMergerElementHQ* element = getWritable(state, node);
  if (!element) return;
  element->clear();
  if (coords && coordCount > 0) element->lines.points.assign(coords, coords + coordCount);
  if (indices && indexCount > 0) element->lines.indices.assign(indices, indices + indexCount);
  element->stored = static_cast<int32_t>(element->lines.indices.size());
  if (thickness && valueCount > 0) element->lines.thickness.assign(thickness, thickness + valueCount);
  if (density && valueCount > 0) element->lines.density.assign(density, density + valueCount);
}

SoLineMergerElementHQ* SoLineMergerElementHQ::getWritable(SoState* state, SoNode* node) {
  return static_cast<SoLineMergerElementHQ*>(getElement(state, classStackIndex, node));
}

const SoLineMergerElementHQ* SoLineMergerElementHQ::get(SoState* state) {
  return static_cast<const SoLineMergerElementHQ*>(getConstElement(state, classStackIndex));
}

int32_t SoLineMergerElementHQ::storedPrefix(SoState* state, const int32_t* indices, int32_t indexCount) {
  if (!state || !indices || indexCount <= 0 || !state->isElementEnabled(classStackIndex)) return -1;
  const SoLineMergerElementHQ* store = get(state);
  // The restoring merger publishes the store's own array: the same address
  // and length mean no stage has replaced the set since.
  if (!store || store->isEmpty() || store->indices().data() != indices ||
      static_cast<int32_t>(store->indices().size()) != indexCount)
    return -1;
  return std::min(store->stored, indexCount);
}
