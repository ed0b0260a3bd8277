#include "TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <stdlib.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "linfold-test-XXXXXX").string();
  const char* made = mkdtemp(&pattern[0]);
  path = made ? fs::path(made) : fs::temp_directory_path();
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (path != fs::temp_directory_path()) fs::remove_all(path, ignored);
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
  return names;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool haveProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " > /dev/null 2>&1").c_str()) == 0;
}
