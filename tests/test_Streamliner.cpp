// Stroke sets hatched over closed and open meshes, checked by brute force (points on their faces, strokes kept apart,
// no short strokes, sharp edges not crossed, the surface covered), and the node's caching and failures.

#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <map>

#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "core/ChangeStamp.h"
#include "core/ProgressMeter.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"
#include "strokes/SbStreamlineTracer.h"
#include "strokes/SoStreamlinerHQ.h"

namespace {

using FieldFunction = std::function<SbVec3f(const SbVec3f& p)>;
using Settings = SbStreamlineTracer::Settings;
const float kDegree = 3.14159265f / 180;

struct Hatched {
  SbHeModelHQ model;
  std::vector<SbVec3f> directions;
  SbStreamlineTracer::Parameters param;
  StrokeSet set;
  std::vector<std::vector<int32_t>> strokes;  // point indices of each stroke
  std::vector<int> family;                    // of each stroke
  const SbVec3f& at(size_t s, size_t k) const { return set.points[strokes[s][k]]; }
};

// The application's start-up settings: separation, probe distance, sharp edge, bend, shortest and longest stroke, step.
const Settings kStartup{0.01f, 0.012f, 115.0f, -60.0f, 0.02f, -0.2f, 0.025f};

// The field f projected into each vertex's tangent plane; with `cross` a second family along the perpendicular field
// follows, as the node traces it.
std::unique_ptr<Hatched> hatch(const PolyMesh& mesh, const FieldFunction& f, const Settings& settings,
                               int taper = SbStreamlineTracer::TM_PLANE, bool cross = false) {
  auto h = std::make_unique<Hatched>();
  h->model.build(testmesh::model(mesh));
  std::vector<SbVec3f> crossDirections;
  for (const HeVertex* v : h->model.vertices) {
    SbVec3f d = f(v->position);
    d -= v->normal * d.dot(v->normal);
    if (d.length() > 1e-9f) d.normalize();
    h->directions.push_back(d);
    crossDirections.push_back(v->normal.cross(d));
  }
  h->param = SbStreamlineTracer::derive(settings, h->model.size());
  {
    SbStreamlineTracer tracer(h->model, h->directions, h->param);
    tracer.hatch(h->set, taper);
    if (cross) {
      StrokeSet second;
      tracer.setDirections(crossDirections);
      tracer.hatch(second, taper);
      h->set.appendCross(second);
    }
  }
  // Every segment and seed went back to its pool.
  EXPECT_TRUE(StrokeCollider::segPool.live() == 0 && SbStreamlineTracer::seedPool.live() == 0);
  h->strokes.emplace_back();
  for (int32_t i : h->set.indices)
    if (i >= 0)
      h->strokes.back().push_back(i);
    else
      h->strokes.emplace_back();
  EXPECT_TRUE(h->strokes.back().empty()) << "the index list ends with -1";
  h->strokes.pop_back();
  for (const auto& s : h->strokes)
    h->family.push_back(h->set.family.empty() || s.empty() ? 0 : int(h->set.family[s[0]]));
  EXPECT_EQ(static_cast<int>(h->strokes.size()), h->set.strokeCount);
  return h;
}

float pointSegmentDistance(const SbVec3f& p, const SbVec3f& a, const SbVec3f& b) {
  const SbVec3f ab = b - a;
  const float len2 = ab.dot(ab);
  const float t = len2 > 0 ? std::clamp((p - a).dot(ab) / len2, 0.0f, 1.0f) : 0.0f;
  return (p - (a + ab * t)).length();
}

// Arc length of each point of stroke s from its first point.
std::vector<float> arcLengths(const Hatched& h, size_t s) {
  std::vector<float> arc(h.strokes[s].size(), 0.0f);
  for (size_t k = 1; k < arc.size(); ++k) arc[k] = arc[k - 1] + (h.at(s, k) - h.at(s, k - 1)).length();
  return arc;
}

// Points lie on their faces, nothing is NaN, no stroke is short, tapers in (0, 1].
void expectWellFormed(const Hatched& h) {
  ASSERT_EQ(h.set.faces.size(), h.set.points.size());
  int offFace = 0;
  for (size_t i = 0; i < h.set.points.size(); ++i) {
    const SbVec3f& p = h.set.points[i];
    ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) << i;
    const HeTriangle* t = h.set.faces[i];
    ASSERT_NE(t, nullptr);
    float u = 0, v = 0;
    SbHeModelHQ::triangleCoordinates(t, p, u, v);
    offFace += !(u >= -1e-3f && v >= -1e-3f && u + v <= 1 + 1e-3f &&
                 std::fabs((p - t->vertex[0]->position).dot(t->normal)) < 1e-4f * h.param.size);
  }
  EXPECT_EQ(offFace, 0);
  for (size_t s = 0; s < h.strokes.size(); ++s) {
    ASSERT_GE(h.strokes[s].size(), 2u);
    EXPECT_GE(arcLengths(h, s).back(), h.param.minLength * (1 - 1e-4f));
  }
  for (float t : h.set.taper) EXPECT_TRUE(t > 0.0f && t <= 1.0f) << t;
}

