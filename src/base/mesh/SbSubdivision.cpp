// Subdivision schemes on winged-edge objects: Loop (Loop 1987), modified
// Butterfly (Zorin, Schroeder, Sweldens 1996), Catmull-Clark (1978) and
// Doo-Sabin (1978), with the boundary and crease rules of Hoppe et al. (1994)
// for Loop and Catmull-Clark, and red-green adaptive refinement.
//
// Every step reads the old object, computes the new positions and polygons,
// links them into a fresh object and carries the corner and sharp flags over.
#include "mesh/SbSubdivision.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

#include "mesh/SbPolygonFan.h"
#include "mesh/SbWingedEdgeBuilder.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Bytes a face costs, at the peak, in each stage that grows with the faces of
// the modified model and holds them at the same time as the others. Measured
// with linfold-render (hatching on) on the sample torus subdivided by Loop 3
// and 4 times (196,608 and 786,432 faces): the difference of peak resident
// memory over the difference of faces, stage by stage with the stages after it
// switched off, and the library stages alone in a callback action.
struct StageCost {
  const char* stage;
  double bytesPerFace;
};
constexpr StageCost kStageCosts[] = {
    {"winged-edge model, modified", 110.0},
    {"half-edge model", 250.0},
    {"curvature", 25.0},
    {"flow field", 20.0},
    {"streamliner (face frames, field corners, collider buckets)", 250.0},
    {"mesh display and silhouette search (OpenGL, Coin)", 215.0},
};
// A subdivision step holds its old and new object at once (about 195 bytes a
// new face), less than the later stages together, so the sum decides.
constexpr double sumOfCosts(int i = 0) {
  return i == int(sizeof kStageCosts / sizeof kStageCosts[0]) ? 0.0 : kStageCosts[i].bytesPerFace + sumOfCosts(i + 1);
}
constexpr double kBytesPerFace = sumOfCosts();

// A number from the first line of a file ("max" or missing: none).
double limitFromFile(const char* path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text.empty() || text[0] < '0' || text[0] > '9') return HUGE_VAL;
  return std::strtod(text.c_str(), nullptr);
}

// MemAvailable of /proc/meminfo in bytes; none when it cannot be read.
double availableMemory() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  double kilobytes = 0;
  std::string unit;
  while (in >> key >> kilobytes >> unit)
    if (key == "MemAvailable:") return kilobytes * 1024.0;
  return HUGE_VAL;
}

// Double-precision accumulator for weighted sums of positions.
struct Acc {
  double x = 0, y = 0, z = 0;
  void add(const SbVec3f& p, double w) {
    x += w * p[0];
    y += w * p[1];
    z += w * p[2];
  }
  SbVec3f vec() const { return SbVec3f(float(x), float(y), float(z)); }
};

// The old object read once: every face as a flat corner list, with the edge
// that leaves each corner towards the next one.
struct Topology {
  const WeObject& o;
  std::vector<int> start{0};  // corners of face f: [start[f], start[f + 1])
  std::vector<int> corner;
  std::vector<int> edgeOut;  // edge from corner k to the next corner of its face
  std::vector<char> crease;  // per edge: boundary or WE_SHARP

  explicit Topology(const WeObject& object) : o(object) {
    const int nf = static_cast<int>(o.faces.size());
    start.reserve(nf + 1);
    corner.reserve(o.edges.size() * 2);
    edgeOut.reserve(o.edges.size() * 2);
    std::vector<int> in;
    for (int f = 0; f < nf; ++f) {
      const size_t b = corner.size();
      in.clear();
      // The walk reports each corner with the edge it arrived on.
      o.walkFace(f, [&](int v, int e) {
        corner.push_back(v);
        in.push_back(e);
      });
      const size_t n = corner.size() - b;
      for (size_t k = 0; k < n; ++k) edgeOut.push_back(in[(k + 1) % n]);
      start.push_back(static_cast<int>(corner.size()));
    }
    crease.resize(o.edges.size());
    for (size_t e = 0; e < o.edges.size(); ++e) crease[e] = o.edges[e].isBoundary() || (o.edges[e].flags & WE_SHARP);
  }

  int faceCount() const { return static_cast<int>(start.size()) - 1; }
  int size(int f) const { return start[f + 1] - start[f]; }
  int next(int f, int k) const { return k + 1 < start[f + 1] ? k + 1 : start[f]; }
  int prev(int f, int k) const { return k > start[f] ? k - 1 : start[f + 1] - 1; }
  const SbVec3f& pos(int v) const { return o.vertices[v].position; }

  SbVec3f centroid(int f) const {
    Acc a;
    const int n = size(f);
    for (int k = start[f]; k < start[f + 1]; ++k) a.add(pos(corner[k]), 1.0 / n);
    return a.vec();
  }
  SbVec3f midpoint(int e) const { return (pos(o.edges[e].vertex[0]) + pos(o.edges[e].vertex[1])) * 0.5f; }
};

