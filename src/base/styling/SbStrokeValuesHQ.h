#ifndef LINFOLD_SBSTROKEVALUESHQ_H
#define LINFOLD_SBSTROKEVALUESHQ_H

#include <Inventor/SbLinear.h>

#include <cstdint>
#include <vector>

#include "lines/SbLineSetView.h"
#include "styling/LineSthScalarEngineHQ.h"

class SbCurvatureHQ;
struct HeTriangle;

// One value per point of a stroke set (the line-set convention: point
// indices in runs ended by -1, one value per index that is not -1), from a
// constant, a shading quantity or a formula, and the ways of combining it
// with earlier values. Shared by the densifier and the thickener; no GL and
// no traversal state.
class SbStrokeValuesHQ {
 public:
  enum Method { PARSER = 0, CONSTANT = 1, CURVATURE = 2, DEPTH = 3, LIGHT = 4, RIM = 5 };
  enum Apply { REPLACE = 0, ADD = 1, SUB = 2, MUL = 3, SCREEN = 4, MIN = 5, MAX = 6 };

  // The stroke set and the scene around it. A null face, or an entry that
  // names no point, makes that point's surface quantities 0.
  struct Input {
    // The strokes with their faces (triangles), taper and family marks;
    // no family marks: one family.
    SbLineSetView lines;
    float crossStart = 0.4f;  // see twoFamilies()
    float crossFull = 0.5f;
    const SbCurvatureHQ* curvature = nullptr;       // null: no curvature record
    SbMatrix modelMatrix = SbMatrix::identity();    // object to world
    SbMatrix viewingMatrix = SbMatrix::identity();  // world to eye
    SbViewVolume viewVolume;                        // for depth, light and view directions
  };

  // r = apply(e, v) for the Apply value `apply`; e for an unknown value.
  static float combine(int apply, float e, float v);

  // The value of a point of two-family hatching (family 0: the first
  // family, 1: the cross family, between: a mix), from the value v asked for
  // there. Up to `start` the first family alone carries v and the cross
  // family nothing. From `start` to `full` both families grow together: the
  // first one from `start` to 1 and the cross one from 0 to 1, so that the
  // ink of the two at `full` is the ink of two full families, more than one
  // can give; above `full` both are at max(v, 1). `full` at or below
  // `start` switches the cross family on at `start` at once; a negative
  // `start` leaves v to both families (for a node that scales or adds to an
  // earlier node's values, which has split them already).
  static float twoFamilies(float v, float family, float start, float full);

  // Computes v for every stroke point into `values` (resized to the number
  // of stroke points), `value` being the constant or factor; with family
  // marks, through twoFamilies(). Returns false
  // when there is no result: no points or no indices, CURVATURE (or a
  // formula reading curvature) without a curvature record, an unknown
  // method. For PARSER the engine must already hold the parsed formula.
  static bool compute(const Input& input, int method, float value, const LineSthScalarEngineHQ& engine,
                      std::vector<float>& values);

  // Directions from the view volume's matrix M (row i, column j): the
  // viewing direction normalise(-M[0][2], -M[1][2], -M[2][2]); the light
  // direction up - right - back of the camera's unit axes (from the upper
  // left, 54.7 degrees off the viewing direction), whatever the volume's
  // size, shape or depth range.
  static SbVec3f viewDirection(const SbViewVolume& volume);
  static SbVec3f lightDirection(const SbViewVolume& volume);
};

#endif