// The polyline segments of the strokes (of one family, or all: -1) filed in cubic cells, so that all within one cell of
// a point lie in the 27 cells about it.
class SegmentGrid {
 public:
  SegmentGrid(const Hatched& h, float cell, int family = -1) : h(h), cell(cell) {
    for (size_t s = 0; s < h.strokes.size(); ++s)
      for (size_t m = 0; (family < 0 || h.family[s] == family) && m + 1 < h.strokes[s].size(); ++m) {
        const Key a = key(h.at(s, m)), b = key(h.at(s, m + 1));
        for (int x = std::min(a[0], b[0]); x <= std::max(a[0], b[0]); ++x)
          for (int y = std::min(a[1], b[1]); y <= std::max(a[1], b[1]); ++y)
            for (int z = std::min(a[2], b[2]); z <= std::max(a[2], b[2]); ++z)
              cells[{x, y, z}].push_back({int(s), int(m)});
      }
  }
  // f(stroke, index of the segment's first point, distance) for the segments about p.
  template <class F>
  void near(const SbVec3f& p, F f) const {
    const Key k = key(p);
    for (int x = k[0] - 1; x <= k[0] + 1; ++x)
      for (int y = k[1] - 1; y <= k[1] + 1; ++y)
        for (int z = k[2] - 1; z <= k[2] + 1; ++z) {
          auto it = cells.find({x, y, z});
          if (it == cells.end()) continue;
          for (const auto& [s, m] : it->second) f(s, m, pointSegmentDistance(p, h.at(s, m), h.at(s, m + 1)));
        }
  }

 private:
  using Key = std::array<int, 3>;
  Key key(const SbVec3f& p) const {
    return {int(std::floor(p[0] / cell)), int(std::floor(p[1] / cell)), int(std::floor(p[2] / cell))};
  }
  const Hatched& h;
  float cell;
  std::map<Key, std::vector<std::pair<int, int>>> cells;
};

// Smallest distance between points and segments of different strokes (of one family, or all), away from the stroke
// ends; capped at the separation.
float interiorSeparation(const Hatched& h, int family = -1) {
  const float sep = h.param.separation;
  float smallest = sep;
  std::vector<std::vector<float>> arcs;
  for (size_t s = 0; s < h.strokes.size(); ++s) arcs.push_back(arcLengths(h, s));
  const SegmentGrid grid(h, sep, family);
  for (size_t a = 0; a < h.strokes.size(); ++a)
    for (size_t k = 0; (family < 0 || h.family[a] == family) && k < h.strokes[a].size(); ++k) {
      if (arcs[a][k] < sep || arcs[a][k] > arcs[a].back() - sep) continue;
      grid.near(h.at(a, k), [&](int s, int m, float d) {
        if (s != static_cast<int>(a) && arcs[s][m + 1] >= sep && arcs[s][m] <= arcs[s].back() - sep)
          smallest = std::min(smallest, d);
      });
    }
  return smallest;
}

