#include "core/LargeBlock.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
}

void* allocateLarge(std::size_t bytes, std::size_t alignment) {
  if (bytes == 0) bytes = 1;
  if (alignment < alignof(std::max_align_t)) alignment = alignof(std::max_align_t);
  if (bytes >= kHugePage && alignment < kHugePage) alignment = kHugePage;
  if (bytes > ~std::size_t(0) - alignment) return nullptr;
  // aligned_alloc wants a multiple of the alignment.
  const std::size_t size = (bytes + alignment - 1) / alignment * alignment;
  void* block = std::aligned_alloc(alignment, size);
#ifdef MADV_HUGEPAGE
  // Advice only: where it is refused the block works with small pages.
  if (block && alignment >= kHugePage) madvise(block, size, MADV_HUGEPAGE);
#endif
  return block;
}

void freeLarge(void* block) { std::free(block); }
