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
// placed by its own matrix, and NURBS surfaces with their own control points
// and trimming curves. Nothing else of the file comes across.
//
// Arrays are views, into storage the object keeps (addBlock, keep), into the
// scene they were taken from, or into the bytes read() was given; the last
// two must outlive the object (keepAlive holds them when shared).
struct SbModelParts {
  enum Kind : uint32_t {
    STRIPS,     // SoIndexedTriangleStripSet over a block
    FACES,      // SoIndexedFaceSet over a block, under SoShapeHints
    PRIMITIVE,  // a primitive shape, with its complexity
    NURBS,      // a NURBS surface, with its complexity and trimming curves
    KINDS
  };
  enum Curve : uint32_t {
    LINEAR_PROFILE,  // SoLinearProfile: a polyline
    NURBS_PROFILE,   // SoNurbsProfile: a NURBS curve with its knots
    CURVES
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

  // A trimming curve of a NURBS surface: the next `points` profile
  // coordinates of its part, added to the profiles before it as `linkage`
  // says (SoProfile::Profile).
  struct Profile {
    uint32_t curve = LINEAR_PROFILE;
    uint32_t linkage = 0;
    uint32_t points = 0;
    Array<float> knots;  // NURBS profiles: points + order knots
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
    // Primitives and NURBS surfaces.
    float complexity = 0.5f;
    uint32_t complexityType = 0;  // SoComplexity::Type, OBJECT_SPACE
    // NURBS surfaces: numU x numV control points of `dimension` floats
    // (3: x y z; 4: x y z w, rational, w > 0) in the order of the file's
    // coordinates, knot vectors of points + order values in each direction,
    // and the trimming curves: `profileCount` profiles from `firstProfile`
    // on in `profiles`, over profile coordinates of `profileDimension` floats
    // (2: u v; 3: u v w, rational).
    uint32_t numU = 0, numV = 0, dimension = 3;
    Array<float> controlPoints, uKnots, vKnots;
    uint32_t profileDimension = 2;
    Array<float> profilePoints;
    uint32_t firstProfile = 0, profileCount = 0;
  };

  SbModelParts() = default;
  SbModelParts(const SbModelParts&) = delete;
  SbModelParts& operator=(const SbModelParts&) = delete;
  SbModelParts(SbModelParts&&) = default;
  SbModelParts& operator=(SbModelParts&&) = default;

  std::vector<Array<SbVec3f>> blocks;
  std::vector<Part> parts;
  std::vector<Profile> profiles;
  // Left out by the reader: faces and strips that name coordinates which do
  // not exist, shapes whose sizes or placement are not finite numbers, NURBS
  // surfaces that nurbsProblem() refuses.
  uint32_t skippedFaces = 0, skippedStrips = 0, skippedShapes = 0, skippedNurbs = 0;
  // Changed by limitNurbs(): surfaces given a lower complexity, and those
  // left out, with the complexity the others were lowered to.
  uint32_t loweredNurbs = 0, droppedNurbs = 0;
  float loweredComplexity = 0.0f;
  double nurbsBudget = 0.0;

  // Why the NURBS part `p` (its profiles in `profiles`) cannot be handed to
  // Coin, or nullptr when it can: orders from 2 to kMaxNurbsOrder, knot
  // vectors of points + order non-decreasing finite values, no knot more
  // often than the order, a knot range that is not empty, exactly the
  // control points and profile coordinates the counts call for, finite, with
  // positive weights, a complexity from 0 to 1, known enumeration values.
  static const char* nurbsProblem(const Part& p, const std::vector<Profile>& profiles);
  static constexpr uint32_t kMaxNurbsOrder = 24;  // GLU draws nothing of a higher order

  // Most triangles Coin makes of the NURBS part `p` at `complexity`.
  double nurbsTriangles(const Part& p, float complexity) const;
  // Keeps the triangles Coin makes of all NURBS surfaces together under
  // `budget`: lowers the complexity of those above the highest level (in
  // steps of 0.1) at which they fit, and when even complexity 0 does not
  // fit, leaves out the surfaces after the last one that does.
  void limitNurbs(double budget);

  // A new block of points, kept by the object, or viewed; returns its number.
  uint32_t addBlock(std::vector<SbVec3f> points);
  uint32_t addBlock(const SbVec3f* points, uint32_t count);
  // Indices and numbers kept by the object.
  Array<int32_t> keep(std::vector<int32_t> indices);
  Array<float> keepFloats(std::vector<float> values);
  // Holds whatever the views point into for as long as the object lives.
  void keepAlive(std::shared_ptr<const void> owner) { owners.push_back(std::move(owner)); }

  // Writes the parts to `fd` in a form read() takes back; false when
  // writing fails (errno tells why).
  bool write(int fd) const;
  // Takes back what write() wrote: `bytes` must be aligned to 4 and outlive
  // the object. Checks every value the scene's nodes will use (indices
  // within their block, known kinds and enumeration values, finite sizes and
  // matrices, NURBS surfaces that nurbsProblem() accepts) and returns false
  // when anything is off.
  bool read(const char* bytes, size_t size);

  // One SoSeparator per part, in order, under a new separator with
  // reference count 0: an SoMatrixTransform where the part is placed, then
  // for strips an SoCoordinate3 (one per block, shared) and an
  // SoIndexedTriangleStripSet; for faces an SoShapeHints, the SoCoordinate3
  // and an SoIndexedFaceSet; for a primitive an SoComplexity where it is not
  // the default, and the primitive; for a NURBS surface the SoComplexity
  // where it is not the default, an SoCoordinate3 or SoCoordinate4, for its
  // trimming curves an SoProfileCoordinate2 or SoProfileCoordinate3 and an
  // SoLinearProfile or SoNurbsProfile each, and an SoNurbsSurface.
  SoSeparator* buildScene() const;

  // Console lines for what the reader left out of `file`.
  void reportSkipped(const std::string& file) const;

 private:
  void addNurbs(const Part& p, SoSeparator* separator) const;

  std::deque<std::vector<SbVec3f>> ownedPoints;
  std::deque<std::vector<int32_t>> ownedIndices;
  std::deque<std::vector<float>> ownedFloats;
  std::vector<std::shared_ptr<const void>> owners;
};

#endif
