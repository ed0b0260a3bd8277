// Extreme settings and outputs that must not be written, given to
// linfold-render as a hostile user would: every case ends within its time
// limit with the status it names and a message saying what happened, never a
// signal or a hang, and no file is lost or left half written.
//
// One row per case, in the form of the hostile-input corpus: the model, extra
// arguments, the status and a text of the output. The model is a sample under
// data/ ("data:NAME") or a file this test makes in its temporary folder
// ("made:NAME"). "{tmp}" in an argument stands for that folder, which is also
// the tool's working directory. A row may make targets before the run and
// check the folder after it. Needs a display (xvfb-run).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

enum Expect {
  DONE = 0,          // status 0
  REFUSED = 1,       // status 1
  INTERRUPTED = 130  // status 130
};

struct Case {
  const char* name;
  std::string model;
  std::vector<std::string> args;
  Expect expect;
  std::string text;
  int seconds = 30;  // time limit of the run
  std::function<void(const fs::path& tmp)> setup = nullptr;
  std::function<void(const fs::path& tmp)> check = nullptr;
  double interruptAfter = 0;  // Ctrl+C after this many seconds
};

struct ToolRun {
  int status = -1;
  int signal = 0;
  bool timedOut = false;
  double seconds = 0;
  std::string output;
};

ToolRun runTool(const std::vector<std::string>& args, const fs::path& dir, int limit, double interruptAfter) {
  ToolRun run;
  const fs::path log = dir / "tool-output.txt";
  const auto start = std::chrono::steady_clock::now();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    FILE* out = std::freopen(log.c_str(), "w", stdout);
    if (!out || dup2(fileno(stdout), 2) < 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(LINFOLD_RENDER));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(LINFOLD_RENDER, argv.data());
    _exit(127);
  }
  int status = 0;
  bool interrupted = false;
  for (;;) {
    if (waitpid(child, &status, WNOHANG) == child) break;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (interruptAfter > 0 && !interrupted && elapsed > interruptAfter) {
      kill(child, SIGINT);
      interrupted = true;
    }
    if (elapsed > limit) {
      run.timedOut = true;
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!run.timedOut && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  if (!run.timedOut && WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  run.output = readFile(log.string());
  fs::remove(log);
  return run;
}

std::string substitute(std::string s, const std::string& tmp) {
  for (std::string::size_type at; (at = s.find("{tmp}")) != std::string::npos;) s.replace(at, 5, tmp);
  return s;
}

fs::path dataDir() {
  const char* source = std::getenv("LINFOLD_SOURCE_DIR");
  return (source ? fs::path(source) : fs::current_path()) / "data";
}

void put(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// Temporary files of the writer (".NAME.XXXXXX") anywhere below the folder.
std::vector<std::string> leftovers(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 8 && name[0] == '.' && name[name.size() - 7] == '.') found.push_back(name);
  }
  return found;
}

const char* const kTetrahedronObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 2 3 4\nf 1 4 3\n";

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Settings beyond what the work can bear: a sane value and a message.
      {"step size 0", "data:torus.iv", {"--set", "SoStreamlinerHQ.stepSize=0", "--png", "{tmp}/a.png"}, DONE,
       "SoStreamlinerHQ: a step of 1e-06 model sizes would take more than 250000 steps on this model; using "},
      {"separation 1e38", "data:torus.iv", {"--set", "SoStreamlinerHQ.seperationDist=1e38", "--png", "{tmp}/a.png"},
       DONE, "SoStreamlinerHQ: seperationDist 1e+38 is more than 2 model sizes; using 2\n"},
      {"probe 1e38", "data:sphere.iv", {"--set", "SoStreamlinerHQ.probeDist=1e38", "--png", "{tmp}/a.png"}, DONE,
       "SoStreamlinerHQ: probeDist 1e+38 is more than 20 separations; using 0.2\n"},
      {"minimum length 1e38", "data:torus.iv", {"--set", "SoStreamlinerHQ.minLength=1e38"}, DONE,
       "SoStreamlinerHQ: minLength 1e+38 is longer than any stroke on this model can be (759.237); no strokes\n"},
      {"sharp edge 1e38", "data:sphere.iv", {"--set", "SoStreamlinerHQ.sharpEdge=1e38"}, DONE,
       "SoStreamlinerHQ: sharpEdge 1e+38 is more than 180 degrees; using 180\n"},
      {"smoothing speed 1e38", "data:sphere.iv",
       {"--set", "SoModifyWingedEdge.smoothingSteps=5", "--set", "SoModifyWingedEdge.smoothingSpeed=1e38"}, DONE,
       "SoModifyWingedEdge: smoothingSpeed 1e+38 is outside 0..1; using 1\n"},
      // Failures that used to end with status 0.
      {"formula that does not parse", "data:sphere.iv",
       {"--set", "SoLineThickenerHQ.parserExpression=\"light +\"", "--png", "{tmp}/a.png"}, REFUSED,
       "linfold-render: SoLineThickenerHQ.parserExpression \"light +\" is not a formula: missing operands\n"},
      {"subdivision refused for memory", "data:sphere.iv", {"--set", "SoModifyWingedEdge.subdivisionSteps=30"},
       REFUSED, "linfold-render: the mesh was not modified as asked: 30 subdivision steps would make "},
      // Outputs that would lose a file.
      {"--png naming its own model", "made:own.iv", {"--png", "{tmp}/own.iv"}, REFUSED,
       "linfold-render: refused to write {tmp}/own.iv (the png output): it is an input of this run\n", 30,
       nullptr, [](const fs::path& tmp) { EXPECT_EQ(readFile(tmp / "own.iv"), readFile(dataDir() / "torus.iv")); }},
      {"two outputs naming one file", "data:sphere.iv", {"--png", "{tmp}/x.out", "--svg", "./x.out"}, REFUSED,
       "linfold-render: the png and svg outputs both name ./x.out\n"},
      {"--png into a pipe", "data:sphere.iv", {"--png", "{tmp}/pipe.png"}, REFUSED, "it is a pipe\n", 30,
       [](const fs::path& tmp) { ASSERT_EQ(mkfifo((tmp / "pipe.png").c_str(), 0600), 0); },
       [](const fs::path& tmp) { EXPECT_TRUE(fs::is_fifo(tmp / "pipe.png")); }},
      {"--pdf through a symbolic link", "data:sphere.iv", {"--pdf", "{tmp}/link.pdf"}, REFUSED,
       "it is a symbolic link\n", 30,
       [](const fs::path& tmp) {
         put(tmp / "kept.pdf", "kept");
         fs::create_symlink("kept.pdf", tmp / "link.pdf");
       },
       [](const fs::path& tmp) {
         EXPECT_TRUE(fs::is_symlink(tmp / "link.pdf"));
         EXPECT_EQ(readFile(tmp / "kept.pdf"), "kept");
       }},
      {"--tga over a read-only file", "data:sphere.iv", {"--tga", "{tmp}/ro.tga"}, REFUSED, "it is read-only\n", 30,
       [](const fs::path& tmp) {
         put(tmp / "ro.tga", "mine");
         chmod((tmp / "ro.tga").c_str(), 0444);
       },
       [](const fs::path& tmp) { EXPECT_EQ(readFile(tmp / "ro.tga"), "mine"); }},
      {"--vrml to a device", "data:sphere.iv", {"--vrml", "/dev/null"}, REFUSED, "it is a device\n"},
      {"batch into the models' folder", "made:models", {"--out-dir", "{tmp}/models", "--formats", "png,vrml"}, DONE,
       "linfold-render: all 2 models done\n", 60, nullptr,
       [](const fs::path& tmp) {
         // m.obj's VRML export would have been m.wrl, the next model.
         EXPECT_EQ(readFile(tmp / "models" / "m.wrl"), readFile(tmp / "m.wrl.orig"));
         for (const char* name : {"m-2.png", "m-2.wrl", "m-3.png", "m-3.wrl"})
           EXPECT_TRUE(fs::exists(tmp / "models" / name)) << name;
       }},
      // Long work cut short.
      {"--max-seconds in a batch", "made:models", {"--out-dir", "{tmp}/limited", "--max-seconds", "0.2"}, REFUSED,
       "linfold-render: 2 of 2 models failed\n", 60, nullptr,
       [](const fs::path& tmp) {
         EXPECT_TRUE(fs::is_empty(tmp / "limited"));
       }},
      {"Ctrl+C while tracing", "data:torus.iv", {"--set", "SoStreamlinerHQ.stepSize=0", "--tga", "{tmp}/c.tga"},
       INTERRUPTED, "linfold-render: interrupted\n", 30, nullptr,
       [](const fs::path& tmp) { EXPECT_FALSE(fs::exists(tmp / "c.tga")); }, 1.5},
  };
  return table;
}

