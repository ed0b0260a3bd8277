#include <gtest/gtest.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "HqStrokeSource.h"
#include "output/ContourArcHQ.h"
#include "output/ContourLineHQ.h"
#include "output/SbInkOutlineHQ.h"
#include "output/SbTgaRasterHQ.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "styling/SbLineSettingsHQ.h"
#include "styling/SoLineSettingsHQ.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The inflated content stream of a one-page compressed snapshot.
std::string pageContent(const std::string& pdf) {
  const size_t start = pdf.find("stream\n");
  const size_t end = pdf.find("\nendstream");
  if (start == std::string::npos || end == std::string::npos) return {};
  const std::string packed = pdf.substr(start + 7, end - start - 7);
  std::vector<unsigned char> out(1 << 24);
  uLongf size = out.size();
  if (uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(packed.data()), packed.size()) != Z_OK)
    return {};
  return std::string(reinterpret_cast<char*>(out.data()), size);
}

struct Dot {
  SbVec3f centre;
  float radius;
};

// Collects what SbInkOutlineHQ produces; with a raster it also draws it.
struct Recorder : SbInkOutlineHQ::Receiver {
  SbTgaRasterHQ* raster = nullptr;
  std::vector<int> contourPieces;
  std::vector<Dot> dots;
  void fillContour(ContourListHQ& outline) override {
    contourPieces.push_back(outline.count);
    if (!raster) {
      outline.clear();
      return;
    }
    for (ContourPieceHQ* p = outline.take(); p;) p = p->emitPolygon(*raster);
    raster->fillContour();
  }
  void drawDot(const SbVec3f& centre, float radius) override {
    dots.push_back({centre, radius});
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
  void TearDown() override {
    EXPECT_EQ(SbInkOutlineHQ::pool.live(), 0);
    EXPECT_EQ(ContourLineHQ::pool.live(), 0);
    EXPECT_EQ(ContourArcHQ::pool.live(), 0);
  }
  void stroke(const std::vector<SbVec2f>& p, const std::vector<float>& radius, const std::vector<float>& tone) {
    SbInkOutlineHQ ink(settings, recorder);
    ink.addStroke(p.data(), radius.empty() ? nullptr : radius.data(), tone.empty() ? nullptr : tone.data(),
                  static_cast<int>(p.size()));
  }
  SbLineSettingsHQ settings;
  Recorder recorder;
};

// Signed distance of q to the hull of the discs (a, ra) and (b, rb): the
// smallest |q - c(t)| - r(t) over the discs interpolated between them, a
// convex function of t.
double hullDistance(const SbVec2f& q, const SbVec2f& a, double ra, const SbVec2f& b, double rb) {
  auto f = [&](double t) {
    const double x = a[0] + t * (b[0] - a[0]) - q[0], y = a[1] + t * (b[1] - a[1]) - q[1];
    return std::hypot(x, y) - (ra + t * (rb - ra));
  };
  double lo = 0.0, hi = 1.0;
  for (int i = 0; i < 60; ++i) {
    const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
    if (f(m1) < f(m2)) hi = m2;
    else lo = m1;
  }
  return std::min({f(0.0), f(1.0), f(0.5 * (lo + hi))});
}

double unionDistance(const SbVec2f& q, const std::vector<SbVec2f>& p, const std::vector<float>& r) {
  double best = std::hypot(q[0] - p[0][0], q[1] - p[0][1]) - r[0];
  for (size_t k = 0; k + 1 < p.size(); ++k) best = std::min(best, hullDistance(q, p[k], r[k], p[k + 1], r[k + 1]));
  return best;
}

// Rasterises a solid stroke's outline and compares every pixel near it with
// the exact union of discs and tangent bands: more than 1.5 px inside must
// be full ink, more than 1 px outside untouched paper.
void expectCoversUnion(SbLineSettingsHQ& settings, const std::vector<SbVec2f>& p, const std::vector<float>& r,
                       int* outlines = nullptr) {
  SbTgaRasterHQ raster;
  ASSERT_TRUE(raster.begin(256, 256));
  Recorder recorder;
  recorder.raster = &raster;
  {
    SbInkOutlineHQ ink(settings, recorder);
    ink.addStroke(p.data(), r.data(), nullptr, static_cast<int>(p.size()));
  }
  if (outlines) *outlines = static_cast<int>(recorder.contourPieces.size());
  EXPECT_TRUE(recorder.dots.empty());
  // Only pixels near the discs need the distance; the rest must be paper.
  float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
  for (size_t k = 0; k < p.size(); ++k) {
    x0 = std::min(x0, p[k][0] - r[k]);
    x1 = std::max(x1, p[k][0] + r[k]);
    y0 = std::min(y0, p[k][1] - r[k]);
    y1 = std::max(y1, p[k][1] + r[k]);
  }
  int wrongInside = 0, wrongOutside = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const SbVec2f q(x + 0.5f - 128.0f, 128.0f - (y + 0.5f));
      const bool near = q[0] > x0 - 2 && q[0] < x1 + 2 && q[1] > y0 - 2 && q[1] < y1 + 2;
      const double d = near ? unionDistance(q, p, r) : 10.0;
      const int pixel = raster.pixel(x, y);
      if (d < -1.5 && pixel != 0) ++wrongInside;
      if (d > 1.0 && pixel != 255) ++wrongOutside;
    }
  EXPECT_EQ(wrongInside, 0);
  EXPECT_EQ(wrongOutside, 0);
}

}  // namespace

