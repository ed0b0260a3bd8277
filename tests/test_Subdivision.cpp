#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbSubdivision.h"

namespace {

using S = SbSubdivision;

WeObject object(const PolyMesh& mesh) { return testmesh::model(mesh).objects[0]; }

using testmesh::boundaryEdges;
using testmesh::euler;
using testmesh::sharpEdges;

std::vector<int> faceSizes(const WeObject& o) {
  std::vector<int> sizes, c;
  for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
    o.faceCorners(f, c);
    sizes.push_back(static_cast<int>(c.size()));
  }
  return sizes;
}

// A 4 x 4 triangle grid folded by 90 degrees along its middle column line.
PolyMesh foldedGrid() {
  PolyMesh m = testmesh::grid(4, 4, 4.0f);
  for (SbVec3f& p : m.positions)
    if (p[0] > 2.0f) p = SbVec3f(2.0f, p[1], p[0] - 2.0f);
  return m;
}

double boundaryLength(const WeObject& o) {
  double l = 0;
  for (const WeEdge& e : o.edges)
    if (e.isBoundary()) l += (o.vertices[e.vertex[0]].position - o.vertices[e.vertex[1]].position).length();
  return l;
}

void expectNear(const SbVec3f& a, const SbVec3f& b, float eps = 1e-6f) {
  EXPECT_NEAR(a[0], b[0], eps);
  EXPECT_NEAR(a[1], b[1], eps);
  EXPECT_NEAR(a[2], b[2], eps);
}

}  // namespace

// ------------------------------------------------------------- counts and topology

// Loop and Butterfly split the fan triangles 1-to-4, Catmull-Clark makes a
// quad per corner, Doo-Sabin a face per face, edge and vertex of a closed
// surface; Butterfly interpolates, so the old vertices stay where they were.
TEST(SubdivisionTopology, FacesOfOneStep) {
  for (const testmesh::NamedMesh& c : testmesh::catalogue()) {
    SCOPED_TRACE(c.name);
    const WeObject before = object(c.mesh);
    int corners = 0;
    for (int n : faceSizes(before)) corners += n;
    const int fanTriangles = corners - 2 * static_cast<int>(before.faces.size());
    for (int scheme : {S::DOO_SABIN, S::CATMULL_CLARK, S::LOOP, S::BUTTERFLY}) {
      if (scheme == S::DOO_SABIN && !c.closed) continue;
      SCOPED_TRACE(scheme);
      WeObject o = before;
      S::step(o, scheme, true);
      const std::vector<int> sizes = faceSizes(o);
      if (scheme == S::DOO_SABIN) {
        EXPECT_EQ(o.faces.size(), before.faces.size() + before.edges.size() + before.vertices.size());
      } else if (scheme == S::CATMULL_CLARK) {
        EXPECT_EQ(static_cast<int>(o.faces.size()), corners);
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 4), static_cast<long>(sizes.size()));
      } else {
        EXPECT_EQ(static_cast<int>(o.faces.size()), 4 * fanTriangles);
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 3), static_cast<long>(sizes.size()));
      }
      if (scheme == S::BUTTERFLY)
        for (size_t v = 0; v < before.vertices.size(); ++v)
          expectNear(o.vertices[v].position, before.vertices[v].position, 0.0f);
    }
  }
  // Open 2 x 2 quad grid: 4 faces, 4 inner edges, 1 inner vertex.
  WeObject g = object(testmesh::grid(2, 2, 1.0f, false));
  S::step(g, S::DOO_SABIN, true);
  EXPECT_EQ(g.faces.size(), 9u);
  EXPECT_EQ(euler(g), 1);
}

