// linfold-render, run as the user runs it: the picture and the exports it writes, its console
// report, batch runs, and every way it refuses bad input (non-zero status, no file). Needs a
// display (xvfb-run).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QImage>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

struct ToolRun {
  int status = -1;
  std::string output;  // standard output and error
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

ToolRun render(const Args& args) {
  std::string command = quoted(LINFOLD_RENDER);
  for (const std::string& a : args) command += " " + quoted(a);
  ToolRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = pipe ? pclose(pipe) : -1;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

ToolRun ok(const Args& args) {
  ToolRun run = render(args);
  EXPECT_EQ(run.status, 0) << run.output;
  return run;
}

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Settings the help gives as examples.
const Args kExamples = {"SoStreamlinerHQ.seperationDist=0.02",
                        "SoLineThickenerHQ.parserExpression=\"( light - rim )*iso*(taper*.5 + .5 )\"",
                        "SoLineDensifierHQ.parserExpression=\"light\"", "SoGenerateWingedEdge.visualizationMode=2",
                        "SoModifyWingedEdge.subdivisionSteps=2", "SoLinePurifier[1].active=FALSE"};

// Grey levels of a picture, row by row.
std::vector<unsigned char> greys(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_Grayscale8);
  std::vector<unsigned char> out;
  for (int y = 0; y < image.height(); ++y)
    out.insert(out.end(), image.constScanLine(y), image.constScanLine(y) + image.width());
  return out;
}

// Grey levels of a picture file (a TGA: the bytes after its 18-byte header).
std::vector<unsigned char> greys(const std::string& path) {
  const std::string bytes = path.size() > 4 && path.substr(path.size() - 4) == ".tga" ? readFile(path) : "";
  if (bytes.empty()) return greys(QImage(QString::fromStdString(path)));
  return std::vector<unsigned char>(bytes.begin() + std::min<size_t>(18, bytes.size()), bytes.end());
}

// The box of the pixels that differ from the corner pixel (the background), and their number.
struct Drawn {
  int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1, pixels = 0;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Drawn drawn(const QImage& image) {
  Drawn d;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != image.pixel(0, 0)) {
        d.left = std::min(d.left, x), d.right = std::max(d.right, x), ++d.pixels;
        d.top = std::min(d.top, y), d.bottom = std::max(d.bottom, y);
      }
  return d;
}
Drawn drawn(const std::string& path) { return drawn(QImage(QString::fromStdString(path))); }

class RenderTool : public ::testing::Test {
protected:
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }

  const fs::path data = sourceDir() / "data";
  const std::string torus = (data / "torus.iv").string(), blob = (data / "blob.iv").string();
  const fs::path dir = fs::temp_directory_path() / ("linfold-render-" + std::to_string(::getpid()) + "-" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string png = (dir / "picture.png").string();
};

// The help's example settings, "Faces" (mode 2) among them, in the window's view.
TEST_F(RenderTool, DrawsTheTorusAtTheRequestedSizeWithTheHelpsSettingsAndReportsEachStage) {
  Args args = {torus, "--size", "320x240", "--png", png, "--png-view"};
  for (const std::string& e : kExamples) args.insert(args.end(), {"--set", e});
  const ToolRun run = ok(args);
  EXPECT_TRUE(contains(run.output, "set SoLineDensifierHQ[0].parserExpression = \"light\"\n")) << run.output;
  const QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(320, 240));
  EXPECT_GT(drawn(image).pixels, 320 * 240 / 20);
  for (const char* stage : {"start-up", "load", "render", "write"})
    EXPECT_TRUE(contains(run.output, std::string("linfold-render: ") + stage + " took ")) << stage << run.output;
  for (const char* stage : {"winged-edge build", "modifier chain", "half-edge build", "curvature", "flow field",
                            "streamlines", "silhouette structures", "silhouettes", "hidden-line removal", "ink",
                            "everything else"})  // the first draw's time, stage by stage
    EXPECT_TRUE(contains(run.output, std::string("linfold-render:   ") + stage + " took ")) << stage << run.output;
}

