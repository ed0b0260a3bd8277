// The one file writer of the library (SbOutputFile), every exporter that writes through it, and the number texts of the
// file formats (SbNumberText).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "LineTestNodes.h"
#include "TestFiles.h"
#include "TestMeshes.h"
#include "core/SbNumberText.h"
#include "core/SbOutputFile.h"
#include "output/SbSvgWriter.h"
#include "output/SoLineOutput.h"
#include "output/SoWingedEdgeOutput.h"
#include "pdf/PdfDocument.h"

namespace fs = std::filesystem;

namespace {

void put(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

mode_t modeOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// Every entry of the folder with its type, permissions and content (a link's target): what a failed write must keep.
std::map<std::string, std::string> folderState(const TempDir& dir) {
  std::map<std::string, std::string> state;
  for (const std::string& name : dir.entries()) {
    const std::string path = dir.file(name);
    const mode_t mode = modeOf(path);
    state[name] = std::to_string(mode) + ":" +
                  (S_ISREG(mode)   ? readFile(path)
                   : S_ISLNK(mode) ? fs::read_symlink(path).string()
                                   : "");
  }
  return state;
}

using Writer = std::function<bool(const std::string& path, std::string& why)>;

// An output node asked by `request` to write to its filename, run behind a source of one stroke and a tetrahedron; its
// write result. A second request, to a writable path, must then succeed.
template <class Node>
Writer viaNode(void (Node::*request)()) {
  return [request](const std::string& path, std::string& why) {
    linetest::initNodes();
    SbWingedEdgeModel model = testmesh::model(testmesh::tetrahedron());
    SoSeparator* root = new SoSeparator;
    root->ref();
    LineSetSource* source = new LineSetSource;
    source->model = &model;
    source->publishLines = true;
    source->lines.points = {SbVec3f(-0.5f, 0, 0), SbVec3f(0.5f, 0.25f, 0)};
    source->lines.indices = {0, 1, -1};
    source->lines.thickness = {2, 2};
    Node* node = new Node;
    root->addChild(source);
    root->addChild(node);
    SoCallbackAction action(SbViewportRegion(400, 300));
    TempDir elsewhere;
    for (const std::string& target : {path, elsewhere.file("next")}) {
      node->filename = target.c_str();
      (node->*request)();
      action.apply(root);
      if (target != path) continue;
      why = node->writeError();
      EXPECT_EQ(node->lastPath(), path);
      EXPECT_TRUE(node->writeFailed());  // not WR_NONE: the node did try
    }
    EXPECT_TRUE(node->writeSucceeded() && node->writeError().empty());
    root->unref();
    return why.empty();
  };
}

}  // namespace

TEST(OutputFile, ReplacesInOnePieceAndKeepsThePermissions) {
  TempDir dir;
  const std::string path = dir.file("out.txt");
  std::string why;
  ASSERT_TRUE(SbOutputFile::write(path, std::string("first"), why)) << why;
  EXPECT_EQ(readFile(path), "first");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(modeOf(path) & 07777, 0666 & ~mask);
  chmod(path.c_str(), 0640);
  const std::string big(3 << 20, 'x');  // more than one write call
  ASSERT_TRUE(SbOutputFile::write(path, big, why)) << why;
  EXPECT_EQ(readFile(path), big);
  EXPECT_EQ(modeOf(path) & 07777, 0640u);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.txt"});  // no temporary file left
}

// Targets that must not be replaced or written through, and writes that fail: each says why, and the folder stays as it
// was (no temporary file, older files with their bytes and permissions).
TEST(OutputFile, FailuresSayWhyAndLeaveTheFolderAsItWas) {
  TempDir dir;
  put(dir.file("kept.txt"), "kept");
  put(dir.file("ro"), "mine");
  chmod(dir.file("ro").c_str(), 0444);
  put(dir.file("model.iv"), "#Inventor V2.1 ascii\n");
  SbOutputFile::protectInput(dir.file("model.iv"));
  fs::create_hard_link(dir.path / "model.iv", dir.path / "alias.iv");
  fs::create_directory(dir.path / "folder");
  mkfifo(dir.file("pipe").c_str(), 0600);
  fs::create_symlink("kept.txt", dir.path / "link");
  fs::create_symlink("nowhere", dir.path / "dangling");
  // Path and reason; the reasons "it is ..." refuse the path before writing.
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("folder"), "it is a folder"},
      {dir.path.string() + "/", "it is a folder"},
      {dir.file("pipe"), "it is a pipe"},
      {"/dev/null", "it is a device"},
      {dir.file("link"), "it is a symbolic link"},
      {dir.file("dangling"), "it is a symbolic link"},
      {dir.file("ro"), "it is read-only"},
      {dir.file("alias.iv"), "it is an input of this run"},  // by another name
      {dir.file("missing/x.txt"), "No such file or directory"},
      {dir.file("kept.txt"), "File too large"}};  // cut short by the file size limit
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    const std::map<std::string, std::string> before = folderState(dir);
    const bool refused = reason.rfind("it is", 0) == 0;
    std::string why;
    EXPECT_EQ(SbOutputFile::check(path, why), !refused);
    EXPECT_EQ(why, refused ? reason : "");
    // Under a file size limit, so that a write that gets going is cut short.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{1000, saved.rlim_max};
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = SbOutputFile::write(path, std::string(5000, 'y'), why);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(std::make_pair(written, why), std::make_pair(false, reason));
    EXPECT_EQ(folderState(dir), before);
  }
  SbOutputFile::clearInputs();
  std::string why;
  EXPECT_TRUE(SbOutputFile::write(dir.file("model.iv"), std::string("replaced"), why)) << why;
}

