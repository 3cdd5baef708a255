#!/bin/sh
# Runs the core tests' random folders on a slow volume: zov_slowfs over a folder of the test's
# own, every request 200 us late and nothing cached, as on a network share. Needs root and
# /dev/fuse; exits 77 (skipped) without them.
# Usage: on_slow_volume.sh ZOV_SLOWFS ZOV_CORE_TESTS
slowfs=$1 tests=$2
[ "$(id -u)" -eq 0 ] && [ -e /dev/fuse ] || { echo "needs root and /dev/fuse"; exit 77; }
base=$(mktemp -d /tmp/zov-slow-XXXXXX)
mkdir "$base/source" "$base/volume"
if ! "$slowfs" --delay-us=200 "$base/source" "$base/volume"; then
    rm -rf "$base"
    echo "can't mount the slow volume here"
    exit 77
fi
trap 'fusermount3 -u "$base/volume" 2>/dev/null || umount "$base/volume"; rm -rf "$base"' EXIT
TMPDIR="$base/volume" ZOV_FOLDERS=30 ZOV_ON_SLOW_VOLUME=1 "$tests" \
    --gtest_filter='RenameRun.RandomFoldersLoseNothing:RenameRun.OthersActingAtEachRenameCallLoseNothing:RenameRun.ReportsTrueWhatOthersDoDuringTheRun:RenameRun.ChainsAndCyclesInFlight:BasTavlo.RequestsInFlight*'
