#ifndef LINFOLD_SBWINGEDEDGEMODEL_H
#define LINFOLD_SBWINGEDEDGEMODEL_H

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

// Winged-edge mesh: a list of objects, each with its own vertices, edges and
// faces. Records refer to each other by their index inside the object.
//
// Face walk: start at the face's first edge, standing at its first vertex when
// the edge's first face is this face, else at its second vertex. Repeatedly
// take the edge's wing at the end where the walk stands and move to that wing's
// other end, until the wing is the first edge again. The vertices met are the
// corners, counter-clockwise seen from the side the normal points to. So the
// first face of an edge runs it from its second vertex to its first, the
// second face from the first to the second, and each wing is the next edge of
// the face that stands at that end.

enum WeVertexFlags : uint8_t { WE_CORNER = 2 };
enum WeEdgeFlags : uint8_t { WE_SHARP = 8, WE_MARK1 = 1, WE_MARK2 = 2 };
enum WeFaceFlags : uint8_t { WE_VISITED = 1 };

// How SoWingedEdge draws a model (SbWingedEdgeModel::visualizationMode).
enum WeVisualization {
  WE_SHOW_LINES = 1,           // edges, over a depth-only pass of the faces when hiding
  WE_SHOW_FACES = 2,           // lit faces, flat shading
  WE_SHOW_COLOURED_FACES = 3,  // faces coloured by the curvature measure
  WE_SHOW_NOTHING = 4,         // faces into the depth buffer only
  WE_SHOW_FEATURE_LINES = 5,   // as lines, sharp and boundary edges only
  WE_SHOW_THREE_COLOURS = 6,   // faces in three colours, two-sided
  WE_SHOW_DIRECTIONS = 7,      // as lines, with the principal directions
  WE_SHOW_LINES_NO_DEPTH = 8   // lines without the depth test
};

struct WeVertex {
  int index = 0;   // position in the object's vertex list (after number())
  int object = 0;  // number of its object
  SbVec3f position{0, 0, 0};
  SbVec3f normal{0, 0, 0};  // mean of the normals of the faces met through its edges
  uint8_t flags = 0;
};

struct WeEdge {
  int id = 0;  // position in the object's edge list (after number())
  int object = 0;
  int wing[2] = {-1, -1};    // edge a face walk takes standing at vertex[0] / vertex[1]
  int vertex[2] = {-1, -1};  // first and second vertex
  int face[2] = {-1, -1};    // first and second face; -1 where there is none
  uint8_t flags = 0;

  bool isBoundary() const { return face[0] < 0 || face[1] < 0; }
  int other(int v) const { return vertex[0] == v ? vertex[1] : vertex[0]; }
};

struct WeFace {
  int id = 0;
  int object = 0;
  SbVec3f normal{0, 0, 0};  // unit normal, zero for a degenerate face
  int firstEdge = -1;
  uint8_t flags = 0;
};

struct WeObject {
  int number = 0;
  std::vector<WeVertex> vertices;
  std::vector<WeEdge> edges;
  std::vector<WeFace> faces;
  // Edges at each vertex: vertexEdges[vertexEdgeStart[v] .. vertexEdgeStart[v + 1]).
  std::vector<int> vertexEdgeStart;
  std::vector<int> vertexEdges;
  int vertexCount = 0, edgeCount = 0, faceCount = 0;

  // Corners of face f in walk order, appended to `out` after clearing it.
  // The walk is bounded by the edge count, so it ends on any input.
  void faceCorners(int f, std::vector<int>& out) const;
  // Calls fn(vertex, edge) for each corner of face f in walk order, where
  // `edge` is the edge the walk stands on when it reaches that vertex.
  template <class Fn>
  void walkFace(int f, Fn fn) const;

  int edgesAtVertexBegin(int v) const { return vertexEdgeStart[v]; }
  int edgesAtVertexEnd(int v) const { return vertexEdgeStart[v + 1]; }
  // The edge between vertices a and b, or -1 (needs the vertex-edge lists).
  int findEdge(int a, int b) const;
  // Rebuilds vertexEdgeStart / vertexEdges from the edge list.
  void buildVertexEdges();
  // Sets every face normal to the unit normal of its corner polygon (Newell)
  // and every vertex normal to the mean of the face normals met through its
  // edges (each present face of each incident edge counted once).
  void computeNormals();

  // Curvature of the display (SbWingedEdgeCurvature), one entry per vertex
  // while the model's curvatureValid is set; empty before the first estimate.
  std::vector<float> k1, k2;        // principal curvatures, k1 >= k2
  std::vector<SbVec3f> dir1, dir2;  // unit principal directions of k1 and k2
  std::vector<float> measure;       // value of the current curvature measure
  std::vector<float> measure2;      // second channel ("Min/Max Separately": k2)
};

class SbWingedEdgeModel {
 public:
  std::vector<WeObject> objects;
  int curvatureMode = 1;  // SbWingedEdgeCurvature::Mode
  double threshold = 0.01;
  int visualizationMode = WE_SHOW_FACES;
  bool modified = false;           // set when the modifier chain has run on this copy
  bool statusFlag = false;         // cleared together with `modified`
  bool displayListsValid = false;  // set after drawing; cleared by any change
  bool curvatureValid = false;     // per-vertex curvature values are current
  // The built model a working copy was taken from: the modifier chain starts
  // again from it, never from its own earlier output.
  SbWingedEdgeModel* source = nullptr;
  // Set while this model holds its source's geometry itself (moved there, not
  // copied, and not changed since): the source stays empty until
  // keepSource() gives it its copy. Most models are never modified, and a
  // million-face copy costs a third of a second and 150 MB.
  bool holdsSource = false;

  // Replaces the objects by a copy of other's, keeping this model's settings
  // (curvature mode, threshold, visualisation mode); clears every mark.
  void copyGeometryFrom(const SbWingedEdgeModel& other);
  // Moves source's objects into this model (source is left empty), keeping
  // this model's settings; clears every mark and sets holdsSource.
  void borrowGeometryFrom(SbWingedEdgeModel& source);
  // Gives the source back its objects while this model holds them: this
  // model is left empty. Nothing happens otherwise.
  void returnSource();
  // Before this model's geometry changes: gives the source a copy of the
  // objects while this model holds them.
  void keepSource();

  void clear();
  // Numbers every object's vertices, edges and faces 0, 1, 2 ... in list order,
  // writes the object number into every record and sets the counts.
  void number();

  int faceCount() const;
  int edgeCount() const;
  int vertexCount() const;

  // Curvature measure of the objects' `measure` arrays (0: none yet) and the
  // range the colour maps use (0 always inside it).
  int measureMode = 0;
  double measureThreshold = 0.0;  // threshold the singularity index was computed with
  float measureMin = 0.0f, measureMax = 0.0f;
};

template <class Fn>
void WeObject::walkFace(int f, Fn fn) const {
  const WeFace& face = faces[f];
  int first = face.firstEdge;
  if (first < 0) return;
  int e = first;
  int v = edges[e].face[0] == f ? edges[e].vertex[0] : edges[e].vertex[1];
  const int bound = static_cast<int>(edges.size());
  for (int step = 0; step <= bound; ++step) {
    fn(v, e);
    const WeEdge& edge = edges[e];
    int w = edge.wing[edge.vertex[0] == v ? 0 : 1];
    if (w < 0 || w == first) return;
    v = edges[w].other(v);
    e = w;
  }
}

#endif
