#!/usr/bin/env bash
# Started with no display at all, a program prints one line that says so
# and exits with status 1, rather than running unseen on SDL's offscreen
# driver. A window made with no application to start the display says in
# one line that it will not be shown, and still shows and quits safely.
#   no-display-test.sh PROGRAM
set -u
program=${1:?program}
# Under AddressSanitizer the leak checker's list of the suppressed leaks
# of the font libraries is not the program's to print.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u BELVO_DISPLAY -u SDL_VIDEODRIVER \
    LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0" \
    timeout 20 "$program" "$@" 2>&1 </dev/null
}
output=$(run)
status=$?
lines=$(printf '%s\n' "$output" | grep -c .)
if [ "$status" -ne 1 ]; then
  echo "expected exit status 1, got $status; output: $output"
  exit 1
fi
if [ "$lines" -ne 1 ] || ! printf '%s' "$output" | grep -q 'no display available'; then
  echo "expected one line saying no display is available, got: $output"
  exit 1
fi
echo "ok: $output"

output=$(run --window-only)
status=$?
lines=$(printf '%s\n' "$output" | grep -c .)
if [ "$status" -ne 0 ]; then
  echo "window without a display: expected exit status 0, got $status; output: $output"
  exit 1
fi
if [ "$lines" -ne 1 ] || ! printf '%s' "$output" | grep -q 'will not be shown'; then
  echo "window without a display: expected one line saying so, got: $output"
  exit 1
fi
echo "ok: $output"
