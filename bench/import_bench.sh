#!/usr/bin/env bash
# A whole import under Wine against what it is measured by, on one card tree
# on one disk: the bare Win32 copy loop (the limit of a copy through a
# 32769-byte buffer), ExifTool's rename-by-date copy and cp -r. Prints one
# table; asserts nothing. Not part of test.sh or ctest.
#
#   bench/import_bench.sh            # build root: $KOLIBRIO_BUILD_ROOT or build
#   ROUNDS=3 bench/import_bench.sh   # more rounds; the best time of each counts
#
# Disk: about 1.3 GB of card tree plus one output of the same size at a time,
# under $KOLIBRIO_BENCH_DIR (default /tmp/kolibrio-importbench); all removed
# at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KOLIBRIO_BUILD_ROOT:-build}
rounds=${ROUNDS:-2}
work=${KOLIBRIO_BENCH_DIR:-/tmp/kolibrio-importbench}
exe=$PWD/$root/win/bench/import_win_bench.exe

if [ ! -f "$root/win/build.ninja" ]; then
  KOLIBRIO_BUILD_ROOT=$root bash scripts/build.sh win
fi
cmake --build "$root/win" --target import_win_bench >/dev/null

if ! command -v exiftool >/dev/null; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y libimage-exiftool-perl >/dev/null 2>&1
fi

export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/kolibrio-importbench-wine.XXXXXX)

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wineserver -w

rm -rf "$work"
mkdir -p "$work"
card=$work/card
out=$work/out
win() { local p=$1; echo "Z:${p//\//\\}"; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
best() { printf '%s\n' "$@" | sort -g | head -1; }
clean_out() { rm -rf "$out"; sync; }

echo "generating the card tree in $card ..."
gen=$(wine "$exe" gen "$(win "$card")" | tr -d '\r' | grep '^RESULT')
files=$(field files "$gen")
bytes=$(field bytes "$gen")
sync

copy_s=() import_s=() exif_s=() cp_s=()
for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds ..."
  line=$(wine "$exe" copy "$(win "$card")" "$(win "$out")" | tr -d '\r' | grep '^RESULT')
  [ "$(field ok "$line")" = 1 ] && [ "$(field files "$line")" = "$files" ] || echo "bare copy incomplete: $line"
  echo "  $line"
  copy_s+=("$(field seconds "$line")")
  clean_out

  output=$(wine "$exe" import "$(win "$card")" "$(win "$out")" | tr -d '\r')
  line=$(grep '^RESULT mode=import' <<<"$output")
  grep -v '^RESULT' <<<"$output" || true
  [ "$(field ok "$line")" = 1 ] && [ "$(field files "$line")" = "$files" ] && [ "$(field bytes "$line")" = "$bytes" ] \
    || echo "import incomplete: $line"
  import_s+=("$(field seconds "$line")")
  import_line=$line
  echo "  $line"
  sort_line=$(grep '^RESULT mode=sort' <<<"$output")
  clean_out

  t0=$(date +%s.%N)
  exiftool -o dummy/ -r -ext jpg -ext orf -ext avi -ext mov -ext wav '-FileName<FileModifyDate' \
    '-FileName<CreateDate' -d "$out/%Y/%m/%d/%H%M%S%%-c.%%e" "$card" >"$work/exiftool.log" 2>&1 || true
  t1=$(date +%s.%N)
  n=$(find "$out" -type f 2>/dev/null | wc -l)
  [ "$n" = "$files" ] || { echo "exiftool wrote $n of $files files:"; tail -3 "$work/exiftool.log"; }
  exif_s+=("$(echo "$t1 - $t0" | bc)")
  clean_out

  t0=$(date +%s.%N)
  cp -r "$card" "$out"
  t1=$(date +%s.%N)
  cp_s+=("$(echo "$t1 - $t0" | bc)")
  clean_out
done

# What the single calls of a file's copy cost here, to explain the gap.
calls=$(wine "$exe" calls "$(win "$card")" "$(win "$out")" | tr -d '\r' | grep '^RESULT')
clean_out

# The figures are printed with a decimal point, whatever the Wine locale.
export LC_ALL=C LANG=C
c=$(best "${copy_s[@]}") i=$(best "${import_s[@]}") e=$(best "${exif_s[@]}") p=$(best "${cp_s[@]}")
mb=$(echo "$bytes / 1000000" | bc -l)
row() { # name, seconds, note
  printf '%-34s %8.2f s %9.0f files/s %8.1f MB/s %7.2f x bare copy  %s\n' "$1" "$2" \
    "$(echo "$files / $2" | bc -l)" "$(echo "$mb / $2" | bc -l)" "$(echo "$2 / $c" | bc -l)" "$3"
}
echo
printf 'card tree: %d files, %.0f MB; best of %d rounds, warm page cache, same disk\n' "$files" "$mb" "$rounds"
row "bare Win32 copy loop (Wine)" "$c" "(${copy_s[*]})"
row "Kolibrio import (Wine)" "$i" "(${import_s[*]})"
row "exiftool rename-by-date copy" "$e" "(${exif_s[*]})"
row "cp -r (reference only)" "$p" "(${cp_s[*]})"
echo
order=$(field order_s "$import_line") sortonly=$(field seconds "$sort_line")
ws=$(field peak_ws_mib "$import_line")
verdict() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo met; else echo MISSED; fi; }
printf 'import / bare copy:        %5.2f  (target <= 1.25: %s)\n' "$(echo "$i / $c" | bc -l)" \
  "$(verdict "$i <= 1.25 * $c")"
printf 'exiftool / import:         %5.2f  (target >= 3: %s)\n' "$(echo "$e / $i" | bc -l)" \
  "$(verdict "$e >= 3 * $i")"
printf 'ordering phase in the run: %5.3f s, SortByCaptureDate alone %.3f s for %d files (target < 1 s: %s)\n' \
  "$order" "$sortonly" "$(field files "$sort_line")" "$(verdict "$order < 1")"
printf 'peak working set:          %5.1f MB (before the import %.1f; target < 50: %s)\n' "$ws" \
  "$(field ws_before_mib "$import_line")" "$(verdict "$ws < 50")"
printf 'phases of the last run:    scan+sizes %s s, ordering %s s, naming %s s, copying %s s\n' \
  "$(field scan_size_s "$import_line")" "$order" "$(field naming_s "$import_line")" "$(field copy_s "$import_line")"
printf 'per-file calls (us):       open+size+close %s, attributes of a missing file %s, of a folder %s,\n' \
  "$(field open_size_close_us "$calls")" "$(field attributes_missing_us "$calls")" \
  "$(field attributes_folder_us "$calls")"
printf '                           create+close %s, create+close+rename %s\n' "$(field create_close_us "$calls")" \
  "$(field create_close_rename_us "$calls")"
