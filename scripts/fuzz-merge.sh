#!/usr/bin/env bash
# Minimises a fuzz target's committed seed corpus after a long run: libFuzzer's -merge=1
# keeps the fewest inputs, of the seeds and of what runs here found
# (build/fuzz/corpus/<target>/) and of any FOLDER given, that reach all the coverage they
# reach together; they replace the seeds. The crashes/ folder is never changed.
#   scripts/fuzz-merge.sh TARGET [FOLDER...]     e.g. scripts/fuzz-merge.sh fuzz-xlsx-reader
# Needs the libFuzzer build (scripts/fuzz-run.sh, or ./test.sh --fuzz, makes it). Look at
# `git status` afterwards: keep the corpus small (a few dozen KB a target).
set -euo pipefail
cd "$(dirname "$0")/.."

[ $# -ge 1 ] || { sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 2; }
target=$1
shift
build=build/fuzz
list=$build/fuzz-targets.txt
[ -f "$list" ] || { echo "no $list: run scripts/fuzz-run.sh first" >&2; exit 1; }
line=$(awk -F'\t' -v t="$target" '$1 == t' "$list")
[ -n "$line" ] || { echo "no fuzz target $target in $list" >&2; exit 1; }
program=$(cut -f2 <<<"$line")
corpus=$(cut -f3 <<<"$line")
cmake --build "$build" --target "$target"

# Seeds are in seed/, or directly in the corpus folder when it has no seed/.
seeds=$corpus/seed
if [ ! -d "$seeds" ] && [ -n "$(find "$corpus" -maxdepth 1 -type f 2>/dev/null)" ]; then
    seeds=$corpus
fi
mkdir -p "$seeds"
inputs=("$seeds")
[ -d "$build/corpus/$target" ] && inputs+=("$build/corpus/$target")
inputs+=("$@")

merged=$(mktemp -d)
trap 'rm -rf "$merged"' EXIT
"$program" -merge=1 -rss_limit_mb=300 -max_len="${TOPLUSMS_FUZZ_MAX_LEN:-262144}" \
    "$merged" "${inputs[@]}"

before=$(find "$seeds" -maxdepth 1 -type f | wc -l)
find "$seeds" -maxdepth 1 -type f -delete
cp "$merged"/* "$seeds"/ 2>/dev/null || true
after=$(find "$seeds" -maxdepth 1 -type f | wc -l)
echo "$target: $before seeds before, $after now ($(cat "$seeds"/* 2>/dev/null | wc -c) bytes) in $seeds"
