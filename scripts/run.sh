#!/usr/bin/env bash
# Builds Linfold (Release) and starts it with a model: the bundled sample, or
# the .iv file given as the only argument.
#   scripts/run.sh [path/to/model.iv]
# Without a display ($DISPLAY empty) the application starts the same way under
# Xvfb for LINFOLD_RUN_SECONDS seconds (default 5), then linfold-render draws
# the model as that window shows it and the path of the PNG is printed.
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
build "$release" Linfold linfold-render

if [ -n "${DISPLAY:-}" ]; then
  exec "$release/Linfold" "$model"
fi

seconds="${LINFOLD_RUN_SECONDS:-5}"
echo "No display: running Linfold under Xvfb for $seconds s"
status=0
LINFOLD_NO_DIALOGS=1 "${XVFB[@]}" timeout "$seconds" "$release/Linfold" "$model" || status=$?
# 124: still running when the time was up, as it should be.
if [ "$status" -ne 0 ] && [ "$status" -ne 124 ]; then
  echo "Linfold stopped with status $status" >&2
  exit "$status"
fi

png="$release/screenshots/$(basename "${model%.*}").png"
mkdir -p "$(dirname "$png")"
rm -f "$png"
"${XVFB[@]}" "$release/linfold-render" "$model" --size 800x600 --png "$png"
echo "Screenshot: $png"
