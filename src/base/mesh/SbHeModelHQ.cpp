#include "mesh/SbHeModelHQ.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "core/ChangeStamp.h"
#include "core/LargeBlock.h"
#include "mesh/SbPolygonFan.h"
#include "mesh/SbWingedEdgeModel.h"

TypedObjectPool<HalfEdge> SbHeModelHQ::hePool("SbHeModelHQ::hePool");
TypedObjectPool<HeVertex> SbHeModelHQ::vtxPool("SbHeModelHQ::vtxPool");
TypedObjectPool<HeTriangle> SbHeModelHQ::triPool("SbHeModelHQ::triPool");

namespace {

template <class T>
T* takeRecord(TypedObjectPool<T>& pool) {
  T* record = pool.take();
  if (!record) throw std::bad_alloc();
  return record;
}

template <class T>
void release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// Lists up to this length are searched linearly, longer ones by bisection.
constexpr int32_t linearSearchLength = 16;

// From this many triangles on, the records' pages are faulted in on a second
// thread during the build.
constexpr std::size_t kPopulateTriangles = 65536;

// Marks, between edge-map building and linking, a half-edge whose directed
// edge an earlier triangle already has.
HalfEdge repeatedEdge{};

void cross(const SbVec3f& a, const SbVec3f& b, float* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// Scales v to unit length; a zero or non-finite length gives zero.
void normalise(float* v) {
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length > 0.0f && std::isfinite(length)) {
    const float inverse = 1.0f / length;
    v[0] *= inverse;
    v[1] *= inverse;
    v[2] *= inverse;
  } else {
    v[0] = v[1] = v[2] = 0.0f;
  }
}

// Every wing and first edge names an edge of the object, so the face walk
// stays inside the edge list.
bool edgeLinksInRange(const WeObject& object) {
  const int edgeCount = static_cast<int>(object.edges.size());
  for (const WeEdge& e : object.edges) {
    for (int w : e.wing)
      if (w < -1 || w >= edgeCount) return false;
  }
  for (const WeFace& f : object.faces)
    if (f.firstEdge >= edgeCount) return false;
  return true;
}

}  // namespace

SbHeModelHQ::SbHeModelHQ() : stamp(drawChangeStamp()) {}

SbHeModelHQ::~SbHeModelHQ() { releaseRecords(); }

void SbHeModelHQ::clear() {
  if (vertices.empty() && triangles.empty()) {
    if (valid) {
      valid = false;
      stamp = drawChangeStamp();
    }
    return;
  }
  releaseRecords();
  valid = false;
  stamp = drawChangeStamp();
}

void SbHeModelHQ::releaseRecords() {
  // Records go back in the reverse order of their taking, so that the next
  // build takes them in the same address order as this one did: the free
  // lists are walked as streams, not at random.
  if (boundaryHalfEdges > 0) {
    // Boundary half-edges were taken last, while linking from the last
    // triangle down; each is the twin of exactly one inner half-edge.
    for (HeTriangle* t : triangles) {
      HalfEdge* h = t->halfEdge;
      for (int i = 0; i < 3; ++i, h = h->next) {
        HalfEdge* twin = h->twin;
        if (twin && twin != &repeatedEdge && !twin->triangle) {
          h->twin = nullptr;
          hePool.giveBack(twin);
        }
      }
    }
  }
  for (auto it = triangles.rbegin(); it != triangles.rend(); ++it) {
    HalfEdge* h0 = (*it)->halfEdge;
    HalfEdge* h1 = h0->next;
    HalfEdge* h2 = h1->next;
    hePool.giveBack(h2);
    hePool.giveBack(h1);
    hePool.giveBack(h0);
    triPool.giveBack(*it);
  }
  for (auto it = vertices.rbegin(); it != vertices.rend(); ++it) vtxPool.giveBack(*it);
  release(triangles);
  release(vertices);
  release(edgeStart);
  release(edgeEnd);
  release(edgeHalf);
  innerHalfEdges = boundaryHalfEdges = 0;
  lastVertex = lastTriangle = -1;
}

