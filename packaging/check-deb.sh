#!/usr/bin/env bash
# Makes the Debian package of a finished build and tries it the way a user gets it:
#   packaging/check-deb.sh BUILD_DIR
# 1. `cpack -G DEB` in BUILD_DIR; prints `dpkg -I` of the package; its Depends must name the
#    Qt 6 widgets library (found by dpkg-shlibdeps, package dpkg-dev).
# 2. Installs it with `apt-get install -y ./vq5-tools_*.deb` (as root, or through sudo).
# 3. Starts every installed tool (/usr/bin/VQ5W...) offscreen with a fresh settings folder, once
#    on the pseudo-terminal of `vq5 sim` and once on a port that does not exist; the bench's
#    show hook (BUILD_DIR/bin/libvq5_bench_showhook.so, LD_PRELOAD) notes the first window the
#    tool shows and ends the tool normally. Each must show its main dialog and end with 0.
# 4. Runs the installed `vq5 --help`.
# 5. Removes the package (`apt-get remove -y vq5-tools`) and checks its files are gone.
# The package is never left installed: a trap removes it whatever happens.
# Ends with "N passed, M failed"; the exit status is 0 only when nothing failed.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: packaging/check-deb.sh BUILD_DIR   (a configured and built build folder)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
package=vq5-tools
tools=(VQ5WPrg VQ5WTest VQ5WTCT VQ5WInfo VQ5WReset VQ5WVLP)

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }

work=$(mktemp -d)
chmod 755 "$work"
sim_pid=""

package_status() { dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | tr -d ' '; }

stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=""
  fi
}

