// The stroke collider on hand-placed segments: its distance tests against hand-computed values, the cells at their
// borders, and every query against a scan of every segment.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"
#include "strokes/StrokeCollider.h"

namespace {

// A flat grid over [0, 1]^2 in z = 0; every face faces +z.
class StrokeColliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.build(testmesh::model(testmesh::grid(10, 10, 1.0f)));
    up = model.triangles[0];
  }
  SbHeModelHQ model;
  const HeTriangle* up = nullptr;
};

const SbVec3f kX(1, 0, 0);
SbVec3f xy(float x, float y) { return SbVec3f(x, y, 0); }

}  // namespace

// One segment from (0.2, 0.5) to (0.4, 0.5), separation 0.05. Exactly the separation counts as near; along the segment
// only a margin of 1e-3, not a round cap. A point p + d t first comes within the separation at t; a point moving away
// or passing farther off never does.
TEST_F(StrokeColliderTest, PointAndMovingPointTestsMatchHandComputedValues) {
  StrokeCollider collider(model, 0.05f);
  ASSERT_EQ(collider.addSegment(up, xy(0.2f, 0.5f), xy(0.4f, 0.5f), nullptr, 0), 1);
  const StrokeSegment& s = *collider.segment(0);
  EXPECT_FLOAT_EQ(s.length, 0.2f);
  // clang-format off
  const struct { SbVec3f p; bool near; } points[] = {
      {xy(0.3f, 0.55f), true}, {xy(0.3f, 0.45f), true}, {xy(0.3f, 0.552f), false}, {xy(0.4005f, 0.5f), true},
      {xy(0.402f, 0.5f), false}, {xy(0.198f, 0.5f), false}, {xy(0.2f, 0.5f), true}, {xy(0.41f, 0.53f), false}};
  const float r2 = std::sqrt(0.5f);
  const struct { const char* name; SbVec3f p, d; float t; /* < 0: no hit */ } steps[] = {
      {"head-on from the side", xy(0.3f, 0.7f), xy(0, -1), 0.15f},
      {"along the line onto the start", xy(0.0f, 0.5f), kX, 0.2f},
      {"along the line onto the end", xy(0.6f, 0.5f), -kX, 0.2f},
      {"parallel within the separation", xy(0.0f, 0.53f), kX, 0.2f},
      {"parallel beyond the separation", xy(0.0f, 0.56f), kX, -1},
      {"crossing at 45 degrees", xy(0.0f, 0.8f), xy(r2, -r2), 0.25f / r2},
      {"crossing past the end", xy(0.5f, 0.8f), xy(0, -1), -1},
      {"moving away", xy(0.3f, 0.7f), xy(0, 1), -1}};
  // clang-format on
  for (const auto& c : points) EXPECT_EQ(collider.pointNear(c.p, s), c.near) << c.p[0] << " " << c.p[1];
  for (const auto& c : steps) {
    float t = -1;
    EXPECT_EQ(collider.stepHits(c.p, c.d, s, t), c.t >= 0) << c.name;
    EXPECT_TRUE(c.t < 0 || std::fabs(t - c.t) < 1e-5f) << c.name << " at " << t;
  }
}

// Points, segments below 1e-5 separations and segments without a face are not registered; short but not negligible
// segments are near like any other.
TEST_F(StrokeColliderTest, NegligibleSegmentsAreNotRegistered) {
  StrokeCollider collider(model, 0.05f);
  const SbVec3f p = xy(0.33f, 0.33f);
  EXPECT_EQ(collider.addSegment(up, p, p, nullptr, 0), 0);
  EXPECT_EQ(collider.addSegment(up, p, p + SbVec3f(4e-7f, 0, 0), nullptr, 0), 0);
  EXPECT_EQ(collider.addSegment(nullptr, p, p + kX, nullptr, 0), 0);
  EXPECT_TRUE(collider.segmentCount() == 0 && collider.entryCount() == 0 && StrokeCollider::segPool.live() == 0 &&
              !collider.nearAny(up, p));
  EXPECT_FLOAT_EQ(collider.sphereDistance(p, kX, up, 0.06f, 1), 0.06f);
  EXPECT_EQ(collider.addSegment(up, p, p + SbVec3f(1e-4f, 0, 0), nullptr, 0), 1);
  EXPECT_TRUE(collider.nearAny(up, p + xy(0, 0.049f)) && !collider.nearAny(up, p + xy(0, 0.051f)));
}

