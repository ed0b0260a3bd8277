#include "io/SbModelParts.h"

#include <Inventor/VRMLnodes/SoVRMLBox.h>
#include <Inventor/VRMLnodes/SoVRMLCone.h>
#include <Inventor/VRMLnodes/SoVRMLCylinder.h>
#include <Inventor/VRMLnodes/SoVRMLSphere.h>
#include <Inventor/nodes/SoComplexity.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCoordinate4.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoCylinder.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLinearProfile.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoNurbsProfile.h>
#include <Inventor/nodes/SoNurbsSurface.h>
#include <Inventor/nodes/SoProfileCoordinate2.h>
#include <Inventor/nodes/SoProfileCoordinate3.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSphere.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/Finite.h"

namespace {

// Everything is written in units of four bytes, so the arrays of an answer
// mapped at a page boundary are aligned for their types.
class Writer {
 public:
  explicit Writer(int fd) : fd(fd) { buffer.reserve(kBuffer); }

  void u32(uint32_t v) { small(&v, sizeof v); }
  void f32(float v) { small(&v, sizeof v); }
  void floats(const float* v, size_t n) { small(v, n * sizeof(float)); }
  // A large array goes straight to the file, without a copy.
  void array(const void* data, size_t size) {
    if (size < kBuffer / 4) {
      small(data, size);
      return;
    }
    flush();
    put(data, size);
  }
  bool finish() {
    flush();
    return ok;
  }

 private:
  static constexpr size_t kBuffer = 1 << 16;

  void small(const void* data, size_t size) {
    if (size == 0) return;
    if (buffer.size() + size > kBuffer) flush();
    buffer.append(static_cast<const char*>(data), size);
  }
  void flush() {
    put(buffer.data(), buffer.size());
    buffer.clear();
  }
  void put(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (ok && size > 0) {
      const ssize_t n = ::write(fd, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        break;
      }
      p += n;
      size -= static_cast<size_t>(n);
    }
  }

  int fd;
  std::string buffer;
  bool ok = true;
};

// Bounds-checked reader of an answer; arrays come back as views.
class Reader {
 public:
  Reader(const char* bytes, size_t size) : at(bytes), end(bytes + size) {}

  bool u32(uint32_t& v) { return copy(&v, sizeof v); }
  bool f32(float& v) { return copy(&v, sizeof v) && std::isfinite(v); }
  bool floats(float* v, size_t n) {
    if (!copy(v, n * sizeof(float))) return false;
    for (size_t i = 0; i < n; ++i)
      if (!std::isfinite(v[i])) return false;
    return true;
  }
  template <class T>
  bool array(SbModelParts::Array<T>& out) {
    uint32_t n = 0;
    if (!u32(n) || n > static_cast<size_t>(end - at) / sizeof(T)) return false;
    out.data = reinterpret_cast<const T*>(at);
    out.size = n;
    at += n * sizeof(T);
    return true;
  }
  bool done() const { return at == end; }

 private:
  bool copy(void* out, size_t size) {
    if (size > static_cast<size_t>(end - at)) return false;
    std::memcpy(out, at, size);
    at += size;
    return true;
  }

