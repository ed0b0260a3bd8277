#include "mesh/SbWingedEdgeBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/Finite.h"

namespace {

// Polygons with consecutive repeats removed; faces of fewer than three corners dropped.
// A polygon that passes through one vertex twice (a, b, a, c) has no
// consistent walk around its corners; such faces are dropped.
bool hasRepeatedCorner(const int* c, size_t n) {
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (c[i] == c[j]) return true;
  return false;
}

void cleanFaces(const std::vector<int>& faceStart, const std::vector<int>& corners, int vertexCount,
                std::vector<int>& start, std::vector<int>& out, int& dropped) {
  start.clear();
  out.clear();
  start.reserve(faceStart.size());
  out.reserve(corners.size());
  start.push_back(0);
  const int nf = faceStart.empty() ? 0 : static_cast<int>(faceStart.size()) - 1;
  for (int f = 0; f < nf; ++f) {
    const size_t begin = out.size();
    const int first = std::max(faceStart[f], 0);
    const int last = std::min(faceStart[f + 1], static_cast<int>(corners.size()));
    bool inRange = true;
    for (int i = first; i < last && inRange; ++i) inRange = corners[i] >= 0 && corners[i] < vertexCount;
    for (int i = first; i < last && inRange; ++i) {
      if (out.size() > begin && out.back() == corners[i]) continue;
      out.push_back(corners[i]);
    }
    while (out.size() - begin > 1 && out.back() == out[begin]) out.pop_back();
    if (out.size() - begin < 3 || hasRepeatedCorner(out.data() + begin, out.size() - begin)) {
      out.resize(begin);
      ++dropped;
      continue;
    }
    start.push_back(static_cast<int>(out.size()));
  }
}

// True when cleanFaces would change nothing: the face list covers `corners`
// from 0, every corner names a vertex, and every face has three or more
// distinct corners.
bool facesAreClean(const std::vector<int>& faceStart, const std::vector<int>& corners, int vertexCount) {
  if (faceStart.empty() || faceStart.front() != 0 || faceStart.back() != static_cast<int>(corners.size())) return false;
  for (size_t f = 0; f + 1 < faceStart.size(); ++f) {
    const int b = faceStart[f], e = faceStart[f + 1];
    if (e - b < 3) return false;
    for (int i = b; i < e; ++i)
      if (corners[i] < 0 || corners[i] >= vertexCount) return false;
    if (hasRepeatedCorner(corners.data() + b, e - b)) return false;
  }
  return true;
}

}  // namespace

