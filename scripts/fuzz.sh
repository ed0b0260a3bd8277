#!/usr/bin/env bash
# Fuzzes the formula parser (LineSthScalarEngineHQ) with libFuzzer:
#   scripts/fuzz.sh [seconds]      (default 60)
# Builds the engine and tests/fuzz_ScalarEngine.cpp with clang++ and
# -fsanitize=fuzzer,address,undefined into a temporary folder, seeds the
# corpus with typical formulas and runs for the given time. Exits non-zero on
# any crash or sanitizer report; exits 77 (skipped) when clang++ or its
# fuzzer runtime is missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"

CXX="${FUZZ_CXX:-}"
if [ -z "$CXX" ]; then
  for c in clang++ clang++-14 clang++-15 clang++-16; do
    if command -v "$c" >/dev/null 2>&1; then CXX="$c"; break; fi
  done
fi
if [ -z "$CXX" ]; then
  echo "fuzz.sh: clang++ not found; skipped"
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! "$CXX" -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src/base" "$root/src/base/styling/LineSthScalarEngineHQ.cpp" \
    "$root/tests/fuzz_ScalarEngine.cpp" -o "$work/fuzz_ScalarEngine" 2>"$work/build.log"; then
  if grep -q "libclang_rt.fuzzer\|cannot find.*fuzzer" "$work/build.log"; then
    echo "fuzz.sh: the libFuzzer runtime is missing; skipped"
    exit 77
  fi
  cat "$work/build.log"
  exit 1
fi

mkdir -p "$work/corpus"
i=0
for seed in "( light - rim )*iso*(taper*.5 + .5 )" "2^-3" "abs -x" "light<-rim" "--depth" \
  "((curvature))" "1.5/0" "taper > .2 < .8" "lightness" "." "(" ")"; do
  printf '%s' "$seed" > "$work/corpus/seed$i"
  i=$((i + 1))
done
"$work/fuzz_ScalarEngine" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 "$work/corpus" 2>&1 | tail -n 15
exit "${PIPESTATUS[0]}"
