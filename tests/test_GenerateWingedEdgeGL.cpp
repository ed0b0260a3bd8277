// SoGenerateWingedEdge under a GL render traversal (offscreen, through Qt),
// and NURBS surfaces, which Coin tessellates only with a GL context current,
// read through the model reader as every model is.

#include <gtest/gtest.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoSubNode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "GlTestContext.h"
#include "TestFiles.h"
#include "elements/SoWingedEdgeElement.h"
#include "io/SbModelReader.h"
#include "mesh/SoGenerateWingedEdge.h"

// Records the model each render traversal publishes. A plain node, so that it
// lets a separator cache unless something below invalidates the cache.
class ModelProbe : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(ModelProbe);

public:
  static void initClass() {
    SO_NODE_INIT_CLASS(ModelProbe, SoNode, "Node");
    SO_ENABLE(SoGLRenderAction, SoWingedEdgeElement);
  }
  ModelProbe() { SO_NODE_CONSTRUCTOR(ModelProbe); }
  void GLRender(SoGLRenderAction* action) override {
    seen.push_back(SoWingedEdgeElement::get(action->getState()));
  }
  std::vector<const SbWingedEdgeModel*> seen;
};

SO_NODE_SOURCE(ModelProbe);

namespace {

class GenerateWingedEdgeRender : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(gltest::ensureContext());
    if (ModelProbe::getClassTypeId() == SoType::badType()) ModelProbe::initClass();
  }

  void SetUp() override {
    ASSERT_TRUE(gltest::ensureContext());
    root = new SoSeparator;
    root->ref();
    // A caching separator would replay its cache without running the generator.
    auto* cached = new SoSeparator;
    cached->renderCaching = SoSeparator::ON;
    root->addChild(cached);
    generator = new SoGenerateWingedEdge;
    coords = new SoCoordinate3;
    const SbVec3f square[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    coords->point.setValues(0, 4, square);
    auto* strips = new SoIndexedTriangleStripSet;
    const int32_t index[] = {0, 1, 2, 3, -1};
    strips->coordIndex.setValues(0, 5, index);
    generator->addChild(coords);
    generator->addChild(strips);
    probe = new ModelProbe;
    generator->addChild(probe);
    cached->addChild(generator);
  }
  void TearDown() override { root->unref(); }

  void render(SoNode* scene = nullptr) { gltest::render(scene ? scene : root, 16, 16); }

  SoSeparator* root = nullptr;
  SoGenerateWingedEdge* generator = nullptr;
  SoCoordinate3* coords = nullptr;
  ModelProbe* probe = nullptr;
};

TEST_F(GenerateWingedEdgeRender, EveryRenderPublishesAndOnlyARequestRebuilds) {
  render();
  coords->point.set1Value(0, SbVec3f(-1, -1, 0));
  render();
  render();
  ASSERT_EQ(probe->seen.size(), 3u) << "a render cache skipped the generator";
  for (const SbWingedEdgeModel* m : probe->seen) EXPECT_EQ(m, &generator->workingModel());
  ASSERT_EQ(generator->builtModel().faceCount(), 2);
  for (const WeVertex& v : generator->builtModel().objects[0].vertices)
    EXPECT_NE(v.position, SbVec3f(-1, -1, 0)) << "rebuilt without a request";

  generator->requestRebuild();
  render();
  int moved = 0;
  for (const WeVertex& v : generator->workingModel().objects[0].vertices)
    moved += v.position == SbVec3f(-1, -1, 0);
  EXPECT_EQ(moved, 1);
}