// The point at the end of a stroke, moving on along it or turning, never hits its own stroke. A right angle adds a
// joint across the corner, one separation times sqrt(2) long, that covers its outside.
TEST_F(StrokeColliderTest, LeavingPointNeverHitsAndABendAddsAJoint) {
  StrokeCollider collider(model, 0.05f), square(model, 0.05f);
  const SbVec3f a = xy(0.2f, 0.5f), b = xy(0.25f, 0.52f), c = xy(0.3f, 0.5f);
  collider.addSegment(up, a, b, nullptr, 0);
  EXPECT_EQ(collider.addSegment(up, b, c, &a, 0), 2);
  float t = -1;
  for (int i = 0; i < collider.segmentCount(); ++i)
    for (const SbVec3f& d : {kX, xy(0.6f, -0.8f), xy(0.6f, 0.8f)})
      EXPECT_FALSE(collider.stepHits(c, d, *collider.segment(i), t)) << "segment " << i;
  square.addSegment(up, a, c, nullptr, 0);
  EXPECT_EQ(square.addSegment(up, c, xy(0.4f, 0.5f), &a, 0), 1);  // straight on
  EXPECT_EQ(square.addSegment(up, c, xy(0.3f, 0.6f), &a, 0), 2);  // a right angle
  const StrokeSegment& joint = *square.segment(3);
  EXPECT_NEAR(joint.length, 0.05f * std::sqrt(2.0f), 1e-4f);
  EXPECT_NEAR(((joint.start + joint.end) * 0.5f - c).length(), 0.0f, 1e-6f);
  EXPECT_TRUE(square.pointNear(c + xy(0.03f, -0.03f), joint));
}

// Distances from (0.5, 0.5) with d = +x to one segment, searched up to 0.06: to its nearest point, and to where it
// crosses the plane x = 0.5; the average takes one side found and the other at the limit, and never the own stroke.
TEST_F(StrokeColliderTest, DistancesToOneSegmentMatchHandComputedValues) {
  const float limit = 0.06f;
  const SbVec3f p = xy(0.5f, 0.5f);
  // clang-format off
  const struct { const char* name; SbVec3f a, b; float sphere, plane; } cases[] = {
      {"foot inside, crossing square", xy(0.45f, 0.52f), xy(0.55f, 0.52f), 0.02f, 0.02f},
      {"crossing obliquely", xy(0.48f, 0.48f), xy(0.52f, 0.54f), 0.02f / std::sqrt(13.0f), 0.01f},
      {"ahead, nearest at its start", xy(0.52f, 0.505f), xy(0.54f, 0.505f), std::hypot(0.02f, 0.005f), limit},
      {"parallel to the plane, in it", xy(0.5f, 0.47f), xy(0.5f, 0.49f), 0.01f, 0.01f},
      {"parallel to the plane, off it", xy(0.505f, 0.47f), xy(0.505f, 0.49f), std::hypot(0.005f, 0.01f), limit},
      {"through the point", xy(0.45f, 0.45f), xy(0.55f, 0.55f), 0.0f, 0.0f},
      {"beyond the limit", xy(0.45f, 0.58f), xy(0.55f, 0.58f), limit, limit}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StrokeCollider collider(model, 0.01f);
    ASSERT_EQ(collider.addSegment(up, c.a, c.b, nullptr, 0), 1);
    EXPECT_NEAR(collider.sphereDistance(p, kX, up, limit, 1), c.sphere, 1e-6f);
    EXPECT_NEAR(collider.planeDistance(p, kX, up, limit, 1), c.plane, 1e-6f);
    EXPECT_NEAR(collider.planeAverageDistance(p, kX, up, limit, 1), 0.5f * (c.plane + limit), 1e-6f);
    EXPECT_FLOAT_EQ(collider.planeAverageDistance(p, kX, up, limit, 0), limit);
  }
}

