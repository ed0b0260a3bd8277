#include <gtest/gtest.h>
#include <zlib.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>


#include "TestFiles.h"
#include "pdf/PdfDocument.h"
#include "pdf/PdfInternal.h"

namespace fs = std::filesystem;

namespace {

const std::string kMarkerLine =
    "%\x7a\x47\x5f\xd5\xf9\xdf\x4a\xa4\x18\xb7\xb0\x23\x73\x36\x1f\xa6\x64\x52\x20\x4c\x84\x73\x1f\n";

// A document with one initialised page of the given size, page 1 current.
PdfDocument* onePageDoc(bool compressed, const char* box = "0 0 200 100") {
  PdfDocument* doc = cpdf_open(0, nullptr);
  if (compressed) cpdf_enableCompression(doc, 1);
  cpdf_init(doc);
  cpdf_pageInit(doc, 1, PDF_PORTRAIT, box, box);
  return doc;
}

std::string finished(PdfDocument* doc) {
  cpdf_finalizeAll(doc);
  long length = 0;
  const char* data = cpdf_getBufferForPDF(doc, &length);
  return std::string(data, static_cast<std::size_t>(length));
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<double> numbersOf(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  in.imbue(std::locale::classic());
  double d;
  while (in >> d) v.push_back(d);
  return v;
}

// The body of object `n` ("n 0 obj\n" ... "endobj\n") of a finished file.
std::string objectText(const std::string& pdf, int n) {
  const std::string head = std::to_string(n) + " 0 obj\n";
  const std::size_t at = pdf.find(head);
  if (at == std::string::npos) return {};
  const std::size_t end = pdf.find("endobj\n", at);
  return pdf.substr(at, end + 7 - at);
}

struct Point {
  double x, y;
};

// Endpoints and control points of the curves of an arc written after a move.
struct ArcCurves {
  Point start{};
  std::vector<std::vector<Point>> curves;  // control 1, control 2, end
};

ArcCurves arcCurves(double startDeg, double endDeg, double r = 10) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_arc(doc, 0, 0, r, startDeg, endDeg, 1);
  ArcCurves a;
  for (const std::string& l : lines(*cpdf_currentContent(doc))) {
    const std::vector<double> v = numbersOf(l);
    if (l.back() == 'm') a.start = {v[0], v[1]};
    if (l.back() == 'c') a.curves.push_back({{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}});
  }
  cpdf_close(doc);
  return a;
}

Point bezier(Point p0, Point p1, Point p2, Point p3, double t) {
  const double u = 1 - t;
  const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
  return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

}  // namespace

// ---------------------------------------------------------------- file layout

TEST(PdfDocument, UncompressedOnePageLayoutIsExact) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_rawMoveto(doc, 1, 2);
  cpdf_rawLineto(doc, 3, 4);
  cpdf_fill(doc);
  const std::string pdf = finished(doc);
  cpdf_close(doc);
  const std::string content = "1.000 2.000 m\n3.000 4.000 l\nf\n";

