#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Linfold need.
# This is the one place that lists them. Nothing happens when all are present;
# otherwise root installs the missing ones (one apt-get update first), anyone
# else gets the exact command to run and a non-zero exit.
set -euo pipefail

REQUIRED=(
  cmake g++ make
  libcoin-dev libsoqt520-dev qtbase5-dev libart-2.0-dev liblbfgsb-dev zlib1g-dev libglu1-mesa-dev
  libassimp-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth
  qpdf poppler-utils librsvg2-bin
  clang libclang-rt-14-dev
)
# Real-world models for the tests that use them; those tests skip without it.
OPTIONAL=(inventor-data)

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing_required=()
for p in "${REQUIRED[@]}"; do is_installed "$p" || missing_required+=("$p"); done
missing_optional=()
for p in "${OPTIONAL[@]}"; do is_installed "$p" || missing_optional+=("$p"); done

if [ ${#missing_required[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if [ ${#missing_required[@]} -eq 0 ]; then
    echo "Optional package not installed (the tests that use it are skipped): ${missing_optional[*]}"
    echo "To install it: sudo apt-get install -y ${missing_optional[*]}"
    exit 0
  fi
  echo "Missing Debian packages: ${missing_required[*]} ${missing_optional[*]}"
  echo "Install them as root, then run this again:"
  echo "  sudo apt-get update && sudo apt-get install -y ${missing_required[*]} ${missing_optional[*]}"
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing_required[*]} ${missing_optional[*]}"
apt-get update
if [ ${#missing_required[@]} -gt 0 ]; then
  apt-get install -y "${missing_required[@]}"
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  apt-get install -y "${missing_optional[@]}" ||
    echo "Optional package could not be installed (the tests that use it are skipped): ${missing_optional[*]}"
fi
