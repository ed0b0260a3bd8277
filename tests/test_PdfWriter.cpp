#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <Inventor/SbVec2d.h>

#include "TestFiles.h"
#include "pdf/PdfDocument.h"
#include "pdf/PdfInternal.h"

namespace {

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

// The body of object `n` ("n 0 obj\n" ... "endobj\n") of a finished file.
std::string objectText(const std::string& pdf, int n) {
  const std::size_t at = pdf.find(std::to_string(n) + " 0 obj\n");
  return at == std::string::npos ? std::string() : pdf.substr(at, pdf.find("endobj\n", at) + 7 - at);
}

}  // namespace

TEST(PdfDocument, UncompressedOnePageLayoutIsExact) {
  PdfDocument* doc = onePageDoc(false);
  cpdf_rawMoveto(doc, 1, 2);
  cpdf_rawLineto(doc, 3, 4);
  cpdf_fill(doc);
  const std::string pdf = finished(doc);
  cpdf_close(doc);
  const std::string content = "1.000 2.000 m\n3.000 4.000 l\nf\n";
  const std::string body =
      "%PDF-1.1\n%\x7a\x47\x5f\xd5\xf9\xdf\x4a\xa4\x18\xb7\xb0\x23\x73\x36\x1f\xa6\x64\x52\x20\x4c\x84\x73\x1f\n"
      "1 0 obj\n<<\n/Type /Catalog\n/Pages 3 0 R\n/Outlines 2 0 R\n>>\nendobj\n"
      "2 0 obj\n<<\n/Type /Outlines\n/Count 0\n>>\nendobj\n"
      "3 0 obj\n<<\n/Type /Pages\n/Count 1\n/Kids [ 5 0 R ]\n>>\nendobj\n"
      "4 0 obj\n[/PDF /Text]\nendobj\n"
      "5 0 obj\n<<\n/Type /Page\n/Parent 3 0 R\n/Resources <<\n/ProcSet 4 0 R >>\n"
      "/MediaBox [0 0 200 100]\n/CropBox [0 0 200 100]\n/Rotate 0\n/Contents 6 0 R\n>>\nendobj\n"
      "6 0 obj\n<</Length " +
      std::to_string(content.size()) + ">>\nstream\n" + content +
      "\nendstream\nendobj\n"
      "7 0 obj\n<<\n/Creator (A ClibPDF program)\n/CreationDate (D:DATE)\n"
      "/Producer ([ClibPDF Library 2.02-r1-2] Windows 9x/NT)\n/Author (User: Windows NT/95/98 User)\n"
      "/Title (No Title)\n/Subject (None)\n/Keywords (ClibPDF)\n>>\nendobj\n";
  // The creation date is local time, fourteen digits.
  const std::regex date("/CreationDate \\(D:(\\d{14})\\)\n");
  ASSERT_TRUE(std::regex_search(pdf, date));
  ASSERT_EQ(std::regex_replace(pdf, date, "/CreationDate (D:DATE)\n").substr(0, body.size()), body);
  // Cross-reference: 8 entries whose offsets point at "N 0 obj".
  const std::size_t xref = pdf.find("xref\n");
  std::string tail = "xref\n0 8\n0000000000 65535 f \n";
  for (int n = 1; n <= 7; ++n) {
    const std::string offset = std::to_string(pdf.find(std::to_string(n) + " 0 obj\n"));
    tail += std::string(10 - offset.size(), '0') + offset + " 00000 n \n";
  }
  tail += "trailer\n<<\n/Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  EXPECT_EQ(pdf.substr(xref), tail);
}