  const std::string body =
      "%PDF-1.1\n" + kMarkerLine +
      "1 0 obj\n<<\n/Type /Catalog\n/Pages 3 0 R\n/Outlines 2 0 R\n>>\nendobj\n"
      "2 0 obj\n<<\n/Type /Outlines\n/Count 0\n>>\nendobj\n"
      "3 0 obj\n<<\n/Type /Pages\n/Count 1\n/Kids [ 5 0 R ]\n>>\nendobj\n"
      "4 0 obj\n[/PDF /Text]\nendobj\n"
      "5 0 obj\n<<\n/Type /Page\n/Parent 3 0 R\n/Resources <<\n/ProcSet 4 0 R >>\n"
      "/MediaBox [0 0 200 100]\n/CropBox [0 0 200 100]\n/Rotate 0\n/Contents 6 0 R\n>>\nendobj\n"
      "6 0 obj\n<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content +
      "\nendstream\nendobj\n"
      "7 0 obj\n<<\n/Creator (A ClibPDF program)\n/CreationDate (D:DATE)\n"
      "/Producer ([ClibPDF Library 2.02-r1-2] Windows 9x/NT)\n/Author (User: Windows NT/95/98 User)\n"
      "/Title (No Title)\n/Subject (None)\n/Keywords (ClibPDF)\n>>\nendobj\n";
  // The creation date is local time, fourteen digits.
  const std::regex date("/CreationDate \\(D:(\\d{14})\\)\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(pdf, m, date));
  const std::string stamped = std::regex_replace(pdf, date, "/CreationDate (D:DATE)\n");
  ASSERT_EQ(stamped.substr(0, body.size()), body);
  EXPECT_EQ(kMarkerLine.size(), 25u);  // '%', the 23 marker bytes, line feed

  // Cross-reference: 8 entries whose offsets point at "N 0 obj".
  const std::size_t xref = pdf.find("xref\n");
  ASSERT_NE(xref, std::string::npos);
  std::string expectedTail = "xref\n0 8\n0000000000 65535 f \n";
  for (int n = 1; n <= 7; ++n) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010ld 00000 n \n", static_cast<long>(pdf.find(std::to_string(n) + " 0 obj\n")));
    expectedTail += entry;
  }
  expectedTail += "trailer\n<<\n/Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\nstartxref\n" +
                  std::to_string(xref) + "\n%%EOF\n";
  EXPECT_EQ(pdf.substr(xref), expectedTail);
  const std::vector<std::string> entries = lines(pdf.substr(xref));
  for (int n = 1; n <= 7; ++n) {
    const long offset = std::stol(entries[2 + n].substr(0, 10));
    EXPECT_EQ(pdf.compare(offset, std::to_string(n).size() + 7, std::to_string(n) + " 0 obj\n"), 0)
        << "object " << n;
  }
  EXPECT_EQ(std::stoul(entries[2 + 1].substr(0, 10)), 9u + kMarkerLine.size());
}

TEST(PdfDocument, CompressedContentInflatesBack) {
  PdfDocument* doc = onePageDoc(true);
  cpdf_scale(doc, 0.5, 0.5);
  cpdf_circle(doc, 50, 50, 20);
  cpdf_fill(doc);
  const std::string content = *cpdf_currentContent(doc);
  const std::string pdf = finished(doc);
  cpdf_close(doc);

  EXPECT_EQ(pdf.compare(0, 9, "%PDF-1.2\n"), 0);
  const std::string obj = objectText(pdf, 6);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(obj, m, std::regex("^6 0 obj\n<<\n/Length (\\d+)\n/Filter \\[/FlateDecode\\]\n>>\nstream\n")));
  const std::size_t length = std::stoul(m[1]);
  const std::size_t start = m[0].length();
  ASSERT_EQ(obj.substr(start + length), "\nendstream\nendobj\n");
  std::vector<unsigned char> inflated(content.size() + 16);
  uLongf size = inflated.size();
  ASSERT_EQ(uncompress(inflated.data(), &size, reinterpret_cast<const Bytef*>(obj.data() + start), length), Z_OK);
  EXPECT_EQ(std::string(inflated.begin(), inflated.begin() + size), content);
}

TEST(PdfDocument, FailedCompressionWritesAPlainStream) {
  const pdf_detail::CompressFunction saved = pdf_detail::compressFunction;
  pdf_detail::compressFunction = [](unsigned char*, unsigned long*, const unsigned char*,
                                    unsigned long) { return Z_MEM_ERROR; };
  PdfDocument* doc = onePageDoc(true);
  cpdf_rawMoveto(doc, 0, 0);
  cpdf_rawLineto(doc, 10, 10);
  cpdf_stroke(doc);
  testing::internal::CaptureStdout();
  const std::string pdf = finished(doc);
  const std::string out = testing::internal::GetCapturedStdout();
  pdf_detail::compressFunction = saved;

  EXPECT_EQ(out, "ZLIB compress error: code=-4\n");
  const std::string content = "0.000 0.000 m\n10.000 10.000 l\nS\n";
  EXPECT_EQ(objectText(pdf, 6), "6 0 obj\n<</Length " + std::to_string(content.size()) +
                                    ">>\nstream\n" + content + "\nendstream\nendobj\n");
  EXPECT_EQ(pdf.find("/Filter"), std::string::npos);
  TempDir dir;
  ASSERT_TRUE(cpdf_savePDFmemoryStreamToFile(doc, dir.file("plain.pdf").c_str()));
  cpdf_close(doc);
  if (haveProgram("qpdf")) {
    EXPECT_TRUE(qpdfAccepts(dir.file("plain.pdf")));
  }
}