// Models this test makes in its folder.
void makeModel(const std::string& name, const fs::path& tmp) {
  if (name == "own.iv") {
    fs::copy_file(dataDir() / "torus.iv", tmp / name, fs::copy_options::overwrite_existing);
  } else if (name == "models") {
    fs::create_directories(tmp / "models");
    put(tmp / "models" / "m.obj", kTetrahedronObj);
    fs::copy_file(dataDir() / "sphere.iv", tmp / "models" / "m.wrl", fs::copy_options::overwrite_existing);
    fs::copy_file(tmp / "models" / "m.wrl", tmp / "m.wrl.orig", fs::copy_options::overwrite_existing);
  } else {
    FAIL() << "no maker for " << name;
  }
}

TEST(HostileOutputs, EveryCaseEndsInTimeWithItsStatusAndAMessage) {
  ASSERT_TRUE(fs::is_directory(dataDir())) << dataDir();
  std::printf("%-40s %6s %8s\n", "case", "status", "seconds");
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    std::string model = c.model;
    if (model.compare(0, 5, "data:") == 0) {
      model = (dataDir() / model.substr(5)).string();
    } else if (model.compare(0, 5, "made:") == 0) {
      makeModel(model.substr(5), tmp.path);
      model = (tmp.path / model.substr(5)).string();
    }
    if (c.setup) c.setup(tmp.path);
    std::vector<std::string> args = {model};
    for (const std::string& a : c.args) args.push_back(substitute(a, tmp.path.string()));

    const ToolRun run = runTool(args, tmp.path, c.seconds, c.interruptAfter);
    const std::string status = run.timedOut ? "time"
                               : run.signal ? "sig" + std::to_string(run.signal)
                                            : std::to_string(run.status);
    std::printf("%-40s %6s %8.2f\n", c.name, status.c_str(), run.seconds);
    EXPECT_FALSE(run.timedOut) << "still running after " << c.seconds << " s:\n" << run.output;
    EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal << ":\n" << run.output;
    EXPECT_EQ(run.status, int(c.expect)) << run.output;
    const std::string text = substitute(c.text, tmp.path.string());
    EXPECT_NE(run.output.find(text), std::string::npos) << "expected \"" << text << "\" in:\n" << run.output;
    EXPECT_EQ(leftovers(tmp.path), std::vector<std::string>()) << "a temporary file was left";
    if (c.check) c.check(tmp.path);
  }
}

}  // namespace
