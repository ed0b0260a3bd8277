#ifndef LINFOLD_SBINKRUNSHQ_H
#define LINFOLD_SBINKRUNSHQ_H

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "lines/SbLineSetView.h"

class SbLineSettingsHQ;

// What ink one stroke gets, decided once for the screen (SbInkStrokeBuilderHQ)
// and the files (SbInkOutlineHQ), so that both draw the same runs and put the
// same dots in the same places. No GL, no traversal state.
//
// build() takes the stroke's points in pixels (x, y and the window depth, or
// 0), each with a thickness factor and a tone, and makes a chain of ink points:
//  - half-width lineWidth / 2 x thickness, at most maxWidth / 2 (halfWidth());
//    tone clamped to 0..1; NaN counts as 0; points that are not finite are
//    left out;
//  - a point within the settings' tolerance of the previous one with nearly
//    the same width (tolerance / 2) and tone (0.02) is merged into it, but a
//    point where the ink starts or ends stays, and the stroke's last point
//    takes the place of a merged predecessor, so the ink ends where the
//    stroke does;
//  - points are added where the width changes sign (half-width 0 there) and
//    where the tone crosses toneHigh; then negative widths become 0.
// Then the chain is cut into runs: a segment is without ink when both
// half-widths vanish, solid when both tones reach toneHigh, dotted otherwise;
// the dots of the dotted runs come from dotPlaces(). A stroke of a single
// point with ink is one dot of its half-width.
class SbInkRunsHQ {
 public:
  struct Point {
    SbVec3f position;  // pixels, window depth
    float radius;      // half-width, pixels, >= 0
    float tone;        // 0..1
    float length;      // distance in x, y to the next point (0 for the last)
  };
  struct Dot {
    SbVec3f centre;
    float radius;
  };
  enum Kind { SOLID, DOTTED };
  struct Run {
    Kind kind;
    int first, last;     // points, inclusive
    int firstDot, dots;  // DOTTED: its dots in dots()
  };

  // A tone or half-width at most this carries no ink.
  static constexpr float kNoInk = 1e-6f;
  // Upper bound that keeps absurd input (a point near the eye plane projects
  // millions of pixels away) from exhausting memory.
  static constexpr int kMaxDotsPerRun = 100000;
  static constexpr float kMaxRadius = 1.0e5f;

  // One stroke of `count` points; thickness and tone may be null (factor 1,
  // tone 1).
  void build(const SbLineSettingsHQ& settings, const SbVec3f* positions, const float* thickness, const float* tone,
             int count);

  // One polyline of a line set, as SbLineSetView::forEachLine hands it on:
  // its entries [begin, end) with their per-vertex thickness and density.
  // pixelOf(point, pixel) gives an entry's position in pixels, or false to
  // leave it out (as are entries that name no point).
  template <class PixelOf>
  void buildLine(const SbLineSettingsHQ& settings, const SbLineSetView& lines, int32_t begin, int32_t end,
                 int32_t firstVertex, PixelOf pixelOf);

  const std::vector<Point>& points() const { return chain; }
  const std::vector<Run>& runs() const { return runList; }  // in stroke order, none without ink
  const std::vector<Dot>& dots() const { return dotList; }

  // Half-width for a thickness factor (null: 1), before negative values
  // become 0: lineWidth / 2 x thickness, at most maxWidth / 2 (a NaN maximum
  // limits nothing), within +-kMaxRadius.
  static float halfWidth(const SbLineSettingsHQ& settings, const float* thickness);

  // The dot walk of a dotted run of n points at arc lengths arc[] (pixels,
  // increasing), half-widths radius[] and tones tone[]. solidBefore /
  // solidAfter: solid ink meets the run at its first / last point.
  //
  // The run ends at every inner point without ink (tone or half-width at
  // most kNoInk) and starts again after it, so no dot lies where the tone is
  // 0. In each piece the walk starts at the darkest point that can carry a
  // dot and goes to both ends; each step is spacing(t) x r pixels, at least
  // one, with r the half-width where the step starts and t the mean tone
  // over the step. Next to solid ink the walk stops minDistance x r short of
  // the end, so that a dot keeps the smallest dot spacing from it. With the
  // settings' rebalance on, a run between two solid parts gets its dots
  // spread evenly from one such margin to the other (a single dot in the
  // middle). `places` receives the dots' arc lengths in increasing order (at
  // most kMaxDotsPerRun per piece).
  static void dotPlaces(const SbLineSettingsHQ& settings, const float* arc, const float* radius, const float* tone,
                        int n, bool solidBefore, bool solidAfter, std::vector<float>& places);

 private:
  void merge(const SbLineSettingsHQ& settings, const SbVec3f* positions, const float* thickness, const float* tone,
             int count);
  void split(float high);
  void cut(const SbLineSettingsHQ& settings);
  void placeDots(const SbLineSettingsHQ& settings, Run& run);

  std::vector<Point> chain;
  std::vector<Point> splitChain;
  std::vector<Run> runList;
  std::vector<Dot> dotList;
  std::vector<float> arc, radius, tone, places;  // scratch of placeDots
  std::vector<SbVec3f> linePixels;               // scratch of buildLine
  std::vector<float> lineThickness, lineTone;
};

template <class PixelOf>
void SbInkRunsHQ::buildLine(const SbLineSettingsHQ& settings, const SbLineSetView& lines, int32_t begin, int32_t end,
                            int32_t firstVertex, PixelOf pixelOf) {
  linePixels.clear();
  lineThickness.clear();
  lineTone.clear();
  for (int32_t k = begin; k < end; ++k) {
    const int32_t i = lines.indices[k];
    const int32_t v = firstVertex + (k - begin);
    SbVec3f pixel;
    if (!lines.hasPoint(i) || !pixelOf(i, pixel)) continue;
    linePixels.push_back(pixel);
    lineThickness.push_back(lines.thickness ? lines.thickness[v] : 1.0f);
    lineTone.push_back(lines.density ? lines.density[v] : 1.0f);
  }
  build(settings, linePixels.data(), lines.thickness ? lineThickness.data() : nullptr,
        lines.density ? lineTone.data() : nullptr, static_cast<int>(linePixels.size()));
}

#endif
