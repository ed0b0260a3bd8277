#include "core/ChangeStamp.h"

namespace {
uint32_t counter = 0;
}

uint32_t drawChangeStamp() { return counter++; }
