# The end-to-end rig, sourced by the scenario runner and the performance
# script: a private display, a private sound server with a float32 null
# sink whose monitor is recorded, and helpers to drive and inspect the real
# program. Every process it starts is a child of this shell, listed in
# RIG_PIDS, and rig_stop ends those and no other.
#
# The display is RIG_DISPLAY (from E2E_DISPLAY): "x11", an X server (Xvfb)
# with a window manager (openbox), driven with xdotool and photographed
# with ImageMagick's import; or "wayland", a real compositor, a headless
# sway, with its Xwayland for X clients, driven through a virtual pointer
# and keyboard of the rig's own (e2e-wl-input, RIG_WL_INPUT), photographed
# with grim and asked about its windows with swaymsg. Its output has
# RIG_OUTPUT_SCALE (1 unless said); either display is RIG_SCREEN
# (WIDTHxHEIGHT) device pixels, and every coordinate the rig takes or gives
# is one of those, as a screenshot shows it. The scenarios drive and look
# through the functions of "the screen" below, which read the same on both.
#
# The sound server is RIG_SOUND (from E2E_SOUND_SERVER): "pulse", a
# PulseAudio daemon, or "pipewire", a PipeWire daemon with WirePlumber and
# pipewire-pulse. Either is driven and inspected through pactl; their
# configuration lives in the rig's own directory only, and no system
# service or session bus is touched. Or "alsa": no sound server at all, and
# ALSA's default PCM (in the rig's own HOME's .asoundrc) is a card of the
# rig's, e2e-alsa-sink (RIG_ALSA_SINK), which plays at a card's pace and
# records what it plays.
#
# Needs: Xvfb, openbox, xdotool, xprop, xwininfo, ImageMagick's import, pulseaudio,
# pactl, parec, bc; for PipeWire, pipewire, wireplumber, pipewire-pulse and
# pw-cli, pw-metadata; for Wayland, sway, swaymsg, grim, Xwayland, xhost,
# jq and setpriv (installed by tools/install-deps.sh test).

RIG_PIDS=()
declare -A RIG_NAMES=()
declare -A RIG_LOGS=()
RIG_DIR=""
RIG_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RIG_RATE=44100
RIG_FRAME_BYTES=8            # two float32 channels
RIG_RECORDING=""
RIG_PAREC_PID=""
RIG_OTHER_PAREC_PID=""
RIG_SOUND=${E2E_SOUND_SERVER:-pulse}
RIG_DISPLAY=${E2E_DISPLAY:-x11}
RIG_OUTPUT_SCALE=${RIG_OUTPUT_SCALE:-1}
# The user sway runs as: it refuses to run as root, which CI is.
RIG_SWAY_UID=${RIG_SWAY_UID:-65534}
# The displays the rig has started, by name ("main" is the one rig_start
# starts): RIG_DISPLAYS[NAME.KEY], KEY one of display (an X display name),
# wayland (the compositor's socket), swaysock, server (the pid that takes
# the display away when killed), input_pid, input_in and input_out (the
# file descriptors that talk to its e2e-wl-input).
declare -A RIG_DISPLAYS=()
# The rig's card when RIG_SOUND is alsa: the pipe ALSA's file plug-in writes.
RIG_ALSA_FIFO=""
# The sound server's processes, the daemon first.
RIG_SERVER_PIDS=()

rig_log() { printf '%s\n' "$*" >&2; }

