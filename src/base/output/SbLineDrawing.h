#ifndef LINFOLD_SBLINEDRAWING_H
#define LINFOLD_SBLINEDRAWING_H

#include <Inventor/SbVec2d.h>
#include <Inventor/SbVec3f.h>

#include <string>
#include <vector>

struct PdfDocument;

// One stroke of a line drawing: a polyline in drawing inches (origin at the
// lower left corner of the page), with the stroke width (PDF points) and
// colour it is drawn with.
struct SbDrawnLine {
  std::vector<SbVec2d> points;
  double width = 0.0;      // 0: the document's line width
  SbVec3f color{0, 0, 0};  // stroke colour, components 0..1
};
using SbDrawing = std::vector<SbDrawnLine>;

// The square frame a drawing is fitted into, in inches: the larger side of the
// drawing spans drawingSize, with margin on either side
// (frameSize = drawingSize + 2 margin).
struct SbDrawingFrame {
  float frameSize = 8.2f;
  float drawingSize = 8.0906667f;
  float margin = 0.0546667f;
};

// The line drawing of the classic line output: fitting window-space polylines
// into the frame, writing them as a one-page PDF or as a text list of points,
// and reading both back.
class SbLineDrawing {
 public:
  // Maps polylines in window coordinates (pixels) to drawing inches:
  // x' = (x - minX) drawingSize / extent + margin (likewise y), with extent the
  // larger side of the bounding box of all points. An extent of 0 (one point,
  // or no point at all) maps with 1. pageWidth and pageHeight receive the
  // page: the bounding box mapped, plus a margin on each side, so its larger
  // side is frameSize.
  static SbDrawing fit(const std::vector<std::vector<SbVec2d>>& windowLines, const SbDrawingFrame& frame,
                       double& pageWidth, double& pageHeight);

  // Page box "0 0 w h" in whole points for a page of the given inches.
  static std::string pageBox(double pageWidth, double pageHeight);

  // Text layout: one line "x y" per point in the stream's default number
  // format (six significant digits, point as decimal separator), and an empty
  // line after each polyline.
  static std::string text(const SbDrawing& drawing);

  struct PdfStyle {
    bool compress = false;
    double lineWidth = 2.0;     // set once for the whole page unless perLineWidth
    bool perLineWidth = false;  // each line's own width, set just before its stroke
    bool perLineColor = false;  // each line's own colour, set before the line
  };
  // A one-page document with round caps and mitred joins, each line a path
  // (move, lines) stroked at its end, in the page's default domain (72 points
  // per inch). The caller saves and closes it. Returns null when the document
  // cannot be made.
  static PdfDocument* pdf(const SbDrawing& drawing, double pageWidth, double pageHeight, const PdfStyle& style);

  // Reading back. Text: points per line, a blank line ends a polyline.
  // PDF: the page's content stream (inflated when Flate-compressed); every
  // stroked path becomes one polyline per subpath, in inches, with the width
  // and stroke colour in force at its stroke operator. Return false when the
  // file cannot be read or holds no content stream.
  static bool parseText(const std::string& content, SbDrawing& out);
  static bool parsePdfContent(const std::string& content, SbDrawing& out);
  static bool readText(const std::string& path, SbDrawing& out);
  static bool readPdf(const std::string& path, SbDrawing& out);
  // The content stream of a one-page PDF file, inflated when needed.
  static bool pdfContentStream(const std::string& file, std::string& content);
};

#endif
