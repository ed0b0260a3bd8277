#include "core/LargeBlock.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::uintptr_t kSmallPage = 4096;
}  // namespace

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

PagePopulator::PagePopulator(std::vector<std::pair<char*, char*>> ranges) {
#ifdef MADV_POPULATE_WRITE
  try {
    worker = std::thread([this, ranges = std::move(ranges)] {
      for (const auto& [low, high] : ranges) {
        // Up to each huge-page boundary, so that a request faults in one
        // huge page where the range has them.
        std::uintptr_t p = reinterpret_cast<std::uintptr_t>(low) & ~(kSmallPage - 1);
        const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(high);
        while (p < end && !stop.load(std::memory_order_relaxed)) {
          const std::uintptr_t next = std::min<std::uintptr_t>((p | (kHugePage - 1)) + 1, end);
          if (madvise(reinterpret_cast<void*>(p), next - p, MADV_POPULATE_WRITE) != 0) return;
          p = next;
        }
      }
    });
  } catch (const std::system_error&) {
    // No second thread: the pages are faulted in as they are written.
  }
#else
  (void)ranges;
#endif
}

PagePopulator::~PagePopulator() {
  stop = true;
  if (worker.joinable()) worker.join();
}
