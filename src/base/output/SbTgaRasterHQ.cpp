#include "output/SbTgaRasterHQ.h"

#include <libart_lgpl/art_svp.h>
#include <libart_lgpl/art_svp_vpath.h>
#include <libart_lgpl/art_svp_intersect.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "core/SbOutputFile.h"

namespace {

const int kMaxSize = 65535;
// Limits of the point counts of one arc or dot, so that an absurd radius can
// neither exhaust memory nor stall the pass; 65536 points still place the
// points of any on-screen circle within a few pixels of each other.
const int kMaxSteps = 65536;
// Coordinates are kept within this distance of the image; what lies further
// out is invisible and libart's integer scan positions stay far from overflow.
const double kFarAway = 1e7;

const double kPi = 3.14159265358979323846;

void printWriteFailure() {
  std::printf("couldn't write TGA!\n");
  std::fflush(stdout);
}

}  // namespace

bool SbTgaRasterHQ::begin(int w, int h) {
  release();
  if (w < 1 || w > kMaxSize || h < 1 || h > kMaxSize) {
    std::printf("SbTgaRasterHQ::begin: image size %d x %d is outside 1..%d, no image\n", w, h, kMaxSize);
    return false;
  }
  try {
    pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 255);
  } catch (const std::bad_alloc&) {
    std::printf("SbTgaRasterHQ::begin: no memory for an image of %d x %d\n", w, h);
    return false;
  }
  width = w;
  height = h;
  halfWidth = w * 0.5f;
  halfHeight = h * 0.5f;
  return true;
}

uint8_t SbTgaRasterHQ::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height || pixels.empty()) return 255;
  return pixels[static_cast<std::size_t>(y) * width + x];
}

void SbTgaRasterHQ::addPoint(double x, double y) {
  double px = halfWidth + x;
  double py = halfHeight - y;
  if (!std::isfinite(px) || !std::isfinite(py)) {
    contourBroken = true;
    return;
  }
  px = std::clamp(px, -kFarAway, width + kFarAway);
  py = std::clamp(py, -kFarAway, height + kFarAway);
  contour.push_back(ArtVpath{contour.empty() ? ART_MOVETO : ART_LINETO, px, py});
}

void SbTgaRasterHQ::addLineTo(double x, double y) { addPoint(x, y); }

int SbTgaRasterHQ::arcSteps(double start, double end, double radius) {
  const double sweep = std::fabs(end - start);
  if (!std::isfinite(sweep) || !std::isfinite(radius)) return 1;
  // At least one point per quarter turn, at most 3 pixels of arc between points.
  const double quarters = std::ceil(sweep * 2.0 / kPi - 1e-6);
  const double pixels3 = std::ceil(sweep * std::fabs(radius) / 3.0);
  const double n = std::max(quarters, pixels3);
  // A zero sweep still takes one step (the divisor below must not be 0).
  return static_cast<int>(std::clamp(n, 1.0, static_cast<double>(kMaxSteps)));
}

void SbTgaRasterHQ::addArc(double cx, double cy, double radius, double start, double end) {
  const int n = arcSteps(start, end, radius);
  for (int i = 0; i <= n; ++i) {
    const double t = static_cast<double>(i) / n;
    const double a = (1.0 - t) * start + t * end;
    addPoint(cx + radius * std::cos(a), cy + radius * std::sin(a));
  }
}

void SbTgaRasterHQ::fillContour() {
  if (contourBroken) {
    std::printf("SbTgaRasterHQ::fillContour: a point is not finite, contour left out\n");
    contour.clear();
    contourBroken = false;
    return;
  }
  if (contour.empty()) return;
  const ArtVpath first = contour.front();
  contour.push_back(ArtVpath{ART_LINETO, first.x, first.y});
  contour.push_back(ArtVpath{ART_END, 0.0, 0.0});
  renderPath(contour);
  contour.clear();
}

int SbTgaRasterHQ::dotCorners(double radius) {
  double n = std::ceil(std::fabs(radius) * 2.0 * kPi / 3.0);
  if (!(n >= 5.0)) n = 5.0;  // also for a non-finite radius
  int corners = static_cast<int>(std::min(n, static_cast<double>(kMaxSteps)));
  if (corners % 2 == 0) ++corners;
  return corners;
}

std::vector<ArtVpath> SbTgaRasterHQ::dotPath(double cx, double cy, double radius) const {
  const int n = dotCorners(radius);
  std::vector<ArtVpath> path;
  path.reserve(static_cast<std::size_t>(n) + 2);
  for (int i = 0; i < n; ++i) {
    const double a = i * 2.0 * kPi / n;
    path.push_back(ArtVpath{i == 0 ? ART_MOVETO : ART_LINETO, halfWidth + cx + radius * std::cos(a),
                            halfHeight - (cy + radius * std::sin(a))});
  }
  path.push_back(ArtVpath{ART_LINETO, path.front().x, path.front().y});
  path.push_back(ArtVpath{ART_END, 0.0, 0.0});
  return path;
}

