#ifndef LINFOLD_OBJECTPOOL_H
#define LINFOLD_OBJECTPOOL_H

#include <cstddef>
#include <utility>

// Fixed-size records handed out from chunks of 16, with a free list threaded
// through the free elements. Elements are raw storage: the pool neither
// constructs nor destroys them. A pool that still has live elements when it is
// destroyed (pools are static objects, so: at program exit) prints a warning.
class ObjectPool {
 public:
  static constexpr int chunkElements = 16;

  // elementSize and alignment of the record; a null name reports as "a pool".
  ObjectPool(const char* name, std::size_t elementSize, std::size_t alignment);
  ~ObjectPool();
  ObjectPool(const ObjectPool&) = delete;
  ObjectPool& operator=(const ObjectPool&) = delete;

  // One element, or null (after a message) when no chunk could be allocated.
  void* take();
  // Makes sure that at least `count` elements are free, allocating the chunks
  // still needed (16 elements each, as always) in one heap block: a million
  // records then cost one allocation instead of 62500. The new elements are
  // taken after those on the free list, highest address first. False
  // (nothing changed) when the block cannot be allocated; take() then falls
  // back to single chunks.
  bool reserve(long count);
  int freeCount() const { return freeElements; }
  // Gives an element back; each element exactly once.
  void giveBack(void* element);

  // The newest block's elements not handed out yet, [low, high): take()
  // hands them out from high down once the free list is empty.
  std::pair<char*, char*> untaken() const { return {untakenLow, untakenTop}; }

  int live() const { return liveCount; }
  const char* name() const { return poolName; }
  std::size_t elementSize() const { return stride; }
  int chunkCount() const { return chunkTotal; }

 private:
  // One heap allocation holding `chunks` consecutive chunks.
  struct Block {
    Block* next;
    void* memory;
    long chunks;
  };
  bool addBlock(long chunkCount);

  void* freeHead = nullptr;
  // The newest block's elements not handed out yet: [untakenLow, untakenTop),
  // taken from the top down. They join the free list only when another block
  // comes, so that a fresh block is touched once, by the owner of each record.
  char* untakenLow = nullptr;
  char* untakenTop = nullptr;
  Block* blocks = nullptr;  // newest first
  int liveCount = 0;
  int freeElements = 0;
  int chunkTotal = 0;
  const char* poolName;
  std::size_t stride;
  std::size_t align;
};

// A pool of records of type T; the element size and alignment come from T.
template <class T>
class TypedObjectPool : public ObjectPool {
 public:
  explicit TypedObjectPool(const char* name) : ObjectPool(name, sizeof(T), alignof(T)) {}
  T* take() { return static_cast<T*>(ObjectPool::take()); }
  void giveBack(T* element) { ObjectPool::giveBack(element); }
};

#endif
