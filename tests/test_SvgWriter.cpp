// The SVG document builder: number format, page frame, path commands, XML
// well-formedness, and writing files in one piece.

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "output/SbSvgWriter.h"

namespace {

std::string number(double v) {
  std::string s;
  SbSvgWriter::appendNumber(s, v);
  return s;
}

// A small well-formedness check: tags nest, attributes are quoted, and the
// root is one svg element after the declaration.
bool wellFormed(const std::string& doc, std::string& why) {
  std::vector<std::string> open;
  size_t i = 0;
  int roots = 0;
  while ((i = doc.find('<', i)) != std::string::npos) {
    const size_t end = doc.find('>', i);
    if (end == std::string::npos) return why = "unclosed tag", false;
    const std::string tag = doc.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return why = "empty tag", false;
    if (tag[0] == '?') {
      if (tag.back() != '?') return why = "bad declaration", false;
      continue;
    }
    static const std::regex element(R"(^(/?)([A-Za-z][\w:-]*)((\s+[\w:-]+="[^"<>]*")*)\s*(/?)$)");
    std::smatch m;
    if (!std::regex_match(tag, m, element)) return why = "bad tag <" + tag + ">", false;
    if (m[1].length()) {
      if (open.empty() || open.back() != m[2].str()) return why = "mismatched </" + m[2].str() + ">", false;
      open.pop_back();
    } else {
      if (open.empty()) ++roots;
      if (!m[5].length()) open.push_back(m[2].str());
    }
  }
  if (!open.empty()) return why = "unclosed <" + open.back() + ">", false;
  if (roots != 1) return why = "not one root element", false;
  return true;
}

}  // namespace

TEST(SvgNumbers, FixedPointWithoutTrailingZeros) {
  EXPECT_EQ(number(0.0), "0");
  EXPECT_EQ(number(2.0), "2");
  EXPECT_EQ(number(1.5), "1.5");
  EXPECT_EQ(number(-3.25), "-3.25");
  EXPECT_EQ(number(1234.5678), "1234.568");
  EXPECT_EQ(number(0.0004), "0");
  EXPECT_EQ(number(-0.0004), "0");
  EXPECT_EQ(number(1e7), "10000000");
  EXPECT_EQ(number(std::numeric_limits<double>::quiet_NaN()), "0");
  EXPECT_EQ(number(std::numeric_limits<double>::infinity()), "0");
}

TEST(SvgNumbers, IndependentOfTheCLocale) {
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
  std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool comma = false;
  for (const char* name : candidates) {
    if (!std::setlocale(LC_NUMERIC, name)) continue;
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    comma = std::string(probe) == "1,5";
    if (comma) break;
  }
  EXPECT_EQ(number(1.5), "1.5");
  SbSvgWriter svg(100, 100);
  svg.circle(10.5, 20.25, 3.125);
  EXPECT_NE(svg.document().find("cx=\"10.5\" cy=\"79.75\" r=\"3.125\""), std::string::npos);
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed; checked under the C locale only";
}