// The bicubic Bezier patch with control points (i/3, j/3, ij/9) is the
// saddle z = x y over the unit square: Bernstein polynomials reproduce the
// bilinear function exactly, so every tessellated point lies on it, and the
// surface over a region of the (u, v) square lies over the same region of
// the (x, y) plane.
const char* const kSaddlePoints =
    " Coordinate3 { point [\n"
    " 0 0 0, 0 0.333333 0, 0 0.666667 0, 0 1 0,\n"
    " 0.333333 0 0, 0.333333 0.333333 0.111111, 0.333333 0.666667 0.222222, 0.333333 1 0.333333,\n"
    " 0.666667 0 0, 0.666667 0.333333 0.222222, 0.666667 0.666667 0.444444, 0.666667 1 0.666667,\n"
    " 1 0 0, 1 0.333333 0.333333, 1 0.666667 0.666667, 1 1 1 ] }\n";
const char* const kBicubicKnots =
    "  uKnotVector [0, 0, 0, 0, 1, 1, 1, 1] vKnotVector [0, 0, 0, 0, 1, 1, 1, 1]";
const std::string kSaddlePatch = std::string("#Inventor V2.1 ascii\nSeparator {\n") + kSaddlePoints +
                                 " NurbsSurface { numUControlPoints 4 numVControlPoints 4\n" +
                                 kBicubicKnots + " } }\n";

SoSeparator* readScene(const std::string& text) {
  SoInput in;
  in.setBuffer(text.c_str(), text.size());
  return SoDB::readAll(&in);
}

// Reads `text` as every model is read: in the model reader's child, whose
// checked parts the parent builds its NURBS nodes from.
SoSeparator* readModel(const TempDir& dir, const std::string& text) {
  const std::string path = dir.file("model.iv");
  std::ofstream(path) << text;
  std::string error;
  SoSeparator* scene = SbModelReader::read(path.c_str(), &error);
  EXPECT_NE(scene, nullptr) << error;
  return scene;
}

// What the tests check of a tessellated surface: its area in space and seen
// along z, its Euler characteristic, and the largest |residual| of a
// vertex, the residual being zero on the surface the file describes.
struct Measured {
  double area = 0, areaAlongZ = 0, worst = 0;
  int euler = 0;
};
Measured measure(const WeObject& o, const std::function<double(const SbVec3f&)>& residual) {
  Measured m;
  m.euler = o.vertexCount - o.edgeCount + o.faceCount;
  std::vector<int> corners;
  for (int f = 0; f < o.faceCount; ++f) {
    o.faceCorners(f, corners);
    EXPECT_EQ(corners.size(), 3u);
    const SbVec3f& a = o.vertices[corners[0]].position;
    const SbVec3f ab = o.vertices[corners[1]].position - a, ac = o.vertices[corners[2]].position - a;
    m.area += 0.5 * ab.cross(ac).length();
    m.areaAlongZ += 0.5 * std::fabs(ab.cross(ac)[2]);
  }
  for (const WeVertex& v : o.vertices) m.worst = std::max(m.worst, std::fabs(residual(v.position)));
  return m;
}

TEST_F(GenerateWingedEdgeRender, NurbsSurfacesNeedACurrentContextAndAreBuiltOnceOneIs) {
  TempDir dir;
  SoSeparator* saddle = readModel(dir, kSaddlePatch);
  ASSERT_NE(saddle, nullptr);
  auto* nurbs = new SoGenerateWingedEdge;
  nurbs->ref();
  nurbs->addChild(saddle);

  // No context: skipped, with a message.
  gltest::releaseContext();
  testing::internal::CaptureStdout();
  SoCallbackAction gather;
  gather.apply(nurbs);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SoGenerateWingedEdge: skipped 1 NURBS surface(s): tessellating them needs a current GL context\n");
  EXPECT_EQ(nurbs->builtModel().faceCount(), 0);
  EXPECT_FALSE(nurbs->hasGeometry());

  // The next traversal with a context builds it, without a request.
  ASSERT_TRUE(gltest::ensureContext());
  gather.apply(nurbs);
  const SbWingedEdgeModel& model = nurbs->builtModel();
  ASSERT_EQ(model.objects.size(), 1u);
  EXPECT_GT(model.objects[0].faceCount, 8);
  const Measured m = measure(model.objects[0], [](const SbVec3f& p) { return p[2] - p[0] * p[1]; });
  EXPECT_EQ(m.euler, 1);  // one disc
  EXPECT_NEAR(m.areaAlongZ, 1.0, 1e-4);  // the triangles tile the unit square
  EXPECT_LT(m.worst, 1e-5);

  // Any callback action gets the same triangles of a surface while a loan
  // lasts (a surface keeps the context it was first tessellated in).
  SoSeparator* fresh = readModel(dir, kSaddlePatch);
  ASSERT_NE(fresh, nullptr);
  fresh->ref();
  int triangles = 0;
  SoCallbackAction count;
  count.addTriangleCallback(
      SoShape::getClassTypeId(),
      [](void* n, SoCallbackAction*, const SoPrimitiveVertex*, const SoPrimitiveVertex*,
         const SoPrimitiveVertex*) { ++*static_cast<int*>(n); },
      &triangles);
  {
    const SoGenerateWingedEdge::NurbsContextLoan loan;
    count.apply(fresh);
  }
  EXPECT_EQ(triangles, model.objects[0].faceCount);
  fresh->unref();
  nurbs->unref();
}

