// The SVG snapshot against the PDF snapshot of the same strokes (both
// rasterised by the tools people view them with: rsvg-convert and pdftoppm),
// and the pen-plotter output node. Both nodes run in a callback traversal,
// so no GL context is needed.

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSubNode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "core/ChangeStamp.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "HqStrokeSource.h"
#include "flowfield/SbFlowFieldHQ.h"
#include "mesh/SbHeModelHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace {

// Pixels are world units: an orthographic camera `height` units high.
struct Scene {
  SoSeparator* root;
  HqStrokeSource* strokes;
  SoLineSettingsHQ* settings = nullptr;
  Scene(int height, bool withSettings) {
    HqStrokeSource::initClass();
    root = new SoSeparator;
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 10);
    camera->height = static_cast<float>(height);
    camera->nearDistance = 1;
    camera->farDistance = 20;
    root->addChild(camera);
    strokes = new HqStrokeSource;
    root->addChild(strokes);
    if (withSettings) {
      settings = new SoLineSettingsHQ;
      settings->lineWidth = 2.0f;
      settings->maxWidth = 40.0f;
      settings->tolerance = 0.5f;
      root->addChild(settings);
    }
  }
  ~Scene() { root->unref(); }
  void traverse(int width, int height) {
    SoCallbackAction action(SbViewportRegion(static_cast<short>(width), static_cast<short>(height)));
    action.apply(root);
  }
};

struct Grey {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
};

uint32_t bigEndian(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// An 8-bit, non-interlaced PNG (grey, grey + alpha, RGB or RGBA) as grey
// levels over white.
bool readPng(const std::string& path, Grey& out) {
  const std::string bytes = readFile(path);
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 8 || std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) != 0) return false;
  std::string idat;
  int colourType = -1, channels = 0;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t length = bigEndian(b + at);
    const std::string type(bytes, at + 4, 4);
    if (at + 12 + length > bytes.size()) return false;
    const unsigned char* data = b + at + 8;
    if (type == "IHDR") {
      out.width = static_cast<int>(bigEndian(data));
      out.height = static_cast<int>(bigEndian(data + 4));
      colourType = data[9];
      if (data[8] != 8 || data[12] != 0) return false;
      channels = colourType == 0 ? 1 : colourType == 4 ? 2 : colourType == 2 ? 3 : colourType == 6 ? 4 : 0;
      if (!channels) return false;
    } else if (type == "IDAT") {
      idat.append(reinterpret_cast<const char*>(data), length);
    }
    at += 12 + length;
  }
  const size_t stride = static_cast<size_t>(out.width) * channels;
  std::vector<unsigned char> raw((stride + 1) * out.height);
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      rawSize != raw.size())
    return false;
  std::vector<unsigned char> prev(stride, 0), row(stride);
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    const unsigned char* in = &raw[y * (stride + 1)];
    const int filter = in[0];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<size_t>(channels) ? row[i - channels] : 0;
      const int up = prev[i];
      const int c = i >= static_cast<size_t>(channels) ? prev[i - channels] : 0;
      int predictor = 0;
      switch (filter) {
        case 1: predictor = a; break;
        case 2: predictor = up; break;
        case 3: predictor = (a + up) / 2; break;
        case 4: {
          const int p = a + up - c, pa = std::abs(p - a), pb = std::abs(p - up), pc = std::abs(p - c);
          predictor = pa <= pb && pa <= pc ? a : pb <= pc ? up : c;
          break;
        }
        default: break;
      }
      row[i] = static_cast<unsigned char>(in[1 + i] + predictor);
    }
    for (int x = 0; x < out.width; ++x) {
      const unsigned char* px = &row[static_cast<size_t>(x) * channels];
      const double grey = channels >= 3 ? (px[0] + px[1] + px[2]) / 3.0 : px[0];
      const double alpha = channels == 2 ? px[1] / 255.0 : channels == 4 ? px[3] / 255.0 : 1.0;
      out.pixels[static_cast<size_t>(y) * out.width + x] =
          static_cast<unsigned char>(std::lround(grey * alpha + 255.0 * (1.0 - alpha)));
    }
    prev = row;
  }
  return true;
}

// A binary PGM (P5, maxval 255) as pdftoppm -gray writes it.
bool readPgm(const std::string& path, Grey& out) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> out.width >> out.height >> maxval;
  in.get();
  if (magic != "P5" || maxval != 255 || out.width <= 0 || out.height <= 0) return false;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  in.read(reinterpret_cast<char*>(out.pixels.data()), static_cast<std::streamsize>(out.pixels.size()));
  return static_cast<size_t>(in.gcount()) == out.pixels.size();
}

