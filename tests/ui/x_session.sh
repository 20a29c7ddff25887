# Sourced by the real-window tests: a display of their own under Xvfb, a work folder, and the
# helpers they share. Before sourcing, set name (for messages) and tools (the programs needed
# beyond Xvfb); exits 77 (skipped) when one is missing (scripts/install-deps test installs them).
#
# Gives: $work (removed at exit, with $app and Xvfb stopped), fail MESSAGE (prints
# $work/packscope.log when there is one), wait_for COMMAND... (up to 20 s), and DISPLAY set.

for tool in Xvfb $tools; do
  if ! command -v "$tool" >/dev/null; then
    echo "$name: $tool is missing; skipped (scripts/install-deps test)"
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
  echo "$name: $*" >&2
  if [ -f "$work/packscope.log" ]; then cat "$work/packscope.log" >&2; fi
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
export XDG_CONFIG_HOME="$work/config" # the user's settings stay as they are
unset WAYLAND_DISPLAY
# In the sanitizer build: libxkbcommon-x11 takes the X server's keymap names with strndup from a
# reply that holds them without a NUL, which ASan's strict string checks report as an overflow.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}strict_string_checks=0"
