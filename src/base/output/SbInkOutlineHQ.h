#ifndef LINFOLD_SBINKOUTLINEHQ_H
#define LINFOLD_SBINKOUTLINEHQ_H

// Turns strokes given in pixels into ink for files: every solid run (tone at
// least the settings' toneHigh) becomes one closed outline of straight edges
// and circular arcs that covers the union of the discs of the per-vertex
// radii and the bands between their outer tangents (fill it with the
// non-zero winding rule); every lighter run a row of round dots whose spacing
// gives the tone (SbLineSettingsHQ::spacing). The runs and the dots are
// SbInkRunsHQ's, the same as the screen's. No GL and no traversal state: the
// shapes go to a Receiver.
//
// Coordinates are pixels relative to the viewport centre, y up.

#include <Inventor/SbLinear.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/ObjectPool.h"
#include "lines/SbLineSetView.h"
#include "styling/SbInkRunsHQ.h"
#include "output/ContourPieceHQ.h"

class SbLineSettingsHQ;

class SbInkOutlineHQ {
 public:
  // One kept stroke vertex (from the pool "SoLineOutputHQ::pool").
  struct InkVertexHQ {
    float position[3];   // pixels from the viewport centre, third component 0
    float direction[3];  // from the previous kept vertex; zero for the first
    float normalA[2];    // (cos, sin) of angleA and angleB
    float normalB[2];
    float angleA;   // outer tangents of the previous disc and this one:
    float angleB;   //   A on the left of the direction, B on the right
    float radius;   // half width, pixels
    float length;   // distance from the previous kept vertex
    float tone;     // 0..1
    bool tangents;  // false when one of the two discs holds the other
  };
  static TypedObjectPool<InkVertexHQ> pool;

  // Where the ink goes. fillContour receives the outline of one solid run
  // (the list runs once around it) and must empty the list.
  class Receiver {
   public:
    virtual ~Receiver() = default;
    virtual void fillContour(ContourListHQ& outline) = 0;
    virtual void drawDot(const SbVec3f& centre, float radius) = 0;
  };

  // Largest half-width drawn (SbInkRunsHQ::halfWidth).
  static constexpr float kMaxRadius = SbInkRunsHQ::kMaxRadius;

  SbInkOutlineHQ(const SbLineSettingsHQ& settings, Receiver& receiver);
  ~SbInkOutlineHQ();
  SbInkOutlineHQ(const SbInkOutlineHQ&) = delete;
  SbInkOutlineHQ& operator=(const SbInkOutlineHQ&) = delete;

  // One stroke: positions in pixels (nullptr or count < 1: nothing), with a
  // thickness factor and a tone per point (either may be null: half width
  // lineWidth / 2, tone 1). Non-finite positions are skipped.
  void addStroke(const SbVec2f* positions, const float* thickness, const float* tone, int count);

  // Every polyline of a line set, drawn at its points' projections:
  // pixels[i] for point i, skipped where valid[i] is 0 (a point that could
  // not be projected) or the entry names no point.
  void addLineSet(const SbLineSetView& lines, const SbVec2f* pixels, const uint8_t* valid);

  int contourCount() const { return contours; }
  int dotCount() const { return dots; }

  // Dots whose centres and radii agree within this (pixels) are one dot: the
  // second is not drawn again.
  static constexpr float kSameDot = 0.01f;

 private:
  void drawRuns();
  void computeTangents();
  void solidRun(size_t first, size_t last);
  void outline(size_t first, size_t last);
  void join(size_t k);
  void dot(float x, float y, float radius);
  void releaseVertices();

  const SbLineSettingsHQ& settings;
  Receiver& receiver;
  SbInkRunsHQ runs;                    // the stroke's runs and dots
  std::vector<InkVertexHQ*> vertices;  // its points with their tangents
  std::vector<SbVec3f> scratchPositions;
  ContourListHQ list;
  // Dots drawn so far (x, y, radius), by cell of side kSameDot around their centre.
  std::unordered_map<uint64_t, std::vector<SbVec3f>> drawnDots;
  int contours = 0;
  int dots = 0;
};

#endif
