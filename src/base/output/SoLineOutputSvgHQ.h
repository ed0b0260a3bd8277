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

 private:
  std::unique_ptr<SbSvgWriter> svg;
  // Pixels about the viewport centre to page points: scale, then shift.
  double scale = 1.0;
  double shiftX = 0.0, shiftY = 0.0;
};

#endif
