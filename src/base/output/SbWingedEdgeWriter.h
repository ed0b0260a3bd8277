#ifndef LINFOLD_SBWINGEDEDGEWRITER_H
#define LINFOLD_SBWINGEDEDGEWRITER_H

#include <string>

class SbWingedEdgeModel;
struct WeObject;

// Text of a winged-edge model as a VRML 2.0 or an Inventor 2.1 file: per
// object its vertex positions, vertex normals (indexed like the vertices) and
// faces. Numbers are written as the shortest text that reads back as the
// same float (SbNumberText::appendShortest: "0.5", "1e-07") and indices as
// "%i" would write them in the C locale, whatever the process locale. The model must be numbered
// (SbWingedEdgeModel::number) so that vertex indices are list positions.
//
// Objects without vertices or faces are left out (their lists could not be
// closed). In VRML each object is a Group named "Object<n>" with the face set
// "Object<n>-FACES" (a VRML name cannot start with a digit); in Inventor each
// face of more than three corners is written as its fan triangles, each a
// strip of three indices ended by -1, since one strip through the corners in
// walk order would draw crossed triangles.
class SbWingedEdgeWriter {
 public:
  // A non-finite position or normal component is written as 0; nonFinite,
  // when given, receives how many were.
  static std::string vrml(const SbWingedEdgeModel& model, int* nonFinite = nullptr);
  static std::string inventor(const SbWingedEdgeModel& model, int* nonFinite = nullptr);
  // True when the object has something to write.
  static bool writable(const WeObject& object);
};

#endif