TEST_F(InkOutline, SolidRunIsOneOutlineAndLightRunOnlyDots) {
  const std::vector<SbVec2f> zigzag = {{-60, 0}, {-30, 20}, {0, -10}, {30, 25}, {60, 0}};
  stroke(zigzag, {3, 4, 5, 4, 3}, {1, 1, 1, 1, 1});
  EXPECT_EQ(recorder.contourPieces.size(), 1u);
  EXPECT_TRUE(recorder.dots.empty());

  recorder = Recorder();
  stroke(zigzag, {3, 4, 5, 4, 3}, {0.2f, 0.2f, 0.2f, 0.2f, 0.2f});
  EXPECT_TRUE(recorder.contourPieces.empty());
  ASSERT_GT(recorder.dots.size(), 5u);
  // Tone 0.2 is below pi/4: spacing pi / (2 x 0.2) radii between dots.
  const Dot& a = recorder.dots[0];
  const Dot& b = recorder.dots[1];
  const float gap = (a.centre - b.centre).length();
  EXPECT_NEAR(gap, settings.spacing(0.2f) * a.radius, 0.6f);
}

TEST_F(InkOutline, OneVertexStrokeIsOneDotOfItsRadius) {
  stroke({{5, -7}}, {3.5f}, {0.1f});
  ASSERT_EQ(recorder.dots.size(), 1u);
  EXPECT_FLOAT_EQ(recorder.dots[0].radius, 3.5f);
  EXPECT_EQ(recorder.dots[0].centre, SbVec3f(5, -7, 0));
  EXPECT_TRUE(recorder.contourPieces.empty());

  // Without thickness the radius is lineWidth / 2, as on screen.
  recorder = Recorder();
  settings.setLineWidth(6.0f);
  settings.setMaxWidth(100.0f);
  stroke({{0, 0}}, {}, {});
  ASSERT_EQ(recorder.dots.size(), 1u);
  EXPECT_FLOAT_EQ(recorder.dots[0].radius, 3.0f);

  // Lone points of one pass that agree within kSameDot are one dot (edges
  // seen end-on); a little further off, or wider, they are dots of their own.
  recorder = Recorder();
  {
    SbInkOutlineHQ ink(settings, recorder);
    const SbVec2f at[] = {{5, -7}, {5, -7}, {5.004f, -7.004f}, {5.02f, -7}, {5, -7}};
    const float r[] = {3.5f, 3.5f, 3.5f, 3.5f, 3.6f};
    for (int k = 0; k < 5; ++k) ink.addStroke(&at[k], &r[k], nullptr, 1);
    EXPECT_EQ(ink.dotCount(), 3);
  }
  ASSERT_EQ(recorder.dots.size(), 3u);
  EXPECT_EQ(recorder.dots[1].centre, SbVec3f(5.02f, -7, 0));
  EXPECT_FLOAT_EQ(recorder.dots[2].radius, 3.6f * 3.0f);  // lineWidth / 2 x thickness
}

