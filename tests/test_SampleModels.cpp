// The bundled models under data/: readable by Coin, closed, oriented outwards, and exactly what linfold-make-samples
// writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "TestFiles.h"

namespace {

// Closed and consistently oriented (every directed edge once, and its reverse once; no triangle repeats a corner), of a
// sphere's (2) or torus's (0) Euler characteristic; outward normals give a positive enclosed volume (divergence
// theorem), which fine sampling puts close to the smooth surface's (0: not known in closed form).
TEST(SampleModels, AreClosedOutwardFacingSurfacesOfAFewThousandTriangles) {
  const double pi = M_PI;
  const struct {
    const char* file;
    int euler;
    double volume;
  } samples[] = {{"torus.iv", 0, 2 * pi * pi * 1.0 * 0.35 * 0.35}, {"sphere.iv", 2, 4.0 / 3.0 * pi}, {"blob.iv", 2, 0}};
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.file);
    const std::string file = (sourceDir() / "data" / sample.file).string();
    ASSERT_EQ(readFile(file).rfind("#Inventor V2.1 ascii\n", 0), 0u);
    std::vector<CoinTriangle> triangles;
    ASSERT_TRUE(readCoinTriangles(file, triangles));
    EXPECT_TRUE(triangles.size() >= 2000u && triangles.size() <= 5000u) << triangles.size();
    std::map<std::array<float, 3>, int> points;
    std::map<std::pair<int, int>, int> directed;
    double volume = 0;
    for (const CoinTriangle& t : triangles) {
      int c[3];
      for (int k = 0; k < 3; ++k)
        c[k] = points.emplace(std::array<float, 3>{t[k][0], t[k][1], t[k][2]}, int(points.size())).first->second;
      ASSERT_TRUE(c[0] != c[1] && c[1] != c[2] && c[2] != c[0]);
      for (int k = 0; k < 3; ++k) ++directed[{c[k], c[(k + 1) % 3]}];
      volume += t[0].dot(t[1].cross(t[2])) / 6.0;
    }
    for (const auto& [edge, n] : directed) {
      auto back = directed.find({edge.second, edge.first});
      EXPECT_TRUE(n == 1 && back != directed.end() && back->second == 1) << edge.first << "->" << edge.second;
    }
    EXPECT_EQ(int(points.size()) - int(directed.size() / 2) + int(triangles.size()), sample.euler);
    EXPECT_GT(volume, 0.0);
    EXPECT_NEAR(sample.volume > 0 ? volume / sample.volume : 1.0, 1.0, 0.02);
  }
}

TEST(SampleGenerator, WritesExactlyTheCommittedModelsAndFailsWithoutItsFolder) {
  TempDir out;
  const std::string command = std::string("'") + LINFOLD_MAKE_SAMPLES + "' '" + out.path.string() + "' > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const char* name : {"torus.iv", "sphere.iv", "blob.iv"})
    EXPECT_TRUE(readFile(out.file(name)) == readFile((sourceDir() / "data" / name).string()))
        << name << " differs from a fresh run of linfold-make-samples";
  EXPECT_NE(std::system((std::string("'") + LINFOLD_MAKE_SAMPLES + "' /nonexistent/folder > /dev/null").c_str()), 0);
}

}  // namespace
