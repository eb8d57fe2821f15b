#!/usr/bin/env bash
# Runs one Windows test program under Wine in a fresh prefix copied from the
# run's template, then shuts that prefix's wineserver down and removes it.
set -uo pipefail
exe=$1; shift
template=${KOLIBRIO_WINE_TEMPLATE:?run the tests through test.sh}
prefix=$(mktemp -d /tmp/kolibrio-wine.XXXXXX)
cp -a "$template/." "$prefix/"
export WINEPREFIX=$prefix WINEARCH=${WINEARCH:?} WINEDEBUG=${WINEDEBUG:--all}
export KOLIBRIO_PREFIX=$prefix
# A test program named ..._english runs on a Western Windows: Wine takes the
# ANSI code page (1252 instead of the Czech 1250) from the locale.
case $(basename "$exe") in *_english.exe) export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 ;; esac
wine "$exe" "$@"
rc=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
rm -rf "$prefix"
exit $rc
