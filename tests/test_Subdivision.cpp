#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbSubdivision.h"

namespace {

using S = SbSubdivision;
using testmesh::euler;
using testmesh::sharpEdges;

WeObject object(const PolyMesh& mesh) { return testmesh::model(mesh).objects[0]; }

std::vector<int> faceSizes(const WeObject& o) {
  std::vector<int> sizes;
  for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) sizes.push_back(testmesh::corners(o, f).size());
  return sizes;
}

void expectNear(const SbVec3f& a, const SbVec3f& b, float eps = 1e-6f) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], eps) << "coordinate " << i;
}

// The old vertices are where they were.
void expectOldVerticesKept(const WeObject& o, const WeObject& before) {
  for (size_t v = 0; v < before.vertices.size(); ++v)
    expectNear(o.vertices[v].position, before.vertices[v].position, 0);
}

}  // namespace

// ------------------------------------------------------------- counts and topology

// Loop and Butterfly split the fan triangles 1-to-4, Catmull-Clark makes a
// quad per corner, Doo-Sabin a face per face, edge and vertex of a closed
// surface; Butterfly interpolates. The estimate of two steps is exact.
TEST(SubdivisionTopology, FacesOfOneStepAndTheEstimateOfTwo) {
  for (const testmesh::NamedMesh& c : testmesh::catalogue()) {
    SCOPED_TRACE(c.name);
    const SbWingedEdgeModel model = testmesh::model(c.mesh);
    const WeObject& before = model.objects[0];
    int corners = 0;
    for (int n : faceSizes(before)) corners += n;
    const size_t fanTriangles = corners - 2 * before.faces.size();
    for (int scheme : {S::DOO_SABIN, S::CATMULL_CLARK, S::LOOP, S::BUTTERFLY}) {
      if (scheme == S::DOO_SABIN && !c.closed) continue;
      SCOPED_TRACE(scheme);
      WeObject o = before;
      S::step(o, scheme, true);
      const std::vector<int> sizes = faceSizes(o);
      const int sides = scheme == S::CATMULL_CLARK ? 4 : 3;
      if (scheme == S::DOO_SABIN)
        EXPECT_EQ(o.faces.size(), before.faces.size() + before.edges.size() + before.vertices.size());
      else
        EXPECT_EQ(o.faces.size(), scheme == S::CATMULL_CLARK ? size_t(corners) : 4 * fanTriangles);
      EXPECT_TRUE(scheme == S::DOO_SABIN || std::count(sizes.begin(), sizes.end(), sides) == long(sizes.size()));
      if (scheme == S::BUTTERFLY) expectOldVerticesKept(o, before);
      const double estimate = S::estimateFaces(model, scheme, 2);
      S::step(o, scheme, true);
      EXPECT_EQ(estimate, static_cast<double>(o.faces.size()));
    }
  }
  // Open 3 x 3 quad grid: 9 faces, 12 inner edges, 4 inner vertices; the
  // estimate counts the first Doo-Sabin step of an open mesh exactly.
  SbWingedEdgeModel grid = testmesh::model(testmesh::grid(3, 3, 1.0f, false));
  const double estimate = S::estimateFaces(grid, S::DOO_SABIN, 1);
  S::step(grid.objects[0], S::DOO_SABIN, true);
  EXPECT_EQ(std::make_tuple(grid.objects[0].faces.size(), estimate, euler(grid.objects[0])),
            std::make_tuple(25ul, 25.0, 1));
}

TEST(SubdivisionMemory, RefusedStepsAndUnknownSchemesLeaveTheModelWithAMessage) {
  SbWingedEdgeModel model = testmesh::model(testmesh::tetrahedron());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(S::fitsMemory(model, S::LOOP, 99));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("SoModifyWingedEdge: 99 subdivision steps would make ", 0), 0u) << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line";
  EXPECT_NE(out.find("; refused\n"), std::string::npos) << out;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(S::fitsMemory(model, S::LOOP, 2));
  EXPECT_TRUE(S::fitsMemory(model, S::DOO_SABIN, 0));
  EXPECT_TRUE(S::fitsMemory(model, S::DOO_SABIN, -3));
  EXPECT_TRUE(S::fitsMemory(SbWingedEdgeModel(), S::LOOP, 2000000000));  // nothing to grow
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_GT(S::faceBudget(), 1e5);
  WeObject o = object(testmesh::cube());
  testing::internal::CaptureStdout();
  S::step(o, 7, true);
  S::adaptiveStep(o, S::CATMULL_CLARK, 45.0f);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbSubdivision::step: unknown scheme 7\nSbSubdivision::adaptiveStep: unknown scheme 2\n");
  EXPECT_EQ(o.faces.size(), 6u);
}

