#ifndef LINFOLD_CHUNKEDARRAY_H
#define LINFOLD_CHUNKEDARRAY_H

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "core/LargeBlock.h"

// A growing array of trivially copyable records in chunks of 2^18: unlike a
// vector it never copies what it holds to grow, and never holds more than
// one chunk it does not use (a vector that grows to ten million records may
// hold twice that, and three halves of it while it moves them). Indexing
// costs one more load. clear() keeps the chunks for the next filling.
template <class T>
class ChunkedArray {
 public:
  static constexpr std::size_t chunkBits = 18;
  static constexpr std::size_t chunkSize = std::size_t(1) << chunkBits;

  T& operator[](std::size_t i) { return chunks[i >> chunkBits][i & (chunkSize - 1)]; }
  const T& operator[](std::size_t i) const { return chunks[i >> chunkBits][i & (chunkSize - 1)]; }
  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }

  void push_back(const T& value) {
    if ((count >> chunkBits) == chunks.size()) {
      chunks.push_back(allocateLargeArray<T>(chunkSize));  // not zero-filled
      if (!chunks.back()) {
        chunks.pop_back();
        throw std::bad_alloc();
      }
    }
    (*this)[count++] = value;
  }
  // Drops the records from n on (n not above size()).
  void truncate(std::size_t n) {
    if (n < count) count = n;
  }
  void clear() { count = 0; }

 private:
  std::vector<std::unique_ptr<T[], LargeBlockDeleter>> chunks;
  std::size_t count = 0;
};

#endif
