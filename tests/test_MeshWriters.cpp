#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "TestFiles.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "mesh/SbSubdivision.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "output/SbWingedEdgeWriter.h"
#include "output/SoWingedEdgeOutput.h"

namespace fs = std::filesystem;

namespace {

// A model published by a source node in front of the writer.
struct WriterScene {
  bool nodesReady = (linetest::initNodes(), true);  // before the nodes below are made
  SoSeparator* root = new SoSeparator;
  LineSetSource* source = new LineSetSource;
  SoWingedEdgeOutput* output = new SoWingedEdgeOutput;

  explicit WriterScene(SbWingedEdgeModel* model) {
    root->ref();
    source->model = model;
    root->addChild(source);
    root->addChild(output);
  }
  ~WriterScene() { root->unref(); }
  void traverse() {
    SoCallbackAction action(SbViewportRegion(100, 100));
    action.apply(root);
  }
  std::string write(int format, const std::string& path = std::string()) {
    output->filename.setValue(path.c_str());
    if (format == SoWingedEdgeOutput::VRML2)
      output->requestVrmlWrite();
    else
      output->requestInventorWrite();
    testing::internal::CaptureStdout();
    traverse();
    return testing::internal::GetCapturedStdout();
  }
};

// A position, bit for bit: the writers write floats that read back exactly.
using Key = std::array<float, 3>;
Key keyOf(const SbVec3f& p) { return {p[0], p[1], p[2]}; }

double triangleArea(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
  return 0.5 * double((b - a).cross(c - a).length());
}

// What Coin's reader and a triangle callback make of a file.
struct ReadBack {
  bool read = false;
  int triangles = 0;
  double area = 0.0;
  std::set<Key> corners;
  std::multiset<std::array<Key, 3>> faces;  // corner positions of each triangle, sorted
};

std::array<Key, 3> triangleKey(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
  std::array<Key, 3> key = {keyOf(a), keyOf(b), keyOf(c)};
  std::sort(key.begin(), key.end());
  return key;
}

ReadBack readWithCoin(const std::string& path) {
  ReadBack out;
  SoInput in;
  if (!in.openFile(path.c_str())) return out;
  SoSeparator* root = SoDB::readAll(&in);
  if (!root) return out;
  root->ref();
  out.read = true;
  SoCallbackAction action(SbViewportRegion(100, 100));
  action.addTriangleCallback(
      SoShape::getClassTypeId(),
      [](void* data, SoCallbackAction*, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
         const SoPrimitiveVertex* c) {
        ReadBack& r = *static_cast<ReadBack*>(data);
        ++r.triangles;
        r.area += triangleArea(a->getPoint(), b->getPoint(), c->getPoint());
        for (const SoPrimitiveVertex* v : {a, b, c}) r.corners.insert(keyOf(v->getPoint()));
        r.faces.insert(triangleKey(a->getPoint(), b->getPoint(), c->getPoint()));
      },
      &out);
  action.apply(root);
  root->unref();
  return out;
}

// The same quantities from the model: sum(n - 2) triangles, the fan area and
// the positions of every vertex a face uses.
ReadBack expectedFrom(const SbWingedEdgeModel& model) {
  ReadBack out;
  out.read = true;
  std::vector<int> corners;
  for (const WeObject& object : model.objects)
    for (size_t f = 0; f < object.faces.size(); ++f) {
      object.faceCorners(int(f), corners);
      if (corners.size() < 3) continue;
      out.triangles += int(corners.size()) - 2;
      for (size_t i = 1; i + 1 < corners.size(); ++i) {
        const SbVec3f& a = object.vertices[corners[0]].position;
        const SbVec3f& b = object.vertices[corners[i]].position;
        const SbVec3f& c = object.vertices[corners[i + 1]].position;
        out.area += triangleArea(a, b, c);
        out.faces.insert(triangleKey(a, b, c));
      }
      for (int v : corners) out.corners.insert(keyOf(object.vertices[v].position));
    }
  return out;
}

SbWingedEdgeModel torusModel() {
  const std::string path = (sourceDir() / "data/torus.iv").string();
  SoInput in;
  SbWingedEdgeModel model;
  if (!in.openFile(path.c_str())) return model;
  SoSeparator* file = SoDB::readAll(&in);
  if (!file) return model;
  SoSeparator* root = new SoSeparator;
  root->ref();
  SoGenerateWingedEdge* generator = new SoGenerateWingedEdge;
  generator->addChild(file);
  root->addChild(generator);
  SoCallbackAction action(SbViewportRegion(100, 100));
  action.apply(root);
  model.copyGeometryFrom(generator->builtModel());
  root->unref();
  return model;
}

SbWingedEdgeModel subdivided(const SbWingedEdgeModel& base, int scheme) {
  SbWingedEdgeModel model;
  model.copyGeometryFrom(base);
  for (WeObject& object : model.objects) SbSubdivision::step(object, scheme, true);
  return model;
}

int maxCorners(const SbWingedEdgeModel& model) {
  size_t most = 0;
  std::vector<int> corners;
  for (const WeObject& object : model.objects)
    for (size_t f = 0; f < object.faces.size(); ++f) {
      object.faceCorners(int(f), corners);
      most = std::max(most, corners.size());
    }
  return int(most);
}

}  // namespace