TEST_F(InkOutline, FilterDropsVertexMovingLessThanSqrtTolerance) {
  settings.setTolerance(4.0f);  // 2 pixels
  // Kept: two vertices make a solid run, one outline.
  stroke({{0, 0}, {2.05f, 0}}, {2, 2}, {1, 1});
  EXPECT_EQ(recorder.contourPieces.size(), 1u);
  // Dropped: a lone vertex, drawn as a dot.
  recorder = Recorder();
  stroke({{0, 0}, {1.95f, 0}}, {2, 2}, {1, 1});
  EXPECT_TRUE(recorder.contourPieces.empty());
  EXPECT_EQ(recorder.dots.size(), 1u);
  // A change of width (twice the change >= tolerance) or tone keeps it.
  recorder = Recorder();
  stroke({{0, 0}, {1, 0}}, {2, 4}, {1, 1});
  EXPECT_TRUE(recorder.dots.empty());
  recorder = Recorder();
  stroke({{0, 0}, {1, 0}}, {2, 2}, {1, 0.5f});
  EXPECT_FALSE(recorder.dots.empty() && recorder.contourPieces.empty());
}

TEST_F(InkOutline, OutlineCoversUnionOfDiscsAndBands) {
  int outlines = 0;
  // Straight, widening and narrowing (the disc bulges out at the widest).
  expectCoversUnion(settings, {{-100, 0}, {-40, 0}, {0, 0}, {50, 0}, {100, 0}}, {3, 12, 20, 6, 2}, &outlines);
  EXPECT_EQ(outlines, 1);
  // Sharp zig-zag of equal radii: mitres on the inner sides.
  expectCoversUnion(settings, {{-100, -40}, {-60, 40}, {-20, -40}, {20, 40}, {60, -40}, {100, 40}},
                    {8, 8, 8, 8, 8, 8}, &outlines);
  EXPECT_EQ(outlines, 1);
  // A reversal and a hairpin with short legs: no mitre fits.
  expectCoversUnion(settings, {{-80, 0}, {40, 0}, {-60, 0.5f}}, {10, 10, 10}, &outlines);
  expectCoversUnion(settings, {{-80, 0}, {0, 0}, {3, 6}, {-80, 10}}, {12, 12, 12, 12}, &outlines);
  EXPECT_EQ(outlines, 1);
  // Very unequal radii at a turn.
  expectCoversUnion(settings, {{-90, -60}, {0, 0}, {10, 40}, {90, 30}}, {2, 30, 3, 15}, &outlines);
  // A zero width inside the run: the outline pinches to the point.
  expectCoversUnion(settings, {{-90, 0}, {0, 30}, {90, 0}}, {10, 0, 10}, &outlines);
  EXPECT_EQ(outlines, 1);

  // Random walks with turns up to a reversal and widths up to 15 pixels.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> turn(-3.1f, 3.1f), step(1.0f, 40.0f), width(0.3f, 15.0f);
  for (int s = 0; s < 40; ++s) {
    std::vector<SbVec2f> p = {{-20, 0}};
    std::vector<float> r = {width(rng)};
    float heading = 0;
    const int n = 3 + s % 6;
    for (int k = 1; k < n; ++k) {
      heading += turn(rng);
      SbVec2f next = p.back() + SbVec2f(std::cos(heading), std::sin(heading)) * step(rng);
      next[0] = std::max(-90.0f, std::min(90.0f, next[0]));
      next[1] = std::max(-90.0f, std::min(90.0f, next[1]));
      p.push_back(next);
      r.push_back(width(rng));
    }
    SCOPED_TRACE(s);
    expectCoversUnion(settings, p, r);
  }
}

TEST_F(InkOutline, ContainedDiscsAndZeroWidthsAreHandled) {
  // The second disc lies inside the first: no tangents, the run is cut there
  // and every disc is still covered.
  int outlines = 0;
  expectCoversUnion(settings, {{-50, 0}, {-45, 0}, {40, 10}}, {20, 3, 6}, &outlines);
  EXPECT_EQ(outlines, 2);
  expectCoversUnion(settings, {{0, 0}, {0, 0}, {30, 0}}, {5, 9, 4});

  // A width that turns negative is split at zero: two separate outlines.
  stroke({{-60, 0}, {0, 0}, {60, 0}}, {6, -6, 6}, {1, 1, 1});
  EXPECT_EQ(recorder.contourPieces.size(), 2u);
  EXPECT_TRUE(recorder.dots.empty());

  // Zero width everywhere, or no tone at all: nothing.
  recorder = Recorder();
  stroke({{-60, 0}, {60, 0}}, {0, 0}, {1, 1});
  stroke({{-60, 0}, {60, 0}}, {4, 4}, {0, 0});
  EXPECT_TRUE(recorder.contourPieces.empty());
  EXPECT_TRUE(recorder.dots.empty());
}

