#!/usr/bin/env bash
# Records a race with a scripted human rider with one build's race runner and
# plays the ".rpl" file back with another build's: both must print the same
# hash (the replay reproduces its race bit for bit in another build of the
# same code).
#
#   tools/replay_check.sh RECORDING_RUNNER PLAYING_RUNNER DATA_FOLDER
set -euo pipefail
record=$1
play=$2
data=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/script.txt" <<'SCRIPT'
# t steer throttle brake gear
-3 0 0.5 0
0 0 1 0 1
3 0.1 1 0 1
7 -0.3 0.9 0
11 0 0 1 -1
13 0.5 1 0 1
19 -0.2 1 0
SCRIPT
"$record" --data "$data" --track Assen --riders 6 --laps 1 --time-limit 30 \
    --input-script "$work/script.txt" --replay-save "$work/race.rpl" >"$work/made.txt"
"$play" --data "$data" --frame-time 0.03 --replay-play "$work/race.rpl" >"$work/played.txt"
made=$(grep -o 'hash=[0-9a-f]*' "$work/made.txt")
played=$(grep -o 'hash=[0-9a-f]*' "$work/played.txt")
if [ "$made" != "$played" ]; then
    echo "replay check: the recorded race has $made, its replay $played" >&2
    exit 1
fi
echo "replay check: $made in both builds ($(grep -o 'replay-frames=[0-9]*' "$work/made.txt"))"
