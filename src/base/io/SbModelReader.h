#ifndef LINFOLD_SBMODELREADER_H
#define LINFOLD_SBMODELREADER_H

#include <string>
#include <vector>

class SoSeparator;

// Reads a model file of any supported format into a new scene graph.
//
// Open Inventor and VRML files (.iv, .wrl, .vrml, gzip-compressed ones as
// .iv.gz, .wrl.gz, .wrz, and any file starting with "#Inventor" or "#VRML")
// are read by Coin as they are. Every other format that assimp reads (.obj,
// .ply, .stl, .off, .gltf, .glb, ...) is triangulated and converted: each mesh
// placed in the file's node hierarchy becomes one SoSeparator holding an
// SoCoordinate3 with its points in world space (the hierarchy's transforms
// applied) and an SoIndexedFaceSet of its triangles, counter-clockwise seen
// from outside. Points with exactly equal positions are joined into one
// coordinate, so a mesh stored with split vertices (per-face normals, texture
// seams) stays connected. Points and lines in such files are left out.
class SbModelReader {
public:
  // Returns the model read from `path` as a separator with reference count 0,
  // or nullptr when the file cannot be read; then `*error` (when given) holds
  // a one-line message for the user, naming the file. Never throws.
  static SoSeparator* read(const char* path, std::string* error);

  // Lower-case extensions (with the dot) that read() accepts, Coin's first.
  static std::vector<std::string> extensions();

  // Filter for a file dialog: all supported models first, then each family.
  static std::string fileDialogFilter();
};

#endif
