#ifndef LINFOLD_SBPLOTTERPATHS_H
#define LINFOLD_SBPLOTTERPATHS_H

// Pen paths for plotters: the centre lines of the strokes, one open polyline
// per run, ink dots as short marks; paths that touch end to end are merged,
// and the order (and direction) in which the pen draws them is chosen to cut
// the pen-up travel between them: greedy nearest neighbour, then 2-opt moves
// over the path sequence (reversing a stretch of paths and each path in it)
// with candidate lists of nearby end points, until no move gains or a time
// bound runs out.
//
// Units are whatever the caller uses (the plotter output uses page points,
// origin bottom-left, y up). No GL, no traversal state.

#include <Inventor/SbVec2f.h>

#include <string>
#include <vector>

class SbSvgWriter;

class SbPlotterPaths {
 public:
  struct Path {
    std::vector<SbVec2f> points;  // at least 2
    bool dot = false;             // a short mark standing for an ink dot
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

  // Ends of paths closer than this are one point when merged (no joining edge).
  static constexpr float kSamePoint = 1e-6f;

  void clear() { list.clear(); }
  // An open polyline. Non-finite points split it; repeated points are
  // dropped; a polyline that shrinks to one point is left out.
  void addPolyline(const SbVec2f* points, int count);
  // A dot as a horizontal mark of the given length centred on it (at least
  // 1e-3). Non-finite input is left out.
  void addDot(const SbVec2f& centre, float markLength);
  // The centre lines of the solid parts of a styled stroke: where the tone
  // is at least toneHigh and the radius above zero (ends cut at the linear
  // crossing of either limit). tone or radius may be null (all solid).
  void addSolidParts(const SbVec2f* points, const float* tone, const float* radius, int count,
                     float toneHigh);

  const std::vector<Path>& paths() const { return list; }
  int pathCount() const { return static_cast<int>(list.size()); }
  int dotCount() const;
  void removeDots();

  // Joins paths (not dots) whose ends lie within `tolerance` of each other,
  // reversing paths as needed; a merged path takes the place of its first
  // member in the list. Returns the number of joins.
  int merge(float tolerance);

  // Sum of the distances from the last point of each drawn path to the first
  // point of the next (travel to the first path and back home not counted).
  static double penUpTravel(const std::vector<Path>& paths, const std::vector<Step>& order);
  // The same for the paths in list order, each forwards.
  double penUpTravel() const;

  // An order of all paths, each exactly once: nearest neighbour from the
  // path end closest to `home`, then 2-opt until no move gains or `seconds`
  // have passed (0 or less: nearest neighbour only). `converged` (optional)
  // tells whether 2-opt finished on its own.
  static std::vector<Step> planOrder(const std::vector<Path>& paths, const SbVec2f& home, double seconds,
                                     bool* converged = nullptr);
  // Rearranges the list (reversing paths) in `order`; an order that is not a
  // permutation of the paths is ignored and false returned.
  bool applyOrder(const std::vector<Step>& order);

  // merge(tolerance), then planOrder and applyOrder. Never leaves the pen-up
  // travel above that of the paths as added: should the plan come out
  // longer, the paths stay as they were.
  Report optimise(float tolerance, const SbVec2f& home, double seconds);

  // Every path as an SVG polyline of the given pen width.
  void writeSvg(SbSvgWriter& svg, double penWidth) const;
  // A plain text file: comment lines starting with '#', then one path per
  // line as "x y x y ..." (numbers as SbSvgWriter::appendNumber writes them).
  std::string text(const std::string& comment) const;

 private:
  std::vector<Path> list;
};

#endif