// How a vertex moves: smooth (interior rule), crease (two crease edges; the
// ends of those edges in a, b), or corner (stays in place).
enum VertexRule { V_SMOOTH, V_CREASE, V_CORNER };

VertexRule vertexRule(const Topology& t, int v, int& a, int& b) {
  const WeObject& o = t.o;
  const int begin = o.edgesAtVertexBegin(v), end = o.edgesAtVertexEnd(v);
  if (begin == end || (o.vertices[v].flags & WE_CORNER)) return V_CORNER;
  int creases = 0;
  bool boundary = false;
  a = b = -1;
  for (int i = begin; i < end; ++i) {
    const int e = o.vertexEdges[i];
    if (!t.crease[e]) continue;
    boundary = boundary || o.edges[e].isBoundary();
    (creases == 0 ? a : b) = o.edges[e].other(v);
    ++creases;
  }
  if (creases == 2) return V_CREASE;
  // A single sharp edge ending inside the surface (a dart) is smoothed over;
  // any other boundary configuration is a corner.
  if (creases == 0 || (creases == 1 && !boundary)) return V_SMOOTH;
  return V_CORNER;
}

// Links `positions` and the polygons into `object` in place of its old
// contents, keeps the first `keptFlags` vertex flags and marks the listed
// vertex pairs WE_SHARP. Views of the old object are invalid afterwards.
void rebuild(WeObject& object, std::vector<SbVec3f> positions, const std::vector<int>& start,
             const std::vector<int>& corners, int keptFlags, const std::vector<std::pair<int, int>>& sharp) {
  std::vector<uint8_t> flags(keptFlags);
  for (int v = 0; v < keptFlags; ++v) flags[v] = object.vertices[v].flags;
  const int number = object.number;
  object = WeObject();  // free the old records before the new ones are linked
  buildWingedEdgeObject(object, number, std::move(positions), start, corners);
  for (int v = 0; v < keptFlags && v < static_cast<int>(object.vertices.size()); ++v)
    object.vertices[v].flags = flags[v];
  for (const auto& s : sharp) {
    const int e = object.findEdge(s.first, s.second);
    if (e >= 0) object.edges[e].flags |= WE_SHARP;
  }
}

void ensureVertexEdges(WeObject& o) {
  if (o.vertexEdgeStart.size() != o.vertices.size() + 1) o.buildVertexEdges();
}

std::vector<SbVec3f> oldPositions(const WeObject& o, size_t extra) {
  std::vector<SbVec3f> p;
  p.reserve(o.vertices.size() + extra);
  for (const WeVertex& v : o.vertices) p.push_back(v.position);
  return p;
}

std::vector<std::pair<int, int>> sharpEdges(const WeObject& o) {
  std::vector<std::pair<int, int>> s;
  for (const WeEdge& e : o.edges)
    if (e.flags & WE_SHARP) s.emplace_back(e.vertex[0], e.vertex[1]);
  return s;
}

// Splits every polygon of more than three corners into a fan (see fanApex).
// Returns false when the object already holds only triangles.
bool triangulate(WeObject& o) {
  Topology t(o);
  bool polygons = false;
  for (int f = 0; f < t.faceCount() && !polygons; ++f) polygons = t.size(f) > 3;
  if (!polygons) return false;
  std::vector<int> start{0}, corners;
  corners.reserve(t.corner.size() * 2);
  for (int f = 0; f < t.faceCount(); ++f) {
    const int b = t.start[f], n = t.size(f);
    const int a = fanApex(n, [&](int k) { return o.vertices[t.corner[b + k]].position; });
    for (int k = 1; k + 1 < n; ++k) {
      corners.insert(corners.end(), {t.corner[b + a], t.corner[b + (a + k) % n], t.corner[b + (a + k + 1) % n]});
      start.push_back(static_cast<int>(corners.size()));
    }
  }
  rebuild(o, oldPositions(o, 0), start, corners, static_cast<int>(o.vertices.size()), sharpEdges(o));
  return true;
}

// ---------------------------------------------------------------- triangle schemes

// Triangle-mesh helpers shared by Loop, Butterfly and adaptive refinement.
struct TriangleMesh {
  const Topology& t;
  // Per edge side (2e + side): the face corner whose outgoing edge is e, or -1.
  std::vector<int> slot;

  bool allTriangles = true;  // face f then starts at corner 3f

  explicit TriangleMesh(const Topology& topo) : t(topo), slot(topo.o.edges.size() * 2, -1) {
    for (int f = 0; f < t.faceCount(); ++f) {
      allTriangles = allTriangles && t.start[f + 1] == 3 * (f + 1);
      if (t.size(f) != 3) continue;
      for (int k = t.start[f]; k < t.start[f + 1]; ++k) {
        const int e = t.edgeOut[k];
        // The first face runs an edge from its second vertex to its first.
        const int side = t.corner[k] == t.o.edges[e].vertex[1] ? 0 : 1;
        slot[2 * e + side] = k;
      }
    }
  }

