#!/usr/bin/env bash
# Makes the screenshots of every tool's main dialog and of its "Settings VQ-5" dialog at scale
# 1.0 and 1.5 (QT_SCALE_FACTOR), each tool connected to the simulated VQ-5, under a virtual
# display. Files: docs/screenshots/<tool>-main-<scale>.png and <tool>-settings-<scale>.png
# (VQ5WReset has no settings dialog).
#   usage: docs/screenshots/make-main-dialogs.sh [BUILD_DIR]      (needs Xvfb, xdotool, import)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
out=$PWD/docs/screenshots
. docs/screenshots/display.sh
start_display 1600x1200 -ardelay 60000

start_sim --version 8.7

# A window as it shows on the screen (with what lies over it), cut out of the whole screen.
grab() { # window file
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
}

shoot() { # tool caption settings-menu-keys
  local tool=$1 caption=$2 keys=$3 scale
  for scale in 1.0 1.5; do
    rm -rf "$work/config"
    tool_config "$tool" 3 2000 >/dev/null
    local pid w="" attempt
    for attempt in 1 2 3; do # a tool that could not start (a busy display) is started again
      QT_SCALE_FACTOR=$scale XDG_CONFIG_HOME=$work/config "$build/bin/$tool" >"$work/tool.log" 2>&1 &
      pid=$!
      w=$(find_window "$caption" 100 --onlyvisible --pid "$pid")
      [ -n "$w" ] && break
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    done
    [ -n "$w" ] || { echo "$tool did not show its dialog:" >&2; cat "$work/tool.log" >&2; kill "$pid" 2>/dev/null || true; wait "$pid" || true; continue; }
    xdotool windowmove "$w" 20 20
    sleep 3 # connected, the identification shown
    local name
    name=$(echo "$tool" | tr '[:upper:]' '[:lower:]')
    grab "$w" "$out/$name-main-$scale.png"
    if [ -n "$keys" ]; then
      xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
      # shellcheck disable=SC2086
      xdotool key --window "$w" $keys
      local s
      s=""
      for _ in $(seq 1 50); do
        s=$(xdotool search --onlyvisible --pid "$pid" --name "^Settings VQ-5\$" 2>/dev/null | grep -v "^$w\$" | tail -1 || true)
        [ -n "$s" ] && break
        sleep 0.1
      done
      if [ -n "$s" ]; then
        sleep 1.5
        grab "$s" "$out/$name-settings-$scale.png"
        xdotool key Escape 2>/dev/null || true
      else
        echo "$tool: no Settings VQ-5 window" >&2
      fi
    fi
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || true
  done
}

shoot VQ5WPrg "VQ-5 / HUM-1 Programmer" "alt+q s"
shoot VQ5WTest "VQ-5 I/O Tester" "alt+q s"
shoot VQ5WTCT "VQ-5 Transponder Configuration Tool" "alt+q s"
shoot VQ5WInfo "VQ-5 Information" "alt+q s"
shoot VQ5WReset "VQ5WReset" ""
shoot VQ5WVLP "VQ-5 Windows Velto" "alt+q s"
echo "screenshots in $out"
