#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "HqStrokeSource.h"
#include "TestFiles.h"
#include "output/ContourArcHQ.h"
#include "output/ContourLineHQ.h"
#include "output/SbInkOutlineHQ.h"
#include "output/SbTgaRasterHQ.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "styling/SbLineSettingsHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace {

// The inflated content stream of a one-page compressed snapshot.
std::string pageContent(const std::string& pdf) {
  const size_t start = pdf.find("stream\n");
  const size_t end = pdf.find("\nendstream");
  if (start == std::string::npos || end == std::string::npos) return {};
  const std::string packed = pdf.substr(start + 7, end - start - 7);
  std::vector<unsigned char> out(1 << 24);
  uLongf size = out.size();
  if (uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(packed.data()), packed.size()) != Z_OK) return {};
  return std::string(reinterpret_cast<char*>(out.data()), size);
}

// Collects what SbInkOutlineHQ produces, each dot finite and no wider than kMaxRadius; with a raster it also draws it.
struct Recorder : SbInkOutlineHQ::Receiver {
  SbTgaRasterHQ* raster = nullptr;
  std::vector<int> contourPieces;
  int dots = 0;
  std::string dotText;  // "x y radius" of every dot, comma separated
  void fillContour(ContourListHQ& outline) override {
    contourPieces.push_back(outline.count);
    if (!raster) return outline.clear();
    for (ContourPieceHQ* p = outline.take(); p;) p = p->emitPolygon(*raster);
    raster->fillContour();
  }
  void drawDot(const SbVec3f& centre, float radius) override {
    EXPECT_TRUE(std::isfinite(centre[0] + centre[1] + radius) && radius <= SbInkOutlineHQ::kMaxRadius) << radius;
    char one[64];
    std::snprintf(one, sizeof one, "%s%g %g %g", dots++ ? ", " : "", centre[0], centre[1], radius);
    dotText += one;
    if (raster) raster->drawDot(centre[0], centre[1], radius);
  }
};

class InkOutline : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.setLineWidth(2.0f);  // radius = thickness
    settings.setMaxWidth(1.0e4f);
    settings.setTolerance(0.0f);
    settings.setRebalance(true);
    settings.setRange(2.0f, 100.0f);
  }
  void TearDown() override {  // every pooled object handed back
    EXPECT_EQ(std::make_tuple(SbInkOutlineHQ::pool.live(), ContourLineHQ::pool.live(), ContourArcHQ::pool.live()),
              std::make_tuple(0, 0, 0));
  }
  void stroke(const std::vector<SbVec2f>& p, const std::vector<float>& radius, const std::vector<float>& tone) {
    SbInkOutlineHQ ink(settings, recorder);
    ink.addStroke(p.data(), radius.empty() ? nullptr : radius.data(), tone.empty() ? nullptr : tone.data(),
                  static_cast<int>(p.size()));
  }
  // Rasterises a solid stroke's outline and compares every pixel with the exact union of discs and tangent bands: more
  // than 1.5 px inside must be full ink, more than 1 px outside untouched paper. Returns the outlines.
  int expectCoversUnion(const std::vector<SbVec2f>& p, const std::vector<float>& r) {
    SbTgaRasterHQ raster;
    EXPECT_TRUE(raster.begin(256, 256));
    Recorder drawn;
    drawn.raster = &raster;
    SbInkOutlineHQ(settings, drawn).addStroke(p.data(), r.data(), nullptr, static_cast<int>(p.size()));
    EXPECT_EQ(drawn.dots, 0);
    int wrongInside = 0, wrongOutside = 0;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const SbVec2f q(x + 0.5f - 128.0f, 128.0f - (y + 0.5f));
        const double d = strokeDistance(q, p, r);
        wrongInside += d < -1.5 && raster.pixel(x, y) != 0;
        wrongOutside += d > 1.0 && raster.pixel(x, y) != 255;
      }
    EXPECT_EQ(std::make_pair(wrongInside, wrongOutside), std::make_pair(0, 0));
    return static_cast<int>(drawn.contourPieces.size());
  }
  SbLineSettingsHQ settings;
  Recorder recorder;
};

}  // namespace

