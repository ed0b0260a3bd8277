#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"

namespace {

// A model of one object whose faces share no edges: each face gets its own
// edges, so the faces keep exactly the corner order given.
SbWingedEdgeModel soupModel(const std::vector<SbVec3f>& positions, const std::vector<std::vector<int>>& faces) {
  SbWingedEdgeModel m;
  WeObject& o = m.objects.emplace_back();
  for (size_t i = 0; i < positions.size(); ++i) {
    o.vertices.emplace_back().index = static_cast<int>(i);
    o.vertices.back().position = positions[i];
  }
  for (size_t f = 0; f < faces.size(); ++f) {
    const std::vector<int>& c = faces[f];
    const int first = static_cast<int>(o.edges.size()), n = static_cast<int>(c.size());
    for (int k = 0; k < n; ++k) {  // the first face runs an edge from its second vertex to its first
      WeEdge& e = o.edges.emplace_back();
      e.id = first + k;
      e.vertex[0] = c[(k + 1) % n];
      e.vertex[1] = c[k];
      e.face[0] = static_cast<int>(f);
      e.wing[0] = first + (k + 1) % n;
    }
    WeFace& face = o.faces.emplace_back();
    face.id = static_cast<int>(f);
    face.firstEdge = first + n - 1;  // the walk starts at c[0]
  }
  return m;
}

const std::vector<SbVec3f> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

std::vector<int> cornerIndices(const HeTriangle* t) {
  return {t->vertex[0]->index, t->vertex[1]->index, t->vertex[2]->index};
}

// The structural invariants of a built model; they must hold on any input:
// next-cycles of three around each triangle, mutual twins, rings around the
// start vertex that end, every half-edge reachable from a triangle.
void expectInvariants(const SbHeModelHQ& m) {
  ASSERT_EQ(std::make_tuple(m.valid, m.lastVertex, m.lastTriangle),
            std::make_tuple(true, m.vertexCount() - 1, m.triangleCount() - 1));
  for (int i = 0; i < m.vertexCount(); ++i) ASSERT_EQ(m.vertices[i]->index, i);
  std::set<const HalfEdge*> all;  // inner half-edges and their twins
  for (int i = 0; i < m.triangleCount(); ++i) {
    const HeTriangle* t = m.triangles[i];
    ASSERT_EQ(t->index, i);
    const HalfEdge* h = t->halfEdge;
    for (int k = 0; k < 3; ++k, h = h->next) {
      ASSERT_NE(h, nullptr);
      EXPECT_TRUE(h->triangle == t && h->end == t->vertex[(k + 1) % 3] && h->start() == t->vertex[k]);
      all.insert({h, h->twin});
    }
    EXPECT_EQ(h, t->halfEdge) << "next-cycle of triangle " << i << " is not of length 3";
  }
  EXPECT_EQ(static_cast<int>(all.size()), m.halfEdgeCount());
  int boundary = 0;
  for (const HalfEdge* h : all) {
    ASSERT_NE(h->twin, nullptr);
    EXPECT_EQ(h->twin->twin, h) << "twins not mutual";
    EXPECT_NE(h->end, h->twin->end);
    if (h->isBoundary()) {
      ++boundary;
      EXPECT_TRUE(h->ring() == nullptr && h->next == nullptr && !h->twin->isBoundary());
      continue;
    }
    ASSERT_EQ(all.count(h->ring()), 1u);
    EXPECT_EQ(h->ring()->start(), h->start()) << "ring leaves the start vertex";
    int steps = 0;
    for (const HalfEdge* r = h->ring(); r && r != h && steps <= m.halfEdgeCount(); r = r->ring()) ++steps;
    EXPECT_LE(steps, m.halfEdgeCount()) << "ring walk does not end";
  }
  EXPECT_EQ(boundary, m.boundaryHalfEdgeCount());
  EXPECT_EQ(3 * m.triangleCount(), m.halfEdgeCount() - boundary);
  for (const HeVertex* v : m.vertices) {
    EXPECT_TRUE(std::isfinite(v->normal[0]) && std::isfinite(v->normal[1]) && std::isfinite(v->normal[2]));
    EXPECT_TRUE(!v->halfEdge || v->halfEdge->start() == v);
  }
}

// Records taken from the half-edge, vertex and triangle pools.
std::array<int, 3> live() {
  return {SbHeModelHQ::hePool.live(), SbHeModelHQ::vtxPool.live(), SbHeModelHQ::triPool.live()};
}

}  // namespace

