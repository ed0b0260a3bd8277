#include "core/ObjectPool.h"

#include <climits>
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
  while (blocks) {
    Block* next = blocks->next;
    ::operator delete(blocks->memory, std::align_val_t(align));
    delete blocks;
    blocks = next;
  }
  freeHead = nullptr;
}

bool ObjectPool::addBlock(long chunkCount) {
  if (chunkCount < 1 || chunkCount > (long(INT_MAX) - chunkTotal)) return false;
  const std::size_t bytes = stride * chunkElements * static_cast<std::size_t>(chunkCount);
  if (bytes / chunkCount != stride * chunkElements) return false;
  void* memory = ::operator new(bytes, std::align_val_t(align), std::nothrow);
  Block* block = memory ? new (std::nothrow) Block{blocks, memory, chunkCount} : nullptr;
  if (!block) {
    if (memory) ::operator delete(memory, std::align_val_t(align));
    return false;
  }
  blocks = block;
  chunkTotal += static_cast<int>(chunkCount);
  // Push in address order so that the element with the highest address is taken first.
  char* base = static_cast<char*>(memory);
  const long elements = chunkCount * chunkElements;
  for (long i = 0; i < elements; ++i) {
    void* element = base + stride * i;
    *static_cast<void**>(element) = freeHead;
    freeHead = element;
  }
  freeElements += static_cast<int>(elements);
  return true;
}

bool ObjectPool::reserve(long count) {
  if (count <= freeElements) return true;
  const long missing = count - freeElements;
  return addBlock((missing + chunkElements - 1) / chunkElements);
}

void* ObjectPool::take() {
  if (!freeHead && !addBlock(1)) {
    std::printf("Error: %s could not allocate memory!\n", poolName ? poolName : "a pool");
    return nullptr;
  }
  void* element = freeHead;
  freeHead = *static_cast<void**>(element);
  ++liveCount;
  --freeElements;
  return element;
}

void ObjectPool::giveBack(void* element) {
  if (!element) return;
  *static_cast<void**>(element) = freeHead;
  freeHead = element;
  --liveCount;
  ++freeElements;
}