// ------------------------------------------------------------- positions

TEST(SubdivisionPositions, DividingPlacesNewVerticesLinearly) {
  for (int scheme : {S::LOOP, S::BUTTERFLY, S::CATMULL_CLARK}) {
    const WeObject before = object(testmesh::saddle(4, 1.0f));
    WeObject o = before;
    S::step(o, scheme, false);
    expectOldVerticesKept(o, before);
    for (size_t e = 0; e < before.edges.size(); ++e) {
      const WeEdge& edge = before.edges[e];
      expectNear(o.vertices[before.vertices.size() + e].position,
                 (before.vertices[edge.vertex[0]].position + before.vertices[edge.vertex[1]].position) * 0.5f);
    }
  }
  // A planar grid stays planar under every dividing and smoothing step.
  for (int scheme : {S::DOO_SABIN, S::CATMULL_CLARK, S::LOOP, S::BUTTERFLY})
    for (bool smooth : {false, true}) {
      WeObject o = object(testmesh::grid(4, 3, 1.0f, scheme != S::CATMULL_CLARK));
      S::step(o, scheme, smooth);
      S::step(o, scheme, smooth);
      for (const WeVertex& v : o.vertices) ASSERT_EQ(v.position[2], 0.0f) << "scheme " << scheme;
    }
}

