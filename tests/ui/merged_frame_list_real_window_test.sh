#!/usr/bin/env bash
# Several receivers' captures merged in the frame list, in a real X window (Xvfb), driven by
# keystrokes (xdotool) as a user drives it:
#   1. `packscope --frames north.kss` (one capture), then File > Open Several (Ctrl+Shift+O) with
#      the three captures typed into the file dialog: the window lists them merged.
#   2. Ctrl+Shift+E, a path typed into the save dialog, Return: the file is byte for byte what
#      `packscope-convert --merge north.kss south.kss west.kss --layout jsonl` writes.
#   3. A filter on the receivers typed into the filter bar (heard by north alone), exported again:
#      the converter's --merge output through the same --filter.
#   4. `packscope --frames north.kss south.kss west.kss` lists the same merge (exported alike).
#
#   merged_frame_list_real_window_test.sh PACKSCOPE PACKSCOPE-CONVERT PACKSCOPE-GENCAPTURE
#
# Exits 77 (skipped) when Xvfb or xdotool is missing (scripts/install-deps test installs them).
set -euo pipefail

packscope=$1
convert=$2
gencapture=$3

name=merged_frame_list_real_window_test
tools="xdotool"
# shellcheck source=tests/ui/x_session.sh
source "$(dirname "$0")/x_session.sh"

cd "$work"
# Three receivers of one traffic: shares, clocks a second apart, double receptions, a beacon.
"$gencapture" --seed 11 --frames 500 --receiver north.kss:80:0 --receiver south.kss:60:1000 \
  --receiver west.kss:50:-400 --doubles 10 --beacons 1
filter='heard_by == north.kss and heard_count == 1'
"$convert" --merge north.kss south.kss west.kss --layout jsonl --output expected.jsonl 2>/dev/null
"$convert" --merge north.kss south.kss west.kss --filter "$filter" --layout jsonl \
  --output expected-north.jsonl 2>/dev/null
[ -s expected.jsonl ] && [ -s expected-north.jsonl ] || fail "the converter wrote nothing"
grep -q '"heard_by":\["north.kss","south.kss","west.kss"\]' expected.jsonl ||
  fail "no packet heard by all three receivers: the generated traffic does not test the merge"

focus() {
  wait_for xdotool search --name "$1" >/dev/null || fail "no window named $1"
  local w
  w=$(xdotool search --name "$1" | head -1)
  xdotool windowfocus --sync "$w"
  sleep 0.3
}

# Export Shown Frames through the save dialog, by keyboard.
export_as() {
  xdotool key ctrl+shift+e
  focus '^Export Shown Frames$'
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  sleep 0.3
  xdotool key Return
  wait_for test -s "$1" || fail "nothing was exported to $1"
  sleep 0.3
}

# Exported until the file is what the converter wrote (the merge is read in the background: on a
# loaded machine a first export may come before it is read whole); a wrong export stays wrong.
export_until() {
  for _ in 1 2 3 4 5; do
    rm -f "$1"
    export_as "$1"
    cmp -s "$1" "$2" && return 0
    sleep 1
  done
  return 1
}

merged='^Packscope Frames - north\.kss, south\.kss, west\.kss$'

# 1. One capture, then the three through File > Open Several.
"$packscope" --frames north.kss 2>"$work/packscope.log" &
app=$!
focus '^Packscope Frames - north\.kss$'
xdotool key ctrl+shift+o
focus '^Open Several Captures'
xdotool type --delay 20 '"north.kss" "south.kss" "west.kss"'
sleep 0.3
xdotool key Return
focus "$merged"
sleep 1 # the merge and its reading

# 2. The merge exported as jsonl.
export_until "$work/shown.jsonl" expected.jsonl ||
  fail "the export differs from packscope-convert --merge"

# 3. The frames north.kss alone heard: the filter typed into the filter bar, exported.
focus "$merged"
xdotool key ctrl+slash ctrl+a
xdotool type --delay 20 "$filter"
xdotool key Return
sleep 1
export_until "$work/north.jsonl" expected-north.jsonl ||
  fail "the export of '$filter' differs from packscope-convert --merge --filter"
kill "$app"
wait "$app" 2>/dev/null || true

# 4. The three on the command line.
"$packscope" --frames north.kss south.kss west.kss 2>"$work/packscope.log" &
app=$!
focus "$merged"
sleep 1
export_until "$work/shown2.jsonl" expected.jsonl || fail "the export of --frames A B C differs from the converter's"
echo "$name: three captures merged through File > Open Several and through --frames A B C," \
  "exported as the converter's --merge jsonl ($(wc -l <expected.jsonl) packets; heard by" \
  "north.kss alone: $(wc -l <expected-north.jsonl))"
