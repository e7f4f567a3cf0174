#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz/, then runs each target in turn for the given seconds (default 60), starting from
# its seed corpus in fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/<target>/, crashes
# to build-fuzz/artifacts/. Exits non-zero when a target found something.
#
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(state_stream_parser state_document url image_decode)
fi

scripts/bootstrap.sh
# The fuzzing tools are not needed by the build or the tests, so they are installed here only.
fuzz_packages=(clang libclang-rt-14-dev)
missing=()
for p in "${fuzz_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq "${missing[@]}"
fi

build_dir=build-fuzz
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVIX_FUZZ=ON -DCORVIX_SANITIZE=ON \
    -DCORVIX_BUILD_BENCH=OFF
cmake --build "$build_dir" -j2 --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
mkdir -p "$build_dir/artifacts"
failed=()
summary=()
for target in "${targets[@]}"; do
    corpus="$build_dir/corpus/$target"
    log="$build_dir/fuzz-$target.log"
    mkdir -p "$corpus"
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$target-")
    if [ -f "fuzz/$target.dict" ]; then
        options+=(-dict="fuzz/$target.dict")
    fi
    echo "== $target for $seconds s"
    # One process at a time: the machine is shared.
    if "$build_dir/fuzz/fuzz_$target" "${options[@]}" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        failed+=("$target")
        tail -n 40 "$log"
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    units=$(find "$corpus" -type f | wc -l)
    summary+=("$(printf '%-20s %-6s %10s execs  %5s corpus inputs' "$target" "$result" "${execs:-?}" "$units")")
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Findings in: ${failed[*]} (inputs in $build_dir/artifacts/, logs in $build_dir/fuzz-*.log)"
    exit 1
fi
