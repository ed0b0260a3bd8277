// linfold-render run as the user runs it: its pictures, exports, console report, batch runs and refusals (non-zero
// status, no file). Needs a display (xvfb-run).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Greys = std::vector<unsigned char>;

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

std::string ok(const Args& args) {
  const ToolRun run = render(args);
  EXPECT_EQ(run.status, 0) << run.output;
  return run.output;
}

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Grey levels, row by row, of a picture file (a TGA: the bytes after its header).
Greys greys(const std::string& path) {
  if (const std::string bytes = readFile(path); path.substr(path.size() - 4) == ".tga")
    return Greys(bytes.begin() + std::min<size_t>(18, bytes.size()), bytes.end());
  const QImage image = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_Grayscale8);
  Greys out;
  for (int y = 0; y < image.height(); ++y)
    out.insert(out.end(), image.constScanLine(y), image.constScanLine(y) + image.width());
  return out;
}

// The box of the pixels that differ from the corner pixel (the background), and their number.
struct Drawn {
  QRect box;
  int pixels = 0;
};
Drawn drawn(const QImage& image) {
  Drawn d;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != image.pixel(0, 0)) d.box |= QRect(x, y, 1, 1), ++d.pixels;
  return d;
}
int drawn(const std::string& path) { return drawn(QImage(QString::fromStdString(path))).pixels; }

class RenderTool : public ::testing::Test {
 protected:
  // Space-separated arguments; T stands for "{torus} --png {png}", and {...} for those paths.
  Args args(const std::string& line) const {
    std::istringstream words(line);
    Args out;
    for (std::string w; words >> w;) {
      if (w == "T") w = "{torus} --png {png}";
      for (const auto& [key, value] :
           {std::pair("{png}", png), {"{dir}", dir.string()}, {"{torus}", torus}, {"{blob}", blob}})
        for (size_t at; (at = w.find(key)) != std::string::npos;) w.replace(at, std::strlen(key), value);
      std::istringstream more(w);
      for (std::string m; more >> m;) out.push_back(m);
    }
    return out;
  }

  const fs::path data = sourceDir() / "data";
  const std::string torus = (data / "torus.iv").string(), blob = (data / "blob.iv").string();
  const TempDir temp;
  const fs::path dir = temp.path;
  const std::string png = (dir / "picture.png").string();
};

const Args kExamples = {"SoStreamlinerHQ.seperationDist=0.02",
                        "SoLineThickenerHQ.parserExpression=\"( light - rim )*iso*(taper*.5 + .5 )\"",
                        "SoLineDensifierHQ.parserExpression=\"light\"",
                        "SoGenerateWingedEdge.visualizationMode=2",
                        "SoModifyWingedEdge.subdivisionSteps=2",
                        "SoLinePurifier[1].active=FALSE"};