  const char* at;
  const char* end;
};

template <class Field, class T>
void fill(Field& field, const SbModelParts::Array<T>& values) {
  field.setNum(static_cast<int>(values.size));
  if (values.size == 0) return;
  std::memcpy(field.startEditing(), values.data, values.size * sizeof(T));
  field.finishEditing();
}

// `values` into a field of vectors of `dimension` floats each.
template <class Field>
void fillVectors(Field& field, const float* values, uint32_t count, uint32_t dimension) {
  field.setNum(static_cast<int>(count));
  if (count == 0) return;
  std::memcpy(static_cast<void*>(field.startEditing()), values, size_t(count) * dimension * sizeof(float));
  field.finishEditing();
}

void fillFloats(SoMFFloat& field, const SbModelParts::Array<float>& values) {
  field.setNum(static_cast<int>(values.size));
  if (values.size > 0) field.setValues(0, static_cast<int>(values.size), values.data);
}

// True when every `dimension`-th value from the last of the first vector on
// (the weights) is positive.
bool positiveWeights(const SbModelParts::Array<float>& a, uint32_t dimension) {
  for (uint32_t i = dimension - 1; i < a.size; i += dimension)
    if (!(a.data[i] > 0.0f)) return false;
  return true;
}

// Why a knot vector cannot go with `points` control points, or nullptr. Its
// length less the points is the order, from 2 to the most GLU draws; GLU
// refuses (and draws nothing of) decreasing knots, a knot more often than
// the order and an empty range between the order-th knot and the one after
// the last point.
const char* knotProblem(const SbModelParts::Array<float>& knots, uint32_t points) {
  if (knots.size < points) return "fewer knots than control points";
  const uint32_t order = knots.size - points;
  if (order < 2 || order > SbModelParts::kMaxNurbsOrder) return "an order out of range";
  if (points < order) return "fewer control points than the order";
  if (!finite(knots.data, knots.size)) return "a knot that is not a finite number";
  uint32_t run = 1;
  for (uint32_t i = 1; i < knots.size; ++i) {
    if (knots.data[i] < knots.data[i - 1]) return "decreasing knots";
    run = knots.data[i] == knots.data[i - 1] ? run + 1 : 1;
    if (run > order) return "a knot repeated more often than the order";
  }
  if (!(knots.data[order - 1] < knots.data[points])) return "an empty knot range";
  return nullptr;
}

// The knot spans of positive length within the range a NURBS curve of
// `points` control points is drawn over.
uint32_t knotSpans(const SbModelParts::Array<float>& knots, uint32_t points) {
  const uint32_t order = knots.size - points;
  uint32_t spans = 0;
  for (uint32_t i = order - 1; i < points; ++i) spans += knots.data[i + 1] > knots.data[i];
  return spans;
}

// Samples GLU takes, as Coin asks for them, across one knot span of a NURBS
// of `order` at `complexity` in one direction. Measured on single spans of
// orders 2 to 24, 0.001 to 100 long, objects from 0.001 to 1e6 across, at
// every complexity level: the count grows with the order (by `rate` per
// order above 3) and with the complexity, peaks at spans about 0.1 to 1
// long and does not depend on the object's size. Surfaces of many uneven
// spans came within 1.16 times the product of these counts (420 random
// surfaces of orders 2 to 10).
double spanSamples(uint32_t order, float complexity) {
  static const double rate[] = {2, 3, 3, 4, 5, 5, 7, 10, 15, 21, 30};
  const int level = std::min(10, std::max(0, static_cast<int>(std::ceil(complexity * 10.0f - 1e-3f))));
  return rate[level] * std::max(1.0, double(order) - 3.0) + 1.0;
}

SoNode* primitiveNode(const SbModelParts::Part& p) {
  switch (p.primitive) {
    case SbModelParts::CUBE: {
      auto* cube = new SoCube;
      cube->width = p.size[0];
      cube->height = p.size[1];
      cube->depth = p.size[2];
      return cube;
    }
    case SbModelParts::SPHERE: {
      auto* sphere = new SoSphere;
      sphere->radius = p.size[0];
      return sphere;
    }
    case SbModelParts::CONE: {
      auto* cone = new SoCone;
      cone->bottomRadius = p.size[0];
      cone->height = p.size[1];
      cone->parts = static_cast<int>(p.primitiveParts);
      return cone;
    }
    case SbModelParts::CYLINDER: {
      auto* cylinder = new SoCylinder;
      cylinder->radius = p.size[0];
      cylinder->height = p.size[1];
      cylinder->parts = static_cast<int>(p.primitiveParts);
      return cylinder;
    }
    case SbModelParts::VRML_BOX: {
      auto* box = new SoVRMLBox;
      box->size.setValue(p.size[0], p.size[1], p.size[2]);
      return box;
    }
    case SbModelParts::VRML_SPHERE: {
      auto* sphere = new SoVRMLSphere;
      sphere->radius = p.size[0];
      return sphere;
    }
    case SbModelParts::VRML_CONE: {
      auto* cone = new SoVRMLCone;
      cone->bottomRadius = p.size[0];
      cone->height = p.size[1];
      cone->side = (p.primitiveParts & 1) != 0;
      cone->bottom = (p.primitiveParts & 2) != 0;
      return cone;
    }
    default: {
      auto* cylinder = new SoVRMLCylinder;
      cylinder->radius = p.size[0];
      cylinder->height = p.size[1];
      cylinder->side = (p.primitiveParts & 1) != 0;
      cylinder->top = (p.primitiveParts & 2) != 0;
      cylinder->bottom = (p.primitiveParts & 4) != 0;
      return cylinder;
    }
  }
}

}  // namespace

