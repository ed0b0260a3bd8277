#ifndef LINFOLD_SBLINEDEPTHCACHE_H
#define LINFOLD_SBLINEDEPTHCACHE_H

#include <functional>
#include <memory>
#include <vector>

// A lazily filled copy of a window's depth buffer: tiles of 32 x 32 pixels,
// aligned to multiples of 32 in window coordinates and clamped to the
// viewport, are read the first time one of their pixels is needed.
class SbLineDepthCache {
 public:
  static constexpr int kTile = 32;
  // Fills w x h depth values of the window rectangle at (x, y), rows from
  // the bottom, as glReadPixels(GL_DEPTH_COMPONENT, GL_FLOAT) does.
  using TileReader = std::function<void(int x, int y, int w, int h, float* out)>;

  // Forgets every tile; the viewport is (x, y, width, height) in window pixels.
  void reset(int x, int y, int width, int height, TileReader reader);

  bool inside(int x, int y) const { return x >= vx && y >= vy && x < vx + vw && y < vy + vh; }
  // Depth at window pixel (x, y), or -1 outside the viewport.
  float depth(int x, int y);
  // Largest depth among the 3 x 3 pixels around (x, y) that lie inside the
  // viewport, or -1 when (x, y) is outside.
  float neighbourhoodMax(int x, int y);
  // A point at window (x, y) with window depth d in [0, 1] is visible when it
  // lies inside the viewport and d <= neighbourhoodMax + slack.
  bool visible(double x, double y, double d, float slack = 0.0f);

  int tilesRead() const { return reads; }
  int viewportWidth() const { return vw; }
  int viewportHeight() const { return vh; }

 private:
  float* tile(int tx, int ty);

  int vx = 0, vy = 0, vw = 0, vh = 0;
  int tx0 = 0, ty0 = 0, tilesX = 0, tilesY = 0;
  TileReader read;
  std::vector<std::unique_ptr<float[]>> tiles;  // kTile x kTile each; unfilled entries negative
  int reads = 0;
};

#endif
