#!/usr/bin/env bash
# End-to-end timings of linfold-render: a model file to a hatched HQ PDF, as
# a user runs it, on tori of 100k, 1M and 4M triangles and a 1M sphere, and
# on the 1M torus at half and a quarter of the start-up separation (the
# cost should grow linearly in triangles and in 1 / separation^2). Prints,
# per run, the wall and CPU time and the peak resident memory (from
# /usr/bin/time), then the tool's own stage lines. CPU time is the figure to
# compare on a machine shared with other work; wall time needs a quiet one.
#
#   bench/render_timings.sh [BUILD_DIR] [MODEL_DIR]
#
# BUILD_DIR defaults to build-bench, MODEL_DIR (where the models are written
# once, 170 MB) to $TMPDIR/linfold-models. Runs under xvfb-run without a
# display.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build-bench}"
models="${2:-${TMPDIR:-/tmp}/linfold-models}"
tool="$build/linfold-render"
[ -x "$tool" ] || { echo "no $tool: build the target linfold-render first"; exit 1; }
mkdir -p "$models"
for job in torus:100000 torus:1000000 torus:4000000 sphere:1000000; do
  kind=${job%%:*} n=${job##*:}
  file="$models/${kind}_$((n / 1000))k.iv"
  [ -s "$file" ] || python3 "$here/make_big_models.py" "$kind" "$n" "$file"
done

runner=()
[ -n "${DISPLAY:-}" ] || runner=(xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX -noreset")
export LINFOLD_NO_DIALOGS=1
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

run() {  # label model [--set ...]
  local label=$1 model=$2
  shift 2
  /usr/bin/time -f "%e %U %S %M" -o "$out/time" "${runner[@]}" "$tool" "$model" --pdf "$out/out.pdf" "$@" \
    > "$out/log" 2>&1 || { echo "$label: failed"; cat "$out/log"; return 1; }
  read -r wall user sys rss < "$out/time"
  awk -v l="$label" -v w="$wall" -v u="$user" -v s="$sys" -v m="$rss" \
    'BEGIN { printf "%-28s wall %6.2f s  CPU %6.2f s  peak %5d MB\n", l, w, u + s, m / 1024 }'
  grep '^linfold-render:' "$out/log" | sed 's/^/    /'
}

run "torus 100k" "$models/torus_100k.iv"
run "torus 1M" "$models/torus_1000k.iv"
run "torus 4M" "$models/torus_4000k.iv"
run "sphere 1M" "$models/sphere_1000k.iv"
run "torus 1M, separation / 2" "$models/torus_1000k.iv" --set SoStreamlinerHQ.seperationDist=0.005 \
  --set SoStreamlinerHQ.probeDist=0.006
run "torus 1M, separation / 4" "$models/torus_1000k.iv" --set SoStreamlinerHQ.seperationDist=0.0025 \
  --set SoStreamlinerHQ.probeDist=0.003
