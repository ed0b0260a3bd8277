// Writes the bundled sample models: data/torus.iv, data/sphere.iv and
// data/blob.iv, ascii Inventor files with one Coordinate3 and one
// IndexedTriangleStripSet each. Every surface is closed, and every strip
// starts so that its triangles run counter-clockwise seen from outside.
//
//   linfold-make-samples [OUTPUT_DIR]      (default: data)

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
  double x, y, z;
};

struct StripModel {
  std::vector<Vec3> points;
  std::vector<std::vector<int>> strips;

  int triangleCount() const {
    int n = 0;
    for (const auto& s : strips) n += static_cast<int>(s.size()) - 2;
    return n;
  }
};

// Ring-by-ring torus: nu segments around its axis, nv around the tube; one
// strip per segment. The axis is tipped by `tilt` radians from z towards -y, so
// a camera looking down -z sees the hole and the inner silhouette.
StripModel torus(int nu, int nv, double R, double r, double tilt) {
  StripModel m;
  const double c = std::cos(tilt), s = std::sin(tilt);
  for (int i = 0; i < nu; ++i) {
    double u = 2.0 * kPi * i / nu;
    for (int j = 0; j < nv; ++j) {
      double v = 2.0 * kPi * j / nv;
      double w = R + r * std::cos(v);
      double y = w * std::sin(u), z = r * std::sin(v);
      m.points.push_back({w * std::cos(u), c * y - s * z, s * y + c * z});
    }
  }
  auto at = [&](int i, int j) { return (i % nu) * nv + (j % nv); };
  for (int i = 0; i < nu; ++i) {
    std::vector<int> s;
    for (int j = 0; j <= nv; ++j) {
      s.push_back(at(i, j));
      s.push_back(at(i + 1, j));
    }
    m.strips.push_back(s);
  }
  return m;
}

// Latitude-longitude sphere: `rings` bands from pole to pole, `segments`
// around; the bands between rings are strips, each pole triangle a strip of
// its own.
StripModel sphere(int segments, int rings, double radius) {
  StripModel m;
  m.points.push_back({0, 0, radius});  // north pole
  for (int k = 1; k < rings; ++k) {
    double theta = kPi * k / rings;
    for (int j = 0; j < segments; ++j) {
      double phi = 2.0 * kPi * j / segments;
      m.points.push_back({radius * std::sin(theta) * std::cos(phi), radius * std::sin(theta) * std::sin(phi),
                          radius * std::cos(theta)});
    }
  }
  const int south = static_cast<int>(m.points.size());
  m.points.push_back({0, 0, -radius});
  auto at = [&](int k, int j) { return 1 + (k - 1) * segments + (j % segments); };
  for (int j = 0; j < segments; ++j) m.strips.push_back({0, at(1, j), at(1, j + 1)});
  for (int k = 1; k + 1 < rings; ++k) {
    std::vector<int> s;
    for (int j = 0; j <= segments; ++j) {
      s.push_back(at(k, j));
      s.push_back(at(k + 1, j));
    }
    m.strips.push_back(s);
  }
  for (int j = 0; j < segments; ++j) m.strips.push_back({south, at(rings - 1, j + 1), at(rings - 1, j)});
  return m;
}

// A unit sphere with a few smooth bumps: the six faces of a cube, each an
// n x n grid in equal-angle coordinates, projected onto the sphere and pushed
// out by a sum of low-frequency sines of the direction. Grid rows are strips;
// the cube's edges share their vertices, so the surface is closed.
StripModel blob(int n) {
  StripModel m;
  std::map<std::tuple<int, int, int>, int> index;  // integer cube point -> vertex
  auto vertex = [&](int a, int b, int c) {
    auto key = std::make_tuple(a, b, c);
    auto found = index.find(key);
    if (found != index.end()) return found->second;
    // Equal-angle warp keeps the cells of similar size over the sphere.
    double x = std::tan(kPi / 4 * a / n), y = std::tan(kPi / 4 * b / n), z = std::tan(kPi / 4 * c / n);
    double len = std::sqrt(x * x + y * y + z * z);
    x /= len, y /= len, z /= len;
    double r = 1.0 + 0.16 * std::sin(3.0 * x + 0.4) * std::cos(2.0 * y) + 0.12 * std::sin(2.5 * z + 1.0) +
               0.08 * std::cos(4.0 * x * z);
    int id = static_cast<int>(m.points.size());
    m.points.push_back({r * x, r * y, r * z});
    index.emplace(key, id);
    return id;
  };
  // Each face: outward axis N and in-face axes U, V with U x V = N.
  const int faces[6][3][3] = {
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
  };
  for (const auto& f : faces) {
    auto grid = [&](int s, int t) {
      int p[3];
      for (int a = 0; a < 3; ++a) p[a] = n * f[0][a] + (2 * s - n) * f[1][a] + (2 * t - n) * f[2][a];
      return vertex(p[0], p[1], p[2]);
    };
    for (int t = 0; t < n; ++t) {
      std::vector<int> s;
      for (int i = 0; i <= n; ++i) {
        s.push_back(grid(i, t + 1));
        s.push_back(grid(i, t));
      }
      m.strips.push_back(s);
    }
  }
  return m;
}

bool write(const std::string& path, const StripModel& m, const char* description) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::printf("linfold-make-samples: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  std::fprintf(f, "#Inventor V2.1 ascii\n\n");
  std::fprintf(f, "# %s: %d vertices, %d triangles in %d strips.\n\n", description, static_cast<int>(m.points.size()),
               m.triangleCount(), static_cast<int>(m.strips.size()));
  std::fprintf(f, "Separator {\n  Coordinate3 {\n    point [\n");
  for (size_t i = 0; i < m.points.size(); ++i) {
    const Vec3& p = m.points[i];
    // Adding 0.0 turns a negative zero into zero.
    std::fprintf(f, "      %.6g %.6g %.6g%s\n", p.x + 0.0, p.y + 0.0, p.z + 0.0, i + 1 < m.points.size() ? "," : "");
  }
  std::fprintf(f, "    ]\n  }\n  IndexedTriangleStripSet {\n    coordIndex [\n");
  for (size_t k = 0; k < m.strips.size(); ++k) {
    std::fprintf(f, "     ");
    for (int i : m.strips[k]) std::fprintf(f, " %d,", i);
    std::fprintf(f, " -1%s\n", k + 1 < m.strips.size() ? "," : "");
  }
  std::fprintf(f, "    ]\n  }\n}\n");
  bool ok = std::ferror(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::printf("linfold-make-samples: error while writing %s\n", path.c_str());
    return false;
  }
  std::printf("%s: %d triangles\n", path.c_str(), m.triangleCount());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::printf("usage: linfold-make-samples [OUTPUT_DIR]\n");
    return 2;
  }
  std::string dir = argc == 2 ? argv[1] : "data";
  bool ok =
      write(dir + "/torus.iv", torus(64, 24, 1.0, 0.35, kPi / 3), "Torus, R = 1, r = 0.35, axis tilted by 60 degrees");
  ok = write(dir + "/sphere.iv", sphere(48, 32, 1.0), "Unit sphere") && ok;
  ok = write(dir + "/blob.iv", blob(16), "Bumpy sphere") && ok;
  return ok ? 0 : 1;
}