TEST(PdfDocument, QpdfAcceptsPlainAndCompressedFiles) {
  if (!haveProgram("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  TempDir dir;
  for (bool compressed : {false, true}) {
    PdfDocument* doc = onePageDoc(compressed, "0 0 595 446");
    cpdf_setCreator(doc, "Vell Linfold");
    cpdf_setTitle(doc, "PDF Screenshot (a)\\b");
    cpdf_setKeywords(doc, "");
    cpdf_setPageMode(doc, PDF_USE_OUTLINES);
    cpdf_setPageLayout(doc, PDF_SINGLE_PAGE);
    cpdf_setViewerPreferences(doc, PDF_FIT_WINDOW | PDF_HIDE_TOOLBAR);
    cpdf_scale(doc, 0.74375, 0.74375);
    cpdf_translate(doc, 400, 300);
    // The order the snapshot's outline filling follows: path, close, grey, fill.
    cpdf_arc(doc, 0, 0, 50, 0, 270, 1);
    cpdf_rawLineto(doc, 0, 0);
    cpdf_closepath(doc);
    cpdf_setgray(doc, 0);
    cpdf_fill(doc);
    cpdf_setgray(doc, 0);
    cpdf_circle(doc, -100, -100, 10);
    cpdf_fill(doc);
    cpdf_setlinewidth(doc, 2);
    cpdf_setlinecap(doc, 1);
    cpdf_setlinejoin(doc, 1);
    cpdf_setrgbcolorStroke(doc, 1, 0, 0);
    cpdf_moveto(doc, 1, 1);
    cpdf_lineto(doc, 2, 1.5);
    cpdf_stroke(doc);
    const std::string path = dir.file(compressed ? "z.pdf" : "plain.pdf");
    ASSERT_TRUE(cpdf_savePDFmemoryStreamToFile(doc, path.c_str()));
    cpdf_close(doc);
    EXPECT_TRUE(qpdfAccepts(path)) << path;
  }
}

// A grey set while a path is open goes in front of the path: PDF allows no
// colour operator between a path and its painting operator.
TEST(PdfContent, GreyInsideAPathMovesInFrontOfIt) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_rawMoveto(doc, 0, 0);
  cpdf_rawLineto(doc, 10, 0);
  cpdf_rawLineto(doc, 0, 10);
  cpdf_stroke(doc);
  cpdf_rawMoveto(doc, 1, 1);
  cpdf_rawLineto(doc, 2, 2);
  cpdf_closepath(doc);
  cpdf_setgray(doc, 0);
  cpdf_fill(doc);
  EXPECT_EQ(*cpdf_currentContent(doc),
            "0.000 0.000 m\n10.000 0.000 l\n0.000 10.000 l\nS\n"
            "0.0000 g\n1.000 1.000 m\n2.000 2.000 l\nh\nf\n");
  cpdf_close(doc);
}

TEST(PdfContent, RenderedCircleAndArcAreInked) {
  if (!haveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  TempDir dir;
  PdfDocument* doc = onePageDoc(true, "0 0 200 200");
  cpdf_setgray(doc, 0);
  cpdf_circle(doc, 50, 50, 30);
  cpdf_fill(doc);
  // Three quarters of a disc about (140, 140): the quadrant from 270 to 360
  // degrees stays empty.
  cpdf_setgray(doc, 0);
  cpdf_rawMoveto(doc, 140, 140);
  cpdf_arc(doc, 140, 140, 40, 0, 270, 0);
  cpdf_closepath(doc);
  cpdf_fill(doc);
  const std::string pdf = dir.file("shapes.pdf");
  ASSERT_TRUE(cpdf_savePDFmemoryStreamToFile(doc, pdf.c_str()));
  cpdf_close(doc);
  const std::string base = dir.file("page");
  ASSERT_EQ(std::system(("pdftoppm -r 72 -gray '" + pdf + "' '" + base + "' 2>/dev/null").c_str()), 0);
  std::string pgm;
  for (const std::string& name : dir.entries())
    if (name.rfind("page", 0) == 0) pgm = readFile(dir.file(name.c_str()));
  std::istringstream in(pgm);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  ASSERT_EQ(magic, "P5");
  ASSERT_EQ(w, 200);
  ASSERT_EQ(h, 200);
  const std::string pixels = pgm.substr(static_cast<std::size_t>(in.tellg()));
  ASSERT_EQ(pixels.size(), 200u * 200u);
  // Page y runs up, image rows down.
  auto at = [&](int x, int y) { return static_cast<unsigned char>(pixels[(199 - y) * 200 + x]); };
  EXPECT_LT(at(50, 50), 30);     // circle centre
  EXPECT_LT(at(70, 50), 30);     // inside the circle
  EXPECT_GT(at(50, 90), 225);    // above the circle
  EXPECT_LT(at(160, 160), 30);   // first quadrant of the arc
  EXPECT_LT(at(120, 120), 30);   // third quadrant
  EXPECT_GT(at(160, 120), 225);  // the empty fourth quadrant
  EXPECT_GT(at(5, 195), 225);    // paper
}

// ---------------------------------------------------------------- operators

TEST(PdfContent, CircleIsFourQuartersWithControlsAt0552) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_circle(doc, 10, 20, 5);
  EXPECT_EQ(*cpdf_currentContent(doc),
            "15.000 20.000 m\n"
            "15.000 22.760 12.760 25.000 10.000 25.000 c\n"
            "7.240 25.000 5.000 22.760 5.000 20.000 c\n"
            "5.000 17.240 7.240 15.000 10.000 15.000 c\n"
            "12.760 15.000 15.000 17.240 15.000 20.000 c\n"
            "h\n");
  cpdf_close(doc);
}

TEST(PdfContent, ArcsSplitIntoQuartersAndFollowTheCircle) {
  struct Case {
    double start, end;
    std::size_t curves;
  };
  for (const Case& c : {Case{0, 90, 1}, Case{0, 180, 2}, Case{-90, 0, 1}, Case{0, -90, 1},
                        Case{10, 370, 4}, Case{0, 91, 2}, Case{30, -200, 3}}) {
    SCOPED_TRACE(testing::Message() << c.start << " to " << c.end);
    const double r = 10;
    const ArcCurves a = arcCurves(c.start, c.end, r);
    ASSERT_EQ(a.curves.size(), c.curves);
    const double rad = M_PI / 180;
    EXPECT_NEAR(a.start.x, r * std::cos(c.start * rad), 1e-3);
    EXPECT_NEAR(a.start.y, r * std::sin(c.start * rad), 1e-3);
    Point from = a.start;
    const double piece = (c.end - c.start) / c.curves;
    for (std::size_t i = 0; i < a.curves.size(); ++i) {
      const std::vector<Point>& q = a.curves[i];
      const double endAngle = (c.start + piece * (i + 1)) * rad;
      EXPECT_NEAR(q[2].x, r * std::cos(endAngle), 2e-3);
      EXPECT_NEAR(q[2].y, r * std::sin(endAngle), 2e-3);
      // The curve's middle lies on the circle, and the sweep's direction shows
      // in the turn from start to middle.
      const Point mid = bezier(from, q[0], q[1], q[2], 0.5);
      EXPECT_NEAR(std::hypot(mid.x, mid.y), r, 3e-3);
      const double turn = from.x * mid.y - from.y * mid.x;
      EXPECT_EQ(turn > 0, c.end > c.start);
      // Tangents at the ends are perpendicular to the radius.
      EXPECT_NEAR((q[0].x - from.x) * from.x + (q[0].y - from.y) * from.y, 0, 2e-2);
      EXPECT_NEAR((q[2].x - q[1].x) * q[2].x + (q[2].y - q[1].y) * q[2].y, 0, 2e-2);
      from = q[2];
    }
  }
}

TEST(PdfContent, ArcStartsWithMoveOrLineAndZeroSweepDrawsNoCurve) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_arc(doc, 10, 10, 5, 0, 0, 1);
  cpdf_arc(doc, 10, 10, 5, 90, 90, 0);
  EXPECT_EQ(*cpdf_currentContent(doc),
            "15.000 10.000 m\n15.000 10.000 l\n10.000 15.000 l\n10.000 15.000 l\n");
  cpdf_close(doc);
}

