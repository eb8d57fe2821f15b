#!/usr/bin/env bash
# Builds the release from the two Windows build trees and the files that go
# beside the program (res/beside):
#   Kolibrio2-Setup.exe           the installer (32-bit), carrying both
#                                 programs: the 64-bit one goes onto 64-bit
#                                 Windows, the 32-bit one onto 32-bit Windows
#   Kolibrio2-portable.zip        the 32-bit program, to unpack anywhere
#   Kolibrio2-portable-x64.zip    the 64-bit program, likewise
#   test-amd64/Kolibrio2-Setup.exe
#                                 the same installer script on NSIS's 64-bit
#                                 stub, for machines whose Wine runs only
#                                 64-bit programs; never shipped
# Usage: build-release.sh <source dir> <i686 build dir> <x86_64 build dir> <output dir>
# Does nothing when the outputs are newer than every input.
set -euo pipefail
src=$(cd "$1" && pwd)
build32=$(cd "$2" && pwd)
build64=$(cd "$3" && pwd)
mkdir -p "$4"
out=$(cd "$4" && pwd)
work=$out/stage
stage="$work/Kolibrio 2"

for f in "$build32/Kolibrio2.exe" "$build64/Kolibrio2.exe" "$src/res/beside/setting_def.ini" "$src/res/beside/Licence.txt"; do
  [ -f "$f" ] || { echo "build-release.sh: missing $f" >&2; exit 1; }
done

outputs=("$out/Kolibrio2-Setup.exe" "$out/Kolibrio2-portable.zip" "$out/Kolibrio2-portable-x64.zip"
         "$out/test-amd64/Kolibrio2-Setup.exe")
fresh=1
for o in "${outputs[@]}"; do [ -f "$o" ] || fresh=; done
if [ -n "$fresh" ]; then
  newer=$(find "$build32/Kolibrio2.exe" "$build64/Kolibrio2.exe" "$src/res/beside" "$src/res/Kolibrio2.ico" \
            "$src/installer" -newer "$out/Kolibrio2-Setup.exe" -print -quit)
  [ -z "$newer" ] && exit 0
fi

rm -rf "$work"
mkdir -p "$stage"
cp -r "$src/res/beside/." "$stage/"
# Placeholder and editor files of the source tree are not part of a release.
find "$stage" -name '.*' -exec rm -rf {} +

# The installer deletes on removal exactly what it installed, so the lists
# come from the same staged tree. NSIS paths use backslashes.
files=$work/files.nsh
unfiles=$work/unfiles.nsh
: > "$files"
: > "$unfiles"
( cd "$stage"
  find . -type d | sort | while IFS= read -r d; do
    rel=${d#.}; rel=${rel#/}; win=${rel//\//\\}
    printf 'SetOutPath "$INSTDIR%s"\n' "${win:+\\$win}" >> "$files"
    find "$d" -maxdepth 1 -type f | sort | while IFS= read -r f; do
      printf 'File "%s"\n' "$stage/${f#./}" >> "$files"
      r=${f#./}
      printf 'Delete "$INSTDIR\\%s"\n' "${r//\//\\}" >> "$unfiles"
    done
  done
  # Deepest folders first; RMDir leaves a folder that still holds anything.
  find . -mindepth 1 -type d | sort -r | while IFS= read -r d; do
    r=${d#./}
    printf 'RMDir "$INSTDIR\\%s"\n' "${r//\//\\}" >> "$unfiles"
  done )

# The licence page shows the text as Unicode; the installed file keeps the
# program's code page.
licence=$work/licence-page.txt
{ printf '\xef\xbb\xbf'; iconv -f CP1250 -t UTF-8 "$src/res/beside/Licence.txt"; } > "$licence"

installer() { # stub target, output
  mkdir -p "$(dirname "$2")"
  makensis -V2 -INPUTCHARSET UTF8 \
    "-DTARGET=$1" "-DSTAGE=$stage" "-DFILES=$files" "-DUNFILES=$unfiles" "-DLICENCE=$licence" \
    "-DEXE32=$build32/Kolibrio2.exe" "-DEXE64=$build64/Kolibrio2.exe" \
    "-DICON=$src/res/Kolibrio2.ico" "-DOUTFILE=$2" \
    "$src/installer/Kolibrio2.nsi"
}
installer x86-unicode "$out/Kolibrio2-Setup.exe"
installer amd64-unicode "$out/test-amd64/Kolibrio2-Setup.exe"

# The portable archives: the program with the same files in one folder, to
# unpack anywhere the user may write (settings then stay beside the
# program). The factory settings are its first settings.
portable() { # program, archive
  rm -f "$2"
  cp "$1" "$stage/Kolibrio2.exe"
  cp "$stage/setting_def.ini" "$stage/setting.ini"
  ( cd "$work" && zip -qrX "$2" "Kolibrio 2" )
  rm -f "$stage/Kolibrio2.exe" "$stage/setting.ini"
  # The settings files are UTF-16: they must travel byte for byte.
  python3 - "$2" "$src/res/beside/setting_def.ini" <<'PY'
import sys, zipfile
factory = open(sys.argv[2], 'rb').read()
with zipfile.ZipFile(sys.argv[1]) as z:
    for name in ('Kolibrio 2/setting_def.ini', 'Kolibrio 2/setting.ini'):
        if z.read(name) != factory:
            sys.exit('build-release.sh: %s in %s is not the factory file' % (name, sys.argv[1]))
PY
}
portable "$build32/Kolibrio2.exe" "$out/Kolibrio2-portable.zip"
portable "$build64/Kolibrio2.exe" "$out/Kolibrio2-portable-x64.zip"