// The content stream flated (and inflating back), or plain when compression is turned off again or the compressor
// fails; the information strings escaped; the saved file is the memory stream, sound to qpdf, drawn by pdftoppm.
TEST(PdfDocument, StreamsAreFlatedOrPlainAndTheSavedFileIsSound) {
  const std::tuple<std::string, bool, bool, const char*> cases[] = {
      {"flated", false, false, ""},
      {"turned off", true, false, ""},
      {"compressor fails", false, true, "ZLIB compress error: code=-4\n"}};  // name, turned off, fails -> console
  TempDir dir;
  for (const auto& [name, turnedOff, compressorFails, console] : cases) {
    SCOPED_TRACE(name);
    const pdf_detail::CompressFunction saved = pdf_detail::compressFunction;
    if (compressorFails)
      pdf_detail::compressFunction = [](unsigned char*, unsigned long*, const unsigned char*, unsigned long) {
        return Z_MEM_ERROR;
      };
    PdfDocument* doc = onePageDoc(true, "0 0 200 200");
    if (turnedOff) cpdf_enableCompression(doc, 0);
    cpdf_setCreator(doc, "Vell Linfold");
    cpdf_setTitle(doc, "PDF (Screen) shot\\");
    cpdf_setSubject(doc, "line\nbreak");
    cpdf_setKeywords(doc, "");
    cpdf_setPageMode(doc, PDF_USE_OUTLINES);
    cpdf_setPageLayout(doc, PDF_SINGLE_PAGE);
    cpdf_setViewerPreferences(doc, PDF_FIT_WINDOW | PDF_HIDE_TOOLBAR);
    cpdf_circle(doc, 50, 50, 30);
    cpdf_fill(doc);
    // Three quarters of a disc about (140, 140), in the order of the snapshot's outlines (path, close, grey, fill): the
    // quadrant from 270 to 360 degrees stays empty.
    cpdf_rawMoveto(doc, 140, 140);
    cpdf_arc(doc, 140, 140, 40, 0, 270, 0);
    cpdf_closepath(doc);
    cpdf_setgray(doc, 0);
    cpdf_fill(doc);
    cpdf_setlinewidth(doc, 2);
    cpdf_setrgbcolorStroke(doc, 1, 0, 0);
    cpdf_moveto(doc, 0.1, 2.7);
    cpdf_lineto(doc, 0.2, 2.6);
    cpdf_stroke(doc);
    const std::string content = *cpdf_currentContent(doc);
    testing::internal::CaptureStdout();
    const std::string pdf = finished(doc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), console);
    pdf_detail::compressFunction = saved;

    EXPECT_EQ(pdf.compare(0, 9, "%PDF-1.2\n"), 0);
    const std::string obj = objectText(pdf, 6);
    std::smatch m;
    if (!turnedOff && !compressorFails) {
      const std::regex head("^6 0 obj\n<<\n/Length (\\d+)\n/Filter \\[/FlateDecode\\]\n>>\nstream\n");
      ASSERT_TRUE(std::regex_search(obj, m, head));
      const std::size_t length = std::stoul(m[1]), start = m[0].length();
      ASSERT_EQ(obj.substr(start + length), "\nendstream\nendobj\n");
      std::vector<unsigned char> inflated(content.size() + 16);
      uLongf size = inflated.size();
      ASSERT_EQ(uncompress(inflated.data(), &size, reinterpret_cast<const Bytef*>(obj.data() + start), length), Z_OK);
      EXPECT_EQ(std::string(inflated.begin(), inflated.begin() + size), content);
    } else {
      EXPECT_EQ(obj, "6 0 obj\n<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content +
                         "\nendstream\nendobj\n");
    }
    EXPECT_NE(objectText(pdf, 7).find("/Creator (Vell Linfold)\n"), std::string::npos);
    EXPECT_NE(objectText(pdf, 7).find("/Author (User: Windows NT/95/98 User)\n/Title (PDF \\(Screen\\) shot\\\\)\n"
                                      "/Subject (line\\012break)\n/Keywords ()\n"),
              std::string::npos);
    // The save finishes the file itself; content added after it is in the next save.
    const std::string path = dir.file(name + ".pdf");
    for (int save = 0; save < 2; ++save) {
      if (save) cpdf_fill(doc);
      ASSERT_TRUE(cpdf_savePDFmemoryStreamToFile(doc, path.c_str()));
      long length = 0;
      const char* data = cpdf_getBufferForPDF(doc, &length);
      EXPECT_EQ(readFile(path), std::string(data, static_cast<std::size_t>(length)));
    }
    cpdf_close(doc);
    EXPECT_TRUE(!haveProgram("qpdf") || qpdfAccepts(path));
    if (!haveProgram("pdftoppm")) continue;
    const std::string base = dir.file("page " + name);
    ASSERT_EQ(std::system(("pdftoppm -r 72 -gray -singlefile '" + path + "' '" + base + "'").c_str()), 0);
    const std::string pgm = readFile(base + ".pgm"), pgmHead = "P5\n200 200\n255\n";
    ASSERT_TRUE(pgm.size() == pgmHead.size() + 200u * 200u && pgm.compare(0, pgmHead.size(), pgmHead) == 0);
    auto at = [&](int x, int y) { return static_cast<unsigned char>(pgm[pgmHead.size() + (199 - y) * 200 + x]); };
    // Inside the circle, first and third quadrants of the arc, and the red line.
    for (auto p : {std::make_pair(50, 50), {70, 50}, {160, 160}, {120, 120}, {11, 190}})
      EXPECT_LT(at(p.first, p.second), 100);
    // Above the circle, the arc's empty fourth quadrant, paper.
    for (auto p : {std::make_pair(50, 90), {160, 120}, {5, 195}}) EXPECT_GT(at(p.first, p.second), 225);
  }
  EXPECT_EQ(dir.entries().size(), 6u);  // no temporary file left
}

