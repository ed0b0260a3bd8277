#include "lines/SbSilhouettePerspective.h"

#include <algorithm>
#include <cmath>

#include "core/Finite.h"
#include "core/ParallelHalves.h"

void SbSilhouettePerspective::clear() {
  items.clear();
  loose.clear();
  nodes.clear();
  faceH.clear();
}

void SbSilhouettePerspective::build(const SbWingedEdgeModel& model, float maximalError) {
  clear();
  leafSize = std::isfinite(maximalError)
                 ? std::max(1, static_cast<int>(std::lround(2.0 * std::min(maximalError, 512.0f))))
                 : 8;
  SbSilhouetteEdges::faceOffsets(model, faceH);
  SbVec3f lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
  size_t edgeCount = 0;
  for (const WeObject& object : model.objects) edgeCount += object.edges.size();
  items.reserve(edgeCount);
  for (size_t o = 0; o < model.objects.size(); ++o) {
    const WeObject& object = model.objects[o];
    const int nv = static_cast<int>(object.vertices.size());
    for (size_t e = 0; e < object.edges.size(); ++e) {
      const WeEdge& edge = object.edges[e];
      if (!SbSilhouetteEdges::hasTwoValidFaces(object, edge)) continue;
      Item it;
      it.ref = {static_cast<int>(o), static_cast<int>(e)};
      it.n1 = object.faces[edge.face[0]].normal;
      it.n2 = object.faces[edge.face[1]].normal;
      it.h1 = faceH[o][edge.face[0]];
      it.h2 = faceH[o][edge.face[1]];
      // A point of each face plane: the foot of the plane on the normal line
      // through the edge's midpoint stands in for the centroid when the edge
      // ends are usable; the bounds only need points on the planes near the edge.
      SbVec3f mid(0, 0, 0);
      if (edge.vertex[0] >= 0 && edge.vertex[0] < nv && edge.vertex[1] >= 0 && edge.vertex[1] < nv)
        mid = (object.vertices[edge.vertex[0]].position + object.vertices[edge.vertex[1]].position) * 0.5f;
      it.c1 = mid - it.n1 * (it.n1.dot(mid) - it.h1);
      it.c2 = mid - it.n2 * (it.n2.dot(mid) - it.h2);
      if (!finite(it.c1) || !finite(it.c2)) {
        loose.push_back(it);  // no usable bounds: tested on every query
        continue;
      }
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], std::min(it.c1[k], it.c2[k]));
        hi[k] = std::max(hi[k], std::max(it.c1[k], it.c2[k]));
      }
      items.push_back(it);
    }
  }
  if (items.empty()) return;
  modelScale = std::max((hi - lo).length(), 1e-12f);
  nodes.reserve(2 * items.size() / std::max(1, leafSize) + 2);
  buildNode(nodes, 0, static_cast<int>(items.size()), true);
}

