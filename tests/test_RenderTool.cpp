// linfold-render, run as the user runs it: the picture it writes, its console
// report, and every way it refuses bad input (non-zero status, no picture).
// Needs a display (xvfb-run).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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
ToolRun render(std::initializer_list<std::string> args) {
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
  EXPECT_NE(run.output.find("cannot write " + target), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
