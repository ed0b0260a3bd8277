#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbWingedEdgeBuilder.h"

namespace {

// Every face walk is closed and runs along its own edges on the face's side;
// every face side of every edge is walked exactly once.
void expectConsistentWalks(const WeObject& o) {
  std::vector<int> used(o.edges.size() * 2, 0);
  std::vector<int> corners;
  for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
    o.faceCorners(f, corners);
    ASSERT_GE(corners.size(), 3u) << "face " << f;
    for (size_t k = 0; k < corners.size(); ++k) {
      int x = corners[k], y = corners[(k + 1) % corners.size()];
      bool found = false;
      for (int i = o.edgesAtVertexBegin(y); i < o.edgesAtVertexEnd(y); ++i) {
        const WeEdge& e = o.edges[o.vertexEdges[i]];
        int side = e.vertex[0] == y && e.vertex[1] == x ? 0 : e.vertex[1] == y && e.vertex[0] == x ? 1 : -1;
        if (side >= 0 && e.face[side] == f && !used[o.vertexEdges[i] * 2 + side]) {
          used[o.vertexEdges[i] * 2 + side] = 1;
          found = true;
          break;
        }
      }
      EXPECT_TRUE(found) << "face " << f << " step " << x << "->" << y;
    }
  }
  for (size_t e = 0; e < o.edges.size(); ++e)
    for (int side = 0; side < 2; ++side)
      EXPECT_EQ(used[e * 2 + side], o.edges[e].face[side] >= 0 ? 1 : 0) << "edge " << e;
}

std::vector<int> corners(const WeObject& o, int f) {
  std::vector<int> c;
  o.faceCorners(f, c);
  return c;
}

WeObject fromStrips(const std::vector<SbVec3f>& coords, const std::vector<int>& indices,
                    const std::vector<int>& lengths, WeBuildReport* report = nullptr) {
  SbWingedEdgeModel m;
  WeBuildReport r = addStrips(m, 0, coords.data(), static_cast<int>(coords.size()), indices, lengths);
  if (report) *report = r;
  return m.objects.at(0);
}

const std::vector<SbVec3f> kSquare = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}};

}  // namespace

