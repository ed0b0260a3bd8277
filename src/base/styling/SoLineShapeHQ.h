#ifndef LINFOLD_SOLINESHAPEHQ_H
#define LINFOLD_SOLINESHAPEHQ_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>
#include <vector>

#include "lines/SbLineSetView.h"
#include "styling/SbInkStrokeBuilderHQ.h"

class SoGLRenderAction;
class SoState;

// Draws the current stroke set on screen as ink: the points of
// SoCoordinateElement joined by the runs of SoLineCoordinateIndexElement,
// with the per-vertex thickness (SoLineThicknessElement) and tone
// (SoLineDensityElementHQ) turned into solid outlines and rows of dots by
// SbInkStrokeBuilderHQ under the current line settings
// (SoLineSettingsElementHQ). All geometry is built in pixels, so widths and
// dot sizes do not depend on the model's scale.
//
// With `glLines` on it draws plain GL line strips instead, coloured as
// `mode` says. Nothing is drawn without line settings, with fewer than two
// index entries or without points. A per-vertex array counts only when it
// holds a value for every index entry that is not -1.
class SoLineShapeHQ : public SoShape {
  typedef SoShape inherited;
  SO_NODE_HEADER(SoLineShapeHQ);

 public:
  // Colouring of the plain line mode.
  enum Mode {
    M_BLACK = 0,       // opaque black
    M_THICK = 1,       // black, alpha = thickness
    M_DENS = 2,        // black, alpha = density
    M_THICK_DENS = 3,  // black, alpha = thickness x density
    M_RESOLUTION = 4   // segments alternately blue and red, to show the sampling
  };

  static void initClass();
  SoLineShapeHQ();

  SoSFFloat resolution;  // largest edge, in pixels, of the polygon of a dot
  SoSFBool glLines;      // plain GL line strips instead of ink
  SoSFEnum mode;         // colouring of the plain line mode

  // While on, GL lines are drawn smoothed with the nicest hint. Not a field:
  // the application's antialiasing switch sets it.
  bool lineSmoothing = false;
  void setLineSmoothing(bool on) { lineSmoothing = on; }

  // The mode the plain line mode uses when thickness or density values are
  // missing: a colouring by a missing quantity falls back to what is there,
  // or to black.
  static Mode effectiveMode(Mode requested, bool hasThickness, bool hasDensity);

  // The ink geometry of the last ink-mode render (pixels).
  const SbInkStrokeBuilderHQ& inkGeometry() const { return ink; }

  void GLRender(SoGLRenderAction* action) override;

 protected:
  ~SoLineShapeHQ() override;
  // The strokes come from the state, not from the node: no box of its own.
  void computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) override;
  void generatePrimitives(SoAction* action) override;

 private:
  void drawLines(const SbLineSetView& lines);
  void buildInk(SoState* state, const SbLineSetView& lines);
  void drawInk(SoGLRenderAction* action);

  SbInkStrokeBuilderHQ ink;
  std::vector<int32_t> dotIndex;    // the dot fans as triangles
  SbLineSetView lines;              // this frame's set, read in place
  std::vector<SbVec3f> pointStore;  // the points when the state holds doubles
};

#endif