int SbSilhouettePerspective::buildNode(std::vector<Node>& out, int first, int count, bool split) {
  const int index = static_cast<int>(out.size());
  out.push_back(Node());
  // Bounds: sphere around the box of the points, cone around the mean normal.
  SbVec3f lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
  SbVec3f nlo(2, 2, 2), nhi(-2, -2, -2);
  SbVec3f sum(0, 0, 0);
  for (int i = first; i < first + count; ++i) {
    const Item& it = items[i];
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], std::min(it.c1[k], it.c2[k]));
      hi[k] = std::max(hi[k], std::max(it.c1[k], it.c2[k]));
      nlo[k] = std::min(nlo[k], std::min(it.n1[k], it.n2[k]));
      nhi[k] = std::max(nhi[k], std::max(it.n1[k], it.n2[k]));
    }
    sum += it.n1 + it.n2;
  }
  Node node;
  node.centre = (lo + hi) * 0.5f;
  SbVec3f axis = sum;
  const float axisLen = axis.length();
  double cosMin = 1.0;
  if (axisLen > 1e-6f) axis /= axisLen;
  // The largest squared distance, rooted once: the same radius as the
  // largest of the roots, as the root rounds monotonically.
  auto squared = [&](const SbVec3f& p) {
    const float x = p[0] - node.centre[0], y = p[1] - node.centre[1], z = p[2] - node.centre[2];
    return x * x + y * y + z * z;
  };
  float r2 = 0.0f;
  for (int i = first; i < first + count; ++i) {
    const Item& it = items[i];
    r2 = std::max(r2, std::max(squared(it.c1), squared(it.c2)));
    if (axisLen > 1e-6f) cosMin = std::min(cosMin, double(std::min(axis.dot(it.n1), axis.dot(it.n2))));
  }
  const float r = static_cast<float>(std::sqrt(double(r2)));
  node.radius = r * (1.0f + 1e-5f) + 1e-7f * modelScale;
  node.axis = axis;
  node.halfAngle =
      axisLen > 1e-6f ? float(std::acos(std::max(-1.0, std::min(1.0, cosMin))) + 1e-4) : float(M_PI) + 1.0f;
  node.first = first;
  node.count = count;
  node.left = node.right = -1;
  if (count > leafSize) {
    // Split at the median of the widest of six coordinates: position (scaled
    // by the model's size) and normal.
    float best = -1.0f;
    int dim = 0;
    for (int k = 0; k < 3; ++k) {
      const float ext = (hi[k] - lo[k]) / modelScale * 2.0f;
      if (ext > best) best = ext, dim = k;
    }
    for (int k = 0; k < 3; ++k) {
      const float ext = nhi[k] - nlo[k];
      if (ext > best) best = ext, dim = 3 + k;
    }
    auto key = [dim](const Item& it) { return dim < 3 ? it.c1[dim] + it.c2[dim] : it.n1[dim - 3] + it.n2[dim - 3]; };
    const int half = count / 2;
    std::nth_element(items.begin() + first, items.begin() + first + half, items.begin() + first + count,
                     [&](const Item& a, const Item& b) { return key(a) < key(b); });
    out[index] = node;
    if (split && count >= kParallelItems) {
      // The right subtree goes to a list of its own, appended after the left
      // one: the same nodes at the same places as one depth-first pass.
      std::vector<Node> right;
      parallelPair(
          true, [&] { buildNode(out, first, half, false); },
          [&] { buildNode(right, first + half, count - half, false); });
      const int offset = static_cast<int>(out.size());
      for (Node& n : right)
        if (n.left >= 0) n.left += offset, n.right += offset;
      out.insert(out.end(), right.begin(), right.end());
      out[index].left = index + 1;
      out[index].right = offset;
      return index;
    }
    const int left = buildNode(out, first, half, false);
    const int right = buildNode(out, first + half, count - half, false);
    out[index].left = left;
    out[index].right = right;
    return index;
  }
  out[index] = node;
  return index;
}

void SbSilhouettePerspective::query(const SbWingedEdgeModel& model, const SbVec3f& eye, int shapeKey,
                                    std::vector<SbEdgeRef>& out) const {
  out.clear();
  lastCandidates = 0;
  auto test = [&](const Item& it) {
    ++lastCandidates;
    if (it.ref.object >= static_cast<int>(model.objects.size())) return;
    if (!SbSilhouetteEdges::selected(model.objects[it.ref.object], shapeKey)) return;
    if (SbSilhouetteEdges::facesEye(it.n1, it.h1, eye) != SbSilhouetteEdges::facesEye(it.n2, it.h2, eye))
      out.push_back(it.ref);
  };
  for (const Item& it : loose) test(it);
  const double eyeLen = eye.length();
  const bool finiteEye = finite(eye);
  std::vector<int> stack;
  if (!nodes.empty()) stack.push_back(0);
  if (!finiteEye) stack.clear(), lastCandidates = 0, out.clear();
  while (!stack.empty()) {
    const Node& node = nodes[stack.back()];
    stack.pop_back();
    const SbVec3f wf = eye - node.centre;
    const double L = wf.length();
    if (L > node.radius && node.halfAngle < M_PI) {
      // Over the cone and the sphere, n . (eye - c) lies in
      // [L cos(min(pi, phi + theta)) - r, L cos(max(0, phi - theta)) + r].
      const double phi = std::acos(std::max(-1.0, std::min(1.0, double(node.axis.dot(wf)) / L)));
      const double lowest = L * std::cos(std::min(M_PI, phi + node.halfAngle)) - node.radius;
      const double highest = L * std::cos(std::max(0.0, phi - node.halfAngle)) + node.radius;
      const double tol = 1e-5 * (eyeLen + node.centre.length() + node.radius) + 1e-30;
      if (lowest > tol || highest < -tol) continue;  // all faces on one side
    }
    if (node.left < 0) {
      for (int i = node.first; i < node.first + node.count; ++i) test(items[i]);
    } else {
      stack.push_back(node.left);
      stack.push_back(node.right);
    }
  }
  std::sort(out.begin(), out.end());
}