TEST(StripsToTriangles, SecondTriangleOfAStripIsReversed) {
  WeObject o = fromStrips(kSquare, {0, 1, 2, 3}, {4});
  ASSERT_EQ(o.faces.size(), 2u);
  EXPECT_EQ(corners(o, 0), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(corners(o, 1), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(o.edges.size(), 5u);
  expectConsistentWalks(o);
}

TEST(StripsToTriangles, DegenerateTriangleIsSkippedButTheAlternationAdvances) {
  WeBuildReport report;
  // (a, a, b, c): coordinates 0, 0, 1, 2.
  WeObject o = fromStrips(kSquare, {0, 0, 1, 2}, {4}, &report);
  ASSERT_EQ(o.faces.size(), 1u);
  // Vertices are numbered by first use: c = 2 -> 0, b = 1 -> 1, a = 0 -> 2.
  std::vector<int> c = corners(o, 0);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(o.vertices[c[0]].position, kSquare[2]);
  EXPECT_EQ(o.vertices[c[1]].position, kSquare[1]);
  EXPECT_EQ(o.vertices[c[2]].position, kSquare[0]);
  EXPECT_EQ(report.skippedTriangles, 1);
}

TEST(StripsToTriangles, ShortStripsAndOutOfRangeStripsAddNothing) {
  WeBuildReport report;
  WeObject o = fromStrips(kSquare, {0, 1, /**/ 0, 1, 9, /**/ 1, 4, 3}, {2, 3, 3}, &report);
  EXPECT_EQ(o.faces.size(), 1u);
  EXPECT_EQ(report.skippedStrips, 1);
  EXPECT_EQ(o.vertices.size(), 3u);
}

TEST(StripsToTriangles, NonFiniteCornersAreSkipped) {
  std::vector<SbVec3f> coords = kSquare;
  coords[3] = SbVec3f(NAN, 0, 0);
  WeBuildReport report;
  WeObject o = fromStrips(coords, {0, 1, 2, 3}, {4}, &report);
  EXPECT_EQ(o.faces.size(), 1u);
  EXPECT_EQ(report.skippedTriangles, 1);
}

TEST(StripsToTriangles, StripsSharingIndicesFormOneConnectedObject) {
  // Two strips of one strip set: (0 1 2) and (2 1 3) share the edge 1-2.
  WeObject o = fromStrips(kSquare, {0, 1, 2, 1, 3, 2}, {3, 3});
  EXPECT_EQ(o.vertices.size(), 4u);
  EXPECT_EQ(o.faces.size(), 2u);
  EXPECT_EQ(o.edges.size(), 5u);
  int shared = o.findEdge(1, 2);
  ASSERT_GE(shared, 0);
  EXPECT_GE(o.edges[shared].face[0], 0);
  EXPECT_GE(o.edges[shared].face[1], 0);
  expectConsistentWalks(o);
}

TEST(StripsToTriangles, TorusStripsCloseUp) {
  StripMesh s = testmesh::torusStrips(24, 12, 1.0f, 0.3f);
  std::vector<int> flat, lengths;
  int run = 0;
  for (int i : s.coordIndex) {
    if (i < 0) {
      lengths.push_back(run);
      run = 0;
    } else {
      flat.push_back(i);
      ++run;
    }
  }
  WeObject o = fromStrips(s.coords, flat, lengths);
  EXPECT_EQ(static_cast<int>(o.faces.size()), s.triangleCount());
  EXPECT_EQ(int(o.vertices.size()) - int(o.edges.size()) + int(o.faces.size()), 0);
  for (const WeEdge& e : o.edges) EXPECT_FALSE(e.isBoundary());
  expectConsistentWalks(o);
}

TEST(Linking, ClosedMeshesKeepTheirEulerCharacteristic) {
  struct Case {
    const char* name;
    PolyMesh mesh;
    int chi;
  };
  std::vector<Case> cases = {{"tetrahedron", testmesh::tetrahedron(), 2},
                             {"cube", testmesh::cube(), 2},
                             {"icosphere", testmesh::icosphere(2), 2},
                             {"torus", testmesh::torus(16, 8, 1, 0.25f), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SbWingedEdgeModel m = testmesh::model(c.mesh);
    const WeObject& o = m.objects[0];
    EXPECT_EQ(int(o.vertices.size()) - int(o.edges.size()) + int(o.faces.size()), c.chi);
    for (const WeEdge& e : o.edges) EXPECT_FALSE(e.isBoundary());
    expectConsistentWalks(o);
  }
}

TEST(Linking, InconsistentOrientationIsRepairedAndNormalsPointOutwards) {
  PolyMesh m = testmesh::icosphere(1);
  // Reverse every third face.
  for (int f = 1; f < m.faceCount(); f += 3) std::swap(m.corners[m.faceStart[f] + 1], m.corners[m.faceStart[f] + 2]);
  SbWingedEdgeModel model = testmesh::model(m);
  const WeObject& o = model.objects[0];
  expectConsistentWalks(o);
  for (const WeEdge& e : o.edges) EXPECT_FALSE(e.isBoundary());
  // All faces agree with face 0 (not reversed), which points outwards.
  for (const WeFace& f : o.faces) {
    std::vector<int> c;
    o.faceCorners(f.id, c);
    SbVec3f centroid = (o.vertices[c[0]].position + o.vertices[c[1]].position + o.vertices[c[2]].position) / 3;
    EXPECT_GT(f.normal.dot(centroid), 0.0f);
  }
}

TEST(Linking, NonManifoldEdgeIsReportedAndEveryFaceStaysClosed) {
  testing::internal::CaptureStdout();
  SbWingedEdgeModel model = testmesh::model(testmesh::nonManifoldFan());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: This is not a 2-manifold!\n");
  const WeObject& o = model.objects[0];
  EXPECT_EQ(o.faces.size(), 3u);
  EXPECT_EQ(o.edges.size(), 9u);  // nothing paired
  expectConsistentWalks(o);
}

TEST(Linking, NonOrientableSurfaceKeepsEveryFace) {
  PolyMesh strip = testmesh::mobiusStrip(12);
  WeObject o;
  WeBuildReport r = buildWingedEdgeObject(o, 0, strip.positions, strip.faceStart, strip.corners);
  EXPECT_EQ(o.faces.size(), 12u);
  EXPECT_EQ(r.orientationConflicts, 1);
  expectConsistentWalks(o);
}

TEST(Linking, VertexNormalIsTheMeanOverIncidentEdgesOfTheirFaces) {
  // Quad split into two triangles in z = 0, one tilted triangle added on edge 1-3.
  PolyMesh m = testmesh::grid(1, 1);
  SbWingedEdgeModel model = testmesh::model(m);
  const WeObject& o = model.objects[0];
  for (const WeVertex& v : o.vertices) EXPECT_NEAR(v.normal[2], 1.0f, 1e-6f);
  for (const WeFace& f : o.faces) EXPECT_NEAR(f.normal[2], 1.0f, 1e-6f);
}

TEST(Linking, BoundaryLoopsAreLinkedThroughTheFreeWings) {
  SbWingedEdgeModel model = testmesh::model(testmesh::grid(3, 2));
  const WeObject& o = model.objects[0];
  int boundary = 0, start = -1;
  for (const WeEdge& e : o.edges)
    if (e.isBoundary()) {
      ++boundary;
      start = e.id;
    }
  EXPECT_EQ(boundary, 10);
  // Walk the hole: from each boundary edge's free end to the next one.
  int e = start, steps = 0;
  do {
    int next = o.edges[e].wing[1];
    ASSERT_GE(next, 0);
    EXPECT_EQ(o.edges[next].vertex[0], o.edges[e].vertex[1]);
    e = next;
  } while (e != start && ++steps < 100);
  EXPECT_EQ(steps + 1, 10);
}

TEST(Linking, NumberingFollowsListOrder) {
  PolyMesh tetra = testmesh::tetrahedron(), cube = testmesh::cube();
  SbWingedEdgeModel model = testmesh::model({&tetra, &cube});
  model.objects[1].number = 7;
  model.number();
  EXPECT_EQ(model.faceCount(), 10);
  EXPECT_EQ(model.objects[1].faceCount, 6);
  EXPECT_EQ(model.objects[1].edgeCount, 12);
  EXPECT_EQ(model.objects[1].vertexCount, 8);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(model.objects[1].edges[i].id, i);
    EXPECT_EQ(model.objects[1].edges[i].object, 7);
  }
}

TEST(Linking, FacesNamingMissingVerticesOrPinchedAreDropped) {
  PolyMesh m = testmesh::grid(1, 1);
  m.addFace({0, 2, 9});
  m.addFace({-1, 0, 1});
  m.addFace({0, 1, 0, 3});  // passes through vertex 0 twice
  WeObject o;
  WeBuildReport r = buildWingedEdgeObject(o, 0, m.positions, m.faceStart, m.corners);
  EXPECT_EQ(o.faces.size(), 2u);
  EXPECT_EQ(r.droppedFaces, 3);
  expectConsistentWalks(o);
}