// Stroke 0 runs parallel 0.02 above, stroke 2 0.04 below: only strokes accepted earlier count for the sphere and plane
// distances; the average takes one side each, later strokes included, not its own.
TEST_F(StrokeColliderTest, DistancesSearchOnlyTheStrokesThatCount) {
  StrokeCollider collider(model, 0.01f);
  const float probe = 0.06f;
  const SbVec3f p = xy(0.5f, 0.5f);
  collider.addSegment(up, xy(0.45f, 0.52f), xy(0.55f, 0.52f), nullptr, 0);
  collider.addSegment(up, xy(0.45f, 0.46f), xy(0.55f, 0.46f), nullptr, 2);
  EXPECT_NEAR(collider.sphereDistance(p, kX, up, probe, 1), 0.02f, 1e-6f);
  EXPECT_NEAR(collider.planeDistance(p, kX, up, probe, 1), 0.02f, 1e-6f);
  EXPECT_FLOAT_EQ(collider.sphereDistance(p, kX, up, probe, 0), probe);
  EXPECT_NEAR(collider.sphereDistance(p, kX, up, probe, 3), 0.02f, 1e-6f);
  EXPECT_NEAR(collider.planeAverageDistance(p, kX, up, probe, 1), 0.03f, 1e-6f);
  EXPECT_NEAR(collider.planeAverageDistance(p, kX, up, probe, 2), 0.5f * (0.02f + probe), 1e-6f);
}

// The grid's sheet facing +z and, 0.02 above it, a copy facing -z (the two sides of a thin wall): a segment on one
// counts for points of that sheet only, though the other sheet lies within the separation.
TEST(StrokeColliderSheets, SheetsFacingApartDoNotBlockEachOther) {
  PolyMesh lower = testmesh::grid(4, 4, 1.0f), upper = lower;
  for (SbVec3f& p : upper.positions) p[2] = 0.02f;
  for (size_t f = 0; f + 1 < upper.faceStart.size(); ++f)
    std::reverse(upper.corners.begin() + upper.faceStart[f], upper.corners.begin() + upper.faceStart[f + 1]);
  SbHeModelHQ model;
  model.build(testmesh::model({&lower, &upper}));
  const HeTriangle *below = nullptr, *above = nullptr;
  for (const HeTriangle* t : model.triangles) (t->normal[2] > 0 ? below : above) = t;
  ASSERT_TRUE(below && above);
  StrokeCollider collider(model, 0.05f);
  ASSERT_EQ(collider.addSegment(below, xy(0.2f, 0.5f), xy(0.4f, 0.5f), nullptr, 0), 1);
  EXPECT_TRUE(collider.nearAny(below, xy(0.3f, 0.53f)));
  EXPECT_FALSE(collider.nearAny(above, SbVec3f(0.3f, 0.5f, 0.02f)));
  collider.forPath(above, SbVec3f(0.3f, 0.6f, 0.02f), SbVec3f(0.3f, 0.4f, 0.02f),
                   [&](int, const StrokeSegment&) { ADD_FAILURE() << "a segment on the other sheet"; });
  EXPECT_FLOAT_EQ(collider.sphereDistance(SbVec3f(0.3f, 0.5f, 0.02f), kX, above, 0.06f, 1), 0.06f);
}

// A merged collider's segments are found in the target; a rollback to the latest checkpoint, or the slow way to an
// older one, removes exactly the segments added since; clearing gives every segment back.
TEST_F(StrokeColliderTest, MergeAndRollbackKeepTheCellsConsistent) {
  auto shared = std::make_unique<StrokeCollider>(model, 0.05f);
  StrokeCollider own(model, 0.05f);
  auto add = [&](StrokeCollider& c, float y, int stroke) {
    c.addSegment(up, xy(0.2f, y), xy(0.3f, y), nullptr, stroke);
  };
  add(*shared, 0.5f, 0);
  add(own, 0.6f, 1);
  const SbVec3f nearOwn = xy(0.25f, 0.64f), nearLater = xy(0.25f, 0.36f), nearLatest = xy(0.25f, 0.74f);
  const int entries = own.entryCount() + shared->entryCount();
  shared->merge(own);
  EXPECT_TRUE(own.segmentCount() == 0 && !own.nearAny(up, nearOwn));
  EXPECT_TRUE(shared->nearAny(up, nearOwn));
  EXPECT_TRUE(shared->segmentCount() == 2 && shared->entryCount() == entries);
  const StrokeCollider::Checkpoint mark = shared->checkpoint();
  for (bool older : {false, true}) {
    add(*shared, 0.4f, 2);
    if (older) {
      shared->checkpoint();
      add(*shared, 0.7f, 3);
      EXPECT_TRUE(shared->nearAny(up, nearLatest));
    }
    EXPECT_TRUE(shared->nearAny(up, nearLater));
    shared->rollback(mark);
    EXPECT_FALSE(shared->nearAny(up, nearLater) || shared->nearAny(up, nearLatest));
    EXPECT_TRUE(shared->nearAny(up, nearOwn));
    EXPECT_TRUE(shared->entryCount() == entries && StrokeCollider::segPool.live() == 2);
  }
  shared->clear();
  EXPECT_TRUE(!shared->nearAny(up, nearOwn) && StrokeCollider::segPool.live() == 0);
}

