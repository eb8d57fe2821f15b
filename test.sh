#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# portable core natively under ASan/UBSan, the Windows tests under Wine and
# Xvfb, and each fuzz target for a bounded time. Ends with ctest's summary.
# The Windows tests run under the Wine that works on this machine: 32-bit
# Wine with the 32-bit build, or else 64-bit Wine with the 64-bit build
# (KOLIBRIO_WINE=32 or 64 forces one; see scripts/wine-env.sh).
set -euo pipefail
cd "$(dirname "$0")"
root=${KOLIBRIO_BUILD_ROOT:-build}
mkdir -p "$root"
if ! bash scripts/setup.sh > "$root/setup.log" 2>&1; then
  tail -n 20 "$root/setup.log" >&2
  echo "test.sh: setting up the machine failed (log: $root/setup.log)" >&2
  exit 1
fi

# The Czech locale gives Wine the ANSI code page 1250 of the program's texts.
export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
source scripts/wine-env.sh
echo "Windows tests: ${KOLIBRIO_WINE_MODE}-bit Wine with $KOLIBRIO_WIN_DIR ($WINEARCH prefixes)"
echo "  because $KOLIBRIO_WINE_WHY"

# One fresh prefix per run; every Windows test starts from a copy of it.
# Made before the build, so a machine where no Wine works stops at once.
export KOLIBRIO_WINE_TEMPLATE=$kolibrio_root/wine-template
if ! why=$(kolibrio_make_prefix "$KOLIBRIO_WINE_TEMPLATE" 2>&1); then
  echo "test.sh: stopped, no Wine works here: $why" >&2
  exit 1
fi

bash scripts/build.sh all

source scripts/xvfb.sh
trap '[ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null; true' EXIT

# One ctest over the three build trees, so the summary covers them all.
printf 'subdirs("native" "%s" "fuzz")\n' "$(basename "$KOLIBRIO_WIN_DIR")" > "$root/CTestTestfile.cmake"
cd "$root"
ctest --output-on-failure -j 2 "$@"
