#ifndef LINFOLD_SBMODELREADER_H
#define LINFOLD_SBMODELREADER_H

#include <string>
#include <vector>

class SoSeparator;

// Reads a model file of any supported format into a new scene graph of plain
// geometry.
//
// Open Inventor and VRML files (.iv, .wrl, .vrml, gzip-compressed ones as
// .iv.gz, .wrl.gz, .wrz, and any file starting with "#Inventor" or "#VRML")
// are read by Coin; every other format that assimp reads (.obj, .ply, .stl,
// .off, .gltf, .glb, ...) by assimp, triangulated, with the hierarchy's
// transforms applied and points of exactly equal position joined, so a mesh
// stored with split vertices stays connected.
//
// Either reader runs in a child process with a time limit (and, outside
// sanitizer builds, a memory limit) that grow with the file's size, so a file
// that makes a parser crash, loop or ask for absurd amounts of memory ends as
// a failure with a message. The child checks what it read and hands back only
// geometry: the scene returned here holds one SoSeparator per shape with, as
// needed, an SoMatrixTransform (the shape's placement), SoShapeHints,
// SoComplexity and an SoCoordinate3 (shared by the shapes that shared
// coordinates), then the shape:
//   - an SoIndexedTriangleStripSet for each indexed triangle-strip set;
//   - an SoIndexedFaceSet for each indexed face set, with its polygons, and
//     for every other shape with faces (face sets, strip sets, quad meshes,
//     VRML 97 face sets, elevation grids, extrusions, 3D text), as the
//     triangles Coin makes of it, turned counter-clockwise, corners joined
//     by coordinate index or, where the shape names none, by exact position;
//   - the primitive itself (cube, sphere, cone, cylinder and their VRML 97
//     counterparts), with its fields;
//   - an SoNurbsSurface for each NURBS surface, plain or indexed, over an
//     SoCoordinate3 or SoCoordinate4 of its own control points, after its
//     trimming curves (an SoProfileCoordinate2 or 3 and an SoLinearProfile
//     or SoNurbsProfile each); surfaces whose tessellation would together
//     pass a million triangles get a lower complexity, and past that at
//     complexity 0 the later ones are left out (with a console message);
//   - for assimp's formats, an SoIndexedFaceSet of triangles per placed mesh,
//     counter-clockwise seen from outside, with the points in world space.
// In traversal order, so the shapes keep their numbering. Cameras, lights,
// materials, NURBS curves, lines, points and anything else without faces
// are left out, as are faces, strips and shapes that name coordinates which
// do not exist and NURBS surfaces with knots, orders, control points or
// trimming curves out of range (counted in a console message). File and Inline references are read
// relative to the folder of the file that names them; one that cannot be
// read fails the whole read, as does any other error Coin reports, a scene
// that contains itself (a DEF/USE cycle) or a device or pipe named as the
// model.
class SbModelReader {
 public:
  enum Failure {
    NO_FAILURE,
    CANNOT_OPEN,  // missing, a directory, not a regular file, not permitted
    CANNOT_READ   // opened, but not a model this reader can read
  };

  // Returns the model read from `path` as a separator with reference count 0,
  // or nullptr when the file cannot be read; then `*error` (when given) holds
  // a one-line message for the user, naming the file, and `*failure` (when
  // given) says whether the file could not even be opened. Never throws.
  static SoSeparator* read(const char* path, std::string* error, Failure* failure = nullptr);

  // Lower-case extensions (with the dot) that read() accepts, Coin's first.
  static std::vector<std::string> extensions();

  // Filter for a file dialog: all supported models first, then each family.
  static std::string fileDialogFilter();
};

#endif
