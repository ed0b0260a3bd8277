#ifndef LINFOLD_TESTFILES_H
#define LINFOLD_TESTFILES_H

// Files and programs for the tests that write and read back.

#include <Inventor/SbVec3f.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its contents when the object goes.
struct TempDir {
  std::filesystem::path path;
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return (path / name).string(); }
  // Writes `bytes` to the file `name` in the folder; returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;
  // Names of the entries in the folder.
  std::vector<std::string> entries() const;
};

// Makes `dir` the working directory until the object goes.
struct WorkingDirectory {
  std::filesystem::path previous = std::filesystem::current_path();
  explicit WorkingDirectory(const std::filesystem::path& dir) { std::filesystem::current_path(dir); }
  ~WorkingDirectory() { std::filesystem::current_path(previous); }
};

// The source tree: LINFOLD_SOURCE_DIR (CTest sets it), else the working directory.
std::filesystem::path sourceDir();

// The whole file, empty when it cannot be read.
std::string readFile(const std::string& path);

// Whether a program of that name is on the PATH (qpdf, pdftoppm, rsvg-convert, ...).
bool haveProgram(const char* name);

// Whether `qpdf --check` finds the PDF file sound.
bool qpdfAccepts(const std::string& path);

// The PDF's page as pdftoppm renders it at width x height: grey levels row by row from the top (empty when it cannot).
// Writes `pdf`.pgm beside it.
std::string pdfGreys(const std::string& pdf, int width, int height);

// Occurrences of `what` in `text`, overlapping ones included.
int countOf(const std::string& text, const std::string& what);

// The text with every progress time ("12.34ms") replaced by "T.TTms".
std::string maskTimes(const std::string& text);

// The triangles Coin makes of the shapes in a model file, each wound as Coin draws it; false when Coin cannot read the
// file.
using CoinTriangle = std::array<SbVec3f, 3>;
bool readCoinTriangles(const std::string& path, std::vector<CoinTriangle>& triangles);

#endif