// The invariants, the Euler characteristic, unit normals and the walk around
// every vertex on every test mesh; records go back to the pools.
TEST(HeModel, InvariantsHoldOnEveryTestMesh) {
  const std::array<int, 3> before = live();
  for (const testmesh::NamedMesh& c : testmesh::catalogue()) {
    SCOPED_TRACE(c.name);
    SbHeModelHQ m;
    m.build(testmesh::model(c.mesh));
    expectInvariants(m);
    EXPECT_EQ(m.vertexCount() - m.halfEdgeCount() / 2 + m.triangleCount(), c.euler);
    EXPECT_EQ(m.boundaryHalfEdgeCount() == 0, c.closed);
    EXPECT_EQ(live(), (std::array<int, 3>{before[0] + m.halfEdgeCount(), before[1] + m.vertexCount(),
                                          before[2] + m.triangleCount()}));
    for (const HeVertex* v : m.vertices) {
      // Around an inner vertex the walk meets one half-edge per triangle and
      // returns to its start; at the boundary it also meets the boundary one.
      int corners = 0, n = 0;
      for (const HeTriangle* t : m.triangles) corners += std::count(t->vertex, t->vertex + 3, v);
      const HalfEdge* h = v->halfEdge;
      do {
        h = h->ring();
        ++n;
      } while (h && h != v->halfEdge && n <= m.halfEdgeCount());
      EXPECT_EQ(n, corners + (h ? 0 : 1));
      EXPECT_TRUE(h || v->halfEdge->twin->isBoundary()) << "walk does not start at the boundary";
      EXPECT_EQ(m.valence(v), n);
      EXPECT_NEAR(v->normal.length(), 1.0f, 1e-5f);
      for (h = v->halfEdge; h; h = h->ring() == v->halfEdge ? nullptr : h->ring())
        EXPECT_EQ(m.findHalfEdge(v, h->end), h);
    }
    m.build(testmesh::model(testmesh::icosphere(1)));  // a rebuild gives the old records back
    EXPECT_EQ(live()[0] - before[0], m.halfEdgeCount());
  }
  EXPECT_EQ(live(), before);
}

TEST(HeModel, TriangleAndTetrahedronNormalsAndBounds) {
  SbHeModelHQ m;
  m.build(testmesh::model(testmesh::singleTriangle()));
  for (const HeVertex* v : m.vertices) EXPECT_NEAR(std::fabs(v->normal[2]), 1.0f, 1e-6f);
  EXPECT_NEAR(std::fabs(m.triangles[0]->normal[2]), 1.0f, 1e-6f);
  EXPECT_EQ(std::make_tuple(m.bboxMin, m.bboxMax, m.size()), std::make_tuple(SbVec3f(0, 0, 0), SbVec3f(1, 1, 0), 1.0f));
  // Regular tetrahedron about the origin: the mean of the three face normals
  // points along the vertex position, and the face normals outwards.
  m.build(testmesh::model(testmesh::tetrahedron()));
  for (const HeVertex* v : m.vertices) EXPECT_NEAR(v->normal.dot(v->position) / v->position.length(), 1.0f, 1e-5f);
  for (const HeTriangle* t : m.triangles)
    EXPECT_GT(t->normal.dot(t->vertex[0]->position + t->vertex[1]->position + t->vertex[2]->position), 0.0f);
}

// Polygons become fans from their first corner; objects keep their own vertices.
TEST(HeModel, PolygonBecomesFanFromItsFirstCornerAndObjectsKeepTheirVertices) {
  SbHeModelHQ m;
  m.build(soupModel({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}}, {{0, 1, 2, 3, 4}}));
  expectInvariants(m);
  ASSERT_EQ(std::make_pair(m.triangleCount(), m.boundaryHalfEdgeCount()), std::make_pair(3, 5));  // inner diagonals
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cornerIndices(m.triangles[i]), (std::vector<int>{0, i + 1, i + 2}));
  const PolyMesh tri = testmesh::singleTriangle();
  m.build(testmesh::model({&tri, &tri}));
  expectInvariants(m);
  ASSERT_EQ(std::make_tuple(m.triangleCount(), m.vertexCount(), m.boundaryHalfEdgeCount()), std::make_tuple(2, 6, 6));
  EXPECT_EQ(cornerIndices(m.triangles[1]), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(m.vertices[1]->position, m.vertices[4]->position);
}

// A change of the model, even to or from an empty one, draws a new stamp;
// clearing an empty model changes nothing.
TEST(HeModel, EveryBuildAndClearDrawsANewStamp) {
  const std::array<int, 3> before = live();
  SbHeModelHQ m;
  EXPECT_TRUE(!m.valid && m.lastVertex == -1 && m.lastTriangle == -1);
  uint32_t s = m.stamp;
  m.clear();
  EXPECT_EQ(m.stamp, s);
  const SbWingedEdgeModel tetra = testmesh::model(testmesh::tetrahedron()), empty;
  for (const SbWingedEdgeModel* input : {&tetra, &tetra, &empty}) {
    s = m.stamp;
    m.build(*input);
    EXPECT_TRUE(m.valid && m.stamp != s);
    s = m.stamp;
    m.clear();
    EXPECT_NE(m.stamp, s);
    EXPECT_TRUE(!m.valid && m.vertexCount() == 0 && m.lastVertex == -1);
    EXPECT_EQ(live(), before);
  }
}

