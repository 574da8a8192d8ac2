#!/usr/bin/env bash
# Screenshots of the whole window for the AppStream metainfo, taken from the
# real program under Xvfb with a fresh home:
#   scripts/screenshots.sh [BUILD_DIR]   (default: build)
# writes resources/screenshots/editor.png and book.png (1280 × 800).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=$here/resources/screenshots
mkdir -p "$out"

display=:$((90 + RANDOM % 100))
work=$(mktemp -d)
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program=
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export DISPLAY=$display QT_QPA_PLATFORM=xcb QT_FONT_DPI=96 HOME=$work/home
export XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
export XDG_CACHE_HOME=$work/home/cache XDG_RUNTIME_DIR=$work/runtime
export QORVEL_PROGRAM_DIR=$work/program QORVEL_API_BASE_URL=http://127.0.0.1:9
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$QORVEL_PROGRAM_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Waits (up to a minute) for a window whose name matches $1; prints its id.
wait_window() {
  for _ in $(seq 600); do
    if id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  echo "screenshots: no window named $1" >&2
  return 1
}

# shot NAME FILE WINDOW-NAME: the program with FILE, its window filling the screen.
shot() {
  "$build/qorvel" "$2" &
  program=$!
  window=$(wait_window "$3")
  xdotool windowsize "$window" 1280 800 windowmove "$window" 0 0
  # Let the preview settle: the window is drawn once its size stops changing.
  sleep 3
  import -window root "$out/$1.png"
  kill "$program"
  wait "$program" 2>/dev/null || true
  program=
}

shot editor "$here/examples/youyuan-zaoluopao.gcp" "Qorvel工尺谱"
shot book "$here/examples/mudanting.gcpbook" "mudanting"
echo "screenshots: $out/editor.png $out/book.png"
