#ifndef LINFOLD_GLTESTCONTEXT_H
#define LINFOLD_GLTESTCONTEXT_H

#include <QImage>

class SoNode;

// One offscreen GL context for the tests that render (run them under xvfb-run): a QOffscreenSurface with a current
// QOpenGLContext, and a framebuffer object with a combined depth-stencil attachment per rendering.
namespace gltest {

// Creates the Qt application, the surface and the context once and makes the context current; false when none can be
// made.
bool ensureContext();
// Leaves no GL context current (ensureContext makes it current again).
void releaseContext();

// Clears to the grey level `background` (0..1), enables depth testing as the viewer does, renders `root` with an
// SoGLRenderAction of a width x height viewport and returns the picture.
QImage render(SoNode* root, int width, int height, float background = 0.0f);

// Pixels whose colour differs from the grey level `background` (0..255).
int drawnPixels(const QImage& image, int background = 0);

}  // namespace gltest

#endif
