#!/usr/bin/env bash
# Builds the benchmarks in Release (build-perf) and runs them all, printing every figure.
#
#   bench/run.sh [--idle-seconds 60] [--exchanges 10000] [--lines 1000000] [--runs 10] [--no-build]
#
# Takes about 5 minutes with the defaults (the idle measure alone is --idle-seconds plus
# about 20 s). Exit status 0 when every goal was met, 3 when one was missed, 1 on a failure.
set -uo pipefail
cd "$(dirname "$0")/.."

idle=60
exchanges=10000
lines=1000000
runs=10
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --idle-seconds) idle=$2; shift 2 ;;
    --exchanges) exchanges=$2; shift 2 ;;
    --lines) lines=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    *) echo "usage: bench/run.sh [--idle-seconds S] [--exchanges N] [--lines N] [--runs N] [--no-build]" >&2; exit 2 ;;
  esac
done

dir=build-perf
bin=$dir/bin
tools="VQ5WPrg VQ5WTest VQ5WTCT VQ5WInfo VQ5WReset VQ5WVLP"
if [ "$build" = 1 ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ5_WERROR=ON >/dev/null || exit 1
  # shellcheck disable=SC2086
  cmake --build "$dir" -j2 --target bench_turnaround bench_idle bench_bytewrites bench_startup bench_wire \
    bench_logwnd bench_jitter bench_sim_idle vq5_bench_showhook $tools || exit 1
fi

echo "== Machine: $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores"
echo "== Started $(date -u '+%Y-%m-%d %H:%M:%S UTC');$(uptime | sed 's/.*load/ load/')"
status=0
run() {
  echo
  "$@"
  local rc=$?
  if [ $rc -eq 3 ]; then
    [ $status -eq 0 ] && status=3
  elif [ $rc -ne 0 ]; then
    echo "!! $1 failed with status $rc"
    status=1
  fi
}

run "$bin/bench_jitter" --seconds 5
run "$bin/bench_turnaround" --exchanges "$exchanges"
run "$bin/bench_logwnd" --mode turnaround --exchanges "$exchanges"
run "$bin/bench_wire"
run "$bin/bench_idle" --seconds "$idle" --tool "$bin/VQ5WInfo"
run "$bin/bench_sim_idle" --seconds 10
run "$bin/bench_logwnd" --mode engine --lines "$lines"
run "$bin/bench_logwnd" --mode burst --lines "$lines"
# The change proposed for the log window's list, tried on the same model (not a goal check).
echo; "$bin/bench_logwnd" --mode engine --lines "$lines" --view table
echo; "$bin/bench_logwnd" --mode burst --lines "$lines" --view table
run "$bin/bench_startup" --bin "$bin" --hook "$bin/libvq5_bench_showhook.so" --runs "$runs"
run "$bin/bench_bytewrites"

# System calls per frame, counted by the kernel's view (strace), 1000 frames of 4 characters
# written byte by byte: every write(2) of the run divided by the frames.
if command -v strace >/dev/null; then
  echo
  echo "== System calls of 1000 byte-by-byte frames of 4 characters (strace -f -c)"
  out=$(mktemp)
  strace -f -c -o "$out" -e trace=write,poll,ppoll "$bin/bench_bytewrites" --frames 1000 --sizes 4 --mode byte >/dev/null
  awk '$NF=="write" || $NF=="poll" || $NF=="ppoll" { printf "  %-6s calls %s -> %.2f per frame\n", $NF, $4, $4 / 1000 }' "$out"
  rm -f "$out"
else
  echo "(strace not installed: system calls per frame not counted)"
fi

echo
echo "== Finished $(date -u '+%H:%M:%S UTC');$(uptime | sed 's/.*load/ load/')"
exit $status
