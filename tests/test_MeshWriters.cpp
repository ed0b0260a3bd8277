// The mesh writers (VRML 2.0 and Inventor 2.1): their exact layout, what
// Coin reads back of them, and the faults they mend on the way.
#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <set>

#include "LineTestNodes.h"
#include "TestFiles.h"
#include "TestMeshes.h"
#include "mesh/SbSubdivision.h"
#include "output/SoWingedEdgeOutput.h"

namespace fs = std::filesystem;

namespace {

const int VRML = SoWingedEdgeOutput::VRML2, INVENTOR = SoWingedEdgeOutput::INVENTOR21;

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
  // Requests a write in the format and traverses; returns the console output.
  std::string write(int format, const std::string& path = std::string()) {
    output->filename.setValue(path.c_str());
    format == VRML ? output->requestVrmlWrite() : output->requestInventorWrite();
    testing::internal::CaptureStdout();
    traverse();
    return testing::internal::GetCapturedStdout();
  }
};

// Triangles by the positions of their corners, bit for bit (the writers
// write floats that read back exactly), sorted within each.
using Key = std::array<float, 3>;
struct Triangles {
  bool read = true;
  std::multiset<std::array<Key, 3>> faces;
  void add(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
    std::array<Key, 3> key = {Key{a[0], a[1], a[2]}, Key{b[0], b[1], b[2]}, Key{c[0], c[1], c[2]}};
    std::sort(key.begin(), key.end());
    faces.insert(key);
  }
};

Triangles readWithCoin(const std::string& path) {
  Triangles out;
  std::vector<CoinTriangle> triangles;
  out.read = readCoinTriangles(path, triangles);
  for (const CoinTriangle& t : triangles) out.add(t[0], t[1], t[2]);
  return out;
}

// The model's faces split into fans from their first corner.
Triangles expectedFrom(const SbWingedEdgeModel& model) {
  Triangles out;
  for (const WeObject& o : model.objects)
    for (int f = 0; f < int(o.faces.size()); ++f) {
      const std::vector<SbVec3f> p = testmesh::cornerPositions(o, f);
      for (size_t i = 1; i + 1 < p.size(); ++i) out.add(p[0], p[i], p[i + 1]);
    }
  return out;
}

}  // namespace

// One quad, exactly: VRML keeps it, Inventor splits it into a fan of two
// triangles, one strip each.
TEST(MeshWriterLayout, OneQuadInEachFormat) {
  const struct {
    int format;
    const char* name;
    const char* text;
  } cases[] = {
      {VRML, "q.wrl",
       "#VRML V2.0 utf8\n"
       "#Produced by Quorvane (https://quorvane.org)\n\n"
       "DEF Object0 Group {\n"
       "  children [\n"
       "    Shape {\n"
       "      appearance Appearance {\n"
       "        material Material {\n"
       "          diffuseColor 1 1 1\n"
       "        }\n"
       "      }\n\n"
       "      geometry DEF Object0-FACES IndexedFaceSet {\n"
       "        ccw TRUE\n"
       "        solid TRUE\n\n"
       "        coord DEF Box01-COORD Coordinate { point [\n"
       "          0 0 0,\n"
       "          1 0 0,\n"
       "          1 1 0,\n"
       "          0 1 0]\n"
       "        }\n\n"
       "        normalPerVertex TRUE\n"
       "        normal Normal { vector [\n"
       "          0 0 1,\n"
       "          0 0 1,\n"
       "          0 0 1,\n"
       "          0 0 1]\n"
       "        }\n\n"
       "        coordIndex [\n"
       "          0, 1, 2, 3, -1]\n\n"
       "        normalIndex [\n"
       "          0, 1, 2, 3, -1]\n\n"
       "      }\n"
       "    }\n"
       "  ]\n"
       "}\n"},
      {INVENTOR, "q.iv",
       "#Inventor V2.1 ascii\n"
       "#Produced by Quorvane (https://quorvane.org)\n\n"
       "Separator {\n\n"
       "  DEF 0 Separator {\n\n"
       "    ShapeHints {\n"
       "      vertexOrdering COUNTERCLOCKWISE\n"
       "      shapeType SOLID\n"
       "      faceType CONVEX\n"
       "    }\n\n"
       "    Material {\n"
       "      diffuseColor 1 1 1\n"
       "    }\n\n"
       "    Coordinate3 {\n"
       "      point [\n"
       "        0 0 0,\n"
       "        1 0 0,\n"
       "        1 1 0,\n"
       "        0 1 0]\n"
       "    }\n\n"
       "    MaterialBinding {\n"
       "      value OVERALL\n"
       "    }\n\n"
       "    Normal {\n"
       "      vector [\n"
       "        0 0 1,\n"
       "        0 0 1,\n"
       "        0 0 1,\n"
       "        0 0 1]\n"
       "    }\n\n"
       "    NormalBinding {\n"
       "      value PER_VERTEX_INDEXED\n"
       "    }\n\n"
       "    IndexedTriangleStripSet {\n"
       "      coordIndex [\n"
       "        0, 1, 2, -1,\n"
       "        0, 2, 3, -1]\n\n"
       "      normalIndex [\n"
       "        0, 1, 2, -1,\n"
       "        0, 2, 3, -1]\n\n"
       "    }\n"
       "  }\n\n"
       "}\n"},
  };
  TempDir dir;
  SbWingedEdgeModel model = testmesh::model(testmesh::quadFan());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriterScene scene(&model);
    EXPECT_EQ(scene.write(c.format, dir.file(c.name)), "");
    EXPECT_FALSE(scene.output->writeFailed());
    EXPECT_EQ(readFile(dir.file(c.name)), c.text);
  }
}

