#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "core/LargeBlock.h"
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

// The populator faults in the fresh part of a pool block on its own thread
// while records are written from the top: every page ends up resident and
// nothing written is touched, whether it finishes first or is stopped.
TEST(ObjectPool, PopulatorFaultsInTheUntakenRecordsAndLeavesWrittenOnesAlone) {
  {
    std::vector<char> probe(1 << 16);
    char* page =
        reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(probe.data()) + 4095) & ~std::uintptr_t(4095));
    if (madvise(page, 4096, MADV_POPULATE_WRITE) != 0) GTEST_SKIP() << "the kernel does not populate on request";
  }
  TypedObjectPool<Record> pool("P::populated");
  ASSERT_TRUE(pool.reserve(1 << 19));  // 12 MB: several huge pages
  const auto [low, high] = pool.untaken();
  ASSERT_EQ(static_cast<std::size_t>(high - low), (std::size_t(1) << 19) * pool.elementSize());
  auto resident = [&] {
    const long page = sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> in((high - low + page - 1) / page);
    if (mincore(low, high - low, in.data()) != 0) return -1L;
    long n = 0;
    for (unsigned char c : in) n += c & 1;
    return n;
  };
  for (bool stopEarly : {true, false}) {
    std::vector<Record*> taken;
    {
      PagePopulator populator(std::vector<std::pair<char*, char*>>{{low, high}});
      for (int i = 0; i < 1000; ++i) {
        taken.push_back(pool.take());
        *taken.back() = {double(i), i, taken.back()};
      }
      for (int t = 0; !stopEarly && resident() * sysconf(_SC_PAGESIZE) < high - low && t < 500; ++t)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!stopEarly) {
      EXPECT_EQ(resident() * sysconf(_SC_PAGESIZE), high - low);
    }
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(taken[i]->a == i && taken[i]->b == i && taken[i]->c == taken[i]) << i;
    for (Record* r : taken) pool.giveBack(r);
  }
}
