# Sourced by the scripts that start the simulated VQ-5 in the background.
# `wait_for_link PID LINK LOG`: waits (up to 10 s) until the simulator started as PID has made
# its link LINK; when it ends first, or makes none, says so on stderr (with its LOG) and exits 1.
wait_for_link() {
  local pid=$1 link=$2 log=$3
  for _ in $(seq 1 100); do
    [ -e "$link" ] && return 0
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "the simulated VQ-5 did not start:" >&2
      cat "$log" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "the simulated VQ-5 made no port at $link" >&2
  exit 1
}
