#include <gtest/gtest.h>

#include <cstdint>
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
  const struct {
    const char* name;
    int taken, givenBack;
    const char* report;
  } cases[] = {{"P::one", 1, 0, "Warning: P::one leaked memory (1 element)!\n"},
               {"P::three", 40, 37, "Warning: P::three leaked memory (3 elements)!\n"},
               {nullptr, 2, 0, "Warning: a pool leaked memory (2 elements)!\n"},
               {"P::balanced", 40, 40, ""}};
  for (const auto& c : cases) {
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
// apart; reserve adds whole chunks once; the last element given back is the
// next taken; elements keep their type's alignment.
TEST(ObjectPool, ChunksAreHandedOutDownwardsAndReservedWhole) {
  for (long reserve : {0L, 100L}) {
    SCOPED_TRACE(reserve);
    TypedObjectPool<Record> pool("P::chunks");
    ASSERT_TRUE(pool.reserve(reserve) && pool.reserve(reserve / 2));  // the second: enough free already
    const int chunks = reserve ? 7 : 1;                               // 100 elements in chunks of 16
    EXPECT_EQ(pool.freeCount(), reserve ? 112 : 0);
    std::vector<Record*> taken;
    for (int i = 0; i < 16 * chunks; ++i) {
      taken.push_back(pool.take());
      EXPECT_TRUE(i == 0 || reinterpret_cast<char*>(taken[i - 1]) - reinterpret_cast<char*>(taken[i]) ==
                                static_cast<std::ptrdiff_t>(pool.elementSize()));
    }
    EXPECT_EQ(pool.chunkCount(), chunks);
    taken.push_back(pool.take());  // a chunk of its own
    EXPECT_EQ(pool.chunkCount(), chunks + 1);
    for (Record* r : taken) pool.giveBack(r);
    EXPECT_EQ(pool.freeCount(), 16 * (chunks + 1));
    EXPECT_EQ(pool.take(), taken.back());
    pool.giveBack(taken.back());
  }
  struct alignas(32) Wide {
    char bytes[40];
  };
  TypedObjectPool<Wide> wide("P::wide");
  EXPECT_GE(wide.elementSize(), sizeof(Wide));
  std::vector<Wide*> w;
  for (int i = 0; i < 20; ++i) w.push_back(wide.take());
  for (Wide* p : w) EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
  for (Wide* p : w) wide.giveBack(p);
}
