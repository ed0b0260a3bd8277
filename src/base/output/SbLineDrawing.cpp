#include "output/SbLineDrawing.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <locale>
#include <sstream>

#include "core/SbNumberText.h"
#include "pdf/PdfDocument.h"

namespace {

constexpr double kPointsPerInch = 72.0;

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool inflateAll(const std::string& packed, std::string& out) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  zs.avail_in = static_cast<uInt>(packed.size());
  out.clear();
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(buffer);
    zs.avail_out = sizeof(buffer);
    rc = inflate(&zs, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - zs.avail_out);
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;
  }
  inflateEnd(&zs);
  return rc == Z_STREAM_END;
}

bool parseNumber(const std::string& token, double& value) {
  if (token.empty()) return false;
  std::istringstream in(token);
  in.imbue(std::locale::classic());
  in >> value;
  return !in.fail() && in.peek() == std::char_traits<char>::eof() && std::isfinite(value);
}

}  // namespace

SbDrawing SbLineDrawing::fit(const std::vector<std::vector<SbVec2d>>& windowLines, const SbDrawingFrame& frame,
                             double& pageWidth, double& pageHeight) {
  double minX = std::numeric_limits<double>::max(), minY = minX;
  double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
  bool any = false;
  for (const auto& line : windowLines)
    for (const SbVec2d& p : line) {
      minX = std::min(minX, p[0]);
      maxX = std::max(maxX, p[0]);
      minY = std::min(minY, p[1]);
      maxY = std::max(maxY, p[1]);
      any = true;
    }
  if (!any) minX = maxX = minY = maxY = 0.0;
  double extent = std::max(maxX - minX, maxY - minY);
  if (!(extent > 0.0) || !std::isfinite(extent)) extent = 1.0;
  const double scale = double(frame.drawingSize) / extent;
  const double margin = frame.margin;
  pageWidth = (maxX - minX) * scale + 2.0 * margin;
  pageHeight = (maxY - minY) * scale + 2.0 * margin;

  SbDrawing drawing;
  drawing.reserve(windowLines.size());
  for (const auto& line : windowLines) {
    SbDrawnLine out;
    out.points.reserve(line.size());
    for (const SbVec2d& p : line)
      out.points.emplace_back((p[0] - minX) * scale + margin, (p[1] - minY) * scale + margin);
    drawing.push_back(std::move(out));
  }
  return drawing;
}

std::string SbLineDrawing::pageBox(double pageWidth, double pageHeight) {
  char box[64];
  std::snprintf(box, sizeof(box), "0 0 %i %i", int(pageWidth * kPointsPerInch + 0.5),
                int(pageHeight * kPointsPerInch + 0.5));
  return box;
}

