#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
scripts/build.sh
build=${ZOV_BUILD_DIR:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# Root may write where others can't: run the file tests once more as an ordinary user,
# so that read-only files are read-only for them.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1 && command -v runuser >/dev/null; then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    cp "$build/tests/zov_core_tests" "$tmp/"
    chmod 755 "$tmp" "$tmp/zov_core_tests"
    echo "Core tests as user nobody:"
    (cd "$tmp" && runuser -u nobody -- env TMPDIR=/tmp ./zov_core_tests --gtest_brief=1)
fi
ctest --test-dir "$build" --output-on-failure
