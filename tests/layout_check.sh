#!/usr/bin/env bash
# The tree's two rules that a reader relies on without opening files:
#  - a file outside framework/ and the tests that touches Win32 (a Windows
#    header, or the framework) is named Name_win.cpp / Name_win.h, and a
#    file so named does touch it; a header is named after the file that
#    defines what it declares (Name_win.h for Name_win.cpp);
#  - the framework includes no subsystem's header.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=0
win_include='#include (<(windows|wininet|shlobj|shellapi|commctrl|commdlg|shlwapi)\.h>|"framework/)'
for f in $(git ls-files 'app/*' 'base/*' 'device/*' 'exif/*' 'import/*' 'mask/*' 'net/*' 'settings/*' |
           grep -E '\.(cpp|h)$'); do
  name=$(basename "$f")
  if grep -qE "$win_include" "$f" || grep -qE '#include "[a-z]+/[A-Za-z0-9]+_win\.h"' "$f"; then
    case $name in *_win.cpp | *_win.h) ;; *) echo "$f touches Win32 but is not named *_win"; bad=1 ;; esac
  else
    case $name in
    *_win.cpp) echo "$f is named *_win but touches no Win32"; bad=1 ;;
    *_win.h) [ -f "${f%.h}.cpp" ] || { echo "$f is named *_win but touches no Win32"; bad=1; } ;;
    *.h) if [ -f "${f%.h}_win.cpp" ] && [ ! -f "${f%.h}.cpp" ]; then
           echo "$f declares what ${f%.h}_win.cpp defines: name it *_win.h"; bad=1
         fi ;;
    esac
  fi
done
for f in $(git ls-files 'framework/*'); do
  if grep -qE '#include "(app|base|device|exif|import|mask|net|settings)/' "$f"; then
    echo "$f: the framework includes a subsystem's header"; bad=1
  fi
done
exit $bad
