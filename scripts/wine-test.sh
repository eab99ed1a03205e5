#!/usr/bin/env bash
# The Windows build, tried under Wine on this machine.
#   scripts/wine-test.sh [LINUX_BUILD_DIR]     (default: build, which must hold bin/vq5)
#
# 1. installs the mingw-w64 cross compiler, Wine and socat (install-deps.sh --windows);
# 2. builds the Qt-free libraries, vq5.exe (static) and the Windows port tests with
#    cmake/mingw-w64.cmake into build-win: this compiles every Qt-free library and program
#    file for Windows, so a POSIX call outside the platform files fails here; the zip
#    build-win/vq5-<version>-windows-x86_64.zip comes with it;
# 3. runs engine_win32_port_tests.exe under Wine on COM ports mapped to pseudo-terminal pairs
#    (socat): COM5 and COM6 wired to each other, COM7 whose other end goes away;
# 4. runs vq5.exe send, info all, config read / write --verify, filter load and reset under
#    Wine against the Linux `vq5 sim`, whose pseudo-terminal is COM3 for Wine; the output of
#    vq5.exe info all must equal the Linux vq5 info all byte for byte;
# 5. port faults: a COM port that does not exist, a port another vq5.exe holds, and a
#    simulator that goes away in the middle of a batch: each must end with a clear message
#    and a non-zero exit well within its bound.
# Prints the time of the whole stage. Wine runs headless: no display, no debug output.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
linux_build=${1:-build}
stage_start=$(date +%s)
# A heading with the seconds the stage has taken so far.
step() { echo "== Windows stage, $(( $(date +%s) - stage_start )) s: $*"; }

step "installs"
bash scripts/install-deps.sh --windows

step "cross build (mingw-w64, warnings are errors)"
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-win -G Ninja "${launcher[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DVQ5_WITH_QT=OFF -DVQ5_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
cmake --build build-win -j"$(nproc)"
exe=$root/build-win/bin/vq5.exe
tests_exe=$root/build-win/tests/engine_win32_port_tests.exe
zip=$(ls build-win/vq5-*-windows-x86_64.zip)
# Static: nothing but the system's own DLLs.
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')
echo "vq5.exe imports: $dlls"
for dll in $dlls; do
  case "${dll,,}" in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ws2_32.dll) ;;
    *) echo "FAIL: vq5.exe needs $dll (not linked statically)" >&2; exit 1 ;;
  esac
