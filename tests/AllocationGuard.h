#ifndef LINFOLD_TESTS_ALLOCATIONGUARD_H
#define LINFOLD_TESTS_ALLOCATIONGUARD_H

#include <cstddef>

// Allocation failures on demand, to test what a stage does when memory runs out. A test program that calls these gets
// an operator new that allocates with malloc as usual until armed.
namespace allocation {

// Requests of `bytes` or more throw std::bad_alloc, `times` times (negative: until disarmed).
void refuseFrom(std::size_t bytes, int times = -1);
// The next request of exactly `bytes` calls `hook` (which throws) instead.
void onSize(std::size_t bytes, void (*hook)());
void disarm();

}  // namespace allocation

#endif
