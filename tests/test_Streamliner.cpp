// Stroke sets hatched over closed and open meshes, checked by brute force
// against what the streamliner promises: points on their faces, strokes kept
// apart, no short strokes, sharp edges not crossed, the surface covered; and
// the node's caching and state handling.

#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <unordered_map>

#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "core/ChangeStamp.h"
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

// A field as a function of position and normal; projected into the tangent
// plane of each vertex.
using FieldFunction = std::function<SbVec3f(const SbVec3f& p)>;

struct Hatched {
  SbHeModelHQ model;
  std::vector<SbVec3f> directions;
  std::vector<SbVec3f> crossDirections;  // normal x direction
  SbStreamlineTracer::Parameters param;
  StrokeSet set;
  std::vector<std::vector<int32_t>> strokes;  // point indices of each stroke
  std::vector<int> family;                    // of each stroke
};

// The application's start-up settings.
SbStreamlineTracer::Settings startupSettings() {
  SbStreamlineTracer::Settings s;
  s.seperationDist = 0.01f;
  s.probeDist = 0.012f;
  s.sharpEdge = 115.0f;
  s.maxBend = -60.0f;
  s.minLength = 0.02f;
  s.maxLength = -0.2f;
  s.stepSize = 0.025f;
  return s;
}

void fillDirections(Hatched& h, const FieldFunction& f) {
  for (const HeVertex* v : h.model.vertices) {
    SbVec3f d = f(v->position);
    d -= v->normal * d.dot(v->normal);
    if (d.length() > 1e-9f) d.normalize();
    h.directions.push_back(d);
  }
}

// With `cross`, a second family along the perpendicular field follows, traced
// by the same tracer as the streamliner node does.
std::unique_ptr<Hatched> hatch(const PolyMesh& mesh, const FieldFunction& f,
                               const SbStreamlineTracer::Settings& settings,
                               int taper = SbStreamlineTracer::TM_PLANE, bool cross = false) {
  auto h = std::make_unique<Hatched>();
  h->model.build(testmesh::model(mesh));
  fillDirections(*h, f);
  for (size_t i = 0; i < h->directions.size(); ++i)
    h->crossDirections.push_back(h->model.vertices[i]->normal.cross(h->directions[i]));
  h->param = SbStreamlineTracer::derive(settings, h->model.size());
  {
    SbStreamlineTracer tracer(h->model, h->directions, h->param);
    tracer.hatch(h->set, taper);
    if (cross) {
      StrokeSet second;
      tracer.setDirections(h->crossDirections);
      tracer.hatch(second, taper);
      h->set.appendCross(second);
    }
  }
  // Every segment and seed went back to its pool.
  EXPECT_EQ(StrokeCollider::segPool.live(), 0);
  EXPECT_EQ(SbStreamlineTracer::seedPool.live(), 0);
  std::vector<int32_t> run;
  for (int32_t i : h->set.indices) {
    if (i < 0) {
      h->strokes.push_back(run);
      h->family.push_back(h->set.family.empty() || run.empty() ? 0 : int(h->set.family[run[0]]));
      run.clear();
    } else {
      run.push_back(i);
    }
  }
  EXPECT_TRUE(run.empty()) << "the index list ends with -1";
  EXPECT_EQ(static_cast<int>(h->strokes.size()), h->set.strokeCount);
  return h;
}

float pointSegmentDistance(const SbVec3f& p, const SbVec3f& a, const SbVec3f& b) {
  const SbVec3f ab = b - a;
  const float len2 = ab.dot(ab);
  const float t = len2 > 0 ? std::clamp((p - a).dot(ab) / len2, 0.0f, 1.0f) : 0.0f;
  return (p - (a + ab * t)).length();
}

// Arc length of each point of a stroke from its first point.
std::vector<float> arcLengths(const Hatched& h, const std::vector<int32_t>& stroke) {
  std::vector<float> arc(stroke.size(), 0.0f);
  for (size_t k = 1; k < stroke.size(); ++k)
    arc[k] = arc[k - 1] + (h.set.points[stroke[k]] - h.set.points[stroke[k - 1]]).length();
  return arc;
}

