#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks that every program, its icons and
# its desktop entry are in place, that the desktop entries validate, and that the man page and
# the udev and dissector examples are there.
#   check_install.sh BUILD_DIR [QT]
# QT is ON (the normal build: the six tools and vq5 are required) or OFF (the Qt-free build:
# vq5 only). Without it the build's own VQ5_WITH_QT setting decides. A required program that the
# build did not make is a failure, not something to skip.
set -euo pipefail
build=$1
with_qt=${2:-}
if [ -z "$with_qt" ]; then
  with_qt=$(sed -n 's/^VQ5_WITH_QT:BOOL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
  with_qt=${with_qt:-ON}
fi
case "$with_qt" in
  ON|on|1|TRUE|true|YES|yes) programs=(vq5 VQ5WPrg VQ5WTest VQ5WTCT VQ5WInfo VQ5WReset VQ5WVLP) ;;
  *) programs=(vq5) ;;
esac

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
if ! cmake --install "$build" --prefix "$prefix" >/dev/null; then
  echo "cmake --install failed"
  echo "0 passed, 1 failed"
  exit 1
fi

passed=0
failed=0
problems=()
check() { if [ ! -e "$1" ]; then problems+=("missing: ${1#$prefix/}"); fi; }
result() { # NAME: counts one check from the problems noted since the last one
  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n' "$1"
    printf '  %s\n' "${problems[@]}"
  fi
  problems=()
}

for p in "${programs[@]}"; do
  check "$prefix/bin/$p"
  [ -x "$prefix/bin/$p" ] || problems+=("not executable: bin/$p")
  if [ "$p" != vq5 ]; then
    check "$prefix/share/applications/$p.desktop"
    check "$prefix/share/icons/hicolor/scalable/apps/$p.svg"
    for s in 16 24 32 48 64 128 256; do check "$prefix/share/icons/hicolor/${s}x${s}/apps/$p.png"; done
    if [ -e "$prefix/share/applications/$p.desktop" ]; then
      out=$(desktop-file-validate "$prefix/share/applications/$p.desktop" 2>&1) || problems+=("$out")
      [ -z "$out" ] || problems+=("$out")
      grep -q "^Exec=$p\$" "$prefix/share/applications/$p.desktop" || problems+=("$p.desktop: wrong Exec")
    fi
  fi
  result "$p"
done
check "$prefix/share/man/man1/vq5.1"
result "man page"
check "$prefix/share/doc/vq5-tools/examples/99-vq5-ftdi-latency.rules"
result "udev example"
check "$prefix/share/doc/vq5-tools/examples/vq5-link.lua"
result "link capture dissector example"

echo "installed ${#programs[@]} required programs (Qt tools: $with_qt): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
