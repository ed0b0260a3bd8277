#include "lines/SbSilhouetteEdges.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/SbSharpEdgeTest.h"

bool SbSilhouetteEdges::validNormal(const SbVec3f& n) {
  const float l2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  return std::isfinite(l2) && l2 > 0.25f;  // unit normals; zero marks a degenerate face
}

bool SbSilhouetteEdges::hasTwoValidFaces(const WeObject& object, const WeEdge& edge) {
  const int nf = static_cast<int>(object.faces.size());
  const int f0 = edge.face[0], f1 = edge.face[1];
  if (f0 < 0 || f1 < 0 || f0 >= nf || f1 >= nf) return false;
  return validNormal(object.faces[f0].normal) && validNormal(object.faces[f1].normal);
}

void SbSilhouetteEdges::faceOffsets(const SbWingedEdgeModel& model, std::vector<std::vector<float>>& out) {
  out.resize(model.objects.size());
  for (size_t o = 0; o < model.objects.size(); ++o) {
    const WeObject& object = model.objects[o];
    std::vector<float>& h = out[o];
    h.assign(object.faces.size(), 0.0f);
    const int nv = static_cast<int>(object.vertices.size());
    const int ne = static_cast<int>(object.edges.size());
    for (size_t f = 0; f < object.faces.size(); ++f) {
      const WeFace& face = object.faces[f];
      if (!validNormal(face.normal) || face.firstEdge < 0 || face.firstEdge >= ne) continue;
      double c[3] = {0, 0, 0};
      int count = 0;
      bool bad = false;
      object.walkFace(static_cast<int>(f), [&](int v, int) {
        if (v < 0 || v >= nv) {
          bad = true;
          return;
        }
        const SbVec3f& p = object.vertices[v].position;
        c[0] += p[0];
        c[1] += p[1];
        c[2] += p[2];
        ++count;
      });
      if (bad || count == 0) continue;
      const SbVec3f centroid(float(c[0] / count), float(c[1] / count), float(c[2] / count));
      h[f] = face.normal.dot(centroid);
      if (!std::isfinite(h[f])) h[f] = 0.0f;
    }
  }
}

bool SbSilhouetteEdges::isSilhouette(const SbWingedEdgeModel& model, const SbEdgeRef& ref, const SbSilhouetteView& view,
                                     const std::vector<std::vector<float>>& offsets) {
  const WeObject& object = model.objects[ref.object];
  const WeEdge& edge = object.edges[ref.edge];
  if (!hasTwoValidFaces(object, edge)) return false;
  const SbVec3f& n0 = object.faces[edge.face[0]].normal;
  const SbVec3f& n1 = object.faces[edge.face[1]].normal;
  if (!view.perspective) return facesViewer(n0, view.toViewer) != facesViewer(n1, view.toViewer);
  const std::vector<float>& h = offsets[ref.object];
  return facesEye(n0, h[edge.face[0]], view.eye) != facesEye(n1, h[edge.face[1]], view.eye);
}

void SbSilhouetteEdges::bruteForce(const SbWingedEdgeModel& model, const SbSilhouetteView& view,
                                   const std::vector<std::vector<float>>& offsets, int shapeKey,
                                   std::vector<SbEdgeRef>& out) {
  out.clear();
  if (view.perspective && offsets.size() != model.objects.size()) return;
  for (size_t o = 0; o < model.objects.size(); ++o) {
    const WeObject& object = model.objects[o];
    if (!selected(object, shapeKey)) continue;
    if (view.perspective && offsets[o].size() != object.faces.size()) continue;
    for (size_t e = 0; e < object.edges.size(); ++e) {
      SbEdgeRef ref{static_cast<int>(o), static_cast<int>(e)};
      if (isSilhouette(model, ref, view, offsets)) out.push_back(ref);
    }
  }
}

void SbSilhouetteEdges::sharpEdges(const SbWingedEdgeModel& model, float angleDegrees, int shapeKey,
                                   std::vector<SbEdgeRef>& out) {
  out.clear();
  const SbSharpEdgeTest test(angleDegrees);
  for (size_t o = 0; o < model.objects.size(); ++o) {
    const WeObject& object = model.objects[o];
    if (!selected(object, shapeKey)) continue;
    const int nf = static_cast<int>(object.faces.size());
    for (size_t e = 0; e < object.edges.size(); ++e) {
      const WeEdge& edge = object.edges[e];
      const bool has0 = edge.face[0] >= 0 && edge.face[0] < nf;
      const bool has1 = edge.face[1] >= 0 && edge.face[1] < nf;
      bool sharp = false;
      if (has0 != has1) {
        sharp = true;  // boundary edge
      } else if (has0 && hasTwoValidFaces(object, edge)) {
        sharp = test.sharp(object.faces[edge.face[0]].normal, object.faces[edge.face[1]].normal);
      }
      if (sharp) out.push_back({static_cast<int>(o), static_cast<int>(e)});
    }
  }
}

namespace {
inline uint64_t mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
  return h;
}
inline uint64_t bitsOf(const SbVec3f& v) {
  uint32_t a, b, c;
  std::memcpy(&a, &v[0], 4);
  std::memcpy(&b, &v[1], 4);
  std::memcpy(&c, &v[2], 4);
  return (uint64_t(a) << 32) ^ (uint64_t(b) << 16) ^ c;
}
}  // namespace

uint64_t SbSilhouetteEdges::fingerprint(const SbWingedEdgeModel& model) {
  uint64_t h = mix(0, model.objects.size());
  const size_t kSamples = 64;
  for (const WeObject& o : model.objects) {
    h = mix(h, uint64_t(o.number));
    h = mix(h, o.vertices.size());
    h = mix(h, o.edges.size());
    h = mix(h, o.faces.size());
    if (!o.vertices.empty()) {
      const size_t step = std::max<size_t>(1, o.vertices.size() / kSamples);
      for (size_t i = 0; i < o.vertices.size(); i += step) h = mix(h, bitsOf(o.vertices[i].position));
      h = mix(h, bitsOf(o.vertices.back().position));
    }
    if (!o.faces.empty()) {
      const size_t step = std::max<size_t>(1, o.faces.size() / kSamples);
      for (size_t i = 0; i < o.faces.size(); i += step) h = mix(h, bitsOf(o.faces[i].normal));
    }
    if (!o.edges.empty()) {
      const size_t step = std::max<size_t>(1, o.edges.size() / kSamples);
      for (size_t i = 0; i < o.edges.size(); i += step) {
        const WeEdge& e = o.edges[i];
        h = mix(h, (uint64_t(uint32_t(e.vertex[0])) << 32) | uint32_t(e.vertex[1]));
        h = mix(h, (uint64_t(uint32_t(e.face[0])) << 32) | uint32_t(e.face[1]));
      }
    }
  }
  return h;
}
