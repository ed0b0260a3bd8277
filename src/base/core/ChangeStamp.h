#ifndef LINFOLD_CHANGESTAMP_H
#define LINFOLD_CHANGESTAMP_H

#include <cstdint>

// Draws the next value of the library-wide change-stamp counter (0, 1, 2 ...).
// Models carry a stamp; a consumer recomputes when the stamp it stored differs.
uint32_t drawChangeStamp();

#endif
