#include "mesh/SbConnectObjects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "core/Finite.h"
#include "mesh/SbWingedEdgeBuilder.h"

namespace {

struct CellKey {
  int64_t x, y, z;
  bool operator==(const CellKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct CellHash {
  size_t operator()(const CellKey& k) const {
    uint64_t h = static_cast<uint64_t>(k.x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(k.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= static_cast<uint64_t>(k.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return static_cast<size_t>(h);
  }
};

}  // namespace

double SbConnectObjects::modelSize(const SbWingedEdgeModel& model) {
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool any = false;
  for (const WeObject& o : model.objects) {
    for (const WeVertex& v : o.vertices) {
      if (!finite(v.position)) continue;
      for (int c = 0; c < 3; ++c) {
        double x = v.position[c];
        lo[c] = any ? std::min(lo[c], x) : x;
        hi[c] = any ? std::max(hi[c], x) : x;
      }
      any = true;
    }
  }
  return std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
}

bool SbConnectObjects::connect(SbWingedEdgeModel& model) {
  if (model.objects.empty()) return false;
  const double tol = kTolerance * modelSize(model);
  // Cells four tolerances wide: a vertex's partners lie in the cells that its
  // tolerance box touches, nearly always just its own. A zero tolerance (all
  // vertices in one point) joins equal positions only.
  const double cell = tol > 0 ? 4.0 * tol : 1.0;
  const double tol2 = tol * tol;

  std::vector<SbVec3f> positions;
  std::vector<int> offset(model.objects.size() + 1, 0);
  for (size_t i = 0; i < model.objects.size(); ++i)
    offset[i + 1] = offset[i] + static_cast<int>(model.objects[i].vertices.size());
  std::vector<int> representative(offset.back(), -1);

  std::unordered_map<CellKey, int, CellHash> head;  // first vertex in a cell
  head.reserve(offset.back());
  std::vector<int> nextInCell;
  bool joined = false;
  for (size_t i = 0; i < model.objects.size(); ++i) {
    const WeObject& o = model.objects[i];
    for (size_t v = 0; v < o.vertices.size(); ++v) {
      const SbVec3f& p = o.vertices[v].position;
      int& rep = representative[offset[i] + v];
      if (!finite(p)) {  // never joined
        rep = static_cast<int>(positions.size());
        positions.push_back(p);
        nextInCell.push_back(-1);
        continue;
      }
      auto cellOf = [&](double x) { return static_cast<int64_t>(std::floor(x / cell)); };
      const CellKey key{cellOf(p[0]), cellOf(p[1]), cellOf(p[2])};
      const CellKey lo{cellOf(p[0] - tol), cellOf(p[1] - tol), cellOf(p[2] - tol)};
      const CellKey hi{cellOf(p[0] + tol), cellOf(p[1] + tol), cellOf(p[2] + tol)};
      for (int64_t x = lo.x; x <= hi.x && rep < 0; ++x)
        for (int64_t y = lo.y; y <= hi.y && rep < 0; ++y)
          for (int64_t z = lo.z; z <= hi.z && rep < 0; ++z) {
            auto it = head.find(CellKey{x, y, z});
            if (it == head.end()) continue;
            for (int q = it->second; q >= 0 && rep < 0; q = nextInCell[q]) {
              double d2 = 0;
              for (int c = 0; c < 3; ++c) {
                double d = double(positions[q][c]) - double(p[c]);
                d2 += d * d;
              }
              if (d2 <= tol2) rep = q;
            }
          }
      if (rep >= 0) {
        joined = true;
        continue;
      }
      rep = static_cast<int>(positions.size());
      positions.push_back(p);
      auto it = head.find(key);
      nextInCell.push_back(it == head.end() ? -1 : it->second);
      head[key] = rep;
    }
  }
  if (model.objects.size() == 1 && !joined) return false;

  // Our rule: all objects become one, numbered as the first, with coincident
  // vertices joined, so touching parts form one connected surface.
  // A face whose own corners were joined (a pinched face) cannot be linked;
  // consecutive repeats just shorten it, any other repeat drops it.
  std::vector<int> faceStart{0}, corners, walk, sorted;
  int pinched = 0;
  for (size_t i = 0; i < model.objects.size(); ++i) {
    const WeObject& o = model.objects[i];
    for (int f = 0; f < static_cast<int>(o.faces.size()); ++f) {
      o.faceCorners(f, walk);
      const size_t begin = corners.size();
      for (int v : walk) {
        const int r = representative[offset[i] + v];
        if (corners.size() == begin || corners.back() != r) corners.push_back(r);
      }
      while (corners.size() - begin > 1 && corners.back() == corners[begin]) corners.pop_back();
      sorted.assign(corners.begin() + begin, corners.end());
      std::sort(sorted.begin(), sorted.end());
      if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        corners.resize(begin);
        ++pinched;
        continue;
      }
      faceStart.push_back(static_cast<int>(corners.size()));
    }
  }
  if (pinched) std::printf("SbConnectObjects::connect: %d faces pinched by joining vertices were dropped\n", pinched);
  const int number = model.objects.front().number;
  WeObject merged;
  buildWingedEdgeObject(merged, number, std::move(positions), faceStart, corners);
  model.objects.clear();
  model.objects.push_back(std::move(merged));
  return true;
}
