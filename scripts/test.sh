#!/usr/bin/env bash
# Builds and runs every test: the normal build, the core under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded modules under ThreadSanitizer, and each fuzz target
# for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== every lambda connected with a context object"
./scripts/check-connects.sh

echo "== build and test"
cmake -S . -B build -G Ninja -DQUILLORY_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== the user guide's pictures, made again in a temporary folder"
./scripts/check-screenshots.sh build

echo "== core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_SANITIZE=ON \
    -DQUILLORY_BUILD_TOOLS=OFF -DQUILLORY_BUILD_GUI=OFF -DQUILLORY_WERROR=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== threaded tests under ThreadSanitizer"
# The modules whose tests run threads: the platform's events, the engine, the database, the
# download engine and the watch core (when present).
tsan_targets=(test_platform test_net test_gantry_db test_gantry_client)
if [ -d tests/watch_core ]; then tsan_targets+=(test_watch_core); fi
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_TSAN=ON \
    -DQUILLORY_BUILD_TOOLS=OFF -DQUILLORY_BUILD_GUI=OFF -DQUILLORY_WERROR=ON
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
tsan_labels=$(IFS='|'; echo "^(${tsan_targets[*]})\$")
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "$tsan_labels"

echo "== fuzz targets, ${QUILLORY_FUZZ_SECONDS:-20} s each"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUILLORY_FUZZ=ON \
    -DQUILLORY_BUILD_TESTS=OFF -DQUILLORY_BUILD_TOOLS=OFF -DQUILLORY_BUILD_GUI=OFF \
    -DQUILLORY_FUZZ_SECONDS="${QUILLORY_FUZZ_SECONDS:-20}"
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz --output-on-failure -L fuzz
echo "== all tests passed"