// The help lists every option and the example settings, which the scene accepts ("Faces", mode 2, among them): the
// torus drawn in the window's view, in perspective, at the requested size, each stage's time reported. Every line and
// mesh export of the run lands in its file (what they hold is the writers' claim: test_MeshWriters, test_LineOutput,
// test_SvgSnapshotGL); the plotter files report the travel twice.
TEST_F(RenderTool, HelpListsEveryOptionAndSettingsTheSceneAcceptsWhenDrawingTheTorus) {
  const std::string help = ok({"--help"});
  for (const char* option :
       {"--png",     "--pdf",         "--tga",         "--svg",         "--lines-pdf", "--lines-txt",
        "--vrml",    "--iv",          "--plotter-svg", "--plotter-txt", "--size",      "--field",
        "--view",    "--up",          "--perspective", "--fill",        "--png-view",  "--set",
        "--out-dir", "--max-seconds", "--formats",     "--help"})
    EXPECT_TRUE(contains(help, std::string("\n  ") + option)) << option;
  EXPECT_FALSE(contains(help, "1 - light"));  // light is a darkness (1 - |n.l|): it would put the dots in the shade
  Args run = args(
      "T --size 320x240 --png-view --view 30,20 --perspective --lines-pdf {dir}/l.pdf --lines-txt "
      "{dir}/l.txt --vrml {dir}/m.wrl --iv {dir}/m.iv --svg {dir}/i.svg --plotter-svg {dir}/p.svg "
      "--plotter-txt {dir}/p.txt");
  for (const std::string& e : kExamples) {
    EXPECT_TRUE(contains(help, "--set " + (contains(e, "\"") ? "'" + e + "'" : e))) << e;
    run.insert(run.end(), {"--set", e});
  }
  run.insert(run.end(), {"--set", "DrawStyle[1].lineWidth=3"});  // a class named without its prefix
  const std::string output = ok(run);
  EXPECT_TRUE(contains(output, "set SoLineDensifierHQ[0].parserExpression = \"light\"\n")) << output;
  EXPECT_TRUE(contains(output, "set DrawStyle[1].lineWidth = 3\n")) << output;
  const QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(320, 240));
  EXPECT_GT(drawn(image).pixels, 320 * 240 / 20);
  int green = 0;  // the flow-field marks tint the grey faces of the window's view
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) green += qGreen(image.pixel(x, y)) > qRed(image.pixel(x, y)) + 4;
  EXPECT_GT(green, 1000);
  for (const char* stage : {"start-up", "load", "render", "write"})
    EXPECT_TRUE(contains(output, std::string("linfold-render: ") + stage + " took ")) << stage << output;
  for (const char* stage : {"winged-edge build", "modifier chain", "half-edge build", "curvature", "flow field",
                            "flow-field display", "streamlines", "silhouette structures", "silhouettes",
                            "hidden-line removal", "ink", "everything else"})  // the first draw's time, stage by stage
    EXPECT_TRUE(contains(output, std::string("linfold-render:   ") + stage + " took ")) << stage << output;
  for (const std::string e : {"l.pdf:%PDF-", "l.txt:", "m.wrl:#VRML V2.0 utf8", "m.iv:#Inventor V2.1 ascii",
                              "i.svg:<?xml", "p.svg:<?xml", "p.txt:#"}) {  // file:head
    const std::string content = readFile(dir / e.substr(0, e.find(':')));
    EXPECT_TRUE(content.size() > 100 && content.rfind(e.substr(e.find(':') + 1), 0) == 0) << e;
  }
  EXPECT_EQ(countOf(output, "pen-up travel"), 2) << output;
}

// Left as initialised, the blob's field swaps between the principal directions along bands.
TEST_F(RenderTool, CleansTheFieldByDefaultAndReportsItsTurning) {
  const std::regex line("\nfield: ([0-9.]+)% of edges turn > 30 deg \\(3587 edges away from umbilics\\)\n");
  double share[2];
  for (int cleaned : {0, 1}) {
    const std::string output = ok(args(cleaned ? "{blob} --size 64x48" : "{blob} --size 64x48 --field none"));
    std::smatch m;
    EXPECT_TRUE(std::regex_search(output, m, line)) << output;
    EXPECT_FALSE(contains(output, "flow-field display")) << "marks drawn where no output shows them";
    share[cleaned] = m.empty() ? -1 : std::stod(m[1]);
  }
  EXPECT_TRUE(share[0] > 2.0 && share[1] < share[0] / 2)
      << share[0] << "% turn as initialised, " << share[1] << "% cleaned";
}

// Which end of the drawing across x (or y) is the narrow one: its extent along the other axis a tenth of the way in
// from each end, compared. 1: right (top), -1: left (bottom), 0: alike.
int narrowEnd(const QImage& image, const Drawn& d, bool alongX) {
  auto span = [&](int at) {
    int lo = INT_MAX, hi = -1;
    for (int k = 0; k < (alongX ? image.height() : image.width()); ++k)
      if ((alongX ? image.pixel(at, k) : image.pixel(k, at)) != image.pixel(0, 0)) lo = std::min(lo, k), hi = k;
    return hi < 0 ? 0 : hi - lo;
  };
  const int inset = (alongX ? d.box.width() : d.box.height()) / 10;
  const int low = alongX ? span(d.box.left() + inset) : span(d.box.bottom() - inset);
  const int high = alongX ? span(d.box.right() - inset) : span(d.box.top() + inset);
  return low > 1.3 * high ? 1 : high > 1.3 * low ? -1 : 0;
}

