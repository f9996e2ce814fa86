#!/bin/sh
# A championship race weekend through the game's menus with the headless
# player: game mode, championship start, a rider of the first team, the
# round's circuit, Practice 1 and 2 and the warm-up ended in the in-race
# menu, both qualifyings ended by the timing screen's fast clock, both
# races (quit from the pause menu once the field has finished its lap),
# their results, the standings, the save, the event's results (the first
# qualifying, then the points), the circuit's records, the next round, the
# main menu and out, in a fresh settings folder.
#
#   tools/play/weekend.sh [BUILD_DIR] [LOG]   (default build, weekend.log)
set -e
build=${1:-build}
log=${2:-weekend.log}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

timed_end="Enter wait:1 Enter wait:5 E wait:1 Y wait:5"
timed_clock="Enter wait:1 Enter wait:5 T wait:1 F wait:185 Enter wait:3 Enter wait:1"
race="Enter wait:1 Enter wait:3 Esc wait:150 Esc wait:1 Left wait:0.5 Enter wait:0.5 Enter wait:10 Enter wait:1"

"$build/torvane-play" --data "$build/data" --home "$home" --time-limit 1800 \
    wait:6 Down wait:0.5 Enter wait:1 Down wait:0.5 Enter wait:1 Enter wait:1 Right wait:0.5 Enter \
    wait:1 Enter wait:1 \
    $timed_end $timed_clock $timed_end $timed_clock $timed_end $race $race \
    S wait:1 Enter wait:1 R wait:1 Down wait:0.5 Down wait:0.5 Down wait:0.5 Down wait:1 Enter wait:1 \
    C wait:1 Enter wait:1 Enter wait:1 Esc wait:1 Esc >"$log" || status=$?
status=${status:-0}
races=$(grep -c '^race track=' "$log" || true)
echo "races: $races"
if grep -q '^error' "$log"; then
    echo "errors in $log"
    exit 1
fi
# The seven sessions of the weekend, no more (an attract race after the
# last key would mean the game did not end on the main menu's Esc).
if [ "$status" -eq 0 ] && [ "$races" -ne 7 ]; then
    echo "$races races in $log, not 7"
    exit 1
fi
exit $status
