#!/usr/bin/env bash
# Measures concurrent_sum beside two reference programs, in the same run so
# that they share the machine's state, and prints medians.
# Usage: bench/run.sh [BUILD_DIR]   (after the README's first command)
set -euo pipefail

build=${1:-build}
program=$build/concurrent_sum
bare_sleeps=$build/bench/bare_sleeps
minimal=$build/bench/minimal_threads
count=20000

if ! command -v hyperfine >/dev/null || [[ ! -x /usr/bin/time ]]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends hyperfine time
fi

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# hyperfine's CSV has one row per command:
# command,mean,stddev,median,user,system,min,max (seconds).
measure() {
    local name=$1 runs=$2
    shift 2
    if ! hyperfine -N --warmup 3 --runs "$runs" --output=null --export-csv "$results/$name.csv" "$@" \
        >"$results/$name.log" 2>&1; then
        cat "$results/$name.log" >&2
        exit 1
    fi
}
column() { awk -F, -v row="$2" -v col="$3" 'NR == row + 1 { print $col }' "$results/$1.csv"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure pause 11 "$program $count" "$bare_sleeps $count"
measure start 500 "$program 0" "$minimal" "$minimal 5"
rss=$(for _ in $(seq 11); do /usr/bin/time -f %M "$program" 0 2>&1 >/dev/null; done | median)

awk -v count=$count -v rss="$rss" \
    -v line="$(column pause 1 4)" -v sleep="$(column pause 2 4)" \
    -v cpu="$(column pause 1 5) $(column pause 1 6) $(column pause 1 2)" \
    -v sleep_cpu="$(column pause 2 5) $(column pause 2 6) $(column pause 2 2)" \
    -v run="$(column start 1 4)" -v minimal="$(column start 2 4)" -v minimal_paused="$(column start 3 4)" '
function share(s,   f) { split(s, f, " "); return 100 * (f[1] + f[2]) / f[3] }
BEGIN {
    printf "COUNT %d, medians of 11 runs\n", count
    printf "  per middle line          %7.1f us\n", 1e6 * line / count
    printf "  per bare 5 us pause      %7.1f us   ratio %.2f\n", 1e6 * sleep / count, line / sleep
    printf "  CPU share of wall time   %7.1f %%    (bare pauses: %.1f %%)\n", share(cpu), share(sleep_cpu)
    printf "COUNT 0, medians of 500 runs\n"
    printf "  wall time                %7.3f ms\n", 1e3 * run
    printf "  minimal C program        %7.3f ms   ratio %.2f\n", 1e3 * minimal, run / minimal
    printf "  same, pausing as workers %7.3f ms   ratio %.2f\n", 1e3 * minimal_paused, run / minimal_paused
    printf "  peak resident memory     %7d KiB (median of 11 runs)\n", rss
}'