# Microseconds since the epoch, without starting a process.
rig_usec() {
  local t=$EPOCHREALTIME
  echo $(( ${t%.*} * 1000000 + 10#${t#*.} ))
}

rig_seconds_usec() {  # SECONDS (may have a fraction) -> microseconds
  awk -v s="$1" 'BEGIN { printf "%d", s * 1000000 }'
}

# Polls a command every 20 ms until it succeeds or SECONDS pass.
rig_wait_for() {
  local deadline=$(( $(rig_usec) + $(rig_seconds_usec "$1") )); shift
  while true; do
    "$@" && return 0
    [ "$(rig_usec)" -ge "$deadline" ] && return 1
    sleep 0.02
  done
}

# Starts a command in the background with its output in LOG, tracked for
# rig_stop; its pid is left in RIG_LAST_PID.
rig_spawn() {
  local log=$1; shift
  "$@" >>"$log" 2>&1 &
  RIG_LAST_PID=$!
  RIG_PIDS+=("$RIG_LAST_PID")
  RIG_NAMES[$RIG_LAST_PID]="$*"
  RIG_LOGS[$RIG_LAST_PID]=$log
}

# The last lines of a server's log, without the warnings every start of
# one gives in the rig (no cookie, no D-Bus, running as root).
rig_log_tail() {  # LOG
  grep -v -e 'authkey\.c' -e 'D-Bus' -e 'not intended to be run as root' "$1" 2>/dev/null \
    | tail -n 6 | tr '\n' '|'
}

# Takes a process that has been waited for off the list.
rig_forget() {
  local pid=$1 kept=() p
  for p in "${RIG_PIDS[@]}"; do [ "$p" = "$pid" ] || kept+=("$p"); done
  RIG_PIDS=("${kept[@]}")
}

rig_alive() {  # PID: running, and not yet ended (a zombie has ended)
  local state
  [ -r "/proc/$1/stat" ] || return 1
  state=$(sed 's/^.*) \(.\).*$/\1/' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Ends one tracked process: TERM, then KILL after 3 s, and collects it.
rig_end() {
  local pid=$1
  kill -TERM "$pid" 2>/dev/null
  rig_wait_for 3 eval "! rig_alive $pid" || kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rig_forget "$pid"
}

rig_start() {
  RIG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/belvo-e2e.XXXXXX")
  export XDG_RUNTIME_DIR=$RIG_DIR/xdg
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  export HOME=$RIG_DIR/home
  mkdir -p "$HOME"
  unset WAYLAND_DISPLAY SWAYSOCK

  case $RIG_DISPLAY in
    x11) rig_x11_start || return 1 ;;
    wayland)
      rig_sway_start main "${RIG_SCREEN:-1024x768}" || return 1
      rig_use_display main
      rig_park_pointer
      ;;
    *) rig_log "no display \"$RIG_DISPLAY\" (there are: x11 wayland)"; return 1 ;;
  esac

  rig_sound_start || return 1

  # A note of when the machine stalls (12 ms late or more: a sound server's
  # buffer may be lost to less than 20), for the scenarios that ask for one
  # (the performance script does not: it would count its wake-ups).
  if [ -n "${RIG_STALL_WATCH:-}" ]; then
    rig_spawn "$RIG_DIR/stall-watch.log" "$RIG_STALL_WATCH" "$RIG_DIR/stalls" 12
  fi
}

# An X server (Xvfb) with a window manager (openbox) as the rig's display.
rig_x11_start() {
  # The X server writes its display number to fd 3 once it is ready. Its
  # screen is RIG_SCREEN (WIDTHxHEIGHT) pixels, 1024x768 unless said.
  Xvfb -displayfd 3 -screen 0 "${RIG_SCREEN:-1024x768}x24" -nolisten tcp 3>"$RIG_DIR/xvfb.fd" \
    >"$RIG_DIR/xvfb.log" 2>&1 &
  RIG_XVFB_PID=$!
  RIG_PIDS+=("$RIG_XVFB_PID")
  RIG_NAMES[$RIG_XVFB_PID]=Xvfb
  if ! rig_wait_for 10 test -s "$RIG_DIR/xvfb.fd"; then
    rig_log "Xvfb did not start: $(tail -n3 "$RIG_DIR/xvfb.log")"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$RIG_DIR/xvfb.fd")"

  rig_spawn "$RIG_DIR/openbox.log" openbox --sm-disable \
    --config-file "$RIG_SOURCE_DIR/openbox-rc.xml"
  RIG_WM_PID=$RIG_LAST_PID
  if ! rig_wait_for 10 rig_wm_ready; then
    rig_log "openbox did not start: $(tail -n3 "$RIG_DIR/openbox.log")"
    return 1
  fi
}

rig_wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# A headless sway as a display of the rig's, named NAME, with an output of
# SIZE (WIDTHxHEIGHT) device pixels at RIG_OUTPUT_SCALE, and its own
# e2e-wl-input. sway refuses to run as root, so it runs as RIG_SWAY_UID in
# a folder of that user's inside the rig's (which that user may pass
# through, not read); the rig and the program run as root and reach it by
# its socket's absolute path, as root may. Its Xwayland runs from the
# start and lets root's X clients in. Its settings are those the scenarios
# rely on, as openbox's are: new windows and those a program asks to
# activate (a second launch does) get the focus, Alt+F4 asks the focused
# window to close, and the scenarios' covering window floats, as the
# program's fixed-size window does, so that one can cover the other.
# RIG_SWAY_DEBUG=1 has sway write its debug log (NAME/sway.log, kept with
# --keep).
rig_sway_start() {  # NAME SIZE
  local name=$1 size=$2 dir=$RIG_DIR/$1 width height
  width=${size%x*} height=${size#*x}
  chmod 711 "$RIG_DIR"
  rm -rf "$dir"
  mkdir -p "$dir"
  mkdir -m 700 "$dir/xdg" "$dir/home"
  chown "$RIG_SWAY_UID:$RIG_SWAY_UID" "$dir/xdg" "$dir/home"
  cat >"$dir/sway.conf" <<END
output HEADLESS-1 resolution ${width}x$height position 0 0 scale $RIG_OUTPUT_SCALE bg #336699 solid_color
xwayland force
focus_on_window_activation focus
bindsym Mod1+F4 kill
for_window [class="Xmessage"] floating enable
exec sh -c 'echo "\$DISPLAY" >$dir/home/xwayland.display'
END
  chmod 644 "$dir/sway.conf"
  rig_spawn "$dir/sway.log" env -i PATH=/usr/bin:/bin HOME="$dir/home" \
    XDG_RUNTIME_DIR="$dir/xdg" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_RENDERER=pixman \
    setpriv --reuid="$RIG_SWAY_UID" --regid="$RIG_SWAY_UID" --clear-groups \
    sway ${RIG_SWAY_DEBUG:+-d} -c "$dir/sway.conf"
  RIG_DISPLAYS[$name.server]=$RIG_LAST_PID
  if ! rig_wait_for 10 rig_sway_sockets "$dir"; then
    rig_log "sway ($name) did not start: $(tail -n3 "$dir/sway.log")"
    return 1
  fi
  RIG_DISPLAYS[$name.swaysock]=$(compgen -G "$dir/xdg/sway-ipc.*.sock" | head -n1)
  RIG_DISPLAYS[$name.wayland]=$(compgen -G "$dir/xdg/wayland-[0-9]" | head -n1)
  if ! rig_wait_for 10 test -s "$dir/home/xwayland.display"; then
    rig_log "sway ($name) said nothing of its Xwayland: $(tail -n3 "$dir/sway.log")"
    return 1
  fi
  RIG_DISPLAYS[$name.display]=$(head -n1 "$dir/home/xwayland.display")
  RIG_DISPLAYS[$name.dir]=$dir
  if ! rig_wait_for 10 rig_xwayland_let_in "$name"; then
    rig_log "sway's Xwayland ($name) did not let root in: $(tail -n3 "$dir/home/xhost.log" 2>&1)"
    return 1
  fi
  # sway's child: should sway be killed, it is left behind for a moment.
  RIG_DISPLAYS[$name.xwayland_pid]=$(ps -o pid= -o comm= --ppid "${RIG_DISPLAYS[$name.server]}" \
    | awk '$2 == "Xwayland" { print $1; exit }')
  rig_wl_input_start "$name" "$width" "$height"
}

# Xwayland lets in only its own user's clients: root is let in as well, by
# that user, once Xwayland answers.
rig_xwayland_let_in() {  # NAME
  rig_as_sway_user "${RIG_DISPLAYS[$1.dir]}" env DISPLAY="${RIG_DISPLAYS[$1.display]}" \
    sh -c 'exec xhost +si:localuser:root >>"$HOME/xhost.log" 2>&1'
}

# Before a program is started on display NAME: a sway's Xwayland that was
# started anew (sway starts another should it end) knows nothing of root,
# and is told again, with a note.
rig_display_check() {  # NAME
  [ -n "${RIG_DISPLAYS[$1.wayland]:-}" ] || return 0
  local server=${RIG_DISPLAYS[$1.server]} status
  if ! rig_alive "$server"; then
    # Said once, with how it ended (139: a crash).
    if [ -z "${RIG_DISPLAYS[$1.ended]:-}" ]; then
      wait "$server" 2>/dev/null
      status=$?
      rig_forget "$server"
      RIG_DISPLAYS[$1.ended]="sway ($1) ended with status $status: $(grep -v '^ *$' "${RIG_DISPLAYS[$1.dir]}/sway.log" | tail -n2 | tr '\n' '|')"
      rig_log "rig: ${RIG_DISPLAYS[$1.ended]}"
    fi
    return 1
  fi
  DISPLAY=${RIG_DISPLAYS[$1.display]} xhost >/dev/null 2>&1 && return 0
  rig_log "NOTE rig: root could not reach sway's Xwayland (${RIG_DISPLAYS[$1.display]}), started anew; letting it in again"
  rig_wait_for 5 rig_xwayland_let_in "$1"
}

# The X display files of a display's server that was killed (an X server,
# or sway for its Xwayland), which it could not take away itself: its lock
# and its socket.
rig_forget_x_files() {  # NAME
  local number=${RIG_DISPLAYS[$1.display]#:} pid=${RIG_DISPLAYS[$1.xwayland_pid]:-}
  # A killed sway's Xwayland holds its display's sockets until it sees
  # that sway is gone; the next X server would find them taken.
  if [ -n "$pid" ] && rig_alive "$pid"; then
    rig_wait_for 2 eval "! rig_alive $pid" || kill -KILL "$pid" 2>/dev/null
    rig_wait_for 2 eval "! rig_alive $pid"
  fi
  [ -n "$number" ] && [ -f "/tmp/.X$number-lock" ] || return 0
  pid=$(tr -dc 0-9 <"/tmp/.X$number-lock")
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && return 0
  [ "$pid" = "${RIG_DISPLAYS[$1.server]:-}" ] || return 0
  rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
}

rig_sway_sockets() {  # DIR
  compgen -G "$1/xdg/sway-ipc.*.sock" >/dev/null && compgen -G "$1/xdg/wayland-[0-9]" >/dev/null
}

rig_as_sway_user() {  # DIR COMMAND...
  local dir=$1; shift
  env -i PATH=/usr/bin:/bin HOME="$dir/home" XDG_RUNTIME_DIR="$dir/xdg" \
    setpriv --reuid="$RIG_SWAY_UID" --regid="$RIG_SWAY_UID" --clear-groups "$@"
}

# The display's e2e-wl-input, for the whole run: the rig writes it commands
# and reads its answers through two pipes (rig_wl).
rig_wl_input_start() {  # NAME WIDTH HEIGHT
  local name=$1 in=$RIG_DIR/$1/input.in out=$RIG_DIR/$1/input.out fd_in fd_out pid
  mkfifo -m 600 "$in" "$out" || return 1
  WAYLAND_DISPLAY=${RIG_DISPLAYS[$name.wayland]} "$RIG_WL_INPUT" "$2" "$3" \
    <"$in" >"$out" 2>>"$RIG_DIR/$name/input.log" &
  pid=$!
  RIG_PIDS+=("$pid")
  RIG_NAMES[$pid]="e2e-wl-input ($name)"
  RIG_DISPLAYS[$name.input_pid]=$pid
  exec {fd_in}>"$in" {fd_out}<"$out"
  RIG_DISPLAYS[$name.input_in]=$fd_in
  RIG_DISPLAYS[$name.input_out]=$fd_out
  # A first command answered: the devices are there.
  RIG_WL_IN=$fd_in RIG_WL_OUT=$fd_out RIG_WL_PID=$pid rig_wl delay 20 \
    || { rig_log "e2e-wl-input ($name) did not start: $(tail -n3 "$RIG_DIR/$name/input.log")"; return 1; }
}

# Makes display NAME the one the rig drives and the programs it starts
# reach (exported). A command runs on another display with rig_on_display.
rig_use_display() {  # NAME
  export DISPLAY=${RIG_DISPLAYS[$1.display]}
  export WAYLAND_DISPLAY=${RIG_DISPLAYS[$1.wayland]} SWAYSOCK=${RIG_DISPLAYS[$1.swaysock]}
  RIG_WL_IN=${RIG_DISPLAYS[$1.input_in]} RIG_WL_OUT=${RIG_DISPLAYS[$1.input_out]}
  RIG_WL_PID=${RIG_DISPLAYS[$1.input_pid]}
}

rig_on_display() {  # NAME COMMAND...
  local -x DISPLAY=${RIG_DISPLAYS[$1.display]} WAYLAND_DISPLAY=${RIG_DISPLAYS[$1.wayland]:-}
  local -x SWAYSOCK=${RIG_DISPLAYS[$1.swaysock]:-}
  local RIG_WL_IN=${RIG_DISPLAYS[$1.input_in]:-} RIG_WL_OUT=${RIG_DISPLAYS[$1.input_out]:-}
  local RIG_WL_PID=${RIG_DISPLAYS[$1.input_pid]:-}
  shift
  "$@"
}

# Forgets the displays other than the rig's own (a scenario's, ended with
# it), closing the pipes to their e2e-wl-input.
rig_close_other_displays() {
  local key name fd
  for key in "${!RIG_DISPLAYS[@]}"; do
    [ "${key%.*}" != main ] && [ "${key#*.}" = server ] && rig_forget_x_files "${key%.*}"
  done
  for key in "${!RIG_DISPLAYS[@]}"; do
    name=${key%.*}
    [ "$name" != main ] || continue
    case $key in
      *.input_in|*.input_out) fd=${RIG_DISPLAYS[$key]}; exec {fd}>&- ;;
    esac
    unset "RIG_DISPLAYS[$key]"
  done
}

# The environment a program needs to reach display NAME, as NAME=VALUE
# words for env: the X display, and on Wayland the compositor's socket too,
# as a desktop session gives both.
rig_display_env() {  # NAME
  echo "DISPLAY=${RIG_DISPLAYS[$1.display]}"
  [ -z "${RIG_DISPLAYS[$1.wayland]:-}" ] || echo "WAYLAND_DISPLAY=${RIG_DISPLAYS[$1.wayland]}"
}

# Another display of the rig's kind, named NAME, for a scenario that takes
# it away: an X server of 640x480 with its window manager, or a sway of
# that size. Leaves the pids that end it in RIG_LAST_PIDS (the server's
# first: killing it takes the display away).
rig_second_display() {  # NAME
  local name=$1 fd=$RIG_DIR/$1-xvfb.fd status
  RIG_LAST_PIDS=()
  if [ "$RIG_DISPLAY" = wayland ]; then
    rig_sway_start "$name" "$(rig_device 640)x$(rig_device 480)"
    status=$?
    RIG_LAST_PIDS=("${RIG_DISPLAYS[$name.server]}")
    [ -z "${RIG_DISPLAYS[$name.input_pid]:-}" ] || RIG_LAST_PIDS+=("${RIG_DISPLAYS[$name.input_pid]}")
    return $status
  fi
  rm -f "$fd"
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$fd" \
    >"$RIG_DIR/$name-xvfb.log" 2>&1 &
  RIG_DISPLAYS[$name.server]=$!
  RIG_PIDS+=("$!"); RIG_NAMES[$!]="Xvfb ($name)"; RIG_LAST_PIDS=("$!")
  rig_wait_for 10 test -s "$fd" || { rig_log "the X server ($name) did not start"; return 1; }
  RIG_DISPLAYS[$name.display]=":$(head -n1 "$fd")"
  # A window manager there too: without one nothing ever gives a window
  # the focus, and an inactive window takes a click only to come forward.
  DISPLAY=${RIG_DISPLAYS[$name.display]} rig_spawn "$RIG_DIR/$name-openbox.log" \
    openbox --sm-disable --config-file "$RIG_SOURCE_DIR/openbox-rc.xml"
  RIG_LAST_PIDS+=("$RIG_LAST_PID")
  rig_wait_for 10 eval "DISPLAY=${RIG_DISPLAYS[$name.display]} rig_wm_ready" \
    || { rig_log "no window manager on the X server ($name)"; return 1; }
}

rig_sound_start() {
  case $RIG_SOUND in
    pulse) rig_pulse_start ;;
    pipewire) rig_pipewire_start ;;
    alsa) rig_alsa_start; return ;;
    *) rig_log "no sound server \"$RIG_SOUND\" (there are: pulse pipewire alsa)"; return 1 ;;
  esac || return 1
  # The default source too: left to itself it is the default sink's
  # monitor, and follows it, recorders and all, when the default sink is
  # switched.
  pactl set-default-sink null >/dev/null 2>&1
  pactl set-default-source null.monitor >/dev/null 2>&1
}

