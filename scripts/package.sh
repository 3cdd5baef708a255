#!/usr/bin/env bash
# Builds the Debian package into build/ (or $ZOV_BUILD_DIR): build/zov_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
dir=${ZOV_BUILD_DIR:-build}
scripts/build.sh
(cd "$dir" && cpack -G DEB)
ls "$dir"/zov_*.deb
