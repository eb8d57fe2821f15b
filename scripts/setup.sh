#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (run as root).
# Idempotent: every step checks first, so a machine that is ready costs a few
# file tests.
set -euo pipefail

DEPS_PREFIX=/usr/i686-w64-mingw32
MINGW_CXX=i686-w64-mingw32-g++-posix

need_pkgs=()
want() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' || need_pkgs+=("$1"); }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_stale=1
fi

# libpng is cross-built from Debian's source package, which needs a deb-src
# line for Debian's own repository (the security mirror keeps no sources).
if ! grep -rqsE '^(Types:.*deb-src|deb-src .*deb\.debian\.org/debian )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  cat > /etc/apt/sources.list.d/kolibrio-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt_stale=1
fi

for p in cmake ninja-build g++ clang libclang-rt-14-dev \
         g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
         libz-mingw-w64-dev wine wine32:i386 xvfb xauth x11-utils \
         googletest dpkg-dev python3 nsis zip libexif-dev locales; do
  want "$p"
done

if [ ${#need_pkgs[@]} -gt 0 ] || [ -n "${apt_stale:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#need_pkgs[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}"
fi

# Wine takes its ANSI code page from the locale: the Czech one gives
# Windows-1250, the code page of the program's texts in files.
if ! locale -a 2>/dev/null | grep -qi '^cs_CZ\.utf-\?8$'; then
  sed -i 's/^# *cs_CZ.UTF-8 UTF-8/cs_CZ.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^cs_CZ.UTF-8 UTF-8' /etc/locale.gen || echo 'cs_CZ.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# MinGW's posix thread model is the one with std::thread and std::mutex.
update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true

here=$(cd "$(dirname "$0")/.." && pwd)
toolchain="$here/cmake/mingw-i686.cmake"

# libpng for MinGW, from Debian's own source package.
if [ ! -f "$DEPS_PREFIX/lib/libpng16.a" ] || [ ! -f "$DEPS_PREFIX/include/png.h" ]; then
  work=$(mktemp -d)
  ( cd "$work"
    apt-get source -qq libpng1.6/bookworm >/dev/null 2>&1
    src=$(find . -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
    cmake -S "$src" -B build -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$DEPS_PREFIX" \
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
      -DZLIB_LIBRARY="$DEPS_PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$DEPS_PREFIX/include" \
      -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON >/dev/null
    cmake --build build >/dev/null
    cmake --install build >/dev/null )
  rm -rf "$work"
fi

# GoogleTest for MinGW, from Debian's googletest source (shipped in /usr/src).
if [ ! -f "$DEPS_PREFIX/lib/libgtest.a" ]; then
  work=$(mktemp -d)
  cmake -S /usr/src/googletest -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$DEPS_PREFIX" \
    -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$work/build" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
fi
