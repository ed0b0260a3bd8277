#include "output/SbSvgWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/Finite.h"
#include "core/SbNumberText.h"
#include "core/SbOutputFile.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kQuarter = 0.5 * kPi;
// More turns than this only retrace the circle.
constexpr double kMaxSweep = 16.0 * 2.0 * kPi;

double pageSide(double v) { return std::isfinite(v) && v >= 1.0 ? v : 1.0; }
}  // namespace

SbSvgWriter::SbSvgWriter(double w, double h) : width(pageSide(w)), height(pageSide(h)) {}

void SbSvgWriter::appendNumber(std::string& out, double value) { SbNumberText::appendFixed(out, value, 3, true); }

void SbSvgWriter::appendPoint(double x, double y) {
  appendNumber(path, x);
  path += ' ';
  appendNumber(path, height - y);
}

void SbSvgWriter::moveTo(double x, double y) {
  if (!finite(SbVec2d(x, y))) {
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
  if (!finite(SbVec2d(x, y))) {
    pathBroken = true;
    return;
  }
  path += " L";
  appendPoint(x, y);
}

void SbSvgWriter::arcTo(double cx, double cy, double r, double a0, double a1) {
  if (!finite(SbVec2d(cx, cy)) || !finite(SbVec2d(a0, a1)) || !std::isfinite(r) || r < 0.0) {
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

int SbSvgWriter::addLayer(const std::string& id) {
  layerIds.push_back(id);
  bodies.emplace_back();
  return static_cast<int>(layerIds.size()) - 1;
}

void SbSvgWriter::setLayer(int layer) {
  if (layer >= -1 && layer < layerCount()) body = static_cast<size_t>(layer + 1);
}

void SbSvgWriter::closePath() {
  if (!path.empty()) path += " Z";
}

void SbSvgWriter::fillPath() {
  if (pathBroken) {
    ++dropped;
  } else if (!path.empty()) {
    std::string& out = bodies[body];
    out += "<path d=\"";
    out += path;
    out += "\" fill=\"#000\" fill-rule=\"nonzero\"/>\n";
    ++shapes;
  }
  discardPath();
}

void SbSvgWriter::discardPath() {
  path.clear();
  pathBroken = false;
}

void SbSvgWriter::circle(double cx, double cy, double r) {
  if (!finite(SbVec2d(cx, cy)) || !std::isfinite(r) || r < 0.0) {
    ++dropped;
    return;
  }
  std::string& out = bodies[body];
  out += "<circle cx=\"";
  appendNumber(out, cx);
  out += "\" cy=\"";
  appendNumber(out, height - cy);
  out += "\" r=\"";
  appendNumber(out, r);
  out += "\" fill=\"#000\"/>\n";
  ++shapes;
}

void SbSvgWriter::polyline(const SbVec2f* points, int count, double penWidth) {
  if (!points || count < 2) return;
  for (int i = 0; i < count; ++i)
    if (!finite(SbVec2d(points[i][0], points[i][1]))) {
      ++dropped;
      return;
    }
  if (!std::isfinite(penWidth) || penWidth <= 0.0) penWidth = 0.5;
  std::string& out = bodies[body];
  out += "<polyline points=\"";
  for (int i = 0; i < count; ++i) {
    if (i) out += ' ';
    appendNumber(out, points[i][0]);
    out += ',';
    appendNumber(out, height - points[i][1]);
  }
  out += "\" fill=\"none\" stroke=\"#000\" stroke-width=\"";
  appendNumber(out, penWidth);
  out += "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
  ++shapes;
}

std::string SbSvgWriter::document() const {
  std::string w, h;
  appendNumber(w, width);
  appendNumber(h, height);
  size_t size = 400;
  for (const std::string& b : bodies) size += b.size() + 120;
  std::string doc;
  doc.reserve(size);
  doc += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
  doc += "<svg xmlns=\"http://www.w3.org/2000/svg\"";
  if (!layerIds.empty()) doc += " xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\"";
  doc += " version=\"1.1\" width=\"" + w + "pt\" height=\"" + h + "pt\" viewBox=\"0 0 " + w + " " + h + "\">\n";
  doc += bodies[0];
  for (size_t k = 0; k < layerIds.size(); ++k) {
    const std::string& id = layerIds[k];
    doc += "<g id=\"" + id + "\" inkscape:groupmode=\"layer\" inkscape:label=\"" + id + "\">\n";
    doc += bodies[k + 1];
    doc += "</g>\n";
  }
  doc += "</svg>\n";
  return doc;
}

bool SbSvgWriter::write(const std::string& file, std::string* reason) const {
  std::string why;
  if (SbOutputFile::write(file, document(), why)) return true;
  std::printf("SbSvgWriter::write: cannot write %s: %s\n", file.c_str(), why.c_str());
  if (reason) *reason = why;
  return false;
}