TEST_F(RenderTool, CleansTheFieldByDefaultAndReportsItsTurning) {
  // Left as initialised, the blob's field swaps between the principal directions along bands.
  const auto share = [&](const Args& more) {
    Args args = {blob, "--size", "64x48"};
    args.insert(args.end(), more.begin(), more.end());
    const ToolRun run = render(args);
    EXPECT_EQ(run.status, 0) << run.output;
    std::smatch m;
    const std::regex line("\nfield: ([0-9.]+)% of edges turn > 30 deg \\(3587 edges away from umbilics\\)\n");
    EXPECT_TRUE(std::regex_search(run.output, m, line)) << run.output;
    return m.empty() ? -1.0 : std::stod(m[1]);
  };
  const double plain = share({"--field", "none"}), cleaned = share({});
  EXPECT_GT(plain, 2.0);
  EXPECT_LT(cleaned, plain / 2);
}

// Which end of the drawing across x (or y) is the narrow one: its extent along the other axis a
// tenth of the way in from each end, compared. 1: right (top), -1: left (bottom), 0: alike.
int narrowEnd(const QImage& image, const Drawn& d, bool alongX) {
  auto span = [&](int at) {
    int lo = INT_MAX, hi = -1;
    for (int k = 0; k < (alongX ? image.height() : image.width()); ++k)
      if ((alongX ? image.pixel(at, k) : image.pixel(k, at)) != image.pixel(0, 0)) lo = std::min(lo, k), hi = k;
    return hi < 0 ? 0 : hi - lo;
  };
  const int inset = (alongX ? d.width() : d.height()) / 10;
  const int low = alongX ? span(d.left + inset) : span(d.bottom - inset);
  const int high = alongX ? span(d.right - inset) : span(d.top + inset);
  return low > 1.3 * high ? 1 : high > 1.3 * low ? -1 : 0;
}

