#include "lines/SbLineDepthCache.h"

#include <algorithm>
#include <cmath>

namespace {
inline int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

void SbLineDepthCache::reset(int x, int y, int width, int height, TileReader reader) {
  vx = x;
  vy = y;
  vw = std::max(0, width);
  vh = std::max(0, height);
  read = std::move(reader);
  reads = 0;
  tiles.clear();
  if (vw == 0 || vh == 0) {
    tilesX = tilesY = 0;
    return;
  }
  tx0 = floorDiv(vx, kTile);
  ty0 = floorDiv(vy, kTile);
  tilesX = floorDiv(vx + vw - 1, kTile) - tx0 + 1;
  tilesY = floorDiv(vy + vh - 1, kTile) - ty0 + 1;
  tiles.resize(size_t(tilesX) * tilesY);
}

float* SbLineDepthCache::tile(int tx, int ty) {
  std::unique_ptr<float[]>& t = tiles[size_t(ty - ty0) * tilesX + (tx - tx0)];
  if (!t) {
    t.reset(new float[kTile * kTile]);
    std::fill(t.get(), t.get() + kTile * kTile, -1.0f);
    // The tile's rectangle, clamped to the viewport.
    const int x0 = std::max(tx * kTile, vx), y0 = std::max(ty * kTile, vy);
    const int x1 = std::min(tx * kTile + kTile, vx + vw), y1 = std::min(ty * kTile + kTile, vy + vh);
    const int w = x1 - x0, h = y1 - y0;
    if (w > 0 && h > 0 && read) {
      std::vector<float> buffer(size_t(w) * h, -1.0f);
      read(x0, y0, w, h, buffer.data());
      ++reads;
      for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
          const float d = buffer[size_t(row) * w + col];
          t[(y0 - ty * kTile + row) * kTile + (x0 - tx * kTile + col)] = std::isfinite(d) ? d : -1.0f;
        }
    }
  }
  return t.get();
}

float SbLineDepthCache::depth(int x, int y) {
  if (!inside(x, y)) return -1.0f;
  const int tx = floorDiv(x, kTile), ty = floorDiv(y, kTile);
  return tile(tx, ty)[(y - ty * kTile) * kTile + (x - tx * kTile)];
}

float SbLineDepthCache::neighbourhoodMax(int x, int y) {
  if (!inside(x, y)) return -1.0f;
  float best = -1.0f;
  const int tx = floorDiv(x, kTile), ty = floorDiv(y, kTile);
  const int col = x - tx * kTile, row = y - ty * kTile;
  if (col > 0 && col < kTile - 1 && row > 0 && row < kTile - 1 && inside(x - 1, y - 1) && inside(x + 1, y + 1)) {
    // The whole neighbourhood lies in one tile and in the viewport.
    const float* t = tile(tx, ty) + (row - 1) * kTile + col - 1;
    for (int dy = 0; dy < 3; ++dy, t += kTile) best = std::max(best, std::max(t[0], std::max(t[1], t[2])));
    return best;
  }
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (inside(x + dx, y + dy)) best = std::max(best, depth(x + dx, y + dy));
  return best;
}

bool SbLineDepthCache::visible(double x, double y, double d, float slack) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(d)) return false;
  if (x < vx || y < vy || x >= double(vx) + vw || y >= double(vy) + vh) return false;
  const float best = neighbourhoodMax(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
  return best >= 0.0f && d <= double(best) + slack;
}
