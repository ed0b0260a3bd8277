// The stroke collider on hand-placed segments over a flat grid of faces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"
#include "strokes/StrokeCollider.h"

namespace {

// Grid over [0, 1]^2 in z = 0, 10 x 10 cells of two triangles each.
class StrokeColliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.build(testmesh::model(testmesh::grid(10, 10, 1.0f)));
    ASSERT_EQ(model.triangleCount(), 200);
  }

  // The face that contains the point (x, y).
  const HeTriangle* faceAt(float x, float y) const {
    for (const HeTriangle* t : model.triangles) {
      float u = 0, v = 0;
      SbHeModelHQ::triangleCoordinates(t, SbVec3f(x, y, 0), u, v);
      if (u >= -1e-6f && v >= -1e-6f && u + v <= 1 + 1e-6f) return t;
    }
    return nullptr;
  }

  SbHeModelHQ model;
};

TEST_F(StrokeColliderTest, PointTestCountsExactlyTheSeparationAsNear) {
  StrokeCollider collider(model, 0.05f);
  const SbVec3f a(0.2f, 0.5f, 0), b(0.4f, 0.5f, 0);
  ASSERT_EQ(collider.addSegment(faceAt(0.3f, 0.5f), a, b, nullptr, 0), 1);
  const StrokeSegment& s = *collider.segment(0);
  EXPECT_FLOAT_EQ(s.length, 0.2f);
  EXPECT_TRUE(collider.pointNear(SbVec3f(0.3f, 0.55f, 0), s));
  EXPECT_TRUE(collider.pointNear(SbVec3f(0.3f, 0.45f, 0), s));
  EXPECT_FALSE(collider.pointNear(SbVec3f(0.3f, 0.552f, 0), s));
  // Along the segment only a margin of 1e-3 counts, not a round cap.
  EXPECT_TRUE(collider.pointNear(SbVec3f(0.4005f, 0.5f, 0), s));
  EXPECT_FALSE(collider.pointNear(SbVec3f(0.402f, 0.5f, 0), s));
  EXPECT_FALSE(collider.pointNear(SbVec3f(0.198f, 0.5f, 0), s));
}

TEST_F(StrokeColliderTest, ZeroLengthSegmentIsNotRegistered) {
  StrokeCollider collider(model, 0.05f);
  const SbVec3f p(0.33f, 0.33f, 0);
  EXPECT_EQ(collider.addSegment(faceAt(0.33f, 0.33f), p, p, nullptr, 0), 0);
  EXPECT_EQ(collider.segmentCount(), 0);
  EXPECT_EQ(collider.entryCount(), 0);
  EXPECT_EQ(StrokeCollider::segPool.live(), 0);
  // Short but not negligible against the separation: kept.
  EXPECT_EQ(collider.addSegment(faceAt(0.33f, 0.33f), p, p + SbVec3f(1e-4f, 0, 0), nullptr, 0),
            1);
}

TEST(StrokeColliderSheets, SheetsFacingApartDoNotBlockEachOther) {
  // The grid's sheet facing +z and, 0.02 above it, a copy facing -z (the two
  // sides of a thin wall): a segment on one counts for points of that sheet
  // only, though the other sheet lies within the separation.
  PolyMesh lower = testmesh::grid(4, 4, 1.0f), upper = lower;
  for (SbVec3f& p : upper.positions) p[2] = 0.02f;
  for (size_t f = 0; f + 1 < upper.faceStart.size(); ++f)
    std::reverse(upper.corners.begin() + upper.faceStart[f],
                 upper.corners.begin() + upper.faceStart[f + 1]);
  SbHeModelHQ model;
  model.build(testmesh::model({&lower, &upper}));
  const HeTriangle* below = nullptr;
  const HeTriangle* above = nullptr;
  for (const HeTriangle* t : model.triangles) (t->normal[2] > 0 ? below : above) = t;
  ASSERT_TRUE(below && above);
  StrokeCollider collider(model, 0.05f);
  const SbVec3f a(0.2f, 0.5f, 0), b(0.4f, 0.5f, 0);
  ASSERT_EQ(collider.addSegment(below, a, b, nullptr, 0), 1);
  EXPECT_TRUE(collider.nearAny(below, SbVec3f(0.3f, 0.53f, 0)));
  EXPECT_FALSE(collider.nearAny(above, SbVec3f(0.3f, 0.5f, 0.02f)));
  int seen = 0;
  collider.forPath(above, SbVec3f(0.3f, 0.6f, 0.02f), SbVec3f(0.3f, 0.4f, 0.02f),
                   [&](int, const StrokeSegment&) { ++seen; });
  EXPECT_EQ(seen, 0);
  EXPECT_FLOAT_EQ(collider.sphereDistance(SbVec3f(0.3f, 0.5f, 0.02f), SbVec3f(1, 0, 0), above,
                                          0.06f, 1),
                  0.06f);
}