TEST(PdfContent, OperatorLinesAndDomainMapping) {
  PdfDocument* doc = onePageDoc(false, "10 20 300 400");
  cpdf_translate(doc, 400, 300.25);
  cpdf_scale(doc, 0.74375, 0.74375);
  cpdf_setlinewidth(doc, 1.5);
  cpdf_setlinecap(doc, 2);
  cpdf_setlinejoin(doc, 1);
  cpdf_setgray(doc, 0.25);
  cpdf_setgray(doc, 1.5);
  cpdf_setrgbcolorStroke(doc, 1, 0.5, -1);
  cpdf_moveto(doc, 1, 0.5);   // one inch right, half an inch up from (10, 20)
  cpdf_lineto(doc, -0.0001 / 72, 0);
  cpdf_rawCurveto(doc, 1, 2, 3, 4, 5, 6);
  cpdf_stroke(doc);
  EXPECT_EQ(*cpdf_currentContent(doc),
            "1.0000 0.0000 0.0000 1.0000 400.0000 300.2500 cm\n"
            "0.7438 0.0000 0.0000 0.7438 0.0000 0.0000 cm\n"
            "1.5000 w\n2 J\n1 j\n0.2500 g\n1.0000 g\n1.0000 0.5000 0.0000 RG\n"
            "82.000 56.000 m\n10.000 20.000 l\n1.000 2.000 3.000 4.000 5.000 6.000 c\nS\n");
  cpdf_close(doc);
}

