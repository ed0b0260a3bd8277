#include "output/SoLineOutputSvgHQ.h"

#include "output/ContourArcHQ.h"
#include "output/ContourLineHQ.h"
#include "output/SbSvgWriter.h"
#include "output/SoLineOutputPdfHQ.h"

SO_NODE_SOURCE(SoLineOutputSvgHQ);

void SoLineOutputSvgHQ::initClass() { SO_NODE_INIT_CLASS(SoLineOutputSvgHQ, SoLineOutputHQ, "SoLineOutputHQ"); }

SoLineOutputSvgHQ::SoLineOutputSvgHQ() { SO_NODE_CONSTRUCTOR(SoLineOutputSvgHQ); }

SoLineOutputSvgHQ::~SoLineOutputSvgHQ() = default;

bool SoLineOutputSvgHQ::beginOutput(int width, int height) {
  // The page of the PDF snapshot: its box rounded to whole points, its
  // scale, the viewport centre at the centre of the box.
  scale = SoLineOutputPdfHQ::pageScale(width, height);
  const int boxWidth = static_cast<int>(width * scale + 0.5);
  const int boxHeight = static_cast<int>(height * scale + 0.5);
  shiftX = boxWidth * 0.5;
  shiftY = boxHeight * 0.5;
  svg.reset(new SbSvgWriter(boxWidth, boxHeight));
  silhouetteLayer = svg->addLayer("silhouettes");
  hatchingLayer = svg->addLayer("hatching");
  dotLayer = svg->addLayer("dots");
  outlineLayer = hatchingLayer;
  return true;
}

void SoLineOutputSvgHQ::beginLines(LineOrigin origin) {
  outlineLayer = origin == LO_STORED ? silhouetteLayer : hatchingLayer;
}

void SoLineOutputSvgHQ::fillContour() {
  if (!svg) {
    pieces.clear();
    return;
  }
  svg->setLayer(outlineLayer);
  for (ContourPieceHQ* p = pieces.take(); p;) {
    if (const ContourLineHQ* line = dynamic_cast<const ContourLineHQ*>(p)) {
      svg->lineTo(line->x * scale + shiftX, line->y * scale + shiftY);
    } else if (const ContourArcHQ* arc = dynamic_cast<const ContourArcHQ*>(p)) {
      svg->arcTo(arc->cx * scale + shiftX, arc->cy * scale + shiftY, arc->radius * scale, arc->start, arc->end);
    }
    p = p->release();
  }
  svg->closePath();
  svg->fillPath();
}

void SoLineOutputSvgHQ::drawDot(const SbVec3f& centre, float radius) {
  if (!svg) return;
  svg->setLayer(dotLayer);
  svg->circle(centre[0] * scale + shiftX, centre[1] * scale + shiftY, radius * scale);
}

bool SoLineOutputSvgHQ::endOutput() {
  if (!svg) return false;
  const bool written = svg->write(filename.getValue().getString(), &outputError);
  svg.reset();
  return written;
}
