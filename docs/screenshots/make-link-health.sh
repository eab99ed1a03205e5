#!/usr/bin/env bash
# Makes the screenshot of the "Link health" window: VQ5WInfo under a virtual display against
# the simulated VQ-5 with line faults (damaged, dropped and noise bytes), so that the
# errors show in the figures and the plot.
#   usage: docs/screenshots/make-link-health.sh [BUILD_DIR] [SECONDS]   (needs Xvfb, xdotool, import)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-60}
out=$PWD/docs/screenshots
. docs/screenshots/display.sh
start_display 1100x760

start_sim --version 8.7 --poll-gap 40 --faults bytes=0.01 --seed 7

tool_config VQ5WInfo 0 500 >/dev/null
XDG_CONFIG_HOME=$work/config "$build/bin/VQ5WInfo" >"$work/tool.log" 2>&1 &
pids+=($!)

dlg=$(find_window "VQ-5 Information" 100 --onlyvisible)
[ -n "$dlg" ] || { echo "VQ5WInfo did not show up" >&2; cat "$work/tool.log" >&2; exit 1; }
sleep 2

# "V&Q-5" > "&Link health".
xdotool windowfocus --sync "$dlg" key alt+q
sleep 0.5
xdotool key l
health=$(find_window "Link health" 50 --onlyvisible)
[ -n "$health" ] || { echo "the Link health window did not show up" >&2; exit 1; }
xdotool windowmove "$health" 300 10
# The device polls all along; the faults damage, drop and add bytes on the way to the PC.
sleep "$seconds"
import -window "$health" "$out/link-health.png"
echo "saved $out/link-health.png"
grep -a "faults injected" "$work/sim.log" || true