// One outline per solid run, dots for light runs; the filter drops a vertex that moves less than sqrt(tolerance) with
// the same width and tone. Bad values give finite dots no wider than kMaxRadius.
TEST_F(InkOutline, RunsGiveOutlinesAndDots) {
  const std::vector<SbVec2f> zigzag = {{-60, 0}, {-30, 20}, {0, -10}, {30, 25}, {60, 0}};
  const float nan = std::nanf(""), inf = INFINITY;
  const std::vector<SbVec2f> bad = {{0, 0}, {nan, 1}, {inf, 0}, {40, 10}, {80, 0}};
  using Floats = std::vector<float>;
  // name, tolerance, points, radii, tones -> outlines (-1: some ink, in any shape), least and most dots
  const std::tuple<const char*, float, std::vector<SbVec2f>, Floats, Floats, int, int, int> cases[] = {
      {"solid", 0, zigzag, {3, 4, 5, 4, 3}, {1, 1, 1, 1, 1}, 1, 0, 0},
      {"light", 0, zigzag, {3, 4, 5, 4, 3}, {0.2f, 0.2f, 0.2f, 0.2f, 0.2f}, 0, 6, 1000},
      {"moves past the tolerance", 4, {{0, 0}, {2.05f, 0}}, {2, 2}, {1, 1}, 1, 0, 0},
      {"moves within it: a lone dot", 4, {{0, 0}, {1.95f, 0}}, {2, 2}, {1, 1}, 0, 1, 1},
      {"width changes", 4, {{0, 0}, {1, 0}}, {2, 4}, {1, 1}, -1, 0, 0},
      {"tone changes", 4, {{0, 0}, {1, 0}}, {2, 2}, {1, 0.5f}, -1, 0, 1000},
      {"width turns negative: split at zero", 0, {{-60, 0}, {0, 0}, {60, 0}}, {6, -6, 6}, {1, 1, 1}, 2, 0, 0},
      {"zero width", 0, {{-60, 0}, {60, 0}}, {0, 0}, {1, 1}, 0, 0, 0},
      {"no tone", 0, {{-60, 0}, {60, 0}}, {4, 4}, {0, 0}, 0, 0, 0},
      {"bad values", 0, bad, {inf, 2, 2, -inf, 1e30f}, {2.0f, nan, -5, 1, 1}, -1, 0, 1000},
      {"zero length, dotted", 0, {{0, 0}, {0, 0}, {0, 0}}, {3, 3, 3}, {0.5f, 0.5f, 0.5f}, -1, 0, 1000},
      {"zero length, solid", 0, {{0, 0}, {0, 0}}, {3, 3}, {1, 1}, -1, 0, 1000}};
  for (const auto& [name, tolerance, p, r, tone, outlines, minDots, maxDots] : cases) {
    SCOPED_TRACE(name);
    recorder = Recorder();
    settings.setTolerance(tolerance);
    stroke(p, r, tone);
    const int drawn = static_cast<int>(recorder.contourPieces.size()), dots = recorder.dots;
    EXPECT_EQ(drawn, outlines < 0 ? drawn : outlines);
    EXPECT_TRUE(outlines >= 0 || drawn + dots > 0);
    EXPECT_TRUE(dots >= minDots && dots <= maxDots) << dots;
  }
}

