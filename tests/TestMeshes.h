#ifndef LINFOLD_TESTMESHES_H
#define LINFOLD_TESTMESHES_H

// Small hand-made and generated meshes shared by the tests and benchmarks.

#include <Inventor/SbVec3f.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "mesh/SbWingedEdgeModel.h"

struct PolyMesh {
  std::vector<SbVec3f> positions;
  std::vector<int> faceStart{0};
  std::vector<int> corners;

  int addVertex(const SbVec3f& p);
  void addFace(std::initializer_list<int> face);
  void addFace(const std::vector<int>& face);
  int faceCount() const { return static_cast<int>(faceStart.size()) - 1; }
};

// Triangle strips in Inventor's layout: coordIndex with -1 after each strip.
struct StripMesh {
  std::vector<SbVec3f> coords;
  std::vector<int> coordIndex;
};

namespace testmesh {
PolyMesh polyMesh(const std::vector<SbVec3f>& positions, const std::vector<std::vector<int>>& faces);
PolyMesh singleTriangle();
PolyMesh tetrahedron();                                                   // closed, 4 triangles
PolyMesh cube(float halfSize = 1.0f);                                     // closed, 6 quads
PolyMesh cubeTriangles(float halfSize = 1.0f);                            // closed, 12 triangles
PolyMesh quadFan();                                                       // one quad face
PolyMesh grid(int nx, int ny, float size = 1.0f, bool triangles = true);  // open, in z = 0
PolyMesh icosphere(int subdivisions, float radius = 1.0f);                // 20 * 4^s triangles
PolyMesh torus(int nu, int nv, float R, float r);                         // 2 nu nv triangles
PolyMesh cylinder(int around, int along, float radius, float length);     // open tube along z
PolyMesh saddle(int n, float size);                                       // z = x^2 - y^2 over [-size, size]^2
PolyMesh nonManifoldFan();                                                // three triangles sharing one edge
PolyMesh mobiusStrip(int n);                                              // not orientable

StripMesh torusStrips(int nu, int nv, float R, float r);  // one strip per ring

// Edges with one face, and edges flagged WE_SHARP.
int boundaryEdges(const WeObject& o);
int sharpEdges(const WeObject& o);
// The corners of face f, in walk order.
std::vector<int> corners(const WeObject& o, int f);
// The positions of those corners.
std::vector<SbVec3f> cornerPositions(const WeObject& o, int f);
// The objects' numbers, in order.
std::vector<int> objectNumbers(const SbWingedEdgeModel& m);

// One object per mesh, numbered 0, 1 ...
SbWingedEdgeModel model(std::initializer_list<const PolyMesh*> meshes);
SbWingedEdgeModel model(const PolyMesh& mesh);
}  // namespace testmesh

namespace testmesh {
// Icosahedron with every face split into frequency^2 triangles, projected onto
// the sphere: 20 n^2 triangles of nearly equal size, closed, outward normals.
PolyMesh geodesicSphere(int frequency, float radius = 1.0f);

// The well-formed meshes above, small, with their Euler characteristic.
struct NamedMesh {
  const char* name;
  PolyMesh mesh;
  int euler;
  bool closed;
};
std::vector<NamedMesh> catalogue();

int euler(const WeObject& o);  // V - E + F of the records
// "" when every face walk is closed, has three corners or more and runs
// along its own edges on the face's side, every face side of every edge is
// walked exactly once, and (if asked) every edge and vertex lies on a face;
// otherwise the first fault found.
std::string linkProblem(const WeObject& o, bool everyRecordOnAFace = true);
// Faces reachable from face 0 across edges with faces on both sides.
int connectedFaces(const WeObject& o);
}  // namespace testmesh

#endif