// Operators on an uncompressed page and what they write, exactly, and what they report.
TEST(PdfContent, OperatorsWriteExactlyTheirLines) {
  const double inf = std::numeric_limits<double>::infinity();
  // name, page box, drawing -> content, console
  const std::tuple<const char*, const char*, std::function<void(PdfDocument*)>, const char*, const char*> cases[] = {
      {"circle: four quarters with controls at 0.552 r", "0 0 200 100",
       [](PdfDocument* d) { cpdf_circle(d, 10, 20, 5); },
       "15.000 20.000 m\n15.000 22.760 12.760 25.000 10.000 25.000 c\n7.240 25.000 5.000 22.760 5.000 20.000 c\n"
       "5.000 17.240 7.240 15.000 10.000 15.000 c\n12.760 15.000 15.000 17.240 15.000 20.000 c\nh\n",
       ""},
      {"arc: a move or a line to its start; no sweep, no curve", "0 0 200 100",
       [](PdfDocument* d) {
         cpdf_arc(d, 10, 10, 5, 0, 0, 1);
         cpdf_arc(d, 10, 10, 5, 90, 90, 0);
       },
       "15.000 10.000 m\n15.000 10.000 l\n10.000 15.000 l\n10.000 15.000 l\n", ""},
      // PDF allows no colour operator between a path and its painting operator.
      {"grey inside a path goes in front of it", "0 0 200 100",
       [](PdfDocument* d) {
         cpdf_rawMoveto(d, 0, 0);
         cpdf_rawLineto(d, 10, 0);
         cpdf_stroke(d);
         cpdf_rawMoveto(d, 1, 1);
         cpdf_closepath(d);
         cpdf_setgray(d, 0);
         cpdf_fill(d);
       },
       "0.000 0.000 m\n10.000 0.000 l\nS\n0.0000 g\n1.000 1.000 m\nh\nf\n", ""},
      {"operator lines; inches map onto the page box", "10 20 300 400",
       [](PdfDocument* d) {
         cpdf_translate(d, 400, 300.25);
         cpdf_scale(d, 0.74375, 0.74375);
         cpdf_setlinewidth(d, 1.5);
         cpdf_setlinecap(d, 2);
         cpdf_setlinejoin(d, 1);
         cpdf_setgray(d, 0.25);
         cpdf_setgray(d, 1.5);
         cpdf_setrgbcolorStroke(d, 1, 0.5, -1);
         cpdf_moveto(d, 1, 0.5);  // one inch right, half an inch up from (10, 20)
         cpdf_lineto(d, -0.0001 / 72, 0);
         cpdf_rawCurveto(d, 1, 2, 3, 4, 5, 6);
         cpdf_stroke(d);
       },
       "1.0000 0.0000 0.0000 1.0000 400.0000 300.2500 cm\n0.7438 0.0000 0.0000 0.7438 0.0000 0.0000 cm\n"
       "1.5000 w\n2 J\n1 j\n0.2500 g\n1.0000 g\n1.0000 0.5000 0.0000 RG\n"
       "82.000 56.000 m\n10.000 20.000 l\n1.000 2.000 3.000 4.000 5.000 6.000 c\nS\n",
       ""},
      {"non-finite numbers are written as 0", "0 0 200 100",
       [inf](PdfDocument* d) {
         cpdf_rawLineto(d, std::nan(""), -inf);
         cpdf_arc(d, 0, 0, 1, 0, inf, 1);
       },
       "0.000 0.000 l\n1.000 0.000 m\n",  // the arc's start is written before its angles are checked
       "ClibPDF warning: Non-finite number NaN written as 0\nClibPDF warning: Non-finite number -Inf written as 0\n"
       "ClibPDF warning: cpdf_arc: angles are not finite, arc left out\n"},
  };
  for (const auto& [name, box, draw, content, console] : cases) {
    SCOPED_TRACE(name);
    PdfDocument* doc = onePageDoc(false, box);
    testing::internal::CaptureStdout();
    draw(doc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), console);
    EXPECT_EQ(*cpdf_currentContent(doc), content);
    cpdf_close(doc);
  }
}