TEST(SubdivisionTopology, EstimateMatchesTwoRealSteps) {
  for (int scheme : {S::CATMULL_CLARK, S::LOOP, S::BUTTERFLY, S::DOO_SABIN}) {
    for (const testmesh::NamedMesh& c : testmesh::catalogue()) {
      if (scheme == S::DOO_SABIN && !c.closed) continue;
      SbWingedEdgeModel model = testmesh::model(c.mesh);
      const double estimate = S::estimateFaces(model, scheme, 2);
      S::step(model.objects[0], scheme, true);
      S::step(model.objects[0], scheme, true);
      EXPECT_EQ(estimate, static_cast<double>(model.objects[0].faces.size())) << c.name << " scheme " << scheme;
    }
  }
  // Doo-Sabin on an open mesh: the first step is counted exactly.
  SbWingedEdgeModel grid = testmesh::model(testmesh::grid(3, 3, 1.0f, false));
  const double estimate = S::estimateFaces(grid, S::DOO_SABIN, 1);
  S::step(grid.objects[0], S::DOO_SABIN, true);
  EXPECT_EQ(estimate, static_cast<double>(grid.objects[0].faces.size()));
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
            "SbSubdivision::step: unknown scheme 7\n"
            "SbSubdivision::adaptiveStep: unknown scheme 2\n");
  EXPECT_EQ(o.faces.size(), 6u);
}

TEST(SubdivisionTopology, BadInputDoesNotBreakAnyScheme) {
  const PolyMesh odd[] = {testmesh::singleTriangle(), testmesh::quadFan(), testmesh::nonManifoldFan(),
                          testmesh::mobiusStrip(8)};
  for (const PolyMesh& mesh : odd) {
    for (int scheme : {S::DOO_SABIN, S::CATMULL_CLARK, S::LOOP, S::BUTTERFLY}) {
      testing::internal::CaptureStdout();  // the non-manifold fan reports itself
      WeObject o = object(mesh);
      S::step(o, scheme, true);
      if (scheme == S::LOOP || scheme == S::BUTTERFLY) S::adaptiveStep(o, scheme, 1.0f);
      testing::internal::GetCapturedStdout();
      EXPECT_FALSE(o.faces.empty()) << "scheme " << scheme;
      for (const WeVertex& v : o.vertices)
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(std::isfinite(v.position[i]));
    }
  }
}

// ------------------------------------------------------------- positions

TEST(SubdivisionPositions, LoopMovesCubeCornersByTheAlphaRule) {
  WeObject o = object(testmesh::cubeTriangles());
  S::step(o, S::LOOP, true);
  // Vertex 0 (-1, -1, -1) has valence 6 and its neighbours 1, 2, 3, 4, 5, 6
  // average to the origin: (1 - 3/8) p = 5/8 p.
  expectNear(o.vertices[0].position, SbVec3f(-0.625f, -0.625f, -0.625f));
  // Vertex 1 (1, -1, -1) has valence 4 (neighbours 0, 3, 5, 7, mean (1/2, 0, 0)):
  // a_4 = (40 - 9) / 64 = 31/64, so 33/64 (1, -1, -1) + 31/64 (1/2, 0, 0).
  expectNear(o.vertices[1].position, SbVec3f(48.5f / 64, -33.0f / 64, -33.0f / 64));
}

TEST(SubdivisionPositions, SmoothingSchemesApproachTheSphere) {
  // On an inscribed icosphere the smoothed edge points lie closer to the
  // unit sphere than the midpoints do; Loop stays inside the convex hull.
  WeObject base = object(testmesh::icosphere(1));
  const size_t nv = base.vertices.size();
  auto meanGap = [&](const WeObject& o) {
    double gap = 0;
    for (size_t v = nv; v < o.vertices.size(); ++v) gap += 1.0 - o.vertices[v].position.length();
    return gap / (o.vertices.size() - nv);
  };
  WeObject divided = base, butterfly = base, loop = base;
  S::step(divided, S::LOOP, false);
  S::step(butterfly, S::BUTTERFLY, true);
  S::step(loop, S::LOOP, true);
  EXPECT_LT(std::fabs(meanGap(butterfly)), 0.25 * meanGap(divided));
  for (const WeVertex& v : loop.vertices) EXPECT_LE(v.position.length(), 1.0f + 1e-6f);
}

