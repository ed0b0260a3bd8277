#include "output/SbWingedEdgeWriter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/SbNumberText.h"
#include "mesh/SbWingedEdgeModel.h"

namespace {

const char* const kProducedBy = "#Produced by Quorvane (https://quorvane.org)";

// The file text and the non-finite numbers met while writing it (written as
// 0, which readers accept).
struct Text {
  std::string s;
  int nonFinite = 0;
  Text& operator+=(const std::string& t) {
    s += t;
    return *this;
  }
  Text& operator+=(const char* t) {
    s += t;
    return *this;
  }
  Text& operator+=(char c) {
    s += c;
    return *this;
  }
};

// The shortest text that reads back as the same float: a model a thousandth
// of a unit across keeps every bit of its coordinates, which six fixed
// decimals would round away.
void appendFloat(Text& text, float value) {
  if (!SbNumberText::appendShortest(text.s, value)) ++text.nonFinite;
}

void appendInt(std::string& out, int value) { SbNumberText::appendInt(out, value); }

void appendSpaces(Text& out, int n) { out.s.append(size_t(n), ' '); }

void appendVector(Text& out, const SbVec3f& v) {
  appendFloat(out, v[0]);
  out += ' ';
  appendFloat(out, v[1]);
  out += ' ';
  appendFloat(out, v[2]);
}

void appendWhite(Text& out) {
  out += "diffuseColor ";
  appendVector(out, SbVec3f(1, 1, 1));
  out += '\n';
}

// One vector per line, all but the last ending in ",", the last in "]".
template <class Get>
void appendVectorList(Text& out, int indent, size_t count, Get get) {
  for (size_t i = 0; i < count; ++i) {
    appendSpaces(out, indent);
    appendVector(out, get(i));
    out += i + 1 < count ? ",\n" : "]\n";
  }
}

// One index line per polygon: "%i, " per corner, then "-1," or, for the last,
// "-1]" and an empty line.
void appendIndexLines(Text& out, int indent, const std::vector<std::vector<int>>& polygons) {
  for (size_t f = 0; f < polygons.size(); ++f) {
    appendSpaces(out, indent);
    for (int v : polygons[f]) {
      appendInt(out.s, v);
      out += ", ";
    }
    out += f + 1 < polygons.size() ? "-1,\n" : "-1]\n\n";
  }
}

std::vector<std::vector<int>> faceCorners(const WeObject& object) {
  std::vector<std::vector<int>> faces(object.faces.size());
  for (size_t f = 0; f < object.faces.size(); ++f) object.faceCorners(int(f), faces[f]);
  return faces;
}

// Faces as triangles: a face of n > 3 corners becomes the fan (c0, ci, ci+1).
std::vector<std::vector<int>> fanTriangles(const std::vector<std::vector<int>>& faces) {
  std::vector<std::vector<int>> triangles;
  triangles.reserve(faces.size());
  for (const std::vector<int>& face : faces) {
    if (face.size() <= 3) {
      triangles.push_back(face);
      continue;
    }
    for (size_t i = 1; i + 1 < face.size(); ++i) triangles.push_back({face[0], face[i], face[i + 1]});
  }
  return triangles;
}

}  // namespace

bool SbWingedEdgeWriter::writable(const WeObject& object) {
  if (object.vertices.empty() || object.faces.empty()) return false;
  std::vector<int> corners;
  for (size_t f = 0; f < object.faces.size(); ++f) {
    object.faceCorners(int(f), corners);
    if (!corners.empty()) return true;
  }
  return false;
}

std::string SbWingedEdgeWriter::vrml(const SbWingedEdgeModel& model, int* nonFinite) {
  Text out;
  out += "#VRML V2.0 utf8\n";
  out += kProducedBy;
  out += "\n\n";
  for (const WeObject& object : model.objects) {
    if (!writable(object)) continue;
    std::vector<std::vector<int>> faces = faceCorners(object);
    faces.erase(std::remove_if(faces.begin(), faces.end(), [](const std::vector<int>& f) { return f.empty(); }),
                faces.end());
    std::string name = "Object";
    appendInt(name, object.number);
    out += "DEF " + name + " Group {\n";
    out += "  children [\n";
    out += "    Shape {\n";
    out += "      appearance Appearance {\n";
    out += "        material Material {\n";
    appendSpaces(out, 10);
    appendWhite(out);
    out += "        }\n";
    out += "      }\n\n";
    out += "      geometry DEF " + name + "-FACES IndexedFaceSet {\n";
    out += "        ccw TRUE\n";
    out += "        solid TRUE\n\n";
    out += "        coord DEF Box01-COORD Coordinate { point [\n";
    appendVectorList(out, 10, object.vertices.size(), [&](size_t i) { return object.vertices[i].position; });
    out += "        }\n\n";
    out += "        normalPerVertex TRUE\n";
    out += "        normal Normal { vector [\n";
    appendVectorList(out, 10, object.vertices.size(), [&](size_t i) { return object.vertices[i].normal; });
    out += "        }\n\n";
    out += "        coordIndex [\n";
    appendIndexLines(out, 10, faces);
    out += "        normalIndex [\n";
    appendIndexLines(out, 10, faces);
    out += "      }\n";
    out += "    }\n";
    out += "  ]\n";
    out += "}\n";
  }
  if (nonFinite) *nonFinite = out.nonFinite;
  return out.s;
}

std::string SbWingedEdgeWriter::inventor(const SbWingedEdgeModel& model, int* nonFinite) {
  Text out;
  out += "#Inventor V2.1 ascii\n";
  out += kProducedBy;
  out += "\n\n";
  out += "Separator {\n\n";
  for (const WeObject& object : model.objects) {
    if (!writable(object)) continue;
    std::vector<std::vector<int>> triangles = fanTriangles(faceCorners(object));
    triangles.erase(
        std::remove_if(triangles.begin(), triangles.end(), [](const std::vector<int>& f) { return f.empty(); }),
        triangles.end());
    out += "  DEF ";
    appendInt(out.s, object.number);
    out += " Separator {\n\n";
    out += "    ShapeHints {\n";
    out += "      vertexOrdering COUNTERCLOCKWISE\n";
    out += "      shapeType SOLID\n";
    out += "      faceType CONVEX\n";
    out += "    }\n\n";
    out += "    Material {\n";
    appendSpaces(out, 6);
    appendWhite(out);
    out += "    }\n\n";
    out += "    Coordinate3 {\n";
    out += "      point [\n";
    appendVectorList(out, 8, object.vertices.size(), [&](size_t i) { return object.vertices[i].position; });
    out += "    }\n\n";
    out += "    MaterialBinding {\n";
    out += "      value OVERALL\n";
    out += "    }\n\n";
    out += "    Normal {\n";
    out += "      vector [\n";
    appendVectorList(out, 8, object.vertices.size(), [&](size_t i) { return object.vertices[i].normal; });
    out += "    }\n\n";
    out += "    NormalBinding {\n";
    out += "      value PER_VERTEX_INDEXED\n";
    out += "    }\n\n";
    out += "    IndexedTriangleStripSet {\n";
    out += "      coordIndex [\n";
    appendIndexLines(out, 8, triangles);
    out += "      normalIndex [\n";
    appendIndexLines(out, 8, triangles);
    out += "    }\n";
    out += "  }\n\n";
  }
  out += "}\n";
  if (nonFinite) *nonFinite = out.nonFinite;
  return out.s;
}