// Points lie on their faces, nothing is NaN, no stroke is short.
void expectWellFormed(const Hatched& h) {
  ASSERT_EQ(h.set.faces.size(), h.set.points.size());
  const float size = h.param.size;
  int offFace = 0;
  for (size_t i = 0; i < h.set.points.size(); ++i) {
    const SbVec3f& p = h.set.points[i];
    ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) << i;
    const HeTriangle* t = h.set.faces[i];
    ASSERT_NE(t, nullptr);
    float u = 0, v = 0;
    SbHeModelHQ::triangleCoordinates(t, p, u, v);
    const float tol = 1e-3f;
    const bool inside = u >= -tol && v >= -tol && u + v <= 1 + tol &&
                        std::fabs((p - t->vertex[0]->position).dot(t->normal)) < 1e-4f * size;
    if (!inside) ++offFace;
  }
  EXPECT_EQ(offFace, 0);
  for (const auto& stroke : h.strokes) {
    ASSERT_GE(stroke.size(), 2u);
    EXPECT_GE(arcLengths(h, stroke).back(), h.param.minLength * (1 - 1e-4f));
  }
}

struct SeparationReport {
  float interior = 1e30f;  // smallest distance away from the ends
  float nearEnds = 1e30f;  // smallest distance within one separation of an end
};

// Every polyline segment of the stroke set filed in the cells of a uniform
// grid that its bounding box touches, so that all segments within one cell
// size of a point are found among the 27 cells about it.
class SegmentGrid {
 public:
  struct Segment {
    int stroke;
    int index;  // position of its first point in the stroke
  };

  // Only the strokes of `family` (any family: -1).
  SegmentGrid(const Hatched& h, float cell, int family = -1) : h(h), cell(cell) {
    for (size_t s = 0; s < h.strokes.size(); ++s)
      for (size_t m = 0; family < 0 || h.family[s] == family ? m + 1 < h.strokes[s].size() : false;
           ++m) {
        const SbVec3f& a = h.set.points[h.strokes[s][m]];
        const SbVec3f& b = h.set.points[h.strokes[s][m + 1]];
        int lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
          lo[k] = key(std::min(a[k], b[k]));
          hi[k] = key(std::max(a[k], b[k]));
        }
        for (int x = lo[0]; x <= hi[0]; ++x)
          for (int y = lo[1]; y <= hi[1]; ++y)
            for (int z = lo[2]; z <= hi[2]; ++z)
              cells[pack(x, y, z)].push_back({static_cast<int>(s), static_cast<int>(m)});
      }
  }

  // Calls f(segment, distance) for every segment in the cells about p (a
  // segment may come more than once).
  template <class F>
  void near(const SbVec3f& p, F f) const {
    const int c[3] = {key(p[0]), key(p[1]), key(p[2])};
    for (int x = c[0] - 1; x <= c[0] + 1; ++x)
      for (int y = c[1] - 1; y <= c[1] + 1; ++y)
        for (int z = c[2] - 1; z <= c[2] + 1; ++z) {
          auto it = cells.find(pack(x, y, z));
          if (it == cells.end()) continue;
          for (const Segment& s : it->second) {
            const auto& stroke = h.strokes[s.stroke];
            f(s, pointSegmentDistance(p, h.set.points[stroke[s.index]],
                                      h.set.points[stroke[s.index + 1]]));
          }
        }
  }

 private:
  int key(float v) const { return static_cast<int>(std::floor(v / cell)); }
  static int64_t pack(int x, int y, int z) {
    return (static_cast<int64_t>(x & 0xfffff) << 40) | (static_cast<int64_t>(y & 0xfffff) << 20) |
           static_cast<int64_t>(z & 0xfffff);
  }
  const Hatched& h;
  float cell;
  std::unordered_map<int64_t, std::vector<Segment>> cells;
};

// Every point against every segment of every other stroke within reach
// (distances beyond one separation are reported as the separation); with
// cross-hatching the strokes of one family among themselves.
SeparationReport separation(const Hatched& h, int family = -1) {
  SeparationReport r;
  const float sep = h.param.separation;
  r.interior = r.nearEnds = sep;
  std::vector<std::vector<float>> arcs;
  for (const auto& s : h.strokes) arcs.push_back(arcLengths(h, s));
  const SegmentGrid grid(h, sep, family);
  for (size_t a = 0; a < h.strokes.size(); ++a) {
    if (family >= 0 && h.family[a] != family) continue;
    const auto& sa = h.strokes[a];
    const float lengthA = arcs[a].back();
    for (size_t k = 0; k < sa.size(); ++k) {
      const bool endA = arcs[a][k] < sep || arcs[a][k] > lengthA - sep;
      grid.near(h.set.points[sa[k]], [&](const SegmentGrid::Segment& s, float d) {
        if (s.stroke == static_cast<int>(a)) return;
        const float lengthB = arcs[s.stroke].back();
        const bool endB =
            arcs[s.stroke][s.index + 1] < sep || arcs[s.stroke][s.index] > lengthB - sep;
        float& slot = endA || endB ? r.nearEnds : r.interior;
        slot = std::min(slot, d);
      });
    }
  }
  return r;
}

