#ifndef LINFOLD_SOLINEOUTPUTSVGHQ_H
#define LINFOLD_SOLINEOUTPUTSVGHQ_H

#include <memory>

#include "output/SoLineOutputHQ.h"

class SbSvgWriter;

// Writes the HQ ink of the current view as a one-page SVG, shape for shape
// as the PDF snapshot draws it: every solid run one black path of straight
// edges and circular arcs filled with the non-zero rule (so the varying
// widths survive), every dot a black circle. Page size and scale are those
// of SoLineOutputPdfHQ (the viewport fitted to an A4 sheet, in points).
//
// The shapes lie in three layers, in this order: "silhouettes" (the outlines
// of the stored lines: silhouettes and sharp edges), "hatching" (the outlines
// of the lines merged in after them, and of every line when their origin is
// not known) and "dots" (every round dot).
class SoLineOutputSvgHQ : public SoLineOutputHQ {
  typedef SoLineOutputHQ inherited;
  SO_NODE_HEADER(SoLineOutputSvgHQ);

 public:
  static void initClass();
  SoLineOutputSvgHQ();

 protected:
  ~SoLineOutputSvgHQ() override;

  void fillContour() override;
  void drawDot(const SbVec3f& centre, float radius) override;
  bool beginOutput(int width, int height) override;
  bool endOutput() override;
  void beginLines(LineOrigin origin) override;

 private:
  std::unique_ptr<SbSvgWriter> svg;
  // Pixels about the viewport centre to page points: scale, then shift.
  double scale = 1.0;
  double shiftX = 0.0, shiftY = 0.0;
  // The writer's layers, and the one outlines go to now.
  int silhouetteLayer = -1, hatchingLayer = -1, dotLayer = -1;
  int outlineLayer = -1;
};

#endif