// ---------------------------------------------------------------- layouts

TEST(MeshWriterLayout, OneTriangleInVrml) {
  TempDir dir;
  SbWingedEdgeModel model = testmesh::model(testmesh::singleTriangle());
  WriterScene scene(&model);
  scene.write(SoWingedEdgeOutput::VRML2, dir.file("t.wrl"));
  ASSERT_FALSE(scene.output->writeFailed());
  EXPECT_EQ(readFile(dir.file("t.wrl")),
            "#VRML V2.0 utf8\n"
            "#Produced by Quorvane (https://quorvane.org)\n"
            "\n"
            "DEF Object0 Group {\n"
            "  children [\n"
            "    Shape {\n"
            "      appearance Appearance {\n"
            "        material Material {\n"
            "          diffuseColor 1 1 1\n"
            "        }\n"
            "      }\n"
            "\n"
            "      geometry DEF Object0-FACES IndexedFaceSet {\n"
            "        ccw TRUE\n"
            "        solid TRUE\n"
            "\n"
            "        coord DEF Box01-COORD Coordinate { point [\n"
            "          0 0 0,\n"
            "          1 0 0,\n"
            "          0 1 0]\n"
            "        }\n"
            "\n"
            "        normalPerVertex TRUE\n"
            "        normal Normal { vector [\n"
            "          0 0 1,\n"
            "          0 0 1,\n"
            "          0 0 1]\n"
            "        }\n"
            "\n"
            "        coordIndex [\n"
            "          0, 1, 2, -1]\n"
            "\n"
            "        normalIndex [\n"
            "          0, 1, 2, -1]\n"
            "\n"
            "      }\n"
            "    }\n"
            "  ]\n"
            "}\n");
}

TEST(MeshWriterLayout, OneTriangleInInventor) {
  TempDir dir;
  SbWingedEdgeModel model = testmesh::model(testmesh::singleTriangle());
  WriterScene scene(&model);
  scene.write(SoWingedEdgeOutput::INVENTOR21, dir.file("t.iv"));
  ASSERT_FALSE(scene.output->writeFailed());
  EXPECT_EQ(readFile(dir.file("t.iv")),
            "#Inventor V2.1 ascii\n"
            "#Produced by Quorvane (https://quorvane.org)\n"
            "\n"
            "Separator {\n"
            "\n"
            "  DEF 0 Separator {\n"
            "\n"
            "    ShapeHints {\n"
            "      vertexOrdering COUNTERCLOCKWISE\n"
            "      shapeType SOLID\n"
            "      faceType CONVEX\n"
            "    }\n"
            "\n"
            "    Material {\n"
            "      diffuseColor 1 1 1\n"
            "    }\n"
            "\n"
            "    Coordinate3 {\n"
            "      point [\n"
            "        0 0 0,\n"
            "        1 0 0,\n"
            "        0 1 0]\n"
            "    }\n"
            "\n"
            "    MaterialBinding {\n"
            "      value OVERALL\n"
            "    }\n"
            "\n"
            "    Normal {\n"
            "      vector [\n"
            "        0 0 1,\n"
            "        0 0 1,\n"
            "        0 0 1]\n"
            "    }\n"
            "\n"
            "    NormalBinding {\n"
            "      value PER_VERTEX_INDEXED\n"
            "    }\n"
            "\n"
            "    IndexedTriangleStripSet {\n"
            "      coordIndex [\n"
            "        0, 1, 2, -1]\n"
            "\n"
            "      normalIndex [\n"
            "        0, 1, 2, -1]\n"
            "\n"
            "    }\n"
            "  }\n"
            "\n"
            "}\n");
}