// Share of face centroids within the probe distance of some stroke.
float coverage(const Hatched& h) {
  int covered = 0;
  const SegmentGrid grid(h, h.param.probe);
  for (const HeTriangle* t : h.model.triangles) {
    bool near = false;
    grid.near((t->vertex[0]->position + t->vertex[1]->position + t->vertex[2]->position) / 3.0f,
              [&](int, int, float d) { near = near || d <= h.param.probe; });
    covered += near;
  }
  return static_cast<float>(covered) / h.model.triangleCount();
}

// Along the latitudes about a tilted axis; a helix about a torus's tube; a helix about z.
SbVec3f sphereField(const SbVec3f& p) { return SbVec3f(0.3f, 0.2f, 1.0f).cross(p); }
SbVec3f torusField(const SbVec3f& p) {
  const SbVec3f around = SbVec3f(0, 0, 1).cross(p);
  SbVec3f centre(p[0], p[1], 0);
  centre.normalize();
  return around + around.cross(p - centre) * 0.5f;
}
SbVec3f cylinderField(const SbVec3f& p) { return SbVec3f(-p[1], p[0], 0.05f); }

}  // namespace

// Strokes never come closer than the separation away from their ends, and cover the surface; on the coarse models
// (faces a hundred separations wide) the strokes run on across the faces, their total length about the area over the
// separation (each covers a ribbon one separation wide).
TEST(StreamlinerStrokes, StrokesKeepTheSeparationAndCoverTheSurface) {
  // clang-format off
  // The area bounds the strokes' total length (0: not bounded).
  const struct { const char* name; PolyMesh mesh; FieldFunction field; int taper; float area; } cases[] = {
      {"sphere", testmesh::geodesicSphere(14, 1.0f), sphereField, SbStreamlineTracer::TM_PLANE, 0},
      {"torus", testmesh::torus(96, 32, 1.0f, 0.4f), torusField, SbStreamlineTracer::TM_SPHERE, 0},
      {"open cylinder", testmesh::cylinder(64, 40, 0.5f, 2.0f), cylinderField, SbStreamlineTracer::TM_PLANE_AVG, 0},
      {"cube", testmesh::cubeTriangles(1.0f), sphereField, SbStreamlineTracer::TM_PLANE, 24.0f},
      {"octagonal tube", testmesh::cylinder(8, 1, 1.0f, 2.0f), cylinderField, SbStreamlineTracer::TM_PLANE,
       8 * 2.0f * 2.0f * std::sin(3.14159265f / 8)}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto h = hatch(c.mesh, c.field, kStartup, c.taper);
    ASSERT_GT(h->set.strokeCount, 10);
    expectWellFormed(*h);
    EXPECT_GE(interiorSeparation(*h), h->param.separation * 0.98f);
    EXPECT_GE(coverage(*h), 0.95f);
    ASSERT_EQ(h->set.taper.size(), h->set.points.size());
    // The first stroke has nothing earlier to taper against (the average counts later ones too); no taper below floor.
    const bool average = c.taper == SbStreamlineTracer::TM_PLANE_AVG;
    for (int32_t i : h->strokes[0]) EXPECT_TRUE(average || h->set.taper[i] == 1.0f) << h->set.taper[i];
    for (float t : h->set.taper) EXPECT_GE(t, 1e-6f / (h->param.probe - h->param.separation) * (1 - 1e-3f));
    if (c.area == 0) continue;
    double total = 0;
    for (size_t s = 0; s < h->strokes.size(); ++s) total += arcLengths(*h, s).back();
    const double ribbons = c.area / h->param.separation;
    EXPECT_TRUE(total <= 1.1 * ribbons && total >= 0.5 * ribbons) << total << " for " << ribbons;
    EXPECT_GE(total / h->set.strokeCount, 10.0 * h->param.separation);
  }
}

