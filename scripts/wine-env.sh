# Sourced by every script that runs Windows programs. Every prefix is a
# 64-bit one (WINEARCH=win64, loader wine64), as on the 64-bit Windows most
# users have; 32-bit programs (the 32-bit Kolibrio2.exe, the installer,
# which NSIS makes 32-bit everywhere) run in it under WoW64. Whether this
# machine can start the 32-bit side of Wine decides how:
#   native    the kernel runs 32-bit x86 programs itself;
#   emulated  it does not, but qemu-i386 does, inside a namespace of the
#             command's own (scripts/i386-ns.py);
#   none      neither: only 64-bit programs run, and the 32-bit tests are
#             reported as not run.
# KOLIBRIO_WINE=32 or 64 picks the one program that the single-program
# scripts run (run.sh, benchmarks, screenshots; 64 by default) and limits
# the tests to that tree; unset, the tests cover both.
#
# Exports: KOLIBRIO_I386 (native|emulated|none) and KOLIBRIO_I386_WHY,
# KOLIBRIO_WINE_MODE (32|64) with KOLIBRIO_WINE_WHY and KOLIBRIO_WIN_DIR
# (that program's build tree, absolute), KOLIBRIO_WIN_TREES (the trees the
# tests run), WINEARCH, WINELOADER, KOLIBRIO_WINE32_LOADER (the loader of a
# 32-bit prefix); puts first on PATH a `wine` that starts any program,
# 32-bit ones included.
mkdir -p "${KOLIBRIO_BUILD_ROOT:-build}"
kolibrio_root=$(cd "${KOLIBRIO_BUILD_ROOT:-build}" && pwd)
kolibrio_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
kolibrio_wine32=${KOLIBRIO_WINE32_LOADER:-/usr/lib/wine/wine}  # given only by the scripts' own test
kolibrio_wine64=/usr/lib/wine/wine64

# The shell's own message says why; in English, whatever the locale.
if answer=$( (LC_ALL=C; exec "$kolibrio_wine32" --version) 2>&1 ); then
  KOLIBRIO_I386=native KOLIBRIO_I386_WHY="$kolibrio_wine32 runs ($answer)"
else
  why="$kolibrio_wine32 does not run here ($(printf '%s\n' "$answer" | head -n 1 | sed 's|^.*/wine: ||'))"
  if ! command -v qemu-i386 >/dev/null; then
    KOLIBRIO_I386=none KOLIBRIO_I386_WHY="$why and qemu-i386 is not installed"
  elif answer=$( (LC_ALL=C; exec python3 "$kolibrio_scripts/i386-ns.py" "$kolibrio_wine32" --version) 2>&1 ); then
    KOLIBRIO_I386=emulated KOLIBRIO_I386_WHY="$why; under $(qemu-i386 --version | head -n 1) it runs ($answer)"
  else
    KOLIBRIO_I386=none KOLIBRIO_I386_WHY="$why, nor under qemu-i386: $(printf '%s\n' "$answer" | tail -n 1)"
  fi
fi

case "${KOLIBRIO_WINE:-}" in
  32) KOLIBRIO_WINE_MODE=32 KOLIBRIO_WINE_WHY="forced by KOLIBRIO_WINE=32" KOLIBRIO_WIN_TREES=win
      if [ "$KOLIBRIO_I386" = none ]; then
        echo "KOLIBRIO_WINE=32, but no 32-bit program runs here: $KOLIBRIO_I386_WHY" >&2
        return 2 2>/dev/null || exit 2
      fi ;;
  64) KOLIBRIO_WINE_MODE=64 KOLIBRIO_WINE_WHY="forced by KOLIBRIO_WINE=64" KOLIBRIO_WIN_TREES=win64 ;;
  "") KOLIBRIO_WINE_MODE=64 KOLIBRIO_WINE_WHY="the program of 64-bit Windows" KOLIBRIO_WIN_TREES="win win64" ;;
  *) echo "KOLIBRIO_WINE must be 32 or 64, not '$KOLIBRIO_WINE'" >&2; return 2 2>/dev/null || exit 2 ;;
esac

WINEARCH=win64 WINELOADER=$kolibrio_wine64
if [ "$KOLIBRIO_WINE_MODE" = 32 ]; then KOLIBRIO_WIN_DIR=$kolibrio_root/win; else KOLIBRIO_WIN_DIR=$kolibrio_root/win64; fi
export KOLIBRIO_I386 KOLIBRIO_I386_WHY KOLIBRIO_WINE_MODE KOLIBRIO_WINE_WHY KOLIBRIO_WIN_DIR KOLIBRIO_WIN_TREES
export WINEARCH WINELOADER KOLIBRIO_WINE32_LOADER=$kolibrio_wine32
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# `wine` everywhere (scripts, tests, benchmarks) means this loader; where
# 32-bit programs run only emulated, everything Wine starts runs in the
# namespace that emulates them (64-bit programs still run natively there).
kolibrio_shim=$kolibrio_root/wine-bin
mkdir -p "$kolibrio_shim"
if [ "$KOLIBRIO_I386" = emulated ]; then
  printf '#!/bin/sh\nexec python3 "%s" "%s" "$@"\n' "$kolibrio_scripts/i386-ns.py" "$WINELOADER" > "$kolibrio_shim/wine.new"
else
  printf '#!/bin/sh\nexec "%s" "$@"\n' "$WINELOADER" > "$kolibrio_shim/wine.new"
fi
chmod +x "$kolibrio_shim/wine.new"
mv -f "$kolibrio_shim/wine.new" "$kolibrio_shim/wine"
export PATH="$kolibrio_shim:$PATH"

# Makes a fresh prefix at $1, of the architecture $2 (WINEARCH by default;
# win32 only where 32-bit programs run). Xvfb has no window manager, so X11
# windows are unmanaged: otherwise Wine waits 2 s for one on every show and
# hide. Returns non-zero, with the reason on stderr, when Wine cannot make
# the prefix.
kolibrio_make_prefix() {
  local prefix=$1 arch=${2:-$WINEARCH} loader=$WINELOADER log
  [ "$arch" = win32 ] && loader=$kolibrio_wine32
  rm -rf "$prefix"
  if ! log=$(WINEPREFIX=$prefix WINEARCH=$arch WINELOADER=$loader kolibrio_wine_as "$loader" wineboot -i 2>&1) ||
     [ ! -f "$prefix/system.reg" ]; then
    echo "Wine ($arch, $loader) could not make a prefix in $prefix: $(printf '%s' "$log" | grep -v '^$' | tail -n 1)" >&2
    return 1
  fi
  WINEPREFIX=$prefix WINEARCH=$arch WINELOADER=$loader kolibrio_wine_as "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
}

# Runs Wine with the loader $1, in the emulating namespace where needed.
kolibrio_wine_as() {
  local loader=$1; shift
  if [ "$KOLIBRIO_I386" = emulated ]; then
    python3 "$kolibrio_scripts/i386-ns.py" "$loader" "$@"
  else
    "$loader" "$@"
  fi
}