uint32_t SbModelParts::addBlock(std::vector<SbVec3f> points) {
  ownedPoints.push_back(std::move(points));
  return addBlock(ownedPoints.back().data(), static_cast<uint32_t>(ownedPoints.back().size()));
}

uint32_t SbModelParts::addBlock(const SbVec3f* points, uint32_t count) {
  blocks.push_back(Array<SbVec3f>{points, count});
  return static_cast<uint32_t>(blocks.size() - 1);
}

SbModelParts::Array<int32_t> SbModelParts::keep(std::vector<int32_t> indices) {
  ownedIndices.push_back(std::move(indices));
  return Array<int32_t>{ownedIndices.back().data(), static_cast<uint32_t>(ownedIndices.back().size())};
}

SbModelParts::Array<float> SbModelParts::keepFloats(std::vector<float> values) {
  ownedFloats.push_back(std::move(values));
  return Array<float>{ownedFloats.back().data(), static_cast<uint32_t>(ownedFloats.back().size())};
}

const char* SbModelParts::nurbsProblem(const Part& p, const std::vector<Profile>& profiles) {
  if (p.dimension != 3 && p.dimension != 4) return "control points of an unknown dimension";
  if (uint64_t(p.numU) * p.numV * p.dimension != p.controlPoints.size)
    return "control points other than the counts call for";
  if (!finite(p.controlPoints.data, p.controlPoints.size)) return "a control point that is not finite";
  if (p.dimension == 4 && !positiveWeights(p.controlPoints, 4)) return "a weight that is not positive";
  if (const char* why = knotProblem(p.uKnots, p.numU)) return why;
  if (const char* why = knotProblem(p.vKnots, p.numV)) return why;
  if (!(p.complexity >= 0.0f && p.complexity <= 1.0f) || p.complexityType > SoComplexity::BOUNDING_BOX)
    return "a complexity out of range";
  if (uint64_t(p.firstProfile) + p.profileCount > profiles.size()) return "profiles that do not exist";
  if (p.profileDimension != 2 && p.profileDimension != 3) return "profile coordinates of an unknown dimension";
  uint64_t points = 0;
  for (uint32_t i = 0; i < p.profileCount; ++i) {
    const Profile& profile = profiles[p.firstProfile + i];
    if (profile.linkage > SoProfile::ADD_TO_CURRENT || profile.curve >= CURVES) return "a profile of an unknown kind";
    if (profile.curve == LINEAR_PROFILE ? profile.points < 2 || profile.knots.size != 0
                                        : knotProblem(profile.knots, profile.points) != nullptr)
      return "a trimming curve out of range";
    points += profile.points;
  }
  if (points * p.profileDimension != p.profilePoints.size)
    return "profile coordinates other than the profiles call for";
  if (!finite(p.profilePoints.data, p.profilePoints.size)) return "a profile coordinate that is not finite";
  if (p.profileDimension == 3 && !positiveWeights(p.profilePoints, 3)) return "a profile weight that is not positive";
  // GLU's trimming code expects the curves within the surface's parameter
  // range (give or take a hundredth of it); far outside it misbehaves.
  if (p.profileCount > 0) {
    const uint32_t uOrder = p.uKnots.size - p.numU, vOrder = p.vKnots.size - p.numV;
    const float u0 = p.uKnots.data[uOrder - 1], u1 = p.uKnots.data[p.numU];
    const float v0 = p.vKnots.data[vOrder - 1], v1 = p.vKnots.data[p.numV];
    const float du = 0.01f * (u1 - u0), dv = 0.01f * (v1 - v0);
    for (uint32_t i = 0; i < p.profilePoints.size; i += p.profileDimension) {
      const float w = p.profileDimension == 3 ? p.profilePoints.data[i + 2] : 1.0f;
      const float u = p.profilePoints.data[i] / w, v = p.profilePoints.data[i + 1] / w;
      if (!(u >= u0 - du && u <= u1 + du && v >= v0 - dv && v <= v1 + dv)) return "a trimming curve out of range";
    }
  }
  return nullptr;
}

