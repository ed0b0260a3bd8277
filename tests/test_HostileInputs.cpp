// linfold-render given malformed and extreme inputs, settings and outputs, one row each: every run
// ends in time by exit with its status (1 or 130 with a message saying what is wrong), no temporary
// file left. A model is a path, a file of tests/data/hostile or data/, or else one makeModel makes
// in the temporary folder, the working directory; "{tmp}" and "{data}" stand for those folders in
// arguments and texts. Needs a display (xvfb-run).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using Hook = std::function<void(const fs::path& tmp)>;
enum Expect { LOADS = 0, REFUSED = 1, INTERRUPTED = 130 };  // the exit status

struct Case {
  const char* name;
  std::string model;
  std::vector<std::string> args;
  Expect expect;
  std::string text;                        // in the output
  int seconds = 30;                        // time limit
  Hook before = nullptr, after = nullptr;  // make output targets; check what is left
  double interruptAfter = 0;               // Ctrl+C after this many seconds
};

void put(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
std::string repeat(const std::string& s, int n) {
  std::string r;
  while (n-- > 0) r += s;
  return r;
}

// Models too large to keep in the source tree, pipes and folders.
void makeModel(const std::string& name, const fs::path& path) {
  const std::string iv = "#Inventor V2.1 ascii\n";
  if (name == "fifo.obj" || name == "fifo.iv") {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
  } else if (name == "own.iv") {
    fs::copy_file(sourceDir() / "data/torus.iv", path);
  } else if (name == "models") {  // two models of one base name: m.obj's VRML export would be m.wrl
    fs::create_directories(path);
    put(path / "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 2 3 4\nf 1 4 3\n");
    fs::copy_file(sourceDir() / "data/sphere.iv", path / "m.wrl");
  } else if (name == "nurbs_dense.iv") {  // 30 x 30 control points, 27 knot spans each way: 1.3 million triangles
    std::string points, knots = "[0 0 0";
    for (int i = 0; i < 30; ++i)
      for (int j = 0; j < 30; ++j)
        points += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(i * j % 7) + ",\n";
    for (int k = 0; k <= 27; ++k) knots += " " + std::to_string(k);
    put(path, iv + "Separator { Complexity { value 1 }\n Coordinate3 { point [\n" + points + "] }\n NurbsSurface {" +
                  " numUControlPoints 30 numVControlPoints 30\n  uKnotVector " + knots + " 27 27 27]\n  vKnotVector " +
                  knots + " 27 27 27]\n } }\n");
  } else if (name == "long_name.iv") {
    put(path, iv + "Separator { " + std::string(400000, 'a') + " }\n");
  } else if (name == "spheres_2000.iv") {
    put(path, iv + "Separator {\n" + repeat("Sphere {}\n", 2000) + "}\n");
  } else {  // nested_N.iv
    const int depth = std::stoi(name.substr(7));
    put(path, iv + repeat("Separator {\n", depth) + "Cube {}\n" + repeat("}\n", depth));
  }
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs linfold-render in `dir` under timeout(1): killed after `limit` seconds, or given Ctrl+C after
// `interrupt` seconds and killed `limit` seconds later. The exit status (128 + N: ended by signal N,
// 137 also when killed for time) and the output.
std::pair<int, std::string> runTool(const std::vector<std::string>& args, const fs::path& dir, int limit,
                                    double interrupt) {
  std::string command = "cd " + quoted(dir.string()) + " && exec timeout --preserve-status " +
                        (interrupt > 0 ? "-k " + std::to_string(limit) + " -s INT " + std::to_string(interrupt)
                                       : "-s KILL " + std::to_string(limit)) +
                        " " + quoted(LINFOLD_RENDER);
  for (const std::string& a : args) command += " " + quoted(a);
  const fs::path log = dir / "tool-output.txt";  // not a pipe, which what the tool starts could hold open
  const int status = std::system((command + " > " + quoted(log.string()) + " 2>&1").c_str());
  const std::string output = readFile(log.string());
  fs::remove(log);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string substitute(std::string s, const std::string& tmp) {
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>("{tmp}", tmp), {"{data}", (sourceDir() / "data").string()}})
    for (std::string::size_type at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), value);
  return s;
}