// Strokes that exercise every piece of the outline: varying widths, sharp
// turns (mitres and arcs), a width falling to zero, tones across the solid
// limit, dotted runs and lone dots.
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

}  // namespace

TEST(SvgSnapshot, RasterisedMatchesThePdfSnapshot) {
  if (!haveProgram("rsvg-convert") || !haveProgram("pdftoppm"))
    GTEST_SKIP() << "rsvg-convert or pdftoppm missing (librsvg2-bin, poppler-utils)";
  TempDir dir;
  Scene scene(600, true);
  addSampleStrokes(*scene.strokes);
  auto* pdf = new SoLineOutputPdfHQ;
  auto* svg = new SoLineOutputSvgHQ;
  scene.root->addChild(pdf);
  scene.root->addChild(svg);
  ASSERT_TRUE(pdf->requestWrite(dir.file("shot.pdf").c_str()));
  ASSERT_TRUE(svg->requestWrite(dir.file("shot.svg").c_str()));
  scene.traverse(800, 600);
  ASSERT_TRUE(pdf->writeSucceeded());
  ASSERT_TRUE(svg->writeSucceeded());
  EXPECT_FALSE(svg->writePending);

  const std::string doc = readFile(dir.file("shot.svg"));
  EXPECT_NE(doc.find("width=\"595pt\" height=\"446pt\" viewBox=\"0 0 595 446\""), std::string::npos);
  EXPECT_NE(doc.find("<path d=\"M"), std::string::npos);
  EXPECT_NE(doc.find(" A"), std::string::npos);
  EXPECT_NE(doc.find("<circle "), std::string::npos);
  if (haveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --noout " + dir.file("shot.svg")).c_str()), 0);
  }

  // Twice the page's size in points.
  const int w = 2 * 595, h = 2 * 446;
  const std::string size = " -w " + std::to_string(w) + " -h " + std::to_string(h);
  ASSERT_EQ(std::system(("rsvg-convert -b white" + size + " -o " + dir.file("svg.png") + " " + dir.file("shot.svg"))
                            .c_str()),
            0);
  ASSERT_EQ(std::system(("pdftoppm -gray -singlefile -scale-to-x " + std::to_string(w) + " -scale-to-y " +
                         std::to_string(h) + " " + dir.file("shot.pdf") + " " + dir.file("pdf"))
                            .c_str()),
            0);
  Grey fromSvg, fromPdf;
  ASSERT_TRUE(readPng(dir.file("svg.png"), fromSvg));
  ASSERT_TRUE(readPgm(dir.file("pdf.pgm"), fromPdf));
  ASSERT_EQ(fromSvg.width, w);
  ASSERT_EQ(fromSvg.height, h);
  ASSERT_EQ(fromPdf.width, w);
  ASSERT_EQ(fromPdf.height, h);

  size_t close = 0, inkSvg = 0, inkPdf = 0;
  for (size_t i = 0; i < fromSvg.pixels.size(); ++i) {
    if (std::abs(int(fromSvg.pixels[i]) - int(fromPdf.pixels[i])) <= 16) ++close;
    if (fromSvg.pixels[i] < 128) ++inkSvg;
    if (fromPdf.pixels[i] < 128) ++inkPdf;
  }
  const double total = static_cast<double>(fromSvg.pixels.size());
  EXPECT_GT(inkPdf / total, 0.02);  // there is ink to compare
  EXPECT_NEAR(static_cast<double>(inkSvg) / inkPdf, 1.0, 0.02);
  std::printf("pixels within 16 grey levels of the PDF rendering: %.2f%%\n", 100.0 * close / total);
  EXPECT_GE(close / total, 0.99) << close << " of " << total << " pixels within 16 levels";
}

TEST(SvgSnapshot, ArmedWithoutStrokesStaysArmedAndWritesNothing) {
  TempDir dir;
  Scene scene(600, true);
  auto* svg = new SoLineOutputSvgHQ;
  scene.root->addChild(svg);
  ASSERT_TRUE(svg->requestWrite(dir.file("none.svg").c_str()));
  scene.traverse(800, 600);
  EXPECT_TRUE(svg->writePending);
  EXPECT_EQ(svg->getWriteResult(), SoLineOutputHQ::WR_NONE);
  EXPECT_FALSE(std::ifstream(dir.file("none.svg")).good());
}