TEST(SubdivisionPositions, DividingPlacesNewVerticesLinearly) {
  for (int scheme : {S::LOOP, S::BUTTERFLY, S::CATMULL_CLARK}) {
    WeObject o = object(testmesh::saddle(4, 1.0f));
    WeObject before = o;
    const size_t nv = before.vertices.size(), ne = before.edges.size();
    S::step(o, scheme, false);
    for (size_t v = 0; v < nv; ++v) expectNear(o.vertices[v].position, before.vertices[v].position, 0.0f);
    for (size_t e = 0; e < ne; ++e) {
      const WeEdge& edge = before.edges[e];
      const SbVec3f mid = (before.vertices[edge.vertex[0]].position + before.vertices[edge.vertex[1]].position) * 0.5f;
      expectNear(o.vertices[nv + e].position, mid);
    }
  }
  // A planar grid stays planar under every dividing and smoothing step.
  for (int scheme : {S::DOO_SABIN, S::CATMULL_CLARK, S::LOOP, S::BUTTERFLY}) {
    for (bool smooth : {false, true}) {
      WeObject o = object(testmesh::grid(4, 3, 1.0f, scheme != S::CATMULL_CLARK));
      S::step(o, scheme, smooth);
      S::step(o, scheme, smooth);
      for (const WeVertex& v : o.vertices) ASSERT_EQ(v.position[2], 0.0f) << "scheme " << scheme;
    }
  }
  // Catmull-Clark's face point of a quad is its centroid.
  WeObject quad = object(testmesh::quadFan());
  S::step(quad, S::CATMULL_CLARK, false);
  ASSERT_EQ(quad.vertices.size(), 9u);  // 4 corners, 4 edge points, 1 face point
  expectNear(quad.vertices[8].position, SbVec3f(0.5f, 0.5f, 0.0f));
}

// ------------------------------------------------------------- creases

