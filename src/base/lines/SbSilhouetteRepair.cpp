#include "lines/SbSilhouetteRepair.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {
inline uint64_t key(int object, int index) { return (uint64_t(uint32_t(object)) << 32) | uint32_t(index); }
}  // namespace

void SbSilhouetteRepair::meshZigZag(const SbWingedEdgeModel& model, std::vector<SbEdgeRef>& edges) {
  std::unordered_set<uint64_t> inSet;
  inSet.reserve(edges.size() * 2);
  for (const SbEdgeRef& r : edges) inSet.insert(key(r.object, r.edge));
  // Faces beside the silhouette.
  std::unordered_set<uint64_t> faces;
  for (const SbEdgeRef& r : edges) {
    const WeObject& object = model.objects[r.object];
    const WeEdge& e = object.edges[r.edge];
    for (int f : e.face)
      if (f >= 0 && f < static_cast<int>(object.faces.size())) faces.insert(key(r.object, f));
  }
  // Flipping a face toggles the silhouette state of each of its inner edges
  // (state = facing of one side XOR facing of the other); decisions use the
  // original set, toggles are counted with parity.
  std::unordered_map<uint64_t, int> toggles;
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
    for (int e : faceEdges)
      if (e >= 0 && e < static_cast<int>(object.edges.size()) && SbSilhouetteEdges::hasTwoValidFaces(object, object.edges[e]))
        toggles[key(o, e)] ^= 1;
  }
  for (const auto& t : toggles) {
    if (!t.second) continue;
    if (!inSet.erase(t.first)) inSet.insert(t.first);
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