TEST(HeModel, TriangleCoordinatesReproduceThePoint) {
  SbHeModelHQ m;
  m.build(soupModel({{0.3f, -0.2f, 0.5f}, {2.0f, 0.4f, 0.1f}, {0.7f, 1.9f, -0.6f}}, {{0, 1, 2}}));
  const HeTriangle* t = m.triangles[0];
  const SbVec3f a = t->vertex[0]->position, e1 = t->vertex[1]->position - a, e2 = t->vertex[2]->position - a;
  for (float u0 : {0.0f, 0.25f, 1.0f, -0.5f})
    for (float v0 : {0.0f, 0.6f, 1.5f}) {
      float u, v;  // off the plane along the normal: the projection is what counts
      SbHeModelHQ::triangleCoordinates(t, a + e1 * u0 + e2 * v0 + t->normal * 0.37f, u, v);
      EXPECT_TRUE(std::fabs(u - u0) < 1e-5f && std::fabs(v - v0) < 1e-5f) << u << " " << v;
    }
}

// Faults in the input: the model stays well formed, every walk ends and
// nothing leaks.
TEST(HeModelBadInput, FaultyFacesKeepTheModelWellFormed) {
  std::vector<SbVec3f> random;
  std::vector<std::vector<int>> soup;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(-1, 1);
  for (int i = 0; i < 9; ++i) random.emplace_back(coord(rng), coord(rng), coord(rng));
  std::uniform_int_distribution<int> pick(0, 8);
  for (int i = 0; i < 300; ++i) {
    soup.emplace_back();
    for (int k = 0; k < 3 + i % 3; ++k) soup.back().push_back(pick(rng));
  }
  const struct {
    const char* name;
    SbWingedEdgeModel model;
    int triangles;  // -1: many
    std::vector<int> first;
  } cases[] = {
      {"edge of three faces", testmesh::model(testmesh::nonManifoldFan()), 3, {}},
      {"four faces on one edge",
       soupModel({{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}},
                 {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {1, 0, 5}}),
       4,
       {}},
      {"random soup", soupModel(random, soup), -1, {}},
      {"missing vertices", soupModel(kTriangle, {{0, 1, 7}, {0, -1, 2}, {0, 1, 2}}), 1, {0, 1, 2}},
      // The fan of (0 1 1 2) is (0 1 1), dropped, and (0 1 2).
      {"repeated corners", soupModel(kTriangle, {{0, 1, 1, 2}, {2, 2, 0}}), 1, {0, 1, 2}},
  };
  const std::array<int, 3> before = live();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SbHeModelHQ m;
    m.build(c.model);
    expectInvariants(m);
    if (c.triangles < 0)
      EXPECT_GT(m.triangleCount(), 100);
    else
      ASSERT_EQ(m.triangleCount(), c.triangles);
    for (const HeVertex* v : m.vertices) EXPECT_LE(m.valence(v), m.halfEdgeCount());
    EXPECT_TRUE(c.first.empty() || cornerIndices(m.triangles[0]) == c.first);
  }
  EXPECT_EQ(live(), before);
  // Both triangles run 0 -> 1, their orientations disagree: the later one's
  // edge becomes a boundary of its own.
  SbHeModelHQ m;
  m.build(soupModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}}, {{0, 1, 2}, {0, 1, 3}}));
  expectInvariants(m);
  ASSERT_EQ(std::make_pair(m.triangleCount(), m.boundaryHalfEdgeCount()), std::make_pair(2, 6));
  const HalfEdge *first = m.triangles[0]->halfEdge, *repeated = m.triangles[1]->halfEdge;
  ASSERT_TRUE(first->end->index == 1 && repeated->end->index == 1);
  EXPECT_TRUE(first->twin->isBoundary() && repeated->twin->isBoundary());
  EXPECT_NE(first->twin, repeated->twin);
  EXPECT_EQ(m.findHalfEdge(m.vertices[0], m.vertices[1]), first);
}

TEST(HeModelBadInput, FlatTrianglesAndLoneVerticesGetZeroNormals) {
  SbHeModelHQ m;
  m.build(soupModel({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {5, 5, 5}}, {{0, 1, 2}}));
  expectInvariants(m);
  ASSERT_EQ(m.triangleCount(), 1);
  EXPECT_EQ(m.triangles[0]->normal, SbVec3f(0, 0, 0));
  for (const HeVertex* v : m.vertices) EXPECT_EQ(v->normal, SbVec3f(0, 0, 0));
  EXPECT_TRUE(m.vertices[3]->halfEdge == nullptr && m.valence(m.vertices[3]) == 0);
  float u = 1, v = 1;
  SbHeModelHQ::triangleCoordinates(m.triangles[0], SbVec3f(0.5f, 0, 0), u, v);
  EXPECT_TRUE(u == 0.0f && v == 0.0f);
  EXPECT_EQ(m.bboxMax, SbVec3f(5, 5, 5));
}

TEST(HeModelBadInput, BrokenEdgeLinksSkipTheObjectsFaces) {
  SbWingedEdgeModel we = soupModel(kTriangle, {{0, 1, 2}});
  we.objects[0].number = 3;
  we.objects[0].edges[1].wing[0] = 99;
  SbHeModelHQ m;
  testing::internal::CaptureStdout();
  m.build(we);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbHeModelHQ::build: object 3 has broken edge links, its faces are skipped\n");
  expectInvariants(m);
  EXPECT_EQ(std::make_pair(m.vertexCount(), m.triangleCount()), std::make_pair(3, 0));
}
