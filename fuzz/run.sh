#!/usr/bin/env bash
# Builds the libFuzzer programs with clang in build-fuzz and runs each one for a bounded time
# on its seed corpus. Fails when a program finds a crash, an overrun or a broken rule.
#
#   fuzz/run.sh [SECONDS] [HARNESS...]     default 20 seconds each, every harness
#
# New inputs that add coverage go to build-fuzz/fuzz-work/<harness>/ (the committed corpus in
# fuzz/corpus stays as it is); a crash leaves its input in build-fuzz/fuzz-artifacts/.
# Environment: VQ5_FUZZ_JOBS (build jobs, default 2), VQ5_FUZZ_FLAGS (more libFuzzer flags).
set -euo pipefail

SECONDS_EACH="${1:-20}"
shift || true
if ! [[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] || [ "$SECONDS_EACH" -lt 1 ]; then
  echo "usage: $0 [SECONDS] [HARNESS...]" >&2
  exit 2
fi

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build-fuzz"
JOBS="${VQ5_FUZZ_JOBS:-2}"

if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ is missing: run scripts/install-deps.sh" >&2
  exit 2
fi

cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVQ5_FUZZ=ON -DVQ5_WITH_QT=OFF -DVQ5_WERROR=OFF >/dev/null
cmake --build "$BUILD" --target vq5_fuzzers -j "$JOBS"

mapfile -t ALL < "$BUILD/fuzz-bin/harnesses.txt"
if [ $# -gt 0 ]; then
  WANTED=("$@")
else
  WANTED=("${ALL[@]}")
fi

mkdir -p "$BUILD/fuzz-artifacts" "$BUILD/fuzz-logs"
failed=()
for name in "${WANTED[@]}"; do
  [ -n "$name" ] || continue
  prog="$BUILD/fuzz-bin/fuzz_$name"
  if [ ! -x "$prog" ]; then
    echo "no program for harness '$name' (known: ${ALL[*]})" >&2
    failed+=("$name")
    continue
  fi
  work="$BUILD/fuzz-work/$name"
  mkdir -p "$work"
  log="$BUILD/fuzz-logs/$name.log"
  echo "== fuzz_$name for ${SECONDS_EACH}s"
  # One process, no forks: the machine is shared.
  # shellcheck disable=SC2086
  if "$prog" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$BUILD/fuzz-artifacts/${name}-" \
      ${VQ5_FUZZ_FLAGS:-} "$work" "$ROOT/fuzz/corpus/$name" >"$log" 2>&1; then
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec)|^#[0-9]+[[:space:]]+DONE" "$log" | tr -s ' \t\n' ' ' || true
    echo
  else
    echo "FAILED: fuzz_$name (log: $log)" >&2
    grep -E "ERROR|fuzz rule broken|SUMMARY|Test unit written" "$log" | head -20 >&2 || true
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no crash in ${#WANTED[@]} harnesses"
