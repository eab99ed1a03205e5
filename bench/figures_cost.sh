#!/usr/bin/env bash
# What keeping the link figures costs the turnaround: bench_turnaround (figures kept) and
# bench_turnaround_nostats (the engine built with VQ5_LINK_STATS=0) in alternating rounds of
# one run, log closed; prints the median over the rounds of each one's p50 and p99 and the
# difference. Goal: figures kept no more than 5 % slower at p50 and p99.
#
#   bench/figures_cost.sh [--rounds 5] [--exchanges 5000] [--bin build-perf/bin]
set -uo pipefail
cd "$(dirname "$0")/.."
rounds=5
exchanges=5000
bin=build-perf/bin
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --exchanges) exchanges=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    *) echo "usage: bench/figures_cost.sh [--rounds N] [--exchanges N] [--bin DIR]" >&2; exit 2 ;;
  esac
done
for b in bench_turnaround bench_turnaround_nostats; do
  [ -x "$bin/$b" ] || { echo "$bin/$b is missing (build it first)" >&2; exit 1; }
done

# p50 and p99 (us) of "answer, poll or select" from one run.
measure() {
  "$bin/$1" --log closed --exchanges "$exchanges" |
    awk '/answer, poll or select/ { for (i = 1; i <= NF; i++) { if ($i ~ /^median=/) m = substr($i, 8); if ($i ~ /^p99=/) p = substr($i, 5) } print m, p }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "== Link figures kept vs compiled out: $rounds rounds of $exchanges exchanges each, alternating"
echo "== $(uptime | sed 's/.*load/load/')"
kept=(); none=()
for ((r = 1; r <= rounds; r++)); do
  k=$(measure bench_turnaround); n=$(measure bench_turnaround_nostats)
  echo "  round $r: kept p50/p99 = ${k/ //} us, compiled out = ${n/ //} us"
  kept+=("$k"); none+=("$n")
done
k50=$(printf '%s\n' "${kept[@]}" | awk '{print $1}' | median); k99=$(printf '%s\n' "${kept[@]}" | awk '{print $2}' | median)
n50=$(printf '%s\n' "${none[@]}" | awk '{print $1}' | median); n99=$(printf '%s\n' "${none[@]}" | awk '{print $2}' | median)
awk -v k50="$k50" -v k99="$k99" -v n50="$n50" -v n99="$n99" 'BEGIN {
  d50 = (k50 - n50) / n50 * 100; d99 = (k99 - n99) / n99 * 100
  printf "-- median of rounds: p50 kept %.1f us, out %.1f us (%+.1f %%); p99 kept %.1f us, out %.1f us (%+.1f %%)\n", k50, n50, d50, k99, n99, d99
  met = (d50 <= 5 && d99 <= 5)
  printf "  goal: no more than +5 %% at p50 and p99: %s\n", met ? "met" : "MISSED"
  exit met ? 0 : 3 }'
status=$?
echo "== $(uptime | sed 's/.*load/load/')"
exit $status