// z = x^2 - y^2 sampled on a regular grid (inner valence 6): the Butterfly
// edge points between inner vertices land on the surface.
TEST(SubdivisionPositions, ButterflyReproducesAQuadraticOnARegularGrid) {
  const WeObject before = object(testmesh::saddle(8, 1.0f));
  WeObject o = before;
  auto inner = [&](int v) {
    const SbVec3f& p = before.vertices[v].position;
    return std::fabs(p[0]) < 0.99f && std::fabs(p[1]) < 0.99f;
  };
  S::step(o, S::BUTTERFLY, true);
  int checked = 0;
  for (size_t e = 0; e < before.edges.size(); ++e) {
    if (!inner(before.edges[e].vertex[0]) || !inner(before.edges[e].vertex[1])) continue;
    const SbVec3f& p = o.vertices[before.vertices.size() + e].position;
    EXPECT_NEAR(p[2], p[0] * p[0] - p[1] * p[1], 1e-5f) << "edge " << e;
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

// On icosphere(1) the twelve old vertices (0 to 11) have valence 5 and their
// neighbours valence 6: the edge points next to them use the extraordinary
// stencil of the old vertex alone. Its neighbours form a regular pentagon of
// centre c, where the weights sum to 3/4 p + 1/2 q - 1/4 c for neighbour q.
// Vertex 0 must count as a vertex like any other.
TEST(SubdivisionPositions, ButterflyUsesTheExtraordinaryStencilAtEveryOldVertex) {
  const WeObject before = object(testmesh::icosphere(1));
  WeObject o = before;
  const int nv = static_cast<int>(before.vertices.size());
  S::step(o, S::BUTTERFLY, true);
  for (int v = 0; v < 12; ++v) {
    SCOPED_TRACE(v);
    const int begin = before.edgesAtVertexBegin(v), end = before.edgesAtVertexEnd(v);
    ASSERT_EQ(end - begin, 5);
    SbVec3f centre(0, 0, 0);
    for (int i = begin; i < end; ++i)
      centre += before.vertices[before.edges[before.vertexEdges[i]].other(v)].position * 0.2f;
    for (int i = begin; i < end; ++i) {
      const int e = before.vertexEdges[i];
      const SbVec3f& q = before.vertices[before.edges[e].other(v)].position;
      expectNear(o.vertices[nv + e].position, before.vertices[v].position * 0.75f + q * 0.5f - centre * 0.25f, 1e-5f);
    }
  }
}

// Both ends have valence 3: the mean of 3/4 p + 5/12 q - 1/12 (r + s) from
// either end is 7/12 (a + b) - 1/12 (c + d); the corners sum to zero, so the
// point is 2/3 (a + b), outside the midpoint (a + b) / 2.
TEST(SubdivisionPositions, ButterflyUsesTheValenceThreeStencilOnATetrahedron) {
  const WeObject before = object(testmesh::tetrahedron());
  WeObject o = before;
  S::step(o, S::BUTTERFLY, true);
  for (size_t e = 0; e < before.edges.size(); ++e) {
    const WeEdge& edge = before.edges[e];
    const SbVec3f sum = before.vertices[edge.vertex[0]].position + before.vertices[edge.vertex[1]].position;
    expectNear(o.vertices[before.vertices.size() + e].position, sum * (2.0f / 3.0f));
  }
}

// One vertex after one step of each scheme's mask, worked out by hand.
TEST(SubdivisionPositions, MasksPlaceVerticesWhereWorkedOut) {
  const int e01 = object(testmesh::cube()).findEdge(0, 1);
  ASSERT_GE(e01, 0);
  const PolyMesh quad = testmesh::polyMesh({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 3, 0}}, {{0, 1, 2, 3}});
  ASSERT_EQ(testmesh::corners(object(quad), 0).front(), 0);
  const float c = -5.0f / 9.0f;
  const struct {
    const char* name;
    PolyMesh mesh;
    int scheme;
    bool smooth;
    int vertex, vertices, faces;  // the vertex checked; how many vertices and faces there are
    SbVec3f at;
  } cases[] = {
      // Vertex 0 (-1, -1, -1) has valence 6 and its neighbours 1, 2, 3, 4, 5, 6
      // average to the origin: (1 - 3/8) p = 5/8 p.
      {"Loop, valence 6", testmesh::cubeTriangles(), S::LOOP, true, 0, 26, 48, {-0.625f, -0.625f, -0.625f}},
      // Vertex 1 (1, -1, -1) has valence 4 (neighbours 0, 3, 5, 7, mean (1/2, 0, 0)):
      // a_4 = (40 - 9) / 64 = 31/64, so 33/64 (1, -1, -1) + 31/64 (1/2, 0, 0).
      {"Loop, valence 4", testmesh::cubeTriangles(), S::LOOP, true, 1, 26, 48, {48.5f / 64, -33.0f / 64, -33.0f / 64}},
      // Corner (-1, -1, -1), valence 3: Q = -1/3 (1, 1, 1) (face centres), R = -2/3
      // (1, 1, 1) (edge midpoints), (Q + 2R + 0 S) / 3 = -5/9 (1, 1, 1).
      {"Catmull-Clark corner", testmesh::cube(), S::CATMULL_CLARK, true, 0, 26, 24, {c, c, c}},
      // Edge 0 -> 1 between the -z and -y faces: (a + b + F1 + F2) / 4.
      {"Catmull-Clark edge", testmesh::cube(), S::CATMULL_CLARK, true, 8 + e01, 26, 24, {0, -0.75f, -0.75f}},
      // The face point of a quad is its centroid: 4 corners, 4 edge points, then it.
      {"Catmull-Clark face", testmesh::quadFan(), S::CATMULL_CLARK, false, 8, 9, 4, {0.5f, 0.5f, 0}},
      // n = 4: a_0 = 1/4 + 5/16 = 9/16, a_1 = a_3 = 3/16, a_2 = 1/16. Corner 0:
      // 3/16 (2,0) + 1/16 (2,1) + 3/16 (0,3) = (1/2, 5/8), where halfway to the
      // centroid would be (1/2, 1/2).
      {"Doo-Sabin", quad, S::DOO_SABIN, true, 0, 4, 1, {0.5f, 0.625f, 0}},
      {"Doo-Sabin dividing", quad, S::DOO_SABIN, false, 0, 4, 1, {0.5f, 0.5f, 0}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    WeObject o = object(k.mesh);
    S::step(o, k.scheme, k.smooth);
    ASSERT_EQ(std::make_pair(o.vertices.size(), o.faces.size()), std::make_pair(size_t(k.vertices), size_t(k.faces)));
    expectNear(o.vertices[k.vertex].position, k.at);
  }
}

// ------------------------------------------------------------- creases

TEST(SubdivisionCreases, SharpCubeKeepsItsSilhouette) {
  for (int scheme : {S::LOOP, S::BUTTERFLY, S::CATMULL_CLARK, S::DOO_SABIN}) {
    SCOPED_TRACE(scheme);
    WeObject o = object(testmesh::cube());
    for (WeEdge& e : o.edges) e.flags |= WE_SHARP;
    if (scheme == S::DOO_SABIN) {  // keeps the flags along the old edges
      S::step(o, scheme, true);
      EXPECT_EQ(sharpEdges(o), 24);
      continue;
    }
    S::step(o, scheme, true);
    S::step(o, scheme, true);
    EXPECT_EQ(sharpEdges(o), 48);  // 12 cube edges, each split twice
    for (int v = 0; v < 8; ++v) expectNear(o.vertices[v].position, testmesh::cube().positions[v], 0.0f);
    // On the surface of the cube, and the ends of sharp edges on its edges (two coordinates at +-1).
    auto atFaces = [&](int v) {
      int n = 0;
      for (int i = 0; i < 3; ++i) n += std::fabs(std::fabs(o.vertices[v].position[i]) - 1.0f) < 1e-5f;
      return n;
    };
    for (int v = 0; v < static_cast<int>(o.vertices.size()); ++v) {
      const SbVec3f& p = o.vertices[v].position;
      EXPECT_NEAR(std::max({std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])}), 1.0f, 1e-5f);
    }
    for (const WeEdge& e : o.edges)
      EXPECT_TRUE(!(e.flags & WE_SHARP) || (atFaces(e.vertex[0]) >= 2 && atFaces(e.vertex[1]) >= 2));
  }
}

