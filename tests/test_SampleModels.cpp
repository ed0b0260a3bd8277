// The bundled models under data/: readable by Coin, closed, oriented outwards,
// and exactly what linfold-make-samples writes.
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

struct Triangles {
  std::vector<SbVec3f> points;
  std::vector<int> corners;  // three per triangle
};

// Reads an Inventor file and unrolls its strips into triangles, every second
// one reversed as strips are drawn.
bool readTriangles(const fs::path& file, Triangles& out) {
  SoInput in;
  if (!in.openFile(file.string().c_str())) return false;
  SoSeparator* root = SoDB::readAll(&in);
  if (!root) return false;
  root->ref();
  SoSearchAction search;
  search.setType(SoCoordinate3::getClassTypeId());
  search.apply(root);
  auto* coords = search.getPath() ? static_cast<SoCoordinate3*>(search.getPath()->getTail()) : nullptr;
  search.reset();
  search.setType(SoIndexedTriangleStripSet::getClassTypeId());
  search.apply(root);
  auto* strips =
      search.getPath() ? static_cast<SoIndexedTriangleStripSet*>(search.getPath()->getTail()) : nullptr;
  bool ok = coords && strips;
  if (ok) {
    out.points.assign(coords->point.getValues(0), coords->point.getValues(0) + coords->point.getNum());
    const int32_t* idx = strips->coordIndex.getValues(0);
    int n = strips->coordIndex.getNum();
    std::vector<int> strip;
    for (int i = 0; i <= n; ++i) {
      if (i == n || idx[i] < 0) {
        for (size_t k = 0; k + 2 < strip.size(); ++k) {
          if (k % 2 == 0)
            out.corners.insert(out.corners.end(), {strip[k], strip[k + 1], strip[k + 2]});
          else
            out.corners.insert(out.corners.end(), {strip[k + 1], strip[k], strip[k + 2]});
        }
        strip.clear();
      } else {
        strip.push_back(idx[i]);
      }
    }
  }
  root->unref();
  return ok;
}

struct Sample {
  const char* file;
  double volume;  // of the smooth surface; 0 when not known in closed form
};

const double kPi = 3.14159265358979323846;

class SampleModels : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleModels, AreClosedOutwardFacingSurfacesOfAFewThousandTriangles) {
  fs::path file = sourceDir() / "data" / GetParam().file;
  ASSERT_EQ(readFile(file).rfind("#Inventor V2.1 ascii\n", 0), 0u) << file;
  Triangles t;
  ASSERT_TRUE(readTriangles(file, t)) << file;
  const int count = static_cast<int>(t.corners.size() / 3);
  EXPECT_GE(count, 2000);
  EXPECT_LE(count, 5000);

  // Closed and consistently oriented: every directed edge once, and its
  // reverse once. No triangle repeats a corner.
  std::map<std::pair<int, int>, int> directed;
  for (int f = 0; f < count; ++f) {
    const int* c = &t.corners[3 * f];
    ASSERT_TRUE(c[0] != c[1] && c[1] != c[2] && c[2] != c[0]) << "triangle " << f;
    for (int k = 0; k < 3; ++k) {
      ASSERT_GE(c[k], 0);
      ASSERT_LT(c[k], static_cast<int>(t.points.size()));
      ++directed[{c[k], c[(k + 1) % 3]}];
    }
  }
  for (const auto& [edge, n] : directed) {
    EXPECT_EQ(n, 1) << edge.first << "->" << edge.second;
    auto back = directed.find({edge.second, edge.first});
    EXPECT_TRUE(back != directed.end() && back->second == 1) << edge.first << "->" << edge.second;
  }
  // Euler characteristic of a sphere (2) or a torus (0).
  std::vector<char> usedPoint(t.points.size(), 0);
  for (int c : t.corners) usedPoint[c] = 1;
  int vertices = 0;
  for (char u : usedPoint) vertices += u;
  const int euler = vertices - static_cast<int>(directed.size() / 2) + count;
  EXPECT_EQ(euler, std::string(GetParam().file) == "torus.iv" ? 0 : 2);

  // Outward normals give a positive enclosed volume (divergence theorem);
  // fine sampling puts it close to the smooth surface's.
  double volume = 0;
  for (int f = 0; f < count; ++f) {
    const SbVec3f& a = t.points[t.corners[3 * f]];
    const SbVec3f& b = t.points[t.corners[3 * f + 1]];
    const SbVec3f& c = t.points[t.corners[3 * f + 2]];
    volume += a.dot(b.cross(c)) / 6.0;
  }
  EXPECT_GT(volume, 0.0);
  if (GetParam().volume > 0) {
    EXPECT_NEAR(volume / GetParam().volume, 1.0, 0.02);
  }
}

INSTANTIATE_TEST_SUITE_P(Data, SampleModels,
                         ::testing::Values(Sample{"torus.iv", 2 * kPi * kPi * 1.0 * 0.35 * 0.35},
                                           Sample{"sphere.iv", 4.0 / 3.0 * kPi},
                                           Sample{"blob.iv", 0.0}),
                         [](const ::testing::TestParamInfo<Sample>& info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.'));
                         });

TEST(SampleGenerator, WritesExactlyTheCommittedModels) {
  fs::path out = fs::temp_directory_path() / ("linfold-samples-" + std::to_string(::getpid()));
  fs::create_directories(out);
  std::string command = std::string("'") + LINFOLD_MAKE_SAMPLES + "' '" + out.string() + "' > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const char* name : {"torus.iv", "sphere.iv", "blob.iv"})
    EXPECT_TRUE(readFile(out / name) == readFile(sourceDir() / "data" / name))
        << name << " differs from a fresh run of linfold-make-samples";
  fs::remove_all(out);
}

TEST(SampleGenerator, FailsOnAMissingOutputFolder) {
  std::string command = std::string("'") + LINFOLD_MAKE_SAMPLES + "' /nonexistent/folder > /dev/null";
  int status = std::system(command.c_str());
  EXPECT_NE(status, 0);
}

}  // namespace
