#!/usr/bin/env bash
# Started with no display at all, a program prints one line that says so
# and exits with status 1, rather than running unseen on SDL's offscreen
# driver.
#   no-display-test.sh PROGRAM
set -u
program=${1:?program}
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u BELVO_DISPLAY -u SDL_VIDEODRIVER \
  timeout 20 "$program" 2>&1 </dev/null)
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