  // Vertex opposite edge e in the triangle on `side`, or -1.
  int opposite(int e, int side) const {
    const int k = slot[2 * e + side];
    if (k < 0) return -1;
    const int f = faceOfSlot(k);
    return t.corner[t.next(f, t.next(f, k))];
  }
  int faceOfSlot(int k) const {
    if (allTriangles) return k / 3;
    return static_cast<int>(std::upper_bound(t.start.begin(), t.start.end(), k) - t.start.begin()) - 1;
  }

  // Neighbours of interior smooth vertex v in rotation order starting at
  // neighbour b; false when v touches a crease or its fan does not close.
  bool ring(int v, int b, std::vector<int>& out) const {
    const WeObject& o = t.o;
    const int valence = o.edgesAtVertexEnd(v) - o.edgesAtVertexBegin(v);
    for (int i = o.edgesAtVertexBegin(v); i < o.edgesAtVertexEnd(v); ++i)
      if (t.crease[o.vertexEdges[i]]) return false;
    out.clear();
    const int e0 = o.findEdge(v, b);
    if (e0 < 0) return false;
    int e = e0, w = b;
    for (int step = 0; step < valence; ++step) {
      out.push_back(w);
      const int side = o.edges[e].vertex[0] == v ? 1 : 0;  // side that runs v -> other
      const int k = slot[2 * e + side];
      if (k < 0) return false;
      const int f = faceOfSlot(k);
      // Triangle runs v -> w -> x; the edge x -> v leaves x.
      const int kx = t.next(f, t.next(f, k));
      const int x = t.corner[kx];
      const int ex = t.edgeOut[kx];
      if (ex == e0) return static_cast<int>(out.size()) == valence;
      e = ex;
      w = x;
    }
    return false;
  }
};

SbVec3f loopEdgePoint(const TriangleMesh& m, int e) {
  const Topology& t = m.t;
  const WeEdge& edge = t.o.edges[e];
  const int c = m.opposite(e, 0), d = m.opposite(e, 1);
  if (t.crease[e] || c < 0 || d < 0) return t.midpoint(e);
  Acc a;
  a.add(t.pos(edge.vertex[0]), 3.0 / 8);
  a.add(t.pos(edge.vertex[1]), 3.0 / 8);
  a.add(t.pos(c), 1.0 / 8);
  a.add(t.pos(d), 1.0 / 8);
  return a.vec();
}

// Butterfly weights s_j around an extraordinary vertex of valence K, with
// the special cases K = 3 and K = 4.
double butterflyWeight(int K, int j) {
  if (K == 3) return j == 0 ? 5.0 / 12 : -1.0 / 12;
  if (K == 4) return j == 0 ? 3.0 / 8 : j == 2 ? -1.0 / 8 : 0.0;
  return (0.25 + std::cos(2 * kPi * j / K) + 0.5 * std::cos(4 * kPi * j / K)) / K;
}

void addExtraordinary(const Topology& t, int v, const std::vector<int>& ring, double w, Acc& a) {
  const int K = static_cast<int>(ring.size());
  a.add(t.pos(v), 0.75 * w);
  for (int j = 0; j < K; ++j) a.add(t.pos(ring[j]), butterflyWeight(K, j) * w);
}

// Vertex across edge (x, y) from the triangle that runs x -> y, or -1.
int acrossEdge(const TriangleMesh& m, int x, int y) {
  const WeObject& o = m.t.o;
  const int e = o.findEdge(x, y);
  if (e < 0) return -1;
  // The side that runs x -> y is the first face when x is the second vertex.
  const int side = o.edges[e].vertex[1] == x ? 0 : 1;
  return m.opposite(e, 1 - side);
}

