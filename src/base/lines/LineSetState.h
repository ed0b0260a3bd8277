#ifndef LINFOLD_LINESETSTATE_H
#define LINFOLD_LINESETSTATE_H

#include <Inventor/elements/SoCoordinateElement.h>

#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/SbLineSet.h"
#include "lines/SbLineSetView.h"

class SoNode;
class SoState;

// Moving a line set between the traversal state and an SbLineSet.
namespace linestate {

// Enables, for the render and callback actions, every element that
// readLineSet, viewLineSet and publishLineSet touch. Call from a node's initClass().
#define LINFOLD_ENABLE_LINE_SET_ELEMENTS(action)    \
  SO_ENABLE(action, SoCoordinateElement);           \
  SO_ENABLE(action, SoLineCoordinateIndexElement);  \
  SO_ENABLE(action, SoLineThicknessElement);        \
  SO_ENABLE(action, SoLineParameterizationElement); \
  SO_ENABLE(action, SoLineTaperElementHQ);          \
  SO_ENABLE(action, SoLineTriangleElementHQ);       \
  SO_ENABLE(action, SoLineDensityElementHQ);        \
  SO_ENABLE(action, SoLineFamilyElementHQ)

// Copies the state's line set into `out` and validates it (SbLineSet::validate):
// arrays of the wrong length are not read. Copying also makes the input
// independent of the arrays the caller is about to replace.
void readLineSet(SoState* state, SbLineSet& out);

// Points `out` at the state's line set without copying (see SbLineSetView
// for which per-vertex arrays it keeps). Coordinates that are not plain
// single-precision 3D points are converted into `pointStore`, which must
// live as long as the view.
void viewLineSet(SoState* state, SbLineSetView& out, std::vector<SbVec3f>& pointStore);

// Sets the coordinate, index and every per-vertex element to `set` (count 0
// for an empty array). `set` must stay alive until the node's next traversal.
void publishLineSet(SoState* state, SoNode* node, const SbLineSet& set);

}  // namespace linestate

#endif
