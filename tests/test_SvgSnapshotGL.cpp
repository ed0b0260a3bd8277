// The SVG snapshot against the PDF snapshot of the same strokes, its layers, and the pen-plotter output node, in a
// callback traversal (no GL context); pixels are world units.

#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "HqStrokeSource.h"
#include "LineTestNodes.h"
#include "TestFiles.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace {

// Line settings as the snapshots are drawn with, and a merger of the application's line pipeline.
SoLineSettingsHQ* settings() {
  auto* settings = new SoLineSettingsHQ;
  settings->lineWidth = 2.0f;
  settings->maxWidth = 40.0f;
  settings->tolerance = 0.5f;
  return settings;
}
SoLineMergerHQ* merger(SoLineMergerHQ::Method method) {
  auto* merger = new SoLineMergerHQ;
  merger->method = method;
  return merger;
}

// Traverses with a callback action; returns what was printed.
std::string traverse(const linetest::Root& root, int width, int height) {
  testing::internal::CaptureStdout();
  SoCallbackAction(SbViewportRegion(static_cast<short>(width), static_cast<short>(height))).apply(root.get());
  return testing::internal::GetCapturedStdout();
}

// Strokes that exercise every piece of the outline: varying widths, sharp turns (mitres and arcs), a width falling to
// zero, tones across the solid limit, dotted runs and lone dots.
void addSampleStrokes(HqStrokeSource& s) {
  for (int k = 0; k < 6; ++k) {
    std::vector<SbVec2f> p;
    std::vector<float> t;
    for (int i = 0; i <= 60; ++i) {
      const float x = -350.0f + 11.0f * i;
      p.emplace_back(x, 220.0f - 30.0f * k + 12.0f * std::sin(0.05f * x + k));
      t.push_back(1.0f + 3.0f * (0.5f + 0.5f * std::sin(0.09f * i + k)));
    }
    s.addStroke(p, t, {});
  }
  s.addStroke({{-300, -20}, {-250, 40}, {-200, -20}, {-150, 40}, {-100, -20}, {-60, 30}, {-40, -10}},
              {6, 5, 4, 7, 3, 8, 2}, {});
  s.addStroke({{0, 0}, {60, 10}, {120, 0}, {180, 20}}, {5, 2, 0, 4}, {});
  s.addStroke({{-350, -120}, {-150, -120}, {50, -120}, {250, -120}}, {3, 3, 3, 3}, {1.0f, 0.6f, 0.2f, 1.0f});
  s.addStroke({{-350, -180}, {300, -170}}, {4, 4}, {0.35f, 0.35f});
  s.addStroke({{200, 60}}, {5}, {1});
  s.addStroke({{260, 80}}, {2.5f}, {1});
  s.addStroke({{300, -60}, {300.5f, -60}, {330, -40}}, {10, 10, 2}, {});
}

bool xmlOk(const std::string& path) {
  return !haveProgram("xmllint") || std::system(("xmllint --noout '" + path + "'").c_str()) == 0;
}

// The body of the layer `id` of an SVG document ("" when it is missing).
std::string layerOf(const std::string& doc, const std::string& id) {
  const size_t open = doc.find("<g id=\"" + id + "\" inkscape:groupmode=\"layer\"");
  if (open == std::string::npos) return std::string();
  const size_t from = doc.find('>', open) + 1;
  return doc.substr(from, doc.find("</g>", from) - from);
}

// Every element of `kind` ("<circle ", "<polyline ") seen more than once.
std::set<std::string> repeated(const std::string& doc, const std::string& kind) {
  std::set<std::string> all, twice;
  for (size_t at = doc.find(kind); at != std::string::npos; at = doc.find(kind, at + 1))
    if (const std::string e = doc.substr(at, doc.find('>', at) - at); !all.insert(e).second) twice.insert(e);
  return twice;
}

