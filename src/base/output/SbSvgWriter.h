#ifndef LINFOLD_SBSVGWRITER_H
#define LINFOLD_SBSVGWRITER_H

// Builds a one-page SVG document in memory and writes it in one piece.
//
// Coordinates are page points with the origin at the bottom-left corner and
// y up, as on a PDF page; the writer flips them into SVG's y-down frame, so
// the same numbers drawn through the PDF writer and through this one give
// the same picture. Angles are radians, counter-clockwise positive in that
// y-up frame. Numbers are written with std::to_chars (independent of the
// C locale), rounded to 1/1000 point.
//
// A shape with a non-finite coordinate or a negative radius is left out
// (counted by droppedShapes()); a path keeps its pieces until fillPath().
//
// Shapes can be sorted into layers: groups with an id that Inkscape shows as
// layers (and other editors as named groups), so a user can restyle or hide
// one kind of mark, or a plotter draw each with its own pen.

#include <Inventor/SbVec2f.h>

#include <string>
#include <vector>

class SbSvgWriter {
 public:
  // A page of width x height points (values below 1 point or non-finite
  // count as 1).
  SbSvgWriter(double width, double height);

  double pageWidth() const { return width; }
  double pageHeight() const { return height; }

  // --- filled paths of straight edges and circular arcs
  // Starts a new subpath at (x, y).
  void moveTo(double x, double y);
  // A straight edge from the current point (a move when the path is empty).
  void lineTo(double x, double y);
  // A circular arc about (cx, cy) of radius r from angle a0 to angle a1
  // (counter-clockwise when a1 > a0; a sweep of more than sixteen turns is
  // cut to its remainder, as the PDF writer does). The arc's start point is
  // joined to the current point by a straight edge, or starts the path.
  void arcTo(double cx, double cy, double r, double a0, double a1);
  void closePath();
  // Emits the collected subpaths as one path filled black with the non-zero
  // winding rule and starts a new path. An empty path emits nothing.
  void fillPath();
  // Drops the path under construction.
  void discardPath();
  bool pathEmpty() const { return path.empty(); }

  // --- layers
  // Declares a layer, written as <g id="ID" inkscape:groupmode="layer"
  // inkscape:label="ID"> in the order of declaration (later layers lie on
  // top), even when it stays empty. Returns its number. ID must be a valid
  // XML name (letters, digits, '-', '_').
  int addLayer(const std::string& id);
  // The shapes that follow go into layer `layer` (a number addLayer
  // returned), or outside every layer for -1, where they are at the start.
  // Other numbers are ignored.
  void setLayer(int layer);
  int layerCount() const { return static_cast<int>(layerIds.size()); }

  // --- other shapes
  // A filled black disc.
  void circle(double cx, double cy, double r);
  // An open polyline stroked black with round caps and joins, penWidth points
  // wide, not filled. Fewer than 2 points emit nothing.
  void polyline(const SbVec2f* points, int count, double penWidth);

  int shapeCount() const { return shapes; }
  int droppedShapes() const { return dropped; }

  // The complete document.
  std::string document() const;
  // Writes the document to `path` through SbOutputFile. On failure prints
  // "SbSvgWriter::write: cannot write <path>: <reason>\n", leaves any older
  // file untouched, sets `why` when given and returns false.
  bool write(const std::string& path, std::string* why = nullptr) const;

  // A number as the writer prints it: fixed point, at most three decimals,
  // no trailing zeros, "0" for values that round to zero. Non-finite values
  // give "0" (shapes with them are dropped before they get here).
  static void appendNumber(std::string& out, double value);

 private:
  void appendPoint(double x, double y);

  double width, height;
  // The shape elements written so far: [0] outside the layers, [1 + k] in
  // layer k; `body` is the one shapes go to now.
  std::vector<std::string> bodies{std::string()};
  std::vector<std::string> layerIds;
  size_t body = 0;
  std::string path;         // "d" of the path under construction
  bool pathBroken = false;  // a non-finite piece was added to it
  int shapes = 0;
  int dropped = 0;
};

#endif
