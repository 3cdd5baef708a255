#!/usr/bin/env bash
# Configures and builds into build/ (or $ZOV_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${ZOV_BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja "$@"
cmake --build "$dir"