TEST(SubdivisionCreases, SharpCubeKeepsItsSilhouette) {
  for (int scheme : {S::LOOP, S::BUTTERFLY, S::CATMULL_CLARK}) {
    WeObject o = object(testmesh::cube());
    for (WeEdge& e : o.edges) e.flags |= WE_SHARP;
    S::step(o, scheme, true);
    S::step(o, scheme, true);
    // 12 cube edges, each split twice.
    EXPECT_EQ(sharpEdges(o), 48) << "scheme " << scheme;
    for (int v = 0; v < 8; ++v) expectNear(o.vertices[v].position, testmesh::cube().positions[v], 0.0f);
    for (const WeVertex& v : o.vertices) {
      // On the surface of the cube...
      const SbVec3f& p = v.position;
      const float m = std::max({std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
      EXPECT_NEAR(m, 1.0f, 1e-5f) << "scheme " << scheme;
    }
    for (const WeEdge& e : o.edges) {
      if (!(e.flags & WE_SHARP)) continue;
      // ... and the ends of sharp edges on the cube's edges (two coordinates at +-1).
      for (int end : e.vertex) {
        const SbVec3f& p = o.vertices[end].position;
        int atFace = 0;
        for (int i = 0; i < 3; ++i) atFace += std::fabs(std::fabs(p[i]) - 1.0f) < 1e-5f;
        EXPECT_GE(atFace, 2) << "scheme " << scheme;
      }
    }
  }
  // Doo-Sabin keeps the flags along the old edges.
  WeObject o = object(testmesh::cube());
  for (WeEdge& e : o.edges) e.flags |= WE_SHARP;
  S::step(o, S::DOO_SABIN, true);
  EXPECT_EQ(sharpEdges(o), 24);
}

TEST(SubdivisionCreases, LoopCreaseVertexUsesTheCreaseRule) {
  // Sharp ring around the icosphere's vertex 0: its neighbours along the two
  // sharp edges take 3/4 p + 1/8 (a + b); a corner-flagged vertex stays.
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
  EXPECT_EQ(sharpEdges(o), 4);
  EXPECT_TRUE(o.vertices[3].flags & WE_CORNER);
}

// ------------------------------------------------------------- adaptive

TEST(SubdivisionAdaptive, FoldIsRefinedWithoutCracks) {
  for (int scheme : {S::LOOP, S::BUTTERFLY}) {
    WeObject flat = object(testmesh::grid(5, 5, 1.0f));
    S::adaptiveStep(flat, scheme, 45.0f);
    EXPECT_EQ(flat.faces.size(), 50u);  // nothing to refine
    WeObject o = object(foldedGrid());
    WeObject before = o;
    S::adaptiveStep(o, scheme, 45.0f);
    // The 4 triangles on each side that touch the fold go 1-to-4 (+24), their
    // neighbours are closed red-green; a crack would open a second boundary
    // loop and lower the Euler characteristic.
    EXPECT_GT(o.faces.size(), before.faces.size() + 8 * 3);
    EXPECT_LT(o.faces.size(), before.faces.size() * 4);
    EXPECT_EQ(euler(o), euler(before));
    // Loop's boundary edge points are midpoints; Butterfly bends the boundary.
    if (scheme == S::LOOP) {
      EXPECT_NEAR(boundaryLength(o), boundaryLength(before), 1e-4);
    }
    for (size_t v = 0; v < before.vertices.size(); ++v)
      expectNear(o.vertices[v].position, before.vertices[v].position, 0.0f);
    // Triangles away from the fold (x < 1) are untouched.
    auto far = [](const WeObject& w) {
      int n = 0;
      std::vector<int> c;
      for (int f = 0; f < static_cast<int>(w.faces.size()); ++f) {
        w.faceCorners(f, c);
        n += std::all_of(c.begin(), c.end(), [&](int v) { return w.vertices[v].position[0] < 1.0f + 1e-6f; });
      }
      return n;
    };
    EXPECT_EQ(far(o), far(before));
  }
}

TEST(SubdivisionAdaptive, RedGreenClosureKeepsClosedSurfaceClosed) {
  // A cube whose faces are 4 x 4 quads: only the triangles along the cube's
  // edges are features; the closure must leave no crack.
  WeObject o = object(testmesh::cube());
  S::step(o, S::CATMULL_CLARK, false);
  S::step(o, S::CATMULL_CLARK, false);
  S::adaptiveStep(o, S::LOOP, 45.0f);
  EXPECT_GT(o.faces.size(), 192u);
  EXPECT_LT(o.faces.size(), 192u * 4);
  EXPECT_EQ(boundaryEdges(o), 0);
  EXPECT_EQ(euler(o), 2);
}

TEST(SubdivisionPositions, ButterflyReproducesAQuadraticOnARegularGrid) {
  // z = x^2 - y^2 sampled on a regular grid (inner valence 6): the edge
  // points between inner vertices land on the surface.
  const PolyMesh saddle = testmesh::saddle(8, 1.0f);
  WeObject o = object(saddle);
  WeObject before = o;
  const int nv = static_cast<int>(before.vertices.size());
  auto inner = [&](int v) {
    const SbVec3f& p = before.vertices[v].position;
    return std::fabs(p[0]) < 0.99f && std::fabs(p[1]) < 0.99f;
  };
  S::step(o, S::BUTTERFLY, true);
  int checked = 0;
  for (int e = 0; e < static_cast<int>(before.edges.size()); ++e) {
    const WeEdge& edge = before.edges[e];
    if (!inner(edge.vertex[0]) || !inner(edge.vertex[1])) continue;
    const SbVec3f& p = o.vertices[nv + e].position;
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
  WeObject o = object(testmesh::icosphere(1));
  const WeObject before = o;
  const int nv = static_cast<int>(before.vertices.size());
  S::step(o, S::BUTTERFLY, true);
  for (int v = 0; v < 12; ++v) {
    SCOPED_TRACE(v);
    ASSERT_EQ(before.edgesAtVertexEnd(v) - before.edgesAtVertexBegin(v), 5);
    SbVec3f centre(0, 0, 0);
    for (int i = before.edgesAtVertexBegin(v); i < before.edgesAtVertexEnd(v); ++i)
      centre += before.vertices[before.edges[before.vertexEdges[i]].other(v)].position * 0.2f;
    for (int i = before.edgesAtVertexBegin(v); i < before.edgesAtVertexEnd(v); ++i) {
      const int e = before.vertexEdges[i];
      const SbVec3f& q = before.vertices[before.edges[e].other(v)].position;
      expectNear(o.vertices[nv + e].position, before.vertices[v].position * 0.75f + q * 0.5f - centre * 0.25f, 1e-5f);
    }
  }
}

TEST(SubdivisionPositions, ButterflyUsesTheValenceThreeStencilOnATetrahedron) {
  // Both ends have valence 3: the mean of 3/4 p + 5/12 q - 1/12 (r + s) from
  // either end is 7/12 (a + b) - 1/12 (c + d); the corners sum to zero, so
  // the point is 2/3 (a + b), outside the midpoint (a + b) / 2.
  WeObject o = object(testmesh::tetrahedron());
  WeObject before = o;
  S::step(o, S::BUTTERFLY, true);
  for (size_t e = 0; e < before.edges.size(); ++e) {
    const WeEdge& edge = before.edges[e];
    const SbVec3f sum = before.vertices[edge.vertex[0]].position + before.vertices[edge.vertex[1]].position;
    expectNear(o.vertices[before.vertices.size() + e].position, sum * (2.0f / 3.0f));
  }
}

TEST(SubdivisionPositions, CatmullClarkMasksOnTheCube) {
  // Corner (-1, -1, -1), valence 3: Q = -1/3 (1, 1, 1) (face centres),
  // R = -2/3 (1, 1, 1) (edge midpoints), (Q + 2R + 0 S) / 3 = -5/9 (1, 1, 1).
  // Edge 0 -> 1 between the -z and -y faces: (a + b + F1 + F2) / 4 =
  // ((-1,-1,-1) + (1,-1,-1) + (0,0,-1) + (0,-1,0)) / 4 = (0, -3/4, -3/4).
  WeObject o = object(testmesh::cube());
  const int e01 = o.findEdge(0, 1);
  ASSERT_GE(e01, 0);
  S::step(o, S::CATMULL_CLARK, true);
  const float c = -5.0f / 9.0f;
  expectNear(o.vertices[0].position, SbVec3f(c, c, c));
  expectNear(o.vertices[8 + e01].position, SbVec3f(0, -0.75f, -0.75f));
}

TEST(SubdivisionPositions, DooSabinWeightsOnAnIrregularQuad) {
  // n = 4: a_0 = 1/4 + 5/16 = 9/16, a_1 = a_3 = 3/16, a_2 = 1/16. Corner 0 of
  // (0,0) (2,0) (2,1) (0,3): 3/16 (2,0) + 1/16 (2,1) + 3/16 (0,3) = (1/2, 5/8),
  // where halfway to the centroid would be (1/2, 1/2).
  PolyMesh quad;
  for (SbVec3f p : {SbVec3f(0, 0, 0), SbVec3f(2, 0, 0), SbVec3f(2, 1, 0), SbVec3f(0, 3, 0)}) quad.addVertex(p);
  quad.addFace({0, 1, 2, 3});
  WeObject o = object(quad);
  std::vector<int> c;
  o.faceCorners(0, c);
  ASSERT_EQ(c.front(), 0);
  S::step(o, S::DOO_SABIN, true);
  ASSERT_EQ(o.faces.size(), 1u);
  expectNear(o.vertices[0].position, SbVec3f(0.5f, 0.625f, 0.0f));
  WeObject linear = object(quad);
  S::step(linear, S::DOO_SABIN, false);
  expectNear(linear.vertices[0].position, SbVec3f(0.5f, 0.5f, 0.0f));
}