// The camera options seen on a ball of radius 1 with balls of radius 0.5 on its +x and +z sides
// (x and z from -1 to 2, y from -1 to 1), its outlines drawn: the model fills --fill (0.9) of the
// limiting side, the small balls say from where it is seen. Wide and tall pictures frame it alike; a
// perspective camera keeps it inside the picture and shows it otherwise.
TEST_F(RenderTool, ViewOptionsTurnAndFrameTheModel) {
  const fs::path model = dir / "marked-ball.iv";
  std::ofstream(model) << "#Inventor V2.1 ascii\nSeparator {\n  Sphere { radius 1 }\n"
                          "  Separator { Translation { translation 1.5 0 0 } Sphere { radius 0.5 } }\n"
                          "  Separator { Translation { translation 0 0 1.5 } Sphere { radius 0.5 } }\n}\n";
  const struct {
    Args options;
    double width, height;  // in model units, 3 filling 0.9 of 300 pixels; 0: only framed
    int narrowX, narrowY;  // the small balls' ends: -1, 0 or 1 (x right, y up)
  } cases[] = {
      {{}, 3, 2, 1, 0},                    // from the front: +x ball right, +z ball facing us
      {{"--view", "90,0"}, 3, 2, -1, 0},   // from the right: the front (+z) on the left
      {{"--view", "-90,0"}, 3, 2, 1, 0},   // from the left: the front on the right
      {{"--view", "0,90"}, 3, 3, 1, -1},   // from above: the front at the bottom
      {{"--view", "0,0,90"}, 2, 3, 0, 1},  // turned counter-clockwise: +x points up
      {{"--up", "z"}, 3, 3, 1, 1},         // z up, seen from -y
      {{"--up", "x"}, 2, 3, 0, 1},         // x up
      {{"--fill", "0.5"}, 3 * 0.5 / 0.9, 2 * 0.5 / 0.9, 1, 0},
      {{"--size", "400x100"}, 0, 0, 0, 0},
      {{"--size", "100x400"}, 0, 0, 0, 0},
      {{"--view", "30,20"}, 0, 0, 0, 0},
      {{"--view", "30,20", "--perspective"}, 0, 0, 0, 0},
  };
  const double unit = 0.9 * 300 / 3;
  std::vector<QImage> oblique;
  for (const auto& c : cases) {
    std::string name;
    for (const std::string& o : c.options) name += o + " ";
    SCOPED_TRACE(name);
    Args args = {model.string(), "--size", "300x300", "--png", png, "--set", "SoStreamlinerHQ.doComputation=FALSE"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = render(args);
    ASSERT_EQ(run.status, 0) << run.output;
    const QImage image(QString::fromStdString(png));
    const Drawn d = drawn(image);
    if (c.width > 0) {
      EXPECT_NEAR(d.width(), c.width * unit, 3);
      EXPECT_NEAR(d.height(), c.height * unit, 3);
      EXPECT_EQ(narrowEnd(image, d, true), c.narrowX);
      EXPECT_EQ(narrowEnd(image, d, false), c.narrowY);
      continue;
    }
    EXPECT_TRUE(d.left > 0 && d.top > 0 && d.right < image.width() - 1 && d.bottom < image.height() - 1);
    const double fill = std::max(double(d.width()) / image.width(), double(d.height()) / image.height());
    EXPECT_GT(fill, 0.7);
    EXPECT_LE(fill, 0.93);
    if (c.options[0] == "--view") oblique.push_back(image);
  }
  ASSERT_EQ(oblique.size(), 2u);
  EXPECT_NE(oblique[0], oblique[1]);
}

// Bad arguments (status 2, usage) and what the tool cannot do (status 1): a message, no picture.
TEST_F(RenderTool, RefusesWhatItCannotDoWithoutWritingAPicture) {
  const std::string notes = (dir / "notes.iv").string(), lights = (dir / "lights.iv").string(),
                    lines = (dir / "lines.iv").string(), tga = (dir / "x.tga").string(),
                    missing = (dir / "no-such-folder" / "picture.png").string();
  std::ofstream(notes) << "these are not the droids\n";
  std::ofstream(lights) << "#Inventor V2.1 ascii\nSeparator { DirectionalLight { } PerspectiveCamera { } }\n";
  std::ofstream(lines) << "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0 ] }"
                          " IndexedLineSet { coordIndex [ 0, 1, 2, -1 ] } }\n";
  const struct {
    int status;
    bool onTorus;  // the arguments follow: torus --png picture.png
    Args args;
    std::string message;
  } cases[] = {
      {2, true, {"--size", "0x10"}, "bad size \"0x10\""},
      {2, true, {"--size", "20000x10"}, "bad size \"20000x10\""},
      {2, true, {"--size", "12by10"}, "bad size \"12by10\""},
      {2, true, {"--set", "SoDrawStyle.style"}, "bad setting \"SoDrawStyle.style\""},
      {2, true, {"--set", "SoDrawStyle[x].style=LINES"}, "bad setting"},
      {2, true, {"--set", "SoDrawStyle=LINES"}, "bad setting"},
      {2, true, {"--frobnicate"}, "unknown option --frobnicate"},
      {2, true, {torus}, "more than one model"},
      {2, false, {torus, "--png"}, "--png needs a value"},
      {2, false, {torus, "--tga", png, "--pdf"}, "--pdf needs a value"},
      {2, false, {torus, "--formats", "png"}, "--formats needs --out-dir"},
      {2, false, {"--out-dir", dir.string(), "--formats", "png,jpeg", torus}, "unknown format \"jpeg\" in --formats"},
      {2, false, {"--out-dir"}, "--out-dir needs a value"},
      {2, false, {torus, "--max-seconds", "0"}, "bad time \"0\" for --max-seconds"},
      {2, false, {torus, "--max-seconds", "-1"}, "bad time \"-1\" for --max-seconds"},
      {2, true, {"--field", "smooth"}, "unknown --field \"smooth\" (known: none, auto)"},
      {2, true, {"--field"}, "--field needs a value"},
      {2, false, {"--png", png}, "usage: linfold-render MODEL"},
      {2, true, {"--view", "30"}, "bad view \"30\": expected AZIMUTH,ELEVATION[,ROLL] in degrees"},
      {2, true, {"--view", "1,2,3,4"}, "bad view \"1,2,3,4\""},
      {2, true, {"--view", "left,up"}, "bad view \"left,up\""},
      {2, true, {"--up", "w"}, "bad up axis \"w\": expected x, y or z"},
      {2, true, {"--fill", "0"}, "bad fill \"0\": expected a number above 0 and at most 1"},
      {2, true, {"--fill", "1.5"}, "bad fill \"1.5\""},
      {2, true, {"--fill", "nan"}, "bad fill \"nan\""},
      {1, false, {torus, "--size", "64x64", "--png", missing},
       "linfold-render: cannot write " + missing + ": No such file or directory\n"},
      {1, false, {(dir / "missing.iv").string(), "--png", png}, "cannot load"},
      {1, false, {notes, "--png", png}, "cannot load"},
      // Models that read but yield no faces: an error, no blank picture nor any other output.
      {1, false, {lights, "--png", png, "--tga", tga}, lights + " has no faces to draw"},
      {1, false, {lines, "--png", png, "--tga", tga}, lines + " has no faces to draw"},
      {1, true, {"--set", "SoNoSuchNode.x=1"}, "unknown class \"SoNoSuchNode\""},
      {1, true, {"--set", "SoDrawStyle[7].style=LINES"}, "no SoDrawStyle[7] in the scene"},
      {1, true, {"--set", "SoDrawStyle.noSuchField=1"}, "SoDrawStyle has no field \"noSuchField\""},
      {1, true, {"--set", "SoDrawStyle.style=WAVY"}, "cannot set SoDrawStyle.style to \"WAVY\""},
      {1, true, {"--set", "SoSearchAction.x=1"}, "\"SoSearchAction\" is not a node class"},
  };
  for (const auto& c : cases) {
    Args args = c.onTorus ? Args{torus, "--png", png} : Args{};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.message);
    const ToolRun run = render(args);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_TRUE(contains(run.output, c.message)) << run.output;
    EXPECT_FALSE(fs::exists(png) || fs::exists(tga));
  }
}