TEST_F(StrokeColliderTest, MovingPointHitsWhereItEntersTheSeparation) {
  StrokeCollider collider(model, 0.05f);
  const SbVec3f a(0.2f, 0.5f, 0), b(0.4f, 0.5f, 0);
  collider.addSegment(faceAt(0.3f, 0.5f), a, b, nullptr, 0);
  const StrokeSegment& s = *collider.segment(0);
  float t = -1;
  // Head-on from the side: enters the cylinder 0.05 before the line.
  EXPECT_TRUE(collider.stepHits(SbVec3f(0.3f, 0.7f, 0), SbVec3f(0, -1, 0), s, t));
  EXPECT_NEAR(t, 0.15f, 1e-5f);
  // Along the segment's line towards its start: hits at the start's plane.
  EXPECT_TRUE(collider.stepHits(SbVec3f(0.0f, 0.5f, 0), SbVec3f(1, 0, 0), s, t));
  EXPECT_NEAR(t, 0.2f, 1e-5f);
  // Passing beside it, farther than the separation: no hit.
  EXPECT_FALSE(collider.stepHits(SbVec3f(0.0f, 0.56f, 0), SbVec3f(1, 0, 0), s, t));
  // Moving away: no hit.
  EXPECT_FALSE(collider.stepHits(SbVec3f(0.3f, 0.7f, 0), SbVec3f(0, 1, 0), s, t));
}

TEST_F(StrokeColliderTest, LeavingPointNeverHits) {
  StrokeCollider collider(model, 0.05f);
  const SbVec3f a(0.2f, 0.5f, 0), b(0.25f, 0.52f, 0), c(0.3f, 0.5f, 0);
  collider.addSegment(faceAt(0.22f, 0.5f), a, b, nullptr, 0);
  collider.addSegment(faceAt(0.27f, 0.5f), b, c, &a, 0);
  float t = -1;
  for (int i = 0; i < collider.segmentCount(); ++i) {
    const StrokeSegment& s = *collider.segment(i);
    // The point at the end of the stroke, moving on along it or turning.
    for (const SbVec3f& d : {SbVec3f(1, 0, 0), SbVec3f(0.6f, -0.8f, 0), SbVec3f(0.6f, 0.8f, 0)})
      EXPECT_FALSE(collider.stepHits(c, d, s, t)) << "segment " << i;
  }
}

TEST_F(StrokeColliderTest, BendRegistersAJointSegment) {
  StrokeCollider collider(model, 0.05f);
  const SbVec3f a(0.2f, 0.5f, 0), b(0.3f, 0.5f, 0), straight(0.4f, 0.5f, 0),
      bent(0.3f, 0.6f, 0);
  collider.addSegment(faceAt(0.25f, 0.5f), a, b, nullptr, 0);
  EXPECT_EQ(collider.addSegment(faceAt(0.35f, 0.5f), b, straight, &a, 0), 1);
  EXPECT_EQ(collider.addSegment(faceAt(0.3f, 0.55f), b, bent, &a, 0), 2);
  // The joint lies across the corner at b, one separation times sqrt(2) long.
  const StrokeSegment& joint = *collider.segment(3);
  EXPECT_NEAR(joint.length, 0.05f * std::sqrt(2.0f), 1e-4f);
  EXPECT_NEAR(((joint.start + joint.end) * 0.5f - b).length(), 0.0f, 1e-6f);
  // The outside of the corner is covered by it.
  EXPECT_TRUE(collider.pointNear(b + SbVec3f(0.03f, -0.03f, 0), joint));
}

