#ifndef LINFOLD_SBLINESETTINGSHQ_H
#define LINFOLD_SBLINESETTINGSHQ_H

#include <cstdint>

// The settings by which a stroke's tone (fraction of ink coverage, 0..1)
// becomes ink: line-width scale, maximum width, merge tolerance, dot
// rebalancing and the allowed range of dot spacings. Spacings are in units of
// the dot radius: spacing 2 puts dots of radius 1 edge to edge.
//
// A tone t is drawn as a row of dots whose centre spacing d satisfies
// coverage(d) = t; `spacing` inverts the coverage through a table for the
// overlapping range (tones between pi/4 and 1) and exactly for tones below.
class SbLineSettingsHQ {
 public:
  SbLineSettingsHQ();
  ~SbLineSettingsHQ();
  SbLineSettingsHQ(const SbLineSettingsHQ&) = delete;
  SbLineSettingsHQ& operator=(const SbLineSettingsHQ&) = delete;

  // Fraction of the band of width 2 along a row of unit discs at centre
  // spacing d that is inked: 1 at d = 0, pi/4 at d = 2, pi / (2d) beyond.
  static float coverage(float d);

  // Stores the spacing range ordered (swapped when a > b) and derives
  // toneHigh = min(coverage(minDistance), 0.999999) and
  // toneLow = max(coverage(maxDistance), 1e-6). The table is not rebuilt.
  void setRange(float a, float b);
  // Dot spacing (in dot radii) for a tone: maxDistance up to toneLow,
  // minDistance from toneHigh on, between them the inverse of the coverage.
  // A NaN tone counts as 0.
  float spacing(float tone) const;

  float getLineWidth() const { return lineWidth; }
  float getTolerance() const { return tolerance; }
  float getMaxWidth() const { return maxWidth; }
  bool getRebalance() const { return rebalance; }
  void setLineWidth(float value) { lineWidth = value; }
  void setTolerance(float value) { tolerance = value; }
  void setMaxWidth(float value) { maxWidth = value; }
  void setRebalance(bool value) { rebalance = value; }

  int32_t count;      // number of table intervals
  float* table;       // count + 1 spacings for tones pi/4 + k (1 - pi/4) / count
  float minDistance;  // allowed spacing range, minDistance <= maxDistance
  float maxDistance;
  float toneLow;   // coverage at maxDistance, at least 1e-6
  float toneHigh;  // coverage at minDistance, at most 0.999999
  float lineWidth;
  float tolerance;
  float maxWidth;
  bool rebalance;

 private:
  void buildTable();
};

#endif
