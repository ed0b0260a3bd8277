#include "core/SbNumberText.h"

#include <charconv>
#include <cmath>

namespace {

// The digits of a negative number that rounds to zero ("-0.000") lose the sign.
const char* withoutNegativeZero(const char* begin, const char* end) {
  if (*begin != '-') return begin;
  for (const char* p = begin + 1; p < end; ++p)
    if (*p != '0' && *p != '.') return begin;
  return begin + 1;
}

}  // namespace

bool SbNumberText::appendFixed(std::string& out, double value, int decimals, bool trim) {
  if (!std::isfinite(value)) {
    out += '0';
    return false;
  }
  char buffer[400];  // the largest double has 309 digits before the point
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) {
    out += '0';
    return false;
  }
  char* end = r.ptr;
  if (trim && decimals > 0) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  const char* begin = withoutNegativeZero(buffer, end);
  out.append(begin, static_cast<size_t>(end - begin));
  return true;
}

bool SbNumberText::appendGeneral(std::string& out, double value, int precision) {
  if (!std::isfinite(value)) {
    out += '0';
    return false;
  }
  char buffer[64];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  if (r.ec != std::errc()) {
    out += '0';
    return false;
  }
  out.append(buffer, r.ptr);
  return true;
}

bool SbNumberText::appendShortest(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += '0';
    return false;
  }
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (r.ec != std::errc()) {
    out += '0';
    return false;
  }
  out.append(buffer, r.ptr);
  return true;
}

void SbNumberText::appendInt(std::string& out, long long value) {
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}