double SbModelParts::nurbsTriangles(const Part& p, float complexity) const {
  const uint32_t orderU = p.uKnots.size - p.numU, orderV = p.vKnots.size - p.numV;
  const double u = knotSpans(p.uKnots, p.numU) * spanSamples(orderU, complexity);
  const double v = knotSpans(p.vKnots, p.numV) * spanSamples(orderV, complexity);
  // Two triangles a sample cell, and room for surfaces sampled more finely
  // than their spans alone say.
  double triangles = 1.5 * 2.0 * u * v;
  // Trimming curves cut the sample cells they cross: a few triangles more
  // for each of their own samples.
  for (uint32_t i = 0; i < p.profileCount; ++i) {
    const Profile& profile = profiles[p.firstProfile + i];
    const double samples =
        profile.curve == LINEAR_PROFILE
            ? profile.points
            : knotSpans(profile.knots, profile.points) * spanSamples(profile.knots.size - profile.points, complexity);
    triangles += 4.0 * samples;
  }
  return triangles;
}

void SbModelParts::limitNurbs(double budget) {
  nurbsBudget = budget;
  auto total = [&](float ceiling) {
    double sum = 0.0;
    for (const Part& p : parts)
      if (p.kind == NURBS) sum += nurbsTriangles(p, std::min(p.complexity, ceiling));
    return sum;
  };
  if (total(1.0f) <= budget) return;
  int level = 10;
  while (level > 0 && total(level / 10.0f) > budget) --level;
  loweredComplexity = level / 10.0f;
  for (Part& p : parts)
    if (p.kind == NURBS && p.complexity > loweredComplexity) {
      p.complexity = loweredComplexity;
      ++loweredNurbs;
    }
  if (total(loweredComplexity) <= budget) return;
  // Even the coarsest tessellation is too large: the surfaces that fit, in
  // order, stay.
  double sum = 0.0;
  std::vector<Part> kept;
  kept.reserve(parts.size());
  for (Part& p : parts) {
    if (p.kind == NURBS) {
      sum += nurbsTriangles(p, p.complexity);
      if (sum > budget) {
        ++droppedNurbs;
        continue;
      }
    }
    kept.push_back(p);
  }
  parts.swap(kept);
}

bool SbModelParts::write(int fd) const {
  Writer w(fd);
  w.u32(skippedFaces);
  w.u32(skippedStrips);
  w.u32(skippedShapes);
  w.u32(skippedNurbs);
  w.u32(static_cast<uint32_t>(blocks.size()));
  for (const Array<SbVec3f>& b : blocks) {
    w.u32(b.size);
    w.array(b.data, b.size * sizeof(SbVec3f));
  }
  w.u32(static_cast<uint32_t>(parts.size()));
  for (const Part& p : parts) {
    w.u32(p.kind);
    w.u32(p.placed ? 1 : 0);
    if (p.placed) w.floats(&p.matrix.getValue()[0][0], 16);
    if (p.kind == PRIMITIVE) {
      w.u32(p.primitive);
      w.u32(p.primitiveParts);
      w.floats(p.size, 3);
      w.f32(p.complexity);
      w.u32(p.complexityType);
    } else if (p.kind == NURBS) {
      w.u32(p.numU);
      w.u32(p.numV);
      w.u32(p.dimension);
      w.f32(p.complexity);
      w.u32(p.complexityType);
      for (const Array<float>* a : {&p.controlPoints, &p.uKnots, &p.vKnots}) {
        w.u32(a->size);
        w.array(a->data, a->size * sizeof(float));
      }
      w.u32(p.profileDimension);
      w.u32(p.profilePoints.size);
      w.array(p.profilePoints.data, p.profilePoints.size * sizeof(float));
      w.u32(p.profileCount);
      for (uint32_t i = 0; i < p.profileCount; ++i) {
        const Profile& profile = profiles[p.firstProfile + i];
        w.u32(profile.curve);
        w.u32(profile.linkage);
        w.u32(profile.points);
        w.u32(profile.knots.size);
        w.array(profile.knots.data, profile.knots.size * sizeof(float));
      }
    } else {
      w.u32(p.block);
      w.u32(p.ordering);
      w.u32(p.shapeType);
      w.u32(p.faceType);
      w.u32(p.coordIndex.size);
      w.array(p.coordIndex.data, p.coordIndex.size * sizeof(int32_t));
    }
  }
  return w.finish();
}

