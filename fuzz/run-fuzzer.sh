#!/usr/bin/env bash
# Fuzzes one target for a bounded time from a fresh seed corpus.
# The target writes its own seeds when KOLIBRIO_SEEDS names a folder.
set -euo pipefail
target=$1 corpus=$2 seconds=$3
rm -rf "$corpus" && mkdir -p "$corpus"
KOLIBRIO_SEEDS="$corpus" "$target" -runs=0 "$corpus" >/dev/null 2>&1 || true
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -max_len=65536 \
  -print_final_stats=1 "$corpus" 2>&1 | tail -n 25