namespace {
// Compares the collider's answers for `p` with a scan of every segment: the point test, and a step of `length` along d
// found through forPath. Returns whether the step hits.
bool expectAsAScan(const StrokeCollider& collider, const HeTriangle* face, const SbVec3f& p, const SbVec3f& d,
                   float length) {
  bool near = false;
  float scan = 1e30f, cells = 1e30f, t = 0;
  for (int k = 0; k < collider.segmentCount(); ++k) {
    near = near || collider.pointNear(p, *collider.segment(k));
    if (collider.stepHits(p, d, *collider.segment(k), t) && t < length) scan = std::min(scan, t);
  }
  EXPECT_EQ(collider.nearAny(face, p), near) << p[0] << " " << p[1];
  collider.forPath(face, p, p + d * length, [&](int, const StrokeSegment& s) {
    if (collider.stepHits(p, d, s, t) && t < length) cells = std::min(cells, t);
  });
  EXPECT_EQ(cells, scan) << p[0] << " " << p[1] << " towards " << d[0] << " " << d[1];
  return scan < 1e30f;
}
}  // namespace

// Segments on cell borders, through cell corners, across several cells and at the far corner of a model in negative
// coordinates: every point and step near them, on the borders and an ulp either side, finds them.
TEST(StrokeColliderCells, SegmentsAndQueriesOnCellBordersAreFound) {
  PolyMesh mesh = testmesh::grid(4, 4, 1.0f);
  for (SbVec3f& p : mesh.positions) p -= SbVec3f(2.0f, 1.5f, 0.0f);  // [-2, -1] x [-1.5, -0.5]
  SbHeModelHQ model;
  model.build(testmesh::model(mesh));
  const HeTriangle* face = model.triangles[0];
  const float sep = 0.05f;
  // The collider's cells: a cell (two separations) wide, from the model's box grown by a cell and the reach.
  const float cell = 2 * sep, reach = std::sqrt(sep * sep + 1e-6f) + 1e-3f + 1e-3f * sep;
  auto border = [&](float lo, int k) { return lo - (cell + reach) + static_cast<float>(k) * cell; };
  const float x0 = border(-2.0f, 3), y0 = border(-1.5f, 3), x1 = border(-2.0f, 12), y1 = border(-1.5f, 12);
  // clang-format off
  const struct { const char* name; SbVec3f a, b; } cases[] = {
      {"along a border in x", xy(x0, y0), xy(x0 + 3 * cell, y0)},
      {"along a border in y", xy(x0, y0 - cell), xy(x0, y0 + 2 * cell)},
      {"inside a cell, ending on its border", xy(x0 + 0.3f * cell, y0 + 0.5f * cell), xy(x0 + cell, y0 + 0.5f * cell)},
      {"through cell corners", xy(x0, y0), xy(x0 + 3 * cell, y0 + 3 * cell)},
      {"at the far corner", xy(-1.0f - 0.3f, -0.5f), xy(-1.0f, -0.5f)},
      {"past the far corner", xy(x1 - 0.02f, y1), xy(-0.5f, 0.2f)}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StrokeCollider collider(model, sep);
    ASSERT_EQ(collider.addSegment(face, c.a, c.b, nullptr, 0), 1);
    SbVec3f along = c.b - c.a;
    along.normalize();
    const SbVec3f across(-along[1], along[0], 0);
    for (float u = -0.2f; u <= 1.2f; u += 0.05f)
      for (float v : {-1.2f, -1.0f, -0.99f, -0.5f, 0.0f, 0.5f, 0.99f, 1.0f, 1.2f}) {
        SbVec3f p = c.a + (c.b - c.a) * u + across * (v * sep);
        // Snapped onto the nearest border in x, and an ulp either side.
        const float bx = x0 + std::round((p[0] - x0) / cell) * cell;
        for (float x : {p[0], bx, std::nextafter(bx, -1e9f), std::nextafter(bx, 1e9f)}) {
          const SbVec3f q(x, p[1], 0);
          expectAsAScan(collider, face, q, across, 2 * sep);
          expectAsAScan(collider, face, q, -across, 2 * sep);
          expectAsAScan(collider, face, q, along, 3 * sep);
        }
      }
  }
}

