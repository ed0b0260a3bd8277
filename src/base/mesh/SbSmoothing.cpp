#include "mesh/SbSmoothing.h"

#include <cmath>
#include <cstdio>

void SbSmoothing::smooth(SbWingedEdgeModel& model, int steps, float speed) {
  if (steps <= 0) return;
  if (!std::isfinite(speed)) {
    std::printf("SbSmoothing::smooth: the speed is not a number; no smoothing\n");
    return;
  }
  std::printf("ping\n");
  for (WeObject& o : model.objects) smoothObject(o, steps, speed);
  std::printf("pong\n");
}

void SbSmoothing::smoothObject(WeObject& o, int steps, float speed) {
  const int nv = static_cast<int>(o.vertices.size());
  if (steps <= 0 || nv == 0) return;
  o.buildVertexEdges();
  std::vector<char> fixed(nv, 0);
  for (int v = 0; v < nv; ++v) {
    fixed[v] = (o.vertices[v].flags & WE_CORNER) || o.edgesAtVertexBegin(v) == o.edgesAtVertexEnd(v);
    for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v) && !fixed[v]; ++i)
      fixed[v] = o.edges[o.vertexEdges[i]].isBoundary();
  }
  std::vector<SbVec3f> next(nv);
  for (int s = 0; s < steps; ++s) {
    for (int v = 0; v < nv; ++v) {
      const SbVec3f& p = o.vertices[v].position;
      next[v] = p;
      if (fixed[v]) continue;
      SbVec3f sum(0, 0, 0);
      int n = 0;
      for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v); ++i) {
        const int w = o.edges[o.vertexEdges[i]].other(v);
        if (w == v) continue;
        sum += o.vertices[w].position;
        ++n;
      }
      if (n) next[v] = p + (sum / float(n) - p) * speed;
    }
    for (int v = 0; v < nv; ++v) o.vertices[v].position = next[v];
  }
}