TEST(PdfContent, NonFiniteNumbersAreWrittenAsZeroAndReported) {
  PdfDocument* doc = onePageDoc(false);
  testing::internal::CaptureStdout();
  cpdf_rawLineto(doc, std::nan(""), -std::numeric_limits<double>::infinity());
  cpdf_arc(doc, 0, 0, 1, 0, std::numeric_limits<double>::infinity(), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string content = *cpdf_currentContent(doc);
  EXPECT_EQ(content.find("0.000 0.000 l\n"), 0u);
  EXPECT_EQ(content.find("nan"), std::string::npos);
  EXPECT_EQ(content.find("inf"), std::string::npos);
  EXPECT_NE(out.find("ClibPDF warning: Non-finite number NaN written as 0\n"), std::string::npos);
  EXPECT_NE(out.find("ClibPDF warning: Non-finite number -Inf written as 0\n"), std::string::npos);
  EXPECT_NE(out.find("ClibPDF warning: cpdf_arc: angles are not finite, arc left out\n"), std::string::npos);
  cpdf_close(doc);
}

// Under a locale with a decimal comma, every number still has a point.
TEST(PdfContent, NumbersUseAPointUnderACommaLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8",
                           "ru_RU.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) && std::string(std::localeconv()->decimal_point) == ",") {
      comma = true;
      break;
    }
  }
  // Without one installed, build a German locale in a temporary folder.
  TempDir localeDir;
  const char* oldLocPath = std::getenv("LOCPATH");
  const std::string savedLocPath = oldLocPath ? oldLocPath : "";
  if (!comma && haveProgram("localedef") &&
      std::system(("localedef -i de_DE -f UTF-8 '" + localeDir.file("de_DE.UTF-8") +
                   "' >/dev/null 2>&1").c_str()) == 0) {
    setenv("LOCPATH", localeDir.path.c_str(), 1);
    comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") &&
            std::string(std::localeconv()->decimal_point) == ",";
  }
  auto restore = [&] {
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (oldLocPath)
      setenv("LOCPATH", savedLocPath.c_str(), 1);
    else
      unsetenv("LOCPATH");
  };
  if (!comma) {
    restore();
    GTEST_SKIP() << "no locale with a decimal comma on this machine";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");
  PdfDocument* doc = onePageDoc(true, "0 0 595.5 842");
  cpdf_scale(doc, 0.74375, 0.5);
  cpdf_setlinewidth(doc, 1.5);
  cpdf_setgray(doc, 0.25);
  cpdf_rawMoveto(doc, 1.25, -2.5);
  cpdf_arc(doc, 0, 0, 3.5, 0, 45, 0);
  cpdf_fill(doc);
  const std::string content = *cpdf_currentContent(doc);
  const std::string pdf = finished(doc);
  restore();
  cpdf_close(doc);
  EXPECT_EQ(content.find(','), std::string::npos);
  EXPECT_EQ(content.rfind("0.7438 0.0000 0.0000 0.5000 0.0000 0.0000 cm\n1.5000 w\n0.2500 g\n", 0), 0u)
      << content;
  EXPECT_NE(content.find("1.250 -2.500 m\n3.500 0.000 l\n"), std::string::npos);
  EXPECT_NE(pdf.find("/MediaBox [0 0 595.5 842]"), std::string::npos);
}

