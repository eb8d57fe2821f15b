# Sourced by every script that runs Windows programs: picks the Wine that runs
# on this machine and the build that goes with it, and knows how to make a
# prefix. KOLIBRIO_WINE=32 or 64 forces a mode; otherwise the 32-bit loader
# itself is run, and a failure to execute it (a kernel without 32-bit
# support answers "Exec format error") selects 64-bit Wine.
#
# Exports: KOLIBRIO_WINE_MODE (32|64), KOLIBRIO_WINE_WHY, WINEARCH,
# KOLIBRIO_WIN_DIR (the Windows build tree under the build root, absolute), WINELOADER,
# and puts a `wine` for the chosen loader first on PATH.
mkdir -p "${KOLIBRIO_BUILD_ROOT:-build}"
kolibrio_root=$(cd "${KOLIBRIO_BUILD_ROOT:-build}" && pwd)
kolibrio_wine32=/usr/lib/wine/wine
kolibrio_wine64=/usr/lib/wine/wine64

case "${KOLIBRIO_WINE:-}" in
  32) KOLIBRIO_WINE_MODE=32 KOLIBRIO_WINE_WHY="forced by KOLIBRIO_WINE=32" ;;
  64) KOLIBRIO_WINE_MODE=64 KOLIBRIO_WINE_WHY="forced by KOLIBRIO_WINE=64" ;;
  "")
    # The shell's own message says why; in English, whatever the locale.
    if answer=$( (LC_ALL=C; exec "$kolibrio_wine32" --version) 2>&1 ); then
      KOLIBRIO_WINE_MODE=32 KOLIBRIO_WINE_WHY="$kolibrio_wine32 runs ($answer)"
    else
      KOLIBRIO_WINE_MODE=64 KOLIBRIO_WINE_WHY="$kolibrio_wine32 does not run here ($(printf '%s\n' "$answer" | head -n 1 | sed 's|^.*/wine: ||'))"
    fi ;;
  *) echo "KOLIBRIO_WINE must be 32 or 64, not '$KOLIBRIO_WINE'" >&2; return 2 2>/dev/null || exit 2 ;;
esac

if [ "$KOLIBRIO_WINE_MODE" = 32 ]; then
  WINEARCH=win32 WINELOADER=$kolibrio_wine32 KOLIBRIO_WIN_DIR=$kolibrio_root/win
else
  WINEARCH=win64 WINELOADER=$kolibrio_wine64 KOLIBRIO_WIN_DIR=$kolibrio_root/win64
fi
export KOLIBRIO_WINE_MODE KOLIBRIO_WINE_WHY WINEARCH WINELOADER KOLIBRIO_WIN_DIR
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# `wine` everywhere (scripts, tests, benchmarks) means the chosen loader.
kolibrio_shim=$kolibrio_root/wine$KOLIBRIO_WINE_MODE-bin
mkdir -p "$kolibrio_shim"
printf '#!/bin/sh\nexec "%s" "$@"\n' "$WINELOADER" > "$kolibrio_shim/wine"
chmod +x "$kolibrio_shim/wine"
export PATH="$kolibrio_shim:$PATH"

# Makes a fresh prefix of the mode's architecture at $1. Xvfb has no window
# manager, so X11 windows are unmanaged: otherwise Wine waits 2 s for one on
# every show and hide. Returns non-zero, with the reason on stderr, when Wine
# cannot make a prefix at all.
kolibrio_make_prefix() {
  local prefix=$1 log
  rm -rf "$prefix"
  if ! log=$(WINEPREFIX=$prefix wine wineboot -i 2>&1) || [ ! -f "$prefix/system.reg" ]; then
    echo "Wine ($KOLIBRIO_WINE_MODE-bit, $WINELOADER) could not make a prefix in $prefix: $(printf '%s' "$log" | grep -v '^$' | tail -n 1)" >&2
    return 1
  fi
  WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
}
