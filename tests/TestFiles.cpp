#include "TestFiles.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>

#include <cstdlib>
#include <fstream>
#include <regex>
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

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  const std::string p = file(name);
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
  return names;
}

fs::path sourceDir() {
  const char* dir = std::getenv("LINFOLD_SOURCE_DIR");
  return dir ? fs::path(dir) : fs::current_path();
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

bool qpdfAccepts(const std::string& path) {
  return std::system(("qpdf --check '" + path + "' >/dev/null 2>&1").c_str()) == 0;
}

std::string pdfGreys(const std::string& pdf, int width, int height) {
  const std::string w = std::to_string(width), h = std::to_string(height), head = "P5\n" + w + " " + h + "\n255\n";
  if (std::system(("pdftoppm -gray -singlefile -scale-to-x " + w + " -scale-to-y " + h + " '" + pdf + "' '" + pdf + "'")
                      .c_str()) != 0)
    return {};
  const std::string pgm = readFile(pdf + ".pgm");
  return pgm.size() == head.size() + size_t(width) * height && pgm.compare(0, head.size(), head) == 0
             ? pgm.substr(head.size())
             : std::string();
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string maskTimes(const std::string& text) {
  return std::regex_replace(text, std::regex("[0-9]+\\.[0-9]{2}ms"), "T.TTms");
}

bool readCoinTriangles(const std::string& path, std::vector<CoinTriangle>& triangles) {
  SoInput in;
  if (!in.openFile(path.c_str())) return false;
  SoSeparator* root = SoDB::readAll(&in);
  if (!root) return false;
  root->ref();
  SoCallbackAction action(SbViewportRegion(100, 100));
  action.addTriangleCallback(
      SoShape::getClassTypeId(),
      [](void* out, SoCallbackAction*, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
         const SoPrimitiveVertex* c) {
        static_cast<std::vector<CoinTriangle>*>(out)->push_back({a->getPoint(), b->getPoint(), c->getPoint()});
      },
      &triangles);
  action.apply(root);
  root->unref();
  return true;
}
