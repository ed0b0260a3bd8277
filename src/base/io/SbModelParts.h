#ifndef LINFOLD_SBMODELPARTS_H
#define LINFOLD_SBMODELPARTS_H

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class SoSeparator;

// The geometry of a model as a reading process hands it to the application:
// blocks of points and, in traversal order, the shapes that use them, each
// placed by its own matrix. Nothing else of the file comes across.
//
// Arrays are views, into storage the object keeps (addBlock, keep), into the
// scene they were taken from, or into the bytes read() was given; the last
// two must outlive the object (keepAlive holds them when shared).
struct SbModelParts {
  enum Kind : uint32_t {
    STRIPS,     // SoIndexedTriangleStripSet over a block
    FACES,      // SoIndexedFaceSet over a block, under SoShapeHints
    PRIMITIVE,  // a primitive shape, with its complexity
    KINDS
  };
  enum Primitive : uint32_t {
    CUBE,           // size: width, height, depth
    SPHERE,         // size[0]: radius
    CONE,           // bottom radius, height; parts: SoCone::Part bits
    CYLINDER,       // radius, height; parts: SoCylinder::Part bits
    VRML_BOX,       // size: x, y, z
    VRML_SPHERE,    // radius
    VRML_CONE,      // bottom radius, height; parts: 1 side, 2 bottom
    VRML_CYLINDER,  // radius, height; parts: 1 side, 2 top, 4 bottom
    PRIMITIVES
  };

  template <class T>
  struct Array {
    const T* data = nullptr;
    uint32_t size = 0;
  };

  struct Part {
    uint32_t kind = FACES;
    bool placed = false;  // `matrix` differs from the identity
    SbMatrix matrix = SbMatrix::identity();
    // Strips and faces: their block, the SoShapeHints values to draw them
    // with, and the coordinate indices, each strip or polygon ended by -1.
    uint32_t block = 0;
    uint32_t ordering = 0;   // SoShapeHints::VertexOrdering
    uint32_t shapeType = 0;  // SoShapeHints::ShapeType
    uint32_t faceType = 1;   // SoShapeHints::FaceType, CONVEX
    Array<int32_t> coordIndex;
    // Primitives.
    uint32_t primitive = CUBE;
    uint32_t primitiveParts = 0;
    float size[3] = {0.0f, 0.0f, 0.0f};
    float complexity = 0.5f;
    uint32_t complexityType = 0;  // SoComplexity::Type, OBJECT_SPACE
  };

  SbModelParts() = default;
  SbModelParts(const SbModelParts&) = delete;
  SbModelParts& operator=(const SbModelParts&) = delete;
  SbModelParts(SbModelParts&&) = default;
  SbModelParts& operator=(SbModelParts&&) = default;

  std::vector<Array<SbVec3f>> blocks;
  std::vector<Part> parts;
  // Left out by the reader: faces and strips that name coordinates which do
  // not exist, shapes whose sizes or placement are not finite numbers.
  uint32_t skippedFaces = 0, skippedStrips = 0, skippedShapes = 0;

  // A new block of points, kept by the object, or viewed; returns its number.
  uint32_t addBlock(std::vector<SbVec3f> points);
  uint32_t addBlock(const SbVec3f* points, uint32_t count);
  // Indices kept by the object.
  Array<int32_t> keep(std::vector<int32_t> indices);
  // Holds whatever the views point into for as long as the object lives.
  void keepAlive(std::shared_ptr<const void> owner) { owners.push_back(std::move(owner)); }

  // Writes the parts to `fd` in a form read() takes back; false when
  // writing fails (errno tells why).
  bool write(int fd) const;
  // Takes back what write() wrote: `bytes` must be aligned to 4 and outlive
  // the object. Checks every value the scene's nodes will use (indices
  // within their block, known kinds and enumeration values, finite sizes and
  // matrices) and returns false when anything is off.
  bool read(const char* bytes, size_t size);

  // One SoSeparator per part, in order, under a new separator with
  // reference count 0: an SoMatrixTransform where the part is placed, then
  // for strips an SoCoordinate3 (one per block, shared) and an
  // SoIndexedTriangleStripSet; for faces an SoShapeHints, the SoCoordinate3
  // and an SoIndexedFaceSet; for a primitive an SoComplexity where it is not
  // the default, and the primitive.
  SoSeparator* buildScene() const;

  // Console lines for what the reader left out of `file`.
  void reportSkipped(const std::string& file) const;

private:
  std::deque<std::vector<SbVec3f>> ownedPoints;
  std::deque<std::vector<int32_t>> ownedIndices;
  std::vector<std::shared_ptr<const void>> owners;
};

#endif
