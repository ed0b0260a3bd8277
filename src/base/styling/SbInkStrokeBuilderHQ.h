#ifndef LINFOLD_SBINKSTROKEBUILDERHQ_H
#define LINFOLD_SBINKSTROKEBUILDERHQ_H

#include <Inventor/SbLinear.h>

#include <cstdint>
#include <vector>

#include "lines/SbLineSetView.h"
#include "styling/SbInkRunsHQ.h"

class SbLineSettingsHQ;

// Turns strokes into ink, in screen space (pixels): the parts whose tone is
// at least the settings' toneHigh become solid outlines (the union of discs of
// the per-point half-widths and the quadrilaterals between their outer
// tangents), the lighter parts rows of round dots whose spacing gives the
// tone (SbLineSettingsHQ::spacing). Which parts are solid and where the dots
// go is SbInkRunsHQ's decision, the same as for the files. No GL: the result
// is plain arrays.
//
// Use from a render node:
//
//   SbInkStrokeBuilderHQ ink;                 // keep it as a member
//   ink.clear();
//   ink.setSettings(settingsFromState);       // null: nothing is built
//   ink.setResolution(resolution.getValue()); // largest dot edge, pixels
//   ink.setProjection(objectToClip, viewportOrigin, viewportSize);
//   ink.addLineSet(lines);                    // an SbLineSetView
//   // then draw, with an orthographic projection onto the viewport's pixels
//   // (x right, y up, z the window depth 0..1), all in black:
//   //   GL_TRIANGLES with solidVertices() indexed by solidTriangles();
//   //   for every Dot d: GL_TRIANGLE_FAN over dotVertices()[d.firstVertex ..
//   //   d.firstVertex + d.vertexCount) (centre, corners, first corner again).
//
// objectToClip is the product model x viewing x projection matrix in the
// toolkit's row-vector convention (clip = point * M), as
// SoModelMatrixElement * SoViewingMatrixElement * SoProjectionMatrixElement
// give it. Points behind the eye or not finite after projection are dropped.
class SbInkStrokeBuilderHQ {
 public:
  // One dot: a fan of vertexCount = corners + 2 vertices (centre, corners at
  // angles k 2pi / corners, the first corner again).
  struct Dot {
    SbVec3f centre;
    float radius;
    int32_t firstVertex;
    int32_t corners;
    int32_t vertexCount;
  };
  // Upper bound that keeps absurd input from exhausting memory.
  static constexpr int kMaxArcPieces = 1024;

  SbInkStrokeBuilderHQ() = default;

  void setSettings(const SbLineSettingsHQ* value) { settings = value; }
  // Largest edge length, in pixels, of the polygons of discs and dots;
  // values below 0.01 (or NaN) count as 0.01.
  void setResolution(float pixels);
  void setProjection(const SbMatrix& objectToClip, const SbVec2f& viewportOrigin, const SbVec2f& viewportSize);
  // Empties the output.
  void clear();

  // Builds every polyline of a line set with its per-vertex thickness and
  // density (absent: 1); entries that name no point are skipped.
  void addLineSet(const SbLineSetView& lines);
  // Builds one stroke given in pixels (x, y, window depth), with a
  // thickness factor and a tone per point (either may be null: 1).
  void addStroke(const SbVec3f* points, const float* thickness, const float* tone, int count);

  // Projects an object-space point; false when it lies behind the eye or
  // the result is not finite.
  bool project(const SbVec3f& point, SbVec3f& pixel) const;
  // Projects every point of a line set: pixels[i] (x, y) and valid[i] 1 for
  // point i, or valid[i] 0 where project() fails.
  void projectPoints(const SbLineSetView& lines, std::vector<SbVec2f>& pixels, std::vector<uint8_t>& valid) const;

  const std::vector<SbVec3f>& solidVertices() const { return solidVertex; }
  const std::vector<int32_t>& solidTriangles() const { return solidIndex; }
  const std::vector<SbVec3f>& dotVertices() const { return dotVertex; }
  const std::vector<Dot>& dots() const { return dotList; }

 private:
  void emitRuns();
  void emitSolid(int first, int last);
  void emitDisc(const SbInkRunsHQ::Point& r);
  void emitBand(const SbInkRunsHQ::Point& a, const SbInkRunsHQ::Point& b);
  void emitDot(float x, float y, float z, float radius);

  const SbLineSettingsHQ* settings = nullptr;
  float resolution = 2.0f;
  SbMatrix toClip = SbMatrix::identity();
  SbVec2f origin{0, 0};
  SbVec2f size{1, 1};

  SbInkRunsHQ runs;  // the stroke being built
  std::vector<SbVec3f> solidVertex;
  std::vector<int32_t> solidIndex;
  std::vector<SbVec3f> dotVertex;
  std::vector<Dot> dotList;
};

#endif
