#!/usr/bin/env bash
# Follow Connection in a real X window (Xvfb), driven by keystrokes (xdotool) as a user drives
# it: `packscope --frames CAPTURE` over generated connected sessions, Ctrl+G to the first frame
# of a session, Ctrl+Alt+F, in the follow view Alt+D and Down Down (the responder's direction
# alone), Alt+T and a path typed into the save dialog. The saved text must be the session's data
# from the responder as `packscope-convert --layout sessions` writes it (data_hex, ".." for
# each frame the monitor missed), read as text: CR, CR LF and LF end a line, the missed frames
# a line "[N frames not heard]" of their own.
#
#   follow_real_window_test.sh PACKSCOPE PACKSCOPE-CONVERT PACKSCOPE-GENCAPTURE
#
# Exits 77 (skipped) when Xvfb or xdotool is missing (scripts/install-deps test installs them).
set -euo pipefail

packscope=$1
convert=$2
gencapture=$3

name=follow_real_window_test
tools="xdotool"
# shellcheck source=tests/ui/x_session.sh
source "$(dirname "$0")/x_session.sh"

capture="$work/sessions.kss"
"$gencapture" --seed 5 --frames 800 --sessions --output "$capture"
"$convert" --layout sessions --output "$work/sessions.jsonl" "$capture" >/dev/null

# The first session whose responder's data is printable text with a frame the monitor missed and
# none heard again: its first frame, and the text expected of it.
first=$(awk -v expected="$work/expected.txt" '
  BEGIN { for (i = 0; i < 256; i++) hex[sprintf("%02X", i)] = i }
  {
    at = index($0, "\"from_responder\":")
    r = substr($0, at)
    if (!match(r, /"retransmitted":[0-9]+/)) next
    if (substr(r, RSTART + 16, RLENGTH - 16) + 0 != 0) next
    if (!match(r, /"missing":[0-9]+/)) next
    if (substr(r, RSTART + 10, RLENGTH - 10) + 0 == 0) next
    if (!match(r, /"data_hex":"[^"]*"/)) next
    n = split(substr(r, RSTART + 12, RLENGTH - 13), tokens, " ")
    text = ""; line_start = 1; after_cr = 0; gap = 0; printable = 1
    for (i = 1; i <= n + 1; i++) {
      t = i <= n ? tokens[i] : "end"
      if (t == "..") { gap++; continue }
      if (gap > 0) {
        text = text (line_start ? "" : "\n") "[" gap (gap == 1 ? " frame" : " frames") " not heard]\n"
        line_start = 1; gap = 0
      }
      if (t == "end") break
      v = hex[t]
      if (v == 10 && after_cr) { after_cr = 0; continue }
      after_cr = v == 13
      if (v == 13 || v == 10) c = "\n"
      else if (v >= 32 && v < 127) c = sprintf("%c", v)
      else { printable = 0; break }
      text = text c; line_start = c == "\n"
    }
    if (!printable) next
    match($0, /"first_frame":[0-9]+/)
    print substr($0, RSTART + 14, RLENGTH - 14)
    printf "%s", text > expected
    exit
  }' "$work/sessions.jsonl")
[ -n "$first" ] || fail "no session of the kind the test needs in the generated capture"
[ -s "$work/expected.txt" ] || fail "the session chosen sent no text"

"$packscope" --frames "$capture" 2>"$work/packscope.log" &
app=$!
title='^Packscope Frames - sessions\.kss$'
wait_for xdotool search --name "$title" >/dev/null || fail "no frame list window"
window=$(xdotool search --name "$title" | head -1)
sleep 1
xdotool windowfocus --sync "$window"

# Go to the session's first frame, and follow its connection.
xdotool key ctrl+g
wait_for xdotool search --name '^Go to$' >/dev/null || fail "no Go to dialog"
xdotool windowfocus --sync "$(xdotool search --name '^Go to$' | head -1)"
sleep 0.3
xdotool type --delay 20 "$first"
xdotool key Return
sleep 0.5
xdotool windowfocus --sync "$window"
xdotool key ctrl+alt+f
wait_for xdotool search --name '^Follow Connection - ' >/dev/null || fail "no follow view"
follow=$(xdotool search --name '^Follow Connection - ' | head -1)
xdotool windowfocus --sync "$follow"
sleep 0.5
# The responder's direction alone, then Save as Text.
xdotool key alt+d Down Down
sleep 0.3
xdotool key alt+t
wait_for xdotool search --name '^Save Connection as Text$' >/dev/null || fail "no save dialog"
dialog=$(xdotool search --name '^Save Connection as Text$' | head -1)
xdotool windowfocus --sync "$dialog"
sleep 0.3
out="$work/followed.txt"
xdotool key ctrl+a
xdotool type --delay 20 "$out"
sleep 0.3
xdotool key Return
wait_for test -s "$out" || fail "nothing was saved to $out"
sleep 0.3
diff "$work/expected.txt" "$out" >&2 ||
  fail "the text saved is not the responder's data of packscope-convert --layout sessions"
echo "follow_real_window_test: followed the session from frame $first and saved the responder's" \
  "$(wc -c <"$out") bytes of text with its gap marked, as packscope-convert --layout sessions has them"
