#!/usr/bin/env bash
# How the scripts run 32-bit Windows programs on a machine where they cannot
# run at all: the kernel refuses the 32-bit loader ("Exec format error", as
# it refuses here an ELF program of another processor) and no qemu-i386 is
# on the path. The 32-bit tests
# must then be reported as not run, with the reason, never as passed; the
# 64-bit ones still run.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The header of a 32-bit ARM executable, which no x86 kernel starts.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\050\000\001\000\000\000' > "$work/wine32"
head -c 32 /dev/zero >> "$work/wine32"
chmod +x "$work/wine32"
mkdir "$work/bin"
for tool in python3 sed head tail mkdir chmod mv cat dirname; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; fi; }

out=$(env -i PATH="$work/bin" KOLIBRIO_BUILD_ROOT="$work/build" KOLIBRIO_WINE32_LOADER="$work/wine32" \
      /bin/bash -c 'source scripts/wine-env.sh && echo "mode=$KOLIBRIO_I386" && echo "why=$KOLIBRIO_I386_WHY" && echo "trees=$KOLIBRIO_WIN_TREES"')
check "no 32-bit execution and no emulator is mode none" '[[ "$out" == *"mode=none"* ]]'
check "the reason names the loader's failure and the missing emulator" \
  '[[ "$out" == *"Exec format error"* && "$out" == *"qemu-i386 is not installed"* ]]'
check "both trees are still tested (the 32-bit one as not run)" '[[ "$out" == *"trees=win win64"* ]]'

forced=$(env -i PATH="$work/bin" KOLIBRIO_BUILD_ROOT="$work/build" KOLIBRIO_WINE32_LOADER="$work/wine32" KOLIBRIO_WINE=32 \
         /bin/bash -c 'source scripts/wine-env.sh; echo "rc=$?"' 2>&1 || true)
check "forcing the 32-bit program where none runs is refused" '[[ "$forced" == *"no 32-bit program runs here"* && "$forced" != *"rc=0"* ]]'

# A 32-bit test program under these conditions: skipped with its reason
# (ctest's SKIP_RETURN_CODE 77), Wine never started.
set +e
skipped=$(env -i PATH="$work/bin" KOLIBRIO_TREE_BITS=32 KOLIBRIO_I386=none KOLIBRIO_I386_WHY="the reason given" \
          /bin/bash tests/wine-run.sh "$work/some_test.exe")
rc=$?
set -e
check "a 32-bit test exits with the skip code" '[ "$rc" = 77 ]'
check "and says it was not run, and why" '[[ "$skipped" == "Not run:"*"the reason given"* ]]'
[ "$fail" = 0 ] && echo "wine modes: all checks passed"
exit "$fail"
