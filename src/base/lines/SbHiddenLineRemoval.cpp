#include "lines/SbHiddenLineRemoval.h"

#include "lines/SbLineDepthCache.h"

SbLineSet SbHiddenLineRemoval::run(const SbLineSet& input, const SbWindowProjector& projector, SbLineDepthCache& cache,
                                   float maxPixels) {
  const SbLineSet* source = &input;
  SbLineSet withParameters;
  if (input.parameters.size() != input.indices.size()) {
    withParameters = input;
    withParameters.parameters.assign(input.indices.size(), -1.0f);
    input.forEachLine([&](int begin, int end) {
      double total = 0.0;
      for (int k = begin + 1; k < end; ++k)
        total += (input.points[input.indices[k]] - input.points[input.indices[k - 1]]).length();
      double along = 0.0;
      for (int k = begin; k < end; ++k) {
        if (k > begin) along += (input.points[input.indices[k]] - input.points[input.indices[k - 1]]).length();
        withParameters.parameters[k] = total > 0.0 ? float(along / total) : 0.0f;
      }
    });
    source = &withParameters;
  }
  const SbLineSet& in = *source;
  SbLineSetBuilder builder(in, true);
  std::vector<std::pair<float, float>> intervals;
  in.forEachLine([&](int begin, int end) {
    bool open = false;  // a run reaches the current segment's start
    for (int k = begin; k + 1 < end; ++k) {
      SbLineVisibility::visibleIntervals(in.points[in.indices[k]], in.points[in.indices[k + 1]], projector, cache,
                                         maxPixels, intervals);
      if (open && (intervals.empty() || intervals.front().first > 0.0f)) {
        builder.endLine(2);
        open = false;
      }
      for (const auto& iv : intervals) {
        if (!open) builder.addBetween(k, k + 1, iv.first);
        if (iv.second >= 1.0f) {
          builder.add(k + 1);
          open = true;
        } else {
          builder.addBetween(k, k + 1, iv.second);
          builder.endLine(2);
          open = false;
        }
      }
    }
    builder.endLine(2);
  });
  return std::move(builder.result());
}