TEST(OutputFile, LeftoversOfAStoppedWriterAreRemoved) {
  TempDir dir;
  put(dir.file(".picture.png.linfold-a1B2c3"), "part");  // a temporary file as mkstemp names it
  put(dir.file(".picture.png.backup"), "the user's own");
  put(dir.file(".other.png.linfold-a1B2c3"), "another target's");
  EXPECT_EQ(SbOutputFile::removeLeftovers(dir.file("picture.png")), 1);
  EXPECT_EQ(dir.entries().size(), 2u);
  EXPECT_FALSE(fs::exists(dir.path / ".picture.png.linfold-a1B2c3"));
}

// The exporters whose messages no other test reads, at a path in a missing folder and at a read-only file: each fails
// (return value or write result) with the reason and its message, and leaves no file, the read-only one as it was.
TEST(OutputFile, EveryExporterReportsAnUnwritablePathAndLeavesNoFile) {
  // name, writer, what it says (%p stands for the path, %w for the reason)
  const std::tuple<const char*, Writer, const char*> exporters[] = {
      {"PDF writer",
       [](const std::string& path, std::string& why) {
         std::unique_ptr<PdfDocument, void (*)(PdfDocument*)> doc(cpdf_open(0, nullptr), cpdf_close);
         cpdf_init(doc.get());
         cpdf_pageInit(doc.get(), 1, PDF_PORTRAIT, "0 0 200 100", nullptr);
         return cpdf_savePDFmemoryStreamToFile(doc.get(), path.c_str(), &why);
       },
       "ClibPDF error: Cannot write %p: %w\n"},
      {"mesh", viaNode(&SoWingedEdgeOutput::requestVrmlWrite),
       "SoWingedEdgeOutput::doAction: cannot write \"%p\": %w\n"},
      {"lines", viaNode(&SoLineOutput::requestTextWrite), "SoLineOutput::doAction: cannot write \"%p\": %w\n"},
  };
  for (const auto& [name, write, message] : exporters) {
    for (const bool readOnly : {false, true}) {
      SCOPED_TRACE(std::string(name) + (readOnly ? ", read-only file" : ", missing folder"));
      TempDir dir;
      const std::string path = dir.file(readOnly ? "old" : "missing/new");
      if (readOnly) put(path, "older"), chmod(path.c_str(), 0444);
      const std::map<std::string, std::string> before = folderState(dir);
      std::string why;
      testing::internal::CaptureStdout();
      EXPECT_FALSE(write(path, why));
      const std::string console = testing::internal::GetCapturedStdout();
      EXPECT_EQ(why, readOnly ? "it is read-only" : "No such file or directory");
      const std::string says =
          std::regex_replace(std::regex_replace(message, std::regex("%p"), path), std::regex("%w"), why);
      EXPECT_NE(console.find(says), std::string::npos) << console;
      EXPECT_EQ(folderState(dir), before);
    }
  }
}

