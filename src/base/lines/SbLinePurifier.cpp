#include "lines/SbLinePurifier.h"

#include <cmath>

float SbLinePurifier::defaultThreshold(Method method) {
  switch (method) {
    case SUBPIXEL_LENGTHS: return 2.0f;
    case ZIG_ZAGS: return 90.0f;
    case SHARP_ANGLES: return 45.0f;
    case SHORT_SEGMENTS: return 5.0f;
  }
  return 0.0f;
}

namespace {
// Turning angle in degrees from direction u to direction v (0 straight on,
// 180 straight back) and its sense; false when either is degenerate.
bool turn(const SbVec2d& u, const SbVec2d& v, double& degrees, double& sense) {
  const double lu = u.length(), lv = v.length();
  if (!(lu > 1e-9) || !(lv > 1e-9)) return false;
  const double c = std::max(-1.0, std::min(1.0, u.dot(v) / (lu * lv)));
  degrees = std::acos(c) * 180.0 / M_PI;
  sense = u[0] * v[1] - u[1] * v[0];
  return true;
}
}  // namespace

SbLineSet SbLinePurifier::run(const SbLineSet& in, const std::vector<SbVec2d>& screen, const std::vector<char>& valid,
                              Method method, float threshold) {
  SbLineSetBuilder builder(in, true);
  const double thr = std::isfinite(threshold) ? threshold : 0.0;
  std::vector<int> kept;
  in.forEachLine([&](int begin, int end) {
    if (end <= begin) return;
    auto pointOf = [&](int pos) { return in.indices[pos]; };
    auto ok = [&](int pos) { return valid[pointOf(pos)] != 0; };
    auto at = [&](int pos) { return screen[pointOf(pos)]; };
    kept.clear();
    kept.push_back(begin);
    switch (method) {
      case SUBPIXEL_LENGTHS: {
        for (int k = begin + 1; k < end; ++k) {
          const bool last = k == end - 1;
          const bool far = !ok(k) || !ok(kept.back()) || (at(k) - at(kept.back())).length() >= thr;
          if (far)
            kept.push_back(k);
          else if (last) {
            if (kept.size() > 1)
              kept.back() = k;
            else
              kept.push_back(k);  // judged below
          }
        }
        if (kept.size() == 2 && ok(kept[0]) && ok(kept[1]) && (at(kept[1]) - at(kept[0])).length() < thr) return;
        break;
      }
      case SHORT_SEGMENTS: {
        for (int k = begin + 1; k < end; ++k) {
          const bool last = k == end - 1;
          if (last || !ok(k) || !ok(kept.back()) || (at(k) - at(kept.back())).length() >= thr) {
            kept.push_back(k);
            continue;
          }
          // Too close; kept where the line turns back.
          if (ok(k + 1) && (at(k + 1) - at(k)).dot(at(k) - at(kept.back())) < 0.0) kept.push_back(k);
        }
        break;
      }
      case ZIG_ZAGS: {
        for (int k = begin + 1; k < end; ++k) {
          if (k + 2 < end && ok(k) && ok(k + 1) && ok(k + 2) && ok(kept.back())) {
            double a1, s1, a2, s2;
            if (turn(at(k) - at(kept.back()), at(k + 1) - at(k), a1, s1) &&
                turn(at(k + 1) - at(k), at(k + 2) - at(k + 1), a2, s2) && a1 > thr && a2 > thr && s1 * s2 < 0.0) {
              ++k;  // drop k and k + 1
              continue;
            }
          }
          kept.push_back(k);
        }
        break;
      }
      case SHARP_ANGLES: {
        for (int k = begin + 1; k < end; ++k) {
          if (k < end - 1 && ok(k) && ok(k + 1) && ok(kept.back())) {
            const SbVec2d a = at(kept.back()) - at(k), b = at(k + 1) - at(k);
            const double la = a.length(), lb = b.length();
            if (la > 1e-9 && lb > 1e-9) {
              const double c = std::max(-1.0, std::min(1.0, a.dot(b) / (la * lb)));
              if (std::acos(c) * 180.0 / M_PI < thr) continue;  // spike
            }
          }
          kept.push_back(k);
        }
        break;
      }
    }
    for (int pos : kept) builder.add(pos);
    builder.endLine(1);
  });
  return std::move(builder.result());
}