// Trimming curves, indices, rational control points and placement come
// through the reader's child and shape the surface as in the file.
TEST_F(GenerateWingedEdgeRender, NurbsSurfacesKeepTheirShapeThroughTheReader) {
  const std::string header = "#Inventor V2.1 ascii\nSeparator {\n";
  const std::string bicubic = std::string(" numUControlPoints 4 numVControlPoints 4\n") + kBicubicKnots;
  // The saddle's points shuffled (point k to place 7k + 3 mod 16), each
  // times its weight 2, and the indices that put them back.
  const std::string forward = kSaddlePoints;
  std::vector<float> values;
  std::istringstream numbers(forward.substr(forward.find('[') + 1));
  for (std::string word; numbers >> word && word != "]";) values.push_back(std::stof(word.substr(0, word.find(','))));
  ASSERT_EQ(values.size(), 48u);
  std::vector<std::string> shuffled(16);
  std::string rationalIndex;
  for (int k = 0; k < 16; ++k) {
    const int place = (7 * k + 3) % 16;
    shuffled[place] = std::to_string(2 * values[3 * k]) + " " + std::to_string(2 * values[3 * k + 1]) + " " +
                      std::to_string(2 * values[3 * k + 2]) + " 2,";
    rationalIndex += std::to_string(place) + (k < 15 ? ", " : "");
  }
  std::string rational = " Coordinate4 { point [";
  for (const std::string& point : shuffled) rational += point;
  rational += "] }\n";
  const double root = std::sqrt(0.5);
  const struct {
    const char* name;
    std::string text;
    std::function<double(const SbVec3f&)> residual;
    double areaAlongZ, area;  // -1: not checked
    int euler;
  } cases[] = {
      {"trimmed to a square ring, placed",
       header + " Transform { translation 5 0 0 }\n" + kSaddlePoints +
           " ProfileCoordinate2 { point [0 0, 1 0, 1 1, 0 1, 0 0,"
           " 0.25 0.25, 0.25 0.75, 0.75 0.75, 0.75 0.25, 0.25 0.25] }\n"
           " LinearProfile { index [0, 1, 2, 3, 4] linkage START_FIRST }\n"
           " LinearProfile { index [5, 6, 7, 8, 9] linkage START_NEW }\n"
           " NurbsSurface {" + bicubic + " } }\n",
       [](const SbVec3f& p) { return p[2] - (p[0] - 5) * p[1]; }, 0.75, -1, 0},
      {"indexed, rational",
       header + rational + " IndexedNurbsSurface {" + bicubic +
           " coordIndex [" + rationalIndex + "] } }\n",
       [](const SbVec3f& p) { return p[2] - p[0] * p[1]; }, 1.0, -1, 1},
      // A rational quadratic quarter circle swept along z: every point lies
      // on the unit cylinder.
      {"rational quarter cylinder",
       header + " Coordinate4 { point [1 0 0 1, " + std::to_string(root) + " " + std::to_string(root) +
           " 0 " + std::to_string(root) + ", 0 1 0 1, 1 0 1 1, " + std::to_string(root) + " " +
           std::to_string(root) + " " + std::to_string(root) + " " + std::to_string(root) +
           ", 0 1 1 1] }\n NurbsSurface { numUControlPoints 3 numVControlPoints 2"
           " uKnotVector [0, 0, 0, 1, 1, 1] vKnotVector [0, 0, 1, 1] } }\n",
       [](const SbVec3f& p) { return std::hypot(p[0], p[1]) - 1.0; }, -1, M_PI / 2, 1},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SoSeparator* scene = readModel(dir, c.text);
    if (!scene) continue;  // the reader's failure is reported
    auto* generator = new SoGenerateWingedEdge;
    generator->ref();
    generator->addChild(scene);
    SoCallbackAction gather;
    gather.apply(generator);
    const SbWingedEdgeModel& model = generator->builtModel();
    ASSERT_EQ(model.objects.size(), 1u);
    const Measured m = measure(model.objects[0], c.residual);
    EXPECT_LT(m.worst, 2e-5);
    EXPECT_EQ(m.euler, c.euler);
    if (c.areaAlongZ >= 0) {
      EXPECT_NEAR(m.areaAlongZ, c.areaAlongZ, 1e-4);
    }
    if (c.area >= 0) {
      EXPECT_NEAR(m.area, c.area, 0.01 * c.area);  // chords of the arc
    }
    generator->unref();
  }

  // Read by Coin alone, a surface with more control points than there are
  // coordinates is left out by the gathering itself: Coin would read past them.
  auto* generator = new SoGenerateWingedEdge;
  generator->ref();
  generator->addChild(readScene(header + " Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] }\n"
                                         " NurbsSurface {" + bicubic + " } }\n"));
  testing::internal::CaptureStdout();
  SoCallbackAction gather;
  gather.apply(generator);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SoGenerateWingedEdge: skipped a shape (NurbsSurface) with coordinate indices out of range\n");
  EXPECT_EQ(generator->builtModel().faceCount(), 0);
  generator->unref();
}

