#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs every test
# headless (unit tests on a virtual clock, integration tests on loopback, Qt tests offscreen).
# Pass --sanitize for an AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
    build_dir=build-asan
    extra=(-DCORVIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

scripts/bootstrap.sh
cmake -S . -B "$build_dir" -G Ninja -DCORVIX_WERROR=ON "${extra[@]}"
cmake --build "$build_dir" -j2
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j2 --timeout 300
