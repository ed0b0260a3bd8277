#include "output/SbSteganography.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <locale>
#include <sstream>

namespace {

constexpr int kZeroFill = 16;
constexpr double kDegToRad = 0.01745329237161969;
// Written coordinates are exact to about 1e-5 inch (six significant digits in
// text, thousandths of a point in PDF); the decoders' tolerances lie well above.
constexpr double kRatioTolerance = SbSteganography::kRatioParameter * 1e-3;

double length(const SbVec2d& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1]); }
double cross(const SbVec2d& a, const SbVec2d& b) { return a[0] * b[1] - a[1] * b[0]; }

// Smallest perpendicular offset of a coded angle point (on the shortest
// segment that carries a bit); below a quarter of it a point is on the chord.
double angleOffsetThreshold() {
  return 0.25 * 0.5 * SbSteganography::kAngleMinSegment * std::tan(SbSteganography::kAngleDegrees * kDegToRad);
}

}  // namespace

// ---------------------------------------------------------------- framing

SbCodeBits::SbCodeBits(std::string c) : code(std::move(c)) {}

int SbCodeBits::next() {
  const long codeBits = 8L * long(code.size());
  int bit;
  if (position < codeBits) {
    const unsigned char byte = static_cast<unsigned char>(code[size_t(position / 8)]);
    bit = (byte >> (position % 8)) & 1;
  } else if (position < codeBits + kZeroFill) {
    bit = 0;
    ++zeros;
  } else {
    position = 0;  // the closing 1; the next bit starts the code again
    return 1;
  }
  ++position;
  return bit;
}

int SbCodeBits::completeBytes() const {
  const long codeBits = 8L * long(code.size());
  return int(std::min(position, codeBits) / 8);
}

int SbCodeBits::bitsOfByte() const {
  const long codeBits = 8L * long(code.size());
  return int(std::min(position, codeBits) % 8);
}

std::string SbSteganography::decodeFramed(const std::vector<int>& bits) {
  const size_t n = bits.size();
  size_t codeEnd = n;
  bool framed = false;
  size_t run = 0;
  for (size_t i = 0; i < n; ++i) {
    if (bits[i] == 1 && run >= size_t(kZeroFill)) {
      codeEnd = i - kZeroFill;
      framed = true;
      break;
    }
    run = bits[i] == 0 ? run + 1 : 0;
  }
  std::string code;
  for (size_t b = 0; b + 8 <= codeEnd; b += 8) {
    unsigned char byte = 0;
    for (int k = 0; k < 8; ++k) byte |= static_cast<unsigned char>((bits[b + k] & 1) << k);
    code.push_back(static_cast<char>(byte));
  }
  if (!framed)
    while (!code.empty() && code.back() == '\0') code.pop_back();
  return code;
}

// ---------------------------------------------------------------- width

void SbSteganography::encodeWidth(SbDrawing& drawing, const std::string&, double lineWidth, double offset,
                                  SbCodeBits& bits) {
  for (SbDrawnLine& line : drawing) line.width = bits.next() ? lineWidth + offset : lineWidth;
}

std::string SbSteganography::widthReport(const SbCodeBits& bits) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << "\nWrote " << bits.completeBytes() << " bytes and " << bits.bitsOfByte() << " bit(s) worth of information and "
      << double(bits.zeroFillBits()) * 0.125 << " bytes with zeros.\n";
  return out.str();
}

std::string SbSteganography::decodeWidth(const SbDrawing& drawing, double lineWidth, double offset) {
  std::vector<int> bits;
  bits.reserve(drawing.size());
  for (const SbDrawnLine& line : drawing) bits.push_back(line.width > lineWidth + 0.5 * offset ? 1 : 0);
  return decodeFramed(bits);
}

// ---------------------------------------------------------------- ratio

void SbSteganography::encodeRatio(SbDrawing& drawing, const std::string& code) {
  size_t character = 0;
  int scan = 0;  // next bit position to look at in the current character
  for (SbDrawnLine& line : drawing) {
    if (line.points.size() < 2 || code.empty()) continue;
    std::vector<SbVec2d> points;
    points.reserve(2 * line.points.size());
    points.push_back(line.points[0]);
    for (size_t j = 1; j < line.points.size(); ++j) {
      const SbVec2d a = line.points[j - 1], b = line.points[j];
      const unsigned char c = static_cast<unsigned char>(code[character]);
      int k = scan;
      while (k < 8 && !((c >> k) & 1)) ++k;
      if (k < 8) {
        if (k < 0 || k > 7) {
          printf("!!! Problem finding an encoded point !!!\n");
        } else {
          points.push_back(a + (b - a) * (k * 0.14285714285714285));
        }
        scan = k + 1;
      } else {  // no set bit left: this segment ends the character
        scan = 0;
        character = (character + 1) % code.size();
      }
      points.push_back(b);
    }
    line.points.swap(points);
  }
}

