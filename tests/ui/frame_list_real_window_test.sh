#!/usr/bin/env bash
# The frame list window in a real X window (Xvfb), driven by keystrokes (xdotool) as a user
# drives it: `packscope --frames CAPTURE --filter EXPR`, Ctrl+Shift+E, a path typed into the save
# dialog, Return. The file written must be byte for byte what
# `packscope-convert --filter EXPR --layout jsonl` writes of the same capture.
#
#   frame_list_real_window_test.sh PACKSCOPE PACKSCOPE-CONVERT PACKSCOPE-GENCAPTURE
#
# Exits 77 (skipped) when Xvfb or xdotool is missing (scripts/install-deps test installs them).
set -euo pipefail

packscope=$1
convert=$2
gencapture=$3

name=frame_list_real_window_test
tools="xdotool"
# shellcheck source=tests/ui/x_session.sh
source "$(dirname "$0")/x_session.sh"

capture="$work/pass1.kss"
filter='type in {UI, I} and via'
"$gencapture" --seed 7 --frames 400 --mix --max-digis 3 --output "$capture"
"$convert" --filter "$filter" --layout jsonl --output "$work/expected.jsonl" "$capture" 2>/dev/null
[ -s "$work/expected.jsonl" ] || fail "the converter wrote nothing"

"$packscope" --frames "$capture" --filter "$filter" 2>"$work/packscope.log" &
app=$!
title='^Packscope Frames - pass1\.kss$'
wait_for xdotool search --name "$title" >/dev/null || fail "no frame list window"
window=$(xdotool search --name "$title" | head -1)
sleep 0.5
xdotool windowfocus --sync "$window"

# Export Shown Frames: the save dialog, a path typed over the name it suggests, Return.
xdotool key ctrl+shift+e
wait_for xdotool search --name '^Export Shown Frames$' >/dev/null || fail "no save dialog"
dialog=$(xdotool search --name '^Export Shown Frames$' | head -1)
xdotool windowfocus --sync "$dialog"
sleep 0.3
out="$work/shown.jsonl"
xdotool key ctrl+a
xdotool type --delay 20 "$out"
sleep 0.3
xdotool key Return
wait_for test -s "$out" || fail "nothing was exported to $out"
sleep 0.3
cmp "$out" "$work/expected.jsonl" || fail "the export differs from packscope-convert --layout jsonl"
echo "frame_list_real_window_test: exported $(wc -l <"$out") frames, as packscope-convert writes them"