// Lines of numbers of a plotter text file, or points of every polyline of an SVG document.
std::vector<std::vector<double>> paths(const std::string& file, bool svg) {
  std::vector<std::vector<double>> out;
  const std::string text = svg ? file : "\n" + file;
  const std::string tag = svg ? "<polyline points=\"" : "\n";
  for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1)) {
    const size_t from = at + tag.size();
    std::string line = text.substr(from, text.find(svg ? '"' : '\n', from) - from);
    if (!svg && (line.empty() || line[0] == '#')) continue;
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream in(line);
    out.emplace_back();
    for (double x; in >> x;) out.back().push_back(x);
  }
  return out;
}

double length(const std::vector<double>& p) {
  double sum = 0;
  for (size_t i = 2; i + 1 < p.size(); i += 2) sum += std::hypot(p[i] - p[i - 2], p[i + 1] - p[i - 1]);
  return sum;
}

}  // namespace

// Without a merger every outline is hatching. Read back by rsvg-convert, the SVG draws what pdftoppm draws of the PDF
// snapshot of the same strokes.
TEST(SvgSnapshot, ReadBackMatchesThePdfSnapshot) {
  TempDir dir;
  auto* strokes = new HqStrokeSource;
  addSampleStrokes(*strokes);
  auto* pdf = new SoLineOutputPdfHQ;
  auto* svg = new SoLineOutputSvgHQ;
  const linetest::Root root = linetest::scene({linetest::pixelCamera(600), strokes, settings(), pdf, svg});
  ASSERT_TRUE(pdf->requestWrite(dir.file("shot.pdf").c_str()) && svg->requestWrite(dir.file("shot.svg").c_str()));
  traverse(root, 800, 600);
  ASSERT_TRUE(pdf->writeSucceeded() && svg->writeSucceeded());
  EXPECT_FALSE(svg->writePending);
  const std::string doc = readFile(dir.file("shot.svg"));
  for (const char* part : {"width=\"595pt\" height=\"446pt\" viewBox=\"0 0 595 446\"", "<path d=\"M", " A", "<circle "})
    EXPECT_NE(doc.find(part), std::string::npos) << part;
  EXPECT_EQ(layerOf(doc, "silhouettes"), "\n");
  EXPECT_EQ(countOf(layerOf(doc, "hatching"), "<path "), countOf(doc, "<path "));
  EXPECT_TRUE(xmlOk(dir.file("shot.svg")));
  if (!haveProgram("rsvg-convert") || !haveProgram("pdftoppm"))
    GTEST_SKIP() << "rsvg-convert or pdftoppm missing (librsvg2-bin, poppler-utils)";
  // Both PDFs (rsvg-convert's of the SVG and ours) are rendered at twice the page's size in points.
  ASSERT_EQ(
      std::system(("rsvg-convert -f pdf -o '" + dir.file("svg.pdf") + "' '" + dir.file("shot.svg") + "'").c_str()), 0);
  const std::string fromSvg = pdfGreys(dir.file("svg.pdf"), 2 * 595, 2 * 446),
                    fromPdf = pdfGreys(dir.file("shot.pdf"), 2 * 595, 2 * 446);
  ASSERT_TRUE(!fromSvg.empty() && !fromPdf.empty());
  size_t close = 0, inkSvg = 0, inkPdf = 0;
  for (size_t i = 0; i < fromSvg.size(); ++i) {
    const int a = static_cast<unsigned char>(fromSvg[i]), b = static_cast<unsigned char>(fromPdf[i]);
    close += std::abs(a - b) <= 16, inkSvg += a < 128, inkPdf += b < 128;
  }
  const double total = static_cast<double>(fromSvg.size());
  EXPECT_GT(inkPdf / total, 0.02);  // there is ink to compare
  EXPECT_NEAR(static_cast<double>(inkSvg) / inkPdf, 1.0, 0.02);
  EXPECT_GE(close / total, 0.99) << close << " of " << total << " pixels within 16 levels";
}

