#!/usr/bin/env bash
# The frame list window in a real X window (Xvfb), driven by the mouse and keystrokes (xdotool)
# as a user drives it:
#   1. `packscope --frames CAPTURE --filter EXPR`, Ctrl+Shift+E, a path typed into the save
#      dialog, Return: the file is byte for byte what `packscope-convert --filter EXPR --layout
#      jsonl` writes of the same capture.
#   2. The filter cleared, a right click on a row's Source cell, Apply as Filter > Selected: the
#      rows shown, copied one by one (Ctrl+C, the row as the monitor layout's line, read with
#      xclip), are the monitor lines of `packscope-convert --filter "src == CALL"`, CALL the
#      source of the row clicked.
#   3. The Export dialog offers the layouts by name: "Monitor" typed into its file type chooses
#      "Monitor lines (*.txt)", which sets the name's extension; the file is the converter's
#      monitor layout through the same filter.
#
#   frame_list_real_window_test.sh PACKSCOPE PACKSCOPE-CONVERT PACKSCOPE-GENCAPTURE
#
# Exits 77 (skipped) when Xvfb, xdotool or xclip is missing (scripts/install-deps test installs
# them).
set -euo pipefail

packscope=$1
convert=$2
gencapture=$3

name=frame_list_real_window_test
tools="xdotool xclip"
# shellcheck source=tests/ui/x_session.sh
source "$(dirname "$0")/x_session.sh"

capture="$work/pass1.kss"
filter='type in {UI, I} and via'
"$gencapture" --seed 7 --frames 400 --mix --max-digis 3 --output "$capture"
"$convert" --filter "$filter" --layout jsonl --output "$work/expected.jsonl" "$capture" >/dev/null
[ -s "$work/expected.jsonl" ] || fail "the converter wrote nothing"

"$packscope" --frames "$capture" --filter "$filter" 2>"$work/packscope.log" &
app=$!
title='^Packscope Frames - pass1\.kss$'
wait_for xdotool search --name "$title" >/dev/null || fail "no frame list window"
window=$(xdotool search --name "$title" | head -1)
sleep 0.5
xdotool windowfocus --sync "$window"

# Export Shown Frames through the save dialog, by keyboard: what to type into it, then Return.
export_as() {
  xdotool key ctrl+shift+e
  wait_for xdotool search --name '^Export Shown Frames$' >/dev/null || fail "no save dialog"
  local dialog
  dialog=$(xdotool search --name '^Export Shown Frames$' | head -1)
  xdotool windowfocus --sync "$dialog"
  sleep 0.3
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  if [ -n "${2:-}" ]; then # the file type, by the first letters of its name
    xdotool key Tab
    xdotool type --delay 40 "$2"
  fi
  sleep 0.3
  xdotool key Return
}

# 1. The filter of the command line, exported by the name's extension.
out="$work/shown.jsonl"
export_as "$out"
wait_for test -s "$out" || fail "nothing was exported to $out"
sleep 0.3
cmp "$out" "$work/expected.jsonl" || fail "the export differs from packscope-convert --layout jsonl"

# 2. Every frame again, then a right click on the Source cell of a row (the window sits at the
# top left of the screen, no window manager): Apply as Filter > Selected.
xdotool windowfocus --sync "$window"
xdotool key ctrl+slash ctrl+a BackSpace Return
sleep 1
xdotool mousemove 390 150 click 1
sleep 0.3
xdotool key ctrl+c
sleep 0.3
clicked=$(xclip -o -selection clipboard)
# The monitor line: [TIME] [port=N ]SOURCE>DESTINATION...
source=$(sed -E 's/^[0-9-]+ [0-9:.]+ //; s/^port=[0-9]+ //; s/>.*//' <<<"$clicked")
[[ $source =~ ^[A-Z0-9]+(-[0-9]+)?$ ]] || fail "the row clicked has no source callsign: $clicked"
xdotool mousemove 390 150 click 3
sleep 0.5
xdotool key a s
sleep 1
expression="src == $source"
"$convert" --filter "$expression" --layout monitor --output "$work/expected.txt" "$capture" >/dev/null
grep -v '^  ' "$work/expected.txt" >"$work/expected-rows.txt" # the APRS words' lines aside
rows=$(wc -l <"$work/expected-rows.txt")
[ "$rows" -gt 1 ] || fail "only $rows frames from $source"
# The rows, top to bottom, and one step more (the last stays).
xdotool key ctrl+1 ctrl+Home
: >"$work/rows.txt"
for _ in $(seq "$rows"); do
  xdotool key ctrl+c
  sleep 0.05
  xclip -o -selection clipboard >>"$work/rows.txt"
  echo >>"$work/rows.txt"
  xdotool key Down
done
diff "$work/expected-rows.txt" "$work/rows.txt" >&2 ||
  fail "the rows of Apply as Filter ($expression) are not packscope-convert --filter's"

# 3. The Export dialog's file types are the layouts by name; the one chosen sets the extension.
export_as "$work/shown2.jsonl" Monitor
wait_for test -s "$work/shown2.txt" || fail "no shown2.txt: the file type did not set the extension"
sleep 0.3
cmp "$work/shown2.txt" "$work/expected.txt" ||
  fail "the export as Monitor lines differs from packscope-convert --layout monitor"
[ ! -e "$work/shown2.jsonl" ] || fail "shown2.jsonl was written too"
echo "frame_list_real_window_test: exported $(wc -l <"$out") frames as jsonl;" \
  "Apply as Filter on $source listed its $rows frames as packscope-convert does; exported them as" \
  "Monitor lines"
