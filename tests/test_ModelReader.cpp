// The model reader: every format it takes, read in a time-limited child
// process into a geometry-only scene, and gathered into winged-edge objects.
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoProfile.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestFiles.h"
#include "TestMeshes.h"
#include "io/SbModelParts.h"
#include "io/SbModelReader.h"
#include "io/SbReaderProcess.h"
#include "mesh/SoGenerateWingedEdge.h"

namespace {

// Unit cube [0, 1]^3: corner i at (i & 1, (i >> 1) & 1, (i >> 2) & 1); its
// 6 quads counter-clockwise seen from outside, or 12 triangles.
PolyMesh unitCube(bool triangles = true) {
  PolyMesh m = triangles ? testmesh::cubeTriangles(0.5f) : testmesh::cube(0.5f);
  for (SbVec3f& p : m.positions) p += SbVec3f(0.5f, 0.5f, 0.5f);
  return m;
}

// What the tests check of a built winged-edge object.
struct Shape {
  int faces = 0, edges = 0, vertices = 0;
  bool closed = true;     // no boundary edge
  bool connected = true;  // one component across shared edges
  double volume = 0;      // signed: positive when the faces wind outward
  float minX = 1e9f;      // where it lies
  int euler() const { return vertices - edges + faces; }
};

Shape describe(const WeObject& o) {
  Shape s{o.faceCount, o.edgeCount, o.vertexCount, testmesh::boundaryEdges(o) == 0,
          testmesh::connectedFaces(o) == o.faceCount};
  for (const WeVertex& v : o.vertices) s.minX = std::min(s.minX, v.position[0]);
  for (int f = 0; f < o.faceCount; ++f) {
    const std::vector<int> c = testmesh::corners(o, f);
    const SbVec3f& p0 = o.vertices[c[0]].position;
    for (size_t i = 1; i + 1 < c.size(); ++i)
      s.volume += p0.dot(o.vertices[c[i]].position.cross(o.vertices[c[i + 1]].position)) / 6.0;
  }
  return s;
}

void expectClosedUnitCube(const Shape& s, double volume = 1.0) {
  EXPECT_EQ(std::make_tuple(s.faces, s.vertices, s.edges, s.closed, s.connected),
            std::make_tuple(12, 8, 18, true, true));
  EXPECT_NEAR(s.volume, volume, 1e-5);
}

// The values' bytes as they lie in memory (little-endian).
template <class... T>
std::string bytes(T... values) {
  std::string b;
  (b.append(reinterpret_cast<const char*>(&values), sizeof values), ...);
  return b;
}

// Base64 of whole groups of three bytes (the glTF buffer below is 168 bytes).
std::string base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    for (int k = 3; k >= 0; --k) out += digits[(v >> (6 * k)) & 63];
  }
  return out;
}

// Model files of the unit cube, one per format. Text formats write the points
// a line each between `prefix` and `end`, the faces likewise with corners
// counted from `base`.
std::string cubePoints(const char* prefix = "", const char* end = "") {
  std::ostringstream s;
  for (const SbVec3f& p : unitCube().positions) s << prefix << p[0] << " " << p[1] << " " << p[2] << end << "\n";
  return s.str();
}

std::string cubeFaces(const char* prefix, bool triangles, int base = 0, const char* end = "", bool clockwise = false) {
  const PolyMesh m = unitCube(triangles);
  const int n = triangles ? 3 : 4;
  std::ostringstream s;
  for (int f = 0; f < m.faceCount(); ++f) {
    s << prefix;
    for (int k = 0; k < n; ++k) s << m.corners[n * f + (clockwise ? n - 1 - k : k)] + base << (k + 1 < n ? " " : end);
    s << "\n";
  }
  return s.str();
}

std::string plyCube(bool binary) {
  std::string b = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                  " 1.0\nelement vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
                  "element face 12\nproperty list uchar int vertex_indices\nend_header\n";
  if (!binary) return b + cubePoints() + cubeFaces("3 ", true);
  const PolyMesh m = unitCube();
  for (const SbVec3f& p : m.positions) b += bytes(p[0], p[1], p[2]);
  const std::vector<int>& t = m.corners;
  for (size_t i = 0; i < t.size(); i += 3) b += bytes(uint8_t(3), int32_t(t[i]), int32_t(t[i + 1]), int32_t(t[i + 2]));
  return b;
}