// The merged pipeline's lines (silhouettes stored, hatching merged in after them, the whole restored) in the SVG
// snapshot and the plotter's SVG: silhouettes, hatching and dots (the light stroke's, one for the end-on edges, one for
// the lone point) in their layers once each; no plotter path shorter than the pen; the dots' marks gone without dots.
TEST(SvgSnapshot, SilhouettesHatchingAndDotsLieInTheirLayersOnceEach) {
  TempDir dir;
  auto *stored = new HqStrokeSource, *strokes = new HqStrokeSource;
  // Two silhouette lines and three edges seen end-on at one point; a solid and a light hatching stroke, and one lone
  // point twice.
  stored->addStroke({{-300, 200}, {300, 200}}, {2, 2}, {});
  stored->addStroke({{-300, -200}, {0, -150}, {300, -200}}, {2, 2, 2}, {});
  for (int k = 0; k < 3; ++k) stored->addStroke({{100, 100}, {100, 100}}, {2, 2}, {});
  strokes->addStroke({{-300, 0}, {300, 0}}, {2, 2}, {1, 1});
  strokes->addStroke({{-300, -100}, {300, -100}}, {2, 2}, {0.3f, 0.3f});
  for (int k = 0; k < 2; ++k) strokes->addStroke({{200, 60}}, {2}, {1});
  auto* svg = new SoLineOutputSvgHQ;
  auto* plotter = new SoLinePlotterOutput;
  const linetest::Root root =
      linetest::scene({linetest::pixelCamera(600), stored, new SoLineMergerHQ, strokes,
                       merger(SoLineMergerHQ::LM_MERGE), merger(SoLineMergerHQ::LM_RESTORE), settings(), svg, plotter});
  ASSERT_TRUE(svg->requestWrite(dir.file("layers.svg").c_str()));
  traverse(root, 800, 600);
  ASSERT_TRUE(svg->writeSucceeded());
  const std::string doc = readFile(dir.file("layers.svg"));
  const std::string silhouettes = layerOf(doc, "silhouettes"), hatching = layerOf(doc, "hatching"),
                    dots = layerOf(doc, "dots"), all = silhouettes + hatching + dots;
  EXPECT_LT(doc.find("id=\"silhouettes\""), doc.find("id=\"hatching\""));
  EXPECT_LT(doc.find("id=\"hatching\""), doc.find("id=\"dots\""));
  EXPECT_EQ((std::vector<int>{countOf(silhouettes, "<path "), countOf(hatching, "<path "),
                              countOf(silhouettes + hatching, "<circle "), countOf(dots, "<path ")}),
            (std::vector<int>{2, 1, 0, 0}))
      << doc;
  EXPECT_GT(countOf(dots, "<circle "), 10);
  EXPECT_EQ(countOf(doc, "<path ") + countOf(doc, "<circle "), countOf(all, "<path ") + countOf(all, "<circle "));
  EXPECT_EQ(repeated(doc, "<circle "), std::set<std::string>());
  EXPECT_TRUE(xmlOk(dir.file("layers.svg")));

  // Short bits of hatching: one continues the solid stroke, one stands alone.
  strokes->addStroke({{300.2f, 0}, {300.5f, 0}}, {2, 2}, {1, 1});
  strokes->addStroke({{0, 250}, {0.3f, 250}}, {2, 2}, {1, 1});
  ASSERT_TRUE(plotter->requestWrite(dir.file("pen.svg").c_str()));
  const std::string said = traverse(root, 800, 600);
  EXPECT_NE(said.find("SoLinePlotterOutput: 2 path(s) shorter than the pen width: 1 joined to a neighbour, 1 left "
                      "out (0.2 points of ink)\n"),
            std::string::npos)
      << said;
  ASSERT_TRUE(plotter->writeSucceeded());
  const std::string pen = readFile(dir.file("pen.svg")), penDots = layerOf(pen, "dots");
  EXPECT_NE(pen.find("width=\"595pt\" height=\"446pt\""), std::string::npos);
  EXPECT_TRUE(xmlOk(dir.file("pen.svg")));
  EXPECT_EQ((std::vector<int>{countOf(layerOf(pen, "silhouettes"), "<polyline "),
                              countOf(layerOf(pen, "hatching"), "<polyline "), countOf(pen, "<polyline ")}),
            (std::vector<int>{2, 1, 3 + countOf(penDots, "<polyline ")}))
      << pen;
  EXPECT_GT(countOf(penDots, "<polyline "), 10);
  EXPECT_EQ(repeated(pen, "<polyline "), std::set<std::string>());
  for (const auto& p : paths(pen, true)) EXPECT_GE(length(p), SoLinePlotterOutput::kPenWidth - 1e-3);
  plotter->includeDots = FALSE;
  ASSERT_TRUE(plotter->requestWrite(dir.file("lines.svg").c_str()));
  traverse(root, 800, 600);
  EXPECT_EQ(countOf(readFile(dir.file("lines.svg")), "<polyline "), 3);
}

