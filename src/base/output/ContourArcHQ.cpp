#include "output/ContourArcHQ.h"

#include <new>

#include "output/SbTgaRasterHQ.h"
#include "pdf/PdfDocument.h"

TypedObjectPool<ContourArcHQ> ContourArcHQ::pool("ContourArcHQ::pool");

namespace {
constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;
}

ContourArcHQ* ContourArcHQ::create(float cx, float cy, float radius, float start, float end) {
  void* memory = pool.ObjectPool::take();
  return memory ? new (memory) ContourArcHQ(cx, cy, radius, start, end) : nullptr;
}

ContourPieceHQ* ContourArcHQ::release() {
  ContourPieceHQ* following = next;
  this->~ContourArcHQ();
  pool.ObjectPool::giveBack(this);
  return following;
}

ContourPieceHQ* ContourArcHQ::emitPolygon(SbTgaRasterHQ& raster) {
  raster.addArc(cx, cy, radius, start, end);
  return release();
}

ContourPieceHQ* ContourArcHQ::emitPdf(PdfDocument* doc, bool isFirst) {
  cpdf_arc(doc, cx, cy, radius, start * kDegreesPerRadian, end * kDegreesPerRadian, isFirst ? 1 : 0);
  return release();
}
