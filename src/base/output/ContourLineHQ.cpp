#include "output/ContourLineHQ.h"

#include <new>

#include "output/SbTgaRasterHQ.h"
#include "pdf/PdfDocument.h"

TypedObjectPool<ContourLineHQ> ContourLineHQ::pool("ContourLineHQ::pool");

ContourLineHQ* ContourLineHQ::create(float x, float y) {
  void* memory = pool.ObjectPool::take();
  return memory ? new (memory) ContourLineHQ(x, y) : nullptr;
}

ContourPieceHQ* ContourLineHQ::release() {
  ContourPieceHQ* following = next;
  this->~ContourLineHQ();
  pool.ObjectPool::giveBack(this);
  return following;
}

ContourPieceHQ* ContourLineHQ::emitPolygon(SbTgaRasterHQ& raster) {
  raster.addLineTo(x, y);
  return release();
}

ContourPieceHQ* ContourLineHQ::emitPdf(PdfDocument* doc, bool isFirst) {
  if (isFirst)
    cpdf_rawMoveto(doc, x, y);
  else
    cpdf_rawLineto(doc, x, y);
  return release();
}
