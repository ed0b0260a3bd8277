#ifndef LINFOLD_SBLINECONCATENATOR_H
#define LINFOLD_SBLINECONCATENATOR_H

#include "lines/SbLineSet.h"

// Chains two-point lines (segments) that share point indices into long
// polylines. Lines of one or of three or more points are copied unchanged and
// come first. A point with three or more segments is a branch point: chains
// end there and never pass through it. A chain that comes back to its start
// is closed (its last index repeats its first). Every per-vertex array is
// carried along with its entry.
class SbLineConcatenator {
 public:
  static SbLineSet run(const SbLineSet& in);
};

#endif
