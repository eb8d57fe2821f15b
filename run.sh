#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kolibrio 2 under Wine.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
bash scripts/build.sh win
export WINEARCH=win32 WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kolibrio2} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
source scripts/xvfb.sh
echo "Kolibrio 2 runs in the tray (display $DISPLAY, prefix $WINEPREFIX)."
exec wine build/win/Kolibrio2.exe