rig_pulse_start() {
  export PULSE_SERVER=unix:$RIG_DIR/pulse.sock
  rig_spawn "$RIG_DIR/pulse.log" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
    --disallow-exit \
    -L "module-null-sink sink_name=null format=float32le rate=$RIG_RATE channels=2" \
    -L "module-native-protocol-unix socket=$RIG_DIR/pulse.sock auth-anonymous=1"
  RIG_SERVER_PIDS=("$RIG_LAST_PID")
  if ! rig_wait_for 10 eval 'pactl info >/dev/null 2>&1'; then
    rig_log "PulseAudio did not start: $(tail -n3 "$RIG_DIR/pulse.log")"
    return 1
  fi
}

# PipeWire as a desktop runs it: the daemon, WirePlumber as its session
# manager, and pipewire-pulse for PulseAudio clients, all at 44100 Hz with
# a null sink made by the daemon itself. WirePlumber's device monitors are
# off (they want D-Bus, and there is no hardware), and the servers get a
# session bus address where nothing listens, so that libdbus never starts
# one, and no DISPLAY. Nor does WirePlumber remember where a stream was
# moved by hand, as the rig's PulseAudio does not: a scenario that moves
# the program's stream would otherwise send the next program's there too,
# and keep it from following the default.
rig_pipewire_config() {
  local conf=$RIG_DIR/config
  mkdir -p "$conf/pipewire/pipewire.conf.d" "$RIG_DIR/state"
  cat >"$conf/pipewire/pipewire.conf.d/50-rig.conf" <<EOF
context.properties = { default.clock.rate = $RIG_RATE  default.clock.allowed-rates = [ $RIG_RATE ] }
context.objects = [
  { factory = adapter args = { factory.name = support.null-audio-sink node.name = "null"
      node.description = "null" media.class = "Audio/Sink" audio.format = "F32LE"
      audio.rate = $RIG_RATE audio.channels = 2 audio.position = [ FL FR ]
      object.linger = true monitor.channel-volumes = true } }
]
EOF
  # WirePlumber 0.4 reads Lua files, 0.5 and later only SPA-JSON fragments
  # (and warns of Lua ones): each gets its own form of the same settings.
  if wireplumber --version 2>/dev/null | grep -q 'libwireplumber 0\.4'; then
    mkdir -p "$conf/wireplumber/main.lua.d" "$conf/wireplumber/bluetooth.lua.d"
    cat >"$conf/wireplumber/main.lua.d/60-rig.lua" <<EOF
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
stream_defaults.properties["restore-target"] = false
EOF
    echo 'bluez_monitor.enabled = false' >"$conf/wireplumber/bluetooth.lua.d/60-rig.lua"
  else
    mkdir -p "$conf/wireplumber/wireplumber.conf.d"
    cat >"$conf/wireplumber/wireplumber.conf.d/60-rig.conf" <<EOF
wireplumber.profiles = {
  main = {
    hardware.audio = disabled
    hardware.bluetooth = disabled
    hardware.video-capture = disabled
    support.reserve-device = disabled
    support.portal-permissionstore = disabled
    script.client.access-portal = disabled
    support.logind = disabled
  }
}
wireplumber.settings = {
  node.stream.restore-target = false
}
EOF
  fi
}

