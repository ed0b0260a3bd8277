#ifndef LINFOLD_CONTOURLINEHQ_H
#define LINFOLD_CONTOURLINEHQ_H

#include "core/ObjectPool.h"
#include "output/ContourPieceHQ.h"

// A straight outline edge to (x, y).
class ContourLineHQ : public ContourPieceHQ {
 public:
  // A record from the pool "ContourLineHQ::pool"; null when memory runs out.
  static ContourLineHQ* create(float x, float y);

  ContourPieceHQ* emitPolygon(SbTgaRasterHQ& raster) override;
  ContourPieceHQ* emitPdf(PdfDocument* doc, bool isFirst) override;
  ContourPieceHQ* release() override;

  float x = 0.0f;
  float y = 0.0f;

  static TypedObjectPool<ContourLineHQ> pool;

 private:
  ContourLineHQ(float x, float y) : x(x), y(y) {}
  ~ContourLineHQ() override = default;
};

#endif