std::string SbLineDrawing::text(const SbDrawing& drawing) {
  // The default format of a C++ stream: six significant digits.
  std::string out;
  for (const SbDrawnLine& line : drawing) {
    for (const SbVec2d& p : line.points) {
      SbNumberText::appendGeneral(out, p[0], 6);
      out += ' ';
      SbNumberText::appendGeneral(out, p[1], 6);
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

PdfDocument* SbLineDrawing::pdf(const SbDrawing& drawing, double pageWidth, double pageHeight, const PdfStyle& style) {
  PdfDocument* doc = cpdf_open(0, nullptr);
  if (!doc) return nullptr;
  cpdf_enableCompression(doc, style.compress ? 1 : 0);
  cpdf_init(doc);
  const std::string box = pageBox(pageWidth, pageHeight);
  if (cpdf_pageInit(doc, 1, PDF_PORTRAIT, box.c_str(), box.c_str()) != 0) {
    cpdf_close(doc);
    return nullptr;
  }
  cpdf_setlinejoin(doc, 0);
  cpdf_setlinecap(doc, 1);
  cpdf_setrgbcolorStroke(doc, 0, 0, 0);
  if (!style.perLineWidth) cpdf_setlinewidth(doc, style.lineWidth);
  for (const SbDrawnLine& line : drawing) {
    if (line.points.empty()) continue;
    if (style.perLineColor) cpdf_setrgbcolorStroke(doc, line.color[0], line.color[1], line.color[2]);
    cpdf_moveto(doc, line.points[0][0], line.points[0][1]);
    for (size_t i = 1; i < line.points.size(); ++i) cpdf_lineto(doc, line.points[i][0], line.points[i][1]);
    if (style.perLineWidth) cpdf_setlinewidth(doc, line.width);
    cpdf_stroke(doc);
  }
  return doc;
}

bool SbLineDrawing::parseText(const std::string& content, SbDrawing& out) {
  out.clear();
  std::istringstream in(content);
  std::string row;
  SbDrawnLine line;
  while (std::getline(in, row)) {
    std::istringstream fields(row);
    std::string xs, ys;
    if (!(fields >> xs)) {  // blank: the polyline ends
      if (!line.points.empty()) out.push_back(std::move(line));
      line = SbDrawnLine();
      continue;
    }
    double x = 0, y = 0;
    if (!(fields >> ys) || !parseNumber(xs, x) || !parseNumber(ys, y)) return false;
    line.points.emplace_back(x, y);
  }
  if (!line.points.empty()) out.push_back(std::move(line));
  return true;
}

bool SbLineDrawing::parsePdfContent(const std::string& content, SbDrawing& out) {
  out.clear();
  std::istringstream in(content);
  std::vector<double> operands;
  std::vector<SbDrawnLine> path;  // subpaths of the path under construction
  double width = 1.0;             // PDF's initial line width
  SbVec3f color(0, 0, 0);
  std::string token;
  while (in >> token) {
    double value = 0.0;
    if (parseNumber(token, value)) {
      operands.push_back(value);
      continue;
    }
    const size_t n = operands.size();
    if (token == "m" && n >= 2) {
      path.emplace_back();
      path.back().points.emplace_back(operands[n - 2] / kPointsPerInch, operands[n - 1] / kPointsPerInch);
    } else if (token == "l" && n >= 2 && !path.empty()) {
      path.back().points.emplace_back(operands[n - 2] / kPointsPerInch, operands[n - 1] / kPointsPerInch);
    } else if (token == "w" && n >= 1) {
      width = operands[n - 1];
    } else if (token == "RG" && n >= 3) {
      color.setValue(float(operands[n - 3]), float(operands[n - 2]), float(operands[n - 1]));
    } else if (token == "S") {
      for (SbDrawnLine& line : path) {
        line.width = width;
        line.color = color;
        out.push_back(std::move(line));
      }
      path.clear();
    } else if (token == "n" || token == "f") {
      path.clear();
    }
    operands.clear();
  }
  return true;
}

bool SbLineDrawing::pdfContentStream(const std::string& file, std::string& content) {
  // A one-page document has a single stream: the page's content.
  const size_t keyword = file.find("stream\n");
  if (keyword == std::string::npos) return false;
  const size_t begin = keyword + 7;
  const size_t dict = file.rfind("obj", keyword);
  const bool flate = dict != std::string::npos && file.find("/FlateDecode", dict) < keyword;
  const size_t lengthKey = file.find("/Length", dict == std::string::npos ? 0 : dict);
  if (lengthKey == std::string::npos || lengthKey > keyword) return false;
  const long length = std::strtol(file.c_str() + lengthKey + 7, nullptr, 10);
  if (length < 0 || begin + size_t(length) > file.size()) return false;
  const std::string raw = file.substr(begin, size_t(length));
  if (!flate) {
    content = raw;
    return true;
  }
  return inflateAll(raw, content);
}

bool SbLineDrawing::readText(const std::string& path, SbDrawing& out) {
  std::string content;
  return readFile(path, content) && parseText(content, out);
}

bool SbLineDrawing::readPdf(const std::string& path, SbDrawing& out) {
  std::string file, content;
  return readFile(path, file) && pdfContentStream(file, content) && parsePdfContent(content, out);
}