// inventor-data's teapot is 32 bicubic patches and nothing else, read as
// every model is read.
TEST_F(GenerateWingedEdgeRender, TeapotPatchesBecomeOneSurfaceInARender) {
  const char* path = "/usr/share/inventor/data/models/household/teapot.iv";
  FILE* installed = std::fopen(path, "rb");
  if (!installed) GTEST_SKIP() << path << " is not installed (package inventor-data)";
  std::fclose(installed);
  std::string error;
  SoSeparator* teapot = SbModelReader::read(path, &error);
  ASSERT_NE(teapot, nullptr) << error;
  auto* teapotRoot = new SoSeparator;
  teapotRoot->ref();
  auto* teapotGenerator = new SoGenerateWingedEdge;
  teapotRoot->addChild(teapotGenerator);
  teapotGenerator->addChild(teapot);
  render(teapotRoot);
  const SbWingedEdgeModel& model = teapotGenerator->builtModel();
  const size_t objects = model.objects.size();
  const int faces = model.faceCount();
  int boundary = 0, edges = 0;
  for (const WeObject& o : model.objects)
    for (const WeEdge& e : o.edges) boundary += e.isBoundary(), ++edges;
  teapotRoot->unref();
  std::printf("teapot: %zu object(s), %d faces, %d of %d edges on a boundary\n", objects, faces, boundary, edges);
  EXPECT_EQ(objects, 1u);  // 32 patches, welded
  EXPECT_GT(faces, 3000);
  // Left open: the rims of lid and body, the ends of handle and spout, and
  // where neighbouring patches are sampled apart (bottom, knob); 32 patches
  // each with its own boundary would be about a sixth of the edges.
  EXPECT_LT(boundary, edges / 12);
}

}  // namespace