TEST(MeshWriterLayout, InventorWritesPolygonsAsFanTriangles) {
  SbWingedEdgeModel model = testmesh::model(testmesh::cube());
  model.number();
  const std::string text = SbWingedEdgeWriter::inventor(model);
  // Each quad (a, b, c, d) becomes (a, b, c) and (a, c, d), three indices per strip.
  std::vector<int> corners;
  model.objects[0].faceCorners(0, corners);
  ASSERT_EQ(corners.size(), 4u);
  const std::string first = std::to_string(corners[0]) + ", " + std::to_string(corners[1]) + ", " +
                            std::to_string(corners[2]) + ", -1,\n";
  const std::string second = std::to_string(corners[0]) + ", " + std::to_string(corners[2]) + ", " +
                             std::to_string(corners[3]) + ", -1,\n";
  EXPECT_NE(text.find(first + "        " + second), std::string::npos) << text;
  // VRML keeps the quads.
  const std::string vrml = SbWingedEdgeWriter::vrml(model);
  EXPECT_NE(vrml.find(std::to_string(corners[0]) + ", " + std::to_string(corners[1]) + ", " +
                      std::to_string(corners[2]) + ", " + std::to_string(corners[3]) + ", -1,"),
            std::string::npos);
}

// ---------------------------------------------------------------- round trips

TEST(MeshWriterRoundTrip, CoinReadsBackTheSameTrianglesAndPositions) {
  TempDir dir;
  const SbWingedEdgeModel torus = torusModel();
  ASSERT_EQ(torus.faceCount(), 3072) << "data/torus.iv";
  SbWingedEdgeModel loop = subdivided(torus, SbSubdivision::LOOP);
  SbWingedEdgeModel catmull = subdivided(torus, SbSubdivision::CATMULL_CLARK);
  ASSERT_EQ(maxCorners(catmull), 4) << "Catmull-Clark makes quads";
  const PolyMesh cube = testmesh::cube(), sphere = testmesh::icosphere(1);
  SbWingedEdgeModel mixed = testmesh::model({&cube, &sphere});
  struct Case {
    const char* name;
    SbWingedEdgeModel* model;
  };
  SbWingedEdgeModel torusCopy, tiny;
  torusCopy.copyGeometryFrom(torus);
  // A model a hundred-thousandth of a unit across: six fixed decimals would
  // round it away.
  tiny.copyGeometryFrom(torus);
  for (WeObject& object : tiny.objects)
    for (WeVertex& v : object.vertices) v.position *= 1e-5f;
  for (const Case& c : {Case{"torus", &torusCopy}, Case{"loop", &loop}, Case{"catmull-clark", &catmull},
                        Case{"cube and sphere", &mixed}, Case{"tiny torus", &tiny}}) {
    const ReadBack expected = expectedFrom(*c.model);
    for (int format : {int(SoWingedEdgeOutput::VRML2), int(SoWingedEdgeOutput::INVENTOR21)}) {
      SCOPED_TRACE(std::string(c.name) + (format == SoWingedEdgeOutput::VRML2 ? " vrml" : " inventor"));
      const std::string path = dir.file(format == SoWingedEdgeOutput::VRML2 ? "m.wrl" : "m.iv");
      WriterScene scene(c.model);
      const std::string console = scene.write(format, path);
      ASSERT_FALSE(scene.output->writeFailed()) << console;
      const ReadBack got = readWithCoin(path);
      ASSERT_TRUE(got.read);
      EXPECT_EQ(got.triangles, expected.triangles);
      EXPECT_TRUE(got.corners == expected.corners) << "positions do not read back as the same floats";
      EXPECT_NEAR(got.area, expected.area, 1e-3 * expected.area);
      EXPECT_TRUE(got.faces == expected.faces) << "triangles differ (polygons split another way?)";
    }
  }
}

