// SoGenerateWingedEdge under GL render traversals, and NURBS surfaces, which Coin tessellates only with a GL context
// current (offscreen, xvfb-run).
#include <gtest/gtest.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCube.h>

#include <cmath>
#include <functional>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "TestFiles.h"
#include "io/SbModelReader.h"
#include "mesh/SoGenerateWingedEdge.h"

namespace {

// Under a caching separator, which would replay its cache without running the generator, every render publishes the
// working model (that only a request rebuilds is test_GenerateWingedEdge's); the probe is a plain node, which lets the
// separator cache.
TEST(GenerateWingedEdgeRender, EveryRenderPublishesUnderACachingSeparator) {
  ASSERT_TRUE(gltest::ensureContext());
  linetest::initNodes();
  auto* generator = new SoGenerateWingedEdge;
  auto* probe = new LineSetProbe;
  generator->addChild(new SoCube), generator->addChild(probe);
  const linetest::Root root = linetest::scene({generator});
  root->renderCaching = SoSeparator::ON;
  for (int i = 0; i < 3; ++i) gltest::render(root.get(), 16, 16);
  ASSERT_EQ(probe->models.size(), 3u) << "a render cache skipped the generator";
  for (const SbWingedEdgeModel* m : probe->models) EXPECT_EQ(m, &generator->workingModel());
  EXPECT_EQ(generator->builtModel().faceCount(), 12);
}

// The bicubic Bezier patch with control points (i/3, j/3, ij/9) is the saddle z = x y over the unit square: Bernstein
// polynomials reproduce the bilinear function exactly, so every tessellated point lies on it, and a region of the (u,
// v) square lies over the same region of the (x, y) plane.
const std::string kHeader = "#Inventor V2.1 ascii\nSeparator {\n";
const std::string kSaddlePoints =
    " Coordinate3 { point [0 0 0, 0 0.333333 0, 0 0.666667 0, 0 1 0, 0.333333 0 0, 0.333333 0.333333 0.111111,"
    " 0.333333 0.666667 0.222222, 0.333333 1 0.333333, 0.666667 0 0, 0.666667 0.333333 0.222222,"
    " 0.666667 0.666667 0.444444, 0.666667 1 0.666667, 1 0 0, 1 0.333333 0.333333, 1 0.666667 0.666667,"
    " 1 1 1] }\n";
const std::string kBicubic =
    " numUControlPoints 4 numVControlPoints 4"
    " uKnotVector [0, 0, 0, 0, 1, 1, 1, 1] vKnotVector [0, 0, 0, 0, 1, 1, 1, 1]";
const std::string kSaddlePatch = kHeader + kSaddlePoints + " NurbsSurface {" + kBicubic + " } }\n";

// The object a callback action gathers below the generator (null: none).
const WeObject* gather(SoGenerateWingedEdge* generator, SoNode* scene = nullptr) {
  if (scene) generator->addChild(scene);
  SoCallbackAction().apply(generator);
  const SbWingedEdgeModel& model = generator->builtModel();
  EXPECT_LE(model.objects.size(), 1u);
  return model.objects.size() == 1 ? &model.objects[0] : nullptr;
}

// Without a current context a surface is skipped with a message, and built by the next traversal with one without a
// request. Trimming curves, indices, rational control points and placement come through the reader's child and shape
// the surface as in the file: the largest |residual| of a vertex (zero on the surface), the area in space or seen along
// z and the Euler characteristic. Any callback action gets the same triangles while a loan lasts; read by Coin alone, a
// surface with more control points than coordinates is left out by the gathering (Coin would read past them).
TEST(GenerateWingedEdgeRender, NurbsSurfacesAreBuiltWithAContextInTheShapeOfTheFile) {
  TempDir dir;
  const auto read = [&](const std::string& text) {
    std::string error;
    SoSeparator* scene = SbModelReader::read(dir.write("model.iv", text).c_str(), &error);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
  };
  auto* later = new SoGenerateWingedEdge;
  later->ref();
  later->addChild(read(kSaddlePatch));
  gltest::releaseContext();
  testing::internal::CaptureStdout();
  EXPECT_EQ(gather(later), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SoGenerateWingedEdge: skipped 1 NURBS surface(s): tessellating them needs a current GL context\n");
  EXPECT_FALSE(later->hasGeometry());
  ASSERT_TRUE(gltest::ensureContext());
  const auto saddle = [](const SbVec3f& p) { return p[2] - p[0] * p[1]; };
  const struct {
    const char* name;
    std::string text;
    std::function<double(const SbVec3f&)> residual;
    double worst, area;  // area: seen along z when above 0, in space when below
    int euler;
  } cases[] = {
      {"saddle, one disc tiling the unit square", kSaddlePatch, saddle, 1e-5, 1.0, 1},
      // Patches sharing a border are welded into one surface: a second saddle turned half round y.
      {"two patches, one surface over [-1, 1] x [0, 1]",
       kHeader + kSaddlePoints + " NurbsSurface {" + kBicubic + " }\n RotationXYZ { axis Y angle 3.14159265 }\n" +
           " NurbsSurface {" + kBicubic + " } }\n",
       saddle, 2e-5, 2.0, 1},
      {"trimmed to a square ring, placed",
       kHeader + " Transform { translation 5 0 0 }\n" + kSaddlePoints +
           " ProfileCoordinate2 { point [0 0, 1 0, 1 1, 0 1, 0 0, 0.25 0.25, 0.25 0.75, 0.75 0.75, 0.75 0.25,"
           " 0.25 0.25] }\n LinearProfile { index [0, 1, 2, 3, 4] linkage START_FIRST }\n"
           " LinearProfile { index [5, 6, 7, 8, 9] linkage START_NEW }\n NurbsSurface {" +
           kBicubic + " } }\n",
       [](const SbVec3f& p) { return p[2] - (p[0] - 5) * p[1]; }, 2e-5, 0.75, 0},
      // The saddle's points shuffled (point k to place 7k + 3 mod 16), each times its weight 2.
      {"indexed, rational",
       kHeader +
           " Coordinate4 { point [1.333334 2 1.333334 2, 0 1.333334 0 2, 1.333334 0.666666 0.444444 2,"
           " 0 0 0 2, 0.666666 2 0.666666 2, 2 1.333334 1.333334 2, 0.666666 0.666666 0.222222 2, 2 0 0 2,"
           " 0 2 0 2, 1.333334 1.333334 0.888888 2, 0 0.666666 0 2, 1.333334 0 0 2, 2 2 2 2,"
           " 0.666666 1.333334 0.444444 2, 2 0.666666 0.666666 2, 0.666666 0 0 2] }\n IndexedNurbsSurface {" +
           kBicubic + " coordIndex [3, 10, 1, 8, 15, 6, 13, 4, 11, 2, 9, 0, 7, 14, 5, 12] } }\n",
       saddle, 2e-5, 1.0, 1},
      // A rational quadratic quarter circle swept along z: on the unit cylinder.
      {"rational quarter cylinder",
       kHeader + " Coordinate4 { point [1 0 0 1, 0.707107 0.707107 0 0.707107, 0 1 0 1, 1 0 1 1,"
                 " 0.707107 0.707107 0.707107 0.707107, 0 1 1 1] }\n NurbsSurface { numUControlPoints 3"
                 " numVControlPoints 2 uKnotVector [0, 0, 0, 1, 1, 1] vKnotVector [0, 0, 1, 1] } }\n",
       [](const SbVec3f& p) { return std::hypot(p[0], p[1]) - 1.0; }, 2e-5, -M_PI / 2, 1},
  };
  int saddleFaces = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* generator = new SoGenerateWingedEdge;
    generator->ref();
    const WeObject* o = gather(generator, read(c.text));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->vertexCount - o->edgeCount + o->faceCount, c.euler);
    double area = 0, worst = 0;
    std::vector<int> corners;
    for (int f = 0; f < o->faceCount; ++f) {
      o->faceCorners(f, corners);
      ASSERT_EQ(corners.size(), 3u);
      const SbVec3f& a = o->vertices[corners[0]].position;
      const SbVec3f normal = (o->vertices[corners[1]].position - a).cross(o->vertices[corners[2]].position - a);
      area += 0.5 * (c.area > 0 ? std::fabs(normal[2]) : normal.length());
    }
    for (const WeVertex& v : o->vertices) worst = std::max(worst, std::fabs(c.residual(v.position)));
    EXPECT_LT(worst, c.worst);
    EXPECT_NEAR(area, std::fabs(c.area), c.area > 0 ? 1e-4 : -0.01 * c.area);  // in space: chords of the arc
    if (!saddleFaces) saddleFaces = o->faceCount;
    generator->unref();
  }
  const WeObject* built = gather(later);  // built by the next traversal with a context
  EXPECT_TRUE(saddleFaces > 8 && built && built->faceCount == saddleFaces) << saddleFaces;
  later->unref();
  std::vector<CoinTriangle> triangles;
  {
    const SoGenerateWingedEdge::NurbsContextLoan loan;
    EXPECT_TRUE(readCoinTriangles(dir.write("saddle.iv", kSaddlePatch), triangles));
  }
  EXPECT_EQ(int(triangles.size()), saddleFaces);
  auto* generator = new SoGenerateWingedEdge;
  generator->ref();
  SoInput in;
  const std::string tooFew =
      kHeader + " Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] }\n NurbsSurface {" + kBicubic + " } }\n";
  in.setBuffer(tooFew.c_str(), tooFew.size());
  testing::internal::CaptureStdout();
  EXPECT_EQ(gather(generator, SoDB::readAll(&in)), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SoGenerateWingedEdge: skipped a shape (NurbsSurface) with coordinate indices out of range\n");
  generator->unref();
}

}  // namespace
