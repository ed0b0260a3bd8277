#ifndef LINFOLD_SBNUMBERTEXT_H
#define LINFOLD_SBNUMBERTEXT_H

#include <string>

// Numbers as the file formats want them, with a point as decimal separator
// whatever the C or C++ locale (std::to_chars never consults it; the
// application runs with the user's locale, where printf would write "1,5").
class SbNumberText {
 public:
  // Fixed point with `decimals` digits after the point, as "%.*f" writes it
  // in the C locale. With `trim`, trailing zeros and a bare point go. A value
  // that rounds to zero is written without a sign. A non-finite value is
  // written as 0 and the result is false.
  static bool appendFixed(std::string& out, double value, int decimals, bool trim = false);
  // As "%.*g" in the C locale (the default format of a C++ stream with that
  // precision).
  static bool appendGeneral(std::string& out, double value, int precision);
  // The shortest text that reads back as exactly the same float ("0.1",
  // "1e-07", "3.4028235e+38").
  static bool appendShortest(std::string& out, float value);
  static void appendInt(std::string& out, long long value);
};

#endif