SbVec3f butterflyEdgePoint(const TriangleMesh& m, int e) {
  const Topology& t = m.t;
  const WeEdge& edge = t.o.edges[e];
  const int a = edge.vertex[0], b = edge.vertex[1];
  if (t.crease[e] || edge.isBoundary()) {
    // Four-point rule along the crease; a missing neighbour is reflected
    // (2a - b), which keeps straight creases straight.
    int a0, a1, b0, b1;
    SbVec3f pa = t.pos(a), pb = t.pos(b);
    SbVec3f qa = 2.0f * pa - pb, qb = 2.0f * pb - pa;
    if (vertexRule(t, a, a0, a1) == V_CREASE) qa = t.pos(a0 == b ? a1 : a0);
    if (vertexRule(t, b, b0, b1) == V_CREASE) qb = t.pos(b0 == a ? b1 : b0);
    Acc acc;
    acc.add(qa, -1.0 / 16);
    acc.add(pa, 9.0 / 16);
    acc.add(pb, 9.0 / 16);
    acc.add(qb, -1.0 / 16);
    return acc.vec();
  }
  std::vector<int> ra, rb;
  const bool okA = m.ring(a, b, ra), okB = m.ring(b, a, rb);
  const bool regA = okA && ra.size() == 6, regB = okB && rb.size() == 6;
  Acc acc;
  if (regA && regB) {
    // Ten-point stencil at tension w = 0: the two outermost points weigh 0.
    acc.add(t.pos(a), 0.5);
    acc.add(t.pos(b), 0.5);
    acc.add(t.pos(ra[1]), 1.0 / 8);
    acc.add(t.pos(ra[5]), 1.0 / 8);
    for (int p : {ra[2], ra[4], rb[2], rb[4]}) acc.add(t.pos(p), -1.0 / 16);
    return acc.vec();
  }
  if (okA && okB && !regA && !regB) {
    addExtraordinary(t, a, ra, 0.5, acc);
    addExtraordinary(t, b, rb, 0.5, acc);
    return acc.vec();
  }
  if (okA && (!regA || !okB)) {
    addExtraordinary(t, a, ra, 1.0, acc);
    return acc.vec();
  }
  if (okB) {
    addExtraordinary(t, b, rb, 1.0, acc);
    return acc.vec();
  }
  // Both ends touch a crease: the plain butterfly, where a wing across a
  // crease or the boundary is replaced by the reflection of the triangle's
  // own opposite vertex (x + y - o), so that no stencil reaches over a crease.
  const int c = m.opposite(e, 0), d = m.opposite(e, 1);
  if (c < 0 || d < 0) return loopEdgePoint(m, e);
  acc.add(t.pos(a), 0.5);
  acc.add(t.pos(b), 0.5);
  acc.add(t.pos(c), 1.0 / 8);
  acc.add(t.pos(d), 1.0 / 8);
  // The first face runs b -> a -> c, the second a -> b -> d.
  const int wing[4][3] = {{a, c, b}, {c, b, a}, {b, d, a}, {d, a, b}};
  for (const auto& w : wing) {
    const int x = w[0], y = w[1], edgeXY = t.o.findEdge(x, y);
    const int across = edgeXY >= 0 && !t.crease[edgeXY] ? acrossEdge(m, x, y) : -1;
    if (across >= 0) {
      acc.add(t.pos(across), -1.0 / 16);
    } else {
      acc.add(t.pos(x), -1.0 / 16);
      acc.add(t.pos(y), -1.0 / 16);
      acc.add(t.pos(w[2]), 1.0 / 16);
    }
  }
  return acc.vec();
}

SbVec3f edgePoint(const TriangleMesh& m, int e, int scheme, bool smooth) {
  if (!smooth) return m.t.midpoint(e);
  return scheme == SbSubdivision::BUTTERFLY ? butterflyEdgePoint(m, e) : loopEdgePoint(m, e);
}

double loopAlpha(int n) {
  if (n == 6) return 3.0 / 8;
  const double c = 3.0 + 2.0 * std::cos(2 * kPi / n);
  return (40.0 - c * c) / 64.0;
}

SbVec3f loopVertexPoint(const Topology& t, int v) {
  int a, b;
  const SbVec3f& p = t.pos(v);
  switch (vertexRule(t, v, a, b)) {
    case V_CORNER: return p;
    case V_CREASE: {
      Acc acc;
      acc.add(p, 0.75);
      acc.add(t.pos(a), 0.125);
      acc.add(t.pos(b), 0.125);
      return acc.vec();
    }
    case V_SMOOTH: break;
  }
  const WeObject& o = t.o;
  const int begin = o.edgesAtVertexBegin(v), n = o.edgesAtVertexEnd(v) - begin;
  const double alpha = loopAlpha(n);
  Acc acc;
  acc.add(p, 1.0 - alpha);
  for (int i = 0; i < n; ++i) acc.add(t.pos(o.edges[o.vertexEdges[begin + i]].other(v)), alpha / n);
  return acc.vec();
}

