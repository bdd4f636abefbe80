#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds on a scratch copy of its seed
# corpus, so the corpus in the repository only changes when asked.
#   run-target.sh BINARY CORPUS_DIR SECONDS [--update-corpus]
# Exit status: 0 nothing found, 77 the target is not built (a skipped test),
# anything else a finding: the report is shown from its first line (what went
# wrong where, the stacks, the sanitizer's summary; the shadow-byte map is
# left out), and the input and the whole log are kept under
# build/fuzz/findings/.
set -uo pipefail
binary=$1 corpus=$2 seconds=$3 update=${4:-}
# At most this many lines of a finding's report are shown.
max_lines=150

# The report of a finding, from its first line: a sanitizer's or libFuzzer's
# "ERROR:" line, a UBSan "runtime error:", a failed invariant of the target
# or a timeout's "ALARM:". Everything before it is libFuzzer's progress. The
# shadow-byte map is dropped; a report longer than max_lines ends with its
# summary lines.
show_finding() {
    local log=$1 start
    start=$(grep -n -m1 -E 'ERROR:|runtime error:|^invariant failed|^ALARM:' "$log" | cut -d: -f1)
    if [ -z "$start" ]; then
        tail -n 40 "$log"
        return
    fi
    awk -v start="$start" '
        NR < start { next }
        /^Shadow byte/ { shadow = 1; next }
        shadow && /^(  |=>)/ { next }
        { shadow = 0; print }' "$log" >"$log.shown"
    head -n "$max_lines" "$log.shown"
    local total
    total=$(wc -l <"$log.shown")
    if [ "$total" -gt "$max_lines" ]; then
        echo "... $((total - max_lines)) more lines; the summary:"
        tail -n +"$((max_lines + 1))" "$log.shown" | grep -E '^SUMMARY:' || true
    fi
}
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
    show_finding "$scratch/log" >&2
    cp "$scratch/log" "$findings/$name-log.txt"
    echo "$name: finding (exit $status), input and log ($name-log.txt) kept under $findings/" >&2
    exit $status
fi
grep -E '^stat::number_of_executed_units' "$scratch/log" | sed "s/^/$name: /" >&2
if [ "$update" = "--update-corpus" ]; then
    "$binary" -merge=1 "$corpus" "$scratch/corpus" >/dev/null 2>&1
fi
exit 0
