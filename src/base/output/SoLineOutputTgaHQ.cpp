#include "output/SoLineOutputTgaHQ.h"

SO_NODE_SOURCE(SoLineOutputTgaHQ);

void SoLineOutputTgaHQ::initClass() { SO_NODE_INIT_CLASS(SoLineOutputTgaHQ, SoLineOutputHQ, "SoLineOutputHQ"); }

SoLineOutputTgaHQ::SoLineOutputTgaHQ() { SO_NODE_CONSTRUCTOR(SoLineOutputTgaHQ); }

SoLineOutputTgaHQ::~SoLineOutputTgaHQ() = default;

bool SoLineOutputTgaHQ::beginOutput(int width, int height) { return raster.begin(width, height); }

void SoLineOutputTgaHQ::fillContour() {
  if (pieces.empty()) return;
  for (ContourPieceHQ* p = pieces.take(); p;) p = p->emitPolygon(raster);
  raster.fillContour();
}

void SoLineOutputTgaHQ::drawDot(const SbVec3f& centre, float radius) { raster.drawDot(centre[0], centre[1], radius); }

bool SoLineOutputTgaHQ::endOutput() {
  const bool written = raster.write(filename.getValue().getString(), &outputError);
  raster.release();
  return written;
}