// One 1-to-4 step of Loop or Butterfly: old vertices keep their indices, the
// point of edge e becomes vertex nv + e.
void triangleStep(WeObject& o, int scheme, bool smooth) {
  triangulate(o);
  Topology t(o);
  TriangleMesh m(t);
  const int nv = static_cast<int>(o.vertices.size()), ne = static_cast<int>(o.edges.size());
  std::vector<SbVec3f> pos = oldPositions(o, ne);
  if (smooth && scheme == SbSubdivision::LOOP)
    for (int v = 0; v < nv; ++v) pos[v] = loopVertexPoint(t, v);
  for (int e = 0; e < ne; ++e) pos.push_back(edgePoint(m, e, scheme, smooth));

  std::vector<int> start{0}, corners;
  start.reserve(t.faceCount() * 4 + 1);
  corners.reserve(t.faceCount() * 12);
  auto tri = [&](int x, int y, int z) {
    corners.insert(corners.end(), {x, y, z});
    start.push_back(static_cast<int>(corners.size()));
  };
  for (int f = 0; f < t.faceCount(); ++f) {
    if (t.size(f) != 3) continue;  // a broken face walk
    const int b = t.start[f];
    const int c0 = t.corner[b], c1 = t.corner[b + 1], c2 = t.corner[b + 2];
    const int m0 = nv + t.edgeOut[b], m1 = nv + t.edgeOut[b + 1], m2 = nv + t.edgeOut[b + 2];
    tri(c0, m0, m2);
    tri(c1, m1, m0);
    tri(c2, m2, m1);
    tri(m0, m1, m2);
  }
  std::vector<std::pair<int, int>> sharp;
  for (int e = 0; e < ne; ++e) {
    if (!(o.edges[e].flags & WE_SHARP)) continue;
    sharp.emplace_back(o.edges[e].vertex[0], nv + e);
    sharp.emplace_back(nv + e, o.edges[e].vertex[1]);
  }
  rebuild(o, std::move(pos), start, corners, nv, sharp);
}

// ---------------------------------------------------------------- Catmull-Clark

// Old vertices, then the point of edge e at nv + e, then the point of face f
// at nv + ne + f; one quad per old face corner.
void catmullClarkStep(WeObject& o, bool smooth) {
  Topology t(o);
  const int nv = static_cast<int>(o.vertices.size()), ne = static_cast<int>(o.edges.size());
  const int nf = t.faceCount();
  std::vector<SbVec3f> facePoint(nf);
  for (int f = 0; f < nf; ++f) facePoint[f] = t.centroid(f);
  std::vector<SbVec3f> pos = oldPositions(o, ne + nf);
  for (int e = 0; e < ne; ++e) {
    const WeEdge& edge = o.edges[e];
    if (!smooth || t.crease[e] || edge.face[0] == edge.face[1]) {
      pos.push_back(t.midpoint(e));
      continue;
    }
    Acc a;
    a.add(t.pos(edge.vertex[0]), 0.25);
    a.add(t.pos(edge.vertex[1]), 0.25);
    a.add(facePoint[edge.face[0]], 0.25);
    a.add(facePoint[edge.face[1]], 0.25);
    pos.push_back(a.vec());
  }
  pos.insert(pos.end(), facePoint.begin(), facePoint.end());

  if (smooth) {
    std::vector<int> faces;
    for (int v = 0; v < nv; ++v) {
      int a, b;
      const VertexRule rule = vertexRule(t, v, a, b);
      if (rule == V_CREASE) {
        Acc acc;
        acc.add(t.pos(v), 0.75);
        acc.add(t.pos(a), 0.125);
        acc.add(t.pos(b), 0.125);
        pos[v] = acc.vec();
        continue;
      }
      const int begin = o.edgesAtVertexBegin(v), n = o.edgesAtVertexEnd(v) - begin;
      if (rule == V_CORNER || n < 3) continue;
      // (Q + 2R + (n - 3) S) / n: Q the mean of the face points around v,
      // R the mean of the midpoints of its edges.
      faces.clear();
      Acc r;
      for (int i = begin; i < begin + n; ++i) {
        const int e = o.vertexEdges[i];
        r.add(t.midpoint(e), 1.0 / n);
        for (int f : o.edges[e].face)
          if (f >= 0 && std::find(faces.begin(), faces.end(), f) == faces.end()) faces.push_back(f);
      }
      Acc q;
      for (int f : faces) q.add(facePoint[f], 1.0 / faces.size());
      Acc acc;
      acc.add(q.vec(), 1.0 / n);
      acc.add(r.vec(), 2.0 / n);
      acc.add(t.pos(v), double(n - 3) / n);
      pos[v] = acc.vec();
    }
  }

  std::vector<int> start{0}, corners;
  start.reserve(t.corner.size() + 1);
  corners.reserve(t.corner.size() * 4);
  for (int f = 0; f < nf; ++f) {
    for (int k = t.start[f]; k < t.start[f + 1]; ++k) {
      corners.insert(corners.end(), {t.corner[k], nv + t.edgeOut[k], nv + ne + f, nv + t.edgeOut[t.prev(f, k)]});
      start.push_back(static_cast<int>(corners.size()));
    }
  }
  std::vector<std::pair<int, int>> sharp;
  for (int e = 0; e < ne; ++e) {
    if (!(o.edges[e].flags & WE_SHARP)) continue;
    sharp.emplace_back(o.edges[e].vertex[0], nv + e);
    sharp.emplace_back(nv + e, o.edges[e].vertex[1]);
  }
  rebuild(o, std::move(pos), start, corners, nv, sharp);
}

