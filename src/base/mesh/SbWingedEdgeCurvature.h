#ifndef LINFOLD_SBWINGEDEDGECURVATURE_H
#define LINFOLD_SBWINGEDEDGECURVATURE_H

#include <Inventor/SbColor.h>
#include <Inventor/SbVec3f.h>

#include "mesh/SbWingedEdgeModel.h"

// Principal curvatures of the winged-edge model's vertices and the curvature
// measures of the "Curvature Mode Settings" window, with their colour maps.
//
// Sign: a curvature is positive where the surface bends away from its normal,
// so a sphere with outward normals has k1 = k2 = 1/r.
class SbWingedEdgeCurvature {
 public:
  enum Mode {
    HEURISTIC = 1,
    MIN = 2,
    MAX = 3,
    MEAN = 4,
    GAUSS = 5,
    MAX_ABSOLUTE = 6,
    MIN_ABSOLUTE = 7,
    MIN_MAX_SEPARATELY = 8,
    SHAPE_INDEX = 9,
    MODIFIED_SHAPE_INDEX = 10,
    SCALED_MODIFIED_SHAPE_INDEX = 11,
    FOLD_INDEX = 12,
    SINGULARITY_INDEX = 13,
    VIEW_ANGLE = 22
  };

  // What mode 22 measures against, in the model's coordinates: a parallel
  // view looks along `direction`; a perspective view looks from `eye`.
  struct View {
    bool perspective = false;
    SbVec3f direction{0, 0, -1};
    SbVec3f eye{0, 0, 0};
  };

  // Fills k1, k2, dir1 and dir2 of every vertex of the object (one entry per
  // vertex). A vertex with too few neighbours for a fit, or without a normal,
  // gets zero curvature.
  static void estimate(WeObject& object);

  // The value of `mode` from the principal curvatures (k1 >= k2) for every
  // mode that depends on them alone (2-7, 9-13); 0 for any other mode.
  // `threshold` is the relative tolerance of the singularity index.
  static double measure(int mode, double k1, double k2, double threshold);

  // Mode 1 at vertex v: -(d . n) with d = mean face centroid around the
  // vertex minus its position, n the stored vertex normal (|d| when n is 0).
  static double heuristic(const WeObject& object, int v);

  // Mode 22 at vertex v: the angle between the vertex normal and the view.
  static double viewAngle(const WeObject& object, int v, const View& view);

  // Brings the model's curvature and measures up to date: re-estimates k1/k2
  // when curvatureValid is false (or the vertex count changed), re-evaluates
  // the measures when the model's curvature mode differs from measureMode
  // (always for mode 22, whose value follows the view). Sets the range and
  // curvatureValid; clears displayListsValid when anything was recomputed.
  // Returns true when it recomputed.
  static bool update(SbWingedEdgeModel& model, const View* view = nullptr);

  // Colour of value v over [lo, hi] (lo <= 0 <= hi): blue for negative, white
  // at 0, red for positive, each side scaled by its own end of the range.
  // A zero range gives white.
  static SbColor colour(float v, float lo, float hi);
  // "Min/Max Separately": k1 drives the red channel and k2 the blue channel,
  // each mapped linearly over the common range [lo, hi] of both.
  static SbColor colourSeparately(float k1, float k2, float lo, float hi);
  // Three classes: -1 below, +1 above, 0 within 5 % of the larger range end
  // around zero.
  static int threeClass(float v, float lo, float hi);
  static SbColor classColour(int cls);
};

#endif
