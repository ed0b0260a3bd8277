#include "mesh/SbSharpEdges.h"

#include <cmath>

int SbSharpEdges::mark(WeObject& o, float sharpAngleDegrees) {
  // Unit normals stored as floats agree only to about 1e-7: faces in one plane
  // must not turn sharp at 180 degrees, nor opposite faces at 0.
  const double t = std::cos((180.0 - double(sharpAngleDegrees)) * M_PI / 180.0) - kNormalRounding;
  for (WeVertex& v : o.vertices) v.flags &= static_cast<uint8_t>(~WE_CORNER);
  const int nv = static_cast<int>(o.vertices.size());
  const int nf = static_cast<int>(o.faces.size());
  int sharp = 0;
  for (WeEdge& e : o.edges) {
    e.flags &= static_cast<uint8_t>(~WE_SHARP);
    bool smooth = false;
    if (!e.isBoundary() && e.face[0] < nf && e.face[1] < nf) {
      const SbVec3f& a = o.faces[e.face[0]].normal;
      const SbVec3f& b = o.faces[e.face[1]].normal;
      smooth = double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2] >= t;
    }
    if (smooth) continue;
    e.flags |= WE_SHARP;
    ++sharp;
    for (int end = 0; end < 2; ++end)
      if (e.vertex[end] >= 0 && e.vertex[end] < nv) o.vertices[e.vertex[end]].flags |= WE_CORNER;
  }
  return sharp;
}