void SbHeModelHQ::build(const SbWingedEdgeModel& model) {
  clear();
  try {
    std::size_t vertexTotal = 0, triangleTotal = 0;
    for (const WeObject& object : model.objects) {
      vertexTotal += object.vertices.size();
      // A fan of n - 2 triangles per face of n edges (each edge is on two
      // faces or one); at least a triangle a face, also where broken edge
      // lists would give fewer than none.
      const std::size_t edges = object.edges.size(), faces = object.faces.size();
      triangleTotal += edges > faces ? std::max(2 * (edges - faces), faces) : faces;
    }
    vertices.reserve(vertexTotal);
    triangles.reserve(triangleTotal);
    // The records in a few large blocks rather than one chunk of 16 at a
    // time; a failed reservation leaves take() to allocate chunk by chunk.
    vtxPool.reserve(static_cast<long>(vertexTotal));
    triPool.reserve(static_cast<long>(triangleTotal));
    hePool.reserve(3 * static_cast<long>(triangleTotal));
    // A second thread faults in the fresh records of a large model from the
    // bottom while the build fills them from the top: half-edges and
    // triangles first, as the vertices of an object are written before its
    // triangles.
    std::unique_ptr<PagePopulator> populator;
    if (triangleTotal >= kPopulateTriangles)
      populator = std::make_unique<PagePopulator>(
          std::vector<std::pair<char*, char*>>{hePool.untaken(), triPool.untaken(), vtxPool.untaken()});
    // Outgoing half-edges per vertex, counted as triangles are added.
    edgeStart.assign(vertexTotal + 1, 0);

    std::vector<HeVertex*> corners;
    // Whether every object is a closed surface of triangles, each face one
    // triangle: then the winged edges name the twins (first triangle of each
    // object in `firstTriangle`).
    bool closedTriangles = true;
    std::vector<int32_t> firstTriangle;
    for (const WeObject& object : model.objects) {
      const int base = static_cast<int>(vertices.size());
      const int count = static_cast<int>(object.vertices.size());
      for (const WeVertex& v : object.vertices) addVertex(v.position);
      firstTriangle.push_back(static_cast<int32_t>(triangles.size()));
      if (!edgeLinksInRange(object)) {
        std::printf("SbHeModelHQ::build: object %d has broken edge links, its faces are skipped\n", object.number);
        closedTriangles = false;
        continue;
      }
      for (int f = 0; f < static_cast<int>(object.faces.size()); ++f) {
        corners.clear();
        bool named = true;
        object.walkFace(f, [&](int v, int) {
          if (v < 0 || v >= count)
            named = false;
          else
            corners.push_back(vertices[base + v]);
        });
        if (!named) {
          closedTriangles = false;
          continue;
        }
        // A fan, as the subdivision splits polygons.
        const std::size_t before = triangles.size();
        const int n = static_cast<int>(corners.size());
        const int apex = fanApex(n, [&](int k) { return corners[k]->position; });
        for (int k = 2; k < n; ++k) {
          HeVertex* a = corners[apex];
          HeVertex* b = corners[(apex + k - 1) % n];
          HeVertex* c = corners[(apex + k) % n];
          if (a != b && b != c && c != a) addTriangle(a, b, c);
        }
        closedTriangles = closedTriangles && triangles.size() == before + 1;
      }
    }
    if (!closedTriangles || !twinsFromEdges(model, firstTriangle)) buildEdgeMap();
    link();
    // The map is needed again only for findHalfEdge(), which no stage calls:
    // 38 MB at a million triangles are better given back until then.
    release(edgeStart);
    release(edgeEnd);
    release(edgeHalf);
  } catch (const std::bad_alloc&) {
    releaseRecords();
    std::printf("SbHeModelHQ::build: out of memory\n");
    stamp = drawChangeStamp();
    return;
  }
  computeNormals();
  valid = true;
  // A build is always a change, also of a model that was empty before.
  stamp = drawChangeStamp();
}

void SbHeModelHQ::addVertex(const SbVec3f& position) {
  HeVertex* v = takeRecord(vtxPool);
  const int32_t index = static_cast<int32_t>(vertices.size());
  try {
    vertices.push_back(v);
  } catch (...) {
    vtxPool.giveBack(v);
    throw;
  }
  new (v) HeVertex{index, position, SbVec3f(0, 0, 0), nullptr};
  if (index == 0) {
    bboxMin = bboxMax = position;
  } else {
    for (int i = 0; i < 3; ++i) {
      bboxMin[i] = std::min(bboxMin[i], position[i]);
      bboxMax[i] = std::max(bboxMax[i], position[i]);
    }
  }
  lastVertex = index;
}

