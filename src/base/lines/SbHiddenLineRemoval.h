#ifndef LINFOLD_SBHIDDENLINEREMOVAL_H
#define LINFOLD_SBHIDDENLINEREMOVAL_H

#include "lines/SbLineSet.h"
#include "lines/SbLineVisibility.h"

class SbLineDepthCache;

// Cuts every polyline of a line set into its visible runs
// (SbLineVisibility per segment; a run goes on across a vertex when both
// segments are visible there). Run ends are interpolated on their segment,
// with every per-vertex array; every output vertex gets its own point. The
// output always has parameters: the input's, or, when it has none, the
// position along the input line by length, from 0 to 1.
class SbHiddenLineRemoval {
 public:
  static SbLineSet run(const SbLineSet& in, const SbWindowProjector& projector, SbLineDepthCache& cache,
                       float maxPixels);
};

#endif
