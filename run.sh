#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kolibrio 2 under Wine in a
# 64-bit prefix: the 64-bit program, or with KOLIBRIO_WINE=32 the 32-bit
# one (emulated where the machine runs no 32-bit program itself; see
# scripts/wine-env.sh).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
bash scripts/build.sh win
export LANG=${LANG:-cs_CZ.UTF-8}
source scripts/wine-env.sh
echo "The ${KOLIBRIO_WINE_MODE}-bit program $KOLIBRIO_WIN_DIR/Kolibrio2.exe ($KOLIBRIO_WINE_WHY; 32-bit programs: $KOLIBRIO_I386)"
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kolibrio2-win64}
source scripts/xvfb.sh
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  kolibrio_make_prefix "$WINEPREFIX"
  # On a desktop with a window manager, Wine's windows are managed as usual;
  # only Xvfb, which has none, needs them unmanaged.
  [ -z "${KOLIBRIO_XVFB_PID:-}" ] &&
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1
fi
echo "Kolibrio 2 runs in the tray (display $DISPLAY, prefix $WINEPREFIX)."
exec wine "$KOLIBRIO_WIN_DIR/Kolibrio2.exe"
