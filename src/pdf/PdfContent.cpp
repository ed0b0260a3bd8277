// Content operators of the PDF writer: path construction and painting, the
// transformation matrix, line and colour state, circles and arcs as cubic
// Bezier curves.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <new>

#include "PdfDocument.h"
#include "PdfInternal.h"
#include "core/SbNumberText.h"

namespace {

const char* const kLibraryName = "ClibPDF";

double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

// Appends a path construction line and marks where the path began.
void appendPath(PdfDocument* doc, PdfPage* page, const std::string& line) {
  try {
    if (page->pathStart == std::string::npos) page->pathStart = page->content.size();
    page->content += line;
  } catch (const std::bad_alloc&) {
    pdf_detail::reportMemoryFailure(doc);
  }
}

// Appends a painting operator, which ends the path.
void appendPaint(PdfDocument* doc, PdfPage* page, const char* line) {
  try {
    page->content += line;
  } catch (const std::bad_alloc&) {
    pdf_detail::reportMemoryFailure(doc);
  }
  page->pathStart = std::string::npos;
}

// Appends a graphics-state operator. PDF allows none of them between the
// start of a path and its painting operator, so while a path is open the line
// goes in front of the path; colour and line settings then still apply to the
// painting that follows, and the stream stays valid.
void appendState(PdfDocument* doc, PdfPage* page, const std::string& line) {
  try {
    if (page->pathStart == std::string::npos) {
      page->content += line;
    } else {
      page->content.insert(page->pathStart, line);
      page->pathStart += line.size();
    }
  } catch (const std::bad_alloc&) {
    pdf_detail::reportMemoryFailure(doc);
  }
}

std::string numbers(PdfDocument* doc, std::initializer_list<double> values, int decimals, const char* op) {
  std::string s;
  for (double v : values) {
    pdf_detail::appendNumber(doc, s, v, decimals);
    s += ' ';
  }
  s += op;
  s += '\n';
  return s;
}

void toDomain(PdfDocument* doc, PdfPage* page, double& x, double& y) {
  if (!page->domain.valid) {
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "Plot domain has not been set. See cpdf_setPlotDomain()");
    x = y = 0.0;
    return;
  }
  const PdfPlotDomain& d = page->domain;
  x = d.xorig + (x - d.xmin) * d.xscale;
  y = d.yorig + (y - d.ymin) * d.yscale;
}

}  // namespace

namespace pdf_detail {

bool appendNumber(PdfDocument* doc, std::string& out, double value, int decimals) {
  if (std::isfinite(value)) return SbNumberText::appendFixed(out, value, decimals);
  cpdf_Error(doc, PDF_WARNING, kLibraryName, "Non-finite number %s written as 0",
             std::isnan(value) ? "NaN" : (value > 0 ? "+Inf" : "-Inf"));
  SbNumberText::appendFixed(out, 0.0, decimals);
  return false;
}

PdfPage* currentPage(PdfDocument* doc, const char* op) {
  if (!doc) {
    cpdf_Error(nullptr, PDF_ERROR, kLibraryName, "%s: no document", op);
    return nullptr;
  }
  if (doc->currentPage < 1 || doc->currentPage > static_cast<int>(doc->pages.size()) ||
      !doc->pages[doc->currentPage - 1].initialized) {
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "%s: no page has been initialized. See cpdf_pageInit()", op);
    return nullptr;
  }
  doc->finalized = false;
  return &doc->pages[doc->currentPage - 1];
}

}  // namespace pdf_detail

using pdf_detail::currentPage;

void cpdf_rawMoveto(PdfDocument* doc, double x, double y) {
  PdfPage* page = currentPage(doc, "cpdf_rawMoveto");
  if (!page) return;
  appendPath(doc, page, numbers(doc, {x, y}, 3, "m"));
  page->currentX = page->subpathX = x;
  page->currentY = page->subpathY = y;
}

void cpdf_rawLineto(PdfDocument* doc, double x, double y) {
  PdfPage* page = currentPage(doc, "cpdf_rawLineto");
  if (!page) return;
  appendPath(doc, page, numbers(doc, {x, y}, 3, "l"));
  page->currentX = x;
  page->currentY = y;
}

