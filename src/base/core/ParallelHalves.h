#ifndef LINFOLD_PARALLELHALVES_H
#define LINFOLD_PARALLELHALVES_H

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>

// Runs fn(begin, end) over [0, count): in two halves, the second on a thread
// of its own, when the machine has two cores or more and count reaches
// `minimum`; otherwise in one call. For loops whose iterations write their own
// slots only, so the result does not depend on the split. An exception from
// either half is rethrown once both have finished (the first half's first).
template <class Fn>
void parallelHalves(std::size_t count, std::size_t minimum, Fn fn) {
  if (count < minimum || count < 2 || std::thread::hardware_concurrency() < 2) {
    fn(std::size_t(0), count);
    return;
  }
  const std::size_t middle = count / 2;
  std::exception_ptr secondFailure;
  std::thread second;
  try {
    second = std::thread([&] {
      try {
        fn(middle, count);
      } catch (...) {
        secondFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    fn(std::size_t(0), count);  // no thread to be had: all here
    return;
  }
  std::exception_ptr firstFailure;
  try {
    fn(std::size_t(0), middle);
  } catch (...) {
    firstFailure = std::current_exception();
  }
  second.join();
  if (firstFailure) std::rethrow_exception(firstFailure);
  if (secondFailure) std::rethrow_exception(secondFailure);
}

// Runs first() and second(), the second on a thread of its own when `split`
// and the machine has two cores; for two jobs that write apart.
template <class First, class Second>
void parallelPair(bool split, First first, Second second) {
  auto run = [&](std::size_t begin, std::size_t end) {
    for (std::size_t job = begin; job < end; ++job) {
      if (job == 0)
        first();
      else
        second();
    }
  };
  if (split)
    parallelHalves(2, 2, run);
  else
    run(0, 2);
}

#endif