TEST_F(InkOutline, OutlineCoversUnionOfDiscsAndBands) {
  // points, radii -> outlines (0: not checked)
  const std::tuple<std::vector<SbVec2f>, std::vector<float>, int> cases[] = {
      {{{-100, 0}, {-40, 0}, {0, 0}, {50, 0}, {100, 0}}, {3, 12, 20, 6, 2}, 1},  // the disc bulges at the widest
      {{{-100, -40}, {-60, 40}, {-20, -40}, {20, 40}, {60, -40}, {100, 40}}, {8, 8, 8, 8, 8, 8}, 1},  // mitres
      {{{-80, 0}, {40, 0}, {-60, 0.5f}}, {10, 10, 10}, 0},            // a reversal: no mitre fits
      {{{-80, 0}, {0, 0}, {3, 6}, {-80, 10}}, {12, 12, 12, 12}, 1},   // a hairpin with short legs
      {{{-90, -60}, {0, 0}, {10, 40}, {90, 30}}, {2, 30, 3, 15}, 0},  // very unequal radii at a turn
      {{{-90, 0}, {0, 30}, {90, 0}}, {10, 0, 10}, 1},                 // pinched to the zero width
      {{{-50, 0}, {-45, 0}, {40, 10}}, {20, 3, 6}, 2},                // a disc inside the first: cut there
      {{{0, 0}, {0, 0}, {30, 0}}, {5, 9, 4}, 0}};
  for (const auto& [p, r, outlines] : cases) {
    SCOPED_TRACE(testing::Message() << p.size() << " points, r[1] " << r[1]);
    const int drawn = expectCoversUnion(p, r);
    EXPECT_EQ(drawn, outlines ? outlines : drawn);
  }
  // Random walks with turns up to a reversal and widths up to 15 pixels.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> turn(-3.1f, 3.1f), step(1.0f, 40.0f), width(0.3f, 15.0f);
  for (int s = 0; s < 40; ++s) {
    std::vector<SbVec2f> p = {{-20, 0}};
    std::vector<float> r = {width(rng)};
    float heading = 0;
    for (int k = 1; k < 3 + s % 6; ++k) {
      heading += turn(rng);
      SbVec2f next = p.back() + SbVec2f(std::cos(heading), std::sin(heading)) * step(rng);
      p.emplace_back(std::clamp(next[0], -90.0f, 90.0f), std::clamp(next[1], -90.0f, 90.0f));
      r.push_back(width(rng));
    }
    SCOPED_TRACE(s);
    expectCoversUnion(p, r);
  }
}

TEST_F(InkOutline, LonePointsAreDotsOfTheirRadiusOncePerPlace) {
  stroke({{5, -7}}, {3.5f}, {0.1f});
  settings.setLineWidth(6.0f);
  settings.setMaxWidth(100.0f);
  stroke({{0, 0}}, {}, {});  // without thickness the radius is lineWidth / 2, as on screen
  // Lone points of one pass that agree within kSameDot are one dot (edges seen end-on); a little further off, or wider,
  // they are dots of their own.
  {
    SbInkOutlineHQ ink(settings, recorder);
    const SbVec2f at[] = {{5, -7}, {5, -7}, {5.004f, -7.004f}, {5.02f, -7}, {5, -7}};
    const float r[] = {3.5f, 3.5f, 3.5f, 3.5f, 3.6f};
    for (int k = 0; k < 5; ++k) ink.addStroke(&at[k], &r[k], nullptr, 1);
    EXPECT_EQ(ink.dotCount(), 3);
  }
  EXPECT_TRUE(recorder.contourPieces.empty());
  // Radii lineWidth / 2 x thickness from the second pass on.
  EXPECT_EQ(recorder.dotText, "5 -7 3.5, 0 0 3, 5 -7 10.5, 5.02 -7 10.5, 5 -7 10.8");
}

// The page is A4 in the viewport's orientation (a square counts as portrait), the view scaled to fit.
TEST(PdfSnapshot, PageBoxFollowsViewportOnA4) {
  const std::tuple<int, int, double, const char*> cases[] = {
      {800, 600, 0.74375, "0 0 595 446"}, {1000, 500, 0.842, "0 0 842 421"}, {842, 595, 595.0 / 842, "0 0 595 420"}};
  for (const auto& [width, height, scale, expected] : cases) {
    char box[64];
    EXPECT_NEAR(SoLineOutputPdfHQ::pageScale(width, height), scale, 1e-9) << width;
    SoLineOutputPdfHQ::pageBox(width, height, box, sizeof box);
    EXPECT_STREQ(box, expected);
  }
}