// ---------------------------------------------------------------- Doo-Sabin

// The old vertices do not survive a Doo-Sabin step: the new vertices are the
// face corners, face by face in corner order (corner k of the flat list
// becomes vertex k). New faces: one per old face, one quad per edge with a
// face on both sides and one polygon per vertex whose edges all have two
// faces. On an open mesh the edge faces of boundary edges and the vertex
// faces of boundary vertices are left out, so the boundary stays open.
// Sharp edges keep their flag on the two new edges that run along them;
// their positions follow the regular masks.
void dooSabinStep(WeObject& o, bool smooth) {
  Topology t(o);
  const int ne = static_cast<int>(o.edges.size()), nf = t.faceCount();
  std::vector<SbVec3f> pos(t.corner.size());
  std::vector<double> weight;
  for (int f = 0; f < nf; ++f) {
    const int b = t.start[f], n = t.size(f);
    if (!smooth) {
      const SbVec3f c = t.centroid(f);
      for (int i = 0; i < n; ++i) pos[b + i] = (t.pos(t.corner[b + i]) + c) * 0.5f;
      continue;
    }
    weight.assign(n, 0.0);
    weight[0] = 0.25 + 5.0 / (4.0 * n);
    for (int j = 1; j < n; ++j) weight[j] = (3.0 + 2.0 * std::cos(2 * kPi * j / n)) / (4.0 * n);
    for (int i = 0; i < n; ++i) {
      Acc a;
      for (int j = 0; j < n; ++j) a.add(t.pos(t.corner[b + j]), weight[(j - i + n) % n]);
      pos[b + i] = a.vec();
    }
  }

  // Per edge side: the face corner whose outgoing edge it is (the first face
  // runs the edge from its second vertex to its first).
  std::vector<int> slot(2 * ne, -1);
  for (int f = 0; f < nf; ++f)
    for (int k = t.start[f]; k < t.start[f + 1]; ++k) {
      const int e = t.edgeOut[k];
      slot[2 * e + (t.corner[k] == o.edges[e].vertex[1] ? 0 : 1)] = k;
    }
  auto faceOf = [&](int k) {
    return static_cast<int>(std::upper_bound(t.start.begin(), t.start.end(), k) - t.start.begin()) - 1;
  };
  auto nextSlot = [&](int k) { return t.next(faceOf(k), k); };

  std::vector<int> start(t.start), corners(t.corner.size());
  for (size_t k = 0; k < corners.size(); ++k) corners[k] = static_cast<int>(k);
  std::vector<std::pair<int, int>> sharp;
  auto poly = [&](std::initializer_list<int> c) {
    corners.insert(corners.end(), c);
    start.push_back(static_cast<int>(corners.size()));
  };
  for (int e = 0; e < ne; ++e) {
    const int s0 = slot[2 * e], s1 = slot[2 * e + 1];
    if (s0 < 0 || s1 < 0) {
      if (o.edges[e].flags & WE_SHARP) sharp.emplace_back(s0 >= 0 ? s0 : s1, nextSlot(s0 >= 0 ? s0 : s1));
      continue;
    }
    // First face: q -> p at s0 -> next(s0); second face: p -> q at s1 -> next(s1).
    const int p0 = nextSlot(s0), q0 = s0, p1 = s1, q1 = nextSlot(s1);
    poly({p0, q0, q1, p1});
    if (o.edges[e].flags & WE_SHARP) {
      sharp.emplace_back(p0, q0);
      sharp.emplace_back(q1, p1);
    }
  }
  std::vector<std::pair<int, int>> links;
  std::vector<int> ring;
  for (int v = 0; v < static_cast<int>(o.vertices.size()); ++v) {
    const int begin = o.edgesAtVertexBegin(v), n = o.edgesAtVertexEnd(v) - begin;
    if (n < 3) continue;
    links.clear();
    bool interior = true;
    for (int i = begin; i < begin + n && interior; ++i) {
      const int e = o.vertexEdges[i];
      const int s0 = slot[2 * e], s1 = slot[2 * e + 1];
      if (s0 < 0 || s1 < 0) {
        interior = false;
        break;
      }
      // Around v the polygon runs from the first face's corner to the second's
      // when v is the edge's first vertex, the other way round otherwise.
      if (o.edges[e].vertex[0] == v)
        links.emplace_back(nextSlot(s0), s1);
      else
        links.emplace_back(nextSlot(s1), s0);
    }
    if (!interior) continue;
    ring.clear();
    int at = links[0].first;
    for (int step = 0; step < n; ++step) {
      ring.push_back(at);
      auto it = std::find_if(links.begin(), links.end(), [&](const std::pair<int, int>& l) { return l.first == at; });
      if (it == links.end()) break;
      at = it->second;
    }
    if (static_cast<int>(ring.size()) != n || at != links[0].first) continue;  // not a disc
    corners.insert(corners.end(), ring.begin(), ring.end());
    start.push_back(static_cast<int>(corners.size()));
  }
  rebuild(o, std::move(pos), start, corners, 0, sharp);
}