// The cross family keeps the separation among itself, crosses the first at right angles, and its points are marked.
TEST(StreamlinerStrokes, CrossFamilyKeepsApartAmongItselfAndRunsAcrossTheFirst) {
  const auto h = hatch(testmesh::torus(96, 32, 1.0f, 0.4f), torusField, kStartup, SbStreamlineTracer::TM_PLANE, true);
  expectWellFormed(*h);
  const size_t first = h->set.strokeCount - h->set.crossStrokes;
  ASSERT_TRUE(first > 10 && h->set.crossStrokes > 10);
  ASSERT_TRUE(h->set.family.size() == h->set.points.size() && h->set.taper.size() == h->set.points.size());
  for (size_t s = 0; s < h->strokes.size(); ++s)
    for (int32_t i : h->strokes[s]) ASSERT_EQ(h->set.family[i], s < first ? 0.0f : 1.0f);
  for (int family = 0; family < 2; ++family)
    EXPECT_GE(interiorSeparation(*h, family), h->param.separation * 0.98f) << "family " << family;
  // |cos| of the angle between a cross stroke and the nearest first-family segment within the separation.
  const SegmentGrid firstFamily(*h, h->param.separation, 0);
  std::vector<float> cosines;
  for (size_t s = first; s < h->strokes.size(); ++s)
    for (size_t k = 1; k + 1 < h->strokes[s].size(); ++k) {
      SbVec3f t = h->at(s, k + 1) - h->at(s, k - 1);
      t.normalize();
      float nearest = h->param.separation, cosine = -1.0f;
      firstFamily.near(h->at(s, k), [&](int seg, int m, float d) {
        if (d >= nearest) return;
        SbVec3f u = h->at(seg, m + 1) - h->at(seg, m);
        u.normalize();
        nearest = d;
        cosine = std::fabs(t.dot(u));
      });
      if (cosine >= 0.0f) cosines.push_back(cosine);
    }
  ASSERT_GT(cosines.size(), 1000u);
  std::sort(cosines.begin(), cosines.end());
  EXPECT_LT(cosines[cosines.size() / 2], std::sin(5.0f * kDegree));
  EXPECT_LT(cosines[cosines.size() * 95 / 100], std::sin(15.0f * kDegree));
}

// A grid over [0, 2] x [0, 1] folded up by 90 degrees along x = 1, with a field running straight across the fold.
TEST(StreamlinerStrokes, SharpEdgeIsNeverCrossedWhenDetectionIsOn) {
  PolyMesh folded = testmesh::grid(40, 20, 2.0f);
  for (SbVec3f& p : folded.positions) {
    p[1] *= 0.5f;
    if (p[0] > 1.0f) p = SbVec3f(1.0f, p[1], p[0] - 1.0f);
  }
  const FieldFunction acrossFold = [](const SbVec3f& p) {
    return p[2] > 1e-4f ? SbVec3f(0, 0.2f, 1) : p[0] < 1.0f - 1e-4f ? SbVec3f(1, 0.2f, 0) : SbVec3f(1, 0.2f, 1);
  };
  auto strokesAcross = [](const Hatched& h) {
    int across = 0;
    for (const auto& s : h.strokes) {
      bool flat = false, up = false;
      for (int32_t i : s) {
        flat = flat || h.set.points[i][0] < 1.0f - 1e-3f;
        up = up || h.set.points[i][2] > 1e-3f;
      }
      across += flat && up;
    }
    return across;
  };
  const auto h = hatch(folded, acrossFold, kStartup);
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  EXPECT_EQ(strokesAcross(*h), 0);
  Settings off = kStartup;
  off.sharpEdge = -115.0f;
  EXPECT_GT(strokesAcross(*hatch(folded, acrossFold, off)), 0);
}

