#!/usr/bin/env bash
# Renders a service report of the simulated VQ-5 with headless Chromium into
# docs/screenshots/service-report.png (the HTML is made anew each time). Installs Chromium
# through install-deps.sh --screenshots; CI does not run this (it checks the HTML with
# scripts/check-report.py instead).
#   scripts/report-screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/sim-link.sh
build=${1:-build}
vq5="$build/bin/vq5"
[ -x "$vq5" ] || { echo "report-screenshot: build first ($vq5 missing)" >&2; exit 2; }
bash scripts/install-deps.sh --screenshots
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "report-screenshot: chromium is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/vq5-report-XXXXXX)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A device with a name of its own and a short history in a record of its own.
printf 'identText=depot Noord, unit 12\n' > "$work/state"
"$vq5" sim --state "$work/state" --quiet-board --link "$work/port" > "$work/sim.out" 2>&1 &
sim_pid=$!
wait_for_link "$sim_pid" "$work/port" "$work/sim.out"
export VQ5_RECORD_DB="$work/record.db"
printf 'CheckConfigID=1\nConfigID=12 March 2026: lijn 12\nFlagReadyToGo=0\nFlagStreekvervoer=1\n' > "$work/a.cfg"
printf 'CheckConfigID=1\nConfigID=02 April 2026: lijn 12, DoorLussen\nFlagReadyToGo=1\nFlagDoorLussen=1\n' > "$work/b.cfg"
"$vq5" config write --port "$work/port" "$work/a.cfg" > /dev/null
"$vq5" info misc --port "$work/port" > /dev/null
"$vq5" config write --port "$work/port" "$work/b.cfg" > /dev/null
"$vq5" report --port "$work/port" --out "$work/service-report.html"
python3 scripts/check-report.py "$work/service-report.html"

mkdir -p docs/screenshots
"$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$work/chromium" --hide-scrollbars \
  --window-size=1200,3700 --screenshot="$PWD/docs/screenshots/service-report.png" \
  "file://$work/service-report.html" 2> "$work/chromium.log" || { cat "$work/chromium.log" >&2; exit 1; }
echo "docs/screenshots/service-report.png written"