void SbHeModelHQ::addTriangle(HeVertex* a, HeVertex* b, HeVertex* c) {
  HeTriangle* t = takeRecord(triPool);
  HalfEdge* h[3] = {nullptr, nullptr, nullptr};
  try {
    for (HalfEdge*& e : h) e = takeRecord(hePool);
    triangles.push_back(t);
  } catch (...) {
    for (HalfEdge* e : h)
      if (e) hePool.giveBack(e);
    triPool.giveBack(t);
    throw;
  }
  const int32_t index = static_cast<int32_t>(triangles.size()) - 1;
  // The normal is taken here, while the corners are at hand; each vertex
  // sums the unit normals of its triangles (normalised after linking).
  float n[3];
  cross(b->position - a->position, c->position - a->position, n);
  normalise(n);
  new (t) HeTriangle{index, SbVec3f(n), {a, b, c}, h[0]};
  HeVertex* corner[3] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    HeVertex* v = corner[i];
    new (h[i]) HalfEdge{corner[(i + 1) % 3], h[(i + 1) % 3], nullptr, t};
    if (!v->halfEdge) v->halfEdge = h[i];
    float* sum = &v->normal[0];
    sum[0] += n[0];
    sum[1] += n[1];
    sum[2] += n[2];
    ++edgeStart[v->index + 1];
  }
  innerHalfEdges += 3;
  lastTriangle = index;
}

void SbHeModelHQ::buildEdgeMap() {
  fillEdgeMap(true);
  // Pair each listed directed edge with its opposite, walking the lists in
  // vertex order (each pair once, from its lower-numbered vertex).
  const int32_t nv = static_cast<int32_t>(vertices.size());
  for (int32_t v = 0; v < nv; ++v) {
    for (int32_t i = edgeStart[v]; i < edgeStart[v + 1]; ++i) {
      if (edgeEnd[i] < v) continue;
      if (HalfEdge* opposite = findInner(edgeEnd[i], v)) {
        edgeHalf[i]->twin = opposite;
        opposite->twin = edgeHalf[i];
      }
    }
  }
}

bool SbHeModelHQ::twinsFromEdges(const SbWingedEdgeModel& model, const std::vector<int32_t>& firstTriangle) {
  // The half-edge of triangle t from a to b, or null.
  auto along = [](HeTriangle* t, const HeVertex* a, const HeVertex* b) -> HalfEdge* {
    HalfEdge* h = t->halfEdge;
    for (int k = 0; k < 3; ++k, h = h->next)
      if (t->vertex[k] == a && t->vertex[(k + 1) % 3] == b) return h;
    return nullptr;
  };
  bool paired = true;
  int32_t vertexBase = 0;
  for (std::size_t o = 0; o < model.objects.size() && paired; ++o) {
    const WeObject& object = model.objects[o];
    const int32_t faces = static_cast<int32_t>(object.faces.size());
    const int32_t vertexCount = static_cast<int32_t>(object.vertices.size());
    for (const WeEdge& e : object.edges) {
      // Every edge between two faces that run it in opposite directions; a
      // boundary or anything else is left to the edge map.
      if (e.face[0] < 0 || e.face[1] < 0 || e.face[0] >= faces || e.face[1] >= faces || e.vertex[0] < 0 ||
          e.vertex[1] < 0 || e.vertex[0] >= vertexCount || e.vertex[1] >= vertexCount) {
        paired = false;
        break;
      }
      HeTriangle* t0 = triangles[firstTriangle[o] + e.face[0]];
      HeTriangle* t1 = triangles[firstTriangle[o] + e.face[1]];
      const HeVertex* u = vertices[vertexBase + e.vertex[0]];
      const HeVertex* v = vertices[vertexBase + e.vertex[1]];
      HalfEdge* h0 = along(t0, u, v);
      HalfEdge* h1 = h0 ? along(t1, v, u) : nullptr;
      if (!h0) {
        h0 = along(t0, v, u);
        h1 = h0 ? along(t1, u, v) : nullptr;
      }
      if (!h1 || h0->twin || h1->twin) {
        paired = false;
        break;
      }
      h0->twin = h1;
      h1->twin = h0;
    }
    vertexBase += vertexCount;
  }
  if (paired) return true;
  for (HeTriangle* t : triangles) {
    HalfEdge* h = t->halfEdge;
    for (int k = 0; k < 3; ++k, h = h->next) h->twin = nullptr;
  }
  return false;
}