TEST(NumberText, PointAsSeparatorAndExactFloats) {
  std::string s;
  SbNumberText::appendFixed(s, 1.5, 6);
  SbNumberText::appendFixed(s += ' ', -0.0004, 3);  // rounds to zero: no sign
  SbNumberText::appendFixed(s += ' ', 2.5, 3, true);
  SbNumberText::appendGeneral(s += ' ', 0.0546667, 6);
  SbNumberText::appendGeneral(s += ' ', 8.145333, 6);
  SbNumberText::appendShortest(s += ' ', 0.5f);
  EXPECT_FALSE(SbNumberText::appendFixed(s += ' ', NAN, 2));
  EXPECT_EQ(s, "1.500000 0.000 2.5 0.0546667 8.14533 0.5 0");
  // The shortest text reads back as the same float, tiny and huge ones too.
  for (float v : {0.1f, 1e-7f, -3.25e-5f, FLT_MIN, FLT_MAX, 123456.789f, 1.0f / 3.0f}) {
    std::string text;
    ASSERT_TRUE(SbNumberText::appendShortest(text, v));
    float back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, v) << text;
  }
}

// Under a C locale with a decimal comma (built with localedef when none is installed; the application runs with the
// user's), the number texts and the writers that use them still write a point.
TEST(NumberText, WritersUseAPointUnderACommaLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const char* oldLocPath = std::getenv("LOCPATH");
  const std::string savedLocPath = oldLocPath ? oldLocPath : "";
  auto commaLocale = [] {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"})
      if (std::setlocale(LC_NUMERIC, name) && std::string(std::localeconv()->decimal_point) == ",") return true;
    return false;
  };
  TempDir localeDir;
  bool comma = commaLocale();
  const std::string localedef = "localedef -i de_DE -f UTF-8 '" + localeDir.file("de_DE.UTF-8") + "' >/dev/null 2>&1";
  if (!comma && haveProgram("localedef") && std::system(localedef.c_str()) == 0) {
    setenv("LOCPATH", localeDir.path.c_str(), 1);
    comma = commaLocale();
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  std::string numbers;
  SbNumberText::appendFixed(numbers, 0.25, 2);
  SbNumberText::appendShortest(numbers, 0.75f);
  SbSvgWriter::appendNumber(numbers, -3.25);
  PdfDocument* doc = cpdf_open(0, nullptr);
  cpdf_init(doc);
  cpdf_pageInit(doc, 1, PDF_PORTRAIT, "10.5 0 595.5 842", nullptr);
  cpdf_scale(doc, 0.74375, 0.5);
  cpdf_setlinewidth(doc, 1.5);
  cpdf_moveto(doc, 1, 1);  // an inch right and up from the box's corner
  cpdf_arc(doc, 0, 0, 3.5, 0, 45, 0);
  const std::string content = *cpdf_currentContent(doc);
  cpdf_close(doc);
  std::setlocale(LC_NUMERIC, saved.c_str());
  oldLocPath ? setenv("LOCPATH", savedLocPath.c_str(), 1) : unsetenv("LOCPATH");
  EXPECT_EQ(numbers, "0.250.75-3.25");
  EXPECT_EQ(
      content.rfind("0.7438 0.0000 0.0000 0.5000 0.0000 0.0000 cm\n1.5000 w\n82.500 72.000 m\n3.500 0.000 l\n", 0), 0u)
      << content;
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma on this machine; checked under the C locale only";
  EXPECT_STREQ(probe, "1,5");
}