rig_pipewire_start() {
  [ -d "$RIG_DIR/config" ] || rig_pipewire_config
  export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  local server_env=(env -u DISPLAY XDG_CONFIG_HOME="$RIG_DIR/config"
    XDG_STATE_HOME="$RIG_DIR/state" DBUS_SESSION_BUS_ADDRESS="unix:path=$RIG_DIR/no-bus")
  RIG_SERVER_PIDS=()
  rig_spawn "$RIG_DIR/pipewire.log" "${server_env[@]}" pipewire
  RIG_SERVER_PIDS+=("$RIG_LAST_PID")
  if ! rig_wait_for 10 eval 'pw-cli ls Node 2>/dev/null | grep -q "node.name = \"null\""'; then
    rig_log "PipeWire did not start: $(tail -n3 "$RIG_DIR/pipewire.log")"
    return 1
  fi
  rig_spawn "$RIG_DIR/wireplumber.log" "${server_env[@]}" wireplumber
  RIG_SERVER_PIDS+=("$RIG_LAST_PID")
  if ! rig_wait_for 10 eval 'pw-metadata 0 default.audio.sink 2>/dev/null | grep -q "\"null\""'; then
    rig_log "WirePlumber did not start: $(tail -n3 "$RIG_DIR/wireplumber.log")"
    return 1
  fi
  rig_spawn "$RIG_DIR/pipewire-pulse.log" "${server_env[@]}" pipewire-pulse
  RIG_SERVER_PIDS+=("$RIG_LAST_PID")
  if ! rig_wait_for 10 eval 'pactl info >/dev/null 2>&1'; then
    rig_log "pipewire-pulse did not start: $(tail -n3 "$RIG_DIR/pipewire-pulse.log")"
    return 1
  fi
}