TEST_F(StrokeColliderTest, DistancesSearchOnlyTheStrokesThatCount) {
  StrokeCollider collider(model, 0.01f);
  const float probe = 0.06f;
  const HeTriangle* face = faceAt(0.5f, 0.5f);
  const SbVec3f p(0.5f, 0.5f, 0), d(1, 0, 0);
  EXPECT_FLOAT_EQ(collider.sphereDistance(p, d, face, probe, 1), probe);
  EXPECT_FLOAT_EQ(collider.planeDistance(p, d, face, probe, 1), probe);
  EXPECT_FLOAT_EQ(collider.planeAverageDistance(p, d, face, probe, 1), probe);
  // Stroke 0 runs parallel 0.02 above, stroke 2 0.04 below; the first is in
  // another face than the query point.
  collider.addSegment(faceAt(0.5f, 0.52f), SbVec3f(0.45f, 0.52f, 0), SbVec3f(0.55f, 0.52f, 0),
                      nullptr, 0);
  collider.addSegment(faceAt(0.5f, 0.46f), SbVec3f(0.45f, 0.46f, 0), SbVec3f(0.55f, 0.46f, 0),
                      nullptr, 2);
  EXPECT_NEAR(collider.sphereDistance(p, d, face, probe, 1), 0.02f, 1e-6f);
  EXPECT_NEAR(collider.planeDistance(p, d, face, probe, 1), 0.02f, 1e-6f);
  // Only strokes accepted earlier count for these two.
  EXPECT_FLOAT_EQ(collider.sphereDistance(p, d, face, probe, 0), probe);
  EXPECT_NEAR(collider.sphereDistance(p, d, face, probe, 3), 0.02f, 1e-6f);
  // The average takes one side each, later strokes included, not its own.
  EXPECT_NEAR(collider.planeAverageDistance(p, d, face, probe, 1), 0.03f, 1e-6f);
  EXPECT_NEAR(collider.planeAverageDistance(p, d, face, probe, 2), 0.5f * (0.02f + probe), 1e-6f);
  // A segment that does not cross the plane through the point is not measured
  // by the planar distance, though it is near in space.
  StrokeCollider ahead(model, 0.01f);
  ahead.addSegment(faceAt(0.53f, 0.5f), SbVec3f(0.52f, 0.505f, 0), SbVec3f(0.54f, 0.505f, 0),
                   nullptr, 0);
  EXPECT_NEAR(ahead.sphereDistance(p, d, face, probe, 1), (SbVec3f(0.02f, 0.005f, 0)).length(),
              1e-6f);
  EXPECT_FLOAT_EQ(ahead.planeDistance(p, d, face, probe, 1), probe);
}

TEST_F(StrokeColliderTest, MergeAndRollbackKeepTheCellsConsistent) {
  auto shared = std::make_unique<StrokeCollider>(model, 0.05f);
  StrokeCollider own(model, 0.05f);
  const HeTriangle* face = faceAt(0.3f, 0.5f);
  shared->addSegment(face, SbVec3f(0.2f, 0.5f, 0), SbVec3f(0.3f, 0.5f, 0), nullptr, 0);
  own.addSegment(face, SbVec3f(0.2f, 0.6f, 0), SbVec3f(0.3f, 0.6f, 0), nullptr, 1);
  const SbVec3f nearOwn(0.25f, 0.64f, 0), nearLater(0.25f, 0.36f, 0), nearLatest(0.25f, 0.74f, 0);
  const int ownEntries = own.entryCount();
  const int sharedEntries = shared->entryCount();
  shared->merge(own);
  EXPECT_EQ(own.segmentCount(), 0);
  EXPECT_FALSE(own.nearAny(face, nearOwn));
  EXPECT_TRUE(shared->nearAny(face, nearOwn));
  EXPECT_EQ(shared->segmentCount(), 2);
  EXPECT_EQ(shared->entryCount(), sharedEntries + ownEntries);

  const StrokeCollider::Checkpoint mark = shared->checkpoint();
  shared->addSegment(face, SbVec3f(0.2f, 0.4f, 0), SbVec3f(0.3f, 0.4f, 0), nullptr, 2);
  EXPECT_TRUE(shared->nearAny(face, nearLater));
  shared->rollback(mark);
  EXPECT_FALSE(shared->nearAny(face, nearLater));
  EXPECT_EQ(shared->entryCount(), sharedEntries + ownEntries);
  EXPECT_EQ(StrokeCollider::segPool.live(), 2);

  // Back to an older checkpoint than the latest: the slow way, same result.
  shared->addSegment(face, SbVec3f(0.2f, 0.4f, 0), SbVec3f(0.3f, 0.4f, 0), nullptr, 2);
  shared->checkpoint();
  shared->addSegment(face, SbVec3f(0.2f, 0.7f, 0), SbVec3f(0.3f, 0.7f, 0), nullptr, 3);
  EXPECT_TRUE(shared->nearAny(face, nearLatest));
  shared->rollback(mark);
  EXPECT_FALSE(shared->nearAny(face, nearLater));
  EXPECT_FALSE(shared->nearAny(face, nearLatest));
  EXPECT_TRUE(shared->nearAny(face, nearOwn));
  EXPECT_EQ(shared->entryCount(), sharedEntries + ownEntries);
  EXPECT_EQ(StrokeCollider::segPool.live(), 2);
  shared->clear();
  EXPECT_FALSE(shared->nearAny(face, nearOwn));
  EXPECT_EQ(StrokeCollider::segPool.live(), 0);
}