TEST_F(InkOutline, DotsOfAGapAreSpreadEvenlyBetweenTheSolidEnds) {
  // Solid, a light stretch, solid again.
  stroke({{-100, 0}, {-50, 0}, {-49, 0}, {49, 0}, {50, 0}, {100, 0}}, {2, 2, 2, 2, 2, 2}, {1, 1, 0.3f, 0.3f, 1, 1});
  EXPECT_EQ(recorder.contourPieces.size(), 2u);
  ASSERT_GE(recorder.dots.size(), 3u);
  std::vector<float> x;
  for (const Dot& d : recorder.dots) x.push_back(d.centre[0]);
  std::sort(x.begin(), x.end());
  const float gap = x[1] - x[0];
  for (size_t i = 1; i < x.size(); ++i) EXPECT_NEAR(x[i] - x[i - 1], gap, 1e-3f);
  // Symmetric between the two solid ends, which the dots keep clear of.
  EXPECT_NEAR(x.front() + x.back(), 0.0f, 1e-3f);
  EXPECT_GT(x.front() - 2.0f, -50.0f + 2.0f - 1e-3f);
}

TEST_F(InkOutline, BadValuesGiveFiniteShapes) {
  const float nan = std::nanf(""), inf = INFINITY;
  stroke({{0, 0}, {nan, 1}, {inf, 0}, {40, 10}, {80, 0}}, {inf, 2, 2, -inf, 1e30f}, {2.0f, nan, -5, 1, 1});
  stroke({{0, 0}, {0, 0}, {0, 0}}, {3, 3, 3}, {0.5f, 0.5f, 0.5f});  // zero length, dotted
  stroke({{0, 0}, {0, 0}}, {3, 3}, {1, 1});                         // zero length, solid
  EXPECT_FALSE(recorder.contourPieces.empty() && recorder.dots.empty());
  for (const Dot& d : recorder.dots) {
    EXPECT_TRUE(std::isfinite(d.centre[0]) && std::isfinite(d.centre[1]) && std::isfinite(d.radius));
    EXPECT_LE(d.radius, SbInkOutlineHQ::kMaxRadius);
  }
}

TEST(PdfSnapshot, PageBoxFollowsViewportOnA4) {
  char box[64];
  EXPECT_NEAR(SoLineOutputPdfHQ::pageScale(800, 600), 0.74375, 1e-9);
  SoLineOutputPdfHQ::pageBox(800, 600, box, sizeof box);
  EXPECT_STREQ(box, "0 0 595 446");
  EXPECT_NEAR(SoLineOutputPdfHQ::pageScale(1000, 500), 0.842, 1e-9);
  SoLineOutputPdfHQ::pageBox(1000, 500, box, sizeof box);
  EXPECT_STREQ(box, "0 0 842 421");
  // Aspect exactly 842 / 595 still counts as portrait.
  EXPECT_NEAR(SoLineOutputPdfHQ::pageScale(842, 595), std::min(595.0 / 842, 842.0 / 595), 1e-9);
}

// ---------------------------------------------------------------- nodes

namespace {

// A scene whose pixels are world units: an orthographic camera of height
// `height` looking down -z at the origin, the strokes, the settings and the
// writer.
struct Scene {
  SoSeparator* root;
  HqStrokeSource* source;
  SoLineSettingsHQ* lineSettings;
  Scene(SoLineOutputHQ* output, int height) {
    HqStrokeSource::initClass();
    root = new SoSeparator;
    root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(0, 0, 10);
    camera->height = static_cast<float>(height);
    camera->nearDistance = 1;
    camera->farDistance = 20;
    root->addChild(camera);
    source = new HqStrokeSource;
    root->addChild(source);
    lineSettings = new SoLineSettingsHQ;
    lineSettings->lineWidth = 2.0f;
    lineSettings->maxWidth = 1000.0f;
    lineSettings->tolerance = 0.5f;
    root->addChild(lineSettings);
    root->addChild(output);
  }
  ~Scene() { root->unref(); }
  void traverse(int width, int height) {
    SoCallbackAction action(SbViewportRegion(static_cast<short>(width), static_cast<short>(height)));
    action.apply(root);
  }
};

}  // namespace