// A 595 x 842 viewport maps one pixel to one point; the page origin is the bottom-left corner, so pixel (x, y) is the
// point (x + 297.5, y + 421). An armed plotter that finds no lines stays armed, as it does under actions that carry
// none.
TEST(PlotterOutput, OrdersMergesAndReportsTravelOnTheA4Page) {
  TempDir dir;
  auto* strokes = new HqStrokeSource;
  auto* plotter = new SoLinePlotterOutput;
  plotter->format = SoLinePlotterOutput::TEXT;
  // A portrait camera's height field spans the width.
  const linetest::Root root = linetest::scene({linetest::pixelCamera(595), strokes, plotter});
  ASSERT_TRUE(plotter->requestWrite(dir.file("pen.txt").c_str()));
  traverse(root, 595, 842);
  EXPECT_TRUE(plotter->isWritePending());
  EXPECT_EQ(plotter->getWriteResult(), SoLinePlotterOutput::WR_NONE);
  strokes->addStroke({{-100, 0}, {100, 0}}, {}, {});
  strokes->addStroke({{100, 200}, {-100, 200}}, {}, {});
  strokes->addStroke({{-100, 100}, {100, 100}}, {}, {});
  strokes->addStroke({{100, 100}, {150, 120}}, {}, {});  // continues the third
  strokes->addStroke({{0, -300}}, {}, {});               // a lone point: a dot
  SoGetBoundingBoxAction(SbViewportRegion(595, 842)).apply(root.get());
  EXPECT_TRUE(plotter->isWritePending());
  const std::string said = traverse(root, 595, 842);
  ASSERT_TRUE(plotter->writeSucceeded());
  EXPECT_FALSE(plotter->isWritePending());
  // As traced: 200 + 100 + 0 + 446.2 (to the start of the dot's mark, one pen width long, at x = -0.5). Ordered from
  // the top-left corner: the second stroke reversed, the merged third and fourth backwards, the first, then the dot
  // entered at its right.
  const double before = 200.0 + 100.0 + std::hypot(150.0 + 0.5, 120.0 + 300.0);
  const double after = std::hypot(50.0, 80.0) + 100.0 + std::hypot(99.5, 300.0);
  char expected[160];
  std::snprintf(expected, sizeof expected, "SoLinePlotterOutput: pen-up travel %.1f -> %.1f points\n", before, after);
  EXPECT_EQ(said, expected);
  EXPECT_EQ(paths(readFile(dir.file("pen.txt")), false),
            (std::vector<std::vector<double>>{{197.5, 621, 397.5, 621},
                                              {447.5, 541, 397.5, 521, 197.5, 521},
                                              {197.5, 421, 397.5, 421},
                                              {298, 121, 297, 121}}));
  plotter->includeDots = FALSE;  // without dots the mark is gone
  ASSERT_TRUE(plotter->requestWrite(dir.file("nodots.txt").c_str()));
  traverse(root, 595, 842);
  EXPECT_EQ(paths(readFile(dir.file("nodots.txt")), false).size(), 3u);
  EXPECT_FALSE(plotter->requestWrite(""));
}
