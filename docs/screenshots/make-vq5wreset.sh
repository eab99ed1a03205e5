#!/usr/bin/env bash
# Makes the screenshots of VQ5WReset and its protocol log window under a virtual display,
# against the simulated VQ-5 (paced at the real line speed, so the queue bar moves).
#   usage: docs/screenshots/make-vq5wreset.sh [BUILD_DIR]      (needs Xvfb, xdotool, import)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
out=$PWD/docs/screenshots
. docs/screenshots/display.sh
start_display 1000x640

start_sim --pace --version 8.7 --quiet-board

cat >>"$(tool_config VQ5WReset 3 2000)" <<CONF

[Settings_V2.3]
dlgWnd-1.0_flags=0
dlgWnd-1.0_showCmd=1
dlgWnd-1.0_x1=40
dlgWnd-1.0_y1=40
dlgWnd-1.0_x2=490
dlgWnd-1.0_y2=224

[VLPLogWnd]
Level=8
logWnd_flags=0
logWnd_showCmd=1
logWnd_x1=40
logWnd_y1=250
logWnd_x2=720
logWnd_y2=610
CONF
XDG_CONFIG_HOME=$work/config "$build/bin/VQ5WReset" >"$work/tool.log" 2>&1 &
pids+=($!)

dlg=$(find_window VQ5WReset 100)
[ -n "$dlg" ] || { echo "VQ5WReset did not show up" >&2; cat "$work/tool.log" >&2; exit 1; }
sleep 2 # the link comes up

# The log window first ("&Log" of the status box), then a reset with the log running.
xdotool windowfocus --sync "$dlg" key alt+l
sleep 1
xdotool windowfocus --sync "$dlg" key Return # "&Reset" is the default button
sleep 0.6
import -window "$dlg" "$out/vq5wreset.png"
sleep 0.6
import -window root "$out/vq5wreset-log.png"

# The About box from the dialog's context menu.
xdotool mousemove --window "$dlg" 430 130 click 3
sleep 0.5
xdotool key Down Return
about=$(find_window "About VQ-5 Tools" 50)
[ -n "$about" ] || { echo "the About box did not show up" >&2; exit 1; }
sleep 0.5
import -window "$about" "$out/vq5wreset-about.png"
echo "saved $out/vq5wreset.png, $out/vq5wreset-log.png and $out/vq5wreset-about.png"
