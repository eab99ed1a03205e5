#!/usr/bin/env bash
# Opens one of the tools connected to a simulated VQ-5, without touching the user's own
# settings.   usage: scripts/run-tool.sh TOOL [BUILD_DIR]
#
# The tool's settings live in a demo folder (XDG_CONFIG_HOME=build/demo-settings): its file
# "Lumark Electronics/<TOOL>.conf" holds the simulator's port in VLPIO/ComPort. With a
# display the tool opens there; without one it runs under xvfb-run when that is installed,
# a screenshot is saved after a few seconds and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/sim-link.sh

tool=${1:-}
build=${2:-build}
case "$tool" in
  VQ5WReset|VQ5WPrg|VQ5WTest|VQ5WTCT|VQ5WInfo|VQ5WVLP) ;;
  *)
    echo "usage: scripts/run.sh TOOL   (TOOL: VQ5WReset VQ5WPrg VQ5WTest VQ5WTCT VQ5WInfo VQ5WVLP)" >&2
    exit 2
    ;;
esac
if [ ! -x "$build/bin/$tool" ] || [ ! -x "$build/bin/vq5" ]; then
  echo "$build/bin/$tool or $build/bin/vq5 is missing: build first (scripts/build.sh $build)" >&2
  exit 1
fi

demo=$PWD/$build/demo-settings
mkdir -p "$demo/Lumark Electronics"
port=$demo/vq5-sim-port

# The simulated VQ-5 on a pseudo-terminal, reachable under a fixed link name.
"$build/bin/vq5" sim --link "$port" >"$demo/sim.out" 2>"$demo/sim.log" &
sim_pid=$!
tool_pid=""
cleanup() {
  if [ -n "$tool_pid" ]; then kill "$tool_pid" 2>/dev/null || true; fi
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}
trap cleanup EXIT
wait_for_link "$sim_pid" "$port" "$demo/sim.log"

# The tool's demo settings: the simulator's port in VLPIO/ComPort, the rest kept.
conf="$demo/Lumark Electronics/$tool.conf"
touch "$conf"
if grep -q '^\[VLPIO\]' "$conf"; then
  awk -v port="$port" '
    /^\[/ { if (insec && !done) { print "ComPort=" port; done = 1 } insec = ($0 == "[VLPIO]") }
    insec && /^ComPort=/ { if (!done) { print "ComPort=" port; done = 1 } next }
    { print }
    END { if (insec && !done) print "ComPort=" port }
  ' "$conf" >"$conf.new" && mv "$conf.new" "$conf"
else
  printf '[VLPIO]\nComPort=%s\n' "$port" >>"$conf"
fi

export XDG_CONFIG_HOME=$demo
echo "simulated VQ-5 on $port (log: $demo/sim.log); settings of $tool in $conf"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$build/bin/$tool" &
  tool_pid=$!
  wait "$tool_pid" || true
  tool_pid=""
  exit 0
fi

if command -v xvfb-run >/dev/null && command -v import >/dev/null; then
  shots=$PWD/$build/screenshots
  mkdir -p "$shots"
  shot=$shots/$(echo "$tool" | tr '[:upper:]' '[:lower:]').png
  echo "no display: running $tool under xvfb-run for a screenshot"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" & pid=$!
    sleep 5
    import -window root "$2"
    kill -TERM "$pid"; wait "$pid"
  ' _ "$build/bin/$tool" "$shot"
  echo "screenshot saved: $shot"
  exit 0
fi

echo "No display: $tool needs a graphical desktop (X11 or Wayland)." >&2
echo "Install xvfb (scripts/install-deps.sh does) and run again, or start a virtual one:" >&2
echo "    Xvfb :99 &  DISPLAY=:99 scripts/run.sh $tool" >&2
exit 1