// ---------------------------------------------------------------- mended faults and requests

TEST(MeshWriterFiles, ObjectsWithoutFacesAreLeftOut) {
  TempDir dir;
  const PolyMesh triangle = testmesh::singleTriangle(), tetrahedron = testmesh::tetrahedron();
  SbWingedEdgeModel model = testmesh::model({&triangle, &tetrahedron});
  model.objects[0].faces.clear();  // vertices, no faces
  model.objects.insert(model.objects.begin(), WeObject());  // nothing at all
  model.objects[0].number = 7;
  for (int format : {int(SoWingedEdgeOutput::VRML2), int(SoWingedEdgeOutput::INVENTOR21)}) {
    const std::string path = dir.file(format == SoWingedEdgeOutput::VRML2 ? "s.wrl" : "s.iv");
    WriterScene scene(&model);
    const std::string console = scene.write(format, path);
    EXPECT_EQ(console, "SoWingedEdgeOutput::doAction: 2 object(s) without vertices or faces left out\n");
    const std::string text = readFile(path);
    EXPECT_EQ(text.find("Object0"), std::string::npos);
    EXPECT_EQ(text.find("DEF 7"), std::string::npos);
    EXPECT_EQ(text.find("DEF 0 "), std::string::npos);
    const ReadBack got = readWithCoin(path);
    ASSERT_TRUE(got.read);
    EXPECT_EQ(got.triangles, 4);
  }
}

TEST(MeshWriterFiles, NonFiniteNumbersAreWrittenAsZeroAndReported) {
  TempDir dir;
  SbWingedEdgeModel model = testmesh::model(testmesh::tetrahedron());
  model.objects[0].vertices[1].normal = SbVec3f(NAN, 0.0f, INFINITY);
  WriterScene scene(&model);
  const std::string console = scene.write(SoWingedEdgeOutput::INVENTOR21, dir.file("nan.iv"));
  EXPECT_EQ(console, "SoWingedEdgeOutput::doAction: 2 non-finite number(s) written as 0\n");
  const std::string text = readFile(dir.file("nan.iv"));
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("inf"), std::string::npos);
  EXPECT_EQ(readWithCoin(dir.file("nan.iv")).triangles, 4);
}

TEST(MeshWriterFiles, UnwritablePathsAreReported) {
  TempDir dir;
  SbWingedEdgeModel model = testmesh::model(testmesh::tetrahedron());
  WriterScene scene(&model);
  const std::string path = dir.file("missing/mesh.wrl");
  const std::string console = scene.write(SoWingedEdgeOutput::VRML2, path);
  EXPECT_TRUE(scene.output->writeFailed());
  EXPECT_EQ(console.rfind("SoWingedEdgeOutput::doAction: cannot write \"" + path + "\": ", 0), 0u) << console;
  EXPECT_FALSE(fs::exists(dir.path / "missing"));
  scene.write(SoWingedEdgeOutput::INVENTOR21, dir.file("mesh.iv"));
  EXPECT_FALSE(scene.output->writeFailed());
}

TEST(MeshWriterFiles, EmptyNameIsOutputWrlAndEachRequestWritesOnce) {
  TempDir dir;
  WorkingDirectory here(dir.path);
  SbWingedEdgeModel model = testmesh::model(testmesh::tetrahedron());
  WriterScene scene(&model);
  scene.write(SoWingedEdgeOutput::INVENTOR21);
  ASSERT_TRUE(fs::exists(dir.path / "output.wrl"));
  EXPECT_EQ(readFile((dir.path / "output.wrl").string()).rfind("#Inventor V2.1 ascii\n", 0), 0u);
  fs::remove(dir.path / "output.wrl");
  scene.traverse();
  EXPECT_FALSE(fs::exists(dir.path / "output.wrl"));
  EXPECT_TRUE(scene.output->written);
}