# No sound server: where the program looks for one, nothing answers, and
# ALSA's default PCM is the rig's card. Its plug layer hands the card float
# stereo at 44100 whatever the program asks for, so that the recording is
# in the form the measures read; the file plug-in writes it into the pipe
# e2e-alsa-sink reads, and its null slave takes it at once (e2e-alsa-sink
# sets the pace).
rig_alsa_start() {
  export PULSE_SERVER=unix:$RIG_DIR/no-pulse.sock
  export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR
  RIG_ALSA_FIFO=$RIG_DIR/alsa-card.fifo
  [ -p "$RIG_ALSA_FIFO" ] || mkfifo -m 600 "$RIG_ALSA_FIFO" || return 1
  cat >"$HOME/.asoundrc" <<EOF
pcm.!default {
  type plug
  slave { pcm "rig_card" format FLOAT_LE rate $RIG_RATE channels 2 }
}
pcm.rig_card {
  type file
  slave.pcm "null"
  file "$RIG_ALSA_FIFO"
  format "raw"
}
EOF
}

# Prints which of the sound server's processes ended without the rig
# ending them, and the last lines of its log; fails when all still run.
rig_sound_crashed() {
  local pid
  for pid in "${RIG_SERVER_PIDS[@]}"; do
    rig_alive "$pid" && continue
    printf '%s ended by itself; its log ends: %s' "${RIG_NAMES[$pid]%% *}" \
      "$(rig_log_tail "${RIG_LOGS[$pid]:-/dev/null}")"
    return 0
  done
  return 1
}