// Share of face centroids within the probe distance of some stroke.
float coverage(const Hatched& h) {
  int covered = 0;
  const float probe = h.param.probe;
  const SegmentGrid grid(h, probe);
  for (const HeTriangle* t : h.model.triangles) {
    const SbVec3f c =
        (t->vertex[0]->position + t->vertex[1]->position + t->vertex[2]->position) / 3.0f;
    bool near = false;
    grid.near(c, [&](const SegmentGrid::Segment&, float d) { near = near || d <= probe; });
    covered += near;
  }
  return static_cast<float>(covered) / h.model.triangleCount();
}

void expectTaperInRange(const Hatched& h, bool firstStrokeUntapered) {
  ASSERT_EQ(h.set.taper.size(), h.set.points.size());
  const float low = 1e-6f / (h.param.probe - h.param.separation);
  for (float t : h.set.taper) {
    EXPECT_GE(t, low * (1 - 1e-3f));
    EXPECT_LE(t, 1.0f);
  }
  if (firstStrokeUntapered && !h.strokes.empty()) {
    for (int32_t i : h.strokes[0]) EXPECT_EQ(h.set.taper[i], 1.0f);
  }
}

// Fields: along the latitudes about a tilted axis; a helix about a torus's
// tube; a helix on a cylinder about z.
SbVec3f sphereField(const SbVec3f& p) { return SbVec3f(0.3f, 0.2f, 1.0f).cross(p); }
SbVec3f torusField(const SbVec3f& p) {
  const SbVec3f around = SbVec3f(0, 0, 1).cross(p);
  SbVec3f centre(p[0], p[1], 0);
  centre.normalize();
  const SbVec3f tube = around.cross(p - centre);  // around the tube
  return around * 1.0f + tube * 0.5f;
}
SbVec3f cylinderField(const SbVec3f& p) {
  return SbVec3f(-p[1], p[0], 0) * 1.0f + SbVec3f(0, 0, 0.05f);
}

void report(const char* name, const Hatched& h, const SeparationReport& r) {
  std::printf("%s: %d strokes, %zu points; smallest distance %.5f away from the ends, %.5f "
              "near them (separation %.5f)\n",
              name, h.set.strokeCount, h.set.points.size(), r.interior, r.nearEnds,
              h.param.separation);
}

TEST(StreamlinerStrokes, SphereIsCoveredWithSeparatedStrokes) {
  const auto h = hatch(testmesh::geodesicSphere(14, 1.0f), sphereField, startupSettings());
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  const SeparationReport r = separation(*h);
  report("sphere", *h, r);
  EXPECT_GE(r.interior, h->param.separation * 0.98f);
  EXPECT_GE(coverage(*h), 0.95f);
  expectTaperInRange(*h, true);
}

TEST(StreamlinerStrokes, TorusIsCoveredWithSeparatedStrokes) {
  const auto h = hatch(testmesh::torus(96, 32, 1.0f, 0.4f), torusField, startupSettings(),
                       SbStreamlineTracer::TM_SPHERE);
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  const SeparationReport r = separation(*h);
  report("torus", *h, r);
  EXPECT_GE(r.interior, h->param.separation * 0.98f);
  EXPECT_GE(coverage(*h), 0.95f);
  expectTaperInRange(*h, true);
}

// The cross family keeps the separation among itself, crosses the first
// family at right angles, and its points are marked.
TEST(StreamlinerStrokes, CrossFamilyKeepsApartAmongItselfAndRunsAcrossTheFirst) {
  const auto h = hatch(testmesh::torus(96, 32, 1.0f, 0.4f), torusField, startupSettings(),
                       SbStreamlineTracer::TM_PLANE, true);
  expectWellFormed(*h);
  const int first = h->set.strokeCount - h->set.crossStrokes;
  ASSERT_GT(first, 10);
  ASSERT_GT(h->set.crossStrokes, 10);
  ASSERT_EQ(h->set.family.size(), h->set.points.size());
  ASSERT_EQ(h->set.taper.size(), h->set.points.size());
  for (size_t s = 0; s < h->strokes.size(); ++s)
    for (int32_t i : h->strokes[s]) ASSERT_EQ(h->set.family[i], s < size_t(first) ? 0.0f : 1.0f);
  for (int family = 0; family < 2; ++family) {
    const SeparationReport r = separation(*h, family);
    report(family ? "torus, cross family" : "torus, first family", *h, r);
    EXPECT_GE(r.interior, h->param.separation * 0.98f);
  }
  // The angle between a cross stroke and the nearest stroke of the first
  // family within the separation.
  const SegmentGrid firstFamily(*h, h->param.separation, 0);
  std::vector<float> cosines;
  for (size_t s = first; s < h->strokes.size(); ++s)
    for (size_t k = 1; k + 1 < h->strokes[s].size(); ++k) {
      const SbVec3f& p = h->set.points[h->strokes[s][k]];
      SbVec3f t = h->set.points[h->strokes[s][k + 1]] - h->set.points[h->strokes[s][k - 1]];
      t.normalize();
      float nearest = h->param.separation;
      float cosine = -1.0f;
      firstFamily.near(p, [&](const SegmentGrid::Segment& seg, float d) {
        if (d >= nearest) return;
        const auto& stroke = h->strokes[seg.stroke];
        SbVec3f u = h->set.points[stroke[seg.index + 1]] - h->set.points[stroke[seg.index]];
        u.normalize();
        nearest = d;
        cosine = std::fabs(t.dot(u));
      });
      if (cosine >= 0.0f) cosines.push_back(cosine);
    }
  ASSERT_GT(cosines.size(), 1000u);
  std::sort(cosines.begin(), cosines.end());
  const float median = cosines[cosines.size() / 2], p95 = cosines[cosines.size() * 95 / 100];
  std::printf("angle to the first family: median %.1f, 95%% above %.1f degrees\n",
              std::acos(median) * 180 / M_PI, std::acos(p95) * 180 / M_PI);
  EXPECT_LT(median, std::sin(5.0f * float(M_PI) / 180));
  EXPECT_LT(p95, std::sin(15.0f * float(M_PI) / 180));
}

