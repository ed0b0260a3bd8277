#include "mesh/SbSharpEdges.h"

#include "core/SbSharpEdgeTest.h"

int SbSharpEdges::mark(WeObject& o, float sharpAngleDegrees) {
  const SbSharpEdgeTest test(sharpAngleDegrees);
  for (WeVertex& v : o.vertices) v.flags &= static_cast<uint8_t>(~WE_CORNER);
  const int nv = static_cast<int>(o.vertices.size());
  const int nf = static_cast<int>(o.faces.size());
  int sharp = 0;
  for (WeEdge& e : o.edges) {
    e.flags &= static_cast<uint8_t>(~WE_SHARP);
    bool smooth = false;
    if (!e.isBoundary() && e.face[0] < nf && e.face[1] < nf)
      smooth = !test.sharp(o.faces[e.face[0]].normal, o.faces[e.face[1]].normal);
    if (smooth) continue;
    e.flags |= WE_SHARP;
    ++sharp;
    for (int end = 0; end < 2; ++end)
      if (e.vertex[end] >= 0 && e.vertex[end] < nv) o.vertices[e.vertex[end]].flags |= WE_CORNER;
  }
  return sharp;
}