TEST(SvgSnapshot, UnwritablePathFailsWithAMessage) {
  Scene scene(600, true);
  scene.strokes->addStroke({{0, 0}, {100, 0}}, {2, 2}, {});
  auto* svg = new SoLineOutputSvgHQ;
  scene.root->addChild(svg);
  const std::string path = "/nonexistent-folder-linfold/shot.svg";
  ASSERT_TRUE(svg->requestWrite(path.c_str()));
  testing::internal::CaptureStdout();
  scene.traverse(800, 600);
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("SbSvgWriter::write: cannot write " + path + ": No such file or directory\n"),
            std::string::npos)
      << said;
  EXPECT_FALSE(svg->writePending);
  EXPECT_EQ(svg->getWriteResult(), SoLineOutputHQ::WR_FAILED);
}

namespace {

// The body of the layer `id` of an SVG document ("" when it is missing).
std::string layerOf(const std::string& doc, const std::string& id) {
  const size_t open = doc.find("<g id=\"" + id + "\" inkscape:groupmode=\"layer\"");
  if (open == std::string::npos) return std::string();
  const size_t from = doc.find('>', open) + 1;
  return doc.substr(from, doc.find("</g>", from) - from);
}

// Length of every polyline of an SVG document, in its units.
std::vector<double> polylineLengths(const std::string& doc) {
  std::vector<double> out;
  for (size_t at = doc.find("<polyline points=\""); at != std::string::npos;
       at = doc.find("<polyline points=\"", at + 1)) {
    const size_t from = at + 18;
    std::string points = doc.substr(from, doc.find('"', from) - from);
    for (char& c : points)
      if (c == ',') c = ' ';
    std::istringstream in(points);
    double x, y, px = 0, py = 0, length = 0;
    for (bool first = true; in >> x >> y; first = false) {
      if (!first) length += std::hypot(x - px, y - py);
      px = x, py = y;
    }
    out.push_back(length);
  }
  return out;
}

// Every element of `kind` ("<circle ", "<polyline ") seen more than once.
std::vector<std::string> repeated(const std::string& doc, const std::string& kind) {
  std::vector<std::string> all, twice;
  for (size_t at = doc.find(kind); at != std::string::npos; at = doc.find(kind, at + 1))
    all.push_back(doc.substr(at, doc.find('>', at) - at));
  std::sort(all.begin(), all.end());
  for (size_t i = 1; i < all.size(); ++i)
    if (all[i] == all[i - 1] && (twice.empty() || twice.back() != all[i])) twice.push_back(all[i]);
  return twice;
}

// As the application's line pipeline: `stored` (the silhouettes) kept by a
// storing merger, `merged` (the hatching) added to them, the merged set
// restored for the line settings and the outputs after them.
struct MergedScene : Scene {
  HqStrokeSource* stored;
  MergedScene() : Scene(600, false) {
    stored = strokes;
    strokes = new HqStrokeSource;
    auto* store = new SoLineMergerHQ;
    auto* merge = new SoLineMergerHQ;
    auto* restore = new SoLineMergerHQ;
    merge->method = SoLineMergerHQ::LM_MERGE;
    restore->method = SoLineMergerHQ::LM_RESTORE;
    settings = new SoLineSettingsHQ;
    settings->lineWidth = 2.0f;
    settings->maxWidth = 40.0f;
    settings->tolerance = 0.5f;
    for (SoNode* n : std::initializer_list<SoNode*>{store, strokes, merge, restore, settings}) root->addChild(n);
  }
  // Two silhouette lines and three edges seen end-on at one point; a solid
  // and a light hatching stroke, and one lone point twice.
  void addLines() {
    stored->addStroke({{-300, 200}, {300, 200}}, {2, 2}, {});
    stored->addStroke({{-300, -200}, {0, -150}, {300, -200}}, {2, 2, 2}, {});
    for (int k = 0; k < 3; ++k) stored->addStroke({{100, 100}, {100, 100}}, {2, 2}, {});
    strokes->addStroke({{-300, 0}, {300, 0}}, {2, 2}, {1, 1});
    strokes->addStroke({{-300, -100}, {300, -100}}, {2, 2}, {0.3f, 0.3f});
    for (int k = 0; k < 2; ++k) strokes->addStroke({{200, 60}}, {2}, {1});
  }
};

}  // namespace

