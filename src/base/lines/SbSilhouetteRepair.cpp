#include "lines/SbSilhouetteRepair.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace {
inline uint64_t key(int object, int index) { return (uint64_t(uint32_t(object)) << 32) | uint32_t(index); }

double distanceToSegment(const SbVec3f& p, const SbVec3f& a, const SbVec3f& b) {
  const SbVec3f d = b - a;
  const double len2 = d.dot(d);
  double t = len2 > 0.0 ? (p - a).dot(d) / len2 : 0.0;
  t = std::min(std::max(t, 0.0), 1.0);
  return (p - (a + d * static_cast<float>(t))).length();
}

// The length in space that one pixel of the screen spans at p: the inverse
// of the largest stretch of the projection there (by differences along the
// three axes over a step h).
double pixelLength(const SbWindowProjector& screen, const SbVec3f& p, float h) {
  double x0, y0, z0;
  if (!screen.project(p, x0, y0, z0)) return -1.0;
  double j[2][3];
  for (int k = 0; k < 3; ++k) {
    SbVec3f q = p;
    q[k] += h;
    double x, y, z;
    if (!screen.project(q, x, y, z)) return -1.0;
    j[0][k] = (x - x0) / h;
    j[1][k] = (y - y0) / h;
  }
  // Largest eigenvalue of J J^T (2 x 2, symmetric).
  const double a = j[0][0] * j[0][0] + j[0][1] * j[0][1] + j[0][2] * j[0][2];
  const double b = j[0][0] * j[1][0] + j[0][1] * j[1][1] + j[0][2] * j[1][2];
  const double c = j[1][0] * j[1][0] + j[1][1] * j[1][1] + j[1][2] * j[1][2];
  const double largest = 0.5 * (a + c) + std::sqrt(0.25 * (a - c) * (a - c) + b * b);
  return largest > 0.0 && std::isfinite(largest) ? 1.0 / std::sqrt(largest) : -1.0;
}

// Turning the face moves the silhouette from its silhouette edges onto its
// remaining inner edges: allowed when no corner lies further than maxPixels
// pixel lengths from those, measured in space, not only on the screen (a
// face seen edge-on is thin on the screen, but turning it can move the line
// from its near side to its far side, behind the surface).
bool zigZagBelowPixels(const WeObject& object, int o, const std::vector<int>& faceEdges,
                       const std::unordered_set<uint64_t>& inSet, const SbWindowProjector& screen, float maxPixels) {
  if (!(maxPixels >= 0.0f)) return false;
  std::vector<SbVec3f> corners, straight;  // straight: pairs of segment ends
  const int nv = static_cast<int>(object.vertices.size());
  for (int e : faceEdges) {
    if (e < 0 || e >= static_cast<int>(object.edges.size())) return false;
    const WeEdge& edge = object.edges[e];
    if (edge.vertex[0] < 0 || edge.vertex[0] >= nv || edge.vertex[1] < 0 || edge.vertex[1] >= nv) return false;
    const SbVec3f& a = object.vertices[edge.vertex[0]].position;
    const SbVec3f& b = object.vertices[edge.vertex[1]].position;
    corners.push_back(a);
    corners.push_back(b);
    if (SbSilhouetteEdges::hasTwoValidFaces(object, edge) && !inSet.count(key(o, e))) {
      straight.push_back(a);
      straight.push_back(b);
    }
  }
  if (corners.empty()) return false;
  SbVec3f centre(0, 0, 0);
  double size = 0.0;
  for (const SbVec3f& c : corners) centre += c / static_cast<float>(corners.size());
  for (const SbVec3f& c : corners) size = std::max(size, double((c - centre).length()));
  const double scale = centre.length() + size;
  const double pixel =
      pixelLength(screen, centre, static_cast<float>(size > 1e-6 * scale ? size : 1e-6 * scale + 1e-30));
  if (!(pixel > 0.0)) return false;
  const double limit = maxPixels * pixel;
  for (const SbVec3f& c : corners) {
    double nearest = std::numeric_limits<double>::infinity();
    if (straight.empty()) {
      nearest = 0.0;  // a face alone: its size
      for (const SbVec3f& d : corners) nearest = std::max(nearest, double((c - d).length()));
    } else {
      for (size_t k = 0; k + 1 < straight.size(); k += 2)
        nearest = std::min(nearest, distanceToSegment(c, straight[k], straight[k + 1]));
    }
    if (!(nearest <= limit)) return false;
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
    if (!zigZagBelowPixels(object, o, faceEdges, inSet, screen, maxPixels)) continue;
    for (int e : faceEdges) {
      if (e < 0 || e >= static_cast<int>(object.edges.size()) ||
          !SbSilhouetteEdges::hasTwoValidFaces(object, object.edges[e]))
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
