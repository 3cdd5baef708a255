#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# into build-fuzz/ (or $ZOV_FUZZ_DIR), then runs each for ZOV_FUZZ_SECONDS (default 60) from the
# tests' own data files, and says how many inputs each tried and what it found.
#   --build-only   build them, run nothing (CI)
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/install-deps.sh --fuzz
dir=${ZOV_FUZZ_DIR:-build-fuzz}
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -g -O1"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" -DZOV_FUZZ=ON \
    -DZOV_BUILD_TESTS=OFF -DZOV_BUILD_BENCH=OFF >/dev/null
targets=(fuzz_jpeg fuzz_heif fuzz_movie fuzz_tags)
cmake --build "$dir" --target "${targets[@]}"
[ "${1:-}" = --build-only ] && exit 0
seconds=${ZOV_FUZZ_SECONDS:-60}
status=0
for t in "${targets[@]}"; do
    corpus="$dir/corpus/$t"
    mkdir -p "$corpus" "$dir/findings/$t"
    case $t in
    fuzz_jpeg) cp tests/data/taken.jpg "$corpus/" ;;
    fuzz_heif) cp tests/data/taken.heic "$corpus/" ;;
    fuzz_movie) printf '\0\0\0\x18moov\0\0\0\x10mvhd\0\0\0\0\xd8\xa1\xb2\xc3' >"$corpus/seed" ;;
    fuzz_tags) printf '\1<taken:yyyy-MM-dd><n:3:1:2>$1${name}<camera>' >"$corpus/seed" ;;
    esac
    log="$dir/findings/$t.log"
    if "$dir/tests/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=5 \
        -artifact_prefix="$dir/findings/$t/" "$corpus" >"$log" 2>&1; then
        found=none
    else
        found="see $log"
        status=1
    fi
    runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 || true)
    echo "$t: ${runs:-no summary} in ${seconds}s; findings: $found"
done
exit $status
