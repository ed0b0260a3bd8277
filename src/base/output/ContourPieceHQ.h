#ifndef LINFOLD_CONTOURPIECEHQ_H
#define LINFOLD_CONTOURPIECEHQ_H

// Pieces of a closed ink outline (straight edges and circular arcs, in pixels
// relative to the viewport centre, y up) and the singly linked list that
// collects them. Pieces live in pools; emitting a piece hands it back.

struct PdfDocument;
class SbTgaRasterHQ;

class ContourPieceHQ {
 public:
  ContourPieceHQ* next = nullptr;

  // Appends the piece to the raster's contour under construction, gives the
  // record back to its pool and returns the next piece.
  virtual ContourPieceHQ* emitPolygon(SbTgaRasterHQ& raster) = 0;
  // Appends the piece to the current PDF path (the first piece of a path
  // starts it with a move), gives the record back and returns the next piece.
  virtual ContourPieceHQ* emitPdf(PdfDocument* doc, bool isFirst) = 0;
  // Gives the record back to its pool without emitting it; returns the next.
  virtual ContourPieceHQ* release() = 0;

 protected:
  ContourPieceHQ() = default;
  virtual ~ContourPieceHQ() = default;
};

// The outline under construction: prepend puts a piece at the head, append at
// the tail, so that one side of a stroke can grow backwards and the other
// forwards and the list runs once around the stroke.
struct ContourListHQ {
  ContourPieceHQ* head = nullptr;
  ContourPieceHQ* tail = nullptr;
  int count = 0;

  void prepend(ContourPieceHQ* piece) {
    if (!piece) return;
    piece->next = head;
    head = piece;
    if (!tail) tail = piece;
    ++count;
  }
  void append(ContourPieceHQ* piece) {
    if (!piece) return;
    piece->next = nullptr;
    if (tail)
      tail->next = piece;
    else
      head = piece;
    tail = piece;
    ++count;
  }
  bool empty() const { return head == nullptr; }
  // Detaches the pieces (the caller emits or releases them from the head).
  ContourPieceHQ* take() {
    ContourPieceHQ* first = head;
    head = tail = nullptr;
    count = 0;
    return first;
  }
  // Gives every piece back to its pool.
  void clear() {
    for (ContourPieceHQ* p = take(); p;) p = p->release();
  }
};

#endif
