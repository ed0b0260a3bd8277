#ifndef LINFOLD_LARGEBLOCK_H
#define LINFOLD_LARGEBLOCK_H

#include <cstddef>
#include <memory>

// Memory for the large arrays of the mesh stages (pool blocks, face frames,
// collider entries). A block of 2 MB or more is aligned to 2 MB and marked
// for transparent huge pages, which this system gives on request: a 200 MB
// array then costs a hundred page faults instead of fifty thousand, a tenth
// of the time of building a million-triangle model. Smaller blocks come from
// the heap as usual. Null when the memory cannot be had.
void* allocateLarge(std::size_t bytes, std::size_t alignment);
void freeLarge(void* block);

struct LargeBlockDeleter {
  void operator()(void* block) const { freeLarge(block); }
};

// An array of n default-initialised (not zero-filled) trivial records in a
// large block; null when the memory cannot be had.
template <class T>
std::unique_ptr<T[], LargeBlockDeleter> allocateLargeArray(std::size_t n) {
  if (n > ~std::size_t(0) / sizeof(T)) return nullptr;
  T* block = static_cast<T*>(allocateLarge(n * sizeof(T), alignof(T)));
  if (block) std::uninitialized_default_construct_n(block, n);
  return std::unique_ptr<T[], LargeBlockDeleter>(block);
}

#endif
