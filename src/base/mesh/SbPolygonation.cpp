#include "mesh/SbPolygonation.h"

#include <cmath>
#include <unordered_map>

#include "mesh/SbWingedEdgeBuilder.h"

namespace {

// Corners of a face with, for each corner k, the edge from corner k - 1 to k.
void faceSteps(const WeObject& o, int f, std::vector<int>& verts, std::vector<int>& edges) {
  verts.clear();
  edges.clear();
  o.walkFace(f, [&](int v, int e) {
    verts.push_back(v);
    edges.push_back(e);
  });
}

// The boundary of `region` as one polygon, or false when it is not a single
// simple loop around a disk.
bool regionBoundary(const WeObject& o, const std::vector<int>& region, const std::vector<int>& regionOf, int id,
                    std::vector<int>& loop) {
  std::unordered_map<int, int> next;  // boundary step from -> to
  std::unordered_map<int, char> regionVertices, regionEdges;
  std::vector<int> verts, edges;
  for (int f : region) {
    faceSteps(o, f, verts, edges);
    const int n = static_cast<int>(verts.size());
    for (int k = 0; k < n; ++k) {
      const int from = verts[(k + n - 1) % n], to = verts[k];
      const WeEdge& e = o.edges[edges[k]];
      regionVertices[to] = 1;
      regionEdges[edges[k]] = 1;
      const int other = e.face[0] == f ? e.face[1] : e.face[0];
      if (other >= 0 && regionOf[other] == id) continue;
      if (!next.emplace(from, to).second) return false;  // boundary touches itself
    }
  }
  const long euler = static_cast<long>(regionVertices.size()) - static_cast<long>(regionEdges.size()) +
                     static_cast<long>(region.size());
  if (next.size() < 3 || euler != 1) return false;
  // Out-degrees are at most one, so the walk from any start meets distinct
  // vertices until it closes; one loop uses every boundary step.
  loop.clear();
  const int start = next.begin()->first;
  int v = start;
  do {
    loop.push_back(v);
    auto it = next.find(v);
    if (it == next.end() || loop.size() > next.size()) return false;
    v = it->second;
  } while (v != start);
  return loop.size() == next.size();
}

}  // namespace

int SbPolygonation::mergeLargeFaces(WeObject& o, float toleranceDegrees) {
  const int nf = static_cast<int>(o.faces.size());
  if (nf < 2 || !std::isfinite(toleranceDegrees) || toleranceDegrees < 0) return 0;
  const float cosTol = std::cos(toleranceDegrees * float(M_PI) / 180.0f);
  auto agree = [&](int a, int b) {
    const SbVec3f& na = o.faces[a].normal;
    const SbVec3f& nb = o.faces[b].normal;
    return na.sqrLength() > 0 && nb.sqrLength() > 0 && na.dot(nb) >= cosTol;
  };

  std::vector<int> regionOf(nf, -1);
  std::vector<std::vector<int>> regions;
  std::vector<int> verts, edges;
  for (int seed = 0; seed < nf; ++seed) {
    if (regionOf[seed] >= 0) continue;
    const int id = static_cast<int>(regions.size());
    regions.emplace_back(1, seed);
    regionOf[seed] = id;
    std::vector<int>& region = regions.back();
    for (size_t q = 0; q < region.size(); ++q) {
      const int f = region[q];
      faceSteps(o, f, verts, edges);
      for (int ei : edges) {
        const WeEdge& e = o.edges[ei];
        if (e.isBoundary()) continue;
        const int g = e.face[0] == f ? e.face[1] : e.face[0];
        if (regionOf[g] >= 0 || !agree(f, g) || !agree(seed, g)) continue;
        regionOf[g] = id;
        region.push_back(g);
      }
    }
  }
  if (static_cast<int>(regions.size()) == nf) return 0;

  // New polygon list: a merged region takes the place of its first face.
  std::vector<int> faceStart{0}, corners, loop;
  int removed = 0;
  for (const std::vector<int>& region : regions) {
    if (region.size() > 1 && regionBoundary(o, region, regionOf, regionOf[region[0]], loop)) {
      corners.insert(corners.end(), loop.begin(), loop.end());
      faceStart.push_back(static_cast<int>(corners.size()));
      removed += static_cast<int>(region.size()) - 1;
      continue;
    }
    for (int f : region) {
      o.faceCorners(f, verts);
      corners.insert(corners.end(), verts.begin(), verts.end());
      faceStart.push_back(static_cast<int>(corners.size()));
    }
  }
  if (removed == 0) return 0;

  // Drop the vertices that only the inside of merged regions used.
  const int nv = static_cast<int>(o.vertices.size());
  std::vector<char> usedBefore(nv, 0), usedAfter(nv, 0);
  for (const WeEdge& e : o.edges) {
    if (e.face[0] < 0 && e.face[1] < 0) continue;
    usedBefore[e.vertex[0]] = usedBefore[e.vertex[1]] = 1;
  }
  for (int c : corners) usedAfter[c] = 1;
  std::vector<int> newIndex(nv, -1);
  std::vector<SbVec3f> positions;
  for (int v = 0; v < nv; ++v) {
    if (usedBefore[v] && !usedAfter[v]) continue;
    newIndex[v] = static_cast<int>(positions.size());
    positions.push_back(o.vertices[v].position);
  }
  for (int& c : corners) c = newIndex[c];
  WeObject merged;
  buildWingedEdgeObject(merged, o.number, std::move(positions), faceStart, corners);
  o = std::move(merged);
  return removed;
}
