#!/usr/bin/env bash
# Builds the Windows installer Kolibrio2-Setup.exe and the portable archive
# Kolibrio2-portable.zip from the program in a Windows build tree and the
# files that go beside it (res/beside).
# Usage: build-release.sh <source dir> <windows build dir>
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$build/release
stage="$work/Kolibrio 2"

for f in "$build/Kolibrio2.exe" "$src/res/beside/setting_def.ini" "$src/res/beside/Licence.txt"; do
  [ -f "$f" ] || { echo "build-release.sh: missing $f" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$stage"
cp "$build/Kolibrio2.exe" "$stage/"
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

makensis -V2 -INPUTCHARSET UTF8 \
  "-DSTAGE=$stage" "-DFILES=$files" "-DUNFILES=$unfiles" "-DLICENCE=$licence" \
  "-DICON=$src/res/Kolibrio2.ico" "-DOUTFILE=$build/Kolibrio2-Setup.exe" \
  "$src/installer/Kolibrio2.nsi"

# The portable archive: the same files in one folder, to unpack anywhere
# the user may write (settings then stay beside the program).
rm -f "$build/Kolibrio2-portable.zip"
( cd "$work" && zip -qrX "$build/Kolibrio2-portable.zip" "Kolibrio 2" )
