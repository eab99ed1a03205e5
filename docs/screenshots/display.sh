# Sourced by the screenshot scripts: a work folder ($work), every process started into $pids
# ended at exit, and `start_display WIDTHxHEIGHT [Xvfb options...]`: a virtual display that
# picks a free number itself (DISPLAY is exported), with a light grey desktop; the simulated
# device, the search for a window and a tool's settings file (below).
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/sim-link.sh"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_display() {
  local size=$1 number
  shift
  mkfifo "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp "$@" 3>"$work/displayfd" >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 10 number <"$work/displayfd" || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$number
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xsetroot -solid '#5a6e82' 2>/dev/null || true
}

# `start_sim ARGS...`: "$build/bin/vq5 sim" on the link $work/port with ARGS, its output in
# $work/sim.out and $work/sim.log; returns once the link is there (a simulator that does not
# start ends the script).
start_sim() {
  "$build/bin/vq5" sim --link "$work/port" "$@" >"$work/sim.out" 2>"$work/sim.log" &
  pids+=($!)
  wait_for_link "$!" "$work/port" "$work/sim.log"
}

# `find_window NAME TRIES [xdotool search options...]`: prints the first window named exactly
# NAME, looking every 0.1 s up to TRIES times; prints nothing when none came up.
find_window() {
  local name=$1 tries=$2 w=""
  shift 2
  for _ in $(seq 1 "$tries"); do
    w=$(xdotool search "$@" --name "^$name\$" 2>/dev/null | head -1 || true)
    [ -n "$w" ] && break
    sleep 0.1
  done
  echo "$w"
}

# `tool_config TOOL FAST_BAUD_INDEX TIMEOUT_MS`: writes TOOL's settings file under
# $work/config (XDG_CONFIG_HOME for the tool) with the simulated device's link as its port,
# and prints the file's path, so that a script can add sections to it.
tool_config() {
  local file="$work/config/Lumark Electronics/$1.conf"
  mkdir -p "${file%/*}"
  printf '[VLPIO]\nComPort=%s\nFastBaudRate=%s\nTimeout=%s\n' "$work/port" "$2" "$3" >"$file"
  echo "$file"
}
