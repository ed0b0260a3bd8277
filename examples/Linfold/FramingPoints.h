#ifndef LINFOLD_FRAMINGPOINTS_H
#define LINFOLD_FRAMINGPOINTS_H

#include <Inventor/SbVec3f.h>
#include <Inventor/SbViewportRegion.h>

#include <vector>

class SoNode;

// The points of the triangles Coin makes of `geometry`, in world space and
// finite, each at least once: what a camera frames the model by. Coordinates
// no triangle uses are left out. Indexed strips, and indexed face sets whose
// polygons Coin fans without a tessellator (triangles, or any polygon under
// convex shape hints), are read from their indices, which spares Coin making
// every triangle and the vertex normals it computes for them first; with
// `readIndices` false every shape goes through Coin's triangles. NURBS
// surfaces need a current GL context to be tessellated.
std::vector<SbVec3f> framingPoints(SoNode* geometry, const SbViewportRegion& viewport, bool readIndices = true);

#endif