// Coin reads back the same triangles, at the same positions to the bit, in
// both formats: a torus, its Loop and Catmull-Clark subdivisions (quads),
// two objects, and a torus so small that six fixed decimals would round it away.
TEST(MeshWriterRoundTrip, CoinReadsBackTheSameTrianglesAndPositions) {
  TempDir dir;
  const PolyMesh torusMesh = testmesh::torus(48, 32, 1.0f, 0.35f), cube = testmesh::cube(),
                 sphere = testmesh::icosphere(1);
  const SbWingedEdgeModel torus = testmesh::model(torusMesh);
  SbWingedEdgeModel models[5];
  for (int i = 0; i < 5; ++i) models[i].copyGeometryFrom(torus);
  for (WeObject& object : models[1].objects) SbSubdivision::step(object, SbSubdivision::LOOP, true);
  for (WeObject& object : models[2].objects) SbSubdivision::step(object, SbSubdivision::CATMULL_CLARK, true);
  models[3] = testmesh::model({&cube, &sphere});
  for (WeObject& object : models[4].objects)
    for (WeVertex& v : object.vertices) v.position *= 1e-5f;
  ASSERT_EQ(expectedFrom(models[2]).faces.size(), 2u * models[2].faceCount()) << "Catmull-Clark makes quads";
  const char* names[] = {"torus", "loop", "catmull-clark", "cube and sphere", "tiny torus"};
  for (int i = 0; i < 5; ++i) {
    const Triangles expected = expectedFrom(models[i]);
    for (int format : {VRML, INVENTOR}) {
      SCOPED_TRACE(std::string(names[i]) + (format == VRML ? " vrml" : " inventor"));
      const std::string path = dir.file(format == VRML ? "m.wrl" : "m.iv");
      WriterScene scene(&models[i]);
      const std::string console = scene.write(format, path);
      ASSERT_FALSE(scene.output->writeFailed()) << console;
      const Triangles got = readWithCoin(path);
      ASSERT_TRUE(got.read);
      EXPECT_EQ(got.faces.size(), expected.faces.size());
      EXPECT_TRUE(got.faces == expected.faces) << "triangles differ: positions rounded or polygons split another way";
    }
  }
}

// Objects without vertices or faces are left out, non-finite numbers written
// as 0; both said on the console.
TEST(MeshWriterFiles, EmptyObjectsAndNonFiniteNumbersAreMendedAndReported) {
  TempDir dir;
  const PolyMesh triangle = testmesh::singleTriangle(), tetrahedron = testmesh::tetrahedron();
  SbWingedEdgeModel model = testmesh::model({&triangle, &tetrahedron});
  model.objects[0].faces.clear();                           // vertices, no faces
  model.objects.insert(model.objects.begin(), WeObject());  // nothing at all
  model.objects[0].number = 7;
  model.objects[2].vertices[1].normal = SbVec3f(NAN, 0.0f, INFINITY);
  for (int format : {VRML, INVENTOR}) {
    const std::string path = dir.file(format == VRML ? "s.wrl" : "s.iv");
    WriterScene scene(&model);
    EXPECT_EQ(scene.write(format, path),
              "SoWingedEdgeOutput::doAction: 2 object(s) without vertices or faces left out\n"
              "SoWingedEdgeOutput::doAction: 2 non-finite number(s) written as 0\n");
    const std::string text = readFile(path);
    for (const char* absent : {"Object0", "DEF 7", "DEF 0 ", "nan", "inf"})
      EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    const Triangles got = readWithCoin(path);
    ASSERT_TRUE(got.read);
    EXPECT_EQ(got.faces.size(), 4u);
  }
}

TEST(MeshWriterFiles, EmptyNameIsOutputWrlAndEachRequestWritesOnce) {
  TempDir dir;
  WorkingDirectory here(dir.path);
  SbWingedEdgeModel model = testmesh::model(testmesh::tetrahedron());
  WriterScene scene(&model);
  scene.write(INVENTOR);
  ASSERT_TRUE(fs::exists(dir.path / "output.wrl"));
  EXPECT_EQ(readFile((dir.path / "output.wrl").string()).rfind("#Inventor V2.1 ascii\n", 0), 0u);
  fs::remove(dir.path / "output.wrl");
  scene.traverse();
  EXPECT_FALSE(fs::exists(dir.path / "output.wrl"));
  EXPECT_TRUE(scene.output->written);
}
