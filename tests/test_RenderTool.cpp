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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    const char* source = std::getenv("LINFOLD_SOURCE_DIR");
    data = (source ? fs::path(source) : fs::current_path()) / "data";
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
  ToolRun run = render({(data / "torus.iv").string(), "--size", "320x240", "--png", png, "--set",
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
  ToolRun run = render({(data / "torus.iv").string(), "--size", "200x150", "--png", png, "--set",
                    "SoDrawStyle[0].style=FILLED", "--set", "DrawStyle[1].lineWidth=3"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("set SoDrawStyle[0].style = FILLED\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("set DrawStyle[1].lineWidth = 3\n"), std::string::npos) << run.output;
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(drawnPixels(image), 200 * 150 / 20);
}

TEST_F(RenderTool, FramesTheWholeModelForTheRequestedShape) {
  // viewAll for the picture's own viewport: the model touches no border, for
  // wide and for tall pictures, and a wide one it fills most of the height.
  // (For a tall viewport Coin's orthographic viewAll widens the view twice,
  // once in viewAll and once when the camera maps to the viewport, so the
  // model comes out small, as it does in the application's viewer.)
  for (QSize size : {QSize(400, 100), QSize(100, 400)}) {
    const std::string sizeText = std::to_string(size.width()) + "x" + std::to_string(size.height());
    ToolRun run = render({(data / "blob.iv").string(), "--size", sizeText, "--png", png, "--set",
                          "SoGenerateWingedEdge.visualizationMode=2"});
    ASSERT_EQ(run.status, 0) << run.output;
    QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), size);
    const QRgb background = image.pixel(0, 0);
    int left = size.width(), right = -1, top = size.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) != background) {
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
    ASSERT_GE(right, 0) << sizeText << ": nothing drawn";
    EXPECT_GT(left, 0) << sizeText;
    EXPECT_GT(top, 0) << sizeText;
    EXPECT_LT(right, size.width() - 1) << sizeText;
    EXPECT_LT(bottom, size.height() - 1) << sizeText;
    if (size.width() > size.height()) {
      EXPECT_GT(bottom - top, size.height() / 2) << sizeText;
    }
    std::filesystem::remove(png);
  }
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
      {{"--png", png}, "usage: linfold-render MODEL"},
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
    std::vector<std::string> args = {blob, "--size", "240x180", "--png", file};
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
    std::vector<std::string> args = {blob, "--size", "320x240", "--png", file, "--set",
                                     "SoFlowFieldHQ.sendLines=FALSE"};
    for (const std::string& setting : settings[i]) args.insert(args.end(), {"--set", setting});
    ToolRun run = renderArgs(args);
    ASSERT_EQ(run.status, 0) << run.output;
    pictures.emplace_back(QString::fromStdString(file));
    ASSERT_FALSE(pictures.back().isNull());
    EXPECT_GT(drawnPixels(pictures.back()), 320 * 240 / 50) << i;
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
  ToolRun run = render({model.string(), "--size", "800x600", "--pdf", pdf.string(), "--tga", tga.string()});
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

TEST_F(RenderTool, PdfAndTgaSnapshotsShowTheSameViewOfTheSampleTorus) {
  expectSnapshotsOfOneView(data / "torus.iv", dir, 0.96);
}

TEST_F(RenderTool, PdfAndTgaSnapshotsShowTheSameViewOfARealModel) {
  const fs::path heart = "/usr/share/inventor/data/models/heart.iv";
  if (!fs::exists(heart)) GTEST_SKIP() << "inventor-data is not installed";
  expectSnapshotsOfOneView(heart, dir, 0.99);
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
                             "--plotter-svg", "--plotter-txt", "--size", "--set", "--out-dir", "--max-seconds",
                             "--formats", "--help"})
    EXPECT_NE(run.output.find(std::string("\n  ") + option), std::string::npos) << option;
  for (const char* example :
       {"--set SoStreamlinerHQ.seperationDist=0.02", "--set 'SoLineThickenerHQ.parserExpression=\"",
        "--set 'SoLineDensifierHQ.parserExpression=\"", "--set SoGenerateWingedEdge.visualizationMode=2",
        "--set SoModifyWingedEdge.subdivisionSteps=2", "--set SoLinePurifier[1].active=FALSE"})
    EXPECT_NE(run.output.find(example), std::string::npos) << example;
}

TEST_F(RenderTool, HelpExamplesAreSettingsTheSceneAccepts) {
  ToolRun run = render({(data / "torus.iv").string(), "--size", "64x48", "--set",
                        "SoStreamlinerHQ.seperationDist=0.02", "--set",
                        "SoLineThickenerHQ.parserExpression=\"( light - rim )*iso*(taper*.5 + .5 )\"", "--set",
                        "SoLineDensifierHQ.parserExpression=\"1 - light\"", "--set",
                        "SoGenerateWingedEdge.visualizationMode=2", "--set", "SoModifyWingedEdge.subdivisionSteps=2",
                        "--set", "SoLinePurifier[1].active=FALSE"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("set SoLineDensifierHQ[0].parserExpression = \"1 - light\"\n"), std::string::npos)
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
