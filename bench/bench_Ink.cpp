// Ink geometry (SbInkStrokeBuilderHQ) for a screen full of hatching: strokes
// of 100 points each across a 1280 x 1024 viewport, solid (full tone),
// dotted (tone 0.3) and mixed (tone varying along each stroke through the
// solid threshold). Argument: the number of strokes. Reports stroke points,
// triangles and dots per second.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "lines/SbLineSetView.h"
#include "styling/SbInkStrokeBuilderHQ.h"
#include "styling/SbLineSettingsHQ.h"

namespace {

struct LineSet {
  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  std::vector<float> thickness;
  std::vector<float> density;
};

// Wavy strokes in normalised device coordinates; tone: 0 solid, 1 dotted, 2 mixed.
LineSet hatching(int strokes, int tone) {
  LineSet set;
  const int perStroke = 100;
  for (int s = 0; s < strokes; ++s) {
    const float y = -0.95f + 1.9f * (s + 0.5f) / strokes;
    for (int k = 0; k < perStroke; ++k) {
      const float x = -0.95f + 1.9f * k / (perStroke - 1);
      set.indices.push_back(static_cast<int32_t>(set.points.size()));
      set.points.emplace_back(x, y + 0.01f * std::sin(20.0f * x + s), 0.0f);
      set.thickness.push_back(0.5f + 0.4f * std::sin(7.0f * x + 0.3f * s));
      const float d = tone == 0 ? 1.0f : tone == 1 ? 0.3f : 0.5f + 0.5f * std::sin(5.0f * x + s);
      set.density.push_back(d);
    }
    set.indices.push_back(-1);
  }
  return set;
}

void BM_InkLineSet(benchmark::State& state) {
  const int strokes = static_cast<int>(state.range(0));
  const LineSet set = hatching(strokes, static_cast<int>(state.range(1)));
  SbLineSettingsHQ settings;
  settings.setLineWidth(4.0f);
  settings.setMaxWidth(4.0f);
  settings.setTolerance(2.0f);
  settings.setRange(2.0f, 100.0f);
  SbInkStrokeBuilderHQ ink;
  ink.setSettings(&settings);
  ink.setResolution(2.0f);
  ink.setProjection(SbMatrix::identity(), SbVec2f(0, 0), SbVec2f(1280, 1024));
  SbLineSetView lines(set.points.data(), static_cast<int32_t>(set.points.size()), set.indices.data(),
                      static_cast<int32_t>(set.indices.size()));
  lines.setThickness(set.thickness.data(), static_cast<int32_t>(set.thickness.size()));
  lines.setDensity(set.density.data(), static_cast<int32_t>(set.density.size()));
  for (auto _ : state) {
    ink.clear();
    ink.addLineSet(lines);
    benchmark::DoNotOptimize(ink.solidTriangles().data());
  }
  state.counters["points/s"] =
      benchmark::Counter(static_cast<double>(set.points.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["triangles"] = static_cast<double>(ink.solidTriangles().size() / 3);
  state.counters["dots"] = static_cast<double>(ink.dots().size());
}

BENCHMARK(BM_InkLineSet)
    ->ArgNames({"strokes", "tone"})
    ->Args({200, 0})
    ->Args({200, 1})
    ->Args({200, 2})
    ->Args({2000, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
