// libFuzzer target for the formula parser and evaluator: any byte string is parsed (up to its first NUL) and, when
// accepted, evaluated. Built by scripts/fuzz.sh with clang's -fsanitize=fuzzer,address,undefined.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "styling/LineSthScalarEngineHQ.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The parser reports on stdout; keep the fuzzer's own output readable.
  if (!std::freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  LineSthScalarEngineHQ engine;
  const bool ok = engine.parse(text.c_str());
  const float v = engine.evaluate({0.0f, 0.0f, 0.5f, -2.0f, 0.0f, 1e-7f});  // light 0.5, rim -2, taper 1e-7
  if (!ok && v != 0.0f) __builtin_trap();  // a failed parse must leave an empty program
  // Parsing the same text again is silent and changes nothing.
  if (!engine.parse(text.c_str()) && ok) __builtin_trap();
  return 0;
}
