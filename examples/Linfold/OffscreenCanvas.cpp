#include "OffscreenCanvas.h"

#include <QImage>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/misc/SoContextHandler.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>

#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "FramingPoints.h"
#include "mesh/SoGenerateWingedEdge.h"

namespace render {

namespace {

const SbVec3f kHeadlight(1.0f, -1.0f, -10.0f);  // in eye space: from the upper left

// The camera's turn for a view: its x (right), y (up) and z (towards the
// viewer) axes in world space as the rows of a matrix.
SbRotation cameraTurn(const View& v) {
  // The frame at 0,0,0 for each up axis: right, up, towards the viewer; the
  // z-up and x-up frames are the y-up frame turned so that y becomes z or x.
  SbVec3f right(1, 0, 0), up(0, 1, 0), back(0, 0, 1);
  if (v.up == 'z') up.setValue(0, 0, 1), back.setValue(0, -1, 0);
  if (v.up == 'x') right.setValue(0, -1, 0), up.setValue(1, 0, 0);
  const float degree = static_cast<float>(M_PI / 180.0);
  const float az = v.azimuth * degree, el = v.elevation * degree, roll = v.roll * degree;
  // Azimuth about the up axis, from the front towards the right.
  SbVec3f b = back * std::cos(az) + right * std::sin(az);
  const SbVec3f r = right * std::cos(az) - back * std::sin(az);
  // Elevation raises the camera above the horizon.
  b = b * std::cos(el) + up * std::sin(el);
  SbVec3f u = b.cross(r);
  // Roll: the camera turns clockwise about its line of sight, so the picture
  // turns counter-clockwise.
  const SbVec3f rr = r * std::cos(roll) - u * std::sin(roll);
  u = b.cross(rr);
  SbVec3f x = rr, y = u, z = b;
  x.normalize(), y.normalize(), z.normalize();
  const SbMatrix m(x[0], x[1], x[2], 0, y[0], y[1], y[2], 0, z[0], z[1], z[2], 0, 0, 0, 0, 1);
  return SbRotation(m);
}

}  // namespace

OffscreenCanvas::OffscreenCanvas(SoNode* scene, bool perspective)
    : view(new SoSeparator), headlight(new SoDirectionalLight) {
  view->ref();
  if (perspective)
    camera = new SoPerspectiveCamera;
  else
    camera = new SoOrthographicCamera;
  // The camera's aspect is the picture's: nothing is widened behind our back.
  camera->viewportMapping = SoCamera::LEAVE_ALONE;
  // A light before the camera shines in world space; frame() turns it with
  // the camera so that it stays a headlight.
  headlight->direction = kHeadlight;
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
    error = "cannot create a " + std::to_string(width) + " x " + std::to_string(height) + " framebuffer";
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

void OffscreenCanvas::frame(SoNode* geometry, const View& v) {
  const SbRotation turn = cameraTurn(v);
  SbVec3f axis[3];
  turn.multVec(SbVec3f(1, 0, 0), axis[0]);
  turn.multVec(SbVec3f(0, 1, 0), axis[1]);
  turn.multVec(SbVec3f(0, 0, 1), axis[2]);
  SbVec3f light;
  turn.multVec(kHeadlight, light);
  headlight->direction = light;
  camera->orientation = turn;
  const float aspect = static_cast<float>(width) / static_cast<float>(height);
  camera->aspectRatio = aspect;

  SoGetBoundingBoxAction bounds(viewport());
  bounds.apply(geometry);
  const SbBox3f box = bounds.getBoundingBox();
  if (box.isEmpty()) return;
  const SbVec3f centre = box.getCenter();
  // The triangles as Coin gives them (with the GL context current, as
  // tessellation may need); the box's corners when there are none.
  std::vector<SbVec3f> points;
  if (context.makeCurrent(&surface)) {
    const SoGenerateWingedEdge::NurbsContextLoan loan;  // NURBS surfaces tessellated here too
    points = framingPoints(geometry, viewport());
    context.doneCurrent();
  }
  if (points.empty()) {
    const SbVec3f& lo = box.getMin();
    const SbVec3f& hi = box.getMax();
    for (int k = 0; k < 8; ++k)
      points.emplace_back(k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]);
  }
  // Extent in the camera's axes, about the centre.
  SbVec3f lo(FLT_MAX, FLT_MAX, FLT_MAX), hi(-FLT_MAX, -FLT_MAX, -FLT_MAX);
  for (const SbVec3f& p : points)
    for (int i = 0; i < 3; ++i) {
      const float c = (p - centre).dot(axis[i]);
      lo[i] = std::min(lo[i], c);
      hi[i] = std::max(hi[i], c);
    }
  const float size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
  if (!(size > 0.0f)) return;
  const float fill = v.fill > 0.0f ? v.fill : 1.0f;
  const float margin = 0.01f * size;

  if (camera->isOfType(SoPerspectiveCamera::getClassTypeId())) {
    // The camera stands on the centre's line of sight at the distance D at
    // which the farthest-reaching point just meets `fill` of the picture:
    // a point (x, y, z) in camera axes about the centre shows at
    // x / (D - z) of the view's half width tan(w/2), so D >= z + |x| / (fill tan(w/2)).
    SoPerspectiveCamera* perspective = static_cast<SoPerspectiveCamera*>(camera);
    const float halfHeight = std::tan(perspective->heightAngle.getValue() * 0.5f);
    const float halfWidth = halfHeight * aspect;
    float distance = hi[2] + margin;
    for (const SbVec3f& p : points) {
      const SbVec3f d = p - centre;
      const float x = std::fabs(d.dot(axis[0])), y = std::fabs(d.dot(axis[1])), z = d.dot(axis[2]);
      distance = std::max({distance, z + x / (fill * halfWidth), z + y / (fill * halfHeight)});
    }
    camera->position = centre + axis[2] * distance;
    camera->focalDistance = distance;
    camera->nearDistance = std::max(distance - hi[2] - margin, 1e-3f * size);
    camera->farDistance = distance - lo[2] + margin;
  } else {
    // Orthographic: the view's height h shows the model's height at `fill`
    // and its width (h times the aspect) the model's width, about the middle
    // of its extent.
    const float needHeight = (hi[1] - lo[1]) / fill, needWidth = (hi[0] - lo[0]) / fill;
    const float h = std::max(needHeight, needWidth / aspect);
    const float distance = hi[2] + size;
    camera->position =
        centre + axis[0] * (0.5f * (lo[0] + hi[0])) + axis[1] * (0.5f * (lo[1] + hi[1])) + axis[2] * distance;
    static_cast<SoOrthographicCamera*>(camera)->height = h > 0.0f ? h : size;
    camera->focalDistance = distance;
    camera->nearDistance = distance - hi[2] - margin;
    camera->farDistance = distance - lo[2] + margin;
  }
}

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