bool SbModelParts::read(const char* bytes, size_t size) {
  if (reinterpret_cast<uintptr_t>(bytes) % 4 != 0) return false;
  Reader in(bytes, size);
  uint32_t n = 0;
  if (!in.u32(skippedFaces) || !in.u32(skippedStrips) || !in.u32(skippedShapes) || !in.u32(skippedNurbs) ||
      !in.u32(n) || n > size / 4)
    return false;
  blocks.resize(n);
  for (Array<SbVec3f>& b : blocks)
    if (!in.array(b)) return false;
  if (!in.u32(n) || n > size / 8) return false;
  parts.resize(n);
  for (Part& p : parts) {
    uint32_t placed = 0;
    if (!in.u32(p.kind) || p.kind >= KINDS || !in.u32(placed) || placed > 1) return false;
    p.placed = placed == 1;
    if (p.placed) {
      SbMat matrix;
      if (!in.floats(&matrix[0][0], 16)) return false;
      p.matrix.setValue(matrix);
    }
    if (p.kind == PRIMITIVE) {
      if (!in.u32(p.primitive) || p.primitive >= PRIMITIVES || !in.u32(p.primitiveParts) || p.primitiveParts > 7 ||
          !in.floats(p.size, 3) || !in.f32(p.complexity) || !in.u32(p.complexityType) ||
          p.complexityType > SoComplexity::BOUNDING_BOX)
        return false;
      if (!(p.complexity >= 0.0f)) p.complexity = 0.0f;  // NaN too
      if (p.complexity > 1.0f) p.complexity = 1.0f;
      continue;
    }
    if (p.kind == NURBS) {
      uint32_t count = 0;
      if (!in.u32(p.numU) || !in.u32(p.numV) || !in.u32(p.dimension) || !in.f32(p.complexity) ||
          !in.u32(p.complexityType) || !in.array(p.controlPoints) || !in.array(p.uKnots) || !in.array(p.vKnots) ||
          !in.u32(p.profileDimension) || !in.array(p.profilePoints) || !in.u32(count) ||
          count > size / 16)  // a profile takes four words at least
        return false;
      p.firstProfile = static_cast<uint32_t>(profiles.size());
      p.profileCount = count;
      for (uint32_t i = 0; i < count; ++i) {
        Profile profile;
        if (!in.u32(profile.curve) || !in.u32(profile.linkage) || !in.u32(profile.points) || !in.array(profile.knots))
          return false;
        profiles.push_back(profile);
      }
      if (nurbsProblem(p, profiles)) return false;
      continue;
    }
    if (!in.u32(p.block) || p.block >= blocks.size() || !in.u32(p.ordering) ||
        p.ordering > SoShapeHints::COUNTERCLOCKWISE || !in.u32(p.shapeType) || p.shapeType > SoShapeHints::SOLID ||
        !in.u32(p.faceType) || p.faceType > SoShapeHints::CONVEX || !in.array(p.coordIndex))
      return false;
    const int32_t points = static_cast<int32_t>(blocks[p.block].size);
    for (uint32_t i = 0; i < p.coordIndex.size; ++i) {
      const int32_t c = p.coordIndex.data[i];
      if (c < -1 || c >= points) return false;
    }
  }
  return in.done();
}

void SbModelParts::addNurbs(const Part& p, SoSeparator* separator) const {
  if (p.dimension == 3) {
    auto* coordinates = new SoCoordinate3;
    fillVectors(coordinates->point, p.controlPoints.data, p.numU * p.numV, 3);
    separator->addChild(coordinates);
  } else {
    auto* coordinates = new SoCoordinate4;
    fillVectors(coordinates->point, p.controlPoints.data, p.numU * p.numV, 4);
    separator->addChild(coordinates);
  }
  if (p.profileCount > 0) {
    const uint32_t points = p.profilePoints.size / p.profileDimension;
    if (p.profileDimension == 2) {
      auto* coordinates = new SoProfileCoordinate2;
      fillVectors(coordinates->point, p.profilePoints.data, points, 2);
      separator->addChild(coordinates);
    } else {
      auto* coordinates = new SoProfileCoordinate3;
      fillVectors(coordinates->point, p.profilePoints.data, points, 3);
      separator->addChild(coordinates);
    }
    int32_t start = 0;
    for (uint32_t i = 0; i < p.profileCount; ++i) {
      const Profile& profile = profiles[p.firstProfile + i];
      SoProfile* node = nullptr;
      if (profile.curve == NURBS_PROFILE) {
        auto* curve = new SoNurbsProfile;
        fillFloats(curve->knotVector, profile.knots);
        node = curve;
      } else {
        node = new SoLinearProfile;
      }
      node->linkage = static_cast<int>(profile.linkage);
      node->index.setNum(static_cast<int>(profile.points));
      int32_t* index = node->index.startEditing();
      for (uint32_t k = 0; k < profile.points; ++k) index[k] = start + static_cast<int32_t>(k);
      node->index.finishEditing();
      start += static_cast<int32_t>(profile.points);
      separator->addChild(node);
    }
  }
  auto* surface = new SoNurbsSurface;
  surface->numUControlPoints = static_cast<int>(p.numU);
  surface->numVControlPoints = static_cast<int>(p.numV);
  fillFloats(surface->uKnotVector, p.uKnots);
  fillFloats(surface->vKnotVector, p.vKnots);
  separator->addChild(surface);
}

