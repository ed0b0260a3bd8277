#ifndef LINFOLD_SBTGARASTERHQ_H
#define LINFOLD_SBTGARASTERHQ_H

// An 8-bit greyscale raster for the HQ ink, filled with anti-aliased polygons
// through libart's sorted-vector-path renderer, and written as an uncompressed
// top-down TGA file. Paper is 255, ink 0.
//
// Input coordinates are pixels relative to the image centre with y up (those
// of the HQ line output); they map to image pixels as x' = halfWidth + x,
// y' = halfHeight - y.

#include <libart_lgpl/art_svp_render_aa.h>
#include <libart_lgpl/art_vpath.h>

#include <cstdint>
#include <string>
#include <vector>

class SbTgaRasterHQ {
 public:
  SbTgaRasterHQ() = default;
  SbTgaRasterHQ(const SbTgaRasterHQ&) = delete;
  SbTgaRasterHQ& operator=(const SbTgaRasterHQ&) = delete;

  // Allocates a white image of width x height pixels (a previous image is
  // dropped). Sizes outside 1..65535 (the TGA header holds 16 bits) are
  // refused with a message; returns false then and holds no image.
  bool begin(int width, int height);
  bool hasImage() const { return !pixels.empty(); }
  int getWidth() const { return width; }
  int getHeight() const { return height; }
  // Row by row from the top row; width x height bytes.
  const std::vector<uint8_t>& getPixels() const { return pixels; }
  // The pixel in column x, row y (row 0 at the top); 255 outside the image.
  uint8_t pixel(int x, int y) const;

  // Contour under construction (centre-origin coordinates, angles in radians).
  // A straight edge to (x, y).
  void addLineTo(double x, double y);
  // Points along the circle (cx, cy, radius) from angle start to end, both
  // included, at least one per quarter turn and at most 3 pixels apart.
  void addArc(double cx, double cy, double radius, double start, double end);
  // Closes the contour, fills it (non-zero winding) and empties it. Nothing
  // when the contour is empty; a contour with a non-finite point is reported
  // and dropped.
  void fillContour();
  // Fills the disc (cx, cy, radius) as a polygon of dotCorners(radius) corners.
  void drawDot(double cx, double cy, double radius);

  // Number of points of an arc piece beyond its first one.
  static int arcSteps(double start, double end, double radius);
  // Corners of a dot's polygon: max(5, ceil(2 pi radius / 3)), made odd.
  static int dotCorners(double radius);
  // The closed path that drawDot renders, in image pixels: a move-to, the
  // other corners, a line-to back to the first corner, and the end element.
  std::vector<ArtVpath> dotPath(double cx, double cy, double radius) const;

  // Fills a closed path given in image pixels (move-to ... end) with the
  // non-zero winding rule, darkening the image by the anti-aliased coverage.
  void renderPath(std::vector<ArtVpath>& path);

  // Writes the 18-byte header and the pixels through SbOutputFile. On any
  // failure (no image, the file cannot be created or is refused, a short
  // write) prints "couldn't write TGA!", leaves no file behind (an older file
  // of that name stays as it was), sets `why` when given and returns false.
  bool write(const char* filename, std::string* why = nullptr) const;
  // Frees the image and any contour under construction.
  void release();

 private:
  static void span(void* data, int y, int start, ArtSVPRenderAAStep* steps, int nSteps);
  void addPoint(double x, double y);
  void darkenRun(uint8_t* row, int x0, int x1, int running);

  int width = 0;
  int height = 0;
  float halfWidth = 0.0f;
  float halfHeight = 0.0f;
  std::vector<uint8_t> pixels;
  std::vector<ArtVpath> contour;  // image pixel coordinates
  bool contourBroken = false;     // a non-finite point was added
};

#endif
