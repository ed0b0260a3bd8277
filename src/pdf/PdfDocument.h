#ifndef LINFOLD_PDFDOCUMENT_H
#define LINFOLD_PDFDOCUMENT_H

// A small procedural PDF writer for one-page vector documents.
//
// Use: cpdf_open, optionally cpdf_enableCompression, cpdf_init, cpdf_pageInit,
// drawing calls (they append operator lines to the current page's content
// stream), cpdf_finalizeAll (builds the whole file in memory),
// cpdf_savePDFmemoryStreamToFile, cpdf_close.
//
// Errors go through cpdf_Error, which prints one line to standard output and
// lets processing continue. Numbers are always written with a point as the
// decimal separator, whatever the process locale; a non-finite number is
// written as 0 and reported.

#include <cstddef>
#include <string>
#include <vector>

// Page orientation for cpdf_pageInit.
constexpr int PDF_PORTRAIT = 0;   // /Rotate 0
constexpr int PDF_LANDSCAPE = 1;  // /Rotate 90

// Levels of cpdf_Error.
constexpr int PDF_WARNING = 1;
constexpr int PDF_ERROR = 2;

// Catalog settings, written only when set (not NONE).
enum PdfPageMode { PDF_PAGEMODE_NONE, PDF_USE_NONE, PDF_USE_OUTLINES, PDF_USE_THUMBS, PDF_FULL_SCREEN };
enum PdfPageLayout { PDF_LAYOUT_NONE, PDF_SINGLE_PAGE, PDF_ONE_COLUMN, PDF_TWO_COLUMN_LEFT, PDF_TWO_COLUMN_RIGHT };
enum PdfViewerPreference {
  PDF_HIDE_TOOLBAR = 1,
  PDF_HIDE_MENUBAR = 2,
  PDF_HIDE_WINDOW_UI = 4,
  PDF_FIT_WINDOW = 8,
  PDF_CENTER_WINDOW = 16
};

// Capacities of a document; a value <= 0 takes the default of 100.
struct PdfDocLimits {
  int nMaxPages = 100;
  int nMaxFonts = 100;
  int nMaxImages = 100;
  int nMaxAnnots = 100;
};

// Maps domain coordinates to points: x_pt = xorig + (x - xmin) * xscale.
struct PdfPlotDomain {
  bool valid = false;
  double xorig = 0.0, yorig = 0.0;
  double xmin = 0.0, ymin = 0.0;
  double xscale = 72.0, yscale = 72.0;
};

struct PdfPage {
  bool initialized = false;
  int objectNumber = 0;  // assigned by cpdf_finalizeAll
  int parentNumber = 0;
  int contentNumber = 0;
  int rotation = 0;      // degrees, as written in /Rotate
  std::string mediaBox;  // four numbers, e.g. "0 0 595 842"
  std::string cropBox;
  std::string content;  // the page's content stream, uncompressed
  PdfPlotDomain domain;
  double currentX = 0.0, currentY = 0.0;  // current point, in points
  double subpathX = 0.0, subpathY = 0.0;  // start of the current subpath
  // Byte position in `content` where the path under construction begins, or
  // npos when no path is open. Graphics-state operators issued while a path is
  // open are placed here, before the path, where PDF allows them.
  std::size_t pathStart = std::string::npos;
};

enum PdfDocState { PDF_STATE_OPENED = 1, PDF_STATE_INITIALIZED = 2 };

struct PdfDocument {
  int state = PDF_STATE_OPENED;
  int versionMajor = 1;
  int versionMinor = 1;
  bool compress = false;
  std::string filterName = "/FlateDecode";
  PdfDocLimits limits;
  std::vector<PdfPage> pages;       // index = page number - 1, grown on demand
  int currentPage = 0;              // 0: none
  std::string stream;               // the finished file, after cpdf_finalizeAll
  bool finalized = false;           // `stream` is up to date with the document
  std::vector<long> objectOffsets;  // index = object number; [0] unused
  std::string creator = "A ClibPDF program";
  std::string title = "No Title";
  std::string subject = "None";
  std::string keywords = "ClibPDF";
  std::string author;
  PdfPageMode pageMode = PDF_PAGEMODE_NONE;
  PdfPageLayout pageLayout = PDF_LAYOUT_NONE;
  unsigned viewerPreferences = 0;  // PdfViewerPreference bits
};