// Two triangles over [0, 1]^2, a hundred separations wide, and a scatter of bent strokes (some across the diagonal
// between the faces, some along the border): every answer must be the one a scan of every segment gives.
TEST(StrokeColliderCells, QueriesAnswerAsAScanOfEverySegment) {
  SbHeModelHQ model;
  model.build(testmesh::model(testmesh::grid(1, 1, 1.0f)));
  const float sep = 0.01f, probe = 1.2f * sep;
  StrokeCollider collider(model, sep);
  auto faceAt = [&](const SbVec3f& p) -> const HeTriangle* {
    for (const HeTriangle* t : model.triangles) {
      float u = 0, v = 0;
      SbHeModelHQ::triangleCoordinates(t, p, u, v);
      if (u >= -1e-6f && v >= -1e-6f && u + v <= 1 + 1e-6f) return t;
    }
    return model.triangles[0];
  };
  uint32_t state = 12345u;
  auto rnd = [&]() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  };
  for (int stroke = 0; stroke < 300; ++stroke) {
    SbVec3f p(rnd(), rnd(), 0), previous;
    if (stroke % 10 == 0) p[1] = 0.002f;
    float angle = rnd() * 6.2832f;
    for (int k = 0; k < 4; ++k) {
      angle += (rnd() - 0.5f) * 1.5f;
      SbVec3f q = p + SbVec3f(std::cos(angle), std::sin(angle), 0) * (sep * (0.5f + 2 * rnd()));
      q.setValue(std::clamp(q[0], 0.0f, 1.0f), std::clamp(q[1], 0.0f, 1.0f), 0);
      collider.addSegment(faceAt(p), p, q, k ? &previous : nullptr, stroke);
      previous = p;
      p = q;
    }
  }
  ASSERT_GT(collider.segmentCount(), 1200);
  int near = 0, hits = 0;
  for (int i = 0; i < 4000; ++i) {
    const SbVec3f p(rnd(), rnd(), 0);
    const HeTriangle* face = faceAt(p);
    // A step of 2.5 separations that stays in the face.
    const float angle = rnd() * 6.2832f;
    const SbVec3f d(std::cos(angle), std::sin(angle), 0);
    float length = 2.5f * sep;
    while (length > 0 && faceAt(p + d * length) != face) length *= 0.5f;
    hits += expectAsAScan(collider, face, p, d, length);
    int visits = 0;
    collider.forPath(face, p, p + d * length, [&](int, const StrokeSegment&) { ++visits; });
    EXPECT_LT(visits, collider.segmentCount() / 10);
    near += collider.nearAny(face, p);
    // Distances to the strokes before stroke 150, against every segment.
    float sphere = probe, plane = probe;
    for (int k = 0; k < collider.segmentCount(); ++k) {
      const StrokeSegment& s = *collider.segment(k);
      if (s.stroke >= 150) continue;
      const SbVec3f u = (s.end - s.start) / s.length;
      sphere = std::min(sphere, (s.start + u * std::clamp(u.dot(p - s.start), 0.0f, s.length) - p).length());
      const float tp = std::fabs(u.dot(d)) > 1e-6f ? (p - s.start).dot(d) / u.dot(d) : -1.0f;
      if (tp >= -1e-3f && tp <= s.length + 1e-3f) plane = std::min(plane, (s.start + u * tp - p).length());
    }
    EXPECT_NEAR(collider.sphereDistance(p, d, face, probe, 150), sphere, 1e-6f);
    EXPECT_NEAR(collider.planeDistance(p, d, face, probe, 150), plane, 1e-6f);
  }
  EXPECT_GT(near, 400);  // the scatter is dense enough for both answers to occur often
  EXPECT_GT(hits, 400);
}
