#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job against the built-in simulated VQ-5.
#   scripts/run.sh            a program-mode read on the command line
#   scripts/run.sh TOOL       one of the tools (VQ5WReset, VQ5WPrg, ...) connected to the simulator
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
if [ $# -ge 1 ]; then exec bash scripts/run-tool.sh "$1" build; fi
exec build/bin/vq5 --help