TEST(SvgSnapshot, SilhouettesHatchingAndDotsLieInTheirLayersOnceEach) {
  TempDir dir;
  MergedScene scene;
  scene.addLines();
  auto* svg = new SoLineOutputSvgHQ;
  scene.root->addChild(svg);
  ASSERT_TRUE(svg->requestWrite(dir.file("layers.svg").c_str()));
  scene.traverse(800, 600);
  ASSERT_TRUE(svg->writeSucceeded());
  const std::string doc = readFile(dir.file("layers.svg"));
  const std::string silhouettes = layerOf(doc, "silhouettes"), hatching = layerOf(doc, "hatching"),
                    dots = layerOf(doc, "dots");
  EXPECT_LT(doc.find("id=\"silhouettes\""), doc.find("id=\"hatching\""));
  EXPECT_LT(doc.find("id=\"hatching\""), doc.find("id=\"dots\""));
  EXPECT_EQ(countOf(silhouettes, "<path "), 2u) << doc;
  EXPECT_EQ(countOf(hatching, "<path "), 1u) << doc;
  EXPECT_EQ(countOf(silhouettes + hatching, "<circle "), 0u);
  EXPECT_EQ(countOf(dots, "<path "), 0u);
  // The light stroke's row, the end-on edges' dot and the lone point's.
  EXPECT_GT(countOf(dots, "<circle "), 10u);
  EXPECT_EQ(countOf(doc, "<path ") + countOf(doc, "<circle "),
            countOf(silhouettes + hatching + dots, "<path ") + countOf(silhouettes + hatching + dots, "<circle "));
  EXPECT_EQ(repeated(doc, "<circle "), std::vector<std::string>());
  if (haveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --noout " + dir.file("layers.svg")).c_str()), 0);
  }

  // Without a merger the origin is unknown: every outline is hatching.
  Scene plain(600, true);
  addSampleStrokes(*plain.strokes);
  auto* plainSvg = new SoLineOutputSvgHQ;
  plain.root->addChild(plainSvg);
  ASSERT_TRUE(plainSvg->requestWrite(dir.file("plain.svg").c_str()));
  plain.traverse(800, 600);
  const std::string plainDoc = readFile(dir.file("plain.svg"));
  EXPECT_EQ(layerOf(plainDoc, "silhouettes"), "\n");
  EXPECT_EQ(countOf(layerOf(plainDoc, "hatching"), "<path "), countOf(plainDoc, "<path "));
}

// ---------------------------------------------------------------- plotter

namespace {

// Lines of a plotter text file that are not comments.
std::vector<std::vector<double>> textPaths(const std::string& text) {
  std::vector<std::vector<double>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream numbers(line);
    std::vector<double> v;
    double x;
    while (numbers >> x) v.push_back(x);
    out.push_back(v);
  }
  return out;
}

}  // namespace

TEST(PlotterOutput, OrdersMergesAndReportsTravelOnTheA4Page) {
  // A 595 x 842 viewport maps one pixel to one point; the page origin is
  // the bottom-left corner, so pixel (x, y) is the point (x + 297.5, y + 421).
  TempDir dir;
  Scene scene(595, false);  // a portrait camera's height field spans the width
  scene.strokes->addStroke({{-100, 0}, {100, 0}}, {}, {});
  scene.strokes->addStroke({{100, 200}, {-100, 200}}, {}, {});
  scene.strokes->addStroke({{-100, 100}, {100, 100}}, {}, {});
  scene.strokes->addStroke({{100, 100}, {150, 120}}, {}, {});  // continues the third
  scene.strokes->addStroke({{0, -300}}, {}, {});                // a lone point: a dot
  auto* plotter = new SoLinePlotterOutput;
  plotter->format = SoLinePlotterOutput::TEXT;
  scene.root->addChild(plotter);
  ASSERT_TRUE(plotter->requestWrite(dir.file("pen.txt").c_str()));
  testing::internal::CaptureStdout();
  scene.traverse(595, 842);
  const std::string said = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(plotter->writeSucceeded());
  EXPECT_FALSE(plotter->isWritePending());
  // As traced: 200 + 100 + 0 + 446.2 (to the start of the dot's mark, one
  // pen width long, at x = -0.5).
  const double before = 200.0 + 100.0 + std::hypot(150.0 + 0.5, 120.0 + 300.0);
  // Ordered from the top-left corner: the second stroke reversed, the merged
  // third and fourth backwards, the first, then the dot entered at its right.
  const double after = std::hypot(50.0, 80.0) + 100.0 + std::hypot(99.5, 300.0);
  char expected[160];
  std::snprintf(expected, sizeof expected, "SoLinePlotterOutput: pen-up travel %.1f -> %.1f points\n", before, after);
  EXPECT_EQ(said, expected);

  const std::vector<std::vector<double>> paths = textPaths(readFile(dir.file("pen.txt")));
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[0], (std::vector<double>{197.5, 621, 397.5, 621}));
  EXPECT_EQ(paths[1], (std::vector<double>{447.5, 541, 397.5, 521, 197.5, 521}));
  EXPECT_EQ(paths[2], (std::vector<double>{197.5, 421, 397.5, 421}));
  EXPECT_EQ(paths[3], (std::vector<double>{298, 121, 297, 121}));

  // Without dots the mark is gone.
  plotter->includeDots = FALSE;
  ASSERT_TRUE(plotter->requestWrite(dir.file("nodots.txt").c_str()));
  testing::internal::CaptureStdout();
  scene.traverse(595, 842);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(textPaths(readFile(dir.file("nodots.txt"))).size(), 3u);
}