// Through --set: the raw geometry (the first draw style hides it), the mesh display modes, the
// subdivision chain, the hatching in ink with the start-up formulas, with the density formula
// (light tones turn to dots) and as plain GL lines. Each picture of the window's view shows the
// model, and no two are alike.
TEST_F(RenderTool, SettingsGiveDistinctPicturesOfTheModel) {
  const std::string meshOnly = "SoStreamlinerHQ.doComputation=FALSE SoGenerateSilhouette.doComputation=FALSE ";
  const struct {
    const char* name;
    std::string settings;  // separated by spaces
    int minShare;          // of the pixels drawn: 1 / minShare
    std::string said = "";
  } cases[] = {
      {"raw geometry", meshOnly + "SoDrawStyle[0].style=FILLED DrawStyle[1].lineWidth=3", 20,
       "set SoDrawStyle[0].style = FILLED\nset DrawStyle[1].lineWidth = 3\n"},
      {"faces", meshOnly + "SoGenerateWingedEdge.visualizationMode=2", 20},
      {"lines", meshOnly + "SoGenerateWingedEdge.visualizationMode=1", 20},
      {"colored", meshOnly + "SoGenerateWingedEdge.visualizationMode=3", 20},
      {"loop2", meshOnly + "SoGenerateWingedEdge.visualizationMode=2 SoModifyWingedEdge.subdivisionSteps=2", 20},
      {"ink", "SoLineShapeHQ.glLines=FALSE", 100},
      {"ink, dots", "SoLineShapeHQ.glLines=FALSE SoLineDensifierHQ.parserExpression=\"(light-rim)*iso*(taper*.5+.5)\"",
       100},
      {"gl lines", "SoLineShapeHQ.glLines=TRUE", 100},
  };
  std::vector<QImage> pictures;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Args args = {blob, "--size", "240x180", "--png", png, "--png-view", "--set", "SoFlowFieldHQ.sendLines=FALSE"};
    std::istringstream settings(c.settings);
    for (std::string s; settings >> s;) args.insert(args.end(), {"--set", s});
    EXPECT_TRUE(contains(ok(args).output, c.said));
    pictures.emplace_back(QString::fromStdString(png));
    EXPECT_GT(drawn(pictures.back()).pixels, 240 * 180 / c.minShare);
  }
  for (size_t i = 0; i < pictures.size(); ++i)
    for (size_t j = i + 1; j < pictures.size(); ++j)
      EXPECT_NE(pictures[i], pictures[j]) << cases[i].name << " and " << cases[j].name;
}

