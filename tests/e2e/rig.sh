# The end-to-end rig, sourced by the scenario runner: a private X server
# with a window manager, a private PulseAudio daemon with a float32 null
# sink whose monitor is recorded for the whole run, and helpers to drive
# and inspect the real program. It stops only the processes it started.
#
# Needs: Xvfb, openbox, xdotool, xprop, ImageMagick, pulseaudio, pactl,
# parec (installed by tools/install-deps.sh test).

RIG_PIDS=()
RIG_DIR=""

rig_log() { printf '%s\n' "$*" >&2; }

rig_start() {
  RIG_DIR=$(mktemp -d /tmp/belvo-e2e.XXXXXX)
  export XDG_RUNTIME_DIR=$RIG_DIR/xdg
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  export HOME=$RIG_DIR/home
  mkdir -p "$HOME"

  # X server: -displayfd tells us the display once it is ready.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$RIG_DIR/xvfb.fd" \
    >"$RIG_DIR/xvfb.log" 2>&1 &
  RIG_PIDS+=($!)
  local i
  for i in $(seq 100); do [ -s "$RIG_DIR/xvfb.fd" ] && break; sleep 0.05; done
  [ -s "$RIG_DIR/xvfb.fd" ] || { rig_log "Xvfb did not start"; return 1; }
  export DISPLAY=":$(head -n1 "$RIG_DIR/xvfb.fd")"

  openbox --sm-disable >"$RIG_DIR/openbox.log" 2>&1 &
  RIG_PIDS+=($!)
  for i in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done

  rig_pulse_start || return 1
}

rig_pulse_start() {
  export PULSE_SERVER=unix:$RIG_DIR/pulse.sock
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --log-target=stderr --disallow-exit \
    -L "module-null-sink sink_name=null format=float32le rate=44100 channels=2" \
    -L "module-native-protocol-unix socket=$RIG_DIR/pulse.sock auth-anonymous=1" \
    >>"$RIG_DIR/pulse.log" 2>&1 &
  RIG_PULSE_PID=$!
  RIG_PIDS+=($RIG_PULSE_PID)
  local i
  for i in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
  pactl info >/dev/null 2>&1 || { rig_log "PulseAudio did not start"; return 1; }
  pactl set-default-sink null >/dev/null 2>&1
}

# Records the sink's monitor into FILE until rig_record_stop.
rig_record_start() {
  RIG_RECORDING=$1
  parec --latency-msec=20 -d null.monitor --format=float32le --rate=44100 \
    --channels=2 --file-format=wav "$RIG_RECORDING" 2>>"$RIG_DIR/parec.log" &
  RIG_PAREC_PID=$!
  RIG_PIDS+=($RIG_PAREC_PID)
  # An idle null sink is slow to start a new stream without this kick.
  pactl suspend-sink null 1; pactl suspend-sink null 0
  sleep 0.2
}

rig_record_stop() {
  [ -n "${RIG_PAREC_PID:-}" ] || return 0
  kill -INT "$RIG_PAREC_PID" 2>/dev/null
  wait "$RIG_PAREC_PID" 2>/dev/null
  RIG_PAREC_PID=""
}

# Seconds since the recording began, as the analysis tool counts them.
rig_record_time() {
  local bytes
  bytes=$(stat -c %s "$RIG_RECORDING" 2>/dev/null || echo 44)
  echo "scale=3; ($bytes - 44) / (44100 * 8)" | bc
}

rig_stop() {
  rig_record_stop
  local pid
  for pid in "${RIG_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${RIG_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  RIG_PIDS=()
  [ -n "$RIG_DIR" ] && [ -z "${RIG_KEEP:-}" ] && rm -rf "$RIG_DIR"
}

# Waits for a mapped window whose title matches, prints its id.
rig_wait_window() {
  local title=$1 timeout=${2:-10} i id
  for i in $(seq $((timeout * 20))); do
    id=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

rig_pixel() {  # FILE X Y -> "r,g,b"
  convert "$1" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:
}

rig_analyse() {  # FROM TO -> name=value lines
  "$RIG_ANALYSE" "$RIG_RECORDING" --from "$1" --to "$2"
}

rig_measure() {  # FROM TO NAME
  rig_analyse "$1" "$2" | sed -n "s/^$3=//p"
}
