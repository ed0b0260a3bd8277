# Settings shared by run.sh, test.sh and bench.sh (sourced, not run).
#   LINFOLD_BUILD_PREFIX  build folders are <prefix>-release, <prefix>-asan, <prefix>-bench
#                         (default: build next to the sources)
#   LINFOLD_JOBS          parallel compile jobs (default: the number of cores)

LINFOLD_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_PREFIX="${LINFOLD_BUILD_PREFIX:-$LINFOLD_ROOT/build}"
JOBS="${LINFOLD_JOBS:-$(nproc 2>/dev/null || echo 2)}"
# -noreset: an X server resets when its last client leaves and refuses
# connections meanwhile; tests that start programs one after another (the
# render tool's) then failed now and then with "could not connect to display".
XVFB=(xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX -noreset")

# configure DIR BUILD_TYPE [cmake options...]
configure() {
  local dir="$1" type="$2"
  shift 2
  cmake -S "$LINFOLD_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@"
}

# build DIR [targets...]
build() {
  local dir="$1"
  shift
  if [ $# -eq 0 ]; then
    cmake --build "$dir" -j "$JOBS"
  else
    cmake --build "$dir" -j "$JOBS" --target "$@"
  fi
}