TEST(PlotterOutput, LightRunsBecomeDotsAndSolidRunsLinesInTheSvg) {
  TempDir dir;
  Scene scene(600, true);
  scene.strokes->addStroke({{-300, 100}, {300, 100}}, {2, 2}, {1, 1});      // solid
  scene.strokes->addStroke({{-300, -100}, {300, -100}}, {2, 2}, {0.3f, 0.3f});  // dotted
  auto* plotter = new SoLinePlotterOutput;
  scene.root->addChild(plotter);
  ASSERT_TRUE(plotter->requestWrite(dir.file("pen.svg").c_str()));
  testing::internal::CaptureStdout();
  scene.traverse(800, 600);
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(plotter->writeSucceeded());
  const std::string withDots = readFile(dir.file("pen.svg"));
  EXPECT_NE(withDots.find("width=\"595pt\" height=\"446pt\""), std::string::npos);
  const size_t polylines = countOf(withDots, "<polyline ");
  EXPECT_GT(polylines, 10u);  // one line and a row of dot marks
  if (haveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --noout " + dir.file("pen.svg")).c_str()), 0);
  }

  plotter->includeDots = FALSE;
  ASSERT_TRUE(plotter->requestWrite(dir.file("lines.svg").c_str()));
  testing::internal::CaptureStdout();
  scene.traverse(800, 600);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(countOf(readFile(dir.file("lines.svg")), "<polyline "), 1u);
}

TEST(PlotterOutput, LayersHoldTheirLinesAndNoPathIsShorterThanThePen) {
  TempDir dir;
  MergedScene scene;
  scene.addLines();
  // Short bits of hatching: one continues the solid stroke, one stands alone.
  scene.strokes->addStroke({{300.2f, 0}, {300.5f, 0}}, {2, 2}, {1, 1});
  scene.strokes->addStroke({{0, 250}, {0.3f, 250}}, {2, 2}, {1, 1});
  auto* plotter = new SoLinePlotterOutput;
  scene.root->addChild(plotter);
  ASSERT_TRUE(plotter->requestWrite(dir.file("pen.svg").c_str()));
  testing::internal::CaptureStdout();
  scene.traverse(800, 600);
  const std::string said = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(plotter->writeSucceeded());
  EXPECT_NE(said.find("SoLinePlotterOutput: 2 path(s) shorter than the pen width: 1 joined to a neighbour, 1 left "
                      "out (0.2 points of ink)\n"),
            std::string::npos)
      << said;
  const std::string doc = readFile(dir.file("pen.svg"));
  EXPECT_EQ(countOf(layerOf(doc, "silhouettes"), "<polyline "), 2u) << doc;
  EXPECT_EQ(countOf(layerOf(doc, "hatching"), "<polyline "), 1u) << doc;
  // The light stroke's marks, one for the end-on edges, one for the lone point.
  const std::string dots = layerOf(doc, "dots");
  EXPECT_GT(countOf(dots, "<polyline "), 10u);
  EXPECT_EQ(countOf(doc, "<polyline "), 3u + countOf(dots, "<polyline "));
  EXPECT_EQ(repeated(doc, "<polyline "), std::vector<std::string>());
  for (double length : polylineLengths(doc)) EXPECT_GE(length, SoLinePlotterOutput::kPenWidth - 1e-3);
}

