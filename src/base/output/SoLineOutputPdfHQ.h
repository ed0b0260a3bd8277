#ifndef LINFOLD_SOLINEOUTPUTPDFHQ_H
#define LINFOLD_SOLINEOUTPUTPDFHQ_H

#include "output/SoLineOutputHQ.h"

struct PdfDocument;

// Writes the HQ ink of the current view as a one-page vector PDF: each solid
// run one filled black path of straight edges and circular arcs, each dot a
// filled black circle. The page has the viewport's aspect and fits an A4
// sheet (595 x 842 points, turned to landscape for wide viewports).
class SoLineOutputPdfHQ : public SoLineOutputHQ {
  typedef SoLineOutputHQ inherited;
  SO_NODE_HEADER(SoLineOutputPdfHQ);

 public:
  static void initClass();
  SoLineOutputPdfHQ();

  // Scale from pixels to points and the page box "0 0 w h" of a viewport.
  static double pageScale(int width, int height);
  static void pageBox(int width, int height, char* box, int boxSize);

 protected:
  ~SoLineOutputPdfHQ() override;

  void fillContour() override;
  void drawDot(const SbVec3f& centre, float radius) override;
  bool beginOutput(int width, int height) override;
  bool endOutput() override;

 private:
  PdfDocument* doc = nullptr;
};

#endif
