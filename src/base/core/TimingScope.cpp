#include "core/TimingScope.h"

#include "core/ProgressMeter.h"

#include <cstdio>

namespace {
int nesting = 0;

void indent(int levels) {
  for (int i = 0; i < levels; ++i) std::putchar('\t');
}
}  // namespace

TimingScope::TimingScope(const char* scopeName) : start(msecNow()), name(scopeName) {
  indent(nesting);
  std::printf("+%s\n", name);
  ++nesting;
}

TimingScope::~TimingScope() {
  --nesting;
  indent(nesting);
  std::printf("-%s: %.2fms\n", name, msecNow() - start);
  std::fflush(stdout);
}

int TimingScope::depth() { return nesting; }