// The camera options seen on a ball of radius 1 with balls of radius 0.5 on its +x and +z sides (x and z from -1 to 2,
// y from -1 to 1), its outlines drawn: the model fills --fill (0.9) of the limiting side, the small balls say from
// where it is seen. Wide and tall pictures frame it alike; a perspective camera keeps it inside the picture and shows
// it otherwise.
TEST_F(RenderTool, ViewOptionsTurnAndFrameTheModel) {
  std::ofstream(dir / "marked-ball.iv")
      << "#Inventor V2.1 ascii\nSeparator { Sphere { radius 1 }\n"
         " Separator { Translation { translation 1.5 0 0 } Sphere { radius 0.5 } }\n"
         " Separator { Translation { translation 0 0 1.5 } Sphere { radius 0.5 } } }\n";
  const struct {
    const char* options;
    double width = 0, height = 0;  // in model units, 3 filling 0.9 of 300 pixels; 0: only framed
    int narrowX = 0, narrowY = 0;  // the small balls' ends: -1, 0 or 1 (x right, y up)
  } cases[] = {
      {"", 3, 2, 1, 0},               // from the front: +x ball right, +z ball facing us
      {"--view 90,0", 3, 2, -1, 0},   // from the right: the front (+z) on the left
      {"--view -90,0", 3, 2, 1, 0},   // from the left: the front on the right
      {"--view 0,90", 3, 3, 1, -1},   // from above: the front at the bottom
      {"--view 0,0,90", 2, 3, 0, 1},  // turned counter-clockwise: +x points up
      {"--up z", 3, 3, 1, 1},         // z up, seen from -y
      {"--up x", 2, 3, 0, 1},         // x up
      {"--fill 0.5", 3 * 0.5 / 0.9, 2 * 0.5 / 0.9, 1, 0},
      {"--size 400x100"},
      {"--size 100x400"},
      {"--view 30,20"},
      {"--view 30,20 --perspective"},
  };
  std::vector<QImage> oblique;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    ok(args("{dir}/marked-ball.iv --size 300x300 --png {png} --set SoStreamlinerHQ.doComputation=FALSE " +
            std::string(c.options)));
    const QImage image(QString::fromStdString(png));
    const Drawn d = drawn(image);
    if (c.width > 0) {
      EXPECT_NEAR(d.box.width(), c.width * 0.9 * 300 / 3, 3);
      EXPECT_NEAR(d.box.height(), c.height * 0.9 * 300 / 3, 3);
      EXPECT_EQ(std::pair(narrowEnd(image, d, true), narrowEnd(image, d, false)), std::pair(c.narrowX, c.narrowY));
      continue;
    }
    EXPECT_TRUE(image.rect().adjusted(1, 1, -1, -1).contains(d.box));
    const double fill = std::max(double(d.box.width()) / image.width(), double(d.box.height()) / image.height());
    EXPECT_TRUE(fill > 0.7 && fill <= 0.93) << fill;
    if (contains(c.options, "--view")) oblique.push_back(image);
  }
  ASSERT_EQ(oblique.size(), 2u);
  EXPECT_NE(oblique[0], oblique[1]);
}

