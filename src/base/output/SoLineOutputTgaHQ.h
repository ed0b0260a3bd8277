#ifndef LINFOLD_SOLINEOUTPUTTGAHQ_H
#define LINFOLD_SOLINEOUTPUTTGAHQ_H

#include "output/SbTgaRasterHQ.h"
#include "output/SoLineOutputHQ.h"

// Rasterises the HQ ink of the current view into an anti-aliased 8-bit
// greyscale image of the viewport's size (paper 255, ink 0) and writes it as
// an uncompressed TGA file (SbTgaRasterHQ).
class SoLineOutputTgaHQ : public SoLineOutputHQ {
  typedef SoLineOutputHQ inherited;
  SO_NODE_HEADER(SoLineOutputTgaHQ);

 public:
  static void initClass();
  SoLineOutputTgaHQ();

 protected:
  ~SoLineOutputTgaHQ() override;

  void fillContour() override;
  void drawDot(const SbVec3f& centre, float radius) override;
  bool beginOutput(int width, int height) override;
  bool endOutput() override;

 private:
  SbTgaRasterHQ raster;
};

#endif
