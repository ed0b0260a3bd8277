#ifndef LINFOLD_SBWINGEDEDGEBUILDER_H
#define LINFOLD_SBWINGEDEDGEBUILDER_H

#include "mesh/SbWingedEdgeModel.h"

#include <Inventor/SbVec3f.h>

#include <vector>

// What linking found wrong with its input; every face is kept either way.
struct WeBuildReport {
  int faces = 0;                 // faces in the built object
  int droppedFaces = 0;          // polygons of fewer than three distinct corners, or naming a missing vertex
  int nonManifoldEdges = 0;      // vertex pairs shared by more than two faces, left unpaired
  int orientationConflicts = 0;  // edges left unpaired because the surface is not orientable
  int skippedStrips = 0;         // strips naming a coordinate past the end
  int skippedTriangles = 0;      // strip triangles with a repeated index or a non-finite corner
};

// Builds a linked winged-edge object from polygons. `positions` become the
// object's vertices in order; face f has the corners
// corners[faceStart[f] .. faceStart[f + 1]) in counter-clockwise order.
// Linking pairs the edges that two faces share, orients the faces
// consistently (flooding across paired edges), sets the wings, completes the
// boundary loops and computes the normals. An edge shared by more than two
// faces prints "Error: This is not a 2-manifold!" and stays unpaired; the face
// walks stay closed and no face is lost.
WeBuildReport buildWingedEdgeObject(WeObject& object, int number, std::vector<SbVec3f> positions,
                                    const std::vector<int>& faceStart, const std::vector<int>& corners);

// Adds one object made from triangle strips: `indices` holds the strips one
// after the other (without the -1 separators), `stripLengths` their lengths.
// Strips shorter than three add nothing; every second triangle of a strip is
// taken in reverse order; triangles with a repeated index are skipped (the
// alternation still advances). A strip naming a coordinate outside
// [0, numCoords) is skipped whole. Only coordinates that a triangle uses become
// vertices, in the order of their first use.
WeBuildReport addStrips(SbWingedEdgeModel& model, int objectNumber, const SbVec3f* coords, int numCoords,
                        const std::vector<int>& indices, const std::vector<int>& stripLengths);

#endif
