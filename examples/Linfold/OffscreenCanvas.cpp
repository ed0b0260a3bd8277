#include "OffscreenCanvas.h"

#include <QImage>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/misc/SoContextHandler.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <GL/gl.h>

namespace render {

OffscreenCanvas::OffscreenCanvas(SoNode* scene)
    : view(new SoSeparator), camera(new SoOrthographicCamera) {
  view->ref();
  SoDirectionalLight* headlight = new SoDirectionalLight;
  headlight->direction.setValue(1.0f, -1.0f, -10.0f);
  view->addChild(headlight);
  view->addChild(camera);
  SoSeparator* holder = new SoSeparator;
  holder->renderCaching = SoSeparator::OFF;
  holder->addChild(scene);
  view->addChild(holder);
}

OffscreenCanvas::~OffscreenCanvas() {
  release();
  view->unref();
}

void OffscreenCanvas::release() {
  if (!context.isValid() || !context.makeCurrent(&surface)) return;
  if (cacheContext) SoContextHandler::destructingContext(cacheContext);
  cacheContext = 0;
  fbo.reset();
  context.doneCurrent();
}

bool OffscreenCanvas::create(int w, int h, std::string& error) {
  width = w;
  height = h;
  QSurfaceFormat format;
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  surface.setFormat(format);
  surface.create();
  context.setFormat(format);
  if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
    error = "cannot create an OpenGL context";
    return false;
  }
  QOpenGLFramebufferObjectFormat fboFormat;
  fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
  fboFormat.setInternalTextureFormat(GL_RGBA8);
  fbo.reset(new QOpenGLFramebufferObject(width, height, fboFormat));
  if (!fbo->isValid()) {
    error = "cannot create a " + std::to_string(width) + " x " + std::to_string(height) +
            " framebuffer";
    fbo.reset();
    context.doneCurrent();
    return false;
  }
  cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
  context.doneCurrent();
  return true;
}

SbViewportRegion OffscreenCanvas::viewport() const {
  return SbViewportRegion(static_cast<short>(width), static_cast<short>(height));
}

void OffscreenCanvas::frame(SoNode* scene) { camera->viewAll(scene, viewport()); }

bool OffscreenCanvas::draw(const SbColor& background, QImage* picture, std::string& error) {
  if (!context.makeCurrent(&surface) || !fbo->bind()) {
    error = "cannot make the OpenGL context current";
    return false;
  }
  glViewport(0, 0, width, height);
  glClearColor(background[0], background[1], background[2], 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  // As the application sets it in its viewer: lines over a surface win.
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1.0f, 1.0f);
  {
    SoGLRenderAction render(viewport());
    render.setCacheContext(cacheContext);
    render.apply(view);
  }
  glFinish();
  bool ok = true;
  if (picture) {
    // Blending leaves the framebuffer's alpha below 1 under translucent
    // lines; a window shows the colour channels alone, so read them as such.
    QImage drawn = fbo->toImage();
    drawn.reinterpretAsFormat(QImage::Format_RGB32);
    *picture = drawn.convertToFormat(QImage::Format_RGB888);
    ok = !picture->isNull();
    if (!ok) error = "cannot read the picture back";
  }
  fbo->release();
  context.doneCurrent();
  return ok;
}

}  // namespace render
