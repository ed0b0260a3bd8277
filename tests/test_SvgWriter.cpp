// The SVG document builder: number format, page frame, layers, path commands, the written file parsed back.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "TestFiles.h"
#include "output/SbSvgWriter.h"

// Fixed point, at most three decimals, no trailing zeros, no "-0", non-finite numbers as 0.
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

// The page in points with y up; layers are Inkscape groups in the order declared (shapes outside any layer come first);
// arcs are quarter turns with the sweep of their direction, a zero sweep or radius its end point, joined by a straight
// edge to what came before; shapes with non-finite numbers are left out. The file written is the document and parses.
TEST(SvgDocument, LayersAreInkscapeGroupsAndTheFileParsesBack) {
  SbSvgWriter svg(100, 100);
  const int lines = svg.addLayer("lines");
  const int dots = svg.addLayer("dots");
  svg.addLayer("empty");
  svg.setLayer(dots);
  svg.circle(10, 20, 2);
  svg.setLayer(-1);
  svg.circle(1, 1, 1);
  const SbVec2f line[3] = {SbVec2f(0, 0), SbVec2f(10, 0), SbVec2f(10, 46)};
  svg.polyline(line, 3, 0.5);
  svg.setLayer(lines);
  svg.moveTo(1, 2);
  svg.lineTo(3, 4);
  svg.closePath();
  svg.setLayer(7);  // no such layer: still "lines"
  svg.fillPath();
  svg.arcTo(50, 50, 10, 0, 2 * M_PI);  // a full counter-clockwise turn
  svg.closePath();
  svg.fillPath();
  svg.arcTo(50, 50, 10, M_PI, M_PI / 2);  // a clockwise quarter
  svg.fillPath();
  svg.moveTo(0, 0);
  svg.arcTo(50, 50, 10, 0, 0);
  svg.arcTo(20, 20, 0, 0, 1);
  svg.fillPath();
  const double nan = std::nan("");
  const SbVec2f bad[2] = {SbVec2f(0, 0), SbVec2f(std::numeric_limits<float>::infinity(), 0)};
  svg.circle(nan, 1, 1);
  svg.circle(1, 1, -1);
  svg.moveTo(0, 0);
  svg.arcTo(1, 1, 1, 0, HUGE_VAL);
  svg.fillPath();
  svg.polyline(bad, 2, 1);
  svg.fillPath();  // nothing collected: nothing emitted, nothing dropped
  EXPECT_EQ(std::make_pair(svg.shapeCount(), svg.droppedShapes()), std::make_pair(7, 4));
  const std::string doc = svg.document();
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" ";
  EXPECT_EQ(doc, head +
                     "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\" width=\"100pt\" "
                     "height=\"100pt\" viewBox=\"0 0 100 100\">\n<circle cx=\"1\" cy=\"99\" r=\"1\" fill=\"#000\"/>\n"
                     "<polyline points=\"0,100 10,100 10,54\" fill=\"none\" stroke=\"#000\" stroke-width=\"0.5\" "
                     "stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n"
                     "<g id=\"lines\" inkscape:groupmode=\"layer\" inkscape:label=\"lines\">\n"
                     "<path d=\"M1 98 L3 96 Z\" fill=\"#000\" fill-rule=\"nonzero\"/>\n"
                     "<path d=\"M60 50 A10 10 0 0 0 50 40 A10 10 0 0 0 40 50 A10 10 0 0 0 50 60 A10 10 0 0 0 60 50 Z\" "
                     "fill=\"#000\" fill-rule=\"nonzero\"/>\n"
                     "<path d=\"M40 50 A10 10 0 0 1 50 40\" fill=\"#000\" fill-rule=\"nonzero\"/>\n"
                     "<path d=\"M0 100 L60 50 L20 80\" fill=\"#000\" fill-rule=\"nonzero\"/>\n</g>\n"
                     "<g id=\"dots\" inkscape:groupmode=\"layer\" inkscape:label=\"dots\">\n"
                     "<circle cx=\"10\" cy=\"80\" r=\"2\" fill=\"#000\"/>\n</g>\n"
                     "<g id=\"empty\" inkscape:groupmode=\"layer\" inkscape:label=\"empty\">\n</g>\n</svg>\n");
  EXPECT_EQ(SbSvgWriter(595, 446).document(),
            head + "version=\"1.1\" width=\"595pt\" height=\"446pt\" viewBox=\"0 0 595 446\">\n</svg>\n");
  SbSvgWriter tiny(nan, -5);
  EXPECT_EQ(std::make_pair(tiny.pageWidth(), tiny.pageHeight()), std::make_pair(1.0, 1.0));
  TempDir dir;
  const std::string path = dir.file("drawing.svg");
  ASSERT_TRUE(svg.write(path));
  EXPECT_EQ(readFile(path), doc);
  EXPECT_TRUE(!haveProgram("xmllint") || std::system(("xmllint --noout " + path).c_str()) == 0);
  if (haveProgram("rsvg-convert")) {
    EXPECT_EQ(std::system(("rsvg-convert -o " + dir.file("drawing.png") + " " + path).c_str()), 0);
    EXPECT_EQ(readFile(dir.file("drawing.png")).compare(1, 3, "PNG"), 0);
  }
}