// Prints "<module> <warning|error>: <message>\n" to standard output; module is
// "ClibPDF" when null. doc may be null.
void cpdf_Error(PdfDocument* doc, int level, const char* module, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// ---------------------------------------------------------------- document
// Creates a document (version 1.1, compression off). pspdf is unused (0);
// limits may be null for the defaults. Returns null when memory runs out.
PdfDocument* cpdf_open(int pspdf, const PdfDocLimits* limits);
// flag 0 turns compression off; otherwise compression with Flate is on and the
// version is raised to at least 1.2.
void cpdf_enableCompression(PdfDocument* doc, int flag);
// Starts the document: sets the author and marks every page uninitialised.
void cpdf_init(PdfDocument* doc);
// Initialises page `page` (1-based) and makes it current. rotation is
// PDF_PORTRAIT or PDF_LANDSCAPE; the boxes are four numbers ("0 0 595 842");
// a null crop box takes the media box. Returns 0, or -1 for a page number that
// is below 1 or above the page capacity. An already initialised page is
// reported and made current, returning 0.
int cpdf_pageInit(PdfDocument* doc, int page, int rotation, const char* mediaBox, const char* cropBox);
// Makes an initialised page current; returns 0, or -1 when it is not initialised.
int cpdf_setCurrentPage(PdfDocument* doc, int page);
void cpdf_setCreator(PdfDocument* doc, const char* text);
void cpdf_setTitle(PdfDocument* doc, const char* text);
void cpdf_setSubject(PdfDocument* doc, const char* text);
void cpdf_setKeywords(PdfDocument* doc, const char* text);
void cpdf_setPageMode(PdfDocument* doc, PdfPageMode mode);
void cpdf_setPageLayout(PdfDocument* doc, PdfPageLayout layout);
void cpdf_setViewerPreferences(PdfDocument* doc, unsigned flags);
// Writes the complete file into the document's memory stream.
void cpdf_finalizeAll(PdfDocument* doc);
// The finished file (finalising first when needed); length may be null.
const char* cpdf_getBufferForPDF(PdfDocument* doc, long* length);
// Writes the memory stream (finalising first when needed) to `path` through
// SbOutputFile: a failure leaves no file and any older file of that name
// intact, and devices, pipes, links, read-only files and inputs of the run are
// refused. Returns false, after a message, when the file cannot be written
// completely; `why`, when given, receives the reason in words.
bool cpdf_savePDFmemoryStreamToFile(PdfDocument* doc, const char* path, std::string* why = nullptr);
// Frees the document; null is allowed.
void cpdf_close(PdfDocument* doc);

// ---------------------------------------------------------------- content
// Raw calls take points in the page's current user space.
void cpdf_rawMoveto(PdfDocument* doc, double x, double y);
void cpdf_rawLineto(PdfDocument* doc, double x, double y);
void cpdf_rawCurveto(PdfDocument* doc, double x1, double y1, double x2, double y2, double x3, double y3);
// Domain calls map (x, y) through the current page's plot domain first.
void cpdf_moveto(PdfDocument* doc, double x, double y);
void cpdf_lineto(PdfDocument* doc, double x, double y);
void cpdf_closepath(PdfDocument* doc);
void cpdf_stroke(PdfDocument* doc);
void cpdf_fill(PdfDocument* doc);
void cpdf_concat(PdfDocument* doc, double a, double b, double c, double d, double e, double f);
void cpdf_translate(PdfDocument* doc, double tx, double ty);
void cpdf_scale(PdfDocument* doc, double sx, double sy);
void cpdf_setlinejoin(PdfDocument* doc, int join);
void cpdf_setlinecap(PdfDocument* doc, int cap);
void cpdf_setlinewidth(PdfDocument* doc, double width);
// Fill grey, 0 black .. 1 white (clamped).
void cpdf_setgray(PdfDocument* doc, double gray);
// Stroke colour, components 0..1 (clamped).
void cpdf_setrgbcolorStroke(PdfDocument* doc, double r, double g, double b);
// Closed circle of four Bezier quarters, centre and radius in points.
void cpdf_circle(PdfDocument* doc, double x, double y, double r);
// Circular arc from startDeg to endDeg (counter-clockwise when end > start,
// clockwise otherwise), in pieces of at most 90 degrees. The start point is
// reached with a move when moveFirst is non-zero, else with a line.
void cpdf_arc(PdfDocument* doc, double x, double y, double r, double startDeg, double endDeg, int moveFirst);

// The current page's content stream (uncompressed), or null without a page.
const std::string* cpdf_currentContent(PdfDocument* doc);

#endif
