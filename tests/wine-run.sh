#!/usr/bin/env bash
# Runs one Windows test program under Wine in a fresh prefix copied from the
# run's template, then shuts that prefix's wineserver down and removes it.
# A test program of the 32-bit tree on a machine where no 32-bit program
# runs is not run: it says why and exits with 77, which ctest reports as
# skipped, never as passed. KOLIBRIO_PREFIX_ARCH=win32 runs the program in
# a 32-bit prefix (32-bit Windows) instead of the usual 64-bit one.
set -uo pipefail
exe=$1; shift
if [ "${KOLIBRIO_TREE_BITS:-64}" = 32 ] && [ "${KOLIBRIO_I386:-none}" = none ]; then
  echo "Not run: a 32-bit Windows program, and no 32-bit program runs here: ${KOLIBRIO_I386_WHY:-run the tests through test.sh}"
  exit 77
fi
template=${KOLIBRIO_WINE_TEMPLATE:?run the tests through test.sh}
loader=${WINELOADER:?}
if [ "${KOLIBRIO_PREFIX_ARCH:-win64}" = win32 ]; then
  template=${KOLIBRIO_WINE_TEMPLATE32:?run the tests through test.sh}
  loader=${KOLIBRIO_WINE32_LOADER:?run the tests through test.sh}
  export WINEARCH=win32 WINELOADER=$loader
fi
[ -f "$template/system.reg" ] || { echo "no Wine prefix template at $template"; exit 1; }
prefix=$(mktemp -d /tmp/kolibrio-wine.XXXXXX)
cp -a "$template/." "$prefix/"
export WINEPREFIX=$prefix WINEARCH=${WINEARCH:?} WINEDEBUG=${WINEDEBUG:--all}
export KOLIBRIO_PREFIX=$prefix
# A test program named ..._english runs on a Western Windows: Wine takes the
# ANSI code page (1252 instead of the Czech 1250) from the locale.
case $(basename "$exe") in *_english.exe) export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 ;; esac
if [ "${KOLIBRIO_I386:-}" = emulated ]; then
  python3 "$(dirname "$0")/../scripts/i386-ns.py" "$loader" "$exe" "$@"
else
  "$loader" "$exe" "$@"
fi
rc=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
rm -rf "$prefix"
exit $rc
