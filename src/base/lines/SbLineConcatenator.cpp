#include "lines/SbLineConcatenator.h"

#include <deque>

SbLineSet SbLineConcatenator::run(const SbLineSet& in) {
  SbLineSetBuilder builder(in, false);
  struct Segment {
    int a, b;  // index positions of its two entries
  };
  std::vector<Segment> segments;
  in.forEachLine([&](int begin, int end) {
    if (end - begin == 2) {
      segments.push_back({begin, begin + 1});
    } else if (end > begin) {
      for (int k = begin; k < end; ++k) builder.add(k);
      builder.endLine(1);
    }
  });
  const int np = static_cast<int>(in.points.size());
  std::vector<int> degree(np, 0);
  std::vector<int> incident(size_t(np) * 2, -1);  // first two segments at each point
  for (int s = 0; s < static_cast<int>(segments.size()); ++s) {
    for (int pos : {segments[s].a, segments[s].b}) {
      const int p = in.indices[pos];
      if (degree[p] < 2) incident[size_t(p) * 2 + degree[p]] = s;
      ++degree[p];
    }
  }
  std::vector<char> used(segments.size(), 0);
  // The segment at point p other than `from`, when p is a plain chain point.
  auto next = [&](int p, int from) {
    if (degree[p] != 2) return -1;
    const int s0 = incident[size_t(p) * 2], s1 = incident[size_t(p) * 2 + 1];
    const int s = s0 == from ? s1 : s0;
    return s >= 0 && !used[s] ? s : -1;
  };
  std::deque<int> chain;
  for (int s = 0; s < static_cast<int>(segments.size()); ++s) {
    if (used[s]) continue;
    used[s] = 1;
    chain.assign({segments[s].a, segments[s].b});
    const int startPoint = in.indices[segments[s].a];
    // Forward from the second end.
    int cur = s, p = in.indices[segments[s].b];
    bool closed = false;
    for (int t; p != startPoint && (t = next(p, cur)) >= 0;) {
      used[t] = 1;
      const int pos = in.indices[segments[t].a] == p ? segments[t].b : segments[t].a;
      chain.push_back(pos);
      cur = t;
      p = in.indices[pos];
    }
    closed = p == startPoint && chain.size() > 2;
    if (!closed) {
      // Backward from the first end.
      cur = s;
      p = startPoint;
      for (int t; (t = next(p, cur)) >= 0;) {
        used[t] = 1;
        const int pos = in.indices[segments[t].a] == p ? segments[t].b : segments[t].a;
        chain.push_front(pos);
        cur = t;
        p = in.indices[pos];
      }
    }
    for (int pos : chain) builder.add(pos);
    builder.endLine(1);
  }
  return std::move(builder.result());
}