TEST(StreamlinerStrokes, OpenCylinderStrokesStayApartAndEndAtTheRims) {
  const auto h = hatch(testmesh::cylinder(64, 40, 0.5f, 2.0f), cylinderField, startupSettings(),
                       SbStreamlineTracer::TM_PLANE_AVG);
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  const SeparationReport r = separation(*h);
  report("cylinder", *h, r);
  EXPECT_GE(r.interior, h->param.separation * 0.98f);
  ASSERT_EQ(h->set.taper.size(), h->set.points.size());
  for (float t : h->set.taper) {
    EXPECT_GT(t, 0.0f);
    EXPECT_LE(t, 1.0f);
  }
}

// A grid over [0, 2] x [0, 1] folded up by 90 degrees along x = 1, with a
// field running straight across the fold.
PolyMesh foldedGrid() {
  PolyMesh m = testmesh::grid(40, 20, 2.0f);
  for (SbVec3f& p : m.positions) {
    p[1] *= 0.5f;
    if (p[0] > 1.0f) p = SbVec3f(1.0f, p[1], p[0] - 1.0f);
  }
  return m;
}
SbVec3f acrossFold(const SbVec3f& p) {
  if (p[2] > 1e-4f) return SbVec3f(0, 0.2f, 1);
  if (p[0] < 1.0f - 1e-4f) return SbVec3f(1, 0.2f, 0);
  return SbVec3f(1, 0.2f, 1);
}

int strokesAcrossFold(const Hatched& h) {
  int across = 0;
  for (const auto& s : h.strokes) {
    bool flat = false, up = false;
    for (int32_t i : s) {
      const SbVec3f& p = h.set.points[i];
      flat = flat || p[0] < 1.0f - 1e-3f;
      up = up || p[2] > 1e-3f;
    }
    across += flat && up;
  }
  return across;
}

TEST(StreamlinerStrokes, SharpEdgeIsNeverCrossedWhenDetectionIsOn) {
  const auto h = hatch(foldedGrid(), acrossFold, startupSettings());
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  EXPECT_EQ(strokesAcrossFold(*h), 0);
  SbStreamlineTracer::Settings off = startupSettings();
  off.sharpEdge = -115.0f;
  EXPECT_GT(strokesAcrossFold(*hatch(foldedGrid(), acrossFold, off)), 0);
}

TEST(StreamlinerStrokes, TracingEndsOnATubeThinnerThanTheProbe) {
  // A tube thinner than the probe distance, with the field around it and
  // along it: side proposals would circle it for ever.
  for (const FieldFunction& f : {FieldFunction([](const SbVec3f& p) {
                                   return SbVec3f(-p[1], p[0], 0);
                                 }),
                                 FieldFunction([](const SbVec3f&) { return SbVec3f(0, 0, 1); })}) {
    const auto h = hatch(testmesh::cylinder(12, 60, 0.004f, 1.0f), f, startupSettings());
    expectWellFormed(*h);
  }
}

