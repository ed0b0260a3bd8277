#!/usr/bin/env bash
# Builds Linfold (Release) and starts it with a model: the bundled sample, or
# the .iv file given as the only argument.
#   scripts/run.sh [path/to/model.iv]
# Without a display ($DISPLAY empty) the application starts the same way under
# Xvfb, writes a picture of its own window once the drawing is on screen
# (LINFOLD_SCREENSHOT), quits, and the path of the PNG is printed. It is given
# at most LINFOLD_RUN_SECONDS seconds (default 120) for that.
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ $# -gt 1 ]; then
  echo "usage: scripts/run.sh [model.iv]" >&2
  exit 2
fi
model="${1:-$LINFOLD_ROOT/data/blob.iv}"
if [ ! -f "$model" ]; then
  echo "No such model file: $model" >&2
  exit 1
fi
model="$(cd "$(dirname "$model")" && pwd)/$(basename "$model")"

"$LINFOLD_ROOT/scripts/install-deps.sh"

release="$BUILD_PREFIX-release"
configure "$release" Release -DLINFOLD_WITH_QT=ON
build "$release" Linfold

if [ -n "${DISPLAY:-}" ]; then
  exec "$release/Linfold" "$model"
fi

seconds="${LINFOLD_RUN_SECONDS:-120}"
png="$release/screenshots/$(basename "${model%.*}").png"
mkdir -p "$(dirname "$png")"
rm -f "$png"
echo "No display: running Linfold under Xvfb until it shows the drawing (at most $seconds s)"
status=0
LINFOLD_NO_DIALOGS=1 LINFOLD_SCREENSHOT="$png" "${XVFB[@]}" timeout "$seconds" "$release/Linfold" "$model" ||
  status=$?
if [ "$status" -ne 0 ] || [ ! -f "$png" ]; then
  if [ "$status" -eq 124 ]; then
    echo "Linfold showed no settled drawing within $seconds s" >&2
  else
    echo "Linfold stopped with status $status and no picture" >&2
  fi
  exit 1
fi