// Sharp ring around the icosphere's vertex 0: its neighbours along the two
// sharp edges take 3/4 p + 1/8 (a + b); a corner-flagged vertex stays.
TEST(SubdivisionCreases, LoopCreaseVertexUsesTheCreaseRule) {
  WeObject o = object(testmesh::icosphere(0));
  const int a = 11, p = 0, b = 5;  // 11 - 0 - 5 are consecutive on face (0, 11, 5)
  o.edges[o.findEdge(a, p)].flags |= WE_SHARP;
  o.edges[o.findEdge(p, b)].flags |= WE_SHARP;
  o.vertices[3].flags |= WE_CORNER;
  const SbVec3f expected = 0.75f * o.vertices[p].position + 0.125f * (o.vertices[a].position + o.vertices[b].position);
  const SbVec3f corner = o.vertices[3].position;
  S::step(o, S::LOOP, true);
  expectNear(o.vertices[p].position, expected);
  expectNear(o.vertices[3].position, corner, 0.0f);
  EXPECT_TRUE(sharpEdges(o) == 4 && (o.vertices[3].flags & WE_CORNER));
}

// ------------------------------------------------------------- adaptive

// Only triangles along a fold are refined; their neighbours are closed
// red-green, without cracks: a crack would open a second boundary loop (on
// the folded grid) or a boundary (on the closed cube) and change the Euler
// characteristic.
TEST(SubdivisionAdaptive, FoldIsRefinedWithoutCracks) {
  auto boundaryLength = [](const WeObject& o) {
    double l = 0;
    for (const WeEdge& e : o.edges)
      if (e.isBoundary()) l += (o.vertices[e.vertex[0]].position - o.vertices[e.vertex[1]].position).length();
    return l;
  };
  auto far = [](const WeObject& w) {  // triangles away from the fold (x < 1)
    int n = 0;
    for (int f = 0; f < static_cast<int>(w.faces.size()); ++f) {
      const std::vector<int> c = testmesh::corners(w, f);
      n += std::all_of(c.begin(), c.end(), [&](int v) { return w.vertices[v].position[0] < 1.0f + 1e-6f; });
    }
    return n;
  };
  PolyMesh folded = testmesh::grid(4, 4, 4.0f);  // folded by 90 degrees along its middle column line
  for (SbVec3f& p : folded.positions)
    if (p[0] > 2.0f) p = SbVec3f(2.0f, p[1], p[0] - 2.0f);
  for (int scheme : {S::LOOP, S::BUTTERFLY}) {
    WeObject flat = object(testmesh::grid(5, 5, 1.0f));
    S::adaptiveStep(flat, scheme, 45.0f);
    EXPECT_EQ(flat.faces.size(), 50u);  // nothing to refine
    const WeObject before = object(folded);
    WeObject o = before;
    S::adaptiveStep(o, scheme, 45.0f);
    // The 4 triangles on each side that touch the fold go 1-to-4 (+24).
    EXPECT_TRUE(o.faces.size() > before.faces.size() + 8 * 3 && o.faces.size() < before.faces.size() * 4)
        << o.faces.size();
    EXPECT_EQ(euler(o), euler(before));
    // Loop's boundary edge points are midpoints; Butterfly bends the boundary.
    EXPECT_TRUE(scheme != S::LOOP || std::fabs(boundaryLength(o) - boundaryLength(before)) < 1e-4);
    expectOldVerticesKept(o, before);
    EXPECT_EQ(far(o), far(before));
  }
  WeObject cube = object(testmesh::cube());  // faces of 4 x 4 quads: only triangles along the cube's edges refine
  S::step(cube, S::CATMULL_CLARK, false);
  S::step(cube, S::CATMULL_CLARK, false);
  S::adaptiveStep(cube, S::LOOP, 45.0f);
  EXPECT_TRUE(cube.faces.size() > 192u && cube.faces.size() < 192u * 4) << cube.faces.size();
  EXPECT_EQ(std::make_pair(testmesh::boundaryEdges(cube), euler(cube)), std::make_pair(0, 2));
}
