#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/ObjectPool.h"

namespace {
struct Record {
  double a;
  int b;
  void* c;
};

std::string leakReportOf(const char* name, int liveElements) {
  testing::internal::CaptureStdout();
  {
    TypedObjectPool<Record> pool(name);
    for (int i = 0; i < liveElements; ++i) pool.take();
  }
  return testing::internal::GetCapturedStdout();
}
}  // namespace

TEST(ObjectPool, LeakReportTexts) {
  EXPECT_EQ(leakReportOf("P::one", 1), "Warning: P::one leaked memory (1 element)!\n");
  EXPECT_EQ(leakReportOf("P::three", 3), "Warning: P::three leaked memory (3 elements)!\n");
  EXPECT_EQ(leakReportOf(nullptr, 2), "Warning: a pool leaked memory (2 elements)!\n");
  EXPECT_EQ(leakReportOf("P::none", 0), "");
}

TEST(ObjectPool, GivenBackElementsAreNotReported) {
  testing::internal::CaptureStdout();
  {
    TypedObjectPool<Record> pool("P::balanced");
    Record* r[40];
    for (Record*& p : r) p = pool.take();
    for (Record* p : r) pool.giveBack(p);
    EXPECT_EQ(pool.live(), 0);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ObjectPool, SeventeenthElementComesFromASecondChunk) {
  TypedObjectPool<Record> pool("P::chunks");
  std::set<Record*> seen;
  Record* previous = nullptr;
  for (int i = 0; i < 16; ++i) {
    Record* r = pool.take();
    // Highest address first, then downwards, one record apart.
    if (previous) {
      EXPECT_EQ(reinterpret_cast<char*>(previous) - reinterpret_cast<char*>(r),
                static_cast<std::ptrdiff_t>(pool.elementSize()));
    }
    previous = r;
    seen.insert(r);
  }
  EXPECT_EQ(pool.chunkCount(), 1);
  Record* seventeenth = pool.take();
  EXPECT_EQ(pool.chunkCount(), 2);
  EXPECT_EQ(seen.count(seventeenth), 0u);
  EXPECT_EQ(pool.live(), 17);
  for (Record* r : seen) pool.giveBack(r);
  pool.giveBack(seventeenth);
}

TEST(ObjectPool, ReserveAllocatesWholeChunksOnceAndTakesFromThemInOrder) {
  TypedObjectPool<Record> pool("P::reserve");
  ASSERT_TRUE(pool.reserve(100));
  EXPECT_EQ(pool.chunkCount(), 7);  // 100 elements in chunks of 16
  EXPECT_EQ(pool.freeCount(), 112);
  EXPECT_TRUE(pool.reserve(50));  // enough free already
  EXPECT_EQ(pool.chunkCount(), 7);
  std::vector<Record*> taken;
  for (int i = 0; i < 112; ++i) {
    taken.push_back(pool.take());
    // One block, highest address first, one record apart.
    if (i > 0) {
      EXPECT_EQ(reinterpret_cast<char*>(taken[i - 1]) - reinterpret_cast<char*>(taken[i]),
                static_cast<std::ptrdiff_t>(pool.elementSize()));
    }
  }
  EXPECT_EQ(pool.chunkCount(), 7);
  taken.push_back(pool.take());  // the 113th needs a chunk of its own
  EXPECT_EQ(pool.chunkCount(), 8);
  EXPECT_EQ(pool.live(), 113);
  for (Record* r : taken) pool.giveBack(r);
  EXPECT_EQ(pool.freeCount(), 128);
}

TEST(ObjectPool, ElementsKeepTheRecordsAlignmentAndSize) {
  struct alignas(32) Wide {
    char bytes[40];
  };
  TypedObjectPool<Wide> pool("P::wide");
  EXPECT_EQ(pool.elementSize() % 32, 0u);
  EXPECT_GE(pool.elementSize(), sizeof(Wide));
  Wide* w[20];
  for (Wide*& p : w) {
    p = pool.take();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
  }
  for (Wide* p : w) pool.giveBack(p);
}

TEST(ObjectPool, TakeReusesTheLastElementGivenBack) {
  TypedObjectPool<Record> pool("P::reuse");
  Record* a = pool.take();
  pool.giveBack(a);
  EXPECT_EQ(pool.take(), a);
  pool.giveBack(a);
}