WeBuildReport buildWingedEdgeObject(WeObject& object, int number, std::vector<SbVec3f> positions,
                                    const std::vector<int>& faceStart, const std::vector<int>& corners) {
  WeBuildReport report;
  // Most input needs no cleaning; a copy of a million faces costs more than the check.
  std::vector<int> cleanStart, cleanCorners;
  const int vertexCount = static_cast<int>(positions.size());
  const bool clean = facesAreClean(faceStart, corners, vertexCount);
  if (!clean) cleanFaces(faceStart, corners, vertexCount, cleanStart, cleanCorners, report.droppedFaces);
  const std::vector<int>& start = clean ? faceStart : cleanStart;
  const std::vector<int>& corner = clean ? corners : cleanCorners;
  const int nv = static_cast<int>(positions.size());
  const int nf = static_cast<int>(start.size()) - 1;
  const int nh = static_cast<int>(corner.size());

  // Half-edge h runs from corner h to the next corner of its face. For a
  // mesh of triangles alone both follow from h; other meshes keep them in
  // two arrays (24 MB of fresh pages at a million triangles).
  bool triangles = nh == 3 * nf;
  for (int f = 0; f <= nf && triangles; ++f) triangles = start[f] == 3 * f;
  std::vector<int> faceArray, headArray;
  if (!triangles) {
    faceArray.resize(nh);
    headArray.resize(nh);
    for (int f = 0; f < nf; ++f) {
      for (int h = start[f]; h < start[f + 1]; ++h) {
        faceArray[h] = f;
        headArray[h] = corner[h + 1 < start[f + 1] ? h + 1 : start[f]];
      }
    }
  }
  auto faceOf = [&](int h) { return triangles ? h / 3 : faceArray[h]; };
  auto headOf = [&](int h) { return triangles ? corner[h % 3 == 2 ? h - 2 : h + 1] : headArray[h]; };

  // Group the half-edges by their unordered vertex pair: bucket by the smaller
  // vertex, then match the larger one inside the (small) bucket.
  std::vector<int> bucketStart(nv + 1, 0);
  for (int h = 0; h < nh; ++h) ++bucketStart[std::min(corner[h], headOf(h)) + 1];
  for (int v = 0; v < nv; ++v) bucketStart[v + 1] += bucketStart[v];
  std::vector<int> bucket(nh);
  {
    std::vector<int> fill(bucketStart.begin(), bucketStart.end() - 1);
    for (int h = 0; h < nh; ++h) bucket[fill[std::min(corner[h], headOf(h))]++] = h;
  }
  std::vector<int> mate(nh, -1);
  std::vector<char> grouped(nh, 0);
  for (int v = 0; v < nv; ++v) {
    for (int i = bucketStart[v]; i < bucketStart[v + 1]; ++i) {
      int h = bucket[i];
      if (grouped[h]) continue;
      grouped[h] = 1;
      int hi = std::max(corner[h], headOf(h));
      int count = 1, other = -1;
      for (int j = i + 1; j < bucketStart[v + 1]; ++j) {
        int g = bucket[j];
        if (!grouped[g] && std::max(corner[g], headOf(g)) == hi) {
          grouped[g] = 1;
          other = g;
          ++count;
        }
      }
      if (count == 2) {
        mate[h] = other;
        mate[other] = h;
      } else if (count > 2) {
        ++report.nonManifoldEdges;
        std::printf("Error: This is not a 2-manifold!\n");
      }
    }
  }

  // Orient consistently: flood across paired edges; two faces agree when they
  // run their shared edge in opposite directions.
  // When every pair already runs opposite ways (the usual input) the flood
  // would flip nothing and find no conflict: skip its scattered reads.
  std::vector<char> flip(nf, 0);
  auto tail = [&](int h) { return flip[faceOf(h)] ? headOf(h) : corner[h]; };
  bool consistent = true;
  for (int h = 0; h < nh && consistent; ++h) consistent = mate[h] < 0 || corner[mate[h]] == headOf(h);
  std::vector<char> visited(consistent ? 0 : nf, 0);
  std::vector<int> queue;
  if (!consistent) queue.reserve(nf);
  for (int seed = 0; seed < nf && !consistent; ++seed) {
    if (visited[seed]) continue;
    visited[seed] = 1;
    queue.clear();
    queue.push_back(seed);
    for (size_t q = 0; q < queue.size(); ++q) {
      int f = queue[q];
      for (int h = start[f]; h < start[f + 1]; ++h) {
        int m = mate[h];
        if (m < 0) continue;
        int g = faceOf(m);
        if (!visited[g]) {
          visited[g] = 1;
          flip[g] = tail(m) == tail(h) ? !flip[g] : flip[g];
          queue.push_back(g);
        } else if (tail(m) == tail(h)) {
          mate[h] = mate[m] = -1;
          ++report.orientationConflicts;
        }
      }
    }
  }

  // One edge per pair or unpaired half-edge. The face of the half-edge seen
  // first is the edge's first face and stands at the first vertex (the head).
  // The pairing buffers are done with: their memory serves again (fresh pages cost more
  // than the work on them).
  std::vector<int> edgeOf(std::move(bucket));
  edgeOf.assign(nh, -1);
  std::vector<char> sideOf(std::move(grouped));
  sideOf.assign(nh, 0);
  std::vector<WeEdge>& edges = object.edges;
  edges.clear();
  edges.reserve(nh / 2 + nh / 8 + 1);
  for (int h = 0; h < nh; ++h) {
    if (edgeOf[h] >= 0) continue;
    WeEdge e;
    e.vertex[1] = tail(h);
    e.vertex[0] = e.vertex[1] == corner[h] ? headOf(h) : corner[h];
    e.face[0] = faceOf(h);
    edgeOf[h] = static_cast<int>(edges.size());
    if (mate[h] >= 0) {
      e.face[1] = faceOf(mate[h]);
      edgeOf[mate[h]] = edgeOf[h];
      sideOf[mate[h]] = 1;
    }
    edges.push_back(e);
  }

  // Wings: at the end where a face stands, the next edge of that face. In a
  // flipped face the cycle runs backwards through its half-edges.
  object.faces.assign(nf, WeFace());
  for (int f = 0; f < nf; ++f) {
    const int b = start[f], n = start[f + 1] - b;
    for (int k = 0; k < n; ++k) {
      int h = b + k;
      int next = flip[f] ? b + (k + n - 1) % n : b + (k + 1) % n;
      edges[edgeOf[h]].wing[static_cast<int>(sideOf[h])] = edgeOf[next];
    }
    // The walk starts at the face's first corner: the edge whose head it is.
    object.faces[f].firstEdge = edgeOf[flip[f] ? b : b + n - 1];
  }

  // Boundary loops: the free end of a boundary edge leads on to the boundary
  // edge whose face ends at that vertex.
  std::vector<int> boundaryHead(std::move(bucketStart));
  boundaryHead.assign(nv, -1);
  for (int i = 0; i < static_cast<int>(edges.size()); ++i) {
    if (edges[i].face[1] < 0) boundaryHead[edges[i].vertex[0]] = i;
  }
  for (WeEdge& e : edges) {
    if (e.face[1] < 0) e.wing[1] = boundaryHead[e.vertex[1]];
  }

  object.number = number;
  object.vertices.assign(nv, WeVertex());
  for (int v = 0; v < nv; ++v) object.vertices[v].position = positions[v];
  // The vertex-edge lists fit in the pairing and boundary buffers (a closed
  // surface has exactly two entries per edge, one per half-edge).
  object.vertexEdges = std::move(mate);
  object.vertexEdgeStart = std::move(boundaryHead);
  object.buildVertexEdges();
  object.computeNormals();
  for (int i = 0; i < nv; ++i) {
    object.vertices[i].index = i;
    object.vertices[i].object = number;
  }
  for (int i = 0; i < static_cast<int>(edges.size()); ++i) {
    edges[i].id = i;
    edges[i].object = number;
  }
  for (int i = 0; i < nf; ++i) {
    object.faces[i].id = i;
    object.faces[i].object = number;
  }
  object.vertexCount = nv;
  object.edgeCount = static_cast<int>(edges.size());
  object.faceCount = nf;
  report.faces = nf;
  return report;
}