std::string SbSteganography::decodeRatio(const SbDrawing& drawing) {
  std::string out;
  unsigned char current = 0;
  auto near = [](const SbVec2d& p, const SbVec2d& q) { return length(p - q) <= kRatioTolerance; };
  for (const SbDrawnLine& line : drawing) {
    const std::vector<SbVec2d>& p = line.points;
    size_t i = 0;
    while (i + 1 < p.size()) {
      int k = -1;
      if (i + 2 < p.size() && !near(p[i + 1], p[i + 2])) {
        const SbVec2d chord = p[i + 2] - p[i];
        const double len2 = chord.dot(chord);
        if (len2 > 0.0) {
          const double t = (p[i + 1] - p[i]).dot(chord) / len2;
          const int kk = int(std::lround(t * 7.0));
          if (kk >= 0 && kk <= 7 && near(p[i + 1], p[i] + chord * (kk / 7.0))) k = kk;
        }
      }
      if (k >= 0) {
        current |= static_cast<unsigned char>(1u << k);
        i += 2;
      } else {
        if (current) out.push_back(static_cast<char>(current));
        current = 0;
        i += 1;
      }
    }
  }
  return out;
}

// ---------------------------------------------------------------- angle

void SbSteganography::encodeAngle(SbDrawing& drawing, const std::string& code) {
  SbCodeBits bits(code);
  const double angle = kAngleDegrees * kDegToRad;
  for (SbDrawnLine& line : drawing) {
    if (line.points.size() < 2) continue;
    std::vector<SbVec2d> points;
    points.reserve(2 * line.points.size());
    points.push_back(line.points[0]);
    for (size_t j = 1; j < line.points.size(); ++j) {
      const SbVec2d a = line.points[j - 1], b = line.points[j];
      const SbVec2d d = b - a;
      const double len = length(d);
      if (len >= kAngleMinSegment) {
        const double turn = bits.next() ? angle : -angle;
        const double c = std::cos(turn), s = std::sin(turn);
        const SbVec2d dir(d[0] / len, d[1] / len);
        const SbVec2d turned(c * dir[0] - s * dir[1], s * dir[0] + c * dir[1]);
        points.push_back(a + turned * (0.5 * len / std::cos(angle)));
      } else {
        points.push_back(a + d * 0.5);
      }
      points.push_back(b);
    }
    line.points.swap(points);
  }
}

std::string SbSteganography::decodeAngle(const SbDrawing& drawing) {
  std::vector<int> bits;
  const double threshold = angleOffsetThreshold();
  for (const SbDrawnLine& line : drawing) {
    const std::vector<SbVec2d>& p = line.points;
    for (size_t i = 1; i + 1 < p.size(); i += 2) {
      const SbVec2d chord = p[i + 1] - p[i - 1];
      const double len = length(chord);
      if (len <= 0.0) continue;
      const double offset = cross(chord, p[i] - p[i - 1]) / len;  // > 0: left of the chord
      if (std::fabs(offset) < threshold) continue;
      bits.push_back(offset > 0.0 ? 1 : 0);
    }
  }
  return decodeFramed(bits);
}

// ---------------------------------------------------------------- length

namespace {
double polylineLength(const std::vector<SbVec2d>& p) {
  double sum = 0.0;
  for (size_t i = 1; i < p.size(); ++i) sum += length(p[i] - p[i - 1]);
  return sum;
}
}  // namespace

void SbSteganography::encodeLength(SbDrawing& drawing, const std::string& code) {
  SbCodeBits bits(code);
  for (SbDrawnLine& line : drawing) {
    std::vector<SbVec2d>& p = line.points;
    if (p.empty()) continue;
    const int bit = bits.next();
    const double len = polylineLength(p);
    long steps = long(std::floor(len / kLengthStep));
    while ((steps & 1) != bit || (steps + 0.5) * kLengthStep < len) ++steps;
    const double extra = (steps + 0.5) * kLengthStep - len;
    // Lengthen along the last segment that has a direction (+x for a point).
    SbVec2d dir(1.0, 0.0);
    for (size_t i = p.size() - 1; i > 0; --i) {
      const SbVec2d d = p[i] - p[i - 1];
      const double l = length(d);
      if (l > 0.0) {
        dir = SbVec2d(d[0] / l, d[1] / l);
        break;
      }
    }
    if (p.size() == 1) p.push_back(p[0]);
    p.back() += dir * extra;
  }
}

std::string SbSteganography::decodeLength(const SbDrawing& drawing) {
  std::vector<int> bits;
  for (const SbDrawnLine& line : drawing) {
    if (line.points.size() < 2) continue;
    bits.push_back(int(long(std::floor(polylineLength(line.points) / kLengthStep)) & 1));
  }
  return decodeFramed(bits);
}

// ---------------------------------------------------------------- colour

void SbSteganography::encodeColor(SbDrawing& drawing, const std::string& code) {
  SbCodeBits bits(code);
  for (SbDrawnLine& line : drawing) line.color.setValue(0.0f, 0.0f, bits.next() ? kColorBlue : 0.0f);
}

std::string SbSteganography::decodeColor(const SbDrawing& drawing) {
  std::vector<int> bits;
  for (const SbDrawnLine& line : drawing) bits.push_back(line.color[2] > 0.5f * kColorBlue ? 1 : 0);
  return decodeFramed(bits);
}
