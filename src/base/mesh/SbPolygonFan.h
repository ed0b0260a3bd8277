#ifndef LINFOLD_SBPOLYGONFAN_H
#define LINFOLD_SBPOLYGONFAN_H

#include <Inventor/SbVec3f.h>

// Where to fan a polygon of n corners from. A fan from corner a makes the
// triangles (a, a + k, a + k + 1); when two successive corners lie on a
// straight side through a (the corners a merged region of coplanar faces
// keeps along its sides), that triangle is flat and its diagonal runs along
// the side, where the polygon across that side may lay the same diagonal:
// an edge of four faces. Returns the first corner whose fan has no flat
// triangle, trying the first corner and then those that lie on a straight
// side (their fans never run along it); 0 when none has such a fan.
// `position(k)` gives corner k's position.
template <class Position>
int fanApex(int n, Position position) {
  if (n <= 3) return 0;
  auto flat = [&](int a, int b, int c) {
    const SbVec3f u = position(b) - position(a);
    const SbVec3f v = position(c) - position(a);
    const SbVec3f w = u.cross(v);
    // sin of the angle at a below 1e-5 (doubles: no overflow for large models)
    const double uu = double(u.dot(u)), vv = double(v.dot(v)), ww = double(w.dot(w));
    return !(ww > 1e-10 * uu * vv);
  };
  auto fanIsFlat = [&](int a) {
    for (int k = 1; k + 1 < n; ++k)
      if (flat(a, (a + k) % n, (a + k + 1) % n)) return true;
    return false;
  };
  if (!fanIsFlat(0)) return 0;
  // A bounded number of candidates keeps huge polygons linear.
  int tried = 0;
  for (int a = 1; a < n && tried < 8; ++a) {
    if (!flat(a, (a + n - 1) % n, (a + 1) % n)) continue;
    ++tried;
    if (!fanIsFlat(a)) return a;
  }
  return 0;
}

#endif
