#include "mesh/SbWingedEdgeModel.h"

#include <cmath>
#include <utility>

void WeObject::faceCorners(int f, std::vector<int>& out) const {
  out.clear();
  walkFace(f, [&](int v, int) { out.push_back(v); });
}

int WeObject::findEdge(int a, int b) const {
  if (a < 0 || a + 1 >= static_cast<int>(vertexEdgeStart.size())) return -1;
  for (int i = vertexEdgeStart[a]; i < vertexEdgeStart[a + 1]; ++i) {
    const WeEdge& e = edges[vertexEdges[i]];
    if (e.other(a) == b) return vertexEdges[i];
  }
  return -1;
}

void WeObject::buildVertexEdges() {
  const int nv = static_cast<int>(vertices.size());
  vertexEdgeStart.assign(nv + 1, 0);
  for (const WeEdge& e : edges) {
    ++vertexEdgeStart[e.vertex[0] + 1];
    if (e.vertex[1] != e.vertex[0]) ++vertexEdgeStart[e.vertex[1] + 1];
  }
  for (int v = 0; v < nv; ++v) vertexEdgeStart[v + 1] += vertexEdgeStart[v];
  vertexEdges.resize(vertexEdgeStart[nv]);
  std::vector<int> fill(vertexEdgeStart.begin(), vertexEdgeStart.end() - 1);
  for (int i = 0; i < static_cast<int>(edges.size()); ++i) {
    const WeEdge& e = edges[i];
    vertexEdges[fill[e.vertex[0]]++] = i;
    if (e.vertex[1] != e.vertex[0]) vertexEdges[fill[e.vertex[1]]++] = i;
  }
}

void WeObject::computeNormals() {
  for (int f = 0; f < static_cast<int>(faces.size()); ++f) {
    // Newell's method: robust for non-planar and non-convex polygons.
    SbVec3f n(0, 0, 0);
    int firstV = -1, prevV = -1;
    walkFace(f, [&](int v, int) {
      if (prevV >= 0) {
        const SbVec3f& a = vertices[prevV].position;
        const SbVec3f& b = vertices[v].position;
        n += SbVec3f((a[1] - b[1]) * (a[2] + b[2]), (a[2] - b[2]) * (a[0] + b[0]), (a[0] - b[0]) * (a[1] + b[1]));
      } else {
        firstV = v;
      }
      prevV = v;
    });
    if (firstV >= 0) {
      const SbVec3f& a = vertices[prevV].position;
      const SbVec3f& b = vertices[firstV].position;
      n += SbVec3f((a[1] - b[1]) * (a[2] + b[2]), (a[2] - b[2]) * (a[0] + b[0]), (a[0] - b[0]) * (a[1] + b[1]));
    }
    float len = n.length();
    faces[f].normal = len > 0.0f && std::isfinite(len) ? n / len : SbVec3f(0, 0, 0);
  }
  if (vertexEdgeStart.size() != vertices.size() + 1) buildVertexEdges();
  for (int v = 0; v < static_cast<int>(vertices.size()); ++v) {
    SbVec3f sum(0, 0, 0);
    int terms = 0;
    for (int i = vertexEdgeStart[v]; i < vertexEdgeStart[v + 1]; ++i) {
      const WeEdge& e = edges[vertexEdges[i]];
      for (int side = 0; side < 2; ++side) {
        if (e.face[side] >= 0) {
          sum += faces[e.face[side]].normal;
          ++terms;
        }
      }
    }
    vertices[v].normal = terms ? sum / float(terms) : SbVec3f(0, 0, 0);
  }
}

void SbWingedEdgeModel::clear() {
  objects.clear();
  holdsSource = false;
  modified = false;
  statusFlag = false;
  displayListsValid = false;
  curvatureValid = false;
}

void SbWingedEdgeModel::copyGeometryFrom(const SbWingedEdgeModel& other) {
  if (&other != this) {
    objects = other.objects;
    holdsSource = false;
  }
  modified = false;
  statusFlag = false;
  displayListsValid = false;
  curvatureValid = false;
}

void SbWingedEdgeModel::borrowGeometryFrom(SbWingedEdgeModel& other) {
  if (&other == this) return;
  objects = std::move(other.objects);
  other.objects.clear();
  source = &other;
  holdsSource = true;
  modified = false;
  statusFlag = false;
  displayListsValid = false;
  curvatureValid = false;
}

void SbWingedEdgeModel::returnSource() {
  if (!holdsSource) return;
  holdsSource = false;
  if (!source) return;
  source->objects = std::move(objects);
  objects.clear();
}

void SbWingedEdgeModel::keepSource() {
  if (!holdsSource) return;
  if (source) source->objects = objects;
  holdsSource = false;
}

void SbWingedEdgeModel::number() {
  for (WeObject& o : objects) {
    for (int i = 0; i < static_cast<int>(o.vertices.size()); ++i) {
      o.vertices[i].index = i;
      o.vertices[i].object = o.number;
    }
    for (int i = 0; i < static_cast<int>(o.edges.size()); ++i) {
      o.edges[i].id = i;
      o.edges[i].object = o.number;
    }
    for (int i = 0; i < static_cast<int>(o.faces.size()); ++i) {
      o.faces[i].id = i;
      o.faces[i].object = o.number;
    }
    o.vertexCount = static_cast<int>(o.vertices.size());
    o.edgeCount = static_cast<int>(o.edges.size());
    o.faceCount = static_cast<int>(o.faces.size());
  }
}

int SbWingedEdgeModel::faceCount() const {
  int n = 0;
  for (const WeObject& o : objects) n += static_cast<int>(o.faces.size());
  return n;
}

int SbWingedEdgeModel::edgeCount() const {
  int n = 0;
  for (const WeObject& o : objects) n += static_cast<int>(o.edges.size());
  return n;
}

int SbWingedEdgeModel::vertexCount() const {
  int n = 0;
  for (const WeObject& o : objects) n += static_cast<int>(o.vertices.size());
  return n;
}