// Each facet repeats its corners, with its own normal: exact positions join them.
std::string stlCube(bool binary) {
  const PolyMesh m = unitCube();
  std::ostringstream s;
  std::string b = std::string(80, ' ') + bytes(uint32_t(m.faceCount()));
  s << "solid cube\n";
  for (size_t i = 0; i < m.corners.size(); ++i) {
    const SbVec3f& c = m.positions[m.corners[i]];
    if (i % 3 == 0) s << " facet normal 0 0 0\n  outer loop\n", b += bytes(0.0f, 0.0f, 0.0f);
    s << "   vertex " << c[0] << " " << c[1] << " " << c[2] << "\n";
    b += bytes(c[0], c[1], c[2]);
    if (i % 3 == 2) s << "  endloop\n endfacet\n", b += bytes(uint16_t(0));
  }
  s << "endsolid cube\n";
  return binary ? b : s.str();
}

// glTF 2.0 with the buffer embedded as a base64 data URI; `node` is the JSON
// of the one node that places the mesh.
std::string gltfCube(const std::string& node = R"({"mesh":0})") {
  std::string buffer;
  const PolyMesh m = unitCube();
  for (int i : m.corners) buffer += bytes(uint16_t(i));
  const size_t indexBytes = buffer.size();  // 72, a multiple of 4
  for (const SbVec3f& p : m.positions) buffer += bytes(p[0], p[1], p[2]);
  std::ostringstream s;
  s << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[)" << node << "],"
    << R"("meshes":[{"primitives":[{"attributes":{"POSITION":1},"indices":0}]}],)"
    << R"("buffers":[{"byteLength":)" << buffer.size() << R"(,"uri":"data:application/octet-stream;base64,)"
    << base64(buffer) << R"("}],)"
    << R"("bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":)" << indexBytes
    << R"(,"target":34963},{"buffer":0,"byteOffset":)" << indexBytes << R"(,"byteLength":)"
    << buffer.size() - indexBytes << R"(,"target":34962}],)"
    << R"("accessors":[{"bufferView":0,"componentType":5123,"count":36,"type":"SCALAR"},)"
    << R"({"bufferView":1,"componentType":5126,"count":8,"type":"VEC3","min":[0,0,0],"max":[1,1,1]}]})";
  return s.str();
}

std::string inventorCube(bool clockwise = false) {
  return std::string("#Inventor V2.1 ascii\nSeparator {\n") +
         (clockwise ? " ShapeHints { vertexOrdering CLOCKWISE }\n" : "") + " Coordinate3 { point [\n" +
         cubePoints("", ",") + "] }\n IndexedFaceSet { coordIndex [\n" + cubeFaces("", false, 0, " -1,", clockwise) +
         "] }\n}\n";
}

std::string vrmlCube() {
  return "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n coord Coordinate { point [\n" + cubePoints("", ",") +
         "] }\n coordIndex [\n" + cubeFaces("", false, 0, " -1,") + "] } }\n";
}

// A file of the hostile-input corpus.
std::string hostile(const std::string& name) { return (sourceDir() / "tests/data/hostile" / name).string(); }

// The text with every "%s" replaced by `path`.
std::string naming(std::string text, const std::string& path) {
  for (size_t at; (at = text.find("%s")) != std::string::npos;) text.replace(at, 2, path);
  return text;
}

// Reads files and gathers them through SoGenerateWingedEdge in a callback action.
class ModelReader : public ::testing::Test {
 protected:
  void SetUp() override {
    root->ref();
    root->addChild(generator);
  }
  void TearDown() override { root->unref(); }

  const SbWingedEdgeModel& gather(SoNode* scene) {
    generator->removeAllChildren();
    generator->addChild(scene);
    generator->requestRebuild();
    SoCallbackAction().apply(root);
    return generator->builtModel();
  }

  // The scene read from the file; fails the test on a read error.
  SoSeparator* read(const std::string& path) {
    std::string error;
    SoSeparator* scene = SbModelReader::read(path.c_str(), &error);
    EXPECT_TRUE(scene && error.empty()) << error;
    return scene;
  }