TEST(SvgDocument, PageInPointsAndShapesInTheYUpFrame) {
  SbSvgWriter svg(595, 446);
  svg.circle(10, 20, 2);
  const SbVec2f line[3] = {SbVec2f(0, 0), SbVec2f(10, 0), SbVec2f(10, 46)};
  svg.polyline(line, 3, 0.5);
  svg.moveTo(1, 2);
  svg.lineTo(3, 4);
  svg.closePath();
  svg.fillPath();
  EXPECT_EQ(svg.shapeCount(), 3);
  EXPECT_EQ(svg.document(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"595pt\" height=\"446pt\" "
            "viewBox=\"0 0 595 446\">\n"
            "<circle cx=\"10\" cy=\"426\" r=\"2\" fill=\"#000\"/>\n"
            "<polyline points=\"0,446 10,446 10,400\" fill=\"none\" stroke=\"#000\" stroke-width=\"0.5\" "
            "stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n"
            "<path d=\"M1 444 L3 442 Z\" fill=\"#000\" fill-rule=\"nonzero\"/>\n"
            "</svg>\n");
  std::string why;
  EXPECT_TRUE(wellFormed(svg.document(), why)) << why;
}

TEST(SvgDocument, LayersAreInkscapeGroupsInDeclarationOrder) {
  SbSvgWriter svg(100, 100);
  const int lines = svg.addLayer("lines");
  const int dots = svg.addLayer("dots");
  svg.addLayer("empty");
  svg.setLayer(dots);
  svg.circle(10, 20, 2);
  svg.setLayer(-1);
  svg.circle(1, 1, 1);
  svg.setLayer(lines);
  svg.moveTo(1, 2);
  svg.lineTo(3, 4);
  svg.setLayer(7);  // no such layer: still "lines"
  svg.fillPath();
  EXPECT_EQ(svg.document(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
            "version=\"1.1\" width=\"100pt\" height=\"100pt\" viewBox=\"0 0 100 100\">\n"
            "<circle cx=\"1\" cy=\"99\" r=\"1\" fill=\"#000\"/>\n"
            "<g id=\"lines\" inkscape:groupmode=\"layer\" inkscape:label=\"lines\">\n"
            "<path d=\"M1 98 L3 96\" fill=\"#000\" fill-rule=\"nonzero\"/>\n"
            "</g>\n"
            "<g id=\"dots\" inkscape:groupmode=\"layer\" inkscape:label=\"dots\">\n"
            "<circle cx=\"10\" cy=\"80\" r=\"2\" fill=\"#000\"/>\n"
            "</g>\n"
            "<g id=\"empty\" inkscape:groupmode=\"layer\" inkscape:label=\"empty\">\n"
            "</g>\n"
            "</svg>\n");
  std::string why;
  EXPECT_TRUE(wellFormed(svg.document(), why)) << why;
}

TEST(SvgDocument, ArcsAreQuarterTurnsOnTheCircleWithTheRightSweep) {
  SbSvgWriter svg(100, 100);
  const double pi = 3.14159265358979323846;
  svg.arcTo(50, 50, 10, 0, 2 * pi);  // a full counter-clockwise turn
  svg.closePath();
  svg.fillPath();
  svg.arcTo(50, 50, 10, pi, pi / 2);  // a clockwise quarter
  svg.fillPath();
  const std::string doc = svg.document();
  EXPECT_NE(doc.find("d=\"M60 50 A10 10 0 0 0 50 40 A10 10 0 0 0 40 50 A10 10 0 0 0 50 60 A10 10 0 0 0 60 50 Z\""),
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find("d=\"M40 50 A10 10 0 0 1 50 40\""), std::string::npos) << doc;

  // A zero sweep or radius is the end point; a piece after others joins by
  // a straight edge to the arc's start.
  SbSvgWriter b(100, 100);
  b.moveTo(0, 0);
  b.arcTo(50, 50, 10, 0, 0);
  b.arcTo(20, 20, 0, 0, 1);
  b.fillPath();
  EXPECT_NE(b.document().find("d=\"M0 100 L60 50 L20 80\""), std::string::npos) << b.document();
}

TEST(SvgDocument, ShapesWithNonFiniteNumbersAreLeftOut) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  SbSvgWriter svg(100, 100);
  svg.circle(nan, 1, 1);
  svg.circle(1, 1, -1);
  svg.moveTo(0, 0);
  svg.arcTo(1, 1, 1, 0, std::numeric_limits<double>::infinity());
  svg.fillPath();
  const SbVec2f bad[2] = {SbVec2f(0, 0), SbVec2f(std::numeric_limits<float>::infinity(), 0)};
  svg.polyline(bad, 2, 1);
  svg.fillPath();  // nothing collected: nothing emitted, nothing dropped
  EXPECT_EQ(svg.shapeCount(), 0);
  EXPECT_EQ(svg.droppedShapes(), 4);
  EXPECT_EQ(svg.document().find("nan"), std::string::npos);
  EXPECT_EQ(svg.document().find("inf"), std::string::npos);
  SbSvgWriter tiny(std::numeric_limits<double>::quiet_NaN(), -5);
  EXPECT_EQ(tiny.pageWidth(), 1.0);
  EXPECT_EQ(tiny.pageHeight(), 1.0);
}

TEST(SvgFile, WritesReadsBackAndParses) {
  SbSvgWriter svg(200, 100);
  svg.circle(100, 50, 20);
  svg.arcTo(30, 30, 10, 0, 3);
  svg.closePath();
  svg.fillPath();
  TempDir dir;
  const std::string path = dir.file("drawing.svg");
  ASSERT_TRUE(svg.write(path));
  EXPECT_EQ(readFile(path), svg.document());
  if (haveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --noout " + path).c_str()), 0);
  }
}

TEST(SvgFile, FailureSaysWhy) {
  SbSvgWriter svg(10, 10);
  const std::string missing = "/nonexistent-folder-linfold/out.svg";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(svg.write(missing));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SbSvgWriter::write: cannot write " + missing + ": No such file or directory\n");
}
