#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks that every program, its icons and
# its desktop entry are in place and that the desktop entries validate.
#   check_install.sh BUILD_DIR "PROGRAM;PROGRAM;..."
set -euo pipefail
build=$1
IFS=';' read -r -a programs <<< "$2"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
check() { if [ ! -e "$1" ]; then echo "missing: ${1#$prefix/}"; fail=1; fi; }
for p in "${programs[@]}"; do
  check "$prefix/bin/$p"
  [ -x "$prefix/bin/$p" ] || { echo "not executable: bin/$p"; fail=1; }
  [ "$p" = vq5 ] && continue
  check "$prefix/share/applications/$p.desktop"
  check "$prefix/share/icons/hicolor/scalable/apps/$p.svg"
  for s in 16 24 32 48 64 128 256; do check "$prefix/share/icons/hicolor/${s}x${s}/apps/$p.png"; done
  if [ -e "$prefix/share/applications/$p.desktop" ]; then
    out=$(desktop-file-validate "$prefix/share/applications/$p.desktop" 2>&1) || { echo "$out"; fail=1; }
    [ -z "$out" ] || { echo "$out"; fail=1; }
    grep -q "^Exec=$p\$" "$prefix/share/applications/$p.desktop" || { echo "$p.desktop: wrong Exec"; fail=1; }
  fi
done
check "$prefix/share/doc/vq5-tools/examples/99-vq5-ftdi-latency.rules"
if [ "$fail" = 0 ]; then
  echo "installed ${#programs[@]} programs with icons and desktop entries: 1 passed, 0 failed"
fi
exit $fail
