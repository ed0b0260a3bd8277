#ifndef LINFOLD_OFFSCREENCANVAS_H
#define LINFOLD_OFFSCREENCANVAS_H

#include <QOffscreenSurface>
#include <QOpenGLContext>

#include <Inventor/SbColor.h>
#include <Inventor/SbViewportRegion.h>

#include <cstdint>
#include <memory>
#include <string>

#include "RenderOptions.h"

class QImage;
class QOpenGLFramebufferObject;
class SoNode;
class SoCamera;
class SoDirectionalLight;
class SoSeparator;

namespace render {

// An offscreen GL context with a framebuffer object of the picture's size,
// kept for the whole run: Coin's SoOffscreenRenderer cannot create its GLX
// context under Xvfb, a Qt offscreen surface with its own context can. Draws
// a scene as the window's viewer does: under an orthographic (or perspective)
// camera and a headlight from the upper left (direction 1 -1 -10 in eye
// space). Needs a QGuiApplication; goes before the scene it draws, since its
// display lists and textures are released with the context.
class OffscreenCanvas {
 public:
  OffscreenCanvas(SoNode* scene, bool perspective);
  ~OffscreenCanvas();
  OffscreenCanvas(const OffscreenCanvas&) = delete;
  OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;

  // The context and a width x height framebuffer; false with the reason in
  // `error` when either cannot be made.
  bool create(int width, int height, std::string& error);

  // Turns the camera as `view` says and frames `geometry` (the model: its
  // triangles, or its bounding box when it yields none) so that it fills
  // view.fill of the picture's width or height, about the centre of its
  // bounding box. Nothing changes when the geometry has no extent.
  void frame(SoNode* geometry, const View& view);

  // One frame of the scene on the background colour; the picture read back
  // when asked for.
  bool draw(const SbColor& background, QImage* picture, std::string& error);

 private:
  SbViewportRegion viewport() const;
  void release();

  SoSeparator* view;
  SoDirectionalLight* headlight;
  SoCamera* camera;
  int width = 0, height = 0;
  QOffscreenSurface surface;
  QOpenGLContext context;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
  uint32_t cacheContext = 0;
};

}  // namespace render

#endif
