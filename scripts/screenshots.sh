#!/usr/bin/env bash
# Makes the screenshots in docs/screenshots/: each page of the settings
# window, the arrival confirmation window, the copy progress window and a
# message box, shown by tests/win/programs/screenshot_windows.cpp under
# Wine on Xvfb in the Czech locale. KOLIBRIO_SHOTS_DIR puts them elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KOLIBRIO_BUILD_ROOT:-build}

# Screen capture: xwd from x11-apps, turned into PNG by ImageMagick.
if ! command -v xwd >/dev/null || ! /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y --no-install-recommends x11-apps imagemagick >/dev/null
fi
bash scripts/build.sh win
# A stand-in "convert" may come first on the PATH; take ImageMagick's own.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)

export TZ=Europe/Prague LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
source scripts/wine-env.sh
source scripts/xvfb.sh
work=$(mktemp -d)
cleanup() {
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  [ -n "${KOLIBRIO_XVFB_PID:-}" ] && kill "$KOLIBRIO_XVFB_PID" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX=$work/prefix
kolibrio_make_prefix "$WINEPREFIX"
# KOLIBRIO_DPI=144 shows the windows as on a screen scaled to 150 %.
if [ -n "${KOLIBRIO_DPI:-}" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$KOLIBRIO_DPI" /f >/dev/null 2>&1
fi
wineserver -w

out=${KOLIBRIO_SHOTS_DIR:-docs/screenshots}
mkdir -p "$out"
program=$KOLIBRIO_WIN_DIR/tests/screenshot_windows.exe
logo="Z:$(realpath res/logo.png | tr / '\\')"
for shot in settings0 settings1 settings2 settings3 confirm progress message; do
  ready=$work/$shot.ready
  wine "$program" "$shot" "Z:$(echo "$ready" | tr / '\\')" "$logo" &
  pid=$!
  for _ in $(seq 100); do [ -s "$ready" ] && break; sleep 0.1; done
  [ -s "$ready" ] || { echo "no window for $shot" >&2; kill "$pid" 2>/dev/null; continue; }
  sleep 0.3
  xwd -root -silent > "$work/$shot.xwd"
  # The program wrote where its window is; only that part is kept.
  "$convert" "xwd:$work/$shot.xwd" -crop "$(head -1 "$ready")" +repage "$out/$shot.png"
  wait "$pid" || true
  echo "$out/$shot.png"
done