// Bad arguments (status 2, usage) and what the tool cannot do (status 1): a message, no picture. Models that read but
// yield no faces: an error, no blank picture nor any other output.
TEST_F(RenderTool, RefusesWhatItCannotDoWithoutWritingAPicture) {
  std::ofstream(dir / "lights.iv") << "#Inventor V2.1 ascii\nSeparator { DirectionalLight { }"
                                      " PerspectiveCamera { } }\n";
  std::ofstream(dir / "lines.iv") << "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [0 0 0, 1 0 0, 1 1 0] }"
                                     " IndexedLineSet { coordIndex [0, 1, 2, -1] } }\n";
  // Triangles in its index lists, all without area: its first draw, which also writes the files, must write none of
  // them nor touch one it was to replace.
  std::ofstream(dir / "flat.iv") << "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [0 0 0, 1 0 0, 1 1 0] }"
                                    " IndexedFaceSet { coordIndex [0, 0, 1, -1, 1, 2, 2, -1] } }\n";
  std::ofstream(dir / "old.tga") << "old";
  const struct {
    int status;
    const char* args;
    std::string message;
  } cases[] = {
      {2, "T --size 0x10", "bad size \"0x10\""},
      {2, "T --size 20000x10", "bad size \"20000x10\""},
      {2, "T --size 12by10", "bad size \"12by10\""},
      {2, "T --set SoDrawStyle.style", "bad setting \"SoDrawStyle.style\""},
      {2, "T --set SoDrawStyle[x].style=LINES", "bad setting"},
      {2, "T --set SoDrawStyle=LINES", "bad setting"},
      {2, "T --frobnicate", "unknown option --frobnicate"},
      {2, "T {torus}", "more than one model"},
      {2, "{torus} --png", "--png needs a value"},
      {2, "{torus} --tga {png} --pdf", "--pdf needs a value"},
      {2, "{torus} --formats png", "--formats needs --out-dir"},
      {2, "--out-dir", "--out-dir needs a value"},
      {2, "--out-dir {dir} --formats png,jpeg {torus}", "unknown format \"jpeg\" in --formats"},
      {2, "{torus} --max-seconds 0", "bad time \"0\" for --max-seconds"},
      {2, "T --field smooth", "unknown --field \"smooth\" (known: none, auto)"},
      {2, "T --field", "--field needs a value"},
      {2, "--png {png}", "usage: linfold-render MODEL"},
      {2, "T --view 30", "bad view \"30\": expected AZIMUTH,ELEVATION[,ROLL] in degrees"},
      {2, "T --view 1,2,3,4", "bad view \"1,2,3,4\""},
      {2, "T --view left,up", "bad view \"left,up\""},
      {2, "T --up w", "bad up axis \"w\": expected x, y or z"},
      {2, "T --fill 0", "bad fill \"0\": expected a number above 0 and at most 1"},
      {2, "T --fill 1.5", "bad fill \"1.5\""},
      {2, "T --fill nan", "bad fill \"nan\""},
      {1, "{torus} --size 64x64 --png {dir}/none/x.png",
       "linfold-render: cannot write " + (dir / "none/x.png").string() + ": No such file or directory\n"},
      {1, "{dir}/missing.iv --png {png}", "cannot load"},
      {1, "{dir}/lights.iv --png {png} --tga {dir}/x.tga", (dir / "lights.iv").string() + " has no faces to draw"},
      {1, "{dir}/lines.iv --png {png} --tga {dir}/x.tga", (dir / "lines.iv").string() + " has no faces to draw"},
      {1, "{dir}/flat.iv --png {png} --tga {dir}/old.tga --pdf {dir}/x.pdf", "flat.iv has no faces to draw"},
      {1, "T --set SoNoSuchNode.x=1", "unknown class \"SoNoSuchNode\""},
      {1, "T --set SoDrawStyle[7].style=LINES", "no SoDrawStyle[7] in the scene"},
      {1, "T --set SoDrawStyle.noSuchField=1", "SoDrawStyle has no field \"noSuchField\""},
      {1, "T --set SoDrawStyle.style=WAVY", "cannot set SoDrawStyle.style to \"WAVY\""},
      {1, "T --set SoSearchAction.x=1", "\"SoSearchAction\" is not a node class"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = render(args(c.args));
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_TRUE(contains(run.output, c.message)) << run.output;
    EXPECT_FALSE(fs::exists(png) || fs::exists(dir / "x.tga") || fs::exists(dir / "none"));
  }
  EXPECT_EQ(readFile(dir / "old.tga"), "old");
  EXPECT_FALSE(fs::exists(dir / "x.pdf"));
}

// Cross-hatching is on by default: the second family reaches the screen, the SVG and the pen paths, darkens the darkest
// parts of the TGA and covers few new pixels (everywhere, it would about double).
TEST_F(RenderTool, CrossHatchingReachesEveryOutputAndDarkensOnlyTheDarkParts) {
  double runs[2][5] = {};  // screen pixels, SVG paths, pen paths, darkest 20 x 20 patch, covered pixels
  for (int cross = 0; cross < 2; ++cross) {
    ok(args((data / "sphere.iv").string() + " --size 400x300 --png {png} --tga {dir}/ink.tga --svg {dir}/ink.svg" +
            " --plotter-svg {dir}/pen.svg" + (cross ? "" : " --set SoStreamlinerHQ.crossHatching=FALSE")));
    double* o = runs[cross];
    o[0] = drawn(png);
    o[1] = countOf(readFile(dir / "ink.svg"), "<path");
    o[2] = countOf(readFile(dir / "pen.svg"), "<polyline");
    const Greys grey = greys((dir / "ink.tga").string());
    ASSERT_EQ(grey.size(), 400u * 300);
    const auto ink = [&](int x, int y) { return 1.0 - grey[y * 400 + x] / 255.0; };
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x) o[4] += ink(x, y) > 2 / 255.0;
    for (int y = 0; y + 20 <= 300; y += 4)
      for (int x = 0; x + 20 <= 400; x += 4) {
        double sum = 0;
        for (int j = 0; j < 400; ++j) sum += ink(x + j % 20, y + j / 20);
        o[3] = std::max(o[3], sum / 400);
      }
  }
  for (int k = 0; k < 3; ++k) EXPECT_GT(runs[1][k], runs[0][k]) << k;
  EXPECT_GT(runs[1][3], runs[0][3] + 0.2);
  EXPECT_LT(runs[1][4], runs[0][4] * 1.3);
}