done
unzip_list=$(cmake -E tar tf "$zip" | sed -n 's|.*/\([^/][^/]*\)$|\1|p' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$unzip_list" = "README.md user-guide.md vq5.exe" ] || { echo "FAIL: $zip holds: $unzip_list" >&2; exit 1; }
echo "artefact: $zip ($unzip_list)"

case "$linux_build" in
  /*) linux_vq5=$linux_build/bin/vq5 ;;
  *) linux_vq5=$root/$linux_build/bin/vq5 ;;
esac
[ -x "$linux_vq5" ] || { echo "FAIL: $linux_vq5 missing: build the Linux tree first" >&2; exit 1; }

step "Wine prefix"
work=$(mktemp -d "${TMPDIR:-/tmp}/vq5-wine.XXXXXX")
export WINEPREFIX=$root/build-win/wineprefix WINEARCH=win64 WINEDEBUG=-all DISPLAY= WAYLAND_DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
fi
# One server for every wine start of this stage (its own output out of the way).
# (It fails when wineboot's server still runs, which then serves as well.)
wineserver -p </dev/null >"$work/wineserver.log" 2>&1 || true
dos=$WINEPREFIX/dosdevices
rm -f "$dos"/com[0-9]*

# A pair of pseudo-terminals wired to each other; the links name their slave sides.
pty_pair() {
  socat "pty,link=$1,rawer" "pty,link=$2,rawer" </dev/null >/dev/null 2>&1 &
  pids+=($!)
  local pid=$!
  for _ in $(seq 100); do [ -e "$1" ] && [ -e "$2" ] && break; sleep 0.05; done
  [ -e "$1" ] && [ -e "$2" ] || { echo "FAIL: socat made no pseudo-terminals" >&2; exit 1; }
  pair_pid=$pid
}

step "port tests under Wine"
pty_pair "$work/a" "$work/b"
pty_pair "$work/lost" "$work/lost-peer"
lost_pid=$pair_pid
ln -s "$work/a" "$dos/com5"
ln -s "$work/b" "$dos/com6"
ln -s "$work/lost" "$dos/com7"
# The other end of COM7 goes away as soon as the test has written its byte.
( head -c1 "$work/lost-peer" >/dev/null; kill "$lost_pid" ) &
pids+=($!)
if ! VQ5_TEST_PORT_A=COM5 VQ5_TEST_PORT_B=COM6 VQ5_TEST_PORT_LOST=COM7 VQ5_TEST_PORT_MISSING=COM42 \
  timeout 300 wine "$tests_exe" --gtest_brief=0 </dev/null >"$work/port-tests.log" 2>&1; then
  cat "$work/port-tests.log"
  echo "FAIL: engine_win32_port_tests under Wine" >&2
  exit 1
fi
grep -E '^\[  (PASSED|SKIPPED|FAILED) ' "$work/port-tests.log" || true
if grep -q '^\[  SKIPPED' "$work/port-tests.log"; then
  echo "FAIL: a port test was skipped" >&2
  exit 1
fi

step "vq5.exe against the simulator"
passed=0
failed=0
check() { # name, then a command that must succeed
  local name=$1; shift
  if "$@"; then echo "ok   $name"; passed=$((passed + 1)); else echo "FAIL $name" >&2; failed=$((failed + 1)); fi
}
start_sim() { # link path, then sim options
  local link=$1; shift
  rm -f "$link"
  "$linux_vq5" sim --link "$link" --quiet-board --hold-lines "$@" </dev/null >"$link.out" 2>"$link.err" &
  sim_pid=$!
  pids+=($sim_pid)
  for _ in $(seq 200); do [ -e "$link" ] && break; sleep 0.05; done
  [ -e "$link" ] || { cat "$link.err" >&2; echo "FAIL: vq5 sim made no port" >&2; exit 1; }
}
stop_sim() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }

start_sim "$work/sim"
ln -sfn "$work/sim" "$dos/com3"

check "vq5.exe send" bash -c '
  wine "$0" send --port COM3 "&PIA" </dev/null >"$1/send.txt" && cat "$1/send.txt" && grep -q "^&QIA" "$1/send.txt"' \
  "$exe" "$work"
# The same simulator state for both: a fresh simulator each, lines held.
stop_sim
start_sim "$work/sim"
ln -sfn "$work/sim" "$dos/com3"
wine "$exe" info all --port COM3 </dev/null >"$work/info-win.txt" 2>"$work/info-win.err" || true
stop_sim
start_sim "$work/sim"
"$linux_vq5" info all --port "$work/sim" </dev/null >"$work/info-linux.txt" 2>"$work/info-linux.err" || true
check "vq5.exe info all equals Linux vq5 info all" bash -c '
  [ -s "$0/info-win.txt" ] && cmp "$0/info-win.txt" "$0/info-linux.txt" &&
  echo "     $(wc -l <"$0/info-win.txt") lines, $(wc -c <"$0/info-win.txt") bytes alike"' "$work"
stop_sim
start_sim "$work/sim"
ln -sfn "$work/sim" "$dos/com3"
check "vq5.exe config read" bash -c '
  wine "$0" config read --port COM3 --out "Z:${1//\//\\}\\config.txt" </dev/null && grep -q "=" "$1/config.txt"' \
  "$exe" "$work"
check "vq5.exe config write --verify" bash -c '
  sed "s/^ConfigID=.*/ConfigID=WINE-1/" "$1/config.txt" >"$1/config-new.txt" &&
  grep -q "^ConfigID=WINE-1" "$1/config-new.txt" &&
  wine "$0" config write --port COM3 --verify "Z:${1//\//\\}\\config-new.txt" </dev/null &&
  wine "$0" config read --port COM3 </dev/null >"$1/config-back.txt" && grep -q "^ConfigID=WINE-1" "$1/config-back.txt"' \
  "$exe" "$work"
check "vq5.exe filter load" bash -c '
  wine "$0" filter load --port COM3 </dev/null >"$1/filter.txt" && cat "$1/filter.txt" && grep -q "^Window" "$1/filter.txt"' \
  "$exe" "$work"
check "vq5.exe reset" bash -c 'wine "$0" reset --port COM3 </dev/null' "$exe"
stop_sim

step "port faults under Wine"
# Runs vq5.exe with a bound; must fail, within the bound, with the expected text on stderr.
fault() { # name, bound in seconds, expected text (extended regular expression), vq5.exe arguments...
  local name=$1 bound=$2 text=$3; shift 3
  local t0 rc=0
  t0=$(date +%s%N)
  timeout "$bound" wine "$exe" "$@" </dev/null >"$work/fault.out" 2>"$work/fault.err" || rc=$?
  local ms=$(( ($(date +%s%N) - t0) / 1000000 ))
  local took="$((ms / 1000)).$(( (ms % 1000) / 100 ))"
  if [ "$rc" = 124 ]; then
    echo "FAIL $name: still running after ${bound} s" >&2; failed=$((failed + 1)); return
  fi
  if [ "$rc" = 0 ] || ! grep -qE "$text" "$work/fault.err"; then
    echo "FAIL $name: exit $rc, stderr:" >&2; cat "$work/fault.err" >&2; failed=$((failed + 1)); return
  fi
  echo "ok   $name: exit $rc in ${took} s: $(grep -E "$text" "$work/fault.err" | head -1)"
  passed=$((passed + 1))
}
fault "missing COM port" 30 "Error: Open of COM9:" info all --port COM9

start_sim "$work/sim"
ln -sfn "$work/sim" "$dos/com3"
# Another vq5.exe holds COM3 for a while.
wine "$exe" io --port COM3 --duration 8 </dev/null >"$work/holder.out" 2>&1 &
holder=$!
pids+=($holder)
for _ in $(seq 100); do grep -q . "$work/holder.out" 2>/dev/null && break; sleep 0.1; done
fault "port in use" 30 "port in use: COM3" info all --port COM3
wait "$holder" 2>/dev/null || true

stop_sim

# The simulator goes away while a long batch runs: at real line speed (--pace), once the
# first replies have been printed.
start_sim "$work/sim" --pace
ln -sfn "$work/sim" "$dos/com3"
texts=()
for i in $(seq 100); do texts+=("&PIA"); done
rm -f "$work/fault.out"
( for _ in $(seq 300); do [ "$(wc -l 2>/dev/null <"$work/fault.out" || echo 0)" -ge 3 ] && break; sleep 0.05; done
  kill "$sim_pid" ) &
pids+=($!)
# The engine keeps trying to open the port again until the deadline of the run.
fault "port goes away mid-batch" 60 "Error: (ReadFile|WriteFile)" send --port COM3 --timeout 500 --deadline 15 "${texts[@]}"
lines=$(wc -l <"$work/fault.out")
if [ "$lines" -ge 100 ]; then
  echo "FAIL port goes away mid-batch: all $lines replies came before the port went" >&2
  failed=$((failed + 1))
else
  echo "     ($lines replies printed before the port went)"
fi

echo "vq5.exe under Wine: $passed passed, $failed failed"
echo "== Windows stage took $(( $(date +%s) - stage_start )) s (goal: 480 s, installs included)"
[ "$failed" = 0 ]