  // The one object built from the file, described.
  Shape readOne(const std::string& path) {
    SoSeparator* scene = read(path);
    const SbWingedEdgeModel* model = scene ? &gather(scene) : nullptr;
    EXPECT_TRUE(model && model->objects.size() == 1) << path;
    return model && model->objects.size() == 1 ? describe(model->objects[0]) : Shape();
  }

  // The scene Coin reads from an Inventor text.
  static SoSeparator* parse(const std::string& text) {
    SoInput in;
    const std::string file = "#Inventor V2.1 ascii\n" + text;
    in.setBuffer(file.data(), file.size());
    return SoDB::readAll(&in);
  }

  TempDir scratch;
  SoSeparator* root = new SoSeparator;
  SoGenerateWingedEdge* generator = new SoGenerateWingedEdge;
};

// Every format gives the closed unit cube, placed by the file's transforms,
// its faces turned outward when the file winds them clockwise or mirrors them.
TEST_F(ModelReader, EveryFormatGivesTheClosedUnitCube) {
  const std::string obj = "# unit cube\n" + cubePoints("v ") + cubeFaces("f ", false, 1), iv = inventorCube();
  const std::string gz = scratch.file("cube.iv.gz");
  gzFile out = gzopen(gz.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  gzwrite(out, iv.data(), static_cast<unsigned>(iv.size()));
  gzclose(out);
  const struct {
    std::string path;
    float minX;
  } files[] = {{scratch.write("cube.obj", obj), 0},
               {scratch.write("CUBE.OBJ", obj), 0},  // extensions are matched in any case
               {scratch.write("cube.off", "OFF\n8 6 12\n" + cubePoints() + cubeFaces("4 ", false)), 0},
               {scratch.write("cube_ascii.ply", plyCube(false)), 0},
               {scratch.write("cube_binary.ply", plyCube(true)), 0},
               {scratch.write("cube_ascii.stl", stlCube(false)), 0},
               {scratch.write("cube_binary.stl", stlCube(true)), 0},
               {scratch.write("cube.gltf", gltfCube()), 0},
               {scratch.write("moved.gltf", gltfCube(R"({"mesh":0,"translation":[10,0,0]})")), 10},
               {scratch.write("mirrored.gltf", gltfCube(R"({"mesh":0,"scale":[-1,1,1]})")), -1},
               {scratch.write("cube.iv", iv), 0},
               {gz, 0},
               {scratch.write("clockwise.iv", inventorCube(true)), 0},
               {scratch.write("cube.wrl", vrmlCube()), 0},
               {scratch.write("box.wrl",
                              "#VRML V2.0 utf8\nTransform { translation 5 0 0 children [\n"
                              " Shape { geometry Box { size 1 1 1 } } ] }\n"),
                4.5f}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.path);
    const Shape s = readOne(f.path);
    expectClosedUnitCube(s);
    EXPECT_FLOAT_EQ(s.minX, f.minX);
  }
}

TEST_F(ModelReader, PrimitivesAndOtherShapesBecomeOneConnectedObjectEach) {
  SoSeparator* scene = read(scratch.write("shapes.iv",
                                          "#Inventor V2.1 ascii\nSeparator {\n"
                                          " Cube { width 2 height 2 depth 2 } Sphere { radius 1 }\n"
                                          " Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0, 0 2 0, 1 2 0] }\n"
                                          " FaceSet { numVertices [4] } TriangleStripSet { numVertices [6] }\n"
                                          " QuadMesh { verticesPerRow 2 verticesPerColumn 3 }\n}\n"));
  ASSERT_NE(scene, nullptr);
  const SbWingedEdgeModel& model = gather(scene);
  ASSERT_EQ(testmesh::objectNumbers(model), (std::vector<int>{0, 1, 2, 3, 4}));
  expectClosedUnitCube(describe(model.objects[0]), 8.0);
  // The sphere's seam and poles repeat points: joined by position it is a closed ball.
  const Shape sphere = describe(model.objects[1]);
  EXPECT_TRUE(sphere.closed && sphere.connected && sphere.euler() == 2);
  EXPECT_TRUE(sphere.volume > 0.9 * 4.0 / 3.0 * M_PI && sphere.volume < 4.0 / 3.0 * M_PI) << sphere.volume;
  const int faces[] = {2, 4, 4};  // the quad, the strip of 6, the 1 x 2 quad mesh: discs
  for (int i = 0; i < 3; ++i) {
    const Shape s = describe(model.objects[2 + i]);
    EXPECT_EQ(std::make_tuple(s.faces, s.connected, s.closed, s.euler()), std::make_tuple(faces[i], true, false, 1));
  }
}

