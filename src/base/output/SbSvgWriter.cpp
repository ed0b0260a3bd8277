#include "output/SbSvgWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "output/SbOutputFile.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kQuarter = 0.5 * kPi;
// More turns than this only retrace the circle.
constexpr double kMaxSweep = 16.0 * 2.0 * kPi;

double pageSide(double v) { return std::isfinite(v) && v >= 1.0 ? v : 1.0; }
}  // namespace

SbSvgWriter::SbSvgWriter(double w, double h) : width(pageSide(w)), height(pageSide(h)) {}

void SbSvgWriter::appendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += '0';
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  if (result.ec != std::errc()) {
    out += '0';
    return;
  }
  char* end = result.ptr;
  // Trim trailing zeros and a bare decimal point.
  char* dot = nullptr;
  for (char* p = buffer; p < end; ++p)
    if (*p == '.') dot = p;
  if (dot) {
    while (end > dot + 1 && end[-1] == '0') --end;
    if (end == dot + 1) end = dot;
  }
  std::string_view text(buffer, static_cast<size_t>(end - buffer));
  if (text == "-0") text = "0";
  out.append(text.data(), text.size());
}

bool SbSvgWriter::finite(double a, double b) const { return std::isfinite(a) && std::isfinite(b); }

void SbSvgWriter::appendPoint(double x, double y) {
  appendNumber(path, x);
  path += ' ';
  appendNumber(path, height - y);
}

void SbSvgWriter::moveTo(double x, double y) {
  if (!finite(x, y)) {
    pathBroken = true;
    return;
  }
  if (!path.empty()) path += ' ';
  path += 'M';
  appendPoint(x, y);
}

void SbSvgWriter::lineTo(double x, double y) {
  if (path.empty()) {
    moveTo(x, y);
    return;
  }
  if (!finite(x, y)) {
    pathBroken = true;
    return;
  }
  path += " L";
  appendPoint(x, y);
}

void SbSvgWriter::arcTo(double cx, double cy, double r, double a0, double a1) {
  if (!finite(cx, cy) || !finite(a0, a1) || !std::isfinite(r) || r < 0.0) {
    pathBroken = true;
    return;
  }
  double sweep = a1 - a0;
  if (!std::isfinite(sweep)) {
    pathBroken = true;
    return;
  }
  if (std::fabs(sweep) > kMaxSweep) {
    double rest = std::fmod(sweep, 2.0 * kPi);
    if (std::fabs(rest) < 1e-12) rest = sweep > 0 ? 2.0 * kPi : -2.0 * kPi;
    sweep = rest;
  }
  lineTo(cx + r * std::cos(a0), cy + r * std::sin(a0));
  if (r == 0.0 || std::fabs(sweep) < 1e-12) return;
  // Quarter turns at most per "A" command: its end points then fix the arc
  // without ambiguity, and a full circle needs no special case.
  const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / kQuarter - 1e-9)));
  // Counter-clockwise on the y-up page is the negative angle direction of
  // SVG's y-down frame: sweep flag 0.
  const char* flags = sweep > 0 ? " 0 0 0 " : " 0 0 1 ";
  for (int i = 1; i <= n; ++i) {
    const double a = a0 + sweep * i / n;
    path += " A";
    appendNumber(path, r);
    path += ' ';
    appendNumber(path, r);
    path += flags;
    appendPoint(cx + r * std::cos(a), cy + r * std::sin(a));
  }
}

void SbSvgWriter::closePath() {
  if (!path.empty()) path += " Z";
}

void SbSvgWriter::fillPath() {
  if (pathBroken) {
    ++dropped;
  } else if (!path.empty()) {
    body += "<path d=\"";
    body += path;
    body += "\" fill=\"#000\" fill-rule=\"nonzero\"/>\n";
    ++shapes;
  }
  discardPath();
}

void SbSvgWriter::discardPath() {
  path.clear();
  pathBroken = false;
}

void SbSvgWriter::circle(double cx, double cy, double r) {
  if (!finite(cx, cy) || !std::isfinite(r) || r < 0.0) {
    ++dropped;
    return;
  }
  body += "<circle cx=\"";
  appendNumber(body, cx);
  body += "\" cy=\"";
  appendNumber(body, height - cy);
  body += "\" r=\"";
  appendNumber(body, r);
  body += "\" fill=\"#000\"/>\n";
  ++shapes;
}

void SbSvgWriter::polyline(const SbVec2f* points, int count, double penWidth) {
  if (!points || count < 2) return;
  for (int i = 0; i < count; ++i)
    if (!finite(points[i][0], points[i][1])) {
      ++dropped;
      return;
    }
  if (!std::isfinite(penWidth) || penWidth <= 0.0) penWidth = 0.5;
  body += "<polyline points=\"";
  for (int i = 0; i < count; ++i) {
    if (i) body += ' ';
    appendNumber(body, points[i][0]);
    body += ',';
    appendNumber(body, height - points[i][1]);
  }
  body += "\" fill=\"none\" stroke=\"#000\" stroke-width=\"";
  appendNumber(body, penWidth);
  body += "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
  ++shapes;
}

std::string SbSvgWriter::document() const {
  std::string w, h;
  appendNumber(w, width);
  appendNumber(h, height);
  std::string doc;
  doc.reserve(body.size() + 400);
  doc += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
  doc += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + w + "pt\" height=\"" + h +
         "pt\" viewBox=\"0 0 " + w + " " + h + "\">\n";
  doc += body;
  doc += "</svg>\n";
  return doc;
}

bool SbSvgWriter::write(const std::string& file) const {
  std::string why;
  if (SbOutputFile::write(file, document(), why)) return true;
  std::printf("SbSvgWriter::write: cannot write %s: %s\n", file.c_str(), why.c_str());
  return false;
}