cleanup() {
  stop_sim
  local status
  status=$(package_status)
  if [ -n "$status" ] && [ "$status" != "un" ] && [ "$status" != "pn" ]; then
    echo "cleaning up: removing $package (state $status)"
    "${SUDO[@]}" apt-get purge -y -q "$package" >/dev/null 2>&1 || "${SUDO[@]}" dpkg --purge "$package" >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# --- 1. the package -------------------------------------------------------------------------
echo "-- cpack -G DEB in $build"
rm -f "$build"/${package}_*.deb
if ! (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack -G DEB"
  finish
fi
debs=("$build"/${package}_*.deb)
if [ ! -f "${debs[0]}" ] || [ ${#debs[@]} -ne 1 ]; then
  cat "$work/cpack.log"
  fail "cpack made one package (found: ${debs[*]})"
  finish
fi
deb=${debs[0]}
pass "cpack -G DEB made $(basename "$deb")"

echo "-- dpkg -I $(basename "$deb")"
dpkg -I "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
if printf '%s\n' "$depends" | grep -Eq '(^|[ ,])libqt6widgets6([ (,]|$)'; then
  pass "Depends names the Qt 6 widgets library"
else
  fail "Depends names the Qt 6 widgets library (Depends: $depends)"
fi
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
missing=""
for p in vq5 "${tools[@]}"; do
  printf '%s\n' "$contents" | grep -qx "./usr/bin/$p" || missing+=" $p"
done
if [ -z "$missing" ]; then
  pass "package holds /usr/bin/vq5 and the six tools"
else
  fail "package holds /usr/bin/vq5 and the six tools (missing:$missing)"
fi

hook="$build/bin/libvq5_bench_showhook.so"
if [ ! -f "$hook" ]; then
  fail "show hook built ($hook)"
  finish
fi

# --- 2. install -----------------------------------------------------------------------------
before=$(package_status)
if [ -n "$before" ] && [ "$before" != "un" ] && [ "$before" != "pn" ]; then
  echo "note: $package was installed before (state $before); it is replaced and removed at the end"
fi
echo "-- apt-get install -y ./$(basename "$deb")"
# apt wants a path with a slash to take a file for a package name; a copy in the work folder
# is readable for apt's own user, so it does not complain about its sandbox.
cp "$deb" "$work/"
if "${SUDO[@]}" apt-get install -y -q "$work/$(basename "$deb")" >"$work/install.log" 2>&1 &&
  [ "$(package_status)" = "ii" ]; then
  pass "apt-get install"
else
  tail -20 "$work/install.log"
  fail "apt-get install (state: $(package_status))"
  finish
fi
want_version=$(dpkg-deb -f "$deb" Version)
have_version=$(dpkg-query -W -f='${Version}' "$package")
if [ "$want_version" = "$have_version" ]; then
  pass "installed version $have_version"
else
  fail "installed version $have_version is the package's $want_version"
fi
mapfile -t files < <(dpkg -L "$package" | while read -r f; do [ -d "$f" ] || echo "$f"; done)
absent=""
for f in "${files[@]}"; do [ -e "$f" ] || absent+=" $f"; done
if [ ${#files[@]} -gt 0 ] && [ -z "$absent" ]; then
  pass "all ${#files[@]} installed files in place"
else
  fail "installed files in place (absent:$absent)"
fi
if ls /usr/share/man/man1/vq5.1* >/dev/null 2>&1; then
  pass "man page installed"
else
  fail "man page installed"
fi

# --- 3. every tool shows its window ---------------------------------------------------------
echo "-- the installed tools, offscreen"
runtime="$work/runtime"
mkdir -m 700 "$runtime"
/usr/bin/vq5 sim >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
pty=""
for _ in $(seq 1 200); do
  pty=$(head -n 1 "$work/sim.out" 2>/dev/null)
  [ -n "$pty" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -n "$pty" ] && [ -e "$pty" ]; then
  pass "installed vq5 sim gives a port ($pty)"
else
  cat "$work/sim.err"
  fail "installed vq5 sim gives a port"
fi

# run_tool TOOL PORT LABEL: starts /usr/bin/TOOL with PORT in a fresh settings folder.
run_tool() {
  local tool=$1 port=$2 label=$3
  local config="$work/config-$tool-$label"
  mkdir -p "$config/Lumark Electronics"
  printf '[VLPIO]\nComPort=%s\n' "$port" >"$config/Lumark Electronics/$tool.conf"
  local shown="$work/shown-$tool-$label" log="$work/log-$tool-$label"
  (cd "$work" && env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$runtime" \
    HOME="$work" LD_PRELOAD="$hook" VQ5_BENCH_FD=9 timeout -k 5 60 "/usr/bin/$tool" 9>"$shown" >"$log" 2>&1)
  local rc=$?
  local line
  line=$(head -n 1 "$shown" 2>/dev/null)
  # "shown <ns> painted <ns> <class of the window>"
  local shown_ns window
  shown_ns=$(printf '%s\n' "$line" | awk '$1 == "shown" {print $2}')
  window=$(printf '%s\n' "$line" | awk '$1 == "shown" {print $5}')
  if [ "$rc" -eq 0 ] && [ -n "$shown_ns" ] && [ "$shown_ns" != 0 ] && [ -n "$window" ] &&
    [ "$window" != QMessageBox ]; then
    pass "$tool ($label) showed its window ($window) and ended"
  else
    [ -s "$log" ] && sed 's/^/    /' "$log" | tail -10
    fail "$tool ($label) showed its window and ended (exit $rc, hook: ${line:-nothing})"
  fi
}

for t in "${tools[@]}"; do
  if [ ! -x "/usr/bin/$t" ]; then
    fail "$t installed in /usr/bin"
    continue
  fi
  [ -n "$pty" ] && run_tool "$t" "$pty" "simulated VQ-5"
  run_tool "$t" "/dev/vq5-no-such-port" "missing port"
done
stop_sim

# --- 4. the command line --------------------------------------------------------------------
if out=$(/usr/bin/vq5 --help 2>&1) && printf '%s\n' "$out" | grep -q '^usage: vq5 '; then
  pass "/usr/bin/vq5 --help"
else
  printf '%s\n' "$out" | head -5
  fail "/usr/bin/vq5 --help"
fi

# --- 5. remove ------------------------------------------------------------------------------
echo "-- apt-get remove -y $package"
if "${SUDO[@]}" apt-get remove -y -q "$package" >"$work/remove.log" 2>&1; then
  pass "apt-get remove"
else
  tail -20 "$work/remove.log"
  fail "apt-get remove"
fi
status=$(package_status)
if [ -z "$status" ] || [ "$status" = "un" ] || [ "$status" = "pn" ]; then
  pass "package no longer installed"
else
  fail "package no longer installed (state $status)"
fi
left=""
for f in "${files[@]}"; do [ -e "$f" ] && left+=" $f"; done
for p in vq5 "${tools[@]}"; do [ -e "/usr/bin/$p" ] && left+=" /usr/bin/$p"; done
if [ -z "$left" ]; then
  pass "its ${#files[@]} files are gone"
else
  fail "its files are gone (left:$left)"
fi

finish
