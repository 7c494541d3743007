#!/usr/bin/env bash
# The program as a native Wayland client of weston, whose compositor draws
# no title bars (it offers no xdg-decoration), as GNOME's does not: the
# window gets libdecor's title bar above its 131x71 content, and starts and
# ends as anywhere else.
#
#   tests/e2e/weston-check.sh [BUILD_DIR]
#
# Runs weston's headless back end with its CPU renderer (nothing shows
# without one) and --debug (its screenshooter needs it), a desktop of one
# colour and no panel; reads the screenshot with e2e-look. Prints PASS or
# FAIL lines and exits non-zero on a failure.
set -uo pipefail

BUILD_DIR=${1:-build}
APP=$BUILD_DIR/app/belvo
LOOK=$BUILD_DIR/tests/e2e/e2e-look
DESKTOP="51 102 153"

dir=$(mktemp -d "${TMPDIR:-/tmp}/belvo-weston.XXXXXX")
chmod 700 "$dir"
weston_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  [ -n "$weston_pid" ] && kill -TERM "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null
  [ -n "${KEEP:-}" ] && echo "weston-check: files kept in $dir" || rm -rf "$dir"
}
trap cleanup EXIT

fail() { echo "FAIL weston: $*"; exit 1; }
wait_for() {  # SECONDS COMMAND...
  local tries=$(( $1 * 50 )); shift
  while (( tries-- > 0 )); do "$@" && return 0; sleep 0.02; done
  return 1
}

export XDG_RUNTIME_DIR=$dir HOME=$dir
unset WAYLAND_DISPLAY WAYLAND_SOCKET DISPLAY
cat >"$dir/weston.ini" <<EOF
[core]
idle-time=0
[shell]
panel-position=none
animation=none
startup-animation=none
close-animation=none
background-image=$dir/none.png
background-color=0xff336699
EOF
# The renderer's option changed name (weston 12); the headless back end
# draws nothing without one.
renderer=(--use-pixman)
weston --help 2>&1 | grep -q -- '--renderer' && renderer=(--renderer=pixman)
weston --backend=headless-backend.so "${renderer[@]}" --debug --width=640 --height=480 \
  --socket=wl-belvo --config="$dir/weston.ini" >"$dir/weston.log" 2>&1 &
weston_pid=$!
wait_for 10 test -S "$dir/wl-belvo" || fail "weston did not start: $(tail -n3 "$dir/weston.log" | tr '\n' '|')"

# The protocol's log says what the program made of the surfaces.
WAYLAND_DISPLAY=wl-belvo WAYLAND_DEBUG=1 "$APP" >"$dir/app.log" 2>&1 &
app_pid=$!
shown() { grep -qs 'create_buffer(new id wl_buffer[@#][0-9]*, 0, 131, 71,' "$dir/app.log"; }
wait_for 10 shown || fail "no 131x71 buffer for the window within 10 s"
grep -q '"zxdg_decoration_manager_v1"' "$dir/app.log" \
  && fail "this weston offers xdg-decoration: nothing to check"
grep -q '\.get_subsurface(' "$dir/app.log" \
  || fail "no title bar: libdecor made no surface beside the window's (is a libdecor plug-in installed?)"

# The screenshot, once libdecor's frame has been drawn.
sleep 0.5
(cd "$dir" && WAYLAND_DISPLAY=wl-belvo timeout 10 weston-screenshooter >/dev/null 2>&1) \
  || fail "weston-screenshooter took no screenshot"
shot=$(ls "$dir"/wayland-screenshot-*.png 2>/dev/null | head -n1)
[ -n "$shot" ] || fail "weston-screenshooter wrote nothing"
convert "$shot" "$dir/shot.ppm" || fail "cannot read the screenshot"

# The content's corner from the volume field: its label's ink, then the
# field's face up and left from it, past the bevel's white line, to the
# outline, which is at (46, 10).
read -r lx ly _ _ < <("$LOOK" find "$dir/shot.ppm" "Mute" 0 0 639 479 232) \
  || fail "the volume field's \"Mute\" is not on the screen"
up=$("$LOOK" run "$dir/shot.ppm" "$lx" $((ly - 1)) 0 -1)
left=$("$LOOK" run "$dir/shot.ppm" $((lx - 1)) "$ly" -1 0)
top=$(( ly - 1 - up - 1 )) side=$(( lx - 1 - left - 1 ))
[ "$("$LOOK" pixel "$dir/shot.ppm" "$side" "$top")" = "96 96 96" ] \
  || fail "no field outline where the volume field's should be ($side,$top)"
cx=$(( side - 46 )) cy=$(( top - 10 ))

# Above the content, across its width, the title bar: no desktop showing
# for a title bar's height at its left, middle and right.
bar=0
while [ $bar -lt 60 ] && [ $((cy - bar - 1)) -ge 0 ] \
    && [ "$("$LOOK" pixel "$dir/shot.ppm" $((cx + 3)) $((cy - bar - 1)))" != "$DESKTOP" ]; do
  bar=$((bar + 1))
done
[ $bar -ge 16 ] || fail "no title bar above the content at $cx,$cy: the desktop shows $bar pixels above it"
for x in $((cx + 65)) $((cx + 127)); do
  [ "$("$LOOK" pixel "$dir/shot.ppm" "$x" $((cy - bar / 2)))" != "$DESKTOP" ] \
    || fail "the title bar does not span the window: the desktop shows at $x,$((cy - bar / 2))"
done
echo "PASS weston: libdecor's title bar (with its shadow, $bar pixels) above the 131x71 content at $cx,$cy"

# And it ends as anywhere else: at once, cleanly.
kill -TERM "$app_pid"
wait_for 2 eval '! kill -0 '"$app_pid"' 2>/dev/null' || fail "the program was still running 2 s after SIGTERM"
wait "$app_pid"
status=$?
app_pid=""
[ "$status" = 0 ] || fail "SIGTERM ended the program with status $status"
echo "PASS weston: SIGTERM ended the program with status 0"
