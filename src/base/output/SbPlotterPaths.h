#ifndef LINFOLD_SBPLOTTERPATHS_H
#define LINFOLD_SBPLOTTERPATHS_H

// Pen paths for plotters: the centre lines of the strokes, one open polyline
// per run, ink dots as short marks, each in a layer (silhouettes, hatching,
// dots) that a plotter may draw with its own pen; paths that touch end to
// end are merged, and the order (and direction) in which the pen draws them
// is chosen to cut the pen-up travel between them: greedy nearest neighbour,
// then 2-opt moves over the path sequence (reversing a stretch of paths and
// each path in it) with candidate lists of nearby end points, until no move
// gains or a time bound runs out. Each layer is ordered on its own and drawn
// whole before the next.
//
// Units are whatever the caller uses (the plotter output uses page points,
// origin bottom-left, y up). No GL, no traversal state.

#include <Inventor/SbVec2f.h>

#include <string>
#include <vector>

class SbSvgWriter;

class SbPlotterPaths {
 public:
  // In drawing order.
  enum Layer { SILHOUETTES = 0, HATCHING = 1, DOTS = 2 };
  static constexpr int kLayers = 3;
  // "silhouettes", "hatching", "dots".
  static const char* layerName(int layer);

  struct Path {
    std::vector<SbVec2f> points;  // at least 2
    Layer layer = HATCHING;       // DOTS: a short mark standing for an ink dot
    bool isDot() const { return layer == DOTS; }
  };
  // One drawn path of an order: the index of the path and whether it is
  // drawn from its last point to its first.
  struct Step {
    int path;
    bool reversed;
  };
  struct Report {
    double travelBefore = 0.0;  // pen-up travel of the paths as added
    double travelAfter = 0.0;   // after merging and ordering
    int merges = 0;             // joins made by merging
    bool converged = false;     // 2-opt ended with no gaining move (not by time)
  };
  // What absorbShort did.
  struct ShortReport {
    int joined = 0;              // short paths joined to a neighbour
    int dropped = 0;             // short paths left out
    double droppedLength = 0.0;  // their length
    double joinLength = 0.0;     // length of the edges that joined the others on
  };

  // Ends of paths closer than this are one point when merged (no joining edge).
  static constexpr float kSamePoint = 1e-6f;

  void clear() { list.clear(); }
  // An open polyline of a line layer (DOTS counts as HATCHING). Non-finite
  // points split it; repeated points are dropped; a polyline that shrinks to
  // one point is left out.
  void addPolyline(const SbVec2f* points, int count, Layer layer = HATCHING);
  // A dot as a horizontal mark of the given length centred on it (at least
  // 1e-3). Non-finite input is left out.
  void addDot(const SbVec2f& centre, float markLength);
  // The centre lines of the solid parts of a styled stroke: where the tone
  // is at least toneHigh and the radius above zero (ends cut at the linear
  // crossing of either limit). tone or radius may be null (all solid).
  void addSolidParts(const SbVec2f* points, const float* tone, const float* radius, int count, float toneHigh,
                     Layer layer = HATCHING);

  const std::vector<Path>& paths() const { return list; }
  int pathCount() const { return static_cast<int>(list.size()); }
  int dotCount() const;
  void removeDots();

  // Length of a polyline.
  static double length(const Path& path);
  // Summed length of the paths that are not dots.
  double lineLength() const;

  // Joins paths (not dots) of one layer whose ends lie within `tolerance` of
  // each other, reversing paths as needed; a merged path takes the place of
  // its first member in the list. Returns the number of joins.
  int merge(float tolerance);

  // Rids the line layers of paths shorter than `minLength` (the pen width: a
  // pen cannot draw them shorter than it is wide, and each costs a pen lift):
  // shortest first, a short path whose end lies within minLength of an end of
  // another path of its layer is joined to that path (the nearest such end;
  // the joining edge is shorter than the pen is wide, so it adds no visible
  // ink), and the result is looked at again if it is still short; a short
  // path that touches no end so is left out. The line length afterwards is
  // the length before, less droppedLength, plus joinLength. Dots are kept.
  ShortReport absorbShort(float minLength);

  // Sum of the distances from the last point of each drawn path to the first
  // point of the next (travel to the first path and back home not counted).
  static double penUpTravel(const std::vector<Path>& paths, const std::vector<Step>& order);
  // The same for the paths in list order, each forwards.
  double penUpTravel() const;

  // An order of all paths (whatever their layers), each exactly once: nearest neighbour from the
  // path end closest to `home`, then 2-opt until no move gains or `seconds`
  // have passed (0 or less: nearest neighbour only). `converged` (optional)
  // tells whether 2-opt finished on its own.
  static std::vector<Step> planOrder(const std::vector<Path>& paths, const SbVec2f& home, double seconds,
                                     bool* converged = nullptr);
  // Rearranges the list (reversing paths) in `order`; an order that is not a
  // permutation of the paths is ignored and false returned.
  bool applyOrder(const std::vector<Step>& order);

  // Layer by layer (silhouettes, hatching, dots; the order of the paths
  // within a layer kept): merge(tolerance), then planOrder from where the
  // previous layer ended (`home` for the first) and applyOrder, within one
  // time bound of `seconds` for all. A layer whose plan comes out longer
  // than its paths as they stood keeps them so, so the pen-up travel never
  // exceeds that of the paths as added once they are sorted by layer.
  Report optimise(float tolerance, const SbVec2f& home, double seconds);

  // Every path as an SVG polyline of the given pen width, in a layer of the
  // writer per layer of the paths (each declared, even when empty).
  void writeSvg(SbSvgWriter& svg, double penWidth) const;
  // A plain text file: comment lines starting with '#', then one path per
  // line as "x y x y ..." (numbers as SbSvgWriter::appendNumber writes them),
  // each layer's paths after a comment line "# layer NAME".
  std::string text(const std::string& comment) const;

 private:
  std::vector<Path> list;
};

#endif
