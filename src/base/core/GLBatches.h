#ifndef LINFOLD_GLBATCHES_H
#define LINFOLD_GLBATCHES_H

// Large draws from client-side arrays, sent in batches. GL copies the client
// arrays of a draw into a buffer of the draw's size, and a software
// rasteriser (Mesa's llvmpipe) bins every triangle it has been sent before it
// draws any: a million triangles in one call hold some 40 MB. Batches of
// kDrawBatch primitives keep both small; the primitives go in the same order,
// so the picture is the same.

#include <Inventor/system/gl.h>

#include <algorithm>
#include <cstddef>

constexpr std::size_t kDrawBatch = 32768;

// glDrawElements(GL_TRIANGLES) of `count` indices (a multiple of 3), batch
// after batch, each flushed so that the rasteriser draws and frees it before
// the next.
template <class Index>
void drawTriangleBatches(const Index* indices, std::size_t count) {
  static_assert(sizeof(Index) == sizeof(GLuint), "indices are sent as GL_UNSIGNED_INT");
  const std::size_t batch = 3 * kDrawBatch;
  for (std::size_t first = 0; first < count; first += batch) {
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(std::min(batch, count - first)), GL_UNSIGNED_INT,
                   indices + first);
    glFlush();
  }
}

// glDrawArrays(GL_LINES) of `count` vertices (two per line), batch after
// batch. Not flushed: for the flow-field marks, flushing each batch was
// measured slower than what it saved.
inline void drawLineBatches(GLint count) {
  const GLint batch = 2 * static_cast<GLint>(kDrawBatch);
  for (GLint first = 0; first < count; first += batch) glDrawArrays(GL_LINES, first, std::min(batch, count - first));
}

#endif
