#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh           all: normal build, ASan+UBSan build of the Qt-free code, 15 s of
#                             each fuzzer, ThreadSanitizer build of the Qt-free core
#   scripts/test.sh --quick   the normal build only
#   --package (or CI=true)    also makes the Debian package of the normal build, installs it,
#                             starts every installed tool, removes it (packaging/check-deb.sh;
#                             installs into this system: root or sudo)
#   --windows                 with --quick: also the Windows stage (the full run has it):
#                             the mingw-w64 build, its tests and vq5.exe under Wine
#                             (scripts/wine-test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
package=0
windows=0
[ "${CI:-}" = "true" ] && package=1
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    --package) package=1 ;;
    --windows) windows=1 ;;
    *) echo "usage: scripts/test.sh [--quick] [--package] [--windows]" >&2; exit 2 ;;
  esac
done

# Each stage prints its name, and its time when it ends; the whole run's time closes the output.
run_start=$SECONDS
stage_name=""
stage_start=0
stage() {
  stage_end
  stage_name=$1
  stage_start=$SECONDS
  echo "== $stage_name"
}
stage_end() {
  if [ -n "$stage_name" ]; then
    echo "== $stage_name: $((SECONDS - stage_start)) s"
    stage_times+=("$(printf '%6d s  %s' $((SECONDS - stage_start)) "$stage_name")")
  fi
  stage_name=""
}
stage_times=()
pg_dir_file=""
summary() {
  stage_end
  if [ -n "$pg_dir_file" ]; then
    [ -s "$pg_dir_file" ] && bash scripts/pg-test-server.sh stop "$(cat "$pg_dir_file")"
    rm -f "$pg_dir_file"
  fi
  echo "== stage times"
  printf '%s\n' "${stage_times[@]}"
  echo "== whole run: $((SECONDS - run_start)) s"
}
trap summary EXIT

stage "install dependencies"
bash scripts/install-deps.sh
jobs=$(nproc)
# What the checks write to the user's data folder (the service record of the verbs they run)
# stays in the build folder; ctest sets the same for every test.
export XDG_DATA_HOME=$PWD/build/test-data

stage "format check"
bash scripts/check-format.sh

stage "build (warnings are errors)"
bash scripts/build.sh build -DVQ5_WERROR=ON
# The service record's suite runs on SQLite and, against a server of its own, on PostgreSQL.
stage "PostgreSQL server for the service record's tests"
pg_dir_file=$(mktemp)
if pg_url=$(bash scripts/pg-test-server.sh start 3>"$pg_dir_file"); then
  export VQ5_TEST_PG_URL="$pg_url"
  echo "server: $pg_url"
else
  echo "SKIPPED: no PostgreSQL server could start here; the record's PostgreSQL tests are skipped"
fi
stage "tests"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "$package" = 1 ]; then
  stage "Debian package"
  bash packaging/check-deb.sh build
fi

if [ "$quick" = 0 ] || [ "$windows" = 1 ]; then
  stage "Windows build (mingw-w64) and its tests under Wine"
  bash scripts/wine-test.sh build
fi

if [ "$quick" = 1 ]; then
  exit 0
fi

# The sanitizer builds (-O1 -g: quick to build and run, readable reports; CMake adds these for
# VQ5_SANITIZE) check behaviour of the Qt-free code; the Qt dialogs' tests (label gui) run in
# the normal build only. Warnings are held to -Werror by the normal build above (instrumented
# optimised code draws false "may be truncated" warnings from g++ 12).
stage "AddressSanitizer + UndefinedBehaviorSanitizer build of the Qt-free code"
bash scripts/build.sh build-asan -DVQ5_WERROR=OFF -DVQ5_SANITIZE=address -DVQ5_WITH_QT=OFF -DCMAKE_BUILD_TYPE=
stage "Qt-free tests under ASan+UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE gui

stage "fuzzing: each libFuzzer harness for 15 s on its corpus (clang, ASan+UBSan)"
bash fuzz/run.sh 15

stage "ThreadSanitizer build of the Qt-free core"
bash scripts/build.sh build-tsan -DVQ5_WERROR=OFF -DVQ5_SANITIZE=thread -DVQ5_WITH_QT=OFF -DCMAKE_BUILD_TYPE=
stage "Qt-free tests under TSan"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L core