TEST(StreamlinerStrokes, TracingEndsWithTheSmallestStep) {
  // A step size of 0 falls back to the smallest step, raised so that all
  // strokes together take at most the step budget: on the unit square, area /
  // (separation x budget).
  SbStreamlineTracer::Settings tinyStep = startupSettings();
  tinyStep.stepSize = 0.0f;
  tinyStep.seperationDist = 0.3f;
  tinyStep.probeDist = 0.35f;
  tinyStep.minLength = -1.0f;
  const FieldFunction slanted = [](const SbVec3f&) { return SbVec3f(1, 0.3f, 0); };
  const auto t = hatch(testmesh::grid(2, 2, 1.0f), slanted, tinyStep);
  EXPECT_FLOAT_EQ(t->param.stepSize, 1e-6f);
  expectWellFormed(*t);
  SbStreamlineTracer tracer(t->model, t->directions, t->param);
  EXPECT_FLOAT_EQ(tracer.parameters().stepSize, float(1.0 / (0.3 * SbStreamlineTracer::kStepBudget)));
  EXPECT_LT(double(t->set.points.size()), 2.0 * SbStreamlineTracer::kStepBudget);
}

// Settings no tracing can use become sane parameters, each with a sentence
// that says what was used instead.
TEST(StreamlinerStrokes, ExtremeSettingsBecomeSaneParametersWithANote) {
  using S = SbStreamlineTracer::Settings;
  const float nan = std::nanf(""), inf = INFINITY;
  const struct Row {
    float S::*field;
    float value;
    const char* note;
  } rows[] = {
      {&S::seperationDist, 0.0f, "seperationDist 0 is not a positive distance; using the smallest, 0.001"},
      {&S::seperationDist, nan, "seperationDist nan is not a positive distance; using the smallest, 0.001"},
      {&S::seperationDist, inf, "seperationDist inf is more than 2 model sizes; using 2"},
      {&S::seperationDist, 1e38f, "seperationDist 1e+38 is more than 2 model sizes; using 2"},
      {&S::seperationDist, 1e-30f, "seperationDist 1e-30 is below 0.001; using 0.001"},
      {&S::probeDist, nan, "probeDist nan is not a number; using the separation"},
      {&S::probeDist, inf, "probeDist inf is more than 20 separations; using 0.2"},
      {&S::probeDist, 1e38f, "probeDist 1e+38 is more than 20 separations; using 0.2"},
      {&S::sharpEdge, nan, "sharpEdge nan is not a number; no sharp-edge stops"},
      {&S::sharpEdge, 1e38f, "sharpEdge 1e+38 is more than 180 degrees; using 180"},
      {&S::maxBend, nan, "maxBend nan is not a number; no bend limit"},
      {&S::minLength, nan, "minLength nan is not a number; every stroke is kept"},
      {&S::maxLength, nan, "maxLength nan is not a number; no length limit"},
      {&S::stepSize, 0.0f, "stepSize 0 is not a positive length; using the smallest"},
      {&S::stepSize, -inf, "stepSize -inf is not a positive length; using the smallest"},
      {&S::stepSize, nan, "stepSize nan is not a positive length; using the smallest"},
  };
  const float size = 2.0f;
  for (const Row& row : rows) {
    S s = startupSettings();
    s.*row.field = row.value;
    std::vector<std::string> notes;
    const SbStreamlineTracer::Parameters p = SbStreamlineTracer::derive(s, size, &notes);
    SCOPED_TRACE(row.note);
    EXPECT_EQ(notes, std::vector<std::string>{row.note});
    EXPECT_TRUE(p.separation >= 0.001f * size && p.separation <= 2.0f * size) << p.separation;
    EXPECT_TRUE(p.probe > p.separation && p.probe <= 20.0f * p.separation + 0.001f * size) << p.probe;
    EXPECT_FALSE(p.sharpEdge.sharp(SbVec3f(0, 0, 1), SbVec3f(0, 0, 1)));  // coplanar faces
    EXPECT_TRUE(p.stepSize >= 1e-6f * size && std::isfinite(p.stepSize)) << p.stepSize;
    EXPECT_TRUE(p.maxBend > 0.0f && p.minLength > 0.0f && p.maxLength >= p.minLength);
    EXPECT_TRUE(std::isfinite(p.separationSq) && std::isfinite(p.probeSq));
  }
  std::vector<std::string> none;
  SbStreamlineTracer::derive(startupSettings(), size, &none);
  EXPECT_TRUE(none.empty());
}

TEST(StreamlinerStrokes, TracingEndsWithASeparationLargerThanTheModel) {
  // A separation larger than the model, every limit off: strokes end by
  // collision with themselves.
  SbStreamlineTracer::Settings wide = startupSettings();
  wide.seperationDist = 2.0f;
  wide.probeDist = 2.5f;
  wide.minLength = -1.0f;
  wide.sharpEdge = -1.0f;
  const auto w = hatch(testmesh::geodesicSphere(6, 1.0f), sphereField, wide);
  expectWellFormed(*w);
  EXPECT_GE(w->set.strokeCount, 1);
}

