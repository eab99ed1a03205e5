#!/usr/bin/env bash
# VQ5WVLP against the simulated VQ-5, unpaced, for a long run: its resident memory after the
# first minute and at the end (goal: the end within 20 MB of the first minute), sampled every
# 10 s. The tool runs under its own virtual display with settings of its own.
#   usage: bench/emu_soak.sh [SECONDS (600)] [BUILD_DIR (build)]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${2:-build}
work=$(mktemp -d)
port=$work/vq5-sim-port
sim_pid=""
tool_pid=""
xvfb_pid=""
cleanup() {
  [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/vq5" sim --link "$port" >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 1 100); do [ -e "$port" ] && break; sleep 0.1; done
[ -e "$port" ] || { echo "the simulated VQ-5 made no port" >&2; exit 1; }
mkdir -p "$work/Lumark Electronics"
printf '[VLPIO]\nComPort=%s\n' "$port" >"$work/Lumark Electronics/VQ5WVLP.conf"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
DISPLAY=$display XDG_CONFIG_HOME=$work "$build/bin/VQ5WVLP" >"$work/tool.log" 2>&1 &
tool_pid=$!

rss() { awk '/^VmRSS/ { print $2 }' "/proc/$tool_pid/status"; }
echo "== VQ5WVLP unpaced against vq5 sim for $seconds s ($(nproc) cores, $(cut -d' ' -f1-3 /proc/loadavg))"
first=""
for ((t = 10; t <= seconds; t += 10)); do
  sleep 10
  kill -0 "$tool_pid" 2>/dev/null || { echo "VQ5WVLP ended early" >&2; cat "$work/tool.log" >&2; exit 1; }
  r=$(rss)
  echo "  ${t} s: VmRSS $((r / 1024)) MB ($r kB)"
  [ "$t" -eq 60 ] && first=$r
done
last=$(rss)
[ -n "$first" ] || first=$last
grow=$(( (last - first) / 1024 ))
echo "  after the first minute $((first / 1024)) MB, at the end $((last / 1024)) MB: grown $grow MB; goal <= 20 MB: $([ "$grow" -le 20 ] && echo met || echo MISSED)"
echo "  load $(cut -d' ' -f1-3 /proc/loadavg)"
t0=$(date +%s%N)
kill -TERM "$tool_pid"
wait "$tool_pid" || true
tool_pid=""
echo "  SIGTERM to exit: $(( ($(date +%s%N) - t0) / 1000000 )) ms"
