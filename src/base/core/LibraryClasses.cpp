#include "core/LibraryClasses.h"

#include <Inventor/SoType.h>

#include "elements/SoWingedEdgeElement.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"

namespace {
template <class T>
void registerClass() {
  if (T::getClassTypeId() == SoType::badType()) T::initClass();
}
}  // namespace

void initLibraryClasses() {
  // 1. Elements.
  registerClass<SoWingedEdgeElement>();

  // 2. Mesh and silhouette nodes.
  registerClass<SoGenerateWingedEdge>();
  registerClass<SoModifyWingedEdge>();  // after SoGenerateWingedEdge
  registerClass<SoWingedEdge>();

  // 3. HQ pipeline nodes.

  // 4. Line filters and outputs.
}