TEST(StreamlinerStrokes, MaximumBendAndLengthLimitStrokes) {
  SbStreamlineTracer::Settings s = startupSettings();
  s.maxLength = 0.1f;
  const auto h = hatch(testmesh::geodesicSphere(10, 1.0f), sphereField, s);
  ASSERT_GT(h->set.strokeCount, 0);
  for (const auto& stroke : h->strokes)
    EXPECT_LE(arcLengths(*h, stroke).back(), h->param.maxLength * 1.001f);
  // Concentric circles on a flat square: strokes turn steadily, and the
  // turning of each stroke's polyline stays within the limit (give or take
  // the last step).
  SbStreamlineTracer::Settings c = startupSettings();
  c.seperationDist = 0.04f;
  c.probeDist = 0.05f;
  c.minLength = -1.0f;
  const FieldFunction circles = [](const SbVec3f& p) {
    return SbVec3f(0, 0, 1).cross(p - SbVec3f(0.5f, 0.5f, 0));
  };
  auto largestTurn = [](const Hatched& h) {
    float largest = 0;
    for (const auto& stroke : h.strokes) {
      float total = 0;
      for (size_t k = 1; k + 1 < stroke.size(); ++k) {
        SbVec3f a = h.set.points[stroke[k]] - h.set.points[stroke[k - 1]];
        SbVec3f b = h.set.points[stroke[k + 1]] - h.set.points[stroke[k]];
        a.normalize();
        b.normalize();
        total += std::acos(std::clamp(a.dot(b), -1.0f, 1.0f)) * 180.0f / 3.14159265f;
      }
      largest = std::max(largest, total);
    }
    return largest;
  };
  EXPECT_GT(largestTurn(*hatch(testmesh::grid(30, 30, 1.0f), circles, c)), 270.0f);
  c.maxBend = 90.0f;
  const auto b = hatch(testmesh::grid(30, 30, 1.0f), circles, c);
  ASSERT_GT(b->set.strokeCount, 0);
  EXPECT_LE(largestTurn(*b), 90.0f + 30.0f);
}

// Coarse models whose faces are a hundred separations wide: a cube of twelve
// triangles and an eight-sided tube of sixteen. Evenly spaced strokes at least
// one separation apart cover a ribbon one separation wide each, so their
// total length cannot much exceed the area over the separation; and strokes
// end at the cube's sharp edges and the tube's rims, not at every edge.
TEST(StreamlinerStrokes, CoarseLargeFacedModelsHatchInABoundedNumberOfStrokes) {
  struct Case {
    const char* name;
    PolyMesh mesh;
    FieldFunction field;
    float area;
  };
  const Case cases[] = {
      {"cube", testmesh::cubeTriangles(1.0f), sphereField, 24.0f},
      {"octagonal tube", testmesh::cylinder(8, 1, 1.0f, 2.0f), cylinderField,
       8 * 2.0f * 2.0f * std::sin(3.14159265f / 8)},
  };
  for (const Case& c : cases) {
    const auto h = hatch(c.mesh, c.field, startupSettings());
    ASSERT_GT(h->set.strokeCount, 10) << c.name;
    expectWellFormed(*h);
    const SeparationReport r = separation(*h);
    report(c.name, *h, r);
    EXPECT_GE(r.interior, h->param.separation * 0.98f) << c.name;
    EXPECT_GE(coverage(*h), 0.95f) << c.name;
    double total = 0;
    for (const auto& stroke : h->strokes) total += arcLengths(*h, stroke).back();
    const double ribbons = c.area / h->param.separation;
    EXPECT_LE(total, 1.1 * ribbons) << c.name;
    EXPECT_GE(total, 0.5 * ribbons) << c.name;
    // Strokes run on across the faces: their mean length is many separations.
    EXPECT_GE(total / h->set.strokeCount, 10.0 * h->param.separation) << c.name;
  }
}