TEST(TgaSnapshot, WritesHeaderPixelsAndDotsThroughTheNode) {
  TempDir dir;
  auto* tga = new SoLineOutputTgaHQ;
  Scene scene(tga, 480);
  const std::string path = dir.file("shot.tga");

  // Armed without strokes: nothing written, still armed.
  EXPECT_TRUE(tga->requestWrite(path.c_str()));
  scene.traverse(640, 480);
  EXPECT_TRUE(tga->writePending);
  EXPECT_EQ(tga->getWriteResult(), SoLineOutputHQ::WR_NONE);
  EXPECT_FALSE(fs::exists(path));

  // Dots of radius 1, 3 and 4 at known places, and a solid bar.
  scene.source->addStroke({{-200, 100}}, {1.0f}, {1.0f});
  scene.source->addStroke({{0, 100}}, {3.0f}, {1.0f});
  scene.source->addStroke({{200, 100}}, {4.0f}, {1.0f});
  scene.source->addStroke({{-200, -100}, {200, -100}}, {10.0f, 10.0f}, {1.0f, 1.0f});
  // Actions other than rendering and callbacks leave the request alone.
  SoGetBoundingBoxAction box(SbViewportRegion(640, 480));
  box.apply(scene.root);
  SoSearchAction search;
  search.setType(SoLineOutputHQ::getClassTypeId());
  search.apply(scene.root);
  EXPECT_NE(search.getPath(), nullptr);
  EXPECT_TRUE(tga->writePending);
  scene.traverse(640, 480);
  EXPECT_FALSE(tga->writePending);
  EXPECT_TRUE(tga->writeSucceeded());

  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 18u + 640u * 480u);
  const unsigned char header[18] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x02, 0xe0, 0x01, 0x08, 0x20};
  EXPECT_EQ(bytes.compare(0, 18, std::string(reinterpret_cast<const char*>(header), 18)), 0);
  auto pixel = [&](int x, int y) { return static_cast<unsigned char>(bytes[18 + y * 640 + x]); };
  // Ink of each dot = area of its polygon of 5, 7 and 9 corners.
  auto ink = [&](int cx, int cy) {
    double sum = 0;
    for (int y = cy - 8; y < cy + 8; ++y)
      for (int x = cx - 8; x < cx + 8; ++x) sum += (255 - pixel(x, y)) / 255.0;
    return sum;
  };
  auto polygon = [](int n, double r) { return 0.5 * n * r * r * std::sin(2 * kPi / n); };
  EXPECT_NEAR(ink(120, 140), polygon(5, 1), 0.15);
  EXPECT_NEAR(ink(320, 140), polygon(7, 3), 0.3);
  EXPECT_NEAR(ink(520, 140), polygon(9, 4), 0.4);
  // Inside the bar: 0; far from all ink: 255.
  EXPECT_EQ(pixel(320, 340), 0);
  EXPECT_EQ(pixel(320, 334), 0);
  EXPECT_EQ(pixel(320, 300), 255);
  EXPECT_EQ(pixel(10, 10), 255);
}

