#!/bin/sh
# Futex calls per drawn race frame: runs race_frame_bench under strace with
# its frames marked (TORVANE_BENCH_MARK) and counts, for every timed run of
# the benchmark, the futex calls of all threads between its two marks.
# Usage: bench/futex_per_frame.sh <build dir> [benchmark filter]
set -eu
build=${1:?build directory}
filter=${2:-Device3d/w:640}
log=$(mktemp)
frames=$(mktemp)
trap 'rm -f "$log" "$frames"' EXIT
TORVANE_BENCH_MARK=1 strace -f -qq -e trace=futex,getppid -o "$log" \
    "$build/bench/race_frame_bench" --benchmark_filter="$filter" 2>"$frames" >/dev/null
grep '^marked frames' "$frames" | awk '{print $3}' >"$frames.n"
awk -v counts="$frames.n" '
    BEGIN { while ((getline n < counts) > 0) frames[++runs] = n }
    /getppid\(/ { if (open) { ++run; futex[run] = calls; open = 0 } else { open = 1; calls = 0 }; next }
    open && /futex\(/ && !/resumed>/ { ++calls }
    END {
        for (r = 1; r <= run; ++r) {
            printf "run %d: %d frames, %d futex calls, %.1f per frame\n", r, frames[r], futex[r], futex[r] / frames[r]
            total += futex[r]; all += frames[r]
        }
        if (all) printf "all: %.1f futex calls per frame\n", total / all
    }' "$log"
rm -f "$frames.n"