// A closed twenty-sided cylinder whose side faces have vertices only on the
// rims, where the vertex normals lean towards the caps. A field along the
// axis, given in each vertex's tangent plane, leans out of the side faces
// there; carried into the faces it must still run along the axis, so that
// strokes on the side run straight from rim to rim instead of converging.
TEST(StreamlinerStrokes, FieldAtCreasedVerticesRunsStraightInTheFaces) {
  PolyMesh mesh = testmesh::cylinder(20, 1, 1.0f, 2.0f);
  float zLow = 1e30f, zHigh = -1e30f;
  for (const SbVec3f& p : mesh.positions) {
    zLow = std::min(zLow, p[2]);
    zHigh = std::max(zHigh, p[2]);
  }
  std::vector<int> low, high;
  for (int i = 0; i < static_cast<int>(mesh.positions.size()); ++i)
    (mesh.positions[i][2] < 0.5f * (zLow + zHigh) ? low : high).push_back(i);
  auto byAngle = [&](std::vector<int>& ring) {
    std::sort(ring.begin(), ring.end(), [&](int a, int b) {
      return std::atan2(mesh.positions[a][1], mesh.positions[a][0]) <
             std::atan2(mesh.positions[b][1], mesh.positions[b][0]);
    });
  };
  byAngle(low);
  byAngle(high);
  // The caps wind as the tube does: counter-clockwise seen from outside.
  std::reverse(low.begin(), low.end());
  mesh.addFace(high);
  mesh.addFace(low);
  const auto h = hatch(mesh, [](const SbVec3f&) { return SbVec3f(0, 0, 1); }, startupSettings());
  ASSERT_GT(h->set.strokeCount, 10);
  expectWellFormed(*h);
  int sideSegments = 0, leaning = 0;
  for (const auto& stroke : h->strokes)
    for (size_t k = 0; k + 1 < stroke.size(); ++k) {
      const HeTriangle* t = h->set.faces[stroke[k]];
      if (std::fabs(t->normal[2]) > 0.5f) continue;  // a cap
      SbVec3f d = h->set.points[stroke[k + 1]] - h->set.points[stroke[k]];
      if (d.length() < 1e-6f) continue;
      d.normalize();
      ++sideSegments;
      leaning += std::fabs(d[2]) < std::cos(5.0f * 3.14159265f / 180.0f);
    }
  ASSERT_GT(sideSegments, 100);
  EXPECT_LT(leaning, sideSegments / 100) << leaning << " of " << sideSegments;
}

TEST(StreamlinerTracer, FieldDirectionInterpolatesAtVerticesWithoutNaN) {
  Hatched h;
  h.model.build(testmesh::model(testmesh::grid(1, 1, 1.0f)));
  h.directions = {SbVec3f(1, 0, 0), SbVec3f(0, 1, 0), SbVec3f(-1, 0, 0), SbVec3f(0, -1, 0)};
  h.param = SbStreamlineTracer::derive(startupSettings(), 1.0f);
  SbStreamlineTracer tracer(h.model, h.directions, h.param);
  const HeTriangle* t = h.model.triangles[0];
  for (int k = 0; k < 3; ++k) {
    const SbVec3f at = t->vertex[k]->position;
    const SbVec3f expected = h.directions[t->vertex[k]->index];
    SbVec3f d;
    ASSERT_TRUE(tracer.fieldDirection(at, t, expected, d)) << k;
    EXPECT_NEAR(d.dot(expected), 1.0f, 1e-5f) << k;
    // Oriented by the direction given.
    ASSERT_TRUE(tracer.fieldDirection(at, t, -expected, d)) << k;
    EXPECT_NEAR(d.dot(expected), -1.0f, 1e-5f) << k;
  }
  // Opposite directions at the ends of an edge, sampled at its middle.
  SbVec3f d;
  if (tracer.fieldDirection(SbVec3f(0.5f, 0.0f, 0), t, SbVec3f(1, 0, 0), d)) {
    EXPECT_TRUE(std::isfinite(d[0]) && std::isfinite(d[1]) && std::isfinite(d[2]));
  }
}

// ---------------------------------------------------------------- the node

struct NodeScene {
  SbHeModelHQ model;
  SbFlowFieldHQ field;
  SoSeparator* root = nullptr;
  SoStreamlinerHQ* streamliner = nullptr;
  bool publishField = true;
  // What the node after the streamliner sees.
  int32_t indexCount = -1;
  const int32_t* indices = nullptr;
  int32_t thicknessCount = -1;
  int32_t taperCount = -1;
  int32_t faceCount = -1;
  int32_t coordCount = -1;
  int32_t familyCount = -1;

  static const int32_t sentinelIndices[3];
  static const float sentinelThickness[2];

