#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# portable core natively under ASan/UBSan, the Windows tests under Wine and
# Xvfb, and each fuzz target for a bounded time. Ends with ctest's summary.
# The Windows tests of both programs run in 64-bit prefixes; the 32-bit
# program's natively or emulated where the machine runs no 32-bit program
# itself, and skipped (said so first) where neither works. KOLIBRIO_WINE=32
# or 64 runs one tree (see scripts/wine-env.sh).
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
case $KOLIBRIO_I386 in
  native) i386="runs natively" ;;
  emulated) i386="runs emulated by qemu-i386, in a namespace of its own" ;;
  none) i386="NOT RUN: its tests are skipped, and the real installer is not tested" ;;
esac
echo "Windows tests ($WINEARCH prefixes): trees $KOLIBRIO_WIN_TREES"
echo "  the 32-bit program $i386"
echo "  because $KOLIBRIO_I386_WHY"

# One fresh prefix per run; every Windows test starts from a copy of it.
# Made before the build, so a machine where no Wine works stops at once.
# Where 32-bit programs run, Wine fills the prefix's 32-bit system folder
# too, and a 32-bit prefix (32-bit Windows) is made for the installer.
export KOLIBRIO_WINE_TEMPLATE=$kolibrio_root/wine-template
if ! why=$(kolibrio_make_prefix "$KOLIBRIO_WINE_TEMPLATE" 2>&1); then
  echo "test.sh: stopped, no Wine works here: $why" >&2
  exit 1
fi
export KOLIBRIO_WINE_TEMPLATE32=$kolibrio_root/wine-template32
case " $KOLIBRIO_WIN_TREES " in
  *" win "*)
    if [ "$KOLIBRIO_I386" != none ] && ! why=$(kolibrio_make_prefix "$KOLIBRIO_WINE_TEMPLATE32" win32 2>&1); then
      echo "test.sh: Wine could not make a 32-bit prefix: $why" >&2
    fi ;;
esac

bash scripts/build.sh all

source scripts/xvfb.sh
trap '[ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null; true' EXIT

# One ctest over the build trees, so the summary covers them all.
{ printf 'subdirs("native"'; for t in $KOLIBRIO_WIN_TREES; do printf ' "%s"' "$t"; done; printf ' "fuzz")\n'; } > "$root/CTestTestfile.cmake"
cd "$root"
ctest --output-on-failure -j 2 "$@"