void SbHeModelHQ::restoreEdgeMap() const {
  if (!edgeStart.empty() || triangles.empty()) return;
  edgeStart.assign(vertices.size() + 1, 0);
  for (const HeTriangle* t : triangles)
    for (const HeVertex* v : t->vertex) ++edgeStart[v->index + 1];
  fillEdgeMap(false);
}

void SbHeModelHQ::fillEdgeMap(bool markRepeats) const {
  const int32_t nv = static_cast<int32_t>(vertices.size());
  for (int32_t v = 0; v < nv; ++v) edgeStart[v + 1] += edgeStart[v];
  edgeEnd.resize(edgeStart[nv]);
  edgeHalf.resize(edgeStart[nv]);
  std::vector<int32_t> fill(edgeStart.begin(), edgeStart.end() - 1);
  for (HeTriangle* t : triangles) {
    HalfEdge* h = t->halfEdge;
    const int32_t corner[3] = {t->vertex[0]->index, t->vertex[1]->index, t->vertex[2]->index};
    for (int i = 0; i < 3; ++i) {
      const int32_t slot = fill[corner[i]]++;
      edgeEnd[slot] = corner[(i + 1) % 3];
      edgeHalf[slot] = h;
      h = h->next;
    }
  }
  release(fill);

  // Sort each vertex's list by end vertex, keeping triangle order among equal
  // ends; a repeated directed edge stays listed by its first triangle only.
  std::vector<std::pair<int32_t, HalfEdge*>> scratch;
  int32_t write = 0;
  for (int32_t v = 0; v < nv; ++v) {
    const int32_t begin = edgeStart[v], end = edgeStart[v + 1];
    const int32_t n = end - begin;
    if (n <= linearSearchLength) {
      for (int32_t i = begin + 1; i < end; ++i) {
        const int32_t key = edgeEnd[i];
        HalfEdge* h = edgeHalf[i];
        int32_t j = i;
        for (; j > begin && edgeEnd[j - 1] > key; --j) {
          edgeEnd[j] = edgeEnd[j - 1];
          edgeHalf[j] = edgeHalf[j - 1];
        }
        edgeEnd[j] = key;
        edgeHalf[j] = h;
      }
    } else {
      scratch.clear();
      for (int32_t i = begin; i < end; ++i) scratch.emplace_back(edgeEnd[i], edgeHalf[i]);
      std::stable_sort(scratch.begin(), scratch.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
      for (int32_t i = 0; i < n; ++i) {
        edgeEnd[begin + i] = scratch[i].first;
        edgeHalf[begin + i] = scratch[i].second;
      }
    }
    edgeStart[v] = write;
    for (int32_t i = begin; i < end; ++i) {
      if (i > begin && edgeEnd[i] == edgeEnd[i - 1]) {
        if (markRepeats) edgeHalf[i]->twin = &repeatedEdge;
        continue;
      }
      edgeEnd[write] = edgeEnd[i];
      edgeHalf[write] = edgeHalf[i];
      ++write;
    }
  }
  edgeStart[nv] = write;
  edgeEnd.resize(write);
  edgeHalf.resize(write);
}

HalfEdge* SbHeModelHQ::findInner(int32_t start, int32_t end) const {
  if (start < 0 || start + 1 >= static_cast<int32_t>(edgeStart.size())) return nullptr;
  const int32_t begin = edgeStart[start], stop = edgeStart[start + 1];
  if (stop - begin <= linearSearchLength) {
    for (int32_t i = begin; i < stop; ++i)
      if (edgeEnd[i] == end) return edgeHalf[i];
    return nullptr;
  }
  auto first = edgeEnd.begin() + begin, last = edgeEnd.begin() + stop;
  auto it = std::lower_bound(first, last, end);
  return it != last && *it == end ? edgeHalf[it - edgeEnd.begin()] : nullptr;
}

HalfEdge* SbHeModelHQ::findHalfEdge(const HeVertex* start, const HeVertex* end) const {
  if (!start || !end) return nullptr;
  restoreEdgeMap();
  if (HalfEdge* h = findInner(start->index, end->index)) return h;
  // Boundary half-edges are the twins of inner half-edges without an inner
  // opposite.
  HalfEdge* opposite = findInner(end->index, start->index);
  if (opposite && opposite->twin && !opposite->twin->triangle) return opposite->twin;
  return nullptr;
}

void SbHeModelHQ::link() {
  // Triangles are linked last to first, so a boundary vertex ends up with
  // the boundary-leaving half-edge of its lowest-numbered triangle.
  for (auto it = triangles.rbegin(); it != triangles.rend(); ++it) {
    HeTriangle* t = *it;
    HalfEdge* h[3];
    h[0] = t->halfEdge;
    h[1] = h[0]->next;
    h[2] = h[1]->next;
    // The inner twins were paired with the edge map; the rest get boundary
    // twins below.
    HalfEdge* opposite[3];
    for (int i = 0; i < 3; ++i) {
      opposite[i] = h[i]->twin;
      if (opposite[i] == &repeatedEdge) {
        // A directed edge repeated by this triangle has no inner twin: it is
        // a boundary edge of this triangle.
        h[i]->twin = opposite[i] = nullptr;
      }
    }
    for (int i = 0; i < 3; ++i) {
      const int p = (i + 2) % 3;
      if (!opposite[i]) t->vertex[i]->halfEdge = h[i];
      if (!opposite[p]) {
        // h[p] reversed: from h[i]'s start to h[p]'s start.
        HalfEdge* b = takeRecord(hePool);
        new (b) HalfEdge{t->vertex[p], nullptr, h[p], nullptr};
        h[p]->twin = b;
        ++boundaryHalfEdges;
      }
    }
  }
}

void SbHeModelHQ::computeNormals() {
  // Unweighted mean of the adjacent triangle normals, summed in addTriangle.
  for (HeVertex* v : vertices) normalise(&v->normal[0]);
}

int SbHeModelHQ::valence(const HeVertex* vertex) const {
  if (!vertex || !vertex->halfEdge) return 0;
  const HalfEdge* first = vertex->halfEdge;
  const HalfEdge* h = first;
  // Each half-edge has at most one ring predecessor, so the walk ends at
  // null or back at the first; the bound is a second line of defence.
  const int bound = halfEdgeCount();
  int count = 0;
  do {
    ++count;
    h = h->ring();
  } while (h && h != first && count < bound);
  return count;
}

void SbHeModelHQ::triangleCoordinates(const HeTriangle* triangle, const SbVec3f& point, float& u, float& v) {
  const SbVec3f& a = triangle->vertex[0]->position;
  const SbVec3f e1 = triangle->vertex[1]->position - a;
  const SbVec3f e2 = triangle->vertex[2]->position - a;
  const SbVec3f& n = triangle->normal;
  const SbVec3f m = n.cross(e2);
  const float denominator = e1.dot(m);
  if (denominator == 0.0f || !std::isfinite(denominator)) {
    u = v = 0.0f;
    return;
  }
  const float s = 1.0f / denominator;
  const SbVec3f d = point - a;
  u = d.dot(m) * s;
  v = n.dot(d.cross(e1)) * s;
}

float SbHeModelHQ::size() const {
  if (lastVertex < 0) return 0.0f;
  const SbVec3f extent = bboxMax - bboxMin;
  return std::max(extent[0], std::max(extent[1], extent[2]));
}

std::size_t SbHeModelHQ::memoryUse() const {
  return static_cast<std::size_t>(halfEdgeCount()) * hePool.elementSize() + vertices.size() * vtxPool.elementSize() +
         triangles.size() * triPool.elementSize() + vertices.capacity() * sizeof(HeVertex*) +
         triangles.capacity() * sizeof(HeTriangle*) + edgeStart.capacity() * sizeof(int32_t) +
         edgeEnd.capacity() * sizeof(int32_t) + edgeHalf.capacity() * sizeof(HalfEdge*);
}