namespace {

// A scene whose pixels are world units: an orthographic camera of height `height` looking down -z at the origin, the
// strokes, the settings and the writer, which writes to `path`.
struct Scene {
  bool ready = (HqStrokeSource::initClass(), true);
  SoSeparator* root = new SoSeparator;
  HqStrokeSource* source = new HqStrokeSource;
  SoLineOutputHQ* output;
  TempDir dir;
  const std::string path = dir.file("shot");
  Scene(SoLineOutputHQ* output, int height) : output(output) {
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 10);
    camera->height = static_cast<float>(height);
    camera->nearDistance = 1;
    camera->farDistance = 20;
    auto* lineSettings = new SoLineSettingsHQ;
    lineSettings->lineWidth = 2.0f;
    lineSettings->maxWidth = 1000.0f;
    lineSettings->tolerance = 0.5f;
    for (SoNode* node : {(SoNode*)camera, (SoNode*)source, (SoNode*)lineSettings, (SoNode*)output})
      root->addChild(node);
  }
  ~Scene() { root->unref(); }
  std::string traverse(int width, int height) {
    testing::internal::CaptureStdout();
    SoCallbackAction action(SbViewportRegion(static_cast<short>(width), static_cast<short>(height)));
    action.apply(root);
    return testing::internal::GetCapturedStdout();
  }
  // Asks for a write and traverses; the console output.
  std::string shoot(int width, int height) {
    output->requestWrite(path.c_str());
    return traverse(width, height);
  }
};

}  // namespace

TEST(TgaSnapshot, WritesHeaderPixelsAndDotsThroughTheNode) {
  auto* tga = new SoLineOutputTgaHQ;
  Scene scene(tga, 480);
  const std::string& path = scene.path;
  // Armed without strokes: nothing written, still armed.
  EXPECT_TRUE(tga->requestWrite(path.c_str()));
  scene.traverse(640, 480);
  EXPECT_TRUE(tga->writePending);
  EXPECT_EQ(tga->getWriteResult(), SoLineOutputHQ::WR_NONE);
  EXPECT_FALSE(std::filesystem::exists(path));

  // Dots of radius 1, 3 and 4 at known places, and a solid bar.
  const float radius[] = {1.0f, 3.0f, 4.0f};
  for (int k = 0; k < 3; ++k) scene.source->addStroke({{200.0f * (k - 1), 100}}, {radius[k]}, {1.0f});
  scene.source->addStroke({{-200, -100}, {200, -100}}, {10.0f, 10.0f}, {1.0f, 1.0f});
  SoGetBoundingBoxAction(SbViewportRegion(640, 480)).apply(scene.root);  // leaves the request alone
  EXPECT_TRUE(tga->writePending);
  // A viewport the TGA header cannot hold is refused.
  EXPECT_EQ(maskTimes(scene.traverse(0, 480)),
            "+SoLineOutputHQ\nSoLineOutputHQ: viewport of 0 x 480 pixels is outside 1..65535, nothing written\n"
            "-SoLineOutputHQ: T.TTms\n");
  EXPECT_EQ(tga->getWriteResult(), SoLineOutputHQ::WR_FAILED);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(tga->requestWrite(""));  // an empty path disarms
  EXPECT_FALSE(tga->writePending);
  EXPECT_TRUE(tga->requestWrite(path.c_str()));
  scene.traverse(640, 480);
  EXPECT_FALSE(tga->writePending);
  EXPECT_TRUE(tga->writeSucceeded());
  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 18u + 640u * 480u);
  EXPECT_EQ(bytes.substr(0, 18), std::string("\0\0\3\0\0\0\0\0\0\0\0\0\x80\x02\xe0\x01\x08\x20", 18));  // 640 x 480 x 8
  auto pixel = [&](int x, int y) { return static_cast<unsigned char>(bytes[18 + y * 640 + x]); };
  // Ink of each dot = area of its polygon of 5, 7 and 9 corners.
  auto ink = [&](int cx, int cy) {
    double sum = 0;
    for (int y = cy - 8; y < cy + 8; ++y)
      for (int x = cx - 8; x < cx + 8; ++x) sum += (255 - pixel(x, y)) / 255.0;
    return sum;
  };
  const double tolerance[] = {0.15, 0.3, 0.4};
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR(ink(120 + 200 * k, 140), 0.5 * (5 + 2 * k) * radius[k] * radius[k] * std::sin(2 * M_PI / (5 + 2 * k)),
                tolerance[k]);
  // Inside the bar: 0; far from all ink: 255.
  EXPECT_TRUE(pixel(320, 340) == 0 && pixel(320, 334) == 0);
  EXPECT_TRUE(pixel(320, 300) == 255 && pixel(10, 10) == 255);
}