// ---------------------------------------------------------------- counts

struct Counts {
  double v = 0, e = 0, f = 0;
  double corners = 0;        // face corners, one per face side of an edge
  double innerEdges = 0;     // edges with two faces
  double innerVertices = 0;  // vertices with edges, none of them on the boundary
};

Counts countObject(const WeObject& o) {
  Counts c;
  c.v = static_cast<double>(o.vertices.size());
  c.e = static_cast<double>(o.edges.size());
  c.f = static_cast<double>(o.faces.size());
  std::vector<char> boundary(o.vertices.size(), 0), used(o.vertices.size(), 0);
  for (const WeEdge& e : o.edges) {
    const int sides = (e.face[0] >= 0) + (e.face[1] >= 0);
    c.corners += sides;
    if (sides == 2) c.innerEdges += 1;
    for (int v : e.vertex) {
      if (v < 0 || v >= static_cast<int>(o.vertices.size())) continue;
      used[v] = 1;
      if (sides < 2) boundary[v] = 1;
    }
  }
  for (size_t v = 0; v < o.vertices.size(); ++v) c.innerVertices += used[v] && !boundary[v];
  return c;
}

double estimateObject(const WeObject& o, int scheme, int steps) {
  const Counts c = countObject(o);
  if (c.corners == 0) return 0;  // nothing to subdivide (and no 0 * inf)
  switch (scheme) {
    case SbSubdivision::LOOP:
    case SbSubdivision::BUTTERFLY:
      // Fan triangulation gives corners - 2 faces triangles; each step x4.
      return (c.corners - 2 * c.f) * std::pow(4.0, steps);
    case SbSubdivision::CATMULL_CLARK: return c.corners * std::pow(4.0, steps - 1);
    case SbSubdivision::DOO_SABIN: {
      // First step exact; later ones with the closed-mesh recurrences
      // (V' = 2E, E' = 4E, F' = F + E + V), an upper bound on open meshes.
      double v = c.corners, e = c.corners + 2 * c.innerEdges, f = c.f + c.innerEdges + c.innerVertices;
      for (int s = 1; s < steps && std::isfinite(f); ++s) {
        const double nv = 2 * e, ne = 4 * e, nf = f + e + v;
        v = nv;
        e = ne;
        f = nf;
      }
      return f;
    }
    default: return c.f;
  }
}

}  // namespace

double SbSubdivision::estimateFaces(const SbWingedEdgeModel& model, int scheme, int steps) {
  double faces = 0;
  for (const WeObject& o : model.objects)
    faces += steps > 0 ? estimateObject(o, scheme, steps) : static_cast<double>(o.faces.size());
  return faces;
}

double SbSubdivision::bytesPerFace() { return kBytesPerFace; }

double SbSubdivision::memoryBudget() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  double bytes = pages > 0 && pageSize > 0 ? double(pages) * double(pageSize) : 4.0 * (1 << 30);
  // A container's limit (cgroup v2, then v1) and the process's own limits.
  bytes = std::min(bytes, limitFromFile("/sys/fs/cgroup/memory.max"));
  bytes = std::min(bytes, limitFromFile("/sys/fs/cgroup/memory/memory.limit_in_bytes"));
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
      bytes = std::min(bytes, static_cast<double>(limit.rlim_cur));
  }
  // Half of that for the model (the rest is the program, the toolkits, the
  // picture and whatever else runs), and never more than is free now.
  return std::min(bytes / 2.0, availableMemory());
}

double SbSubdivision::faceBudget() { return memoryBudget() / kBytesPerFace; }

bool SbSubdivision::fitsMemory(const SbWingedEdgeModel& model, int scheme, int steps, std::string* why) {
  if (steps <= 0) return true;
  const double faces = estimateFaces(model, scheme, steps);
  const double budget = faceBudget();
  if (std::isfinite(faces) && faces <= budget) return true;
  char message[200];
  std::snprintf(message, sizeof message,
                "%d subdivision steps would make %.0f faces, more than memory allows (%.0f); refused", steps, faces,
                budget);
  std::printf("SoModifyWingedEdge: %s\n", message);
  if (why) *why = message;
  return false;
}

void SbSubdivision::step(WeObject& object, int scheme, bool smooth) {
  ensureVertexEdges(object);
  switch (scheme) {
    case LOOP:
    case BUTTERFLY: triangleStep(object, scheme, smooth); break;
    case CATMULL_CLARK: catmullClarkStep(object, smooth); break;
    case DOO_SABIN: dooSabinStep(object, smooth); break;
    default: std::printf("SbSubdivision::step: unknown scheme %d\n", scheme);
  }
}