// Tracing ends, with well-formed strokes, where it could run for ever: a tube thinner than the probe distance with the
// field around it or along it; a separation larger than the model with every limit off (strokes end by collision with
// themselves); a step size of 0, raised to the smallest step that keeps all strokes within the step budget (area /
// (separation x budget)).
TEST(StreamlinerStrokes, TracingEndsOnThinTubesWideSeparationsAndTinySteps) {
  for (const FieldFunction& f : {FieldFunction([](const SbVec3f& p) { return SbVec3f(-p[1], p[0], 0); }),
                                 FieldFunction([](const SbVec3f&) { return SbVec3f(0, 0, 1); })})
    expectWellFormed(*hatch(testmesh::cylinder(12, 60, 0.004f, 1.0f), f, kStartup));
  const Settings wide{2.0f, 2.5f, -1.0f, -60.0f, -1.0f, -0.2f, 0.025f};
  const auto w = hatch(testmesh::geodesicSphere(6, 1.0f), sphereField, wide);
  expectWellFormed(*w);
  EXPECT_GE(w->set.strokeCount, 1);
  const Settings tinyStep{0.3f, 0.35f, 115.0f, -60.0f, -1.0f, -0.2f, 0.0f};
  const auto t = hatch(
      testmesh::grid(2, 2, 1.0f), [](const SbVec3f&) { return SbVec3f(1, 0.3f, 0); }, tinyStep);
  EXPECT_FLOAT_EQ(t->param.stepSize, 1e-6f);
  expectWellFormed(*t);
  SbStreamlineTracer tracer(t->model, t->directions, t->param);
  EXPECT_FLOAT_EQ(tracer.parameters().stepSize, float(1.0 / (0.3 * SbStreamlineTracer::kStepBudget)));
  EXPECT_LT(double(t->set.points.size()), 2.0 * SbStreamlineTracer::kStepBudget);
}

// Settings no tracing can use become sane parameters, each with a sentence that says what was used instead.
TEST(StreamlinerStrokes, ExtremeSettingsBecomeSaneParametersWithANote) {
  const float nan = std::nanf(""), inf = INFINITY;
  // clang-format off
  const struct Row { float Settings::*field; float value; const char* note; } rows[] = {
      {&Settings::seperationDist, 0.0f, "seperationDist 0 is not a positive distance; using the smallest, 0.001"},
      {&Settings::seperationDist, nan, "seperationDist nan is not a positive distance; using the smallest, 0.001"},
      {&Settings::seperationDist, inf, "seperationDist inf is more than 2 model sizes; using 2"},
      {&Settings::seperationDist, 1e38f, "seperationDist 1e+38 is more than 2 model sizes; using 2"},
      {&Settings::seperationDist, 1e-30f, "seperationDist 1e-30 is below 0.001; using 0.001"},
      {&Settings::probeDist, nan, "probeDist nan is not a number; using the separation"},
      {&Settings::probeDist, inf, "probeDist inf is more than 20 separations; using 0.2"},
      {&Settings::probeDist, 1e38f, "probeDist 1e+38 is more than 20 separations; using 0.2"},
      {&Settings::sharpEdge, nan, "sharpEdge nan is not a number; no sharp-edge stops"},
      {&Settings::sharpEdge, 1e38f, "sharpEdge 1e+38 is more than 180 degrees; using 180"},
      {&Settings::maxBend, nan, "maxBend nan is not a number; no bend limit"},
      {&Settings::minLength, nan, "minLength nan is not a number; every stroke is kept"},
      {&Settings::maxLength, nan, "maxLength nan is not a number; no length limit"},
      {&Settings::stepSize, 0.0f, "stepSize 0 is not a positive length; using the smallest"},
      {&Settings::stepSize, -inf, "stepSize -inf is not a positive length; using the smallest"},
      {&Settings::stepSize, nan, "stepSize nan is not a positive length; using the smallest"}};
  // clang-format on
  const float size = 2.0f;
  for (const Row& row : rows) {
    Settings s = kStartup;
    s.*row.field = row.value;
    std::vector<std::string> notes;
    const SbStreamlineTracer::Parameters p = SbStreamlineTracer::derive(s, size, &notes);
    SCOPED_TRACE(row.note);
    EXPECT_EQ(notes, std::vector<std::string>{row.note});
    EXPECT_TRUE(p.separation >= 0.001f * size && p.separation <= 2.0f * size) << p.separation;
    EXPECT_TRUE(p.probe > p.separation && p.probe <= 20.0f * p.separation + 0.001f * size) << p.probe;
    EXPECT_FALSE(p.sharpEdge.sharp(SbVec3f(0, 0, 1), SbVec3f(0, 0, 1)));  // coplanar faces
    EXPECT_TRUE(p.stepSize >= 1e-6f * size && std::isfinite(p.stepSize + p.separationSq + p.probeSq)) << p.stepSize;
    EXPECT_TRUE(p.maxBend > 0.0f && p.minLength > 0.0f && p.maxLength >= p.minLength);
  }
  std::vector<std::string> none;
  SbStreamlineTracer::derive(kStartup, size, &none);
  EXPECT_TRUE(none.empty());
}

