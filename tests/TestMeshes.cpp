#include "TestMeshes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "mesh/SbWingedEdgeBuilder.h"

int PolyMesh::addVertex(const SbVec3f& p) {
  positions.push_back(p);
  return static_cast<int>(positions.size()) - 1;
}

void PolyMesh::addFace(std::initializer_list<int> face) { addFace(std::vector<int>(face)); }

void PolyMesh::addFace(const std::vector<int>& face) {
  corners.insert(corners.end(), face.begin(), face.end());
  faceStart.push_back(static_cast<int>(corners.size()));
}

namespace testmesh {
namespace {
const float kPi = 3.14159265358979f;
}

PolyMesh polyMesh(const std::vector<SbVec3f>& positions, const std::vector<std::vector<int>>& faces) {
  PolyMesh m;
  m.positions = positions;
  for (const std::vector<int>& face : faces) m.addFace(face);
  return m;
}

PolyMesh singleTriangle() { return polyMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}); }

PolyMesh tetrahedron() {
  return polyMesh({{1, 1, 1}, {-1, -1, 1}, {-1, 1, -1}, {1, -1, -1}}, {{0, 1, 3}, {0, 2, 1}, {0, 3, 2}, {1, 2, 3}});
}

PolyMesh cube(float h) {
  std::vector<SbVec3f> p;
  for (int i = 0; i < 8; ++i) p.push_back({i & 1 ? h : -h, i & 2 ? h : -h, i & 4 ? h : -h});
  // -z, +z, -y, +y, -x, +x
  return polyMesh(p, {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}});
}

PolyMesh cubeTriangles(float h) {
  PolyMesh q = cube(h), m;
  m.positions = q.positions;
  for (int f = 0; f < q.faceCount(); ++f) {
    const int* c = &q.corners[q.faceStart[f]];
    m.addFace({c[0], c[1], c[2]});
    m.addFace({c[0], c[2], c[3]});
  }
  return m;
}

PolyMesh quadFan() { return polyMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}); }

