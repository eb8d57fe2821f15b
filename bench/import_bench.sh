#!/usr/bin/env bash
# A whole import under Wine against what it is measured by, on one card tree
# on one disk: the real program with its windows (Kolibrio2.exe, the card
# arriving as a removable drive, "Ano" clicked, timed until the result box),
# the engine alone with scripted answers, the bare Win32 copy loop (the limit
# of a copy through a 32769-byte buffer), ExifTool's rename-by-date copy and
# cp -r. The real program is also timed with its history of imports off,
# with a history of 100,000 rows that knows none of the card's files, and
# at the card's second arrival with every file known. Prints one table per
# card with the best and the median of the rounds; asserts nothing. Not
# part of test.sh or ctest.
#
#   bench/import_bench.sh                              # cards "camera small", 3 rounds
#   KOLIBRIO_BENCH_CARDS="camera small full" bench/import_bench.sh
#   ROUNDS=5 bench/import_bench.sh
#   KOLIBRIO_BENCH_PROGRAM=/path/Kolibrio2.exe ...     # time another build of the program
#   KOLIBRIO_BENCH_PROGRAMS="before=/a/Kolibrio2.exe"  # extra programs, timed beside it (unchecked and checked)
#
# Cards: camera (207 files, 0.19 GB: 203 JPEGs of 100-400 KiB, 4 videos of
# 35 MB), small (2000 JPEGs of 8-40 KiB, where the per-file costs show), full
# (2030 files, 2.0 GB: 2026 JPEGs, 4 videos of 370 MB). Disk: the card trees
# plus one output at a time under $KOLIBRIO_BENCH_DIR (default
# /tmp/kolibrio-importbench); all removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
source scripts/wine-env.sh
rounds=${ROUNDS:-3}
cards=${KOLIBRIO_BENCH_CARDS:-camera small}
work=${KOLIBRIO_BENCH_DIR:-/tmp/kolibrio-importbench}
dir=$KOLIBRIO_WIN_DIR
arch=$([ "$KOLIBRIO_WINE_MODE" = 32 ] && echo i686 || echo x86_64)
[ -f "$dir/build.ninja" ] ||
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$dir" --target Kolibrio2 import_win_bench history_bench >/dev/null
exe=$(realpath "$dir/bench/import_win_bench.exe")
histexe=$(realpath "$dir/bench/history_bench.exe")
program=$(realpath "${KOLIBRIO_BENCH_PROGRAM:-$dir/Kolibrio2.exe}")

if ! command -v exiftool >/dev/null; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y libimage-exiftool-perl >/dev/null 2>&1 || echo "ExifTool could not be installed"
fi