// No stroke is longer than the limit; on concentric circles over a flat square strokes turn steadily, and the turning
// of each stays within the bend limit (give or take the last step).
TEST(StreamlinerStrokes, MaximumBendAndLengthLimitStrokes) {
  Settings s = kStartup;
  s.maxLength = 0.1f;
  const auto h = hatch(testmesh::geodesicSphere(10, 1.0f), sphereField, s);
  ASSERT_GT(h->set.strokeCount, 0);
  for (size_t k = 0; k < h->strokes.size(); ++k) EXPECT_LE(arcLengths(*h, k).back(), h->param.maxLength * 1.001f);
  Settings c{0.04f, 0.05f, 115.0f, -60.0f, -1.0f, -0.2f, 0.025f};
  const FieldFunction circles = [](const SbVec3f& p) { return SbVec3f(0, 0, 1).cross(p - SbVec3f(0.5f, 0.5f, 0)); };
  auto largestTurn = [&](const Settings& settings) {
    const auto h = hatch(testmesh::grid(30, 30, 1.0f), circles, settings);
    EXPECT_GT(h->set.strokeCount, 0);
    float largest = 0;
    for (size_t s = 0; s < h->strokes.size(); ++s) {
      float total = 0;
      for (size_t k = 1; k + 1 < h->strokes[s].size(); ++k) {
        SbVec3f a = h->at(s, k) - h->at(s, k - 1), b = h->at(s, k + 1) - h->at(s, k);
        a.normalize();
        b.normalize();
        total += std::acos(std::clamp(a.dot(b), -1.0f, 1.0f)) / kDegree;
      }
      largest = std::max(largest, total);
    }
    return largest;
  };
  EXPECT_GT(largestTurn(c), 270.0f);
  c.maxBend = 90.0f;
  EXPECT_LE(largestTurn(c), 90.0f + 30.0f);
}

// A closed twenty-sided cylinder whose side faces have vertices only on the rims, where the vertex normals lean towards
// the caps. A field along the axis, given in each vertex's tangent plane, leans out of the side faces there; carried
// into the faces it must still run along the axis.
TEST(StreamlinerStrokes, FieldAtCreasedVerticesRunsStraightInTheFaces) {
  PolyMesh mesh = testmesh::cylinder(20, 1, 1.0f, 2.0f);
  std::vector<int> low, high;
  for (int i = 0; i < static_cast<int>(mesh.positions.size()); ++i)
    (mesh.positions[i][2] < 0 ? low : high).push_back(i);
  for (std::vector<int>* ring : {&low, &high})
    std::sort(ring->begin(), ring->end(), [&](int a, int b) {
      return std::atan2(mesh.positions[a][1], mesh.positions[a][0]) <
             std::atan2(mesh.positions[b][1], mesh.positions[b][0]);
    });
  std::reverse(low.begin(), low.end());  // the caps wind as the tube does
  mesh.addFace(high);
  mesh.addFace(low);
  const auto h = hatch(
      mesh, [](const SbVec3f&) { return SbVec3f(0, 0, 1); }, kStartup);
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  int sideSegments = 0, leaning = 0;
  for (size_t s = 0; s < h->strokes.size(); ++s)
    for (size_t k = 0; k + 1 < h->strokes[s].size(); ++k) {
      SbVec3f d = h->at(s, k + 1) - h->at(s, k);
      if (std::fabs(h->set.faces[h->strokes[s][k]]->normal[2]) > 0.5f || d.length() < 1e-6f) continue;  // a cap
      d.normalize();
      ++sideSegments;
      leaning += std::fabs(d[2]) < std::cos(5.0f * kDegree);
    }
  ASSERT_GT(sideSegments, 100);
  EXPECT_LT(leaning, sideSegments / 100) << leaning << " of " << sideSegments;
}

