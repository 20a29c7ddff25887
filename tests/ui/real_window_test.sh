#!/usr/bin/env bash
# The desktop program in a real X window (Xvfb), driven by keystrokes (xdotool) as a user drives
# it: a generated capture opened from the command line, scrolled (Page Down, Ctrl+End,
# Ctrl+Home: the screen changes and comes back), selected (Ctrl+A) and copied (Ctrl+C: the
# clipboard, read with xclip, holds the screen layout of packscope-convert with plain line
# breaks), and the screen dump written through the Write menu by keyboard: the same bytes as
# packscope-convert --layout screen writes.
#
#   real_window_test.sh PACKSCOPE PACKSCOPE-CONVERT PACKSCOPE-GENCAPTURE
#
# Exits 77 (skipped) when Xvfb, xdotool, xclip or ImageMagick's import is missing
# (scripts/install-deps test installs them).
set -euo pipefail

packscope=$1
convert=$2
gencapture=$3

name=real_window_test
tools="xdotool xclip import"
# shellcheck source=tests/ui/x_session.sh
source "$(dirname "$0")/x_session.sh"

capture="$work/pass1.kss"
"$gencapture" --seed 7 --frames 400 --mix --output "$capture"
"$convert" --layout screen --output "$work/expected.log" "$capture" 2>/dev/null
"$convert" --layout screen --encoding utf-8 --output - "$capture" 2>/dev/null |
  head -c -2 | tr -d '\r' >"$work/expected.txt"

"$packscope" "$capture" 2>"$work/packscope.log" &
app=$!
wait_for xdotool search --name '^Packscope\+' >/dev/null || fail "no window"
window=$(xdotool search --name '^Packscope\+' | head -1)

# The pixels of the window, to tell views apart, once they no longer change.
shot() { import -window "$window" rgb:- | md5sum | cut -d' ' -f1; }
settled() {
  local before now
  before=$(shot)
  for _ in $(seq 50); do
    sleep 0.2
    now=$(shot)
    [ "$now" = "$before" ] && break
    before=$now
  done
  echo "$now"
}
# Presses keys and waits until the window shows something other than it did.
press() {
  local before=$1
  shift
  xdotool key --window "$window" "$@"
  for _ in $(seq 50); do
    [ "$(shot)" != "$before" ] && break
    sleep 0.2
  done
  settled
}

# Focus on the display (a click into it), once the frames are painted.
xdotool windowfocus --sync "$window"
xdotool mousemove --window "$window" 200 150 click 1
top=$(settled)
page=$(press "$top" Next)
[ "$page" != "$top" ] || fail "Page Down did not scroll"
end=$(press "$page" ctrl+End)
[ "$end" != "$page" ] && [ "$end" != "$top" ] || fail "Ctrl+End did not scroll"
[ "$(press "$end" ctrl+Home)" = "$top" ] || fail "Ctrl+Home did not come back to the top"

# Select all and copy: the display's text with plain line breaks.
xdotool key --window "$window" ctrl+a ctrl+c
got_clipboard() {
  xclip -o -selection clipboard >"$work/clipboard.txt" && cmp -s "$work/clipboard.txt" "$work/expected.txt"
}
wait_for got_clipboard || {
  cmp "$work/clipboard.txt" "$work/expected.txt" | head -3 >&2
  fail "the clipboard does not hold the display's text"
}

# Write > Write Logfile (screen dump): Alt+W opens the menu, Up goes to its last item.
xdotool key --window "$window" alt+w
sleep 0.3
xdotool key --window "$window" Up Return
wait_for test -s "$work/pass1.log" || fail "the screen dump was not written"
sleep 0.3
cmp "$work/pass1.log" "$work/expected.log" || fail "the screen dump differs from packscope-convert's"
echo "real_window_test: scrolled, copied $(wc -c <"$work/clipboard.txt") characters, wrote $(wc -c <"$work/pass1.log") bytes"
