#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# portable core natively under ASan/UBSan, the Windows tests under Wine and
# Xvfb, and each fuzz target for a bounded time. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
bash scripts/build.sh all
root=${KOLIBRIO_BUILD_ROOT:-build}

# The Czech locale gives Wine the ANSI code page 1250 of the program's texts.
export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source scripts/xvfb.sh
trap '[ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null; true' EXIT

# One fresh prefix per run; every Windows test starts from a copy of it.
export KOLIBRIO_WINE_TEMPLATE=$PWD/$root/wine-template
rm -rf "$KOLIBRIO_WINE_TEMPLATE"
WINEPREFIX=$KOLIBRIO_WINE_TEMPLATE wineboot -i >/dev/null 2>&1
# No window manager runs on Xvfb: unmanaged windows keep Wine from waiting
# for one on every show and hide.
WINEPREFIX=$KOLIBRIO_WINE_TEMPLATE wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
WINEPREFIX=$KOLIBRIO_WINE_TEMPLATE wineserver -w

# One ctest over the three build trees, so the summary covers them all.
printf 'subdirs("native" "win" "fuzz")\n' > "$root/CTestTestfile.cmake"
cd "$root"
ctest --output-on-failure -j 2 "$@"
