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
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure pause 11 "$program $count" "$bare_sleeps $count"
measure start 500 "$program 0" "$minimal" "$minimal 5"
rss=$(for _ in $(seq 11); do /usr/bin/time -f %M "$program" 0 2>&1 >/dev/null; done | median)

# Rows: in pause.csv the program, then the bare pauses; in start.csv the
# program, the minimal program, then the minimal program with pauses.
awk -F, -v count=$count -v rss="$rss" '
FNR == 1 { file++; next }
file == 1 { pause[FNR - 1] = $4; cpu[FNR - 1] = 100 * ($5 + $6) / $2 }
file == 2 { start[FNR - 1] = $4 }
END {
    printf "COUNT %d, medians of 11 runs\n", count
    printf "  per middle line          %7.1f us\n", 1e6 * pause[1] / count
    printf "  per bare 5 us pause      %7.1f us   ratio %.2f\n", 1e6 * pause[2] / count, pause[1] / pause[2]
    printf "  CPU share of wall time   %7.1f %%    (bare pauses: %.1f %%)\n", cpu[1], cpu[2]
    printf "COUNT 0, medians of 500 runs\n"
    printf "  wall time                %7.3f ms\n", 1e3 * start[1]
    printf "  minimal C program        %7.3f ms   ratio %.2f\n", 1e3 * start[2], start[1] / start[2]
    printf "  same, pausing as workers %7.3f ms   ratio %.2f\n", 1e3 * start[3], start[1] / start[3]
    printf "  peak resident memory     %7d KiB (median of 11 runs)\n", rss
}' "$results/pause.csv" "$results/start.csv"
