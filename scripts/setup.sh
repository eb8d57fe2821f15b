#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (run as root).
# Idempotent: every step checks first, so a machine that is ready costs a few
# file tests.
set -euo pipefail

need_pkgs=()
want() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' || need_pkgs+=("$1"); }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_stale=1
fi

# libpng is cross-built from Debian's source package. The source entries are
# derived from the machine's own binary entries (same addresses and suites),
# so a machine that uses a mirror keeps using it.
src_list=/etc/apt/sources.list.d/kolibrio-src.sources
if [ ! -f "$src_list" ] && ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  python3 "$(dirname "$0")/apt-entries.py" sources "$src_list"
  apt_stale=1
fi

for p in cmake ninja-build g++ clang libclang-rt-14-dev \
         g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
         g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
         libz-mingw-w64-dev wine wine32:i386 wine64 xvfb xauth x11-utils \
         googletest dpkg-dev python3 nsis zip libexif-dev libxxhash-dev locales \
         libsqlite3-dev tcl make iproute2; do
  want "$p"
done

if [ ${#need_pkgs[@]} -gt 0 ] || [ -n "${apt_stale:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#need_pkgs[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}"
fi

# A kernel without 32-bit x86 support cannot start 32-bit Wine, nor the
# 32-bit installer and program that ship. qemu-user emulates them (in a
# namespace of the tests' own, see scripts/i386-ns.py); it must be 8.1 or
# newer: older ones ignore the address-space reservation of the 32-bit
# Wine loader, which then takes over a minute to start any program.
# Debian 12 has 7.2, its backports suite a current one, taken from the same
# address and key as the machine's own Debian entry.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 &&
   ! { command -v qemu-i386 >/dev/null &&
       dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | sed 's/^[0-9]*://')" ge 8.1; }; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  bpo_list=/etc/apt/sources.list.d/kolibrio-backports.sources
  if [ ! -f "$bpo_list" ] && ! grep -rqsE "^[^#]*$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    python3 "$(dirname "$0")/apt-entries.py" backports "$bpo_list" "$codename"
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends -t "$codename-backports" qemu-user
fi

# Wine takes its ANSI code page from the locale: the Czech one gives
# Windows-1250, the code page of the program's texts; the English one gives
# Windows-1252, where the tests of a non-Czech Windows run. A locale that
# is not generated leaves Wine unable to name files outside ASCII.
for loc in cs_CZ en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8\$"; then
    sed -i "s/^# *$loc.UTF-8 UTF-8/$loc.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" >> /etc/locale.gen
    locale-gen >/dev/null
  fi
done

here=$(cd "$(dirname "$0")/.." && pwd)

# SQLite for MinGW, from Debian's own source package. Its makefile writes the
# library as the one file that SQLite ships for embedding (tclsh, a build
# tool of the host, does that); each cross compiler then builds that file
# into a static library. Made once, when the first target needs it.
sqlite_work=
sqlite_one_file() {
  [ -n "$sqlite_work" ] && return
  sqlite_work=$(mktemp -d)
  ( cd "$sqlite_work"
    apt-get source -qq sqlite3/bookworm >/dev/null 2>&1
    src=$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
    mkdir build
    cd build
    "../$src/configure" --disable-tcl >/dev/null
    make -s sqlite3.c >/dev/null )
}
# No extensions loaded from DLLs, string literals only in single quotes, no
# memory statistics kept on every allocation. Reads and writes go to the
# file's position rather than carry their offset: under Wine a read or write
# given its offset costs a round trip to the server, a seek does not.
sqlite_flags=(-O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0
              -DSQLITE_DEFAULT_MEMSTATUS=0 -DSQLITE_OMIT_DEPRECATED -DSQLITE_OMIT_SHARED_CACHE
              -DSQLITE_LIKE_DOESNT_MATCH_BLOBS -DSQLITE_WIN32_NO_OVERLAPPED)

for arch in i686 x86_64; do
  prefix=/usr/$arch-w64-mingw32
  toolchain="$here/cmake/mingw-$arch.cmake"
  # MinGW's posix thread model is the one with std::thread and std::mutex.
  update-alternatives --set $arch-w64-mingw32-g++ /usr/bin/$arch-w64-mingw32-g++-posix >/dev/null 2>&1 || true
  update-alternatives --set $arch-w64-mingw32-gcc /usr/bin/$arch-w64-mingw32-gcc-posix >/dev/null 2>&1 || true

  # libpng for MinGW, from Debian's own source package.
  if [ ! -f "$prefix/lib/libpng16.a" ] || [ ! -f "$prefix/include/png.h" ]; then
    work=$(mktemp -d)
    ( cd "$work"
      apt-get source -qq libpng1.6/bookworm >/dev/null 2>&1
      src=$(find . -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
      cmake -S "$src" -B build -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
        -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON >/dev/null
      cmake --build build >/dev/null
      cmake --install build >/dev/null )
    rm -rf "$work"
  fi

  # GoogleTest for MinGW, from Debian's googletest source (shipped in /usr/src).
  if [ ! -f "$prefix/lib/libgtest.a" ]; then
    work=$(mktemp -d)
    cmake -S /usr/src/googletest -B "$work/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$work/build" >/dev/null
    cmake --install "$work/build" >/dev/null
    rm -rf "$work"
  fi

  # SQLite for MinGW: the import history's database. Built again when the
  # flags it was built with change.
  stamp="$prefix/lib/libsqlite3.kolibrio-flags"
  if [ ! -f "$prefix/lib/libsqlite3.a" ] || [ ! -f "$prefix/include/sqlite3.h" ] ||
     [ "$(cat "$stamp" 2>/dev/null)" != "${sqlite_flags[*]}" ]; then
    sqlite_one_file
    one="$sqlite_work/build"
    $arch-w64-mingw32-gcc-posix "${sqlite_flags[@]}" -c "$one/sqlite3.c" -o "$one/sqlite3-$arch.o"
    rm -f "$one/libsqlite3-$arch.a"
    $arch-w64-mingw32-ar rcs "$one/libsqlite3-$arch.a" "$one/sqlite3-$arch.o"
    install -m 644 "$one/libsqlite3-$arch.a" "$prefix/lib/libsqlite3.a"
    install -m 644 "$one/sqlite3.h" "$prefix/include/sqlite3.h"
    printf '%s\n' "${sqlite_flags[*]}" > "$stamp"
  fi
done
if [ -n "$sqlite_work" ]; then
  rm -rf "$sqlite_work"
fi