# Kills the sound server outright, as a crash would: all of its processes
# at once.
rig_sound_kill() {
  [ ${#RIG_SERVER_PIDS[@]} -gt 0 ] || return 0
  local pid
  kill -KILL "${RIG_SERVER_PIDS[@]}" 2>/dev/null
  for pid in "${RIG_SERVER_PIDS[@]}"; do
    wait "$pid" 2>/dev/null
    rig_forget "$pid"
  done
  RIG_SERVER_PIDS=()
  # The recorders lose their server with it.
  for pid in $RIG_PAREC_PID $RIG_OTHER_PAREC_PID; do
    rig_wait_for 5 eval "! rig_alive $pid"
    rig_end "$pid"
  done
  RIG_PAREC_PID="" RIG_OTHER_PAREC_PID=""
  rm -rf "$RIG_DIR/pulse.sock" "$XDG_RUNTIME_DIR/pulse" "$XDG_RUNTIME_DIR"/pipewire-0*
}

# Stops the sound server's processes where they are, as a server that hangs
# does (SIGSTOP), and lets them go on again.
RIG_SOUND_STOPPED=""
rig_sound_pause() {
  [ ${#RIG_SERVER_PIDS[@]} -gt 0 ] && kill -STOP "${RIG_SERVER_PIDS[@]}" && RIG_SOUND_STOPPED=1
}

rig_sound_resume() {
  [ -n "$RIG_SOUND_STOPPED" ] && kill -CONT "${RIG_SERVER_PIDS[@]}" 2>/dev/null
  RIG_SOUND_STOPPED=""
}

rig_sound_restart() {
  rig_sound_kill
  rig_sound_start
}

# The recorder asks for little latency on PulseAudio, so that what it
# writes is close to "now". On PipeWire the graph runs at the smallest
# quantum any linked stream asks for, and a 20 ms recorder would force that
# on the program under test.
rig_record_latency() { [ "$RIG_SOUND" = pipewire ] && echo 100 || echo 20; }

# Records a sink's monitor into FILE, from now until rig_record_stop. The
# null sink's recording is the one the measures read; another sink's is
# read through rig_on_recording.
rig_record_start() {  # FILE [SINK]
  local file=$1 sink=${2:-null}
  if [ "$RIG_SOUND" = alsa ]; then
    # The card records what it plays, from now on.
    rig_spawn "$RIG_DIR/alsa-sink.log" "$RIG_ALSA_SINK" "$RIG_ALSA_FIFO" "$file"
    RIG_RECORDING=$file RIG_PAREC_PID=$RIG_LAST_PID
    rig_wait_for 5 rig_recording_flows "$file" \
      || { rig_log "the rig's card recorded nothing: $(tail -n3 "$RIG_DIR/alsa-sink.log")"; return 1; }
    RIG_DATA_AT=$(rig_data_at "$file")
    return 0
  fi
  # node.dont-reconnect: WirePlumber, like PulseAudio, would otherwise take
  # a recorder linked to the default sink for one that follows it.
  rig_spawn "$RIG_DIR/parec-$sink.log" env PULSE_PROP="node.dont-reconnect=true" \
    parec --latency-msec="$(rig_record_latency)" \
    -d "$sink.monitor" --format=float32le --rate=$RIG_RATE --channels=2 \
    --file-format=wav "$file"
  if [ "$sink" = null ]; then
    RIG_RECORDING=$file RIG_PAREC_PID=$RIG_LAST_PID
  else
    RIG_OTHER_PAREC_PID=$RIG_LAST_PID
  fi
  # An idle null sink is slow to start a new stream without this kick.
  pactl suspend-sink "$sink" 1; pactl suspend-sink "$sink" 0
  if ! rig_wait_for 5 rig_recording_flows "$file"; then
    rig_log "the recorder wrote nothing: $(tail -n3 "$RIG_DIR/parec-$sink.log")"
    return 1
  fi
  if [ "$sink" = null ]; then
    RIG_DATA_AT=$(rig_data_at "$file")
    # Without the second recorder every step counts as heard.
    [ "$RIG_SOUND" = pipewire ] && ! rig_native_record_start "${file%.wav}-native.wav" \
      && rig_log "no second recording of the sink: every step the first recorder hears counts"
  fi
  return 0
}

# On PipeWire, a second recording of the null sink through PipeWire's own
# client library, beside the one through its PulseAudio server: a recorder
# late for a cycle of the graph loses that cycle's frames, and the tone's
# phase jumps in its recording alone, while a click the program made is in
# both (e2e-dropouts --heard-in tells them apart). RIG_NATIVE_BEHIND is how
# many seconds of the first recording came before it began.
rig_native_record_start() {  # FILE
  rig_native_record_stop
  rig_spawn "$RIG_DIR/pw-record.log" pw-record --target null -P stream.capture.sink=true \
    -P node.dont-reconnect=true --latency 100ms --rate "$RIG_RATE" --format f32 --channels 2 "$1"
  RIG_NATIVE_RECORD_PID=$RIG_LAST_PID
  if ! rig_wait_for 5 rig_recording_flows "$1"; then
    rig_log "pw-record wrote nothing: $(tail -n3 "$RIG_DIR/pw-record.log")"
    return 1
  fi
  RIG_NATIVE_BEHIND=$(echo "$(rig_record_time) - $(rig_file_seconds "$1" "$(rig_data_at "$1")")" | bc)
  RIG_NATIVE_RECORDING=$1
}

# Ends it, so that its file is whole.
rig_native_record_stop() {
  RIG_NATIVE_RECORDING=""
  [ -n "${RIG_NATIVE_RECORD_PID:-}" ] || return 0
  kill -INT "$RIG_NATIVE_RECORD_PID" 2>/dev/null
  rig_wait_for 3 eval "! rig_alive $RIG_NATIVE_RECORD_PID"
  rig_end "$RIG_NATIVE_RECORD_PID"
  RIG_NATIVE_RECORD_PID=""
}

rig_recording_flows() {  # FILE
  local size
  size=$(stat -c %s "$1" 2>/dev/null) || return 1
  [ "$size" -gt 4096 ] && head -c 512 "$1" | grep -qa data
}

rig_data_at() {  # FILE: where its samples start
  local at
  at=$(head -c 512 "$1" | grep -obUa data | head -n1 | cut -d: -f1)
  echo $(( at + 8 ))
}

# Runs a command with the measures (rig_record_time, rig_clip, rig_measure)
# reading FILE, another sink's recording, in its own time.
rig_on_recording() {  # FILE COMMAND...
  local RIG_RECORDING=$1 RIG_DATA_AT
  RIG_DATA_AT=$(rig_data_at "$1")
  shift
  "$@"
}

rig_record_stop() {
  rig_native_record_stop
  local pid
  for pid in $RIG_OTHER_PAREC_PID $RIG_PAREC_PID; do
    kill -INT "$pid" 2>/dev/null
    rig_wait_for 3 eval "! rig_alive $pid"
    rig_end "$pid"
  done
  RIG_PAREC_PID="" RIG_OTHER_PAREC_PID=""
}

# Another null sink beside the rig's, its monitor recorded into FILE when
# one is given; rig_sinks_remove takes them all away again.
RIG_SINK_MODULES=()
rig_sink_add() {  # NAME [FILE]
  local module
  module=$(pactl load-module module-null-sink sink_name="$1" format=float32le \
    rate=$RIG_RATE channels=2) || return 1
  RIG_SINK_MODULES+=("$module")
  [ -z "${2:-}" ] || rig_record_start "$2" "$1"
}

rig_sinks_remove() {
  local pid=$RIG_OTHER_PAREC_PID module
  if [ -n "$pid" ]; then
    kill -INT "$pid" 2>/dev/null
    rig_wait_for 3 eval "! rig_alive $pid"
    rig_end "$pid"
    RIG_OTHER_PAREC_PID=""
  fi
  for module in "${RIG_SINK_MODULES[@]}"; do pactl unload-module "$module" 2>/dev/null; done
  RIG_SINK_MODULES=()
  pactl set-default-sink null >/dev/null 2>&1
}

# Seconds of sound recorded so far: where in the recording "now" is.
rig_record_time() {
  rig_file_seconds "$RIG_RECORDING" "$RIG_DATA_AT"
}

# How many seconds a recording being written holds so far.
rig_file_seconds() {  # FILE DATA_AT
  local bytes
  bytes=$(stat -c %s "$1" 2>/dev/null || echo "$2")
  echo "scale=4; ($bytes - $2) / ($RIG_RATE * $RIG_FRAME_BYTES)" | bc
}

rig_recorded_past() {  # SECONDS
  [ "$(echo "$(rig_record_time) >= $1" | bc)" = 1 ]
}

rig_le32() {  # N: four little-endian bytes
  printf "\\x$(printf %02x $(( $1 & 255 )))\\x$(printf %02x $(( ($1 >> 8) & 255 )))"
  printf "\\x$(printf %02x $(( ($1 >> 16) & 255 )))\\x$(printf %02x $(( ($1 >> 24) & 255 )))"
}

# Copies seconds FROM to TO of the recording into a WAV file of its own, so
# that measuring a stretch reads only that stretch. Waits until the recorder
# has got that far.
rig_clip() {  # FROM TO OUT
  local from=$1 to=$2 out=$3 first last bytes
  if ! rig_wait_for "$(awk -v t="$to" -v n="$(rig_record_time)" \
      'BEGIN { w = t - n; print (w > 0 ? w : 0) + 5 }')" rig_recorded_past "$to"; then
    rig_log "the recording did not reach ${to}s (it is at $(rig_record_time)s)"
    return 1
  fi
  first=$(echo "$from * $RIG_RATE / 1" | bc); [ "${first:0:1}" = - ] && first=0
  last=$(echo "$to * $RIG_RATE / 1" | bc)
  bytes=$(( (last - first) * RIG_FRAME_BYTES ))
  [ "$bytes" -gt 0 ] || bytes=0
  {
    printf 'RIFF'; rig_le32 $(( 36 + bytes )); printf 'WAVEfmt '
    rig_le32 16; printf '\x03\x00\x02\x00'; rig_le32 $RIG_RATE
    rig_le32 $(( RIG_RATE * RIG_FRAME_BYTES )); printf '\x08\x00\x20\x00'
    printf 'data'; rig_le32 "$bytes"
    dd if="$RIG_RECORDING" iflag=skip_bytes,count_bytes status=none \
      skip=$(( RIG_DATA_AT + first * RIG_FRAME_BYTES )) count="$bytes"
  } >"$out"
}

# Measures seconds FROM to TO of the recording with the project's analysis
# tool, leaving each measure in M_<name> (M_frequency_hz, M_peak_dbfs,
# M_tone_dbfs, M_step_ratio, M_largest_step, M_glide_tau_s, M_nonfinite...).
rig_measure() {  # FROM TO
  M_TEXT=""
  rig_clip "$1" "$2" "$RIG_DIR/clip.wav" || return 1
  rig_analyse "$RIG_DIR/clip.wav" "${1}s..${2}s"
}

# Measures a WAV file as rig_measure does a stretch of the recording.
rig_analyse() {  # FILE [WHAT]
  local name value
  M_TEXT=$("$RIG_ANALYSE" "$1") || {
    rig_log "analyse-recording failed on ${2:-$1}"; return 1; }
  while IFS='=' read -r name value; do
    [[ $name =~ ^[a-z_]+$ ]] && printf -v "M_$name" '%s' "$value"
  done <<<"$M_TEXT"
  return 0
}

rig_stop() {
  rig_record_stop
  local i pid status
  # One at a time, newest first: the program before the servers it talks
  # to, so that none of them sees the others vanish under it.
  for (( i = ${#RIG_PIDS[@]} - 1; i >= 0; i-- )); do
    pid=${RIG_PIDS[i]}
    kill -TERM "$pid" 2>/dev/null
    rig_wait_for 3 eval "! rig_alive $pid" || kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    status=$?
    if [ "$status" -gt 128 ] && [ "$status" != 143 ]; then
      rig_log "rig: ${RIG_NAMES[$pid]:-process $pid} ended with status $status when stopped"
      # What a crashed server said last is all that is left of it once
      # the rig's files go.
      [ -n "${RIG_LOGS[$pid]:-}" ] && [ -r "${RIG_LOGS[$pid]}" ] \
        && rig_log "rig: its log ends: $(rig_log_tail "${RIG_LOGS[$pid]}")"
    fi
  done
  RIG_PIDS=()
  if [ -n "$RIG_DIR" ] && [ -z "${RIG_KEEP:-}" ]; then
    rm -rf "$RIG_DIR"
  elif [ -n "$RIG_DIR" ]; then
    rig_log "rig files kept in $RIG_DIR"
  fi
  RIG_DIR=""
}

# --- the screen -------------------------------------------------------------
#
# What the scenarios see and do, the same on either display: windows are
# found by title (and the process that shows them) and known by an id of
# the display's (an X window, or sway's container id); geometry is of a
# window's content, in device pixels of the screen; the pointer and the
# keys are a user's. On Wayland a pop-up menu is in no list of windows (a
# compositor lists toplevels only): it is found on the screenshot, by its
# frame, and known by the id "menu".

# sway's tree of outputs, workspaces and windows, as JSON.
rig_sway_tree() { swaymsg -t get_tree 2>/dev/null; }

# The windows of sway's tree (views: they have a process), one JSON object
# a line; jq FILTER picks from them.
rig_sway_views() {  # FILTER [jq args...]
  local filter=$1; shift
  rig_sway_tree | jq -c "$@" "[recurse(.nodes[]?, .floating_nodes[]?) | select(.pid != null)] | $filter"
}

# A shown window of process PID whose title matches, or of anyone with
# PID empty; prints its id.
rig_find_window() {  # TITLE [PID]
  if [ "$RIG_DISPLAY" = wayland ]; then
    rig_sway_views '[.[] | select(.visible and (.name // "" | test($re))
        and ($pid == "" or (.pid | tostring) == $pid)) | .id] | first // empty' \
      --arg re "$1" --arg pid "${2:-}"
  elif [ -n "${2:-}" ]; then
    xdotool search --all --onlyvisible --pid "$2" --name "$1" 2>/dev/null | head -n1
  else
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1
  fi
}

# How many shown windows have a title that matches.
rig_count_windows() {  # TITLE
  if [ "$RIG_DISPLAY" = wayland ]; then
    rig_sway_views '[.[] | select(.visible and (.name // "" | test($re)))] | length' --arg re "$1"
  else
    xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l
  fi
}

rig_wait_window() {  # TITLE TIMEOUT [PID]: prints the id
  local id="" deadline=$(( $(rig_usec) + $2 * 1000000 ))
  while [ -z "$id" ]; do
    id=$(rig_find_window "$1" "${3:-}")
    [ -n "$id" ] && break
    [ "$(rig_usec)" -ge "$deadline" ] && return 1
    sleep 0.02
  done
  echo "$id"
}

rig_window_gone() {  # TITLE [PID]
  [ -z "$(rig_find_window "$1" "${2:-}")" ]
}

# An open pop-up menu of process PID: prints its id.
rig_find_menu() {  # PID
  if [ "$RIG_DISPLAY" = wayland ]; then
    rig_shot "$RIG_DIR/menu-look.ppm" && "$RIG_LOOK" menus "$RIG_DIR/menu-look.ppm" >/dev/null \
      && echo menu
  else
    rig_find_window '^menu$' "$1"
  fi
}

# Device pixels to the layout's (sway's) at RIG_OUTPUT_SCALE, which may be
# fractional, and back, rounded down.
rig_logical() { awk -v v="$1" -v s="$RIG_OUTPUT_SCALE" 'BEGIN { printf "%d", v / s }'; }
rig_device() { awk -v v="$1" -v s="$RIG_OUTPUT_SCALE" 'BEGIN { printf "%d", v * s }'; }

# Geometry of a window's content on the screen, in RIG_X, RIG_Y, RIG_W,
# RIG_H. (xdotool's getwindowgeometry counts a reparenting window
# manager's frame offset twice, so xwininfo is asked.) sway gives its
# layout's pixels, which are RIG_OUTPUT_SCALE device pixels each.
rig_geometry() {
  local info
  if [ "$RIG_DISPLAY" = wayland ] && [ "$1" = menu ]; then
    rig_shot "$RIG_DIR/menu-look.ppm" || return 1
    info=$("$RIG_LOOK" menus "$RIG_DIR/menu-look.ppm" | head -n1) || return 1
    read -r RIG_X RIG_Y RIG_W RIG_H <<<"$info"
    return 0
  elif [ "$RIG_DISPLAY" = wayland ]; then
    info=$(rig_sway_views '.[] | select(.id == $id) | [.rect.x + .window_rect.x,
        .rect.y + .window_rect.y, .window_rect.width, .window_rect.height] | map(. * $s | floor) | @sh' \
      -r --argjson id "$1" --argjson s "$RIG_OUTPUT_SCALE")
    [ -n "$info" ] || return 1
    read -r RIG_X RIG_Y RIG_W RIG_H <<<"$info"
    return 0
  fi
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  RIG_X=$(echo "$info" | sed -n 's/^ *Absolute upper-left X: *//p')
  RIG_Y=$(echo "$info" | sed -n 's/^ *Absolute upper-left Y: *//p')
  RIG_W=$(echo "$info" | sed -n 's/^ *Width: *//p')
  RIG_H=$(echo "$info" | sed -n 's/^ *Height: *//p')
  [ -n "$RIG_X" ] && [ -n "$RIG_Y" ] && [ -n "$RIG_W" ] && [ -n "$RIG_H" ]
}

# The whole screen, as a binary PPM for e2e-look. (On Wayland it shows the
# pointer, which the compositor draws into the picture.)
rig_shot() {  # OUT
  if [ "$RIG_DISPLAY" = wayland ]; then
    grim -t ppm "$1" 2>/dev/null
  else
    import -window root -depth 8 "ppm:$1" 2>/dev/null
  fi
}

rig_pixel() {  # FILE X Y -> "r g b"
  "$RIG_LOOK" pixel "$1" "$2" "$3"
}

# The window that has the keyboard.
rig_active_window() {
  if [ "$RIG_DISPLAY" = wayland ]; then
    rig_sway_views '[.[] | select(.focused) | .id] | first // empty'
  else
    xdotool getactivewindow 2>/dev/null
  fi
}

# Asks the window manager to make a window the active one.
rig_activate() {  # ID
  if [ "$RIG_DISPLAY" = wayland ]; then
    swaymsg "[con_id=$1] focus" >/dev/null 2>&1
  else
    xdotool windowactivate --sync "$1" >/dev/null 2>&1
  fi
}

# The window is the topmost of the managed windows (on sway, of the
# floating windows of its workspace, which are above the rest).
rig_on_top() {  # ID
  if [ "$RIG_DISPLAY" = wayland ]; then
    [ "$(rig_sway_tree | jq --argjson id "$1" '[recurse(.nodes[]?) | select(.type == "workspace")
        | select([recurse(.nodes[]?, .floating_nodes[]?) | .id] | index($id))
        | .floating_nodes[-1].id] | first')" = "$1" ]
    return
  fi
  local last
  last=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*, //; s/.* //')
  [ "$((last))" = "$1" ]
}

# Asks the window manager to put a window's content at (X, Y) of the
# screen, as a user dragging it would: where a compositor places every
# window itself (sway centres them), a scenario can move one aside.
rig_place_window() {  # ID X Y
  if [ "$RIG_DISPLAY" = wayland ]; then
    # sway moves the window's frame, its title bar above the content.
    local frame_top
    frame_top=$(rig_sway_views '.[] | select(.id == $id) | .rect.y - .deco_rect.y' --argjson id "$1")
    swaymsg "[con_id=$1] move position $(rig_logical "$2") $(( $(rig_logical "$3") - ${frame_top:-0} ))" >/dev/null 2>&1
  else
    xdotool windowmove "$1" "$2" "$3"
  fi
}

# Whether the window manager raises the window it activates at a
# program's request. openbox does; sway 1.7 gives it the focus and leaves
# it where it was in the stack.
rig_raises_on_activation() { [ "$RIG_DISPLAY" = x11 ]; }

# Takes a window out of sight as a user does: iconified on X11; on sway,
# which iconifies nothing, by going to another workspace. RIG_PUT_AWAY says
# which, in words.
rig_put_away() {  # ID
  if [ "$RIG_DISPLAY" = wayland ]; then
    RIG_PUT_AWAY="on another workspace"
    swaymsg workspace rig-elsewhere >/dev/null 2>&1
  else
    RIG_PUT_AWAY="iconified"
    xdotool windowminimize --sync "$1"
  fi
}

# The activation token a launcher of the desktop's would give a program it
# starts (sway from 1.8 sets XDG_ACTIVATION_TOKEN for what it execs, tied
# to its seat); empty where sway gives none.
rig_launcher_token() {
  local home=${RIG_DISPLAYS[main.dir]:-$RIG_DIR/main}/home
  local file=$home/launcher-token
  rm -f "$file" "$file.part"
  # A script, since sway would take a ";" in the command for its own.
  printf 'printenv XDG_ACTIVATION_TOKEN >%s.part\nmv %s.part %s\n' "$file" "$file" "$file" \
    >"$home/launcher-token.sh"
  chmod 644 "$home/launcher-token.sh"
  swaymsg exec "sh $home/launcher-token.sh" >/dev/null 2>&1 || return 0
  rig_wait_for 3 test -e "$file" && cat "$file"
}

# Sends a command to the display's e2e-wl-input and waits for its answer.
rig_wl() {  # COMMAND...
  local reply
  if [ -z "${RIG_WL_PID:-}" ] || ! rig_alive "$RIG_WL_PID"; then
    rig_log "e2e-wl-input is not running"
    return 1
  fi
  printf '%s\n' "$*" >&"$RIG_WL_IN"
  if ! IFS= read -r -t 10 reply <&"$RIG_WL_OUT"; then
    rig_log "e2e-wl-input did not answer \"$*\""
    return 1
  fi
  [ "$reply" = ok ] || { rig_log "e2e-wl-input: $reply"; return 1; }
}

# The pointer to (X, Y) of the screen.
rig_move() {  # X Y
  if [ "$RIG_DISPLAY" = wayland ]; then rig_wl move "$1" "$2"; else xdotool mousemove "$1" "$2"; fi
}

# A click, a press or a release of the left button where the pointer is.
rig_click() {
  if [ "$RIG_DISPLAY" = wayland ]; then rig_wl click 1; else xdotool click 1; fi
}

rig_press() {
  if [ "$RIG_DISPLAY" = wayland ]; then rig_wl down 1; else xdotool mousedown 1; fi
}

rig_release() {
  if [ "$RIG_DISPLAY" = wayland ]; then rig_wl up 1; else xdotool mouseup 1; fi
}

# The pointer to (X, Y), then a click, a press or a release there.
rig_click_at() {  # X Y
  if [ "$RIG_DISPLAY" = wayland ]; then rig_move "$1" "$2" && rig_click; else xdotool mousemove "$1" "$2" click 1; fi
}

rig_press_at() {  # X Y
  if [ "$RIG_DISPLAY" = wayland ]; then rig_move "$1" "$2" && rig_press; else xdotool mousemove "$1" "$2" mousedown 1; fi
}

rig_release_at() {  # X Y
  if [ "$RIG_DISPLAY" = wayland ]; then rig_move "$1" "$2" && rig_release; else xdotool mousemove "$1" "$2" mouseup 1; fi
}

# Types keys, as xdotool names them (Tab, space, Return, alt+F4), DELAY ms
# apart, into the window that has the keyboard.
rig_key() {  # DELAY KEY...
  local delay=$1; shift
  if [ "$RIG_DISPLAY" = wayland ]; then
    rig_wl delay "$delay" && rig_wl key "$@"
  else
    xdotool key --delay "$delay" "$@"
  fi
}

# The pointer out of the way, over no window.
rig_park_pointer() {
  if [ "$RIG_DISPLAY" = wayland ]; then
    local screen=${RIG_SCREEN:-1024x768}
    rig_move "$(( ${screen%x*} - 1 ))" "$(( ${screen#*x} - 1 ))"
  else
    xdotool mousemove 600 700 2>/dev/null
  fi
}
