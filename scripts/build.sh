#!/usr/bin/env bash
# Configures and builds into build/ (every executable lands in build/bin/).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DARTIC_WERROR=ON "$@" >/dev/null
cmake --build build
