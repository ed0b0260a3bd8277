#ifndef LINFOLD_CONTOURARCHQ_H
#define LINFOLD_CONTOURARCHQ_H

#include "core/ObjectPool.h"
#include "output/ContourPieceHQ.h"

// A circular outline arc about (cx, cy) from angle start to angle end
// (radians; counter-clockwise when end > start). Its start point is joined
// to the previous piece by a straight edge.
class ContourArcHQ : public ContourPieceHQ {
 public:
  // A record from the pool "ContourArcHQ::pool"; null when memory runs out.
  static ContourArcHQ* create(float cx, float cy, float radius, float start, float end);

  ContourPieceHQ* emitPolygon(SbTgaRasterHQ& raster) override;
  ContourPieceHQ* emitPdf(PdfDocument* doc, bool isFirst) override;
  ContourPieceHQ* release() override;

  float cx = 0.0f;
  float cy = 0.0f;
  float radius = 0.0f;
  float start = 0.0f;
  float end = 0.0f;

  static TypedObjectPool<ContourArcHQ> pool;

 private:
  ContourArcHQ(float cx, float cy, float radius, float start, float end)
      : cx(cx), cy(cy), radius(radius), start(start), end(end) {}
  ~ContourArcHQ() override = default;
};

#endif
