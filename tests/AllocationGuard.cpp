#include "AllocationGuard.h"

#include <cstdlib>
#include <new>

namespace {
std::size_t refuseBytes = 0;
int refusals = 0;
std::size_t hookBytes = 0;
void (*hook)() = nullptr;
}  // namespace

namespace allocation {

void refuseFrom(std::size_t bytes, int times) {
  refuseBytes = bytes;
  refusals = times;
}

void onSize(std::size_t bytes, void (*h)()) {
  hookBytes = bytes;
  hook = h;
}

void disarm() {
  refusals = 0;
  hook = nullptr;
}

}  // namespace allocation

// The library frees with delete what new gave; both go to malloc and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (hook && n == hookBytes) {
    void (*h)() = hook;
    hook = nullptr;
    h();
  }
  if (refusals != 0 && n >= refuseBytes) {
    if (refusals > 0) --refusals;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// Every other plain form, so that no block crosses between this pair and another allocator's (the address sanitizer
// brings its own).
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return operator new(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
