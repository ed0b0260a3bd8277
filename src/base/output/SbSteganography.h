#ifndef LINFOLD_SBSTEGANOGRAPHY_H
#define LINFOLD_SBSTEGANOGRAPHY_H

#include <string>
#include <vector>

#include "output/SbLineDrawing.h"

// The framed bit stream of the one-bit-per-carrier modes: the code's bytes,
// least significant bit first, then 16 zero bits, then one 1 bit, and again
// from the code's first byte for as long as carriers remain.
class SbCodeBits {
 public:
  explicit SbCodeBits(std::string code);
  int next();
  // For the report: complete code bytes and bits of the byte in progress in
  // the current pass over the code, and the zero fill bits sent in total.
  int completeBytes() const;
  int bitsOfByte() const;
  long zeroFillBits() const { return zeros; }

 private:
  std::string code;
  long position = 0;  // bit position in the current pass
  long zeros = 0;
};

// Hiding a code in a line drawing (inches, as SbLineDrawing fits it), and
// reading it back from the drawing as written. Every encoder works on the
// lines in order and keeps its place in the code from one line to the next.
class SbSteganography {
 public:
  // Width: each line carries one framed bit; a 1 gives it the width
  // lineWidth + offset, a 0 lineWidth.
  static void encodeWidth(SbDrawing& drawing, const std::string& code, double lineWidth, double offset,
                          SbCodeBits& bits);
  // The report printed after a width-coded drawing:
  // "\nWrote N bytes and B bit(s) worth of information and Z bytes with zeros.\n".
  static std::string widthReport(const SbCodeBits& bits);
  // A line is a 1 when wider than lineWidth + offset / 2.
  static std::string decodeWidth(const SbDrawing& drawing, double lineWidth, double offset);

  // Ratio: each segment of a line, in order, carries the position k (0..7)
  // of the next set bit of the current character as an extra point at k / 7
  // along it; a segment without an extra point ends the character. The code
  // is read until its end and then from its first character again.
  static constexpr double kRatioParameter = 0.1;
  static void encodeRatio(SbDrawing& drawing, const std::string& code);
  // The characters read back, complete ones only (the code repeated). An
  // interior point counts as extra when it lies within kRatioParameter
  // thousandths of an inch of the position k / 7 on the segment from its
  // predecessor to its successor. A point at 7/7 cannot be told from a
  // character end followed by a point at 0/7; it is read as the latter, so
  // bit 7 of a byte is not read back (text codes are 7-bit).
  static std::string decodeRatio(const SbDrawing& drawing);

  // Angle rule (one framed bit per segment of at least kAngleMinSegment
  // inches): an extra point is stepped from the segment's start along its
  // direction turned by kAngleDegrees, left for a 1 and right for a 0, by the
  // length that puts it over the segment's midpoint; shorter segments get their
  // midpoint and carry nothing.
  static constexpr double kAngleDegrees = 5.0;
  static constexpr double kAngleMinSegment = 0.01;
  static void encodeAngle(SbDrawing& drawing, const std::string& code);
  static std::string decodeAngle(const SbDrawing& drawing);

  // Length rule (one framed bit per line): the bit is the parity of the line's
  // length counted in kLengthStep-inch steps; the last segment is lengthened
  // (by less than two steps) to the middle of the next step of that parity.
  static constexpr double kLengthStep = 0.02;
  static void encodeLength(SbDrawing& drawing, const std::string& code);
  static std::string decodeLength(const SbDrawing& drawing);

  // Colour rule (one framed bit per line): a 1 draws the line in the darkest
  // blue (0, 0, 1/255), which the eye cannot tell from black; a 0 in black.
  static constexpr float kColorBlue = 1.0f / 255.0f;
  static void encodeColor(SbDrawing& drawing, const std::string& code);
  static std::string decodeColor(const SbDrawing& drawing);

  // The code framed in `bits` (SbCodeBits): the bytes before the first run of
  // 16 zeros that is followed by a 1. Without such a run, the complete bytes
  // read, with trailing zero bytes dropped.
  static std::string decodeFramed(const std::vector<int>& bits);
};

#endif