# The program shows its windows on an X server. Xvfb has no window manager:
# the prefix makes X11 windows unmanaged, or Wine waits 2 s for a manager on
# each of two windows after "Ano" and that wait would be taken for the import.
source scripts/xvfb.sh
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/kolibrio-importbench-wine.XXXXXX)
cleanup() {
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$work"
  [ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null
  true
}
trap cleanup EXIT
kolibrio_make_prefix "$WINEPREFIX"

rm -rf "$work"
mkdir -p "$work"
out=$work/out
win() { local p=$1; echo "Z:${p//\//\\}"; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
clean_out() { rm -rf "$out"; sync; }
run() { wine "$exe" "$@" | tr -d '\r'; }

# Programs to time: this build's, and any named in KOLIBRIO_BENCH_PROGRAMS.
names=(program) paths=("$program")
for entry in ${KOLIBRIO_BENCH_PROGRAMS:-}; do
  names+=("${entry%%=*}") paths+=("$(realpath "${entry#*=}")")
done

echo "Wine: $KOLIBRIO_WINE_MODE-bit ($KOLIBRIO_WINE_WHY); rounds: $rounds; cards: $cards"
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
report=()
# A history of years of use (100,000 rows, none of this run's cards), which
# the program starts with in the rows that say so.
history=$work/history
mkdir -p "$history"
echo "making a history of 100,000 rows ..."
wine "$histexe" make "$(win "$history")" 100000 | tr -d '\r' | grep -E 'size|rows' | head -3 || true

for kind in $cards; do
  card=$work/card-$kind
  echo "generating the $kind card in $card ..."
  gen=$(run gen "$(win "$card")" "$kind" | grep '^RESULT')
  files=$(field files "$gen")
  bytes=$(field bytes "$gen")
  sync
  declare -A times=()
  ws=""
  for ((r = 1; r <= rounds; r++)); do
    echo "  round $r of $rounds ..."
    line=$(run copy "$(win "$card")" "$(win "$out")" | grep '^RESULT')
    [ "$(field ok "$line")" = 1 ] && [ "$(field files "$line")" = "$files" ] || echo "  bare copy incomplete: $line"
    times[copy]+=" $(field seconds "$line")"
    clean_out

    output=$(run import "$(win "$card")" "$(win "$out")" off)
    line=$(grep '^RESULT mode=import' <<<"$output")
    [ "$(field ok "$line")" = 1 ] && [ "$(field files "$line")" = "$files" ] && [ "$(field bytes "$line")" = "$bytes" ] ||
      { echo "  engine import incomplete: $line"; grep -v '^RESULT' <<<"$output" || true; }
    times[engine]+=" $(field seconds "$line")"
    engine_line=$line
    # The checked import waits until every copy is on the disk; this one
    # returned with much of its data in the page cache. Writing that out
    # (the file system's sync) gives the figure to compare the check with.
    t0=$(date +%s.%N)
    sync -f "$out"
    t1=$(date +%s.%N)
    times[durable]+=" $(echo "$(field seconds "$line") + $t1 - $t0" | bc)"
    clean_out

    # The same engine with every copy flushed, read back and compared.
    output=$(run import "$(win "$card")" "$(win "$out")" on)
    line=$(grep '^RESULT mode=import' <<<"$output")
    [ "$(field ok "$line")" = 1 ] && [ "$(field files "$line")" = "$files" ] && [ "$(field bytes "$line")" = "$bytes" ] ||
      { echo "  checked engine import incomplete: $line"; grep -v '^RESULT' <<<"$output" || true; }
    times[checked]+=" $(field seconds "$line")"
    checked_line=$line
    clean_out

    # One run of a program with its windows, timed under key; sets line.
    time_program() { # key, path, check on|off, history (fresh|off|known|file)
      line=$(run program "$(win "$2")" "$(win "$card")" "$(win "$out")" "$3" "${4:-fresh}" | grep '^RESULT' || true)
      [ "$(field ok "$line")" = 1 ] && [ "$(field files "$line")" = "$files" ] && [ "$(field bytes "$line")" = "$bytes" ] &&
        [ "$(field progress_seen "$line")" = 1 ] || echo "  $1 incomplete: $line"
      times[$1]+=" $(field seconds "$line")"
      clean_out
    }
    for k in "${!names[@]}"; do
      time_program "${names[$k]}" "${paths[$k]}" off
      [ "$k" = 0 ] && ws+=" $(field peak_ws_mib "$line")"
    done
    # This build once more as it runs unless told otherwise: every copy
    # checked before it takes its name.
    time_program program_checked "$program" on
    for k in "${!names[@]}"; do
      [ "$k" = 0 ] || time_program "${names[$k]}_checked" "${paths[$k]}" on
    done
    # What the history of imports costs: none at all (the option off)
    # against one of 100,000 rows that knows none of the card's files; and
    # the card's second arrival, every file known.
    time_program program_nohistory "$program" off off
    time_program program_history "$program" off "$history/import_history.db"
    time_program program_checked_nohistory "$program" on off
    time_program program_checked_history "$program" on "$history/import_history.db"
    line=$(run program "$(win "$program")" "$(win "$card")" "$(win "$out")" on known | grep '^RESULT' || true)
    [ "$(field ok "$line")" = 1 ] || echo "  known card incomplete: $line"
    times[program_known]+=" $(field seconds "$line")"
    clean_out

    if command -v exiftool >/dev/null; then
      t0=$(date +%s.%N)
      exiftool -o dummy/ -r -ext jpg -ext orf -ext avi -ext mov -ext wav '-FileName<FileModifyDate' \
        '-FileName<CreateDate' -d "$out/%Y/%m/%d/%H%M%S%%-c.%%e" "$card" >"$work/exiftool.log" 2>&1 || true
      t1=$(date +%s.%N)
      n=$(find "$out" -type f 2>/dev/null | wc -l)
      [ "$n" = "$files" ] || { echo "  exiftool wrote $n of $files files:"; tail -3 "$work/exiftool.log"; }
      times[exiftool]+=" $(echo "$t1 - $t0" | bc)"
      clean_out
    fi

    t0=$(date +%s.%N)
    cp -r "$card" "$out"
    t1=$(date +%s.%N)
    times[cp]+=" $(echo "$t1 - $t0" | bc)"
    clean_out
  done
  calls=$(run calls "$(win "$card")" "$(win "$out")" | grep '^RESULT')
  clean_out
  rm -rf "$card"

  # The figures are printed with a decimal point, whatever the Wine locale.
  table=$(
    export LC_ALL=C LANG=C
    best() { printf '%s\n' $1 | sort -g | head -1; }
    median() { printf '%s\n' $1 | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
    c=$(best "${times[copy]}")
    mb=$(echo "$bytes / 1000000" | bc -l)
    printf '\n%s card: %d files, %.0f MB; %d rounds, warm page cache, same disk\n' "$kind" "$files" "$mb" "$rounds"
    printf '%-38s %8s %8s %9s %8s %8s  %s\n' "" "best s" "median s" "files/s" "MB/s" "x bare" "all rounds"
    row() { # name, key
      local t=${times[$2]:-}
      [ -n "$t" ] || return 0
      local b m
      b=$(best "$t") m=$(median "$t")
      printf '%-38s %8.2f %8.2f %9.0f %8.1f %8.2f  (%s )\n' "$1" "$b" "$m" "$(echo "$files / $b" | bc -l)" \
        "$(echo "$mb / $b" | bc -l)" "$(echo "$b / $c" | bc -l)" "$t"
    }
    row "bare Win32 copy loop (Wine)" copy
    for k in "${!names[@]}"; do
      if [ "$k" = 0 ]; then row "Kolibrio2.exe with its windows (Wine)" program; else row "${names[$k]}: Kolibrio2.exe (Wine)" "${names[$k]}"; fi
    done
    row "Kolibrio2.exe, copies checked (Wine)" program_checked
    for k in "${!names[@]}"; do
      [ "$k" = 0 ] || row "${names[$k]}: Kolibrio2.exe, checked (Wine)" "${names[$k]}_checked"
    done
    row "  no history (option off), unchecked" program_nohistory
    row "  history of 100,000 rows, unchecked" program_history
    row "  no history (option off), checked" program_checked_nohistory
    row "  history of 100,000 rows, checked" program_checked_history
    row "  the same card again, all known" program_known
    row "engine alone, scripted answers (Wine)" engine
    row "engine, then sync -f" durable
    row "engine, copies checked" checked
    row "exiftool rename-by-date copy" exiftool
    row "cp -r (reference only)" cp
    p=$(best "${times[program]}")
    printf 'program / bare copy %.2f; ' "$(echo "$p / $c" | bc -l)"
    [ -n "${times[exiftool]:-}" ] && printf 'exiftool / program %.2f; ' "$(echo "$(best "${times[exiftool]}") / $p" | bc -l)"
    printf 'peak working set of the program %s MB (rounds:%s)\n' "$(printf '%s\n' $ws | sort -g | tail -1)" "$ws"
    printf 'per-file: program %.3f ms, bare loop %.3f ms a file over the whole run\n' \
      "$(echo "$p * 1000 / $files" | bc -l)" "$(echo "$c * 1000 / $files" | bc -l)"
    printf 'engine phases of its last run: scan+sizes %s s, ordering %s s, naming %s s, copying %s s\n' \
      "$(field scan_size_s "$engine_line")" "$(field order_s "$engine_line")" "$(field naming_s "$engine_line")" \
      "$(field copy_s "$engine_line")"
    printf 'per-file calls (us): open+size+close %s, attributes of a missing file %s, of a folder %s,\n' \
      "$(field open_size_close_us "$calls")" "$(field attributes_missing_us "$calls")" \
      "$(field attributes_folder_us "$calls")"
    printf '                     create+close %s, create+close+rename %s\n' "$(field create_close_us "$calls")" \
      "$(field create_close_rename_us "$calls")"
    v=$(best "${times[checked]}") i=$(best "${times[engine]}")
    printf 'copy check: program checked / unchecked %.2f (medians %.2f; budget 1.15),\n' \
      "$(echo "$(best "${times[program_checked]}") / $p" | bc -l)" \
      "$(echo "$(median "${times[program_checked]}") / $(median "${times[program]}")" | bc -l)"
    printf '            engine checked / unchecked %.2f, checked / engine+sync %.2f;\n' \
      "$(echo "$v / $i" | bc -l)" "$(echo "$v / $(best "${times[durable]}")" | bc -l)"
    printf '            copy finish of the last runs %s s checked, %s s unchecked\n' \
      "$(field copy_finish_s "$checked_line")" "$(field copy_finish_s "$engine_line")"
    printf '            write+flush+close %s us against write+close %s, read-back past the cache %s, cached read %s;\n' \
      "$(field write_flush_close_us "$calls")" "$(field write_close_us "$calls")" "$(field readback_us "$calls")" \
      "$(field cached_read_us "$calls")"
    printf '            XXH3 %s MB/s\n' "$(field hash_mb_s "$calls")"
    printf 'history: 100,000 rows / none %.3f unchecked, %.3f checked (best; medians %.3f, %.3f; budget 1.05);\n' \
      "$(echo "$(best "${times[program_history]}") / $(best "${times[program_nohistory]}")" | bc -l)" \
      "$(echo "$(best "${times[program_checked_history]}") / $(best "${times[program_checked_nohistory]}")" | bc -l)" \
      "$(echo "$(median "${times[program_history]}") / $(median "${times[program_nohistory]}")" | bc -l)" \
      "$(echo "$(median "${times[program_checked_history]}") / $(median "${times[program_checked_nohistory]}")" | bc -l)"
    printf '         the same card again, every file known: %.2f s to the result box (best; budget 1 s)\n' \
      "$(best "${times[program_known]}")"
  )
  echo "$table"
  report+=("$table")
  unset times
done
echo
echo "==== summary (load after the run: $(cut -d' ' -f1-3 /proc/loadavg)) ===="
printf '%s\n' "${report[@]}"
