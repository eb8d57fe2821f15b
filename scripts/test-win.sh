#!/usr/bin/env bash
# For developers: builds only one Windows tree (build/win64, or build/win
# with KOLIBRIO_WINE=32) and runs its tests, or those matching the ctest
# arguments given (e.g. -R import). No setup, no native or fuzz trees.
set -euo pipefail
cd "$(dirname "$0")/.."
export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
source scripts/wine-env.sh
echo "Windows tests: the ${KOLIBRIO_WINE_MODE}-bit program, $KOLIBRIO_WIN_DIR ($KOLIBRIO_WINE_WHY); 32-bit programs: $KOLIBRIO_I386"
arch=$([ "$KOLIBRIO_WINE_MODE" = 32 ] && echo i686 || echo x86_64)
[ -f "$KOLIBRIO_WIN_DIR/build.ninja" ] ||
  cmake -S . -B "$KOLIBRIO_WIN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$KOLIBRIO_WIN_DIR" -j "$(nproc)"
source scripts/xvfb.sh
trap '[ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null; true' EXIT
export KOLIBRIO_WINE_TEMPLATE=$kolibrio_root/wine-template-$KOLIBRIO_WINE_MODE
[ -f "$KOLIBRIO_WINE_TEMPLATE/system.reg" ] || kolibrio_make_prefix "$KOLIBRIO_WINE_TEMPLATE"
export KOLIBRIO_WINE_TEMPLATE32=$kolibrio_root/wine-template32
if [ "$KOLIBRIO_WINE_MODE" = 32 ] && [ ! -f "$KOLIBRIO_WINE_TEMPLATE32/system.reg" ]; then
  kolibrio_make_prefix "$KOLIBRIO_WINE_TEMPLATE32" win32
fi
cd "$KOLIBRIO_WIN_DIR"
ctest --output-on-failure -j 2 "$@"
