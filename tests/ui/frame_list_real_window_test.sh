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

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "frame_list_real_window_test: $tool is missing; skipped (scripts/install-deps test)"
    exit 77
  fi
done

work=$(mktemp -d)
xvfb=
app=
cleanup() {
  local status=$?
  for pid in $app $xvfb; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

fail() {
  echo "frame_list_real_window_test: $*" >&2
  [ -f "$work/packscope.log" ] && cat "$work/packscope.log" >&2
  exit 1
}

# Waits up to 20 s for a command to succeed.
wait_for() {
  for _ in $(seq 200); do
    if "$@" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

# A display of its own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
wait_for test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$work/config"  # the user's settings stay as they are
unset WAYLAND_DISPLAY

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
