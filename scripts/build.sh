#!/usr/bin/env bash
# Configures and builds one build tree.  usage: build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
# Optimised (-O2) without debug information: the quickest to build on a small machine.
# Sanitizer builds pass their own flags after these.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