// Cross-hatching is on by default: the second family reaches the screen, the TGA, the SVG and the
// pen paths, darkens the darkest parts and covers few new pixels (those between the first family's
// strokes in the dark parts; were it everywhere the covered area would about double).
TEST_F(RenderTool, CrossHatchingReachesEveryOutputAndDarkensOnlyTheDarkParts) {
  struct Outputs {
    int screen = 0, svgPaths = 0, penPaths = 0;
    double darkest = 0, covered = 0;
  } runs[2];
  for (int cross = 0; cross < 2; ++cross) {
    const fs::path tga = dir / "ink.tga", svg = dir / "ink.svg", pen = dir / "pen.svg";
    Args args = {(data / "sphere.iv").string(), "--size", "400x300", "--png", png, "--tga", tga.string(), "--svg",
                 svg.string(), "--plotter-svg", pen.string()};
    if (!cross) args.insert(args.end(), {"--set", "SoStreamlinerHQ.crossHatching=FALSE"});
    const ToolRun run = render(args);
    ASSERT_EQ(run.status, 0) << run.output;
    Outputs& o = runs[cross];
    o.screen = drawn(png).pixels;
    const std::vector<unsigned char> grey = greys(tga.string());
    ASSERT_EQ(grey.size(), 400u * 300);
    const auto ink = [&](int x, int y) { return 1.0 - grey[y * 400 + x] / 255.0; };
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x) o.covered += ink(x, y) > 2 / 255.0;
    for (int y = 0; y + 20 <= 300; y += 4)
      for (int x = 0; x + 20 <= 400; x += 4) {
        double sum = 0;
        for (int j = 0; j < 20; ++j)
          for (int i = 0; i < 20; ++i) sum += ink(x + i, y + j);
        o.darkest = std::max(o.darkest, sum / 400);
      }
    o.svgPaths = countOf(readFile(svg), "<path");
    o.penPaths = countOf(readFile(pen), "<polyline");
  }
  EXPECT_GT(runs[1].screen, runs[0].screen);
  EXPECT_GT(runs[1].svgPaths, runs[0].svgPaths);
  EXPECT_GT(runs[1].penPaths, runs[0].penPaths);
  EXPECT_GT(runs[1].darkest, runs[0].darkest + 0.2);
  EXPECT_LT(runs[1].covered, runs[0].covered * 1.3);
}

// Share of pixels within 16 grey levels of each other.
double closeShare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  size_t close = 0;
  for (size_t i = 0; i < a.size() && a.size() == b.size(); ++i) close += std::abs(int(a[i]) - int(b[i])) <= 16;
  return a.empty() || a.size() != b.size() ? 0.0 : double(close) / double(a.size());
}

// Ink share: 1 for black, 0 for white.
double inkShare(const std::vector<unsigned char>& grey) {
  double sum = 0;
  for (unsigned char v : grey) sum += 255 - v;
  return grey.empty() ? 0 : sum / (255.0 * grey.size());
}

