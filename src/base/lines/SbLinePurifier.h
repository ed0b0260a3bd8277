#ifndef LINFOLD_SBLINEPURIFIER_H
#define LINFOLD_SBLINEPURIFIER_H

#include <Inventor/SbVec2d.h>

#include <vector>

#include "lines/SbLineSet.h"

// Screen-space clean-up of a line set. Every method keeps each line's first
// and last vertex (unless it drops the whole line) and works on the screen
// positions of the points (pixels); a point without a screen position (behind
// the eye) is always kept.
//
// SUBPIXEL_LENGTHS (threshold pixels): a vertex closer than the threshold to
//   the last kept one is dropped; the last vertex replaces a kept one that is
//   too close to it; a line whose vertices all lie within the threshold of its
//   first one is removed.
// ZIG_ZAGS (threshold degrees): where the line turns by more than the
//   threshold at two consecutive vertices in opposite senses (a Z), both
//   vertices are dropped.
// SHARP_ANGLES (threshold degrees): a vertex where the angle between its two
//   segments is below the threshold (a spike) is dropped.
// SHORT_SEGMENTS (threshold pixels): a vertex closer than the threshold to the
//   last kept one is dropped, unless it is the line's last vertex or the line
//   turns back there (negative dot product of the next direction with the
//   current segment); lines are never removed.
class SbLinePurifier {
 public:
  enum Method { SUBPIXEL_LENGTHS = 0, ZIG_ZAGS = 1, SHARP_ANGLES = 2, SHORT_SEGMENTS = 3 };
  // The threshold a negative value stands for.
  static float defaultThreshold(Method method);
  // screen[i], valid[i]: screen position of point i. New points for every
  // kept vertex; per-vertex arrays carried along.
  static SbLineSet run(const SbLineSet& in, const std::vector<SbVec2d>& screen, const std::vector<char>& valid,
                       Method method, float threshold);
};

#endif