// Strip sets keep their own gathering; other shapes only add objects after
// them, numbered on in traversal order.
TEST_F(ModelReader, StripSetsAreGatheredAsBeforeAmongOtherShapes) {
  const std::string strips =
      "Separator { Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0, 0.5 2 0] }"
      " IndexedTriangleStripSet { coordIndex [0 1 2 3 4 -1 1 0 4 -1] } }\n";
  const SbWingedEdgeModel alone = gather(parse(strips));
  const SbWingedEdgeModel& model = gather(parse(strips + "Cube {}\n" + strips));
  ASSERT_EQ(alone.objects.size(), 1u);
  ASSERT_EQ(testmesh::objectNumbers(model), (std::vector<int>{0, 1, 2}));
  auto layout = [](const WeObject& o) {  // every position and every edge's vertices and faces, in order
    std::vector<float> out = {float(o.faces.size())};
    for (const WeVertex& v : o.vertices) out.insert(out.end(), {v.position[0], v.position[1], v.position[2]});
    for (const WeEdge& e : o.edges)
      out.insert(out.end(), {float(e.vertex[0]), float(e.vertex[1]), float(e.face[0]), float(e.face[1])});
    return out;
  };
  EXPECT_EQ(layout(model.objects[0]), layout(alone.objects[0]));
  EXPECT_EQ(layout(model.objects[2]), layout(alone.objects[0]));
  EXPECT_EQ(model.objects[1].faceCount, 12);
}

