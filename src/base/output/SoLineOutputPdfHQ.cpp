#include "output/SoLineOutputPdfHQ.h"

#include <algorithm>
#include <cstdio>

#include "pdf/PdfDocument.h"

SO_NODE_SOURCE(SoLineOutputPdfHQ);

void SoLineOutputPdfHQ::initClass() { SO_NODE_INIT_CLASS(SoLineOutputPdfHQ, SoLineOutputHQ, "SoLineOutputHQ"); }

SoLineOutputPdfHQ::SoLineOutputPdfHQ() { SO_NODE_CONSTRUCTOR(SoLineOutputPdfHQ); }

SoLineOutputPdfHQ::~SoLineOutputPdfHQ() { cpdf_close(doc); }

double SoLineOutputPdfHQ::pageScale(int width, int height) {
  const float aspect = static_cast<float>(width) / static_cast<float>(height);
  if (aspect <= 842.0f / 595.0f) return std::min(595.0 / width, 842.0 / height);
  return std::min(842.0 / width, 595.0 / height);
}

void SoLineOutputPdfHQ::pageBox(int width, int height, char* box, int boxSize) {
  const double scale = pageScale(width, height);
  std::snprintf(box, static_cast<size_t>(boxSize), "0 0 %i %i", static_cast<int>(width * scale + 0.5),
                static_cast<int>(height * scale + 0.5));
}

bool SoLineOutputPdfHQ::beginOutput(int width, int height) {
  cpdf_close(doc);
  doc = cpdf_open(0, nullptr);
  if (!doc) return false;  // reported by the writer
  cpdf_enableCompression(doc, 1);
  cpdf_init(doc);
  char box[64];
  pageBox(width, height, box, sizeof box);
  if (cpdf_pageInit(doc, 1, PDF_PORTRAIT, box, box) != 0) {
    cpdf_close(doc);
    doc = nullptr;
    return false;
  }
  cpdf_setCreator(doc, "Vell Linfold");
  cpdf_setTitle(doc, "PDF Screenshot");
  cpdf_setKeywords(doc, "");
  // Pixels about the viewport centre become points about the page centre.
  // The box is rounded to whole points, so the view is centred in the box
  // actually written (translating by half the viewport would shift the
  // picture by up to half a point against the page).
  const double scale = pageScale(width, height);
  int boxWidth = 0, boxHeight = 0;
  std::sscanf(box, "0 0 %i %i", &boxWidth, &boxHeight);
  cpdf_scale(doc, scale, scale);
  cpdf_translate(doc, boxWidth / scale * 0.5, boxHeight / scale * 0.5);
  return true;
}

void SoLineOutputPdfHQ::fillContour() {
  if (!doc || pieces.empty()) {
    pieces.clear();
    return;
  }
  // The fill colour is set before the path begins: no colour operator may
  // stand between a path's construction and its fill.
  cpdf_setgray(doc, 0.0);
  bool first = true;
  for (ContourPieceHQ* p = pieces.take(); p; first = false) p = p->emitPdf(doc, first);
  cpdf_closepath(doc);
  cpdf_fill(doc);
}

void SoLineOutputPdfHQ::drawDot(const SbVec3f& centre, float radius) {
  if (!doc) return;
  cpdf_setgray(doc, 0.0);
  cpdf_circle(doc, centre[0], centre[1], radius);
  cpdf_fill(doc);
}

bool SoLineOutputPdfHQ::endOutput() {
  if (!doc) return false;
  cpdf_finalizeAll(doc);
  const bool written = cpdf_savePDFmemoryStreamToFile(doc, filename.getValue().getString(), &outputError);
  cpdf_close(doc);
  doc = nullptr;
  return written;
}