// ---------------------------------------------------------------- document

TEST(PdfDocument, PageErrorsLeaveTheDocumentUsable) {
  PdfDocument* doc = onePageDoc(false);
  testing::internal::CaptureStdout();
  EXPECT_EQ(cpdf_pageInit(doc, 0, PDF_PORTRAIT, "0 0 10 10", "0 0 10 10"), -1);
  EXPECT_EQ(cpdf_pageInit(doc, 101, PDF_PORTRAIT, "0 0 10 10", "0 0 10 10"), -1);
  EXPECT_EQ(cpdf_pageInit(doc, 1, PDF_PORTRAIT, "0 0 10 10", "0 0 10 10"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ClibPDF error: Page number must be 1 or greater\n"
            "ClibPDF error: Too many pages: 101. Increase limit by cpdf_open()\n"
            "ClibPDF warning: Page 1 is already initialized\n");
  cpdf_rawMoveto(doc, 0, 0);
  const std::string pdf = finished(doc);
  cpdf_close(doc);
  // Still the first page with its first box, and one page in the file.
  EXPECT_NE(pdf.find("/MediaBox [0 0 200 100]"), std::string::npos);
  EXPECT_NE(pdf.find("xref\n0 8\n"), std::string::npos);
  EXPECT_NE(pdf.find("stream\n0.000 0.000 m\n\nendstream"), std::string::npos);
}

TEST(PdfDocument, SecondPageGetsItsOwnObjects) {
  PdfDocument* doc = onePageDoc(false);
  EXPECT_EQ(cpdf_pageInit(doc, 3, PDF_LANDSCAPE, "0 0 50 60", nullptr), 0);
  cpdf_rawMoveto(doc, 1, 1);
  const std::string pdf = finished(doc);
  cpdf_close(doc);
  EXPECT_NE(pdf.find("/Count 2\n/Kids [ 5 0 R 7 0 R ]\n"), std::string::npos);
  EXPECT_NE(objectText(pdf, 7).find("/CropBox [0 0 50 60]\n/Rotate 90\n/Contents 8 0 R\n"), std::string::npos);
  EXPECT_NE(pdf.find("xref\n0 10\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Info 9 0 R\n"), std::string::npos);
}

TEST(PdfDocument, MisuseIsReportedNotFatal) {
  PdfDocument* doc = cpdf_open(0, nullptr);
  cpdf_init(doc);
  testing::internal::CaptureStdout();
  cpdf_rawMoveto(doc, 1, 1);  // no page yet
  cpdf_init(doc);             // not freshly opened
  EXPECT_EQ(cpdf_pageInit(doc, 1, PDF_PORTRAIT, "0 0 ten 10", nullptr), 0);
  cpdf_moveto(nullptr, 1, 1);
  EXPECT_FALSE(cpdf_savePDFmemoryStreamToFile(doc, ""));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ClibPDF error: cpdf_rawMoveto: no page has been initialized. See cpdf_pageInit()\n"
            "ClibPDF warning: cpdf_open() has not been called.\n"
            "ClibPDF warning: Invalid page box \"0 0 ten 10\", using \"0 0 595 842\"\n"
            "ClibPDF error: cpdf_moveto: no document\n"
            "ClibPDF error: No file name given\n");
  cpdf_close(doc);
  cpdf_close(nullptr);
}

