#!/usr/bin/env bash
# Runs x11_errors_check in an X server of its own (Xvfb); skipped (77) when
# there is no Xvfb on this machine.
#   x11-errors-test.sh PROGRAM
set -u
program=${1:?program}
command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
Xvfb -displayfd 3 -screen 0 320x240x24 -nolisten tcp 3>"$dir/fd" >"$dir/log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$dir/fd" ] && break; sleep 0.1; done
[ -s "$dir/fd" ] || { echo "Xvfb did not start: $(tail -n3 "$dir/log")"; exit 1; }
DISPLAY=":$(head -n1 "$dir/fd")" timeout 20 "$program"
status=$?
[ $status -eq 0 ] || echo "x11_errors_check ended with status $status"
exit $status