// Each bad file gives null, the kind of failure and its message ("%s" the
// path; "" any message that names the file), never a crash.
TEST_F(ModelReader, BadFilesGiveNullAndAMessage) {
  const SbModelReader::Failure OPEN = SbModelReader::CANNOT_OPEN, READ = SbModelReader::CANNOT_READ;
  for (const char* name : {"pipe.obj", "pipe.iv"}) ASSERT_EQ(mkfifo(scratch.file(name).c_str(), 0600), 0);
  struct Case {
    std::string path;
    const char* message;
    SbModelReader::Failure kind;
  };
  std::vector<Case> cases = {
      {scratch.file("missing.obj"), "Cannot open %s: No such file or directory", OPEN},
      {scratch.path.string(), "%s is a directory", OPEN},
      // Refused by their type: opening a pipe would wait for a writer, a device may never end.
      {scratch.file("pipe.obj"), "%s is not a regular file", OPEN},
      {scratch.file("pipe.iv"), "%s is not a regular file", OPEN},
      {"/dev/zero", "%s is not a regular file", OPEN},
      {scratch.write("empty.stl", ""), "%s is empty", READ},
      {scratch.write("notes.xyzzy", "hello\n"), "Unsupported file type: %s", READ},
      {scratch.write("fake.iv", "this is no scene\n"), "%s is not an Open Inventor or VRML file", READ},
      {scratch.write("broken.iv", "#Inventor V2.1 ascii\nSeparator { NoSuchNode { } }\n"), "", READ},
      {hostile("def_use_cycle.iv"), "Cannot read %s: the scene contains itself (through the node named A)", READ},
      {scratch.write("lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n"), "", READ}};
  std::string blob;  // random bytes under every extension
  for (uint32_t i = 0, state = 12345; i < 4096; ++i)
    blob += static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  for (const char* ext : {".obj", ".ply", ".stl", ".off", ".gltf", ".glb", ".iv", ".wrl"})
    cases.push_back({scratch.write(std::string("blob") + ext, blob), "", READ});
  const std::pair<const char*, std::string> whole[] = {{".stl", stlCube(true)},
                                                       {".ply", plyCube(true)},
                                                       {".gltf", gltfCube()},
                                                       {".iv", inventorCube()},
                                                       {".wrl", vrmlCube()}};
  for (const auto& [ext, bytes] : whole)  // cut short
    for (int tenths : {1, 5, 9})
      cases.push_back(
          {scratch.write("cut" + std::to_string(tenths) + ext, bytes.substr(0, bytes.size() * tenths / 10)), "", READ});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    SbModelReader::Failure failure = SbModelReader::NO_FAILURE;
    SoSeparator* scene = SbModelReader::read(c.path.c_str(), &error, &failure);
    if (scene) scene->ref(), scene->unref();
    EXPECT_EQ(std::make_pair(scene, failure), std::make_pair(static_cast<SoSeparator*>(nullptr), c.kind));
    if (*c.message)
      EXPECT_EQ(error, naming(c.message, c.path));
    else
      EXPECT_NE(error.find(c.path), std::string::npos) << "message does not name the file: " << error;
  }
  // assimp takes what it can of a text PLY cut short, and stops on an
  // assertion when points are missing: a model or a message.
  const std::string ply = plyCube(false);
  for (int tenths : {1, 5, 9}) {
    const std::string path = scratch.write("cut_ascii.ply", ply.substr(0, ply.size() * tenths / 10));
    std::string error;
    if (SoSeparator* scene = SbModelReader::read(path.c_str(), &error))
      EXPECT_LE(gather(scene).faceCount(), 12);
    else
      EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

// File and Inline names are read from the folder of the file that names
// them, whatever the working directory holds under the same names.
TEST_F(ModelReader, ReferencesAreReadFromTheFolderOfTheFileThatNamesThem) {
  ASSERT_EQ(mkdir(scratch.file("parts").c_str(), 0700), 0);
  scratch.write("parts/cube.iv", "#Inventor V2.1 ascii\nSeparator { Sphere {} }\n");
  scratch.write("parts/box.wrl", "#VRML V2.0 utf8\nShape { geometry Sphere {} }\n");
  SoSeparator *file = nullptr, *inlined = nullptr;
  {
    WorkingDirectory here(scratch.path);
    file = read(hostile("file_ref.iv"));
    inlined = read(hostile("inline_ref.wrl"));
  }
  ASSERT_TRUE(file && inlined);
  inlined->ref();
  // A sphere, the cube 3 along x, and the cone (read through parts/cone.iv from parts/sub/) 6 along x.
  const SbWingedEdgeModel& model = gather(file);
  ASSERT_EQ(model.objects.size(), 3u);
  expectClosedUnitCube(describe(model.objects[1]), 8.0);
  EXPECT_TRUE(describe(model.objects[1]).minX == 2.0f && describe(model.objects[2]).closed);
  const SbWingedEdgeModel& vrml = gather(inlined);
  ASSERT_EQ(vrml.objects.size(), 2u);
  expectClosedUnitCube(describe(vrml.objects[1]), 8.0);
  inlined->unref();
  // A part that is not there fails the whole read.
  const std::string missing = hostile("file_missing.iv");
  std::string error;
  EXPECT_EQ(SbModelReader::read(missing.c_str(), &error), nullptr);
  EXPECT_EQ(error.rfind("Cannot read " + missing + ": Could not find 'parts/nothere.iv'", 0), 0u) << error;
}

// Faces, strips and NURBS surfaces that name points which do not exist, and
// NURBS surfaces whose knots Coin cannot use, are left out and counted on the
// console; the rest of the shape or scene is kept.
TEST_F(ModelReader, ShapesOutOfRangeAreLeftOutAndReported) {
  const std::string nurbs = "NURBS surface(s) with knots, orders, control points or trimming curves";
  const std::string indices = "with coordinate indices";
  const struct {
    const char* file;
    int faces, surfaces;  // gathered without a GL context; NURBS surfaces built
    std::string skipped;
  } cases[] = {{"ifs_beyond.iv", 1, 0, "2 face(s) " + indices},
               {"faceset_beyond.iv", 1, 0, "1 face(s) " + indices},
               {"tss_beyond.iv", 2, 0, "1 strip(s) " + indices},
               {"itss_beyond.iv", 2, 0, "1 strip(s) " + indices},
               {"vrml_ifs_beyond.wrl", 1, 0, "1 face(s) " + indices},
               {"nurbs_beyond.iv", 0, 1, "4 " + nurbs},
               {"nurbs_knots.iv", 0, 0, "4 " + nurbs}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = hostile(c.file);
    testing::internal::CaptureStdout();
    SoSeparator* scene = read(path);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(out, "SbModelReader::read: skipped " + c.skipped + " out of range in " + path + "\n");
    SoSearchAction search;
    search.setType(SoType::fromName("NurbsSurface"));
    search.setInterest(SoSearchAction::ALL);
    search.apply(scene);
    EXPECT_EQ(std::make_pair(search.getPaths().getLength(), gather(scene).faceCount()),
              std::make_pair(c.surfaces, c.faces));
  }
}

// What comes across is geometry only (no lines or points), and it gathers into the same model as
// the scene Coin reads from the file: the same objects with the same faces,
// edges and vertices, placed alike.
TEST_F(ModelReader, OnlyGeometryComesAcrossAndGathersAsTheFileDoes) {
  const std::string text =
      "Separator {\n PerspectiveCamera {} DirectionalLight {} Material { diffuseColor 1 0 0 }\n"
      " Transform { translation 10 0 0 rotation 0 0 1 0.5 }\n"
      " DEF C Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0, 0 2 0, 1 2 0] }\n"
      " IndexedTriangleStripSet { coordIndex [0 1 2 3 -1] } IndexedTriangleStripSet { coordIndex [2 3 4 5 -1] }\n"
      " ShapeHints { vertexOrdering CLOCKWISE faceType UNKNOWN_FACE_TYPE }\n"
      " IndexedFaceSet { coordIndex [0 2 4 5 3 1 -1] } Switch { whichChild 1 Cube {} Cone { parts SIDES } }\n"
      " Normal { vector [0 0 1] } NormalBinding { value PER_VERTEX } FaceSet { numVertices [3, 3] }\n"
      " Scale { scaleFactor -1 1 1 } Complexity { value 0.2 } Sphere {} Text3 { string \"L\" parts ALL }\n"
      " IndexedLineSet { coordIndex [0 1 2 -1] } PointSet { numPoints 4 }\n}\n";
  SoSeparator* flat = read(scratch.write("scene.iv", "#Inventor V2.1 ascii\n" + text));
  ASSERT_NE(flat, nullptr);
  flat->ref();
  // Nothing but the geometry's own node types, one coordinate node per block.
  std::set<std::string> types;
  std::set<const SoNode*> coordinates;
  for (std::vector<const SoNode*> stack = {flat}; !stack.empty();) {
    const SoNode* node = stack.back();
    stack.pop_back();
    types.insert(node->getTypeId().getName().getString());
    if (node->isOfType(SoCoordinate3::getClassTypeId())) coordinates.insert(node);
    if (const SoChildList* children = node->getChildren())
      for (int i = 0; i < children->getLength(); ++i) stack.push_back((*children)[i]);
  }
  EXPECT_EQ(types, (std::set<std::string>{"Separator", "Coordinate3", "IndexedTriangleStripSet", "MatrixTransform",
                                          "ShapeHints", "Complexity", "IndexedFaceSet", "Sphere", "Cone"}));
  // The strip sets and the face set share the file's coordinates; the face
  // set and the text, triangulated, have a block each.
  EXPECT_EQ(coordinates.size(), 3u);
  SoSeparator* original = parse(text);
  ASSERT_NE(original, nullptr);
  original->ref();
  const SbWingedEdgeModel expected = gather(original);
  const SbWingedEdgeModel& model = gather(flat);
  // 2 strip sets, face set, cone, face set, sphere, text
  ASSERT_EQ(std::make_pair(model.objects.size(), expected.objects.size()), std::make_pair(7ul, 7ul));
  for (size_t i = 0; i < model.objects.size(); ++i) {
    SCOPED_TRACE(i);
    const Shape a = describe(model.objects[i]), b = describe(expected.objects[i]);
    EXPECT_EQ(std::make_tuple(a.faces, a.edges, a.vertices, a.closed),
              std::make_tuple(b.faces, b.edges, b.vertices, b.closed));
    EXPECT_NEAR(a.volume, b.volume, 1e-3 * std::max(1.0, std::fabs(b.volume)));
  }
  original->unref();
  flat->unref();
}

// The parent takes back only answers that check out: every index within its
// block, known kinds, finite numbers, NURBS surfaces Coin can use, nothing
// cut short.
TEST(ModelParts, OnlyAnswersThatCheckOutAreTakenBack) {
  SbModelParts parts;
  SbModelParts::Part strips, faces, sphere, nurbs;
  strips.kind = SbModelParts::STRIPS;
  strips.block = parts.addBlock({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  strips.coordIndex = parts.keep({0, 1, 2, 3, -1});
  faces = strips;
  faces.kind = SbModelParts::FACES;
  faces.placed = true;
  faces.matrix.setTranslate(SbVec3f(5, 0, 0));
  faces.coordIndex = parts.keep({0, 1, 3, 2, -1});
  sphere.kind = SbModelParts::PRIMITIVE;
  sphere.primitive = SbModelParts::SPHERE;
  sphere.size[0] = 2.0f;
  // A rational bilinear patch trimmed by a triangle and a quadratic curve.
  nurbs.kind = SbModelParts::NURBS;
  nurbs.numU = nurbs.numV = 2;
  nurbs.dimension = 4;
  nurbs.controlPoints = parts.keepFloats({0, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 1, 2, 2, 2, 2});
  nurbs.uKnots = nurbs.vKnots = parts.keepFloats({0, 0, 1, 1});
  nurbs.profileDimension = 2;
  nurbs.profilePoints =
      parts.keepFloats({0.1f, 0.1f, 0.9f, 0.1f, 0.5f, 0.9f, 0.1f, 0.1f, 0.2f, 0.2f, 0.3f, 0.3f, 0.2f, 0.2f});
  nurbs.profileCount = 2;
  SbModelParts::Profile polyline, curve;
  polyline.points = 4;
  curve.curve = SbModelParts::NURBS_PROFILE;
  curve.linkage = SoProfile::START_NEW;
  curve.points = 3;
  curve.knots = parts.keepFloats({0, 0, 0, 1, 1, 1});
  parts.profiles = {polyline, curve};
  ASSERT_EQ(SbModelParts::nurbsProblem(nurbs, parts.profiles), nullptr);
  parts.parts = {strips, faces, sphere, nurbs};

  FILE* file = std::tmpfile();
  ASSERT_TRUE(file && parts.write(fileno(file)));
  std::vector<uint32_t> words(static_cast<size_t>(ftell(file)) / 4);
  std::rewind(file);
  ASSERT_EQ(std::fread(words.data(), 4, words.size(), file), words.size());
  std::fclose(file);
  const char* bytes = reinterpret_cast<const char*>(words.data());
  const size_t size = words.size() * 4;
  SbModelParts back;
  ASSERT_TRUE(back.read(bytes, size));
  ASSERT_EQ(std::make_pair(back.parts.size(), back.profiles.size()), std::make_pair(4ul, 2ul));
  EXPECT_EQ(back.parts[1].matrix, faces.matrix);
  EXPECT_EQ(std::vector<float>(back.profiles[1].knots.data, back.profiles[1].knots.data + 6),
            std::vector<float>({0, 0, 0, 1, 1, 1}));
  SoSeparator* scene = back.buildScene();
  scene->ref();
  EXPECT_EQ(scene->getNumChildren(), 4);
  scene->unref();

  for (size_t cut = 0; cut < size; cut += 4) EXPECT_FALSE(SbModelParts().read(bytes, cut)) << cut;
  // One word at a time set to a value no answer holds there: an index past
  // the block, a kind, an enumeration value, a NaN. Counts and indices that
  // stay valid may pass; nothing may crash, and the scene must build.
  for (size_t w = 0; w < words.size(); ++w)
    for (uint32_t value : {4u, 99u, 0x7fc00000u, 0xffffffffu}) {
      std::vector<uint32_t> damaged = words;
      damaged[w] = value;
      SbModelParts check;
      if (!check.read(reinterpret_cast<const char*>(damaged.data()), size)) continue;
      for (const SbModelParts::Part& p : check.parts) {
        EXPECT_TRUE(p.kind != SbModelParts::NURBS || !SbModelParts::nurbsProblem(p, check.profiles));
        if (p.kind == SbModelParts::PRIMITIVE || p.kind == SbModelParts::NURBS) continue;
        for (uint32_t i = 0; i < p.coordIndex.size; ++i)
          EXPECT_LT(p.coordIndex.data[i], static_cast<int32_t>(check.blocks[p.block].size));
      }
      SoSeparator* built = check.buildScene();
      built->ref();
      built->unref();
    }
}

// NURBS surfaces whose tessellation would pass the budget get the highest
// complexity level at which all fit together; when even complexity 0 does
// not fit, the surfaces after the last that fits are left out, other shapes
// kept. Reported on the console.
TEST(ModelParts, NurbsTessellationIsKeptWithinItsBudget) {
  for (const bool drop : {false, true}) {
    SCOPED_TRACE(drop ? "dropping" : "lowering");
    SbModelParts parts;
    SbModelParts::Part patch;  // bicubic 30 x 30, 27 knot spans each way
    patch.kind = SbModelParts::NURBS;
    patch.numU = patch.numV = 30;
    patch.controlPoints = parts.keepFloats(std::vector<float>(30 * 30 * 3, 0.0f));
    std::vector<float> knots = {0, 0, 0};
    for (int k = 0; k <= 27; ++k) knots.push_back(float(k));
    knots.insert(knots.end(), {27, 27, 27});
    patch.uKnots = patch.vKnots = parts.keepFloats(knots);
    ASSERT_EQ(SbModelParts::nurbsProblem(patch, parts.profiles), nullptr);
    for (float complexity : {1.0f, 0.3f, 1.0f}) {
      patch.complexity = complexity;
      parts.parts.push_back(patch);
    }
    parts.parts.emplace_back().kind = SbModelParts::PRIMITIVE;
    auto estimate = [&](float ceiling) {
      double sum = 0;
      for (const SbModelParts::Part& p : parts.parts)
        if (p.kind == SbModelParts::NURBS) sum += parts.nurbsTriangles(p, std::min(p.complexity, ceiling));
      return sum;
    };
    const double budget = drop ? 2 * parts.nurbsTriangles(patch, 0.0f) + 1 : estimate(0.5f);
    ASSERT_GT(estimate(0.6f), budget);
    parts.limitNurbs(budget);
    EXPECT_LE(estimate(1.0f), budget);
    std::vector<float> complexities;
    for (const SbModelParts::Part& p : parts.parts)
      complexities.push_back(p.kind == SbModelParts::NURBS ? p.complexity : -1.0f);
    EXPECT_EQ(complexities,
              drop ? std::vector<float>({0.0f, 0.0f, -1.0f}) : std::vector<float>({0.5f, 0.3f, 0.5f, -1.0f}));
    char limit[32];
    std::snprintf(limit, sizeof limit, "%.0f", budget);
    testing::internal::CaptureStdout();
    parts.reportSkipped("m.iv");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("SbModelReader::read: lowered the complexity of ") + (drop ? "3" : "2") +
                  " NURBS surface(s) to " + (drop ? "0.0" : "0.5") + " to keep their tessellation under " + limit +
                  " triangles in m.iv\n" +
                  (drop ? "SbModelReader::read: skipped 1 NURBS surface(s) beyond " + std::string(limit) +
                              " triangles of tessellation in m.iv\n"
                        : ""));
  }
}

// Dead or a zombie nobody reaps.
bool processGone(pid_t pid) {
  const std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t paren = text.rfind(')');
  return text.empty() || (paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z');
}

TEST(ReaderProcess, TheReaderEndsWithTheProgramThatWaitsForIt) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  std::fflush(nullptr);
  const pid_t program = fork();
  ASSERT_GE(program, 0);
  if (program == 0) {
    close(channel[0]);
    SbModelParts parts;
    std::string message;
    SbReaderProcess::run(
        "endless",
        [&](SbModelParts&, std::string&) {
          const pid_t reader = getpid();
          if (write(channel[1], &reader, sizeof reader) != sizeof reader) _exit(1);
          for (;;) pause();
          return false;
        },
        SbReaderProcess::limitsFor(0), parts, message);
    _exit(0);
  }
  close(channel[1]);
  pid_t reader = 0;
  ASSERT_EQ(read(channel[0], &reader, sizeof reader), static_cast<ssize_t>(sizeof reader));
  close(channel[0]);
  kill(program, SIGKILL);  // as --max-seconds or a crash would end it
  waitpid(program, nullptr, 0);
  bool gone = false;
  for (int i = 0; i < 500 && !(gone = processGone(reader)); ++i) usleep(10000);
  EXPECT_TRUE(gone) << "the reader " << reader << " outlived its program";
  if (!gone) kill(reader, SIGKILL);
}

}  // namespace
