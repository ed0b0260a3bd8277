// The one file writer of the library (SbOutputFile) and the number texts of
// the file formats (SbNumberText).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <charconv>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/SbNumberText.h"
#include "core/SbOutputFile.h"

namespace fs = std::filesystem;

namespace {

void put(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

mode_t modeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
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
  EXPECT_EQ(modeOf(path), 0666 & ~mask);

  chmod(path.c_str(), 0640);
  const std::string big(3 << 20, 'x');  // more than one write call
  ASSERT_TRUE(SbOutputFile::write(path, big, why)) << why;
  EXPECT_EQ(readFile(path), big);
  EXPECT_EQ(modeOf(path), 0640u);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.txt"});  // no temporary file left
}

// Targets that must not be replaced or written through: each write is
// refused with its reason, and what was there stays as it was.
TEST(OutputFile, RefusesWhatIsNotAWritableFileOrIsAnInput) {
  TempDir dir;
  put(dir.file("kept.txt"), "kept");
  struct Case {
    const char* name;
    std::function<std::string()> make;  // makes the target, returns its path
    const char* why;
  };
  const Case cases[] = {
      {"folder", [&] { fs::create_directory(dir.path / "folder"); return dir.file("folder"); }, "it is a folder"},
      {"pipe", [&] { mkfifo(dir.file("pipe").c_str(), 0600); return dir.file("pipe"); }, "it is a pipe"},
      {"device", [] { return std::string("/dev/null"); }, "it is a device"},
      {"link to a file",
       [&] { fs::create_symlink("kept.txt", dir.path / "link"); return dir.file("link"); },
       "it is a symbolic link"},
      {"dangling link",
       [&] { fs::create_symlink("nowhere.txt", dir.path / "dangling"); return dir.file("dangling"); },
       "it is a symbolic link"},
      {"read-only file",
       [&] {
         put(dir.file("readonly.txt"), "mine");
         chmod(dir.file("readonly.txt").c_str(), 0444);
         return dir.file("readonly.txt");
       },
       "it is read-only"},
      {"input, by another name",
       [&] {
         put(dir.file("model.iv"), "#Inventor V2.1 ascii\n");
         SbOutputFile::protectInput(dir.file("model.iv"));
         fs::create_hard_link(dir.path / "model.iv", dir.path / "alias.iv");
         return dir.file("alias.iv");
       },
       "it is an input of this run"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.make();
    const std::vector<std::string> before = dir.entries();
    std::string why;
    EXPECT_FALSE(SbOutputFile::check(path, why));
    EXPECT_EQ(why, c.why);
    why.clear();
    EXPECT_FALSE(SbOutputFile::write(path, std::string("new"), why));
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(dir.entries(), before);
  }
  EXPECT_EQ(readFile(dir.file("kept.txt")), "kept");
  EXPECT_EQ(readFile(dir.file("readonly.txt")), "mine");
  EXPECT_TRUE(fs::is_symlink(dir.path / "link"));
  EXPECT_TRUE(fs::is_fifo(dir.path / "pipe"));
  EXPECT_EQ(readFile(dir.file("model.iv")), "#Inventor V2.1 ascii\n");
  SbOutputFile::clearInputs();
  std::string why;
  EXPECT_TRUE(SbOutputFile::write(dir.file("model.iv"), std::string("replaced"), why)) << why;
}

TEST(OutputFile, AFailedWriteLeavesNoFileAndKeepsTheOlderOne) {
  TempDir dir;
  std::string why;
  EXPECT_FALSE(SbOutputFile::write(dir.file("missing/x.txt"), std::string("x"), why));
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_FALSE(SbOutputFile::write(dir.path.string() + "/", std::string("x"), why));
  EXPECT_EQ(why, "it is a folder");

  // A write cut short (here by a file size limit) fails; the older file stays.
  const std::string path = dir.file("old.txt");
  put(path, "older");
  struct sigaction ignore {}, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = SbOutputFile::write(path, std::string(5000, 'y'), why);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(why, "File too large");
  EXPECT_EQ(readFile(path), "older");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"old.txt"});
}

TEST(OutputFile, LeftoversOfAStoppedWriterAreRemoved) {
  TempDir dir;
  const std::string target = dir.file("picture.png");
  put(dir.file(".picture.png.linfold-a1B2c3"), "part");  // a temporary file as mkstemp names it
  put(dir.file(".picture.png.backup"), "the user's own");
  put(dir.file(".other.png.linfold-a1B2c3"), "another target's");
  EXPECT_EQ(SbOutputFile::removeLeftovers(target), 1);
  std::vector<std::string> left = dir.entries();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".other.png.linfold-a1B2c3", ".picture.png.backup"}));
}

TEST(NumberText, PointAsSeparatorAndExactFloats) {
  std::string s;
  SbNumberText::appendFixed(s, 1.5, 6);
  s += ' ';
  SbNumberText::appendFixed(s, -0.0004, 3);  // rounds to zero: no sign
  s += ' ';
  SbNumberText::appendFixed(s, 2.5, 3, true);
  s += ' ';
  SbNumberText::appendGeneral(s, 0.0546667, 6);
  s += ' ';
  SbNumberText::appendGeneral(s, 8.145333, 6);
  s += ' ';
  EXPECT_FALSE(SbNumberText::appendFixed(s, NAN, 2));
  EXPECT_EQ(s, "1.500000 0.000 2.5 0.0546667 8.14533 0");

  // The shortest text reads back as the same float, tiny and huge ones too.
  for (float v : {0.1f, 1e-7f, -3.25e-5f, FLT_MIN, FLT_MAX, 123456.789f, 1.0f / 3.0f}) {
    std::string text;
    ASSERT_TRUE(SbNumberText::appendShortest(text, v));
    float back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, v) << text;
  }
  std::string text;
  SbNumberText::appendShortest(text, 0.5f);
  EXPECT_EQ(text, "0.5");

  // Whatever the C locale (the application runs with the user's).
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (std::setlocale(LC_NUMERIC, name)) {
      comma = name;
      break;
    }
  std::string local;
  SbNumberText::appendFixed(local, 0.25, 2);
  SbNumberText::appendShortest(local, 0.75f);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(local, "0.250.75");
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed; checked under the C locale only";
}
