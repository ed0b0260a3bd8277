#!/usr/bin/env bash
# Installs what is missing, builds Linfold twice and runs every test with CTest:
#   1. Release with the application, the render tool, all tests and the
#      benchmarks (built so that they keep compiling, not run);
#   2. Debug with address and undefined-behaviour sanitizers, without the
#      benchmarks. Leaks from inside Coin, Qt or Mesa are suppressed through
#      tests/lsan.supp (GL and GUI tests run without leak checking); ours fail.
# All tests run inside one Xvfb server, so GL and GUI tests need no display.
# Stops at the first failure with a non-zero exit; the last thing printed is
# CTest's summary.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$LINFOLD_ROOT/scripts/install-deps.sh"

release="$BUILD_PREFIX-release"
asan="$BUILD_PREFIX-asan"

configure "$release" Release -DLINFOLD_WITH_QT=ON -DLINFOLD_TESTS=ON -DLINFOLD_BENCH=ON \
  -DLINFOLD_WERROR=ON -DLINFOLD_SANITIZE=OFF
build "$release"

configure "$asan" Debug -DLINFOLD_WITH_QT=ON -DLINFOLD_TESTS=ON -DLINFOLD_BENCH=OFF \
  -DLINFOLD_WERROR=ON -DLINFOLD_SANITIZE=ON
build "$asan"

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LINFOLD_NO_DIALOGS=1
ctest_args=(--output-on-failure --timeout 900 -j "$JOBS")

echo "=== Tests: $release"
"${XVFB[@]}" ctest --test-dir "$release" "${ctest_args[@]}"
echo "=== Tests with sanitizers: $asan"
"${XVFB[@]}" ctest --test-dir "$asan" "${ctest_args[@]}"
