#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ObjectPool.h"

namespace {
struct Record {
  double a;
  int b;
  void* c;
};
}  // namespace

// A pool that goes with live elements says how many; given back ones do not count.
TEST(ObjectPool, LeakReportTexts) {
  struct Case {
    const char* name;
    int taken, givenBack;
    const char* report;
  };
  const Case cases[] = {{"P::one", 1, 0, "Warning: P::one leaked memory (1 element)!\n"},
                        {"P::three", 3, 0, "Warning: P::three leaked memory (3 elements)!\n"},
                        {nullptr, 2, 0, "Warning: a pool leaked memory (2 elements)!\n"},
                        {"P::some", 40, 37, "Warning: P::some leaked memory (3 elements)!\n"},
                        {"P::balanced", 40, 40, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.taken);
    testing::internal::CaptureStdout();
    {
      TypedObjectPool<Record> pool(c.name);
      std::vector<Record*> taken;
      for (int i = 0; i < c.taken; ++i) taken.push_back(pool.take());
      for (int i = 0; i < c.givenBack; ++i) pool.giveBack(taken[i]);
      EXPECT_EQ(pool.live(), c.taken - c.givenBack);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.report);
  }
}

// Chunks of sixteen, handed out from the highest address down, one record
// apart; reserve adds whole chunks once, in one block.
TEST(ObjectPool, ChunksAreHandedOutDownwardsAndReservedWhole) {
  for (long reserve : {0L, 100L}) {
    SCOPED_TRACE(reserve);
    TypedObjectPool<Record> pool("P::chunks");
    ASSERT_TRUE(pool.reserve(reserve));
    const int chunks = reserve ? 7 : 0;  // 100 elements in chunks of 16
    EXPECT_EQ(pool.chunkCount(), chunks);
    EXPECT_EQ(pool.freeCount(), 16 * chunks);
    EXPECT_TRUE(pool.reserve(reserve / 2));  // enough free already
    std::vector<Record*> taken;
    for (int i = 0; i < std::max(16, 16 * chunks); ++i) {
      taken.push_back(pool.take());
      if (i > 0) {
        EXPECT_EQ(reinterpret_cast<char*>(taken[i - 1]) - reinterpret_cast<char*>(taken[i]),
                  static_cast<std::ptrdiff_t>(pool.elementSize()));
      }
    }
    EXPECT_EQ(pool.chunkCount(), std::max(chunks, 1));
    taken.push_back(pool.take());  // a chunk of its own
    EXPECT_EQ(pool.chunkCount(), std::max(chunks, 1) + 1);
    for (size_t i = 0; i + 1 < taken.size(); ++i) EXPECT_NE(taken[i], taken.back());
    for (Record* r : taken) pool.giveBack(r);
    EXPECT_EQ(pool.freeCount(), 16 * pool.chunkCount());
    EXPECT_EQ(pool.take(), taken.back());  // the last given back comes first
    pool.giveBack(taken.back());
  }
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