const std::string kSet = "--set";
const std::string kOutOfRange = " with coordinate indices out of range";
const std::string kNurbsSkipped =
    "skipped 4 NURBS surface(s) with knots, orders, control points or trimming curves out of range";

// A table, one case to a line or two.
// clang-format off
const std::vector<Case> kCases = {
    // Devices and pipes are refused by their type, before anything opens them.
    {"device as the model", "/dev/zero", {}, REFUSED, "/dev/zero is not a regular file"},
    {"pipe named .obj", "fifo.obj", {}, REFUSED, "fifo.obj is not a regular file"},
    {"pipe named .iv", "fifo.iv", {}, REFUSED, "fifo.iv is not a regular file"},
    // Files that crash, hang or exhaust Coin's parser, or whoever traverses what it read.
    {"name token of 400 kB", "long_name.iv", {}, REFUSED, "Cannot read "},
    {"DEF/USE cycle", "def_use_cycle.iv", {}, REFUSED, "the scene contains itself (through the node named A)"},
    {"recursive PROTO", "recursive_proto.wrl", {}, REFUSED, "Cannot read "},
    {"50,000 nested separators", "nested_50000.iv", {}, REFUSED, "Cannot read "},
    {"1,000 nested separators", "nested_1000.iv", {}, LOADS, "Model loaded!"},
    {"binary point count 0x7fffffff", "binary_count.iv", {}, REFUSED, "Cannot read "},
    {"garbage after header", "garbage_after_header.iv", {}, REFUSED, "Erroneous character(s) after end of scenegraph"},
    // Shapes naming points that do not exist: those faces go, the rest is drawn.
    {"IndexedFaceSet indices beyond the points", "ifs_beyond.iv", {}, LOADS, "skipped 2 face(s)" + kOutOfRange},
    {"FaceSet counts beyond the points", "faceset_beyond.iv", {}, LOADS, "skipped 1 face(s)" + kOutOfRange},
    {"TriangleStripSet counts beyond the points", "tss_beyond.iv", {}, LOADS, "skipped 1 strip(s)" + kOutOfRange},
    {"IndexedTriangleStripSet beyond the points", "itss_beyond.iv", {}, LOADS, "skipped 1 strip(s)" + kOutOfRange},
    {"placement beyond the largest float", "placement_overflow.iv", {}, LOADS, "Model loaded!"},
    {"VRML IndexedFaceSet beyond the points", "vrml_ifs_beyond.wrl", {}, LOADS, "skipped 1 face(s)" + kOutOfRange},
    // NURBS surfaces are checked before Coin tessellates them, and kept within a million triangles.
    {"NURBS knots that GLU cannot use", "nurbs_knots.iv", {}, REFUSED, kNurbsSkipped},
    {"NURBS naming points that do not exist", "nurbs_beyond.iv", {}, LOADS, kNurbsSkipped},
    {"NURBS patch of 1.3 million triangles", "nurbs_dense.iv", {kSet, "SoStreamlinerHQ.doComputation=FALSE"},
     LOADS, "lowered the complexity of 1 NURBS surface(s) to 0.8", 60},
    // References are read from the folder of the file that names them.
    {"File parts next to the model", "file_ref.iv", {}, LOADS, "Model loaded!"},
    {"Inline part next to the model", "inline_ref.wrl", {}, LOADS, "Model loaded!"},
    {"missing File part", "file_missing.iv", {}, REFUSED, "Could not find 'parts/nothere.iv'"},
    {"missing Inline part", "inline_missing.wrl", {}, REFUSED, "Could not find 'parts/nothere.wrl'"},
    // Headers that claim more than the file holds.
    {"PLY claiming 2e9 faces", "ply_huge_faces.ply", {}, REFUSED,
     "the PLY header claims 2000000000 face elements, more than the file holds"},
    {"OFF claiming 2e9 vertices", "off_huge_counts.off", {}, REFUSED,
     "the OFF header claims 2000000000 vertices and 2000000000 faces, more than the file holds"},
    {"binary STL claiming 2^32-1 facets", "stl_huge_count.stl", {}, REFUSED, "Cannot read "},
    {"glTF accessor beyond its buffer", "gltf_huge_count.gltf", {}, REFUSED, "Cannot read "},
    {"OBJ faces beyond the points", "obj_beyond.obj", {}, REFUSED, "Cannot read "},
    // Large models: the input side alone, then the whole drawing.
    {"2,000 Sphere nodes in a row, loading", "spheres_2000.iv",
     {kSet, "SoGenerateWingedEdge.doBuildWingedEdge=FALSE"}, LOADS, "Model loaded!"},
    {"2,000 Sphere nodes in a row, drawn", "spheres_2000.iv", {}, LOADS,
     "skipped 1999 shape(s) that repeat an earlier one exactly"},
    {"span 1e-6 to 1e6, loading", "span.iv", {kSet, "SoStreamlinerHQ.doComputation=FALSE"}, LOADS, "Model loaded!"},
    {"span 1e-6 to 1e6, drawn", "span.iv", {}, LOADS, ""},
    // Settings beyond what the work can bear: a sane value and a message.
    {"step size 0", "torus.iv", {kSet, "SoStreamlinerHQ.stepSize=0"}, LOADS,
     "SoStreamlinerHQ: a step of 1e-06 model sizes would take more than 250000 steps on this model; using "},
    {"separation 1e38", "torus.iv", {kSet, "SoStreamlinerHQ.seperationDist=1e38"}, LOADS,
     "SoStreamlinerHQ: seperationDist 1e+38 is more than 2 model sizes; using 2\n"},
    {"probe 1e38", "sphere.iv", {kSet, "SoStreamlinerHQ.probeDist=1e38"}, LOADS,
     "SoStreamlinerHQ: probeDist 1e+38 is more than 20 separations; using 0.2\n"},
    {"minimum length 1e38", "torus.iv", {kSet, "SoStreamlinerHQ.minLength=1e38"}, LOADS,
     "SoStreamlinerHQ: minLength 1e+38 is longer than any stroke on this model can be (759.237); no strokes\n"},
    {"sharp edge 1e38", "sphere.iv", {kSet, "SoStreamlinerHQ.sharpEdge=1e38"}, LOADS,
     "SoStreamlinerHQ: sharpEdge 1e+38 is more than 180 degrees; using 180\n"},
    {"smoothing speed 1e38", "sphere.iv",
     {kSet, "SoModifyWingedEdge.smoothingSteps=5", kSet, "SoModifyWingedEdge.smoothingSpeed=1e38"}, LOADS,
     "SoModifyWingedEdge: smoothingSpeed 1e+38 is outside 0..1; using 1\n"},
    // Failures of settings, reported as such.
    {"formula that does not parse", "sphere.iv",
     {kSet, "SoLineThickenerHQ.parserExpression=\"light +\"", "--png", "{tmp}/formula.png"}, REFUSED,
     "linfold-render: SoLineThickenerHQ.parserExpression \"light +\" is not a formula: missing operands\n"},
    {"subdivision refused for memory", "sphere.iv", {kSet, "SoModifyWingedEdge.subdivisionSteps=30"}, REFUSED,
     "linfold-render: the mesh was not modified as asked: 30 subdivision steps would make "},
    // Outputs that would lose a file: refused before anything is drawn.
    {"--png naming its own model", "own.iv", {"--png", "{tmp}/own.iv"}, REFUSED,
     "linfold-render: refused to write {tmp}/own.iv (the png output): it is an input of this run\n", 30, nullptr,
     [](const fs::path& tmp) { EXPECT_EQ(readFile(tmp / "own.iv"), readFile(sourceDir() / "data/torus.iv")); }},
    {"two outputs naming one file", "sphere.iv", {"--png", "{tmp}/x.out", "--svg", "./x.out"}, REFUSED,
     "linfold-render: the png and svg outputs both name ./x.out\n"},
    {"--png into a pipe", "sphere.iv", {"--png", "{tmp}/pipe.png"}, REFUSED, "it is a pipe\n", 30,
     [](const fs::path& tmp) { ASSERT_EQ(mkfifo((tmp / "pipe.png").c_str(), 0600), 0); },
     [](const fs::path& tmp) { EXPECT_TRUE(fs::is_fifo(tmp / "pipe.png")); }},
    {"--pdf through a symbolic link", "sphere.iv", {"--pdf", "{tmp}/link.pdf"}, REFUSED, "it is a symbolic link\n", 30,
     [](const fs::path& tmp) { put(tmp / "kept.pdf", "kept"), fs::create_symlink("kept.pdf", tmp / "link.pdf"); },
     [](const fs::path& tmp) {
       EXPECT_TRUE(fs::is_symlink(tmp / "link.pdf") && readFile(tmp / "kept.pdf") == "kept");
     }},
    {"--tga over a read-only file", "sphere.iv", {"--tga", "{tmp}/ro.tga"}, REFUSED, "it is read-only\n", 30,
     [](const fs::path& tmp) { put(tmp / "ro.tga", "mine"), chmod((tmp / "ro.tga").c_str(), 0444); },
     [](const fs::path& tmp) { EXPECT_EQ(readFile(tmp / "ro.tga"), "mine"); }},
    {"--vrml to a device", "sphere.iv", {"--vrml", "/dev/null"}, REFUSED, "it is a device\n"},
    {"batch into the models' folder", "models", {"--out-dir", "{tmp}/models", "--formats", "png,vrml"}, LOADS,
     "linfold-render: all 2 models done\n", 60,
     [](const fs::path& tmp) { fs::copy_file(tmp / "models/m.wrl", tmp / "m.wrl.before"); },
     [](const fs::path& tmp) {
       EXPECT_EQ(readFile(tmp / "models/m.wrl"), readFile(tmp / "m.wrl.before"));
       for (const char* name : {"m-2.png", "m-2.wrl", "m-3.png", "m-3.wrl"})
         EXPECT_TRUE(fs::exists(tmp / "models" / name)) << name;
     }},
    // Long work cut short.
    {"--max-seconds in a batch", "torus.iv", {"{data}/sphere.iv", "--out-dir", "{tmp}/limited", "--max-seconds",
     "0.2"}, REFUSED, "linfold-render: 2 of 2 models failed\n", 60, nullptr,
     [](const fs::path& tmp) { EXPECT_TRUE(fs::is_empty(tmp / "limited")); }},
    // A fine separation keeps the tracing going for seconds, well past the signal.
    {"Ctrl+C while tracing", "torus.iv",
     {kSet, "SoStreamlinerHQ.stepSize=0", kSet, "SoStreamlinerHQ.seperationDist=0.002", "--tga", "{tmp}/c.tga"},
     INTERRUPTED, "linfold-render: interrupted\n", 30, nullptr,
     [](const fs::path& tmp) { EXPECT_FALSE(fs::exists(tmp / "c.tga")); }, 1.0},
};
// clang-format on