namespace {
class StreamlinerNode : public testing::Test {
 protected:
  void SetUp() override {
    model.build(testmesh::model(testmesh::geodesicSphere(6, 1.0f)));
    for (const HeVertex* v : model.vertices) {
      SbVec3f d = sphereField(v->position);
      d -= v->normal * d.dot(v->normal);
      d.normalize();
      field.records.push_back(SbFlowFieldHQ::recordPool.take());
      *field.records.back() = {d, d.cross(v->normal), false, 0.0f};
    }
    field.modelStamp = model.stamp;
    field.stamp = drawChangeStamp();
    root = new SoSeparator;
    root->ref();
    root->addChild(new StateStep([this](SoState* state, SoNode* node) {
      SoHeModelElementHQ::set(state, node, &model);
      SoFlowFieldElementHQ::set(state, node, publishField ? &field : nullptr);
      SoLineCoordinateIndexElement::set(state, node, 3, sentinelIndices);
      SoLineThicknessElement::set(state, node, 2, sentinelThickness);
    }));
    streamliner = new SoStreamlinerHQ;
    streamliner->seperationDist = 0.05f;
    streamliner->probeDist = 0.06f;
    streamliner->stepSize = 0.025f;  // the default (the smallest) would take minutes
    root->addChild(streamliner);
    root->addChild(new StateStep([this](SoState* state, SoNode*) {
      indices = SoLineCoordinateIndexElement::get(state, indexCount);
      SoLineThicknessElement::get(state, thicknessCount);
      SoLineTaperElementHQ::get(state, taperCount);
      SoLineTriangleElementHQ::get(state, faceCount);
      SoLineFamilyElementHQ::get(state, familyCount);
      coordCount = SoCoordinateElement::getInstance(state)->getNum();
    }));
  }
  void TearDown() override {
    progressHook = nullptr;
    root->unref();
    field.clear();
  }
  std::string traverse() {
    testing::internal::CaptureStdout();
    SoCallbackAction().apply(root);
    return testing::internal::GetCapturedStdout();
  }
  int computations() const { return streamliner->computations(); }
  const StrokeSet& strokes() const { return streamliner->strokes(); }
  // Lengths of the arrays the next node sees: indices, coordinates, faces, taper, family, thickness.
  std::vector<int32_t> counts() const {
    return {indexCount, coordCount, faceCount, taperCount, familyCount, thicknessCount};
  }
  // The published arrays: those of the stroke set; families only with cross-hatching; no thickness.
  std::vector<int32_t> strokeCounts() const {
    const auto points = static_cast<int32_t>(strokes().points.size());
    return {int32_t(strokes().indices.size()), points, points, points, strokes().crossStrokes ? points : 0, 0};
  }

  SbHeModelHQ model;
  SbFlowFieldHQ field;
  bool publishField = true;
  SoSeparator* root = nullptr;
  SoStreamlinerHQ* streamliner = nullptr;
  // What the node after the streamliner sees.
  int32_t indexCount = -1, thicknessCount = -1, taperCount = -1, faceCount = -1, coordCount = -1, familyCount = -1;
  const int32_t* indices = nullptr;
  const int32_t sentinelIndices[3] = {0, 1, -1};
  const float sentinelThickness[2] = {1.0f, 2.0f};
};
}  // namespace

