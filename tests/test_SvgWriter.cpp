// The SVG document builder: number format, page frame, path commands, and
// the written file read and parsed back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "TestFiles.h"
#include "output/SbSvgWriter.h"

namespace {
const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" ";
}  // namespace

// Fixed point, at most three decimals, no trailing zeros, no "-0", non-finite
// numbers as 0 (a point whatever the locale: NumberText.WritersUseAPointUnderACommaLocale).
TEST(SvgNumbers, FixedPointWithoutTrailingZeros) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"},    {2.0, "2"},     {1.5, "1.5"},      {-3.25, "-3.25"},    {1234.5678, "1234.568"},
      {0.0004, "0"}, {-0.0004, "0"}, {1e7, "10000000"}, {std::nan(""), "0"}, {HUGE_VAL, "0"}};
  for (const auto& c : cases) {
    std::string s;
    SbSvgWriter::appendNumber(s, c.first);
    EXPECT_EQ(s, c.second) << c.first;
  }
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
  EXPECT_EQ(
      svg.document(),
      kHead +
          "version=\"1.1\" width=\"595pt\" height=\"446pt\" viewBox=\"0 0 595 446\">\n"
          "<circle cx=\"10\" cy=\"426\" r=\"2\" fill=\"#000\"/>\n<polyline points=\"0,446 10,446 10,400\" "
          "fill=\"none\" stroke=\"#000\" stroke-width=\"0.5\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n"
          "<path d=\"M1 444 L3 442 Z\" fill=\"#000\" fill-rule=\"nonzero\"/>\n</svg>\n");
}

// Layers are Inkscape groups in the order declared; the file written is the
// document, read back and parsed by the tools people view it with.
TEST(SvgDocument, LayersAreInkscapeGroupsAndTheFileParsesBack) {
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
  const std::string doc = svg.document();
  EXPECT_EQ(doc, kHead +
                     "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\" width=\"100pt\" "
                     "height=\"100pt\" viewBox=\"0 0 100 100\">\n<circle cx=\"1\" cy=\"99\" r=\"1\" fill=\"#000\"/>\n"
                     "<g id=\"lines\" inkscape:groupmode=\"layer\" inkscape:label=\"lines\">\n"
                     "<path d=\"M1 98 L3 96\" fill=\"#000\" fill-rule=\"nonzero\"/>\n</g>\n"
                     "<g id=\"dots\" inkscape:groupmode=\"layer\" inkscape:label=\"dots\">\n"
                     "<circle cx=\"10\" cy=\"80\" r=\"2\" fill=\"#000\"/>\n</g>\n"
                     "<g id=\"empty\" inkscape:groupmode=\"layer\" inkscape:label=\"empty\">\n</g>\n</svg>\n");
  TempDir dir;
  const std::string path = dir.file("drawing.svg");
  ASSERT_TRUE(svg.write(path));
  EXPECT_EQ(readFile(path), doc);
  if (haveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --noout " + path).c_str()), 0);
  }
  if (haveProgram("rsvg-convert")) {
    EXPECT_EQ(std::system(("rsvg-convert -o " + dir.file("drawing.png") + " " + path).c_str()), 0);
    EXPECT_EQ(readFile(dir.file("drawing.png")).compare(1, 3, "PNG"), 0);
  }
}

TEST(SvgDocument, ArcsAreQuarterTurnsOnTheCircleWithTheRightSweep) {
  SbSvgWriter svg(100, 100);
  svg.arcTo(50, 50, 10, 0, 2 * M_PI);  // a full counter-clockwise turn
  svg.closePath();
  svg.fillPath();
  svg.arcTo(50, 50, 10, M_PI, M_PI / 2);  // a clockwise quarter
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
  const double nan = std::nan("");
  SbSvgWriter svg(100, 100);
  svg.circle(nan, 1, 1);
  svg.circle(1, 1, -1);
  svg.moveTo(0, 0);
  svg.arcTo(1, 1, 1, 0, HUGE_VAL);
  svg.fillPath();
  const SbVec2f bad[2] = {SbVec2f(0, 0), SbVec2f(std::numeric_limits<float>::infinity(), 0)};
  svg.polyline(bad, 2, 1);
  svg.fillPath();  // nothing collected: nothing emitted, nothing dropped
  EXPECT_EQ(svg.shapeCount(), 0);
  EXPECT_EQ(svg.droppedShapes(), 4);
  const std::string doc = svg.document();
  EXPECT_EQ(std::count(doc.begin(), doc.end(), '<'), 3);  // the declaration and the svg element only
  SbSvgWriter tiny(nan, -5);
  EXPECT_EQ(tiny.pageWidth(), 1.0);
  EXPECT_EQ(tiny.pageHeight(), 1.0);
}