  NodeScene() {
    model.build(testmesh::model(testmesh::geodesicSphere(6, 1.0f)));
    for (const HeVertex* v : model.vertices) {
      FlowRecord* r = SbFlowFieldHQ::recordPool.take();
      r->direction = sphereField(v->position);
      r->direction -= v->normal * r->direction.dot(v->normal);
      r->direction.normalize();
      r->cross = r->direction.cross(v->normal);
      r->locked = false;
      r->score = 0;
      field.records.push_back(r);
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
    // The field's default step (the smallest one) would take minutes.
    streamliner->stepSize = 0.025f;
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
  ~NodeScene() {
    root->unref();
    field.clear();
  }
  void traverse() {
    SoCallbackAction action;
    action.apply(root);
  }
};
const int32_t NodeScene::sentinelIndices[3] = {0, 1, -1};
const float NodeScene::sentinelThickness[2] = {1.0f, 2.0f};

TEST(StreamlinerNode, PublishesTheStrokeSetWithMatchingArrays) {
  NodeScene scene;
  scene.traverse();
  const StrokeSet& s = scene.streamliner->strokes();
  ASSERT_GT(s.strokeCount, 0);
  EXPECT_EQ(scene.indices, s.indices.data());
  EXPECT_EQ(scene.indexCount, static_cast<int32_t>(s.indices.size()));
  EXPECT_EQ(scene.coordCount, static_cast<int32_t>(s.points.size()));
  EXPECT_EQ(scene.faceCount, static_cast<int32_t>(s.points.size()));
  EXPECT_EQ(scene.taperCount, static_cast<int32_t>(s.points.size()));
  // The thickness of the stage before does not match the strokes.
  EXPECT_EQ(scene.thicknessCount, 0);
}

TEST(StreamlinerNode, DoComputationFalseLeavesTheStateAlone) {
  NodeScene scene;
  scene.streamliner->doComputation = FALSE;
  scene.traverse();
  EXPECT_EQ(scene.indices, NodeScene::sentinelIndices);
  EXPECT_EQ(scene.thicknessCount, 2);
  EXPECT_EQ(scene.streamliner->computations(), 0);
  // Without a field the node does nothing either.
  scene.streamliner->doComputation = TRUE;
  scene.publishField = false;
  scene.traverse();
  EXPECT_EQ(scene.indices, NodeScene::sentinelIndices);
  EXPECT_EQ(scene.streamliner->computations(), 0);
}

TEST(StreamlinerNode, RetracesOnlyForANewStampOrWhenInvalidated) {
  NodeScene scene;
  testing::internal::CaptureStdout();
  scene.traverse();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("SoStreamlinerHQ: 0...25...50...75...100, ", 0), 0u) << out;
  EXPECT_EQ(scene.streamliner->computations(), 1);
  scene.traverse();
  EXPECT_EQ(scene.streamliner->computations(), 1);
  // A field change alone does not retrace.
  scene.streamliner->seperationDist = 0.08f;
  scene.traverse();
  EXPECT_EQ(scene.streamliner->computations(), 1);
  scene.field.stamp = drawChangeStamp();
  scene.traverse();
  EXPECT_EQ(scene.streamliner->computations(), 2);
  scene.streamliner->invalidate();
  scene.traverse();
  EXPECT_EQ(scene.streamliner->computations(), 3);
  EXPECT_EQ(scene.familyCount, 0);
  // Cross-hatching adds the cross family, and drops it, without retracing
  // the first one.
  const std::vector<int32_t> first = scene.streamliner->strokes().indices;
  scene.streamliner->crossHatching = TRUE;
  scene.traverse();
  EXPECT_EQ(scene.streamliner->computations(), 3);
  EXPECT_GT(scene.streamliner->strokes().crossStrokes, 0);
  EXPECT_EQ(scene.familyCount, scene.coordCount);
  EXPECT_EQ(scene.taperCount, scene.coordCount);
  // Traced together, the cross family on a second thread, the families are
  // the ones traced one after the other, under one progress line.
  const StrokeSet both = scene.streamliner->strokes();
  scene.streamliner->invalidate();
  testing::internal::CaptureStdout();
  scene.traverse();
  const std::string together = testing::internal::GetCapturedStdout();
  EXPECT_EQ(together.rfind("SoStreamlinerHQ: 0...25...50...75...100, ", 0), 0u) << together;
  EXPECT_EQ(std::count(together.begin(), together.end(), '\n'), 1) << together;
  EXPECT_EQ(scene.streamliner->computations(), 4);
  EXPECT_EQ(scene.streamliner->strokes().indices, both.indices);
  EXPECT_EQ(scene.streamliner->strokes().points, both.points);
  EXPECT_EQ(scene.streamliner->strokes().taper, both.taper);
  EXPECT_EQ(scene.streamliner->strokes().crossStrokes, both.crossStrokes);
  scene.streamliner->crossHatching = FALSE;
  scene.traverse();
  EXPECT_EQ(scene.familyCount, 0);
  EXPECT_EQ(scene.streamliner->strokes().indices, first);
  EXPECT_EQ(scene.coordCount, scene.taperCount);
  EXPECT_EQ(StrokeCollider::segPool.live(), 0);
  EXPECT_EQ(SbStreamlineTracer::seedPool.live(), 0);
}

}  // namespace
