// linfold-render, run as the user runs it: the picture and the exports it
// writes, its console report, batch runs, and every way it refuses bad input
// (non-zero status, no file). Needs a display (xvfb-run).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string output;
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs linfold-render with the arguments (each quoted) and collects stdout
// and stderr.
ToolRun renderArgs(const std::vector<std::string>& args) {
  std::string command = quoted(LINFOLD_RENDER);
  for (const std::string& a : args) command += " " + quoted(a);
  command += " 2>&1";
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

ToolRun render(std::initializer_list<std::string> args) { return renderArgs(std::vector<std::string>(args)); }

int shell(const std::string& command) {
  const int status = std::system((command + " > /dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Pixels of a binary PGM (P5, maxval 255); empty when it is not one.
std::vector<unsigned char> readPgm(const fs::path& path, int& width, int& height) {
  const std::string data = readFile(path);
  std::istringstream in(data);
  std::string magic;
  int maxval = 0;
  in >> magic >> width >> height >> maxval;
  if (magic != "P5" || maxval != 255 || width < 1 || height < 1) return {};
  const size_t start = static_cast<size_t>(in.tellg()) + 1;
  if (data.size() < start + static_cast<size_t>(width) * height) return {};
  return std::vector<unsigned char>(data.begin() + start, data.begin() + start + static_cast<size_t>(width) * height);
}

// The PDF page rendered by pdftoppm in grey at width x height pixels.
std::vector<unsigned char> renderPdf(const fs::path& pdf, int width, int height) {
  const fs::path prefix = pdf.parent_path() / (pdf.stem().string() + "-page");
  if (shell("pdftoppm -gray -singlefile -scale-to-x " + std::to_string(width) + " -scale-to-y " +
            std::to_string(height) + " " + quoted(pdf.string()) + " " + quoted(prefix.string())) != 0)
    return {};
  int w = 0, h = 0;
  std::vector<unsigned char> page = readPgm(prefix.string() + ".pgm", w, h);
  return w == width && h == height ? page : std::vector<unsigned char>();
}

// Share of pixels within 16 grey levels of each other.
double closeShare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  if (a.size() != b.size() || a.empty()) return 0.0;
  size_t close = 0;
  for (size_t i = 0; i < a.size(); ++i) close += std::abs(int(a[i]) - int(b[i])) <= 16;
  return double(close) / double(a.size());
}

// Triangles of a scene file as Coin reads and tessellates it; -1 when it
// cannot be read.
int trianglesInFile(const fs::path& path) {
  SoInput input;
  if (!input.openFile(path.string().c_str())) return -1;
  SoSeparator* scene = SoDB::readAll(&input);
  input.closeFile();
  if (!scene) return -1;
  scene->ref();
  int count = 0;
  SoCallbackAction action;
  action.addTriangleCallback(
      SoShape::getClassTypeId(),
      [](void* data, SoCallbackAction*, const SoPrimitiveVertex*, const SoPrimitiveVertex*,
         const SoPrimitiveVertex*) { ++*static_cast<int*>(data); },
      &count);
  action.apply(scene);
  scene->unref();
  return count;
}

class RenderTool : public ::testing::Test {
protected:
  void SetUp() override {
    data = sourceDir() / "data";
    dir = fs::temp_directory_path() /
          ("linfold-render-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    png = (dir / "picture.png").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  // Pixels that differ from the corner pixel (the background).
  static int drawnPixels(const QImage& image) {
    const QRgb background = image.pixel(0, 0);
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) drawn += image.pixel(x, y) != background;
    return drawn;
  }

  void expectRefused(const ToolRun& run, const std::string& message) {
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(message), std::string::npos) << "expected \"" << message << "\" in:\n"
                                                           << run.output;
    EXPECT_FALSE(fs::exists(png)) << run.output;
  }

  fs::path data;
  fs::path dir;
  std::string png;
};

TEST_F(RenderTool, DrawsTheTorusAtTheRequestedSizeAndReportsEachStage) {
  // At start-up the window shows only the line drawing ("Nothing" in the
  // Visualization Mode window); "Faces" (mode 2) shades the winged-edge model.
  ToolRun run = render({(data / "torus.iv").string(), "--size", "320x240", "--png", png, "--png-view", "--set",
                        "SoGenerateWingedEdge.visualizationMode=2"});
  ASSERT_EQ(run.status, 0) << run.output;
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull()) << run.output;
  EXPECT_EQ(image.width(), 320);
  EXPECT_EQ(image.height(), 240);
  // The torus fills a good part of a view framed on it.
  EXPECT_GT(drawnPixels(image), 320 * 240 / 20);
  for (const char* stage : {"start-up", "load", "render", "write"})
    EXPECT_NE(run.output.find(std::string("linfold-render: ") + stage + " took "), std::string::npos)
        << stage << " missing in:\n"
        << run.output;
  // The first draw's time, stage by stage.
  for (const char* stage : {"winged-edge build", "modifier chain", "half-edge build", "curvature",
                            "flow field", "streamlines", "silhouette structures", "silhouettes",
                            "hidden-line removal", "ink", "everything else"})
    EXPECT_NE(run.output.find(std::string("linfold-render:   ") + stage + " took "), std::string::npos)
        << stage << " missing in:\n"
        << run.output;
}

TEST_F(RenderTool, CleansTheFieldByDefaultAndReportsItsTurning) {
  // Left as initialised, the blob's field swaps between the principal
  // directions along bands; cleaned by default ("auto").
  auto share = [&](std::initializer_list<std::string> args) {
    ToolRun run = render(args);
    EXPECT_EQ(run.status, 0) << run.output;
    std::smatch m;
    const std::regex line("\nfield: ([0-9.]+)% of edges turn > 30 deg \\(3587 edges away from umbilics\\)\n");
    EXPECT_TRUE(std::regex_search(run.output, m, line)) << run.output;
    return m.empty() ? -1.0 : std::stod(m[1]);
  };
  const std::string blob = (data / "blob.iv").string();
  const double plain = share({blob, "--size", "64x48", "--field", "none"});
  const double cleaned = share({blob, "--size", "64x48"});
  EXPECT_GT(plain, 2.0);
  EXPECT_LT(cleaned, plain / 2);
}

TEST_F(RenderTool, DefaultSizeIs800By600) {
  ToolRun run = render({(data / "sphere.iv").string(), "--png", png});
  ASSERT_EQ(run.status, 0) << run.output;
  QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(800, 600));
}

TEST_F(RenderTool, SetsFieldsOfTheNthNodeOfAClass) {
  // The first draw style hides the raw geometry; showing it draws the model
  // whatever the later stages draw.
  ToolRun run = render({(data / "torus.iv").string(), "--size", "200x150", "--png", png, "--png-view", "--set",
                         "SoDrawStyle[0].style=FILLED", "--set", "DrawStyle[1].lineWidth=3"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("set SoDrawStyle[0].style = FILLED\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("set DrawStyle[1].lineWidth = 3\n"), std::string::npos) << run.output;
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(drawnPixels(image), 200 * 150 / 20);
}

// Where the model lies in a picture: the box of the pixels that differ from
// the corner pixel.
struct Drawn {
  int left = 0, right = -1, top = 0, bottom = -1;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Drawn drawnArea(const QImage& image) {
  Drawn d;
  d.left = image.width(), d.top = image.height();
  const QRgb background = image.pixel(0, 0);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != background) {
        d.left = std::min(d.left, x), d.right = std::max(d.right, x);
        d.top = std::min(d.top, y), d.bottom = std::max(d.bottom, y);
      }
  return d;
}

// Which end of the drawing, across x (or y), is the narrow one: the extent of
// the drawing along the other axis, a tenth of the way in from each end,
// compared. 1: right (top), -1: left (bottom), 0: alike.
int narrowEnd(const QImage& image, const Drawn& d, bool alongX) {
  const QRgb background = image.pixel(0, 0);
  auto span = [&](int at) {
    int lo = INT_MAX, hi = -1;
    const int n = alongX ? image.height() : image.width();
    for (int k = 0; k < n; ++k)
      if ((alongX ? image.pixel(at, k) : image.pixel(k, at)) != background) lo = std::min(lo, k), hi = std::max(hi, k);
    return hi < 0 ? 0 : hi - lo;
  };
  const int inset = (alongX ? d.width() : d.height()) / 10;
  const int low = alongX ? span(d.left + inset) : span(d.bottom - inset);  // left, or bottom
  const int high = alongX ? span(d.right - inset) : span(d.top + inset);   // right, or top
  if (low > 1.3 * high) return 1;
  if (high > 1.3 * low) return -1;
  return 0;
}

// The camera of --view, --up, --perspective and --fill, seen on a model of
// known shape: a ball of radius 1 with a ball of radius 0.5 on its +x side and
// one on its +z side (x from -1 to 2, y from -1 to 1, z from -1 to 2), its
// outlines drawn in a square picture. The model fills --fill of the limiting
// side; the balls say from where it is seen.
TEST_F(RenderTool, ViewOptionsTurnAndFrameTheModel) {
  const fs::path model = dir / "marked-ball.iv";
  std::ofstream(model) << "#Inventor V2.1 ascii\nSeparator {\n  Sphere { radius 1 }\n"
                          "  Separator { Translation { translation 1.5 0 0 } Sphere { radius 0.5 } }\n"
                          "  Separator { Translation { translation 0 0 1.5 } Sphere { radius 0.5 } }\n}\n";
  const std::vector<std::string> outlines = {"--set", "SoStreamlinerHQ.doComputation=FALSE"};
  const int S = 300;
  struct Case {
    std::vector<std::string> options;
    double width, height;  // of the drawn model, in model units: 3 units fill 0.9 of S
    int narrowX, narrowY;  // the small balls' ends: -1, 0 or 1 (x right, y up)
  };
  const Case cases[] = {
      {{}, 3, 2, 1, 0},                           // from the front: +x ball right, +z ball facing us
      {{"--view", "90,0"}, 3, 2, -1, 0},          // from the right: the front (+z) on the left
      {{"--view", "-90,0"}, 3, 2, 1, 0},          // from the left: the front on the right
      {{"--view", "0,90"}, 3, 3, 1, -1},          // from above: the front at the bottom
      {{"--view", "0,0,90"}, 2, 3, 0, 1},         // turned counter-clockwise: +x points up
      {{"--up", "z"}, 3, 3, 1, 1},                // z up, seen from -y
      {{"--up", "x"}, 2, 3, 0, 1},                // x up
      {{"--fill", "0.5"}, 3 * 0.5 / 0.9, 2 * 0.5 / 0.9, 1, 0},
  };
  const double unit = 0.9 * S / 3;
  for (const Case& c : cases) {
    std::vector<std::string> args = {model.string(), "--size", "300x300", "--png", png};
    args.insert(args.end(), outlines.begin(), outlines.end());
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::string name;
    for (const std::string& o : c.options) name += o + " ";
    ToolRun run = renderArgs(args);
    ASSERT_EQ(run.status, 0) << name << run.output;
    const QImage image(QString::fromStdString(png));
    const Drawn d = drawnArea(image);
    EXPECT_NEAR(d.width(), c.width * unit, 3) << name;
    EXPECT_NEAR(d.height(), c.height * unit, 3) << name;
    EXPECT_EQ(narrowEnd(image, d, true), c.narrowX) << name;
    EXPECT_EQ(narrowEnd(image, d, false), c.narrowY) << name;
  }

  // Wide and tall pictures frame the model alike; a perspective camera keeps
  // the whole model inside the picture, and shows it otherwise.
  std::vector<QImage> oblique;
  for (const std::vector<std::string>& options :
       std::vector<std::vector<std::string>>{{"--size", "400x100"}, {"--size", "100x400"},
                                             {"--view", "30,20"}, {"--view", "30,20", "--perspective"}}) {
    std::vector<std::string> args = {model.string(), "--size", "300x300", "--png", png};
    args.insert(args.end(), outlines.begin(), outlines.end());
    args.insert(args.end(), options.begin(), options.end());
    ToolRun run = renderArgs(args);
    ASSERT_EQ(run.status, 0) << options[0] << run.output;
    const QImage image(QString::fromStdString(png));
    const Drawn d = drawnArea(image);
    EXPECT_TRUE(d.left > 0 && d.top > 0 && d.right < image.width() - 1 && d.bottom < image.height() - 1)
        << options[1];
    const double fillX = double(d.width()) / image.width(), fillY = double(d.height()) / image.height();
    EXPECT_GT(std::max(fillX, fillY), 0.7) << options[1] << " " << fillX << " " << fillY;
    EXPECT_LE(std::max(fillX, fillY), 0.93) << options[1] << " " << fillX << " " << fillY;
    if (options[0] == "--view") oblique.push_back(image);
  }
  ASSERT_EQ(oblique.size(), 2u);
  EXPECT_NE(oblique[0], oblique[1]);
}

TEST_F(RenderTool, RefusesWhatItCannotDoWithoutWritingAPicture) {
  const std::string torus = (data / "torus.iv").string();
  expectRefused(render({(dir / "missing.iv").string(), "--png", png}), "cannot load");
  const fs::path text = dir / "notes.iv";
  FILE* f = std::fopen(text.string().c_str(), "w");
  ASSERT_TRUE(f);
  std::fputs("these are not the droids\n", f);
  std::fclose(f);
  expectRefused(render({text.string(), "--png", png}), "cannot load");
  // Models that read but yield no faces draw nothing: an error, no blank
  // picture (nor any other output).
  const struct {
    const char* name;
    const char* body;
  } faceless[] = {{"lights.iv", "DirectionalLight { } PerspectiveCamera { }"},
                  {"lines.iv", "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0 ] } IndexedLineSet { coordIndex [ 0, 1, 2, -1 ] }"}};
  for (const auto& f : faceless) {
    const fs::path model = dir / f.name;
    std::ofstream(model) << "#Inventor V2.1 ascii\nSeparator { " << f.body << " }\n";
    const std::string tga = (dir / "faceless.tga").string();
    expectRefused(render({model.string(), "--png", png, "--tga", tga}), model.string() + " has no faces to draw");
    EXPECT_FALSE(fs::exists(tga)) << f.name;
  }
  expectRefused(render({torus, "--png", png, "--set", "SoNoSuchNode.x=1"}),
                "unknown class \"SoNoSuchNode\"");
  expectRefused(render({torus, "--png", png, "--set", "SoDrawStyle[7].style=LINES"}),
                "no SoDrawStyle[7] in the scene");
  expectRefused(render({torus, "--png", png, "--set", "SoDrawStyle.noSuchField=1"}),
                "SoDrawStyle has no field \"noSuchField\"");
  expectRefused(render({torus, "--png", png, "--set", "SoDrawStyle.style=WAVY"}),
                "cannot set SoDrawStyle.style to \"WAVY\"");
  expectRefused(render({torus, "--png", png, "--set", "SoSearchAction.x=1"}),
                "\"SoSearchAction\" is not a node class");
}

TEST_F(RenderTool, RejectsMalformedArgumentsWithUsageStatus) {
  const std::string torus = (data / "torus.iv").string();
  struct Case {
    std::initializer_list<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{torus, "--png", png, "--size", "0x10"}, "bad size \"0x10\""},
      {{torus, "--png", png, "--size", "20000x10"}, "bad size \"20000x10\""},
      {{torus, "--png", png, "--size", "12by10"}, "bad size \"12by10\""},
      {{torus, "--png", png, "--set", "SoDrawStyle.style"}, "bad setting \"SoDrawStyle.style\""},
      {{torus, "--png", png, "--set", "SoDrawStyle[x].style=LINES"}, "bad setting"},
      {{torus, "--png", png, "--set", "SoDrawStyle=LINES"}, "bad setting"},
      {{torus, "--png", png, "--frobnicate"}, "unknown option --frobnicate"},
      {{torus, torus, "--png", png}, "more than one model"},
      {{torus, "--png"}, "--png needs a value"},
      {{torus, "--tga", png, "--pdf"}, "--pdf needs a value"},
      {{torus, "--formats", "png"}, "--formats needs --out-dir"},
      {{"--out-dir", dir.string(), "--formats", "png,jpeg", torus}, "unknown format \"jpeg\" in --formats"},
      {{"--out-dir"}, "--out-dir needs a value"},
      {{torus, "--max-seconds", "0"}, "bad time \"0\" for --max-seconds"},
      {{torus, "--max-seconds", "-1"}, "bad time \"-1\" for --max-seconds"},
      {{torus, "--png", png, "--field", "smooth"}, "unknown --field \"smooth\" (known: none, auto)"},
      {{torus, "--png", png, "--field"}, "--field needs a value"},
      {{"--png", png}, "usage: linfold-render MODEL"},
      {{torus, "--png", png, "--view", "30"}, "bad view \"30\": expected AZIMUTH,ELEVATION[,ROLL] in degrees"},
      {{torus, "--png", png, "--view", "1,2,3,4"}, "bad view \"1,2,3,4\""},
      {{torus, "--png", png, "--view", "left,up"}, "bad view \"left,up\""},
      {{torus, "--png", png, "--up", "w"}, "bad up axis \"w\": expected x, y or z"},
      {{torus, "--png", png, "--fill", "0"}, "bad fill \"0\": expected a number above 0 and at most 1"},
      {{torus, "--png", png, "--fill", "1.5"}, "bad fill \"1.5\""},
      {{torus, "--png", png, "--fill", "nan"}, "bad fill \"nan\""},
  };
  for (const Case& c : cases) {
    ToolRun run = render(c.args);
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << "expected \"" << c.message
                                                             << "\" in:\n"
                                                             << run.output;
    EXPECT_FALSE(fs::exists(png));
  }
}

TEST_F(RenderTool, AnUnwritableOutputFailsAfterRendering) {
  std::string target = (dir / "no-such-folder" / "picture.png").string();
  ToolRun run = render({(data / "torus.iv").string(), "--size", "64x64", "--png", target});
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("linfold-render: cannot write " + target + ": No such file or directory\n"),
            std::string::npos)
      << run.output;
  EXPECT_FALSE(fs::exists(target));
}


// The render tool switches the hatching on: the default picture carries
// strokes beyond the silhouettes, and --set can still switch them off.
// The mesh display modes and the subdivision chain, reached through --set:
// each picture shows the model, and no two are alike.
TEST_F(RenderTool, DisplayModesAndSubdivisionGiveDistinctPictures) {
  const std::string blob = (data / "blob.iv").string();
  const std::vector<std::string> meshOnly = {
      "--set", "SoStreamlinerHQ.doComputation=FALSE", "--set", "SoGenerateSilhouette.doComputation=FALSE",
      "--set", "SoFlowFieldHQ.sendLines=FALSE"};
  struct Case {
    const char* name;
    std::vector<std::string> settings;
  };
  const std::vector<Case> cases = {
      {"faces", {"SoGenerateWingedEdge.visualizationMode=2"}},
      {"lines", {"SoGenerateWingedEdge.visualizationMode=1"}},
      {"colored", {"SoGenerateWingedEdge.visualizationMode=3"}},
      {"loop2", {"SoGenerateWingedEdge.visualizationMode=2", "SoModifyWingedEdge.subdivisionSteps=2"}}};
  std::vector<QImage> pictures;
  for (const Case& c : cases) {
    const std::string file = (dir / (std::string(c.name) + ".png")).string();
    std::vector<std::string> args = {blob, "--size", "240x180", "--png", file, "--png-view"};
    args.insert(args.end(), meshOnly.begin(), meshOnly.end());
    for (const std::string& setting : c.settings) args.insert(args.end(), {"--set", setting});
    ToolRun run = renderArgs(args);
    ASSERT_EQ(run.status, 0) << c.name << "\n" << run.output;
    pictures.emplace_back(QString::fromStdString(file));
    ASSERT_FALSE(pictures.back().isNull()) << c.name;
    EXPECT_GT(drawnPixels(pictures.back()), 240 * 180 / 20) << c.name;
  }
  for (size_t i = 0; i < pictures.size(); ++i)
    for (size_t j = i + 1; j < pictures.size(); ++j)
      EXPECT_NE(pictures[i], pictures[j]) << cases[i].name << " and " << cases[j].name;
}

// The hatching in ink with the start-up formulas, with the density formula in
// "Density:" as well (light tones turn to dots), and as plain GL lines.
TEST_F(RenderTool, InkAndPlainLinePicturesOfTheHatching) {
  const std::string blob = (data / "blob.iv").string();
  const std::string density = "SoLineDensifierHQ.parserExpression=\"( light - rim )*iso*(taper*.5 + .5 )\"";
  const std::vector<std::vector<std::string>> settings = {
      {"SoLineShapeHQ.glLines=FALSE"},
      {"SoLineShapeHQ.glLines=FALSE", density},
      {"SoLineShapeHQ.glLines=TRUE"}};
  std::vector<QImage> pictures;
  for (size_t i = 0; i < settings.size(); ++i) {
    const std::string file = (dir / ("ink" + std::to_string(i) + ".png")).string();
    std::vector<std::string> args = {blob, "--size", "320x240", "--png", file, "--png-view", "--set",
                                     "SoFlowFieldHQ.sendLines=FALSE"};
    for (const std::string& setting : settings[i]) args.insert(args.end(), {"--set", setting});
    ToolRun run = renderArgs(args);
    ASSERT_EQ(run.status, 0) << run.output;
    pictures.emplace_back(QString::fromStdString(file));
    ASSERT_FALSE(pictures.back().isNull());
    EXPECT_GT(drawnPixels(pictures.back()), 320 * 240 / 100) << i;
  }
  EXPECT_NE(pictures[0], pictures[1]);
  EXPECT_NE(pictures[0], pictures[2]);
  EXPECT_NE(pictures[1], pictures[2]);
}

TEST_F(RenderTool, DefaultPictureShowsHatchingThatSetCanSwitchOff) {
  const std::string torus = (data / "torus.iv").string();
  ToolRun run = render({torus, "--size", "320x240", "--png", png});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("SoStreamlinerHQ: "), std::string::npos) << run.output;
  QImage hatched(QString::fromStdString(png));
  ASSERT_FALSE(hatched.isNull());
  const int withStrokes = drawnPixels(hatched);

  const std::string plain = (dir / "plain.png").string();
  run = render({torus, "--size", "320x240", "--png", plain, "--set", "SoStreamlinerHQ.doComputation=FALSE"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("SoStreamlinerHQ: "), std::string::npos) << run.output;
  const int silhouettesOnly = drawnPixels(QImage(QString::fromStdString(plain)));
  EXPECT_GT(silhouettesOnly, 200);  // the outline of the torus
  EXPECT_GT(withStrokes, 2 * silhouettesOnly) << withStrokes << " vs " << silhouettesOnly;
}

// Cross-hatching is on by default: the second family reaches the screen, the
// TGA, the SVG and the pen paths, darkens the darkest parts and covers few
// new pixels (those between the first family's strokes in the dark parts;
// were it everywhere the covered area would about double).
TEST_F(RenderTool, CrossHatchingReachesEveryOutputAndDarkensOnlyTheDarkParts) {
  struct Outputs {
    int screen = 0;
    double darkest = 0, covered = 0;
    size_t svgPaths = 0, penPaths = 0;
  } runs[2];
  for (int cross = 0; cross < 2; ++cross) {
    const fs::path tga = dir / "ink.tga", svg = dir / "ink.svg", pen = dir / "pen.svg";
    std::vector<std::string> args = {(data / "sphere.iv").string(), "--size", "400x300", "--png", png,
                                     "--tga", tga.string(), "--svg", svg.string(), "--plotter-svg",
                                     pen.string()};
    if (!cross) args.insert(args.end(), {"--set", "SoStreamlinerHQ.crossHatching=FALSE"});
    const ToolRun run = renderArgs(args);
    ASSERT_EQ(run.status, 0) << run.output;
    Outputs& o = runs[cross];
    o.screen = drawnPixels(QImage(QString::fromStdString(png)));
    const std::string bytes = readFile(tga);
    ASSERT_EQ(bytes.size(), 18u + 400 * 300);
    const auto ink = [&](int x, int y) { return 1.0 - static_cast<unsigned char>(bytes[18 + y * 400 + x]) / 255.0; };
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x) o.covered += ink(x, y) > 2 / 255.0;
    for (int y = 0; y + 20 <= 300; y += 4)
      for (int x = 0; x + 20 <= 400; x += 4) {
        double sum = 0;
        for (int j = 0; j < 20; ++j)
          for (int i = 0; i < 20; ++i) sum += ink(x + i, y + j);
        o.darkest = std::max(o.darkest, sum / 400);
      }
    const auto count = [](const std::string& text, const std::string& what) {
      size_t n = 0;
      for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
      return n;
    };
    o.svgPaths = count(readFile(svg), "<path");
    o.penPaths = count(readFile(pen), "<polyline");
  }
  std::printf("darkest 20x20 patch %.2f -> %.2f, covered %.0f -> %.0f pixels\n", runs[0].darkest,
              runs[1].darkest, runs[0].covered, runs[1].covered);
  EXPECT_GT(runs[1].screen, runs[0].screen);
  EXPECT_GT(runs[1].svgPaths, runs[0].svgPaths);
  EXPECT_GT(runs[1].penPaths, runs[0].penPaths);
  EXPECT_GT(runs[1].darkest, runs[0].darkest + 0.2);
  EXPECT_LT(runs[1].covered, runs[0].covered * 1.3);
}

// The HQ snapshots of one run show the view of the picture: the TGA has the
// picture's size and the TGA header; the PDF is valid and, rendered back by
// pdftoppm, matches the TGA. pdftoppm fills a shape thinner than a pixel a
// whole pixel wide (a 0.3-pixel bar comes out black), so on real hatching its
// rendering at the viewport's size is darker along the fine strokes than the
// coverage; rendered at four times the size and averaged down it matches the
// TGA as the two writers draw the same shapes.
void expectSnapshotsOfOneView(const fs::path& model, const fs::path& dir, double closeAtViewportSize) {
  const int W = 800, H = 600;
  const fs::path pdf = dir / (model.stem().string() + ".pdf"), tga = dir / (model.stem().string() + ".tga");
  // One family: where strokes cross, PDF viewers lay one antialiased edge
  // over the other while the TGA keeps the darker of the two, which differs
  // by more than the tolerance on many crossing pixels.
  ToolRun run = render({model.string(), "--size", "800x600", "--pdf", pdf.string(), "--tga", tga.string(), "--set",
                        "SoStreamlinerHQ.crossHatching=FALSE"});
  ASSERT_EQ(run.status, 0) << run.output;

  const std::string bytes = readFile(tga);
  ASSERT_EQ(bytes.size(), 18u + W * H) << model;
  const unsigned char header[18] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, W & 255, W >> 8, H & 255, H >> 8, 8, 0x20};
  EXPECT_EQ(bytes.compare(0, 18, std::string(reinterpret_cast<const char*>(header), 18)), 0) << model;
  const std::vector<unsigned char> image(bytes.begin() + 18, bytes.end());
  const long ink = std::count_if(image.begin(), image.end(), [](unsigned char v) { return v < 128; });
  EXPECT_GT(ink, 1000) << model << ": the snapshot is about something";

  if (!haveProgram("qpdf") || !haveProgram("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
  EXPECT_EQ(shell("qpdf --check " + quoted(pdf.string())), 0) << model;
  const std::vector<unsigned char> page = renderPdf(pdf, W, H);
  ASSERT_FALSE(page.empty()) << "pdftoppm could not render " << pdf;
  EXPECT_GE(closeShare(page, image), closeAtViewportSize) << model;

  const int k = 4;
  const std::vector<unsigned char> fine = renderPdf(pdf, k * W, k * H);
  ASSERT_FALSE(fine.empty());
  std::vector<unsigned char> averaged(static_cast<size_t>(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      int sum = 0;
      for (int j = 0; j < k; ++j)
        for (int i = 0; i < k; ++i) sum += fine[static_cast<size_t>(y * k + j) * k * W + x * k + i];
      averaged[static_cast<size_t>(y) * W + x] = static_cast<unsigned char>((sum + k * k / 2) / (k * k));
    }
  EXPECT_GE(closeShare(averaged, image), 0.99) << model;
}

// The PNG is the drawing: the TGA snapshot's raster pixel for pixel, whether
// a TGA is written beside it or not (then from one written aside and removed).
TEST_F(RenderTool, ThePngIsTheDrawingOfTheSnapshots) {
  const std::string torus = (data / "torus.iv").string(), tga = (dir / "a.tga").string(),
                    alone = (dir / "alone.png").string();
  ToolRun run = render({torus, "--size", "320x240", "--png", png, "--tga", tga});
  ASSERT_EQ(run.status, 0) << run.output;
  run = render({torus, "--size", "320x240", "--png", alone});
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string bytes = readFile(tga);
  ASSERT_EQ(bytes.size(), 18u + 320 * 240);
  const QImage picture(QString::fromStdString(png));
  ASSERT_EQ(picture.size(), QSize(320, 240));
  int differ = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      const QRgb p = picture.pixel(x, y);
      const int grey = static_cast<unsigned char>(bytes[18 + y * 320 + x]);
      differ += qRed(p) != grey || qGreen(p) != grey || qBlue(p) != grey;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(QImage(QString::fromStdString(alone)), picture);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

// Widths are points of the page: the same drawing at 400x300 and at four
// times the size carries the same share of ink (it used to fall eightfold).
TEST_F(RenderTool, TheInkShareDoesNotDependOnThePictureSize) {
  std::vector<double> ink;
  for (const char* size : {"400x300", "1600x1200"}) {
    const std::string tga = (dir / (std::string(size) + ".tga")).string();
    ToolRun run = render({(data / "torus.iv").string(), "--size", size, "--tga", tga});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string bytes = readFile(tga);
    ASSERT_GT(bytes.size(), 18u);
    double sum = 0;
    for (size_t i = 18; i < bytes.size(); ++i) sum += 255 - static_cast<unsigned char>(bytes[i]);
    ink.push_back(sum / (255.0 * (bytes.size() - 18)));
  }
  EXPECT_GT(ink[0], 0.01);
  EXPECT_NEAR(ink[1] / ink[0], 1.0, 0.1) << ink[0] << " " << ink[1];
}

TEST_F(RenderTool, PdfAndTgaSnapshotsShowTheSameViewOfTheSampleTorus) {
  expectSnapshotsOfOneView(data / "torus.iv", dir, 0.94);
}

TEST_F(RenderTool, PdfAndTgaSnapshotsShowTheSameViewOfARealModel) {
  const fs::path heart = "/usr/share/inventor/data/models/heart.iv";
  if (!fs::exists(heart)) GTEST_SKIP() << "inventor-data is not installed";
  expectSnapshotsOfOneView(heart, dir, 0.985);
}

TEST_F(RenderTool, WritesTheLineAndMeshExportsOfTheView) {
  const fs::path linesPdf = dir / "lines.pdf", linesTxt = dir / "lines.txt", wrl = dir / "mesh.wrl",
                 iv = dir / "mesh.iv", svg = dir / "ink.svg", plotter = dir / "pen.svg", penText = dir / "pen.txt";
  ToolRun run = render({(data / "torus.iv").string(), "--size", "320x240", "--lines-pdf", linesPdf.string(),
                        "--lines-txt", linesTxt.string(), "--vrml", wrl.string(), "--iv", iv.string(), "--svg",
                        svg.string(), "--plotter-svg", plotter.string(), "--plotter-txt", penText.string()});
  ASSERT_EQ(run.status, 0) << run.output;
  for (const fs::path& f : {linesPdf, linesTxt, wrl, iv, svg, plotter, penText})
    EXPECT_GT(fs::exists(f) ? fs::file_size(f) : 0, 100u) << f;
  if (haveProgram("qpdf")) {
    EXPECT_EQ(shell("qpdf --check " + quoted(linesPdf.string())), 0);
  }
  EXPECT_EQ(readFile(linesPdf).compare(0, 5, "%PDF-"), 0);
  EXPECT_NE(readFile(svg).find("<svg"), std::string::npos);
  EXPECT_NE(readFile(plotter).find("<svg"), std::string::npos);
  // Both plotter files come from one run: the pen travel is reported twice.
  size_t reports = 0;
  for (size_t at = run.output.find("pen-up travel"); at != std::string::npos;
       at = run.output.find("pen-up travel", at + 1))
    ++reports;
  EXPECT_EQ(reports, 2u) << run.output;
  // The mesh files read back through Coin as the same triangles.
  const int fromIv = trianglesInFile(iv), fromWrl = trianglesInFile(wrl);
  EXPECT_GT(fromIv, 1000);
  EXPECT_EQ(fromWrl, fromIv);
}

TEST_F(RenderTool, AnOutputThatCannotBeWrittenFailsAndLeavesNoFile) {
  const fs::path missing = dir / "no-such-folder";
  const char* const options[] = {"--pdf", "--tga", "--svg", "--lines-pdf", "--lines-txt",
                                 "--vrml", "--iv", "--plotter-svg"};
  std::vector<std::string> args = {(data / "torus.iv").string(), "--size", "160x120"};
  for (const char* option : options) {
    args.push_back(option);
    args.push_back((missing / (std::string(option + 2) + ".out")).string());
  }
  ToolRun run = renderArgs(args);
  EXPECT_EQ(run.status, 1) << run.output;
  for (const char* option : options) {
    const std::string target = (missing / (std::string(option + 2) + ".out")).string();
    EXPECT_NE(run.output.find("linfold-render: cannot write " + target + ": No such file or directory\n"),
              std::string::npos)
        << option << " in:\n" << run.output;
  }
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(RenderTool, HelpListsEveryOptionWithSettingExamples) {
  ToolRun run = render({"--help"});
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* option : {"--png", "--pdf", "--tga", "--svg", "--lines-pdf", "--lines-txt", "--vrml", "--iv",
                             "--plotter-svg", "--plotter-txt", "--size", "--field", "--view", "--up",
                             "--perspective", "--fill", "--png-view", "--set", "--out-dir", "--max-seconds",
                             "--formats", "--help"})
    EXPECT_NE(run.output.find(std::string("\n  ") + option), std::string::npos) << option;
  for (const char* example :
       {"--set SoStreamlinerHQ.seperationDist=0.02", "--set 'SoLineThickenerHQ.parserExpression=\"",
        "--set 'SoLineDensifierHQ.parserExpression=\"light\"'", "--set SoGenerateWingedEdge.visualizationMode=2",
        "--set SoModifyWingedEdge.subdivisionSteps=2", "--set SoLinePurifier[1].active=FALSE"})
    EXPECT_NE(run.output.find(example), std::string::npos) << example;
  // light is a darkness (1 - |n.l|): "1 - light" would put the dots in the shade.
  EXPECT_EQ(run.output.find("1 - light"), std::string::npos);
}

TEST_F(RenderTool, HelpExamplesAreSettingsTheSceneAccepts) {
  ToolRun run = render({(data / "torus.iv").string(), "--size", "64x48", "--set",
                        "SoStreamlinerHQ.seperationDist=0.02", "--set",
                        "SoLineThickenerHQ.parserExpression=\"( light - rim )*iso*(taper*.5 + .5 )\"", "--set",
                        "SoLineDensifierHQ.parserExpression=\"light\"", "--set",
                        "SoGenerateWingedEdge.visualizationMode=2", "--set", "SoModifyWingedEdge.subdivisionSteps=2",
                        "--set", "SoLinePurifier[1].active=FALSE"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("set SoLineDensifierHQ[0].parserExpression = \"light\"\n"), std::string::npos)
      << run.output;
}

// The summary row of a model: its columns after the name.
std::vector<std::string> summaryRow(const std::string& output, const std::string& model) {
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, model.size() + 1, model + " ") == 0) {
      std::istringstream words(line.substr(model.size()));
      std::vector<std::string> row;
      std::string w;
      while (words >> w) row.push_back(w);
      return row;
    }
  return {};
}

TEST_F(RenderTool, BatchRunGoesPastABrokenModelAndEndsWithASummary) {
  const fs::path models = dir / "models", out = dir / "out";
  fs::create_directories(models);
  fs::copy_file(data / "torus.iv", models / "torus.iv");
  fs::copy_file(data / "sphere.iv", models / "sphere.iv");
  std::ofstream(models / "broken.iv") << "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 1 2\n";
  std::ofstream(models / "notes.md") << "not a model\n";
  ToolRun run = render({"--out-dir", out.string(), "--formats", "png,pdf", "--size", "160x120", models.string()});
  EXPECT_EQ(run.status, 1) << run.output;
  for (const char* name : {"torus.png", "torus.pdf", "sphere.png", "sphere.pdf"})
    EXPECT_TRUE(fs::exists(out / name)) << name << "\n" << run.output;
  EXPECT_FALSE(fs::exists(out / "broken.png"));
  EXPECT_FALSE(fs::exists(out / "broken.pdf"));
  EXPECT_FALSE(fs::exists(out / "notes.png"));
  // Not a terminal: a line per model, in name order.
  const size_t b = run.output.find("linfold-render: [1/3] broken.iv\n"),
               s = run.output.find("linfold-render: [2/3] sphere.iv\n"),
               t = run.output.find("linfold-render: [3/3] torus.iv\n");
  EXPECT_TRUE(b < s && s < t && t != std::string::npos) << run.output;
  EXPECT_NE(run.output.find("linfold-render: cannot load " + (models / "broken.iv").string() + "\n"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(summaryRow(run.output, "model"),
            (std::vector<std::string>{"faces", "strokes", "time", "memory", "outputs"}))
      << run.output;
  const std::vector<std::string> torus = summaryRow(run.output, "torus.iv");
  ASSERT_EQ(torus.size(), 8u) << run.output;
  EXPECT_EQ(torus[0], "3072");  // the sample torus's triangles
  EXPECT_GT(std::atoi(torus[1].c_str()), 50);
  EXPECT_EQ(torus[3], "s");
  EXPECT_GT(std::atoi(torus[4].c_str()), 10);  // peak memory of its process
  EXPECT_EQ(torus[5], "MB");
  EXPECT_EQ(torus[6] + " " + torus[7], "png pdf");
  const std::vector<std::string> broken = summaryRow(run.output, "broken.iv");
  ASSERT_GE(broken.size(), 7u) << run.output;
  EXPECT_EQ(broken[0], "-");
  EXPECT_EQ(broken[1], "-");
  EXPECT_EQ(broken[6], "FAILED:");
  EXPECT_NE(run.output.find("linfold-render: 1 of 3 models failed\n"), std::string::npos) << run.output;
}

TEST_F(RenderTool, BatchRunNamesOutputsAfterTheModelsAndKeepsNamesakesApart) {
  const fs::path other = dir / "other", out = dir / "out";
  fs::create_directories(other);
  fs::copy_file(data / "torus.iv", other / "torus.iv");
  ToolRun run = render({"--png", "--tga", "--out-dir", out.string(), "--size", "96x64",
                        (data / "torus.iv").string(), (other / "torus.iv").string()});
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* name : {"torus.png", "torus.tga", "torus-2.png", "torus-2.tga"})
    EXPECT_TRUE(fs::exists(out / name)) << name;
  EXPECT_EQ(fs::file_size(out / "torus.tga"), 18u + 96 * 64);
  EXPECT_NE(run.output.find("linfold-render: all 2 models done\n"), std::string::npos) << run.output;

  // A generated name that is the model itself gets a number instead.
  const std::string before = readFile(other / "torus.iv");
  run = render({"--out-dir", other.string(), "--formats", "iv", (other / "torus.iv").string()});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(readFile(other / "torus.iv"), before);
  EXPECT_TRUE(fs::exists(other / "torus-2.iv"));
}

}  // namespace