TEST(PdfContent, ArcsSplitIntoQuartersAndFollowTheCircle) {
  const std::tuple<double, double, size_t> cases[] = {{0, 90, 1},   {0, 180, 2}, {-90, 0, 1},  {0, -90, 1},
                                                      {10, 370, 4}, {0, 91, 2},  {30, -200, 3}};  // degrees -> curves
  for (const auto& [start, end, count] : cases) {
    SCOPED_TRACE(testing::Message() << start << " to " << end);
    const double r = 10, rad = M_PI / 180;
    PdfDocument* doc = onePageDoc(false);
    cpdf_arc(doc, 0, 0, r, start, end, 1);
    SbVec2d from(0, 0);
    std::vector<std::vector<SbVec2d>> curves;  // control 1, control 2, end
    std::istringstream in(*cpdf_currentContent(doc));
    cpdf_close(doc);
    for (std::string l; std::getline(in, l);) {
      double v[6] = {};
      std::istringstream(l) >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5];
      if (l.back() == 'm') from.setValue(v[0], v[1]);
      if (l.back() == 'c') curves.push_back({{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}});
    }
    ASSERT_EQ(curves.size(), count);
    EXPECT_LT((from - SbVec2d(std::cos(start * rad), std::sin(start * rad)) * r).length(), 1e-3);
    for (std::size_t i = 0; i < curves.size(); ++i) {
      const std::vector<SbVec2d>& q = curves[i];
      const double endAngle = (start + (end - start) / count * (i + 1)) * rad;
      EXPECT_LT((q[2] - SbVec2d(std::cos(endAngle), std::sin(endAngle)) * r).length(), 2e-3);
      // The curve's middle lies on the circle, the sweep's direction shows in the turn from start to middle, and the
      // end tangents are perpendicular to the radius.
      const SbVec2d mid = (from + q[0] * 3 + q[1] * 3 + q[2]) / 8;
      EXPECT_NEAR(mid.length(), r, 3e-3);
      EXPECT_EQ(from[0] * mid[1] - from[1] * mid[0] > 0, end > start);
      EXPECT_NEAR((q[0] - from).dot(from), 0, 2e-2);
      EXPECT_NEAR((q[2] - q[1]).dot(q[2]), 0, 2e-2);
      from = q[2];
    }
  }
}

// Misuse and page errors are reported and leave the document usable; a second page gets objects of its own.
TEST(PdfDocument, MisuseIsReportedNotFatalAndPagesGetTheirOwnObjects) {
  PdfDocument* doc = cpdf_open(0, nullptr);
  cpdf_init(doc);
  testing::internal::CaptureStdout();
  cpdf_rawMoveto(doc, 1, 1);  // no page yet
  cpdf_init(doc);             // not freshly opened
  EXPECT_EQ(cpdf_pageInit(doc, 1, PDF_PORTRAIT, "0 0 ten 10", nullptr), 0);
  EXPECT_EQ(cpdf_pageInit(doc, 0, PDF_PORTRAIT, "0 0 10 10", "0 0 10 10"), -1);
  EXPECT_EQ(cpdf_pageInit(doc, 101, PDF_PORTRAIT, "0 0 10 10", "0 0 10 10"), -1);
  EXPECT_EQ(cpdf_pageInit(doc, 1, PDF_PORTRAIT, "0 0 10 10", "0 0 10 10"), 0);
  cpdf_moveto(nullptr, 1, 1);
  EXPECT_FALSE(cpdf_savePDFmemoryStreamToFile(doc, ""));
  cpdf_close(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ClibPDF error: cpdf_rawMoveto: no page has been initialized. See cpdf_pageInit()\n"
            "ClibPDF warning: cpdf_open() has not been called.\n"
            "ClibPDF warning: Invalid page box \"0 0 ten 10\", using \"0 0 595 842\"\n"
            "ClibPDF error: Page number must be 1 or greater\n"
            "ClibPDF error: Too many pages: 101. Increase limit by cpdf_open()\n"
            "ClibPDF warning: Page 1 is already initialized\n"
            "ClibPDF error: cpdf_moveto: no document\n"
            "ClibPDF error: No file name given\n");
  cpdf_rawMoveto(doc, 0, 0);
  EXPECT_EQ(cpdf_pageInit(doc, 3, PDF_LANDSCAPE, "0 0 50 60", nullptr), 0);
  cpdf_rawMoveto(doc, 1, 1);
  const std::string pdf = finished(doc);
  cpdf_close(doc);
  // The first page keeps its first box and its content.
  EXPECT_NE(objectText(pdf, 5).find("/MediaBox [0 0 595 842]\n"), std::string::npos);
  EXPECT_NE(objectText(pdf, 6).find("stream\n0.000 0.000 m\n\nendstream"), std::string::npos);
  EXPECT_NE(pdf.find("/Count 2\n/Kids [ 5 0 R 7 0 R ]\n"), std::string::npos);
  EXPECT_NE(objectText(pdf, 7).find("/CropBox [0 0 50 60]\n/Rotate 90\n/Contents 8 0 R\n"), std::string::npos);
  EXPECT_NE(objectText(pdf, 8).find("stream\n1.000 1.000 m\n\nendstream"), std::string::npos);
  EXPECT_NE(pdf.find("xref\n0 10\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Info 9 0 R\n"), std::string::npos);
}