// Two triangles over [0, 1]^2, a hundred separations wide. Every answer must
// be the one a scan of every segment gives.
TEST(StrokeColliderCells, QueriesAnswerAsAScanOfEverySegment) {
  SbHeModelHQ model;
  model.build(testmesh::model(testmesh::grid(1, 1, 1.0f)));
  ASSERT_EQ(model.triangleCount(), 2);
  const float sep = 0.01f;
  StrokeCollider collider(model, sep);

  auto faceAt = [&](const SbVec3f& p) -> const HeTriangle* {
    for (const HeTriangle* t : model.triangles) {
      float u = 0, v = 0;
      SbHeModelHQ::triangleCoordinates(t, p, u, v);
      if (u >= -1e-6f && v >= -1e-6f && u + v <= 1 + 1e-6f) return t;
    }
    return model.triangles[0];
  };
  // A deterministic scatter of short strokes, bent at every joint, some
  // crossing the diagonal between the two faces and some along the border.
  uint32_t state = 12345u;
  auto rnd = [&]() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  };
  for (int stroke = 0; stroke < 300; ++stroke) {
    SbVec3f p(rnd(), rnd(), 0);
    if (stroke % 10 == 0) p[1] = 0.002f;
    SbVec3f previous;
    bool hasPrevious = false;
    float angle = rnd() * 6.2832f;
    for (int k = 0; k < 4; ++k) {
      angle += (rnd() - 0.5f) * 1.5f;
      SbVec3f q = p + SbVec3f(std::cos(angle), std::sin(angle), 0) * (sep * (0.5f + 2 * rnd()));
      q[0] = std::clamp(q[0], 0.0f, 1.0f);
      q[1] = std::clamp(q[1], 0.0f, 1.0f);
      collider.addSegment(faceAt(p), p, q, hasPrevious ? &previous : nullptr, stroke);
      previous = p;
      hasPrevious = true;
      p = q;
    }
  }
  ASSERT_GT(collider.segmentCount(), 1200);

  int near = 0, hits = 0;
  for (int i = 0; i < 4000; ++i) {
    const SbVec3f p(rnd(), rnd(), 0);
    const HeTriangle* face = faceAt(p);
    std::vector<const StrokeSegment*> all;
    for (int k = 0; k < collider.segmentCount(); ++k) all.push_back(collider.segment(k));
    // Point test.
    bool expected = false;
    for (const StrokeSegment* s : all) expected = expected || collider.pointNear(p, *s);
    EXPECT_EQ(collider.nearAny(face, p), expected) << p[0] << " " << p[1];
    near += expected;
    // A step of 2.5 separations that stays in the face.
    const float angle = rnd() * 6.2832f;
    const SbVec3f d(std::cos(angle), std::sin(angle), 0);
    float length = 2.5f * sep;
    while (length > 0 && faceAt(p + d * length) != face) length *= 0.5f;
    const SbVec3f q = p + d * length;
    auto firstHit = [&](auto&& each) {
      float first = 1e30f;
      each([&](const StrokeSegment& s) {
        float t = 0;
        if (collider.stepHits(p, d, s, t) && t < length) first = std::min(first, t);
      });
      return first;
    };
    const float viaBucket = firstHit([&](auto&& f) {
      for (const StrokeSegment* s : all) f(*s);
    });
    int visits = 0;
    const float viaCells = firstHit([&](auto&& f) {
      collider.forPath(face, p, q, [&](int, const StrokeSegment& s) {
        ++visits;
        f(s);
      });
    });
    EXPECT_EQ(viaCells, viaBucket) << p[0] << " " << p[1];
    EXPECT_LT(visits, static_cast<int>(all.size()) / 10);
    hits += viaBucket < 1e30f;
    // Distances to the strokes before stroke 150, against every segment.
    const float probe = 1.2f * sep;
    float sphere = probe, plane = probe;
    for (int k = 0; k < collider.segmentCount(); ++k) {
      const StrokeSegment& s = *collider.segment(k);
      if (s.stroke >= 150) continue;
      const SbVec3f u = (s.end - s.start) / s.length;
      const float t = std::clamp(u.dot(p - s.start), 0.0f, s.length);
      sphere = std::min(sphere, (s.start + u * t - p).length());
      if (std::fabs(u.dot(d)) > 1e-6f) {
        const float tp = (p - s.start).dot(d) / u.dot(d);
        if (tp >= -1e-3f && tp <= s.length + 1e-3f)
          plane = std::min(plane, (s.start + u * tp - p).length());
      }
    }
    EXPECT_NEAR(collider.sphereDistance(p, d, face, probe, 150), sphere, 1e-6f);
    EXPECT_NEAR(collider.planeDistance(p, d, face, probe, 150), plane, 1e-6f);
  }
  // The scatter is dense enough for both answers to occur often.
  EXPECT_GT(near, 400);
  EXPECT_GT(hits, 400);
}

}  // namespace
