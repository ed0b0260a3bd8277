#include "GlTestContext.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/nodes/SoNode.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

namespace gltest {

namespace {
QOffscreenSurface* surface = nullptr;
QOpenGLContext* context = nullptr;
uint32_t cacheContext = 0;
}  // namespace

bool ensureContext() {
  if (context) return context->makeCurrent(surface);
  static int argc = 1;
  static char name[] = "linfold_gl_test";
  static char* argv[] = {name, nullptr};
  if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
  surface = new QOffscreenSurface;
  surface->create();
  context = new QOpenGLContext;
  if (!context->create() || !context->makeCurrent(surface)) return false;
  cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
  return true;
}

void releaseContext() {
  if (context) context->doneCurrent();
}

QImage render(SoNode* root, int width, int height, float background) {
  if (!ensureContext()) return QImage();
  QOpenGLFramebufferObject fbo(width, height, QOpenGLFramebufferObject::CombinedDepthStencil);
  fbo.bind();
  QOpenGLFunctions* gl = context->functions();
  gl->glViewport(0, 0, width, height);
  gl->glClearColor(background, background, background, 1.0f);
  gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl->glEnable(GL_DEPTH_TEST);  // as the viewer sets it up
  SoGLRenderAction action(SbViewportRegion(width, height));
  action.setCacheContext(cacheContext);
  action.apply(root);
  gl->glFinish();
  QImage image = fbo.toImage();
  fbo.release();
  return image;
}

int drawnPixels(const QImage& image, int background) {
  const QRgb grey = qRgb(background, background, background) & RGB_MASK;
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & RGB_MASK) != grey;
  return n;
}

}  // namespace gltest
