#!/usr/bin/env bash
# Fails when a C++ file git tracks differs from what .clang-format makes of it.
#   check-format.sh        list the files that differ (exit 1 if any)
#   check-format.sh --fix  format them in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C++ files listed (not a git checkout?)" >&2
  exit 1
fi
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "not formatted by .clang-format (${#bad[@]} files; scripts/check-format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "all ${#files[@]} C++ files formatted"