WeBuildReport addStrips(SbWingedEdgeModel& model, int objectNumber, const SbVec3f* coords, int numCoords,
                        const std::vector<int>& indices, const std::vector<int>& stripLengths) {
  WeBuildReport stripReport;
  std::vector<int> vertexOf(numCoords > 0 ? numCoords : 0, -1);
  std::vector<SbVec3f> positions;
  std::vector<int> faceStart{0}, corners;
  // Upper bounds: only the pages written are ever touched.
  corners.reserve(indices.size() * 3);
  faceStart.reserve(indices.size() + 1);
  positions.reserve(numCoords > 0 ? numCoords : 0);
  auto vertex = [&](int coordIndex) {
    int& v = vertexOf[coordIndex];
    if (v < 0) {
      v = static_cast<int>(positions.size());
      positions.push_back(coords[coordIndex]);
    }
    return v;
  };

  size_t s = 0;
  for (int length : stripLengths) {
    if (length < 0 || s + size_t(length) > indices.size()) break;
    const int* strip = indices.data() + s;
    s += length;
    if (length < 3) continue;
    bool inRange = true;
    for (int i = 0; i < length && inRange; ++i) inRange = strip[i] >= 0 && strip[i] < numCoords;
    if (!inRange) {
      ++stripReport.skippedStrips;
      continue;
    }
    for (int k = 0; k + 2 < length; ++k) {
      int a = strip[k], b = strip[k + 1], c = strip[k + 2];
      if (k % 2) std::swap(a, c);
      if (a == b || b == c || a == c || !finite(coords[a]) || !finite(coords[b]) || !finite(coords[c])) {
        ++stripReport.skippedTriangles;
        continue;
      }
      corners.push_back(vertex(a));
      corners.push_back(vertex(b));
      corners.push_back(vertex(c));
      faceStart.push_back(static_cast<int>(corners.size()));
    }
  }

  model.objects.emplace_back();
  WeBuildReport report =
      buildWingedEdgeObject(model.objects.back(), objectNumber, std::move(positions), faceStart, corners);
  report.skippedStrips = stripReport.skippedStrips;
  report.skippedTriangles = stripReport.skippedTriangles;
  return report;
}
