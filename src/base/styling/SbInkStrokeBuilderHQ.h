#ifndef LINFOLD_SBINKSTROKEBUILDERHQ_H
#define LINFOLD_SBINKSTROKEBUILDERHQ_H

#include <Inventor/SbLinear.h>

#include <cstdint>
#include <vector>

#include "core/ObjectPool.h"
#include "lines/SbLineSetView.h"

class SbLineSettingsHQ;

// Turns strokes into ink, in screen space (pixels): the parts whose tone is
// at least the settings' toneHigh become solid outlines (the union of discs of
// the per-point half-widths and the quadrilaterals between their outer
// tangents), the lighter parts rows of round dots whose spacing gives the
// tone (SbLineSettingsHQ::spacing), placed by the same walk as the dots of
// the files (dotPlaces). No GL: the result is plain arrays.
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
  // One kept stroke point while a stroke is built (from the pool
  // "SoLineShapeHQ::pool"; given back when the stroke is done).
  struct Record {
    float screen[3];       // pixels x, y and window depth
    float leftOffset[2];   // unit vectors from the point to the outer tangent
    float rightOffset[2];  //   points of the segment to the next record
    float leftAngle;       // their angles, radians
    float rightAngle;
    float halfWidth;       // outline radius, pixels (signed until split at 0)
    float length;          // screen distance to the next record
    float density;         // tone 0..1
  };
  // One dot: a fan of vertexCount = corners + 2 vertices (centre, corners at
  // angles k 2pi / corners, the first corner again).
  struct Dot {
    SbVec3f centre;
    float radius;
    int32_t firstVertex;
    int32_t corners;
    int32_t vertexCount;
  };
  // A stroke point in pixels with its thickness factor and tone.
  struct PixelPoint {
    float x, y, z;
    float thickness;
    float density;
  };

  static TypedObjectPool<Record> pool;
  // Upper bounds that keep absurd input (a point near the eye plane projects
  // millions of pixels away) from exhausting memory.
  static constexpr int kMaxDotsPerRun = 100000;
  static constexpr int kMaxArcPieces = 1024;

  SbInkStrokeBuilderHQ() = default;

  void setSettings(const SbLineSettingsHQ* value) { settings = value; }
  // Largest edge length, in pixels, of the polygons of discs and dots;
  // values below 0.01 (or NaN) count as 0.01.
  void setResolution(float pixels);
  void setProjection(const SbMatrix& objectToClip, const SbVec2f& viewportOrigin,
                     const SbVec2f& viewportSize);
  // Empties the output.
  void clear();

  // Builds every polyline of a line set with its per-vertex thickness and
  // density (absent: 1); entries that name no point are skipped.
  void addLineSet(const SbLineSetView& lines);
  // Builds one stroke given in pixels. Without thickness the half-width is
  // lineWidth / 2, without density the tone is 1.
  void addStroke(const PixelPoint* points, int count, bool hasThickness, bool hasDensity);

  // Projects an object-space point; false when it lies behind the eye or
  // the result is not finite.
  bool project(const SbVec3f& point, SbVec3f& pixel) const;
  // Projects every point of a line set: pixels[i] (x, y) and valid[i] 1 for
  // point i, or valid[i] 0 where project() fails.
  void projectPoints(const SbLineSetView& lines, std::vector<SbVec2f>& pixels,
                     std::vector<uint8_t>& valid) const;

  // A tone or half-width at most this carries no ink.
  static constexpr float kNoInk = 1e-6f;

  // The dot walk that the screen and the files (SbInkOutlineHQ) share, so
  // that both put the same dots in the same places. A dotted run of n
  // vertices at increasing arc lengths arc[], with half-widths radius[] and
  // tones tone[] (pixels, 0..1), linear between the vertices; solidBefore /
  // solidAfter: solid ink meets the run at its first / last vertex.
  //
  // The run ends at every inner vertex without ink (tone or half-width at
  // most kNoInk) and starts again after it, so no dot lies where the tone is
  // 0. In each piece the walk starts at the darkest vertex that can carry a
  // dot and goes to both ends; each step is spacing(t) x r pixels, at least
  // one, with r the half-width where the step starts and t the mean tone
  // over the stretch it covers (exact for the linear tone); it stops before
  // leaving the piece or reaching a place without ink. Where solid ink
  // meets the run, the walk keeps minDistance x that end's half-width away
  // from it. With the settings' rebalance on, a run between two solid parts
  // gets its dots spread evenly from one such margin to the other (a single
  // dot in the middle). `places` receives the dots' arc lengths in
  // increasing order (at most kMaxDotsPerRun).
  static void dotPlaces(const SbLineSettingsHQ& settings, const float* arc, const float* radius, const float* tone,
                        int n, bool solidBefore, bool solidAfter, std::vector<float>& places);

  const std::vector<SbVec3f>& solidVertices() const { return solidVertex; }
  const std::vector<int32_t>& solidTriangles() const { return solidIndex; }
  const std::vector<SbVec3f>& dotVertices() const { return dotVertex; }
  const std::vector<Dot>& dots() const { return dotList; }

 private:
  void buildRecords(const PixelPoint* points, int count, bool hasThickness, bool hasDensity);
  void splitRecords();
  void emitSolid(size_t first, size_t last);
  void emitDots(size_t first, size_t last);
  void emitDisc(const Record& r);
  void emitBand(Record& a, const Record& b);
  void emitDot(float x, float y, float z, float radius);
  void releaseRecords();

  const SbLineSettingsHQ* settings = nullptr;
  float resolution = 2.0f;
  SbMatrix toClip = SbMatrix::identity();
  SbVec2f origin{0, 0};
  SbVec2f size{1, 1};

  std::vector<Record*> records;  // the stroke being built
  std::vector<PixelPoint> scratch;
  std::vector<SbVec3f> solidVertex;
  std::vector<int32_t> solidIndex;
  std::vector<SbVec3f> dotVertex;
  std::vector<Dot> dotList;
};

#endif