PolyMesh grid(int nx, int ny, float size, bool triangles) {
  PolyMesh m;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) m.addVertex({size * i / nx, size * j / ny, 0});
  auto id = [&](int i, int j) { return j * (nx + 1) + i; };
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      if (triangles) {
        m.addFace({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
        m.addFace({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
      } else {
        m.addFace({id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)});
      }
    }
  return m;
}

PolyMesh icosphere(int subdivisions, float radius) {
  PolyMesh m;
  const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
  const float v[12][3] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                          {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  for (auto& p : v) {
    SbVec3f q(p[0], p[1], p[2]);
    q.normalize();
    m.addVertex(q * radius);
  }
  std::vector<int> tris = {0, 11, 5,  0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11,
                           4, 11, 10, 2, 10, 7, 6, 7, 1, 8, 3,  9,  4, 3,  4,  2, 3, 2, 6, 3,
                           6, 8,  3,  8, 9,  4, 9, 5, 2, 4, 11, 6,  2, 10, 8,  6, 7, 9, 8, 1};
  for (int s = 0; s < subdivisions; ++s) {
    std::map<std::pair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      auto key = std::make_pair(std::min(a, b), std::max(a, b));
      auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      SbVec3f p = m.positions[a] + m.positions[b];
      p.normalize();
      int id = m.addVertex(p * radius);
      mid[key] = id;
      return id;
    };
    std::vector<int> next;
    for (size_t i = 0; i < tris.size(); i += 3) {
      int a = tris[i], b = tris[i + 1], c = tris[i + 2];
      int ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
      next.insert(next.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
    }
    tris.swap(next);
  }
  for (size_t i = 0; i < tris.size(); i += 3) m.addFace({tris[i], tris[i + 1], tris[i + 2]});
  return m;
}

// The torus's points, ring i of nu around the axis, point j of nv around the tube at index i nv + j.
static std::vector<SbVec3f> torusPoints(int nu, int nv, float R, float r) {
  std::vector<SbVec3f> p;
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      float u = 2 * kPi * i / nu, v = 2 * kPi * j / nv;
      p.push_back({(R + r * std::cos(v)) * std::cos(u), (R + r * std::cos(v)) * std::sin(u), r * std::sin(v)});
    }
  return p;
}

PolyMesh torus(int nu, int nv, float R, float r) {
  PolyMesh m;
  m.positions = torusPoints(nu, nv, R, r);
  auto id = [&](int i, int j) { return (i % nu) * nv + (j % nv); };
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      m.addFace({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
      m.addFace({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
    }
  return m;
}

PolyMesh cylinder(int around, int along, float radius, float length) {
  PolyMesh m;
  for (int j = 0; j <= along; ++j)
    for (int i = 0; i < around; ++i) {
      float a = 2 * kPi * i / around;
      m.addVertex({radius * std::cos(a), radius * std::sin(a), length * j / along - length / 2});
    }
  auto id = [&](int i, int j) { return j * around + (i % around); };
  for (int j = 0; j < along; ++j)
    for (int i = 0; i < around; ++i) {
      m.addFace({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
      m.addFace({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
    }
  return m;
}

PolyMesh saddle(int n, float size) {
  PolyMesh m = grid(n, n, 2 * size, true);
  for (SbVec3f& p : m.positions) {
    p[0] -= size;
    p[1] -= size;
    p[2] = p[0] * p[0] - p[1] * p[1];
  }
  return m;
}

PolyMesh nonManifoldFan() {
  return polyMesh({{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {-1, 1, 0}, {-1, -1, 0}}, {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
}

PolyMesh mobiusStrip(int n) {
  PolyMesh m;
  for (int i = 0; i < n; ++i) {
    float u = 2 * kPi * i / n;
    for (int s = -1; s <= 1; s += 2) {
      float w = 0.3f * s;
      m.addVertex(
          {(1 + w * std::cos(u / 2)) * std::cos(u), (1 + w * std::cos(u / 2)) * std::sin(u), w * std::sin(u / 2)});
    }
  }
  for (int i = 0; i < n; ++i) {
    int a = 2 * i, b = 2 * i + 1;
    int c = i + 1 < n ? 2 * (i + 1) : 1, d = i + 1 < n ? 2 * (i + 1) + 1 : 0;
    m.addFace({a, c, d, b});
  }
  return m;
}

StripMesh torusStrips(int nu, int nv, float R, float r) {
  StripMesh s;
  s.coords = torusPoints(nu, nv, R, r);
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j <= nv; ++j) {
      s.coordIndex.push_back(i * nv + j % nv);
      s.coordIndex.push_back(((i + 1) % nu) * nv + j % nv);
    }
    s.coordIndex.push_back(-1);
  }
  return s;
}

SbWingedEdgeModel model(std::initializer_list<const PolyMesh*> meshes) {
  SbWingedEdgeModel result;
  int number = 0;
  for (const PolyMesh* m : meshes) {
    result.objects.emplace_back();
    buildWingedEdgeObject(result.objects.back(), number++, m->positions, m->faceStart, m->corners);
  }
  return result;
}

SbWingedEdgeModel model(const PolyMesh& mesh) { return model({&mesh}); }

PolyMesh geodesicSphere(int n, float radius) {
  PolyMesh ico = icosphere(0, 1.0f);
  PolyMesh m;
  if (n < 1) n = 1;
  // Points on the icosahedron's edges and corners are shared by faces: key
  // them by their weights on the corners they lie between.
  std::map<std::vector<int>, int> shared;
  for (int f = 0; f < ico.faceCount(); ++f) {
    const int* c = &ico.corners[ico.faceStart[f]];
    std::vector<int> id((n + 1) * (n + 2) / 2);
    auto slot = [n](int i, int j) { return i * (n + 1) - i * (i - 1) / 2 + j; };
    for (int i = 0; i <= n; ++i)
      for (int j = 0; i + j <= n; ++j) {
        const int w[3] = {n - i - j, i, j};
        std::vector<std::pair<int, int>> parts;
        for (int k = 0; k < 3; ++k)
          if (w[k] > 0) parts.emplace_back(c[k], w[k]);
        SbVec3f p = (ico.positions[c[0]] * float(w[0]) + ico.positions[c[1]] * float(w[1]) +
                     ico.positions[c[2]] * float(w[2])) /
                    float(n);
        p.normalize();
        if (parts.size() == 3) {
          id[slot(i, j)] = m.addVertex(p * radius);
          continue;
        }
        if (parts.size() == 2 && parts[1].first < parts[0].first) std::swap(parts[0], parts[1]);
        std::vector<int> key;
        for (auto& part : parts) key.insert(key.end(), {part.first, part.second});
        auto it = shared.find(key);
        id[slot(i, j)] = it != shared.end() ? it->second : (shared[key] = m.addVertex(p * radius));
      }
    for (int i = 0; i < n; ++i)
      for (int j = 0; i + j < n; ++j) {
        m.addFace({id[slot(i, j)], id[slot(i + 1, j)], id[slot(i, j + 1)]});
        if (i + j + 1 < n) m.addFace({id[slot(i + 1, j)], id[slot(i + 1, j + 1)], id[slot(i, j + 1)]});
      }
  }
  return m;
}

}  // namespace testmesh

int testmesh::boundaryEdges(const WeObject& o) {
  return std::count_if(o.edges.begin(), o.edges.end(), [](const WeEdge& e) { return e.isBoundary(); });
}

int testmesh::sharpEdges(const WeObject& o) {
  return std::count_if(o.edges.begin(), o.edges.end(), [](const WeEdge& e) { return (e.flags & WE_SHARP) != 0; });
}

std::vector<int> testmesh::corners(const WeObject& o, int f) {
  std::vector<int> c;
  o.faceCorners(f, c);
  return c;
}

std::vector<SbVec3f> testmesh::cornerPositions(const WeObject& o, int f) {
  std::vector<SbVec3f> p;
  for (int v : corners(o, f)) p.push_back(o.vertices[v].position);
  return p;
}

std::vector<int> testmesh::objectNumbers(const SbWingedEdgeModel& m) {
  std::vector<int> n;
  for (const WeObject& o : m.objects) n.push_back(o.number);
  return n;
}

std::vector<testmesh::NamedMesh> testmesh::catalogue() {
  return {{"single triangle", singleTriangle(), 1, false},
          {"quad", quadFan(), 1, false},
          {"tetrahedron", tetrahedron(), 2, true},
          {"cube", cube(), 2, true},
          {"cube of triangles", cubeTriangles(), 2, true},
          {"icosphere", icosphere(1), 2, true},
          {"geodesic sphere", geodesicSphere(2), 2, true},
          {"torus", torus(8, 6, 2.0f, 0.5f), 0, true},
          {"grid", grid(4, 3), 1, false},
          {"quad grid", grid(3, 3, 1.0f, false), 1, false},
          {"cylinder", cylinder(8, 3, 1.0f, 2.0f), 0, false},
          {"saddle", saddle(4, 1.0f), 1, false}};
}

int testmesh::euler(const WeObject& o) {
  return static_cast<int>(o.vertices.size()) - static_cast<int>(o.edges.size()) + static_cast<int>(o.faces.size());
}

std::string testmesh::linkProblem(const WeObject& o, bool everyRecordOnAFace) {
  const int nv = static_cast<int>(o.vertices.size()), ne = static_cast<int>(o.edges.size());
  auto at = [](const char* what, int i) { return std::string(what) + " " + std::to_string(i); };
  std::vector<std::vector<int>> edgesAt(nv);
  for (int e = 0; e < ne; ++e) {
    const WeEdge& edge = o.edges[e];
    for (int i = 0; i < 2; ++i)
      if (edge.vertex[i] < 0 || edge.vertex[i] >= nv || edge.wing[i] >= ne ||
          edge.face[i] >= static_cast<int>(o.faces.size()))
        return at("edge out of range:", e);
    edgesAt[edge.vertex[0]].push_back(e);
    edgesAt[edge.vertex[1]].push_back(e);
  }
  std::vector<char> used(2 * ne, 0), onFace(nv, 0);
  std::vector<int> c;
  for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
    if (o.faces[f].firstEdge < 0 || o.faces[f].firstEdge >= ne) return at("first edge out of range: face", f);
    o.faceCorners(f, c);
    if (c.size() < 3) return at("fewer than three corners: face", f);
    for (size_t k = 0; k < c.size(); ++k) {
      const int x = c[k], y = c[(k + 1) % c.size()];
      onFace[x] = 1;
      bool found = false;
      // The first face runs an edge from its second vertex to its first.
      for (int e : edgesAt[y]) {
        const WeEdge& edge = o.edges[e];
        const int side = edge.vertex[0] == y && edge.vertex[1] == x   ? 0
                         : edge.vertex[1] == y && edge.vertex[0] == x ? 1
                                                                      : -1;
        if (side >= 0 && edge.face[side] == f && !used[2 * e + side]) {
          used[2 * e + side] = found = true;
          break;
        }
      }
      if (!found) return at("step off its edges: face", f) + " at " + std::to_string(x) + "->" + std::to_string(y);
    }
  }
  for (int e = 0; e < ne; ++e) {
    for (int side = 0; side < 2; ++side)
      if (used[2 * e + side] != (o.edges[e].face[side] >= 0)) return at("face side not walked once: edge", e);
    if (everyRecordOnAFace && o.edges[e].face[0] < 0 && o.edges[e].face[1] < 0) return at("no face: edge", e);
  }
  for (int v = 0; v < nv && everyRecordOnAFace; ++v)
    if (!onFace[v]) return at("on no face: vertex", v);
  return "";
}

int testmesh::connectedFaces(const WeObject& o) {
  if (o.faces.empty()) return 0;
  std::vector<char> seen(o.faces.size(), 0);
  std::vector<int> queue{0};
  seen[0] = 1;
  for (size_t q = 0; q < queue.size(); ++q)
    o.walkFace(queue[q], [&](int, int e) {
      for (int g : o.edges[e].face)
        if (g >= 0 && !seen[g]) {
          seen[g] = 1;
          queue.push_back(g);
        }
    });
  return static_cast<int>(queue.size());
}