TEST(PlotterOutput, StaysArmedWithoutLinesAndFailsOnABadPath) {
  Scene scene(600, false);
  auto* plotter = new SoLinePlotterOutput;
  scene.root->addChild(plotter);
  const std::string path = "/nonexistent-folder-linfold/pen.txt";
  plotter->format = SoLinePlotterOutput::TEXT;
  ASSERT_TRUE(plotter->requestWrite(path.c_str()));
  scene.traverse(800, 600);
  EXPECT_TRUE(plotter->isWritePending());
  EXPECT_EQ(plotter->getWriteResult(), SoLinePlotterOutput::WR_NONE);

  scene.strokes->addStroke({{0, 0}, {10, 0}}, {}, {});
  // Actions that do not carry the line set leave it armed.
  SoGetBoundingBoxAction box(SbViewportRegion(800, 600));
  box.apply(scene.root);
  SoSearchAction search;
  search.setType(SoLinePlotterOutput::getClassTypeId());
  search.apply(scene.root);
  plotter->doAction(&search);
  EXPECT_TRUE(plotter->isWritePending());
  testing::internal::CaptureStdout();
  scene.traverse(800, 600);
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("SoLinePlotterOutput: cannot write " + path + ": No such file or directory\n"),
            std::string::npos)
      << said;
  EXPECT_FALSE(plotter->isWritePending());
  EXPECT_EQ(plotter->getWriteResult(), SoLinePlotterOutput::WR_FAILED);
  EXPECT_FALSE(plotter->requestWrite(""));
}

TEST(PlotterOutput, HatchedTorusTravelIsCutByMoreThanHalfAgainstTheTracedOrder) {
  // A torus hatched by the streamliner along a field that winds around the
  // tube, seen from above; the plotter output right after the tracer.
  struct Hatch {
    SbHeModelHQ model;
    SbFlowFieldHQ field;
  } hatch;
  hatch.model.build(testmesh::model(testmesh::torus(48, 24, 1.0f, 0.4f)));
  for (const HeVertex* v : hatch.model.vertices) {
    const SbVec3f p = v->position;
    const SbVec3f around = SbVec3f(0, 0, 1).cross(p);
    SbVec3f centre(p[0], p[1], 0);
    centre.normalize();
    FlowRecord* r = SbFlowFieldHQ::recordPool.take();
    r->direction = around + around.cross(p - centre) * 0.5f;
    r->direction -= v->normal * r->direction.dot(v->normal);
    r->direction.normalize();
    r->cross = r->direction.cross(v->normal);
    r->locked = false;
    r->score = 0;
    hatch.field.records.push_back(r);
  }
  hatch.field.modelStamp = hatch.model.stamp;
  hatch.field.stamp = drawChangeStamp();

  TempDir dir;
  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0, 0, 10);
  camera->height = 3.0f;
  camera->nearDistance = 1;
  camera->farDistance = 20;
  root->addChild(camera);
  root->addChild(new StateStep([&hatch](SoState* state, SoNode* node) {
    SoHeModelElementHQ::set(state, node, &hatch.model);
    SoFlowFieldElementHQ::set(state, node, &hatch.field);
  }));
  auto* streamliner = new SoStreamlinerHQ;
  streamliner->seperationDist = 0.02f;
  streamliner->probeDist = 0.025f;
  streamliner->stepSize = 0.01f;
  root->addChild(streamliner);
  auto* plotter = new SoLinePlotterOutput;
  plotter->optimiseSeconds = 5.0f;
  root->addChild(plotter);
  ASSERT_TRUE(plotter->requestWrite(dir.file("torus.svg").c_str()));
  testing::internal::CaptureStdout();
  SoCallbackAction action(SbViewportRegion(800, 800));
  action.apply(root);
  const std::string said = testing::internal::GetCapturedStdout();
  const bool written = plotter->writeSucceeded();
  root->unref();
  hatch.field.clear();

  ASSERT_TRUE(written) << said;
  const size_t at = said.find("SoLinePlotterOutput: pen-up travel ");
  ASSERT_NE(at, std::string::npos) << said;
  double before = 0, after = 0;
  ASSERT_EQ(std::sscanf(said.c_str() + at, "SoLinePlotterOutput: pen-up travel %lf -> %lf points", &before, &after), 2);
  const std::vector<double> lengths = polylineLengths(readFile(dir.file("torus.svg")));
  std::printf("%zu paths, pen-up travel %.1f -> %.1f points\n", lengths.size(), before, after);
  EXPECT_GT(lengths.size(), 30u);
  EXPECT_LT(after, 0.5 * before);
  for (double length : lengths) EXPECT_GE(length, SoLinePlotterOutput::kPenWidth - 1e-3);
}
