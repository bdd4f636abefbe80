#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds on a scratch copy of its seed
# corpus, so the corpus in the repository only changes when asked.
#   run-target.sh BINARY CORPUS_DIR SECONDS [--update-corpus]
# Exit status: 0 nothing found, 77 the target is not built (a skipped test),
# anything else a finding (the input is kept under build/fuzz/findings/).
set -uo pipefail
binary=$1 corpus=$2 seconds=$3 update=${4:-}
[ -x "$binary" ] || { echo "not built: $binary" >&2; exit 77; }

name=$(basename "$binary")
findings="$(dirname "$(dirname "$binary")")/findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$findings" "$scratch/corpus"
[ -d "$corpus" ] && cp -r "$corpus/." "$scratch/corpus/"

"$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/$name-" "$scratch/corpus" >"$scratch/log" 2>&1
status=$?
if [ $status -ne 0 ]; then
    tail -n 40 "$scratch/log" >&2
    echo "$name: finding (exit $status), input kept under $findings/" >&2
    exit $status
fi
grep -E '^stat::number_of_executed_units' "$scratch/log" | sed "s/^/$name: /" >&2
if [ "$update" = "--update-corpus" ]; then
    "$binary" -merge=1 "$corpus" "$scratch/corpus" >/dev/null 2>&1
fi
exit 0
