#!/usr/bin/env bash
# Runs one Windows benchmark of the 64-bit build (build/win64; with
# KOLIBRIO_WINE=32 the 32-bit one, see scripts/wine-env.sh) in a fresh
# prefix with unmanaged X11 windows, on Xvfb when there is no display.
# Usage: bench/wine-bench.sh <name> [arguments]   e.g. exif_bench 'Z:\tmp\x'
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1; shift
export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
source scripts/wine-env.sh
echo "${KOLIBRIO_WINE_MODE}-bit Wine, $KOLIBRIO_WIN_DIR ($KOLIBRIO_WINE_WHY)"
cmake --build "$KOLIBRIO_WIN_DIR" --target "$name" >/dev/null
source scripts/xvfb.sh
export WINEPREFIX=$(mktemp -d /tmp/kolibrio-bench-wine.XXXXXX)
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
kolibrio_make_prefix "$WINEPREFIX"
wine "$KOLIBRIO_WIN_DIR/bench/$name.exe" "$@"