TEST(PdfSnapshot, WritesOnePathPerSolidRunAndOneCirclePerDot) {
  TempDir dir;
  auto* pdf = new SoLineOutputPdfHQ;
  Scene scene(pdf, 600);
  scene.source->addStroke({{-300, 0}, {0, 100}, {300, 0}}, {5.0f, 8.0f, 5.0f}, {1.0f, 1.0f, 1.0f});
  scene.source->addStroke({{-300, -200}, {300, -200}}, {3.0f, 3.0f}, {0.2f, 0.2f});
  const std::string path = dir.file("shot.pdf");
  pdf->requestWrite(path.c_str());
  testing::internal::CaptureStdout();
  scene.traverse(800, 600);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("+SoLineOutputHQ\n"), std::string::npos);
  EXPECT_NE(out.find("-SoLineOutputHQ: "), std::string::npos);
  ASSERT_TRUE(pdf->writeSucceeded());

  const std::string file = readFile(path);
  EXPECT_EQ(file.compare(0, 9, "%PDF-1.2\n"), 0);
  EXPECT_NE(file.find("/MediaBox [0 0 595 446]"), std::string::npos);
  EXPECT_NE(file.find("/Creator (Vell Linfold)"), std::string::npos);
  EXPECT_NE(file.find("/Title (PDF Screenshot)"), std::string::npos);
  EXPECT_NE(file.find("/Keywords ()"), std::string::npos);
  const std::string content = pageContent(file);
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(content.compare(0, 48, "0.7438 0.0000 0.0000 0.7438 0.0000 0.0000 cm\n1.0"), 0) << content.substr(0, 100);
  // The view is centred in the rounded box: 595 x 446 points / 0.74375.
  EXPECT_NE(content.find("1.0000 0.0000 0.0000 1.0000 400.0000 299.8319 cm\n"), std::string::npos);
  const int fills = countOf(content, "f\n");
  const int dots = fills - 1;
  EXPECT_GT(dots, 10);
  EXPECT_EQ(countOf(content, " m\n"), fills);
  EXPECT_EQ(countOf(content, "h\n"), fills);
  // Every path starts after its grey: "g", "m", ..., "h", "f".
  EXPECT_EQ(countOf(content, "0.0000 g\n"), fills);
  size_t p = 0;
  while ((p = content.find("0.0000 g\n", p)) != std::string::npos) {
    p += 9;
    const size_t line = content.find('\n', p);
    EXPECT_EQ(content.substr(line - 2, 2), " m");
  }
  if (std::system("qpdf --version > /dev/null 2>&1") == 0) {
    EXPECT_EQ(std::system(("qpdf --check '" + path + "' > /dev/null 2>&1").c_str()), 0);
  }
}

TEST(PdfSnapshot, BadInputNeverReachesTheFile) {
  TempDir dir;
  auto* pdf = new SoLineOutputPdfHQ;
  Scene scene(pdf, 100);
  const float nan = std::nanf(""), inf = INFINITY;
  scene.source->addStroke({{nan, 0}, {0, inf}, {10, 10}, {20, 10}, {20, 10}}, {1e30f, nan, -inf, 2.0f, 2.0f},
                          {nan, 5.0f, -3.0f, 0.3f, 1.0f});
  scene.source->indices.push_back(999);  // outside the points
  scene.source->indices.push_back(-1);
  scene.source->addStroke({{0, 0}}, {1.0f}, {1.0f});
  const std::string path = dir.file("bad.pdf");
  pdf->requestWrite(path.c_str());
  scene.traverse(1, 1);  // a 1 x 1 viewport is valid
  ASSERT_TRUE(pdf->writeSucceeded());
  const std::string content = pageContent(readFile(path));
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(content.find("nan"), std::string::npos);
  EXPECT_EQ(content.find("inf"), std::string::npos);
}

TEST(PdfSnapshot, FailuresAreVisibleToTheCaller) {
  TempDir dir;
  auto* pdf = new SoLineOutputPdfHQ;
  Scene scene(pdf, 100);
  scene.source->addStroke({{0, 0}, {10, 0}}, {1.0f, 1.0f}, {1.0f, 1.0f});

  const std::string unwritable = dir.file("missing/dir/shot.pdf");
  pdf->requestWrite(unwritable.c_str());
  testing::internal::CaptureStdout();
  scene.traverse(100, 100);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("ClibPDF"), std::string::npos);
  EXPECT_FALSE(pdf->writePending);
  EXPECT_EQ(pdf->getWriteResult(), SoLineOutputHQ::WR_FAILED);
  EXPECT_FALSE(fs::exists(unwritable));

  // A viewport the TGA header cannot hold is refused.
  auto* tga = new SoLineOutputTgaHQ;
  Scene big(tga, 100);
  big.source->addStroke({{0, 0}}, {1.0f}, {1.0f});
  const std::string path = dir.file("big.tga");
  tga->requestWrite(path.c_str());
  testing::internal::CaptureStdout();
  big.traverse(0, 100);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find(
                "SoLineOutputHQ: viewport of 0 x 100 pixels is outside 1..65535, nothing written\n") != std::string::npos,
            true);
  EXPECT_EQ(tga->getWriteResult(), SoLineOutputHQ::WR_FAILED);
  EXPECT_FALSE(fs::exists(path));

  // An empty path disarms.
  EXPECT_FALSE(tga->requestWrite(""));
  EXPECT_FALSE(tga->writePending);
}