TEST(PdfSnapshot, WritesOnePathPerSolidRunAndOneCirclePerDot) {
  Scene scene(new SoLineOutputPdfHQ, 600);
  scene.source->addStroke({{-300, 0}, {0, 100}, {300, 0}}, {5.0f, 8.0f, 5.0f}, {1.0f, 1.0f, 1.0f});
  scene.source->addStroke({{-300, -200}, {300, -200}}, {3.0f, 3.0f}, {0.2f, 0.2f});
  EXPECT_EQ(maskTimes(scene.shoot(800, 600)), "+SoLineOutputHQ\n-SoLineOutputHQ: T.TTms\n");
  ASSERT_TRUE(scene.output->writeSucceeded());
  const std::string file = readFile(scene.path);
  EXPECT_EQ(file.compare(0, 9, "%PDF-1.2\n"), 0);
  for (const char* entry :
       {"/MediaBox [0 0 595 446]", "/Creator (Vell Linfold)", "/Title (PDF Screenshot)", "/Keywords ()"})
    EXPECT_NE(file.find(entry), std::string::npos) << entry;
  const std::string content = pageContent(file);
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(content.compare(0, 48, "0.7438 0.0000 0.0000 0.7438 0.0000 0.0000 cm\n1.0"), 0) << content.substr(0, 100);
  // The view is centred in the rounded box: 595 x 446 points / 0.74375.
  EXPECT_NE(content.find("1.0000 0.0000 0.0000 1.0000 400.0000 299.8319 cm\n"), std::string::npos);
  const int fills = countOf(content, "f\n");
  EXPECT_GT(fills - 1, 10);  // one solid path, the rest dots
  // Every path starts after its grey: "g", "m", ..., "h", "f".
  EXPECT_EQ(std::make_tuple(countOf(content, " m\n"), countOf(content, "h\n"), countOf(content, "0.0000 g\n")),
            std::make_tuple(fills, fills, fills));
  for (size_t p = content.find("0.0000 g\n"); p != std::string::npos; p = content.find("0.0000 g\n", p + 9)) {
    const size_t line = content.find('\n', p + 9);
    EXPECT_EQ(content.substr(line - 2, 2), " m");
  }
  EXPECT_TRUE(!haveProgram("qpdf") || qpdfAccepts(scene.path));
}

TEST(PdfSnapshot, BadInputNeverReachesTheFileAndFailuresAreVisible) {
  Scene scene(new SoLineOutputPdfHQ, 100);
  const float nan = std::nanf(""), inf = INFINITY;
  scene.source->addStroke({{nan, 0}, {0, inf}, {10, 10}, {20, 10}, {20, 10}}, {1e30f, nan, -inf, 2.0f, 2.0f},
                          {nan, 5.0f, -3.0f, 0.3f, 1.0f});
  scene.source->indices.push_back(999);  // outside the points
  scene.source->indices.push_back(-1);
  scene.source->addStroke({{0, 0}}, {1.0f}, {1.0f});
  scene.shoot(1, 1);  // a 1 x 1 viewport is valid
  ASSERT_TRUE(scene.output->writeSucceeded());
  const std::string content = pageContent(readFile(scene.path));
  ASSERT_FALSE(content.empty());
  EXPECT_TRUE(content.find("nan") == std::string::npos && content.find("inf") == std::string::npos);
}
