#ifndef LINFOLD_SBSCENEFLATTENER_H
#define LINFOLD_SBSCENEFLATTENER_H

#include <string>

class SoNode;
struct SbModelParts;

// Turns an Open Inventor or VRML scene into SbModelParts: the geometry the
// winged-edge generator gathers, checked, and nothing else.
//
// In traversal order, every indexed triangle-strip set and indexed face set
// becomes a part over the coordinates it is drawn with (shared coordinates
// stay shared), placed by its model matrix; face sets keep the shape hints in
// effect. Strips and polygons that name a coordinate which does not exist
// are left out. Cubes, spheres, cones and cylinders (and their VRML 97
// counterparts) stay primitives, with their fields and the complexity in
// effect. Every other shape with faces (face sets, triangle-strip sets and
// quad meshes without indices, VRML 97 face sets, elevation grids and
// extrusions, 3D text) becomes the triangles Coin makes of it, turned
// counter-clockwise, with corners joined by coordinate index or, where the
// shape names none, by exact position; faces, strips and shapes that would
// read beyond their coordinates are left out before Coin triangulates them.
// NURBS surfaces (plain and indexed) stay NURBS surfaces, placed by their
// model matrix, with the control points they are drawn with (3D or
// rational), their knot vectors, the complexity in effect and the trimming
// curves in effect with their profile coordinates; those that
// SbModelParts::nurbsProblem() refuses or that name control points or
// profile coordinates which do not exist are left out (Coin tessellates
// NURBS only with a GL context, which a reading process has not). Their
// texture coordinates are not carried over. Lines, points, NURBS curves,
// images, 2D text and shapes of no known kind give nothing. Shapes whose
// sizes or placement are not finite are left out.
class SbSceneFlattener {
 public:
  // Runs in a reading child (SbReaderProcess): makes the model's folder the
  // working directory, so that File and Inline names are looked for from the
  // folder of the file that names them and nowhere else, reads
  // `absolutePath` with Coin and flattens it. False with a message naming
  // `file` when the file is not a scene, when Coin reports any error (a
  // missing File or Inline part as much as text it cannot parse) or when
  // flatten() fails.
  static bool read(const std::string& file, const std::string& absolutePath, SbModelParts& parts, std::string& message);

  // Appends the parts of `scene`, which it may change (it empties normal,
  // colour and texture coordinate arrays, which shapes would read by
  // unchecked indices, and cuts faces and strips that name missing
  // coordinates); the parts' views point into the scene, which must outlive
  // them. False with the reason when a node contains itself (a DEF/USE
  // cycle).
  static bool flatten(SoNode* scene, SbModelParts& parts, std::string& reason);
};

#endif
