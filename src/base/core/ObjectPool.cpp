#include "core/ObjectPool.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/LargeBlock.h"

ObjectPool::ObjectPool(const char* name, std::size_t elementSize, std::size_t alignment) : poolName(name) {
  align = alignment < alignof(void*) ? alignof(void*) : alignment;
  std::size_t size = elementSize < sizeof(void*) ? sizeof(void*) : elementSize;
  stride = (size + align - 1) / align * align;
}

ObjectPool::~ObjectPool() {
  if (liveCount > 0) {
    std::printf("Warning: %s leaked memory (%i element%s)!\n", poolName ? poolName : "a pool", liveCount,
                liveCount >= 2 ? "s" : "");
    std::fflush(stdout);
  }
  while (blocks) {
    Block* next = blocks->next;
    freeLarge(blocks->memory);
    delete blocks;
    blocks = next;
  }
  freeHead = nullptr;
  untakenLow = untakenTop = nullptr;
}

bool ObjectPool::addBlock(long chunkCount) {
  if (chunkCount < 1 || chunkCount > (long(INT_MAX) - chunkTotal)) return false;
  const std::size_t bytes = stride * chunkElements * static_cast<std::size_t>(chunkCount);
  if (bytes / chunkCount != stride * chunkElements) return false;
  void* memory = allocateLarge(bytes, align);
  Block* block = memory ? new (std::nothrow) Block{blocks, memory, chunkCount} : nullptr;
  if (!block) {
    freeLarge(memory);
    return false;
  }
  blocks = block;
  chunkTotal += static_cast<int>(chunkCount);
  // What is left of the previous block joins the free list, highest address
  // on top.
  for (char* element = untakenLow; element < untakenTop; element += stride) {
    *reinterpret_cast<void**>(element) = freeHead;
    freeHead = element;
  }
  untakenLow = static_cast<char*>(memory);
  untakenTop = untakenLow + bytes;
  freeElements += static_cast<int>(chunkCount * chunkElements);
  return true;
}

bool ObjectPool::reserve(long count) {
  if (count <= freeElements) return true;
  const long missing = count - freeElements;
  return addBlock((missing + chunkElements - 1) / chunkElements);
}

void* ObjectPool::take() {
  void* element;
  if (freeHead) {
    element = freeHead;
    freeHead = *static_cast<void**>(element);
  } else {
    if (untakenTop == untakenLow && !addBlock(1)) {
      std::printf("Error: %s could not allocate memory!\n", poolName ? poolName : "a pool");
      return nullptr;
    }
    untakenTop -= stride;
    element = untakenTop;
  }
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
