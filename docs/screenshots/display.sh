# Sourced by the screenshot scripts: a work folder ($work), every process started into $pids
# ended at exit, and `start_display WIDTHxHEIGHT [Xvfb options...]`: a virtual display that
# picks a free number itself (DISPLAY is exported), with a light grey desktop.
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
