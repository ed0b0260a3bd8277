#ifndef LINFOLD_FINITE_H
#define LINFOLD_FINITE_H

#include <Inventor/SbVec2d.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

#include <cmath>
#include <cstddef>

// Whether every value is a number and not infinite: `n` values in a row, or
// the components of a vector. A single value is std::isfinite's job.
template <class T>
inline bool finite(const T* values, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!std::isfinite(values[i])) return false;
  return true;
}
inline bool finite(const SbVec2f& v) { return finite(v.getValue(), 2); }
inline bool finite(const SbVec2d& v) { return finite(v.getValue(), 2); }
inline bool finite(const SbVec3f& v) { return finite(v.getValue(), 3); }

#endif