// The node publishes its stroke set with matching arrays, only when asked and given a field, and traces anew only for a
// new field stamp or when invalidated; cross-hatching adds and drops the cross family without retracing the first one,
// traced together under one progress line.
TEST_F(StreamlinerNode, PublishesTheStrokeSetAndRetracesOnlyForANewStampOrWhenInvalidated) {
  const std::string progress = "SoStreamlinerHQ: 0...25...50...75...100, ";
  EXPECT_EQ(traverse().rfind(progress, 0), 0u);
  ASSERT_GT(strokes().strokeCount, 0);
  EXPECT_EQ(indices, strokes().indices.data());
  EXPECT_EQ(counts(), strokeCounts());  // the stage before's thickness does not match the strokes
  traverse();
  streamliner->seperationDist = 0.08f;  // a field change alone does not retrace
  traverse();
  EXPECT_EQ(computations(), 1);
  field.stamp = drawChangeStamp();
  traverse();
  EXPECT_EQ(computations(), 2);
  // Switched off, or without a field, the node leaves the state alone.
  streamliner->doComputation = FALSE;
  traverse();
  EXPECT_TRUE(indices == sentinelIndices && thicknessCount == 2);
  streamliner->doComputation = TRUE;
  publishField = false;
  streamliner->invalidate();
  traverse();
  EXPECT_TRUE(indices == sentinelIndices && computations() == 2);
  publishField = true;
  traverse();
  EXPECT_EQ(computations(), 3);
  const std::vector<int32_t> first = strokes().indices;
  streamliner->crossHatching = TRUE;
  traverse();
  EXPECT_EQ(computations(), 3);
  EXPECT_GT(strokes().crossStrokes, 0);
  EXPECT_EQ(counts(), strokeCounts());
  const StrokeSet both = strokes();
  streamliner->invalidate();
  const std::string together = traverse();
  EXPECT_EQ(together.rfind(progress, 0), 0u) << together;
  EXPECT_EQ(std::count(together.begin(), together.end(), '\n'), 1) << together;
  EXPECT_EQ(computations(), 4);
  EXPECT_TRUE(strokes().indices == both.indices && strokes().points == both.points);
  EXPECT_TRUE(strokes().taper == both.taper && strokes().crossStrokes == both.crossStrokes);
  streamliner->crossHatching = FALSE;
  traverse();
  EXPECT_EQ(strokes().indices, first);
  EXPECT_EQ(counts(), strokeCounts());
  EXPECT_TRUE(StrokeCollider::segPool.live() == 0 && SbStreamlineTracer::seedPool.live() == 0);
}

// A tracing that fails (here the application's progress callback throws, as it starts, half-way, or as the cross family
// alone starts) is reported; the node publishes an empty stroke set and gives every segment and seed back.
TEST_F(StreamlinerNode, FailedTracingIsReportedAndPublishesNoStrokes) {
  static int total = 0;
  const ProgressHookFunction atStart = [](void*, int, int phase) {
    if (phase == 0) throw std::runtime_error("cancelled");
  };
  // clang-format off
  const struct { const char* name; bool cross, both; ProgressHookFunction hook; const char* output; } cases[] = {
      {"at the start", false, true, atStart, "SoStreamlinerHQ: 0SoStreamlinerHQ: cancelled\n"},
      {"half-way", false, true, [](void*, int units, int phase) {
         if (phase == 0) total = units;
         if (phase == 1 && 2 * units >= total) throw std::runtime_error("stop");
       }, "SoStreamlinerHQ: 0...25...50SoStreamlinerHQ: stop\n"},
      {"the cross family", true, false, atStart, "SoStreamlinerHQ: 0SoStreamlinerHQ: cancelled\n"},
      {"both families, while the cross family's faces are counted", true, true, [](void*, int units, int phase) {
         if (phase == 0) total = units;
         if (phase == 1 && 4 * units >= 3 * total) throw std::runtime_error("stop");
       }, "SoStreamlinerHQ: 0...25...50...75SoStreamlinerHQ: stop\n"}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    streamliner->invalidate();
    streamliner->crossHatching = FALSE;
    traverse();
    ASSERT_GT(indexCount, 0);
    if (c.both) streamliner->invalidate();
    streamliner->crossHatching = c.cross;
    progressHook = c.hook;
    EXPECT_EQ(traverse(), c.output);
    progressHook = nullptr;
    EXPECT_EQ(strokes().strokeCount, 0);
    EXPECT_EQ(counts(), std::vector<int32_t>(6, 0));
    EXPECT_TRUE(StrokeCollider::segPool.live() == 0 && SbStreamlineTracer::seedPool.live() == 0);
  }
}