SoSeparator* SbModelParts::buildScene() const {
  auto* root = new SoSeparator;
  std::vector<SoCoordinate3*> coordinates(blocks.size(), nullptr);
  auto coordinateNode = [&](uint32_t b) {
    if (!coordinates[b]) {
      coordinates[b] = new SoCoordinate3;
      fill(coordinates[b]->point, blocks[b]);
    }
    return coordinates[b];
  };
  for (const Part& p : parts) {
    auto* separator = new SoSeparator;
    if (p.placed) {
      auto* transform = new SoMatrixTransform;
      transform->matrix = p.matrix;
      separator->addChild(transform);
    }
    if (p.kind == PRIMITIVE || p.kind == NURBS) {
      if (p.complexity != 0.5f || p.complexityType != SoComplexity::OBJECT_SPACE) {
        auto* complexity = new SoComplexity;
        complexity->value = p.complexity;
        complexity->type = static_cast<int>(p.complexityType);
        separator->addChild(complexity);
      }
    }
    if (p.kind == PRIMITIVE) {
      separator->addChild(primitiveNode(p));
    } else if (p.kind == NURBS) {
      addNurbs(p, separator);
    } else if (p.kind == STRIPS) {
      separator->addChild(coordinateNode(p.block));
      auto* strips = new SoIndexedTriangleStripSet;
      fill(strips->coordIndex, p.coordIndex);
      separator->addChild(strips);
    } else {
      auto* hints = new SoShapeHints;
      hints->vertexOrdering = static_cast<int>(p.ordering);
      hints->shapeType = static_cast<int>(p.shapeType);
      hints->faceType = static_cast<int>(p.faceType);
      separator->addChild(hints);
      separator->addChild(coordinateNode(p.block));
      auto* faces = new SoIndexedFaceSet;
      fill(faces->coordIndex, p.coordIndex);
      separator->addChild(faces);
    }
    root->addChild(separator);
  }
  return root;
}

void SbModelParts::reportSkipped(const std::string& file) const {
  if (skippedFaces > 0)
    printf("SbModelReader::read: skipped %u face(s) with coordinate indices out of range in %s\n", skippedFaces,
           file.c_str());
  if (skippedStrips > 0)
    printf("SbModelReader::read: skipped %u strip(s) with coordinate indices out of range in %s\n", skippedStrips,
           file.c_str());
  if (skippedShapes > 0)
    printf("SbModelReader::read: skipped %u shape(s) with sizes or placement out of range in %s\n", skippedShapes,
           file.c_str());
  if (skippedNurbs > 0)
    printf(
        "SbModelReader::read: skipped %u NURBS surface(s) with knots, orders, control points or "
        "trimming curves out of range in %s\n",
        skippedNurbs, file.c_str());
  if (loweredNurbs > 0)
    printf(
        "SbModelReader::read: lowered the complexity of %u NURBS surface(s) to %.1f to keep their "
        "tessellation under %.0f triangles in %s\n",
        loweredNurbs, loweredComplexity, nurbsBudget, file.c_str());
  if (droppedNurbs > 0)
    printf("SbModelReader::read: skipped %u NURBS surface(s) beyond %.0f triangles of tessellation in %s\n",
           droppedNurbs, nurbsBudget, file.c_str());
}
