#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbWingedEdgeBuilder.h"

namespace {

const std::vector<SbVec3f> kSquare = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}};

}  // namespace

TEST(StripsToTriangles, StripsBecomeTrianglesWithAlternatingWinding) {
  const SbVec3f nan(NAN, 0, 0);
  const auto& q = kSquare;
  struct Case {
    const char* name;
    std::vector<SbVec3f> coords;
    std::vector<int> indices, lengths;
    std::vector<std::vector<SbVec3f>> faces;  // corners of each face in walk order
    int vertices, edges, skippedTriangles, skippedStrips;
  };
  const Case cases[] = {
      {"second triangle reversed", q, {0, 1, 2, 3}, {4}, {{q[0], q[1], q[2]}, {q[3], q[2], q[1]}}, 4, 5, 0, 0},
      // (a, a, b, c): the first triangle goes, the second keeps its reversed winding.
      {"degenerate triangle", q, {0, 0, 1, 2}, {4}, {{q[2], q[1], q[0]}}, 3, 3, 1, 0},
      {"short and out-of-range strips", q, {0, 1, 0, 1, 9, 1, 4, 3}, {2, 3, 3}, {{q[1], q[4], q[3]}}, 3, 3, 0, 1},
      {"non-finite corner", {q[0], q[1], q[2], nan}, {0, 1, 2, 3}, {4}, {{q[0], q[1], q[2]}}, 3, 3, 1, 0},
      {"strips sharing an edge", q, {0, 1, 2, 1, 3, 2}, {3, 3}, {{q[0], q[1], q[2]}, {q[1], q[3], q[2]}}, 4, 5, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SbWingedEdgeModel m;
    const WeBuildReport r = addStrips(m, 0, c.coords.data(), static_cast<int>(c.coords.size()), c.indices, c.lengths);
    const WeObject& o = m.objects.at(0);
    ASSERT_EQ(o.faces.size(), c.faces.size());
    for (size_t f = 0; f < c.faces.size(); ++f)
      EXPECT_EQ(testmesh::cornerPositions(o, static_cast<int>(f)), c.faces[f]);
    EXPECT_EQ(std::make_tuple(o.vertices.size(), o.edges.size(), r.skippedTriangles, r.skippedStrips),
              std::make_tuple(size_t(c.vertices), size_t(c.edges), c.skippedTriangles, c.skippedStrips));
    EXPECT_EQ(testmesh::linkProblem(o), "");
  }
}

TEST(Linking, InconsistentOrientationIsRepairedAndNormalsPointOutwards) {
  PolyMesh m = testmesh::icosphere(1);
  for (int f = 1; f < m.faceCount(); f += 3) std::swap(m.corners[m.faceStart[f] + 1], m.corners[m.faceStart[f] + 2]);
  SbWingedEdgeModel model = testmesh::model(m);
  const WeObject& o = model.objects[0];
  EXPECT_EQ(std::make_tuple(testmesh::linkProblem(o), testmesh::boundaryEdges(o)), std::make_tuple("", 0));
  // All faces agree with face 0 (not reversed), which points outwards.
  for (const WeFace& f : o.faces) {
    std::vector<SbVec3f> p = testmesh::cornerPositions(o, f.id);
    EXPECT_GT(f.normal.dot(p[0] + p[1] + p[2]), 0.0f);
  }
}

TEST(Linking, FaultyInputKeepsEveryWalkClosed) {
  testing::internal::CaptureStdout();
  SbWingedEdgeModel fan = testmesh::model(testmesh::nonManifoldFan());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: This is not a 2-manifold!\n");
  EXPECT_EQ(std::make_pair(fan.objects[0].faces.size(), fan.objects[0].edges.size()),
            std::make_pair(3ul, 9ul));  // nothing paired
  EXPECT_EQ(testmesh::linkProblem(fan.objects[0]), "");

  PolyMesh strip = testmesh::mobiusStrip(12);
  WeObject o;
  WeBuildReport r = buildWingedEdgeObject(o, 0, strip.positions, strip.faceStart, strip.corners);
  EXPECT_EQ(std::make_tuple(o.faces.size(), r.orientationConflicts, testmesh::linkProblem(o)),
            std::make_tuple(12ul, 1, ""));

  PolyMesh m = testmesh::grid(1, 1);
  m.addFace({0, 2, 9});
  m.addFace({-1, 0, 1});
  m.addFace({0, 1, 0, 3});  // passes through vertex 0 twice
  r = buildWingedEdgeObject(o, 0, m.positions, m.faceStart, m.corners);
  EXPECT_EQ(std::make_tuple(o.faces.size(), r.droppedFaces, testmesh::linkProblem(o)), std::make_tuple(2ul, 3, ""));
}

// The border of an open grid is one loop, from each boundary edge's free
// end to the next one through the free wings.
TEST(Linking, BoundaryLoopsAreLinkedThroughTheFreeWings) {
  SbWingedEdgeModel model = testmesh::model(testmesh::grid(3, 2));
  const WeObject& o = model.objects[0];
  for (const WeVertex& v : o.vertices) EXPECT_NEAR(v.normal[2], 1.0f, 1e-6f);
  for (const WeFace& f : o.faces) EXPECT_NEAR(f.normal[2], 1.0f, 1e-6f);
  EXPECT_EQ(testmesh::boundaryEdges(o), 10);
  int start = -1, steps = 0;
  for (const WeEdge& e : o.edges)
    if (e.isBoundary()) start = e.id;
  for (int e = start; steps == 0 || (e != start && steps < 100); ++steps) {
    const int next = o.edges[e].wing[1];
    ASSERT_GE(next, 0);
    EXPECT_EQ(o.edges[next].vertex[0], o.edges[e].vertex[1]);
    e = next;
  }
  EXPECT_EQ(steps, 10);
}
