#ifndef LINFOLD_SBSMOOTHING_H
#define LINFOLD_SBSMOOTHING_H

#include "mesh/SbWingedEdgeModel.h"

// Laplacian smoothing of a winged-edge model.
class SbSmoothing {
 public:
  // `steps` Jacobi steps p += speed * (mean of the edge neighbours - p) on
  // every object. Vertices on a boundary edge, vertices flagged WE_CORNER and
  // vertices without edges stay where they are. Prints "ping" when it starts
  // and "pong" when it ends. Nothing happens (and nothing is printed) for
  // steps <= 0; a speed that is not a finite number is refused with a message.
  // Face and vertex normals are left for the caller to recompute.
  static void smooth(SbWingedEdgeModel& model, int steps, float speed);

  static void smoothObject(WeObject& object, int steps, float speed);
};

#endif
