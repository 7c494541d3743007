# The end-to-end rig, sourced by the scenario runner and the performance
# script: a private X server with a window manager, a private sound server
# with a float32 null sink whose monitor is recorded, and helpers to drive
# and inspect the real program. Every process it starts is a child of this
# shell, listed in RIG_PIDS, and rig_stop ends those and no other.
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
# pw-cli, pw-metadata (installed by tools/install-deps.sh test).

RIG_PIDS=()
declare -A RIG_NAMES=()
RIG_DIR=""
RIG_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RIG_RATE=44100
RIG_FRAME_BYTES=8            # two float32 channels
RIG_RECORDING=""
RIG_PAREC_PID=""
RIG_OTHER_PAREC_PID=""
RIG_SOUND=${E2E_SOUND_SERVER:-pulse}
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
  unset WAYLAND_DISPLAY

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

  rig_sound_start || return 1

  # A note of when the machine stalls (12 ms late or more: a sound server's
  # buffer may be lost to less than 20), for the scenarios that ask for one
  # (the performance script does not: it would count its wake-ups).
  if [ -n "${RIG_STALL_WATCH:-}" ]; then
    rig_spawn "$RIG_DIR/stall-watch.log" "$RIG_STALL_WATCH" "$RIG_DIR/stalls" 12
  fi
}

rig_wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
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
  [ "$sink" = null ] && RIG_DATA_AT=$(rig_data_at "$file")
  return 0
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
  local bytes
  bytes=$(stat -c %s "$RIG_RECORDING" 2>/dev/null || echo "$RIG_DATA_AT")
  echo "scale=4; ($bytes - $RIG_DATA_AT) / ($RIG_RATE * $RIG_FRAME_BYTES)" | bc
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

# A mapped window of process PID whose title matches, or of anyone with
# PID empty; prints its id.
rig_find_window() {  # TITLE [PID]
  if [ -n "${2:-}" ]; then
    xdotool search --all --onlyvisible --pid "$2" --name "$1" 2>/dev/null | head -n1
  else
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1
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

# Geometry of a window's content on the screen, in RIG_X, RIG_Y, RIG_W,
# RIG_H. (xdotool's getwindowgeometry counts a reparenting window
# manager's frame offset twice, so xwininfo is asked.)
rig_geometry() {
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  RIG_X=$(echo "$info" | sed -n 's/^ *Absolute upper-left X: *//p')
  RIG_Y=$(echo "$info" | sed -n 's/^ *Absolute upper-left Y: *//p')
  RIG_W=$(echo "$info" | sed -n 's/^ *Width: *//p')
  RIG_H=$(echo "$info" | sed -n 's/^ *Height: *//p')
  [ -n "$RIG_X" ] && [ -n "$RIG_Y" ] && [ -n "$RIG_W" ] && [ -n "$RIG_H" ]
}

# The whole screen, as a binary PPM for e2e-look.
rig_shot() {  # OUT
  import -window root -depth 8 "ppm:$1" 2>/dev/null
}

rig_pixel() {  # FILE X Y -> "r g b"
  "$RIG_LOOK" pixel "$1" "$2" "$3"
}