void SbSubdivision::adaptiveStep(WeObject& object, int scheme, float featureAngleDegrees) {
  if (scheme != LOOP && scheme != BUTTERFLY) {
    std::printf("SbSubdivision::adaptiveStep: unknown scheme %d\n", scheme);
    return;
  }
  if (!std::isfinite(featureAngleDegrees)) {
    std::printf("SbSubdivision::adaptiveStep: feature angle is not a number\n");
    return;
  }
  ensureVertexEdges(object);
  triangulate(object);
  object.computeNormals();
  Topology t(object);
  TriangleMesh m(t);
  const WeObject& o = object;
  const int nv = static_cast<int>(o.vertices.size()), ne = static_cast<int>(o.edges.size());
  const int nf = t.faceCount();

  // A triangle is a feature when its normal and a neighbour's differ by more
  // than the feature angle; degenerate faces (zero normal) never are.
  const double cosLimit = std::cos(featureAngleDegrees * kPi / 180.0);
  std::vector<char> marked(nf, 0);
  for (const WeEdge& e : o.edges) {
    if (e.face[0] < 0 || e.face[1] < 0) continue;
    const SbVec3f& n0 = o.faces[e.face[0]].normal;
    const SbVec3f& n1 = o.faces[e.face[1]].normal;
    if (n0.sqrLength() == 0 || n1.sqrLength() == 0) continue;
    if (n0.dot(n1) < cosLimit) marked[e.face[0]] = marked[e.face[1]] = 1;
  }
  std::vector<int> split(ne, -1);
  std::vector<SbVec3f> pos = oldPositions(o, 0);
  for (int f = 0; f < nf; ++f) {
    if (!marked[f] || t.size(f) != 3) continue;
    for (int k = t.start[f]; k < t.start[f + 1]; ++k) {
      const int e = t.edgeOut[k];
      if (split[e] >= 0) continue;
      split[e] = static_cast<int>(pos.size());
      pos.push_back(edgePoint(m, e, scheme, true));
    }
  }
  if (static_cast<int>(pos.size()) == nv) return;

  // Red-green closure: three split edges give four triangles, two give three
  // (the quad cut along its shorter diagonal), one gives two.
  std::vector<int> start{0}, corners;
  auto tri = [&](int x, int y, int z) {
    corners.insert(corners.end(), {x, y, z});
    start.push_back(static_cast<int>(corners.size()));
  };
  for (int f = 0; f < nf; ++f) {
    const int b = t.start[f];
    if (t.size(f) != 3) {
      corners.insert(corners.end(), t.corner.begin() + b, t.corner.begin() + t.start[f + 1]);
      start.push_back(static_cast<int>(corners.size()));
      continue;
    }
    int c[3], s[3], count = 0;
    for (int i = 0; i < 3; ++i) {
      c[i] = t.corner[b + i];
      s[i] = split[t.edgeOut[b + i]];
      count += s[i] >= 0;
    }
    if (count == 0) {
      tri(c[0], c[1], c[2]);
    } else if (count == 3) {
      tri(c[0], s[0], s[2]);
      tri(c[1], s[1], s[0]);
      tri(c[2], s[2], s[1]);
      tri(s[0], s[1], s[2]);
    } else if (count == 1) {
      const int k = s[0] >= 0 ? 0 : s[1] >= 0 ? 1 : 2;
      const int x = c[k], y = c[(k + 1) % 3], z = c[(k + 2) % 3], mk = s[k];
      tri(x, mk, z);
      tri(mk, y, z);
    } else {
      // Edge k (c_k -> c_k+1) stays whole; m1 splits c_k+1 -> c_k+2, m2 c_k+2 -> c_k.
      const int k = s[0] < 0 ? 0 : s[1] < 0 ? 1 : 2;
      const int x = c[k], y = c[(k + 1) % 3], z = c[(k + 2) % 3];
      const int m1 = s[(k + 1) % 3], m2 = s[(k + 2) % 3];
      tri(m1, z, m2);
      if ((pos[x] - pos[m1]).sqrLength() <= (pos[y] - pos[m2]).sqrLength()) {
        tri(x, y, m1);
        tri(x, m1, m2);
      } else {
        tri(x, y, m2);
        tri(y, m1, m2);
      }
    }
  }
  std::vector<std::pair<int, int>> sharp;
  for (int e = 0; e < ne; ++e) {
    if (!(o.edges[e].flags & WE_SHARP)) continue;
    const int a = o.edges[e].vertex[0], b = o.edges[e].vertex[1];
    if (split[e] < 0) {
      sharp.emplace_back(a, b);
    } else {
      sharp.emplace_back(a, split[e]);
      sharp.emplace_back(split[e], b);
    }
  }
  rebuild(object, std::move(pos), start, corners, nv, sharp);
}