// The default picture (800x600) is the drawing: the TGA snapshot's raster pixel for pixel, whether
// a TGA is written beside it or not. The TGA has the TGA header; the PDF passes qpdf --check and,
// rendered back by pdftoppm, matches the TGA. pdftoppm fills a shape thinner than a pixel a whole
// pixel wide, so at the viewport's size it is darker along fine strokes than the coverage; rendered
// at four times the size and averaged down it matches as the two writers draw the same shapes. One
// family: where strokes cross, PDF viewers lay one antialiased edge over the other while the TGA
// keeps the darker of the two. The picture carries hatching beyond the silhouettes, which --set
// switches off. Widths are points of the page: at twice the size the share of ink is the same.
TEST_F(RenderTool, ThePictureAndTheSnapshotsShowOneDrawingAtAnySize) {
  const int W = 800, H = 600;
  const std::string heart = "/usr/share/inventor/data/models/heart.iv", pdf = (dir / "s.pdf").string(),
                    tga = (dir / "s.tga").string(), page = (dir / "page").string();
  for (const auto& [model, closeAtViewportSize] : {std::pair(torus, 0.94), std::pair(heart, 0.985)}) {
    SCOPED_TRACE(model);
    if (!fs::exists(model)) continue;  // inventor-data is not installed
    const Args common = {"--set", "SoStreamlinerHQ.crossHatching=FALSE"};
    Args args = {model, "--png", png, "--pdf", pdf, "--tga", tga};
    args.insert(args.end(), common.begin(), common.end());
    EXPECT_TRUE(contains(ok(args).output, "SoStreamlinerHQ: "));
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(W, H));
    EXPECT_EQ(greys(png), greys(tga));
    const unsigned char header[18] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, W & 255, W >> 8, H & 255, H >> 8, 8, 0x20};
    EXPECT_EQ(readFile(tga).substr(0, 18), std::string(reinterpret_cast<const char*>(header), 18));
    const std::vector<unsigned char> image = greys(tga);
    ASSERT_EQ(image.size(), size_t(W) * H);
    EXPECT_GT(std::count_if(image.begin(), image.end(), [](unsigned char v) { return v < 128; }), 1000);
    if (model == torus) {
      const std::string alone = (dir / "alone.png").string(), large = (dir / "large.tga").string(),
                        plain = (dir / "plain.png").string();
      ok({torus, "--png", alone, common[0], common[1]});
      EXPECT_EQ(greys(alone), image);
      ok({torus, "--size", "1600x1200", "--tga", large, common[0], common[1]});
      EXPECT_GT(inkShare(image), 0.01);
      EXPECT_NEAR(inkShare(greys(large)) / inkShare(image), 1.0, 0.1) << inkShare(image);
      EXPECT_FALSE(contains(ok({torus, "--png", plain, "--set", "SoStreamlinerHQ.doComputation=FALSE"}).output,
                            "SoStreamlinerHQ: "));
      EXPECT_GT(drawn(plain).pixels, 200);  // the outline of the torus
      EXPECT_GT(drawn(png).pixels, 2 * drawn(plain).pixels);
    }
    if (!haveProgram("qpdf") || !haveProgram("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
    EXPECT_TRUE(qpdfAccepts(pdf));
    for (int k : {1, 4}) {
      const std::string size = " -scale-to-x " + std::to_string(k * W) + " -scale-to-y " + std::to_string(k * H);
      ASSERT_EQ(std::system(("pdftoppm -gray -singlefile" + size + " " + quoted(pdf) + " " + quoted(page)).c_str()), 0);
      const QImage rendered = QImage(QString::fromStdString(page + ".pgm"));
      ASSERT_EQ(rendered.size(), QSize(k * W, k * H));
      const QImage averaged = rendered.scaled(W, H, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      EXPECT_GE(closeShare(greys(averaged), image), k == 1 ? closeAtViewportSize : 0.99) << k;
    }
  }
}

TEST_F(RenderTool, WritesTheLineAndMeshExportsOfTheView) {
  const auto at = [&](const char* name) { return (dir / name).string(); };
  const std::string linesPdf = at("lines.pdf"), linesTxt = at("lines.txt"), wrl = at("mesh.wrl"), iv = at("mesh.iv"),
                    svg = at("ink.svg"), plotter = at("pen.svg"), penText = at("pen.txt");
  const ToolRun run = render({torus, "--size", "320x240", "--lines-pdf", linesPdf, "--lines-txt", linesTxt, "--vrml",
                              wrl, "--iv", iv, "--svg", svg, "--plotter-svg", plotter, "--plotter-txt", penText});
  ASSERT_EQ(run.status, 0) << run.output;
  for (const std::string& f : {linesPdf, linesTxt, wrl, iv, svg, plotter, penText})
    EXPECT_GT(fs::exists(f) ? fs::file_size(f) : 0, 100u) << f;
  EXPECT_TRUE(!haveProgram("qpdf") || qpdfAccepts(linesPdf));
  EXPECT_EQ(readFile(linesPdf).compare(0, 5, "%PDF-"), 0);
  EXPECT_TRUE(contains(readFile(svg), "<svg"));
  EXPECT_TRUE(contains(readFile(plotter), "<svg"));
  EXPECT_EQ(countOf(run.output, "pen-up travel"), 2) << run.output;  // both plotter files from one run
  // The mesh files read back through Coin as the same triangles.
  const auto triangles = [](const std::string& path) {
    SoInput input;
    SoSeparator* scene = input.openFile(path.c_str()) ? SoDB::readAll(&input) : nullptr;
    if (!scene) return -1;
    scene->ref();
    SoGetPrimitiveCountAction count;
    count.apply(scene);
    scene->unref();
    return count.getTriangleCount();
  };
  EXPECT_GT(triangles(iv), 1000);
  EXPECT_EQ(triangles(wrl), triangles(iv));
}

// (The picture alone: a row of the refusals.)
TEST_F(RenderTool, AnOutputThatCannotBeWrittenFailsAfterRenderingAndLeavesNoFile) {
  const fs::path missing = dir / "no-such-folder";
  const Args options = {"--pdf", "--tga", "--svg", "--lines-pdf", "--lines-txt", "--vrml", "--iv", "--plotter-svg"};
  Args args = {torus, "--size", "160x120"};
  for (const std::string& option : options)
    args.insert(args.end(), {option, (missing / (option.substr(2) + ".out")).string()});
  const ToolRun run = render(args);
  EXPECT_EQ(run.status, 1) << run.output;
  for (const std::string& option : options) {
    const std::string target = (missing / (option.substr(2) + ".out")).string();
    EXPECT_TRUE(contains(run.output, "linfold-render: cannot write " + target + ": No such file or directory\n"))
        << option << " in:\n" << run.output;
  }
  EXPECT_FALSE(fs::exists(missing));
}

// The help lists every option, and the example settings (run in the first test).
TEST_F(RenderTool, HelpListsEveryOptionWithSettingExamples) {
  const ToolRun run = ok({"--help"});
  for (const char* option : {"--png", "--pdf", "--tga", "--svg", "--lines-pdf", "--lines-txt", "--vrml", "--iv",
                             "--plotter-svg", "--plotter-txt", "--size", "--field", "--view", "--up", "--perspective",
                             "--fill", "--png-view", "--set", "--out-dir", "--max-seconds", "--formats", "--help"})
    EXPECT_TRUE(contains(run.output, std::string("\n  ") + option)) << option;
  for (const std::string& e : kExamples)
    EXPECT_TRUE(contains(run.output, "--set " + (contains(e, "\"") ? "'" + e + "'" : e))) << e;
  // light is a darkness (1 - |n.l|): "1 - light" would put the dots in the shade.
  EXPECT_FALSE(contains(run.output, "1 - light"));
}

// The summary row of a model: its columns after the name.
Args summaryRow(const std::string& output, const std::string& model) {
  std::istringstream lines(output);
  Args row;
  for (std::string line; std::getline(lines, line) && row.empty();)
    if (line.compare(0, model.size() + 1, model + " ") == 0) {
      std::istringstream words(line.substr(model.size()));
      for (std::string w; words >> w;) row.push_back(w);
    }
  return row;
}

// A folder's models in name order, then a namesake from elsewhere, outputs named after them.
TEST_F(RenderTool, BatchRunGoesPastABrokenModelKeepsNamesakesApartAndEndsWithASummary) {
  const fs::path models = dir / "models", other = dir / "other", out = dir / "out";
  fs::create_directories(models), fs::create_directories(other);
  fs::copy_file(data / "torus.iv", models / "torus.iv");
  fs::copy_file(data / "torus.iv", other / "torus.iv");
  fs::copy_file(data / "sphere.iv", models / "sphere.iv");
  std::ofstream(models / "broken.iv") << "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 1 2\n";
  std::ofstream(models / "notes.md") << "not a model\n";
  const ToolRun run = render({"--out-dir", out.string(), "--png", "--pdf", "--size", "160x120", models.string(),
                              (other / "torus.iv").string()});
  EXPECT_EQ(run.status, 1) << run.output;
  for (const char* name : {"torus.png", "torus.pdf", "sphere.png", "sphere.pdf", "torus-2.png", "torus-2.pdf"})
    EXPECT_TRUE(fs::exists(out / name)) << name;
  for (const char* name : {"broken.png", "broken.pdf", "notes.png"}) EXPECT_FALSE(fs::exists(out / name)) << name;
  // Not a terminal: a line per model.
  size_t at = 0;
  for (const char* line : {"[1/4] broken.iv\n", "[2/4] sphere.iv\n", "[3/4] torus.iv\n", "[4/4] torus.iv\n"})
    EXPECT_NE(at = run.output.find(std::string("linfold-render: ") + line, at), std::string::npos) << line;
  EXPECT_TRUE(contains(run.output, "linfold-render: cannot load " + (models / "broken.iv").string() + "\n"));
  EXPECT_EQ(summaryRow(run.output, "model"), (Args{"faces", "strokes", "time", "memory", "outputs"})) << run.output;
  const Args torusRow = summaryRow(run.output, "torus.iv"), broken = summaryRow(run.output, "broken.iv");
  ASSERT_EQ(torusRow.size(), 8u) << run.output;
  EXPECT_EQ(torusRow[0], "3072");  // the sample torus's triangles
  EXPECT_GT(std::atoi(torusRow[1].c_str()), 50);
  EXPECT_EQ(torusRow[3], "s");
  EXPECT_GT(std::atoi(torusRow[4].c_str()), 10);  // peak memory of its process
  EXPECT_EQ(torusRow[5] + " " + torusRow[6] + " " + torusRow[7], "MB png pdf");
  ASSERT_GE(broken.size(), 7u) << run.output;
  EXPECT_EQ(broken[0] + broken[1] + broken[6], "--FAILED:");
  EXPECT_TRUE(contains(run.output, "linfold-render: 1 of 4 models failed\n")) << run.output;
}

}  // namespace
