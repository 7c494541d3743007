# The end-to-end rig, sourced by the scenario runner and the performance
# script: a private X server with a window manager, a private PulseAudio
# daemon with a float32 null sink whose monitor is recorded, and helpers to
# drive and inspect the real program. Every process it starts is a child of
# this shell, listed in RIG_PIDS, and rig_stop ends those and no other.
#
# Needs: Xvfb, openbox, xdotool, xprop, xwininfo, ImageMagick's import, pulseaudio,
# pactl, parec, bc (installed by tools/install-deps.sh test).

RIG_PIDS=()
declare -A RIG_NAMES=()
RIG_DIR=""
RIG_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RIG_RATE=44100
RIG_FRAME_BYTES=8            # two float32 channels
RIG_RECORDING=""
RIG_PAREC_PID=""
RIG_PULSE_PID=""

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

  # The X server writes its display number to fd 3 once it is ready.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$RIG_DIR/xvfb.fd" \
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

  rig_pulse_start || return 1
}

rig_wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

rig_pulse_start() {
  export PULSE_SERVER=unix:$RIG_DIR/pulse.sock
  rig_spawn "$RIG_DIR/pulse.log" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
    --disallow-exit \
    -L "module-null-sink sink_name=null format=float32le rate=$RIG_RATE channels=2" \
    -L "module-native-protocol-unix socket=$RIG_DIR/pulse.sock auth-anonymous=1"
  RIG_PULSE_PID=$RIG_LAST_PID
  if ! rig_wait_for 10 eval 'pactl info >/dev/null 2>&1'; then
    rig_log "PulseAudio did not start: $(tail -n3 "$RIG_DIR/pulse.log")"
    return 1
  fi
  pactl set-default-sink null >/dev/null 2>&1
}

# Kills the sound server outright, as a crash would.
rig_pulse_kill() {
  [ -n "$RIG_PULSE_PID" ] || return 0
  kill -KILL "$RIG_PULSE_PID" 2>/dev/null
  wait "$RIG_PULSE_PID" 2>/dev/null
  rig_forget "$RIG_PULSE_PID"
  RIG_PULSE_PID=""
  # The recorder loses its server with it.
  if [ -n "$RIG_PAREC_PID" ]; then
    rig_wait_for 5 eval "! rig_alive $RIG_PAREC_PID"
    rig_end "$RIG_PAREC_PID"
    RIG_PAREC_PID=""
  fi
  rm -f "$RIG_DIR/pulse.sock"
}

# Records the sink's monitor into FILE, from now until rig_record_stop.
rig_record_start() {
  RIG_RECORDING=$1
  rig_spawn "$RIG_DIR/parec.log" parec --latency-msec=20 -d null.monitor \
    --format=float32le --rate=$RIG_RATE --channels=2 --file-format=wav \
    "$RIG_RECORDING"
  RIG_PAREC_PID=$RIG_LAST_PID
  # An idle null sink is slow to start a new stream without this kick.
  pactl suspend-sink null 1; pactl suspend-sink null 0
  if ! rig_wait_for 5 rig_recording_flows; then
    rig_log "the recorder wrote nothing: $(tail -n3 "$RIG_DIR/parec.log")"
    return 1
  fi
  RIG_DATA_AT=$(head -c 512 "$RIG_RECORDING" | grep -obUa data | head -n1 | cut -d: -f1)
  RIG_DATA_AT=$(( RIG_DATA_AT + 8 ))
}

rig_recording_flows() {
  local size
  size=$(stat -c %s "$RIG_RECORDING" 2>/dev/null) || return 1
  [ "$size" -gt 4096 ] && head -c 512 "$RIG_RECORDING" | grep -qa data
}

rig_record_stop() {
  [ -n "$RIG_PAREC_PID" ] || return 0
  kill -INT "$RIG_PAREC_PID" 2>/dev/null
  rig_wait_for 3 eval "! rig_alive $RIG_PAREC_PID"
  rig_end "$RIG_PAREC_PID"
  RIG_PAREC_PID=""
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
  local line name value
  M_TEXT=""
  rig_clip "$1" "$2" "$RIG_DIR/clip.wav" || return 1
  M_TEXT=$("$RIG_ANALYSE" "$RIG_DIR/clip.wav") || {
    rig_log "analyse-recording failed on ${1}s..${2}s"; return 1; }
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