TEST(PdfDocument, InformationStrings) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_setCreator(doc, "Vell Linfold");
  cpdf_setTitle(doc, "PDF (Screen) shot\\");
  cpdf_setSubject(doc, "line\nbreak");
  cpdf_setKeywords(doc, "");
  const std::string info = objectText(finished(doc), 7);
  cpdf_close(doc);
  EXPECT_NE(info.find("/Creator (Vell Linfold)\n"), std::string::npos);
  EXPECT_NE(info.find("/Producer ([ClibPDF Library 2.02-r1-2] Windows 9x/NT)\n"
                      "/Author (User: Windows NT/95/98 User)\n"
                      "/Title (PDF \\(Screen\\) shot\\\\)\n"
                      "/Subject (line\\012break)\n"
                      "/Keywords ()\n"),
            std::string::npos)
      << info;
}

TEST(PdfDocument, CompressionRaisesTheVersionAndCanBeTurnedOff) {
  PdfDocument* doc = onePageDoc(true);
  cpdf_enableCompression(doc, 0);
  const std::string pdf = finished(doc);
  cpdf_close(doc);
  EXPECT_EQ(pdf.compare(0, 9, "%PDF-1.2\n"), 0);
  EXPECT_EQ(pdf.find("/Filter"), std::string::npos);
}

// ---------------------------------------------------------------- saving

TEST(PdfDocument, SavedFileMatchesTheMemoryStream) {
  TempDir dir;
  PdfDocument* doc = onePageDoc(true);
  cpdf_circle(doc, 1, 2, 3);
  const std::string path = dir.file("out.pdf");
  ASSERT_TRUE(cpdf_savePDFmemoryStreamToFile(doc, path.c_str()));  // finalises itself
  long length = 0;
  const char* data = cpdf_getBufferForPDF(doc, &length);
  EXPECT_EQ(readFile(path), std::string(data, static_cast<std::size_t>(length)));
  // Content added after finishing is in the next save.
  cpdf_fill(doc);
  ASSERT_TRUE(cpdf_savePDFmemoryStreamToFile(doc, path.c_str()));
  data = cpdf_getBufferForPDF(doc, &length);
  EXPECT_EQ(readFile(path), std::string(data, static_cast<std::size_t>(length)));
  cpdf_close(doc);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.pdf"});
}

// The file goes through SbOutputFile (tested on its own); a failure is the
// writer's error message with the reason.
TEST(PdfDocument, UnwritablePathFailsWithAMessage) {
  TempDir dir;
  PdfDocument* doc = onePageDoc(false);
  cpdf_finalizeAll(doc);
  const std::string path = dir.file("missing/x.pdf");
  testing::internal::CaptureStdout();
  std::string why;
  EXPECT_FALSE(cpdf_savePDFmemoryStreamToFile(doc, path.c_str(), &why));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ClibPDF error: Cannot write " + path + ": No such file or directory\n");
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_TRUE(dir.entries().empty());
  cpdf_close(doc);
}
