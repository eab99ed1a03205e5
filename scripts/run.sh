#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job against the built-in simulated VQ-5.
#   scripts/run.sh            a program-mode read on the command line: the simulated VQ-5 on a
#                             pseudo-terminal, `vq5 send` of the identifier and software version
#                             queries ("&PIA", "&PIH") against it, the replies printed
#   scripts/run.sh TOOL       one of the tools (VQ5WReset, VQ5WPrg, ...) connected to the simulator
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/sim-link.sh
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
wait_for_link "$sim_pid" "$port" "$work/sim.log"

echo "simulated VQ-5 on $(head -n 1 "$work/sim.out") (linked at $port)"
echo "vq5 send --port $port '&PIA' '&PIH':"
build/bin/vq5 send --port "$port" '&PIA' '&PIH'