void cpdf_rawCurveto(PdfDocument* doc, double x1, double y1, double x2, double y2, double x3, double y3) {
  PdfPage* page = currentPage(doc, "cpdf_rawCurveto");
  if (!page) return;
  appendPath(doc, page, numbers(doc, {x1, y1, x2, y2, x3, y3}, 3, "c"));
  page->currentX = x3;
  page->currentY = y3;
}

void cpdf_moveto(PdfDocument* doc, double x, double y) {
  PdfPage* page = currentPage(doc, "cpdf_moveto");
  if (!page) return;
  toDomain(doc, page, x, y);
  cpdf_rawMoveto(doc, x, y);
}

void cpdf_lineto(PdfDocument* doc, double x, double y) {
  PdfPage* page = currentPage(doc, "cpdf_lineto");
  if (!page) return;
  toDomain(doc, page, x, y);
  cpdf_rawLineto(doc, x, y);
}

void cpdf_closepath(PdfDocument* doc) {
  PdfPage* page = currentPage(doc, "cpdf_closepath");
  if (!page) return;
  appendPath(doc, page, "h\n");
  page->currentX = page->subpathX;
  page->currentY = page->subpathY;
}

void cpdf_stroke(PdfDocument* doc) {
  if (PdfPage* page = currentPage(doc, "cpdf_stroke")) appendPaint(doc, page, "S\n");
}

void cpdf_fill(PdfDocument* doc) {
  if (PdfPage* page = currentPage(doc, "cpdf_fill")) appendPaint(doc, page, "f\n");
}

void cpdf_concat(PdfDocument* doc, double a, double b, double c, double d, double e, double f) {
  PdfPage* page = currentPage(doc, "cpdf_concat");
  if (!page) return;
  if (page->pathStart != std::string::npos)
    cpdf_Error(doc, PDF_WARNING, kLibraryName, "cpdf_concat inside a path: the matrix is applied before the path");
  appendState(doc, page, numbers(doc, {a, b, c, d, e, f}, 4, "cm"));
}

void cpdf_translate(PdfDocument* doc, double tx, double ty) { cpdf_concat(doc, 1.0, 0.0, 0.0, 1.0, tx, ty); }

void cpdf_scale(PdfDocument* doc, double sx, double sy) { cpdf_concat(doc, sx, 0.0, 0.0, sy, 0.0, 0.0); }

void cpdf_setlinejoin(PdfDocument* doc, int join) {
  PdfPage* page = currentPage(doc, "cpdf_setlinejoin");
  if (!page) return;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d j\n", join);
  appendState(doc, page, buf);
}

void cpdf_setlinecap(PdfDocument* doc, int cap) {
  PdfPage* page = currentPage(doc, "cpdf_setlinecap");
  if (!page) return;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d J\n", cap);
  appendState(doc, page, buf);
}

void cpdf_setlinewidth(PdfDocument* doc, double width) {
  PdfPage* page = currentPage(doc, "cpdf_setlinewidth");
  if (!page) return;
  appendState(doc, page, numbers(doc, {width}, 4, "w"));
}

void cpdf_setgray(PdfDocument* doc, double gray) {
  PdfPage* page = currentPage(doc, "cpdf_setgray");
  if (!page) return;
  appendState(doc, page, numbers(doc, {std::isnan(gray) ? gray : clamp01(gray)}, 4, "g"));
}

void cpdf_setrgbcolorStroke(PdfDocument* doc, double r, double g, double b) {
  PdfPage* page = currentPage(doc, "cpdf_setrgbcolorStroke");
  if (!page) return;
  auto c = [](double v) { return std::isnan(v) ? v : clamp01(v); };
  appendState(doc, page, numbers(doc, {c(r), c(g), c(b)}, 4, "RG"));
}

