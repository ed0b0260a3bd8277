#ifndef LINFOLD_SBSHARPEDGETEST_H
#define LINFOLD_SBSHARPEDGETEST_H

#include <Inventor/SbVec3f.h>

#include <cmath>
#include <limits>

// Whether the edge between two faces is a crease. Faces with unit normals a
// and b meet at an angle of 180 - acos(a . b) degrees; the edge is sharp when
// that angle is below `angleDegrees`, that is when
//   a . b < cos((180 - angleDegrees) pi / 180).
// At 180 every bend is sharp, at 0 none. Unit normals stored as floats agree
// only to about 1e-7, so the bound is lowered by kNormalRounding: faces in one
// plane do not turn sharp at 180, nor opposite faces at 0. An angle that is
// not a number makes no edge sharp. The dot product is taken in double.
class SbSharpEdgeTest {
 public:
  explicit SbSharpEdgeTest(float angleDegrees)
      : bound(std::isnan(angleDegrees) ? -std::numeric_limits<double>::infinity()
                                       : std::cos((180.0 - double(angleDegrees)) * M_PI / 180.0) - kNormalRounding) {}
  // The test that finds no edge sharp.
  static SbSharpEdgeTest none() { return SbSharpEdgeTest(std::numeric_limits<float>::quiet_NaN()); }

  bool sharp(const SbVec3f& a, const SbVec3f& b) const {
    return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2] < bound;
  }

  static constexpr double kNormalRounding = 1e-6;

 private:
  double bound;
};

#endif
