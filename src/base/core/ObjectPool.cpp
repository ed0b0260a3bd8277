#include "core/ObjectPool.h"

#include <cstdio>
#include <cstdlib>
#include <new>

ObjectPool::ObjectPool(const char* name, std::size_t elementSize, std::size_t alignment)
    : poolName(name) {
  align = alignment < alignof(void*) ? alignof(void*) : alignment;
  std::size_t size = elementSize < sizeof(void*) ? sizeof(void*) : elementSize;
  stride = (size + align - 1) / align * align;
}

ObjectPool::~ObjectPool() {
  if (liveCount > 0) {
    std::printf("Warning: %s leaked memory (%i element%s)!\n", poolName ? poolName : "a pool",
                liveCount, liveCount >= 2 ? "s" : "");
    std::fflush(stdout);
  }
  while (chunks) {
    Chunk* next = chunks->next;
    ::operator delete(chunks->memory, std::align_val_t(align));
    delete chunks;
    chunks = next;
  }
  freeHead = nullptr;
}

void* ObjectPool::take() {
  if (!freeHead) {
    void* memory = ::operator new(stride * chunkElements, std::align_val_t(align), std::nothrow);
    Chunk* chunk = memory ? new (std::nothrow) Chunk{chunks, memory} : nullptr;
    if (!chunk) {
      if (memory) ::operator delete(memory, std::align_val_t(align));
      std::printf("Error: %s could not allocate memory!\n", poolName ? poolName : "a pool");
      return nullptr;
    }
    chunks = chunk;
    // Push in reverse so that the element with the highest address is taken first.
    char* base = static_cast<char*>(memory);
    for (int i = 0; i < chunkElements; ++i) {
      void* element = base + stride * i;
      *static_cast<void**>(element) = freeHead;
      freeHead = element;
    }
  }
  void* element = freeHead;
  freeHead = *static_cast<void**>(element);
  ++liveCount;
  return element;
}

void ObjectPool::giveBack(void* element) {
  if (!element) return;
  *static_cast<void**>(element) = freeHead;
  freeHead = element;
  --liveCount;
}

int ObjectPool::chunkCount() const {
  int n = 0;
  for (Chunk* c = chunks; c; c = c->next) ++n;
  return n;
}
