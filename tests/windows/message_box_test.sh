#!/usr/bin/env bash
# Runs tavrel.exe under Wine on a private Xvfb display with no controller present. Expects its
# message box (default caption, the text "JoyCon not found.", one OK button), dismisses it with
# the Return key, and checks that the program then exits 1 with nothing on standard output.
# Usage: message_box_test.sh TAVREL_EXE DESCRIBE_DIALOG_EXE WINEPREFIX_DIR
set -u

tavrel_exe=$1
describe_exe=$2
export WINEPREFIX=$3
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C LC_ALL=C

work=$(mktemp -d)
xvfb_pid=""
tavrel_pid=""

# The prefix is this test's own, so ending its server ends nobody else's run.
cleanup() {
  [ -n "$tavrel_pid" ] && kill "$tavrel_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do [ -s "$f" ] && { echo "--- $(basename "$f")" >&2; cat "$f" >&2; }; done
  exit 1
}

# Xvfb picks a free display number and tells it through the descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display.txt" 2>"$work/xvfb.txt" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display.txt" ] && break; sleep 0.1; done
[ -s "$work/display.txt" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display.txt")"

# A new prefix is made once; this can take a while.
if [ ! -d "$WINEPREFIX" ]; then
  wine wineboot --init >"$work/wineboot.txt" 2>&1 &
  wait $!
  wineserver -w
fi
# Its server stays up while the two programs below come and go (see tests/CMakeLists.txt).
wineserver -p60 </dev/null >/dev/null 2>&1

wine "$tavrel_exe" >"$work/stdout.txt" 2>"$work/stderr.txt" &
tavrel_pid=$!

# In the background, so that a termination request is acted on at once.
wine "$describe_exe" >"$work/dialog.txt" 2>>"$work/stderr.txt" &
wait $! || fail "no dialog appeared"
tr -d '\r' <"$work/dialog.txt" >"$work/dialog-lf.txt"

expected_caption="caption=Error"
expected_text="text=JoyCon not found."
[ "$(sed -n 1p "$work/dialog-lf.txt")" = "$expected_caption" ] || fail "caption is not the default one"
[ "$(grep -c '^text=' "$work/dialog-lf.txt")" = 1 ] || fail "not exactly one text"
grep -qxF "$expected_text" "$work/dialog-lf.txt" || fail "wrong text"
[ "$(grep -c '^button=' "$work/dialog-lf.txt")" = 1 ] || fail "not exactly one button"
grep -q '^button=OK at ' "$work/dialog-lf.txt" || fail "the button is not OK"

# The program must still be waiting for the user.
sleep 1
kill -0 "$tavrel_pid" 2>/dev/null || fail "tavrel ended before the message box was dismissed"

window=$(xdotool search --sync --name '^Error$' | head -n1)
[ -n "$window" ] || fail "X window of the message box not found"
xdotool windowfocus --sync "$window" key Return

status=""
for _ in $(seq 300); do
  if ! kill -0 "$tavrel_pid" 2>/dev/null; then
    wait "$tavrel_pid"
    status=$?
    tavrel_pid=""
    break
  fi
  sleep 0.1
done
[ -n "$status" ] || fail "tavrel did not end after Return"
[ "$status" = 1 ] || fail "exit status $status, expected 1"
[ ! -s "$work/stdout.txt" ] || fail "standard output not empty"
echo "message box shown, dismissed with Return, exit status 1, standard output empty"
