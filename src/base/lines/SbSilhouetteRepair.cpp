#include "lines/SbSilhouetteRepair.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace {
inline uint64_t key(int object, int index) { return (uint64_t(uint32_t(object)) << 32) | uint32_t(index); }

struct ScreenPoint {
  double x = 0.0, y = 0.0;
};

bool toScreen(const SbWindowProjector& screen, const SbVec3f& p, ScreenPoint& out) {
  double z;
  return screen.project(p, out.x, out.y, z);
}

double distanceToSegment(const ScreenPoint& p, const ScreenPoint& a, const ScreenPoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
  t = std::min(std::max(t, 0.0), 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Turning the face moves the silhouette from its silhouette edges onto its
// remaining inner edges: allowed when no corner lies further than maxPixels
// from those on the screen.
bool zigZagOnScreen(const WeObject& object, int o, const std::vector<int>& faceEdges,
                    const std::unordered_set<uint64_t>& inSet, const SbWindowProjector& screen, float maxPixels) {
  if (!(maxPixels >= 0.0f)) return false;
  std::vector<ScreenPoint> corners, straight;  // straight: pairs of segment ends
  const int nv = static_cast<int>(object.vertices.size());
  for (int e : faceEdges) {
    if (e < 0 || e >= static_cast<int>(object.edges.size())) return false;
    const WeEdge& edge = object.edges[e];
    ScreenPoint ends[2];
    for (int k = 0; k < 2; ++k) {
      if (edge.vertex[k] < 0 || edge.vertex[k] >= nv) return false;
      if (!toScreen(screen, object.vertices[edge.vertex[k]].position, ends[k])) return false;
      corners.push_back(ends[k]);
    }
    if (SbSilhouetteEdges::hasTwoValidFaces(object, edge) && !inSet.count(key(o, e))) {
      straight.push_back(ends[0]);
      straight.push_back(ends[1]);
    }
  }
  for (const ScreenPoint& c : corners) {
    double nearest = std::numeric_limits<double>::infinity();
    if (straight.empty()) {
      nearest = 0.0;  // a face alone: its size on the screen
      for (const ScreenPoint& d : corners) nearest = std::max(nearest, std::hypot(c.x - d.x, c.y - d.y));
    } else {
      for (size_t k = 0; k + 1 < straight.size(); k += 2)
        nearest = std::min(nearest, distanceToSegment(c, straight[k], straight[k + 1]));
    }
    if (!(nearest <= maxPixels)) return false;
  }
  return true;
}
}  // namespace

void SbSilhouetteRepair::meshZigZag(const SbWingedEdgeModel& model, const SbWindowProjector& screen, float maxPixels,
                                    std::vector<SbEdgeRef>& edges) {
  std::unordered_set<uint64_t> inSet;
  inSet.reserve(edges.size() * 2);
  for (const SbEdgeRef& r : edges) inSet.insert(key(r.object, r.edge));
  // Faces beside the silhouette, in a fixed order.
  std::vector<uint64_t> faces;
  for (const SbEdgeRef& r : edges) {
    const WeObject& object = model.objects[r.object];
    const WeEdge& e = object.edges[r.edge];
    for (int f : e.face)
      if (f >= 0 && f < static_cast<int>(object.faces.size())) faces.push_back(key(r.object, f));
  }
  std::sort(faces.begin(), faces.end());
  faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
  // Turning a face toggles the silhouette state of each of its inner edges
  // (state = facing of one side XOR facing of the other). Faces are judged
  // one after the other against the silhouette as the turns so far left it:
  // of two neighbouring teeth of one zig-zag only the first turns, which
  // straightens it; turning both at once would only move the zig-zag over.
  std::vector<int> faceEdges;
  for (uint64_t fk : faces) {
    const int o = static_cast<int>(fk >> 32), f = static_cast<int>(fk & 0xffffffffu);
    const WeObject& object = model.objects[o];
    if (object.faces[f].firstEdge < 0 || object.faces[f].firstEdge >= static_cast<int>(object.edges.size())) continue;
    faceEdges.clear();
    object.walkFace(f, [&](int, int e) { faceEdges.push_back(e); });
    int inner = 0, silhouette = 0;
    for (int e : faceEdges) {
      if (e < 0 || e >= static_cast<int>(object.edges.size())) continue;
      if (!SbSilhouetteEdges::hasTwoValidFaces(object, object.edges[e])) continue;
      ++inner;
      silhouette += inSet.count(key(o, e)) ? 1 : 0;
    }
    if (inner < 2 || 2 * silhouette <= inner) continue;
    if (!zigZagOnScreen(object, o, faceEdges, inSet, screen, maxPixels)) continue;
    for (int e : faceEdges) {
      if (e < 0 || e >= static_cast<int>(object.edges.size()) || !SbSilhouetteEdges::hasTwoValidFaces(object, object.edges[e]))
        continue;
      if (!inSet.erase(key(o, e))) inSet.insert(key(o, e));
    }
  }
  edges.clear();
  for (uint64_t k : inSet) edges.push_back({static_cast<int>(k >> 32), static_cast<int>(k & 0xffffffffu)});
  std::sort(edges.begin(), edges.end());
}

void SbSilhouetteRepair::triangleChunks(const SbWingedEdgeModel& model, std::vector<SbEdgeRef>& edges) {
  // Union-find over the edges' vertex records.
  std::unordered_map<uint64_t, int> vertexSlot;
  vertexSlot.reserve(edges.size() * 2);
  std::vector<int> parent;
  auto slot = [&](int o, int v) {
    auto it = vertexSlot.emplace(key(o, v), static_cast<int>(parent.size()));
    if (it.second) parent.push_back(static_cast<int>(parent.size()));
    return it.first->second;
  };
  auto find = [&](int x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  };
  std::vector<int> edgeSlot(edges.size());
  for (size_t i = 0; i < edges.size(); ++i) {
    const WeEdge& e = model.objects[edges[i].object].edges[edges[i].edge];
    const int a = find(slot(edges[i].object, e.vertex[0]));
    const int b = find(slot(edges[i].object, e.vertex[1]));
    parent[a] = b;
    edgeSlot[i] = b;
  }
  std::unordered_map<int, int> pieceSize;
  for (size_t i = 0; i < edges.size(); ++i) ++pieceSize[find(edgeSlot[i])];
  std::vector<SbEdgeRef> kept;
  kept.reserve(edges.size());
  for (size_t i = 0; i < edges.size(); ++i)
    if (pieceSize[find(edgeSlot[i])] > 3) kept.push_back(edges[i]);
  edges.swap(kept);
}