void cpdf_circle(PdfDocument* doc, double x, double y, double r) {
  if (!currentPage(doc, "cpdf_circle")) return;
  // 0.552 r: the control distance that makes a Bezier quarter a close circle.
  const double k = 0.552 * r;
  cpdf_rawMoveto(doc, x + r, y);
  cpdf_rawCurveto(doc, x + r, y + k, x + k, y + r, x, y + r);
  cpdf_rawCurveto(doc, x - k, y + r, x - r, y + k, x - r, y);
  cpdf_rawCurveto(doc, x - r, y - k, x - k, y - r, x, y - r);
  cpdf_rawCurveto(doc, x + k, y - r, x + r, y - k, x + r, y);
  cpdf_closepath(doc);
}

// Each piece of the arc is one cubic Bezier curve. For a piece of half sweep h
// laid symmetric about the x axis, the curve from (r cos h, -r sin h) to
// (r cos h, r sin h) with both control points at x = (4 - cos h) r / 3 meets
// the circle in its ends and its middle and has the circle's tangents at its
// ends; the piece is then rotated to its middle angle.
void cpdf_arc(PdfDocument* doc, double x, double y, double r, double startDeg, double endDeg, int moveFirst) {
  if (!currentPage(doc, "cpdf_arc")) return;
  const double degToRad = 0.017453292522222223;
  const double a0 = startDeg * degToRad;
  const double sx = x + r * std::cos(a0), sy = y + r * std::sin(a0);
  if (moveFirst)
    cpdf_rawMoveto(doc, sx, sy);
  else
    cpdf_rawLineto(doc, sx, sy);

  double sweep = endDeg - startDeg;
  if (!std::isfinite(sweep)) {
    cpdf_Error(doc, PDF_WARNING, kLibraryName, "cpdf_arc: angles are not finite, arc left out");
    return;
  }
  if (std::fabs(sweep) < 1e-9) {
    // No sweep: the arc is its end point; no curve (its construction divides
    // by the sine of the half sweep).
    const double a1 = endDeg * degToRad;
    cpdf_rawLineto(doc, x + r * std::cos(a1), y + r * std::sin(a1));
    return;
  }
  // More than sixteen turns only retrace the circle; keep the remainder.
  const double maxSweep = 16 * 360.0;
  if (std::fabs(sweep) > maxSweep) {
    double rest = std::fmod(sweep, 360.0);
    if (std::fabs(rest) < 1e-9) rest = sweep > 0 ? 360.0 : -360.0;
    cpdf_Error(doc, PDF_WARNING, kLibraryName, "cpdf_arc: sweep of %.0f degrees reduced to %.3f", sweep, rest);
    sweep = rest;
  }

  const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / 90.0 - 1e-9)));
  const double pieceDeg = sweep / n;
  const double h = std::fabs(pieceDeg) * 0.5 * degToRad;
  const double c = std::cos(h), s = std::sin(h);
  const double mirror = sweep > 0 ? 1.0 : -1.0;  // y signs flip for a clockwise sweep
  const double px = (4.0 - c) * r / 3.0;
  const double py = (1.0 - c) * (3.0 - c) * r / (3.0 * s);
  // Local control and end points (the start point is the current point).
  const double lx[3] = {px, px, r * c};
  const double ly[3] = {-mirror * py, mirror * py, mirror * r * s};
  for (int i = 0; i < n; ++i) {
    const double mid = (startDeg + (i + 0.5) * pieceDeg) * degToRad;
    const double cm = std::cos(mid), sm = std::sin(mid);
    double out[6];
    for (int k = 0; k < 3; ++k) {
      out[2 * k] = x + lx[k] * cm - ly[k] * sm;
      out[2 * k + 1] = y + lx[k] * sm + ly[k] * cm;
    }
    cpdf_rawCurveto(doc, out[0], out[1], out[2], out[3], out[4], out[5]);
  }
}

const std::string* cpdf_currentContent(PdfDocument* doc) {
  if (!doc || doc->currentPage < 1 || doc->currentPage > static_cast<int>(doc->pages.size()) ||
      !doc->pages[doc->currentPage - 1].initialized)
    return nullptr;
  return &doc->pages[doc->currentPage - 1].content;
}