// Share of ink (1 black, 0 white).
double inkShare(const Greys& grey) {
  double sum = 0;
  for (unsigned char v : grey) sum += 255 - v;
  return grey.empty() ? 0 : sum / (255.0 * grey.size());
}

// The default picture (800x600) is the TGA snapshot's raster, with or without a TGA beside it (that the PDF puts the
// ink where the TGA does is test_HqSnapshotGL's). Widths are points of the page: at twice the size the share of ink is
// the same. Hatching beyond the silhouettes, --set stops it.
TEST_F(RenderTool, ThePictureAndTheSnapshotsShowOneDrawingAtAnySize) {
  const int W = 800, H = 600;
  const std::string tga = (dir / "s.tga").string(), oneFamily = " --set SoStreamlinerHQ.crossHatching=FALSE";
  EXPECT_TRUE(contains(ok(args("{torus} --png {png} --tga {dir}/s.tga" + oneFamily)), "SoStreamlinerHQ: "));
  EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(W, H));
  EXPECT_TRUE(QImage(QString::fromStdString(png)).allGray());
  const Greys image = greys(tga);
  EXPECT_EQ(greys(png), image);
  const unsigned char header[18] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, W & 255, W >> 8, H & 255, H >> 8, 8, 0x20};
  EXPECT_EQ(readFile(tga).substr(0, 18), std::string(reinterpret_cast<const char*>(header), 18));
  ASSERT_EQ(image.size(), size_t(W) * H);
  EXPECT_GT(std::count_if(image.begin(), image.end(), [](unsigned char v) { return v < 128; }), 1000);
  ok(args("{torus} --png {dir}/alone.png" + oneFamily));
  EXPECT_EQ(greys((dir / "alone.png").string()), image);
  ok(args("{torus} --size 1600x1200 --tga {dir}/large.tga" + oneFamily));
  EXPECT_GT(inkShare(image), 0.01);
  EXPECT_NEAR(inkShare(greys((dir / "large.tga").string())) / inkShare(image), 1.0, 0.1) << inkShare(image);
  const std::string plain = (dir / "plain.png").string();
  EXPECT_FALSE(
      contains(ok(args("{torus} --png " + plain + " --set SoStreamlinerHQ.doComputation=FALSE")), "SoStreamlinerHQ: "));
  EXPECT_GT(drawn(plain), 200);  // the outline of the torus
  EXPECT_GT(drawn(png), 2 * drawn(plain));
}

// The summary row of a model: its columns after the name.
Args summaryRow(const std::string& output, const std::string& model) {
  std::istringstream lines(output);
  Args row;
  for (std::string line; std::getline(lines, line) && row.empty();)
    for (std::istringstream words(line.compare(0, model.size() + 1, model + " ") ? "" : line.substr(model.size()));
         words.good();)
      if (std::string w; words >> w) row.push_back(w);
  return row;
}

// A folder's models in name order (a line each, not being a terminal), then a namesake from elsewhere: outputs named
// after them, a broken model reported, and a summary.
TEST_F(RenderTool, BatchRunGoesPastABrokenModelKeepsNamesakesApartAndEndsWithASummary) {
  fs::create_directories(dir / "models"), fs::create_directories(dir / "other");
  fs::copy_file(torus, dir / "models/torus.iv"), fs::copy_file(torus, dir / "other/torus.iv");
  fs::copy_file(data / "sphere.iv", dir / "models/sphere.iv");
  std::ofstream(dir / "models/broken.iv") << "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 1 2\n";
  std::ofstream(dir / "models/notes.md") << "not a model\n";
  const ToolRun run = render(args("--out-dir {dir}/out --png --pdf --size 160x120 {dir}/models {dir}/other/torus.iv"));
  EXPECT_EQ(run.status, 1) << run.output;
  for (const char* name : {"torus.png", "torus.pdf", "sphere.png", "sphere.pdf", "torus-2.png", "torus-2.pdf"})
    EXPECT_TRUE(fs::exists(dir / "out" / name)) << name;
  for (const char* name : {"broken.png", "broken.pdf", "notes.png"}) EXPECT_FALSE(fs::exists(dir / "out" / name));
  size_t at = 0;
  for (const char* line : {"[1/4] broken.iv\n", "[2/4] sphere.iv\n", "[3/4] torus.iv\n", "[4/4] torus.iv\n"})
    EXPECT_NE(at = run.output.find(std::string("linfold-render: ") + line, at), std::string::npos) << line;
  EXPECT_TRUE(contains(run.output, "linfold-render: cannot load " + (dir / "models/broken.iv").string() + "\n"));
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
