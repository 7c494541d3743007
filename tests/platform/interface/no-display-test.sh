#!/usr/bin/env bash
# Started with no display at all, a program prints one line that says so
# and exits with status 1, rather than running unseen
# driver. A window made with no application to start the display says in
# one line that it will not be shown, and still shows and quits safely.
#   no-display-test.sh PROGRAM
set -u
program=${1:?program}
# Under AddressSanitizer the leak checker's list of the suppressed leaks
# of the font libraries is not the program's to print.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u BELVO_DISPLAY \
    LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0" \
    timeout 20 "$program" "$@" 2>&1 </dev/null
}
# expect STATUS PATTERN WHAT [ARGS...]: one line matching PATTERN, and STATUS.
expect() {
  local want=$1 pattern=$2 what=$3 output status lines
  shift 3
  output=$(run "$@")
  status=$?
  lines=$(printf '%s\n' "$output" | grep -c .)
  if [ "$status" -ne "$want" ]; then
    echo "$what: expected exit status $want, got $status; output: $output"
    exit 1
  fi
  if [ "$lines" -ne 1 ] || ! printf '%s' "$output" | grep -q "$pattern"; then
    echo "$what: expected one line saying '$pattern', got: $output"
    exit 1
  fi
  echo "ok: $output"
}
expect 1 'no display available' "no display"
expect 0 'will not be shown' "window without a display" --window-only
