#include "styling/SbLineSettingsHQ.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kPi = 3.14159265358979323846f;
constexpr float kQuarterPi = kPi / 4.0f;
}  // namespace

SbLineSettingsHQ::SbLineSettingsHQ()
    : count(40),
      table(new float[41]),
      minDistance(0.0f),
      maxDistance(100.0f),
      toneLow(1e-6f),
      toneHigh(0.999999f),
      lineWidth(20.0f),
      tolerance(2.0f),
      maxWidth(30.0f),
      rebalance(true) {
  buildTable();
  setRange(0.0f, 100.0f);
}

SbLineSettingsHQ::~SbLineSettingsHQ() { delete[] table; }

float SbLineSettingsHQ::coverage(float d) {
  if (d >= 1.999999f) return kPi / (2.0f * d);
  if (!(d >= 1e-6f)) return 1.0f;  // also for NaN and negative spacings
  const float x = d / 2.0f;
  return (x * std::sqrt(1.0f - x * x) + std::asin(x)) / d;
}

// Walks the spacing down from 2 with an adaptive step and records, by linear
// interpolation between samples, where the coverage passes each table tone.
void SbLineSettingsHQ::buildTable() {
  const int n = count;
  const float dv = (1.0f - kQuarterPi) / static_cast<float>(n);
  table[0] = 2.0f;
  float d = 2.0f;
  float dPrev = 2.0f;
  float covPrev = kQuarterPi;
  float h = -dv * 4.0f / kPi;
  float t = kQuarterPi + dv;
  int i = 1;
  for (int guard = 0; d >= 0.0f && guard < 1000000; ++guard) {
    const float cov = coverage(d);
    if (cov >= t) {
      const float s = (t - covPrev) / (cov - covPrev);
      table[i] = (1.0f - s) * dPrev + s * d;
      ++i;
      if (i >= n) break;
      t += dv;
    }
    const float delta = coverage(d + h) - cov;
    if (delta > dv / 2.0f)
      h /= 2.0f;
    else if (delta < dv / 4.0f)
      h *= 2.0f;
    dPrev = d;
    covPrev = cov;
    d += h;
  }
  // Full coverage needs spacing 0. Should the walk end early, the entries it
  // did not reach repeat the last one written, so none is left undefined.
  const float last = table[i - 1];
  for (int k = i; k < n; ++k) table[k] = last;
  table[n] = 0.0f;
}

void SbLineSettingsHQ::setRange(float a, float b) {
  if (a > b) std::swap(a, b);
  minDistance = a;
  maxDistance = b;
  toneHigh = std::min(coverage(minDistance), 0.999999f);
  toneLow = coverage(maxDistance);
  if (!(toneLow >= 1e-6f)) toneLow = 1e-6f;
}

float SbLineSettingsHQ::spacing(float tone) const {
  if (std::isnan(tone)) tone = 0.0f;
  if (tone <= toneLow) return maxDistance;
  if (tone >= toneHigh) return minDistance;
  if (tone <= kQuarterPi + 1e-6f) return kPi / (2.0f * tone);
  const float x = (tone - kQuarterPi) / (1.0f - kQuarterPi) * static_cast<float>(count);
  int i = static_cast<int>(std::floor(x));
  i = std::max(0, std::min(i, count - 1));
  const float s = std::min(std::max(x - static_cast<float>(i), 0.0f), 1.0f);
  return (1.0f - s) * table[i] + s * table[i + 1];
}
