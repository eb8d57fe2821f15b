#!/usr/bin/env bash
# Configures and builds the trees: build/win (MinGW i686: the 32-bit program
# and its Windows tests), build/win64 (MinGW x86_64: the 64-bit program and
# its tests), then the release (installers and portable archives of both
# programs) in build/release; with "all" also build/native (g++ + ASan/UBSan:
# the portable core and its tests) and build/fuzz (clang + libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
# Another root lets several builds of one checkout run side by side.
root=${KOLIBRIO_BUILD_ROOT:-build}
jobs=$(nproc)

configure() { # dir, extra args...
  local dir=$1; shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

configure "$root/win" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake"
cmake --build "$root/win" -j "$jobs"
configure "$root/win64" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-x86_64.cmake"
cmake --build "$root/win64" -j "$jobs"
bash installer/build-release.sh . "$root/win" "$root/win64" "$root/release"
if [ "$what" = all ]; then
  configure "$root/native" -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
  cmake --build "$root/native" -j "$jobs"
  configure "$root/fuzz" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DKOLIBRIO_FUZZ=ON
  cmake --build "$root/fuzz" -j "$jobs"
fi