TEST(HostileInputs, EveryCaseEndsInTimeWithAnExitStatusAndAMessage) {
  const fs::path hostile = sourceDir() / "tests/data/hostile";
  ASSERT_TRUE(fs::is_directory(hostile)) << hostile;
  TempDir tmp;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string model = c.model;
    if (fs::exists(hostile / model) || fs::exists(sourceDir() / "data" / model)) {
      model = ((fs::exists(hostile / model) ? hostile : sourceDir() / "data") / model).string();
    } else if (model[0] != '/') {
      if (!fs::exists(tmp.path / model)) makeModel(model, tmp.path / model);
      model = (tmp.path / model).string();
    }
    if (c.before) c.before(tmp.path);
    std::vector<std::string> args = {model};
    for (const std::string& a : c.args) args.push_back(substitute(a, tmp.path.string()));
    const auto [status, output] = runTool(args, tmp.path, c.seconds, c.interruptAfter);
    EXPECT_EQ(status, int(c.expect)) << "(137: still running after " << c.seconds << " s)\n" << output;
    const std::string text = substitute(c.text, tmp.path.string());
    EXPECT_NE(output.find(text), std::string::npos) << "expected \"" << text << "\" in:\n" << output;
    for (const auto& e : fs::recursive_directory_iterator(tmp.path)) {  // the writer's ".NAME.linfold-XXXXXX"
      const std::string name = e.path().filename().string();
      EXPECT_FALSE(name[0] == '.' && name.find(".linfold-") != std::string::npos) << "left behind: " << name;
    }
    if (c.after) c.after(tmp.path);
  }
}

}  // namespace
