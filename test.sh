#!/usr/bin/env bash
# Builds and runs every test through CTest, on Qt's offscreen platform.
#   ./test.sh              the plain suite
#   ./test.sh --sanitize   the serial, platform, phone and sms tests under ThreadSanitizer
#                          (phones on threads of their own) and the whole suite
#                          under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./test.sh --all        both of the above
#   ./test.sh --fuzz [SECONDS]
#                          the fuzz targets with clang's libFuzzer, SECONDS (60) each;
#                          every target runs its time, the end names those that failed
# Extra arguments after `--` go to ctest (for example `-- -R Codepage`).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
toplusms_install "${TOPLUSMS_BUILD_PACKAGES[@]}" "${TOPLUSMS_TEST_PACKAGES[@]}"
toplusms_turkish_locale

plain=1 sanitize=0 fuzz=0 fuzz_seconds=60
ctest_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --sanitize) plain=0 sanitize=1 ;;
        --all) plain=1 sanitize=1 ;;
        --fuzz)
            plain=0 fuzz=1
            if [[ ${2:-} =~ ^[0-9]+$ ]]; then
                fuzz_seconds=$2
                shift
            fi
            ;;
        --) shift; ctest_args=("$@"); break ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
    shift
done

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

suite() { # build dir, ctest label regex or "", cmake options...
    local dir=$1 label=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
    local sel=()
    [ -n "$label" ] && sel=(-L "$label")
    (cd "$dir" && ctest --output-on-failure -j "$jobs" "${sel[@]}" "${ctest_args[@]}")
}

if [ $plain -eq 1 ]; then
    suite build/test "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [ $sanitize -eq 1 ]; then
    echo "== serial, platform, phone and sms tests under ThreadSanitizer"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        suite build/tsan 'serial|platform|phone|sms' -DCMAKE_BUILD_TYPE=Debug -DTOPLUSMS_SANITIZE=thread \
        -DTOPLUSMS_BUILD_APP=OFF -DTOPLUSMS_BUILD_BENCH=OFF -DTOPLUSMS_FUZZ_RUNS=2000
    echo "== whole suite under AddressSanitizer and UndefinedBehaviorSanitizer"
    ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
        LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" \
        suite build/asan "" -DCMAKE_BUILD_TYPE=Debug -DTOPLUSMS_SANITIZE=address,undefined \
        -DTOPLUSMS_BUILD_BENCH=OFF -DTOPLUSMS_FUZZ_RUNS=5000
fi
if [ $fuzz -eq 1 ]; then
    scripts/fuzz-run.sh "$fuzz_seconds"
fi
