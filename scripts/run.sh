#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job against the built-in simulated VQ-5.
#   scripts/run.sh            a program-mode read on the command line: the simulated VQ-5 on a
#                             pseudo-terminal, `vq5 send` of the identifier and software version
#                             queries ("&PIA", "&PIH") against it, the replies printed
#   scripts/run.sh TOOL       one of the tools (VQ5WReset, VQ5WPrg, ...) connected to the simulator
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
if [ $# -ge 1 ]; then exec bash scripts/run-tool.sh "$1" build; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vq5-run.XXXXXX")
port=$work/vq5-sim-port
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The simulated VQ-5 (version 8.7, device letter Q), reachable under a fixed link name.
build/bin/vq5 sim --link "$port" --state "$work/device.state" >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -e "$port" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "the simulated VQ-5 did not start:" >&2
    cat "$work/sim.log" >&2
    exit 1
  fi
  sleep 0.1
done
[ -e "$port" ] || { echo "the simulated VQ-5 made no port at $port" >&2; exit 1; }

echo "simulated VQ-5 on $(head -n 1 "$work/sim.out") (linked at $port)"
echo "vq5 send --port $port '&PIA' '&PIH':"
build/bin/vq5 send --port "$port" '&PIA' '&PIH'
