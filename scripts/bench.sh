#!/usr/bin/env bash
# Builds Release with the benchmarks and runs every program under bench/.
# Arguments are passed to each benchmark (e.g. --benchmark_filter=Build).
# Without a display the programs run under Xvfb.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$LINFOLD_ROOT/scripts/install-deps.sh"

dir="$BUILD_PREFIX-bench"
configure "$dir" Release -DLINFOLD_BENCH=ON -DLINFOLD_TESTS=OFF -DLINFOLD_SANITIZE=OFF
build "$dir"

runner=()
[ -n "${DISPLAY:-}" ] || runner=("${XVFB[@]}")

mapfile -t programs < <(find "$dir/bench" -maxdepth 1 -type f -executable | sort)
if [ ${#programs[@]} -eq 0 ]; then
  echo "No benchmark programs in $dir/bench"
  exit 0
fi
failed=0
for p in "${programs[@]}"; do
  echo "=== $(basename "$p")"
  "${runner[@]}" "$p" "$@" || { echo "FAILED: $(basename "$p")"; failed=1; }
done
exit "$failed"