void SbTgaRasterHQ::drawDot(double cx, double cy, double radius) {
  if (pixels.empty()) return;
  if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius)) {
    std::printf("SbTgaRasterHQ::drawDot: a value is not finite, dot left out\n");
    return;
  }
  // A dot entirely off the image leaves every pixel as it is.
  const double x = halfWidth + cx, y = halfHeight - cy, r = std::fabs(radius);
  if (x + r < 0 || y + r < 0 || x - r > width || y - r > height) return;
  std::vector<ArtVpath> path = dotPath(cx, cy, radius);
  renderPath(path);
}

void SbTgaRasterHQ::renderPath(std::vector<ArtVpath>& path) {
  if (pixels.empty() || path.size() < 2) return;
  if (path.back().code != ART_END) path.push_back(ArtVpath{ART_END, 0.0, 0.0});
  // Sorted vector path, split at self-intersections and rewound with the
  // non-zero rule in one pass of libart's intersector. (The older pair
  // art_svp_uncross / art_svp_rewind_uncrossed never returns for a contour with
  // coincident edges, e.g. a circle traced twice or a zero-width stretch whose
  // two sides run along the same line.)
  ArtSVP* svp = art_svp_from_vpath(path.data());
  ArtSvpWriter* writer = art_svp_writer_rewind_new(ART_WIND_RULE_NONZERO);
  art_svp_intersector(svp, writer);
  ArtSVP* wound = art_svp_writer_rewind_reap(writer);
  art_svp_free(svp);
  art_svp_render_aa(wound, 0, 0, width, height, &SbTgaRasterHQ::span, this);
  art_svp_free(wound);
}

// Coverage arrives per row as a start value and steps of a running sum with
// 16 fractional bits; alpha = sum >> 16 runs 0..255. Ink darkens: full cover
// gives 0, partial cover scales the paper down, overlaps only darken further.
void SbTgaRasterHQ::darkenRun(uint8_t* row, int x0, int x1, int running) {
  x0 = std::max(x0, 0);
  x1 = std::min(x1, width);
  if (x0 >= x1) return;
  const int alpha = running >> 16;
  if (alpha <= 0) return;
  if (alpha >= 255) {
    std::fill(row + x0, row + x1, uint8_t(0));
    return;
  }
  for (int x = x0; x < x1; ++x) {
    const int p = row[x];
    row[x] = static_cast<uint8_t>(p + ((128 - (alpha + 1) * p) >> 8));
  }
}

void SbTgaRasterHQ::span(void* data, int y, int start, ArtSVPRenderAAStep* steps, int nSteps) {
  SbTgaRasterHQ* self = static_cast<SbTgaRasterHQ*>(data);
  if (y < 0 || y >= self->height) return;
  uint8_t* row = self->pixels.data() + static_cast<std::size_t>(y) * self->width;
  int running = start;
  int x = 0;
  for (int k = 0; k < nSteps; ++k) {
    self->darkenRun(row, x, steps[k].x, running);
    running += steps[k].delta;
    x = steps[k].x;
  }
  self->darkenRun(row, x, self->width, running);
}

bool SbTgaRasterHQ::write(const char* filename, std::string* reason) const {
  std::string why = pixels.empty() ? "no image" : "no file name";
  if (pixels.empty() || !filename || !*filename) {
    if (reason) *reason = why;
    printWriteFailure();
    return false;
  }
  std::vector<uint8_t> file;
  try {
    file.assign(18 + pixels.size(), 0);
  } catch (const std::bad_alloc&) {
    if (reason) *reason = "out of memory";
    printWriteFailure();
    return false;
  }
  file[2] = 3;  // uncompressed greyscale
  file[12] = static_cast<uint8_t>(width & 0xff);
  file[13] = static_cast<uint8_t>(width >> 8);
  file[14] = static_cast<uint8_t>(height & 0xff);
  file[15] = static_cast<uint8_t>(height >> 8);
  file[16] = 8;     // bits per pixel
  file[17] = 0x20;  // origin at the top left
  std::copy(pixels.begin(), pixels.end(), file.begin() + 18);
  if (!SbOutputFile::write(filename, file.data(), file.size(), why)) {
    if (reason) *reason = why;
    printWriteFailure();
    return false;
  }
  return true;
}

void SbTgaRasterHQ::release() {
  std::vector<uint8_t>().swap(pixels);
  contour.clear();
  contourBroken = false;
  width = height = 0;
  halfWidth = halfHeight = 0.0f;
}
