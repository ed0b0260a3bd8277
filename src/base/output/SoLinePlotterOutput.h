#ifndef LINFOLD_SOLINEPLOTTEROUTPUT_H
#define LINFOLD_SOLINEPLOTTEROUTPUT_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFString.h>

#include <string>

#include "core/SbWriteResult.h"
#include "lines/SoLineModifier.h"

class SoAction;
class SoState;
class SbPlotterPaths;

// Writes the current line set for a pen plotter: the centre lines of the
// strokes on the page of the PDF snapshot (same size and scale, in points),
// one path per run, ink dots as short marks, paths that touch merged and
// the drawing order chosen to cut pen-up travel (SbPlotterPaths). As SVG
// polylines or as a plain text file of polylines, in three layers:
// "silhouettes" (the stored lines of the merger, SoLineMergerElementHQ),
// "hatching" (the lines merged in after them, and every line when their
// origin is not known) and "dots".
//
// No path is shorter than the pen is wide: a shorter line is joined to a
// line of its layer whose end it touches, or left out (SbPlotterPaths::
// absorbShort), and a dot's mark is at least the pen width long.
//
// With line settings in the state (SoLineSettingsHQ) only the solid parts of
// the strokes become lines and the lighter parts become their dots, as in the
// HQ snapshot; without, every run is a line and every lone point a dot.
//
// Armed by requestWrite; the next traversal (render or callback action)
// writes and prints the pen-up travel before and after ordering.
class SoLinePlotterOutput : public SoLineModifier, public SbWriteResult {
  typedef SoLineModifier inherited;
  SO_NODE_HEADER(SoLinePlotterOutput);

 public:
  enum Format { SVG = 0, TEXT = 1 };

  // Default pen width, points.
  static constexpr float kPenWidth = 1.0f;
  // Ends closer than this (points) are joined into one path.
  static constexpr float kMergeTolerance = 0.1f;
  // Mark of a lone point when there are no line settings (no radius), points;
  // with them a dot's mark is its diameter. Never shorter than the pen width.
  static constexpr float kDefaultDotMark = 0.5f;

  static void initClass();
  SoLinePlotterOutput();

  SoSFString filename;
  SoSFEnum format;            // SVG or TEXT
  SoSFBool includeDots;       // dots as short marks (TRUE) or left out
  SoSFFloat optimiseSeconds;  // time bound of the 2-opt pass; 0: nearest neighbour only
  SoSFFloat penWidth;         // points; the SVG's stroke width and the shortest path (default kPenWidth)

  // Sets filename and arms the node (an empty path disarms it); forgets the
  // last result. Returns whether the node is armed.
  bool requestWrite(const SbString& path);
  bool isWritePending() const { return writePending; }
  // The result (SbWriteResult): WR_NONE while no pass has run since
  // requestWrite (an armed node that finds no lines stays armed), WR_WRITTEN,
  // or WR_FAILED after a message.

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLinePlotterOutput() override;

 private:
  void outputPass(SoState* state);
  bool writeFile(const SbPlotterPaths& paths, int pageWidth, int pageHeight, float pen, std::string& why);

  bool writePending = false;
};

#endif
