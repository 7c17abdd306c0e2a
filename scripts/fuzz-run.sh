#!/usr/bin/env bash
# Builds every fuzz target with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/fuzz) and runs each for SECONDS (60 by default), as
# many at a time as there are cores. Each starts from its committed corpus (seeds and the
# inputs that once failed) plus what earlier runs here found (build/fuzz/corpus/<target>/).
# Every target runs its time even when another fails; the end lists the time and result of
# each, and for each failure its report, its input in base64 and where the input is kept.
#   scripts/fuzz-run.sh [SECONDS]
# Exit status 1 when a target failed. ./test.sh --fuzz and CI (.ci/run) call this.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz
# Budget of one input: the readers must stay within 300 MB, and inputs may be long
# enough for deeply nested XML (three bytes a level reach 80,000 levels). The sanitizer
# keeps freed blocks in a quarantine, 256 MB by default, which alone brings a long run
# past that budget; 64 MB keeps the figure about the readers' own memory.
rss_limit_mb=300
asan_quarantine_mb=64
max_len=${TOPLUSMS_FUZZ_MAX_LEN:-262144}
timeout_s=15       # one input taking longer is a hang
base64_limit=4096  # input bytes printed for a failure; the whole input stays on disk

stage_start=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTOPLUSMS_LIBFUZZER=ON -DTOPLUSMS_SANITIZE=address,undefined \
    -DTOPLUSMS_BUILD_APP=OFF -DTOPLUSMS_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz-targets
build_time=$((SECONDS - stage_start))
echo "== fuzz targets built in ${build_time} s; each runs ${seconds} s"

list=$build/fuzz-targets.txt
mkdir -p "$build/logs"

run_one() { # name, program, committed corpus folder
    local name=$1 program=$2 corpus=$3
    local work=$build/corpus/$name findings=$build/findings/$name log=$build/logs/$name.log
    mkdir -p "$work" "$findings"
    rm -f "$findings"/*
    # New inputs go to the first folder only: the committed corpus is read, never written.
    local folders=("$work")
    [ -d "$corpus" ] && folders+=("$corpus")
    local start=$SECONDS rc=0
    ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=$asan_quarantine_mb" UBSAN_OPTIONS="print_stacktrace=1" \
        LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" \
        "$program" -max_total_time="$seconds" -timeout="$timeout_s" -rss_limit_mb="$rss_limit_mb" \
        -max_len="$max_len" -artifact_prefix="$findings/" -print_final_stats=1 \
        "${folders[@]}" >"$log" 2>&1 || rc=$?
    echo "$rc $((SECONDS - start))" >"$build/logs/$name.result"
}

names=()
declare -A programs
running=0
jobs=$(nproc)
while IFS=$'\t' read -r name program corpus; do
    [ -n "$name" ] || continue
    names+=("$name")
    programs[$name]=$program
    run_one "$name" "$program" "$corpus" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done <"$list"
wait || true

failed=()
echo
printf '%-28s %-7s %6s %12s %8s\n' target result time runs coverage
for name in "${names[@]}"; do
    log=$build/logs/$name.log
    rc=1 secs=-
    [ -f "$build/logs/$name.result" ] && read -r rc secs <"$build/logs/$name.result"
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
    result=ok
    [ "$rc" -eq 0 ] || { result=FAILED; failed+=("$name"); }
    printf '%-28s %-7s %5ss %12s %8s\n' "$name" "$result" "$secs" "${runs:--}" "${cov:--}"
done
echo "== fuzz stage: ${#names[@]} targets in $((SECONDS - stage_start)) s (build ${build_time} s)"

[ ${#failed[@]} -eq 0 ] && exit 0

for name in "${failed[@]}"; do
    log=$build/logs/$name.log
    echo
    echo "== $name failed; its report (whole log: $log):"
    tail -n 60 "$log"
    for input in "$build/findings/$name"/*; do
        [ -f "$input" ] || continue
        size=$(stat -c %s "$input")
        # libFuzzer prints small inputs itself; a larger one is printed here, cut if long.
        if ! grep -q '^Base64:' "$log"; then
            if [ "$size" -gt "$base64_limit" ]; then
                echo "Base64 (first $base64_limit of $size bytes):"
            else
                echo "Base64:"
            fi
            head -c "$base64_limit" "$input" | base64 -w 0
            echo
        fi
    done
done
echo
echo "== failed: ${failed[*]}"
for name in "${failed[@]}"; do
    for input in "$build/findings/$name"/*; do
        [ -f "$input" ] && echo "   ${programs[$name]} $input"
    done
done
echo "Each line replays one input. Once it is fixed, copy the input into the target's"
echo "corpus/<target>/crashes/ folder: the test suite replays it from then on."
exit 1
