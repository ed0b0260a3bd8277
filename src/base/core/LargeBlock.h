#ifndef LINFOLD_LARGEBLOCK_H
#define LINFOLD_LARGEBLOCK_H

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

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

// Faults in, on a second thread, the pages of address ranges that the
// calling thread is about to fill from their top ends down. The kernel zeroes
// a fresh page when it is first written, and on a virtual machine that also
// has to back the page this is the slowest part of building a large model in
// one thread. The populator works from the low ends up (MADV_POPULATE_WRITE:
// pages made present and writable, their contents left as they are), so the
// two threads share the zeroing and meet in the middle. It stops, leaving the
// rest to first writes, when it is destroyed, when the kernel does not know
// the request, or at the end of the ranges.
class PagePopulator {
 public:
  // Ranges [low, high), populated in the order given.
  explicit PagePopulator(std::vector<std::pair<char*, char*>> ranges);
  ~PagePopulator();
  PagePopulator(const PagePopulator&) = delete;
  PagePopulator& operator=(const PagePopulator&) = delete;

 private:
  std::atomic<bool> stop{false};
  std::thread worker;
};

#endif
