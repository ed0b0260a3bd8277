#include "io/SbModelParts.h"

#include <Inventor/VRMLnodes/SoVRMLBox.h>
#include <Inventor/VRMLnodes/SoVRMLCone.h>
#include <Inventor/VRMLnodes/SoVRMLCylinder.h>
#include <Inventor/VRMLnodes/SoVRMLSphere.h>
#include <Inventor/nodes/SoComplexity.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoCylinder.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSphere.h>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

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

bool SbModelParts::write(int fd) const {
  Writer w(fd);
  w.u32(skippedFaces);
  w.u32(skippedStrips);
  w.u32(skippedShapes);
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
  if (!in.u32(skippedFaces) || !in.u32(skippedStrips) || !in.u32(skippedShapes) || !in.u32(n) ||
      n > size / 4)
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
      if (!in.u32(p.primitive) || p.primitive >= PRIMITIVES || !in.u32(p.primitiveParts) ||
          p.primitiveParts > 7 || !in.floats(p.size, 3) || !in.f32(p.complexity) ||
          !in.u32(p.complexityType) || p.complexityType > SoComplexity::BOUNDING_BOX)
        return false;
      continue;
    }
    if (!in.u32(p.block) || p.block >= blocks.size() || !in.u32(p.ordering) ||
        p.ordering > SoShapeHints::COUNTERCLOCKWISE || !in.u32(p.shapeType) ||
        p.shapeType > SoShapeHints::SOLID || !in.u32(p.faceType) ||
        p.faceType > SoShapeHints::CONVEX || !in.array(p.coordIndex))
      return false;
    const int32_t points = static_cast<int32_t>(blocks[p.block].size);
    for (uint32_t i = 0; i < p.coordIndex.size; ++i) {
      const int32_t c = p.coordIndex.data[i];
      if (c < -1 || c >= points) return false;
    }
  }
  return in.done();
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
    if (p.kind == PRIMITIVE) {
      if (p.complexity != 0.5f || p.complexityType != SoComplexity::OBJECT_SPACE) {
        auto* complexity = new SoComplexity;
        complexity->value = p.complexity;
        complexity->type = static_cast<int>(p.complexityType);
        separator->addChild(complexity);
      }
      separator->addChild(primitiveNode(p));
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
    printf("SbModelReader::read: skipped %u face(s) with coordinate indices out of range in %s\n",
           skippedFaces, file.c_str());
  if (skippedStrips > 0)
    printf("SbModelReader::read: skipped %u strip(s) with coordinate indices out of range in %s\n",
           skippedStrips, file.c_str());
  if (skippedShapes > 0)
    printf("SbModelReader::read: skipped %u shape(s) with sizes or placement out of range in %s\n",
           skippedShapes, file.c_str());
}
