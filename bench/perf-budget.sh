#!/usr/bin/env bash
# The performance budget: this program beside `play -n synth sine 440`
# (SoX), measured in one run on the same private X server (Xvfb with
# openbox) and the same sound server, as tests/e2e/rig.sh sets them up: on
# PulseAudio, then on PipeWire (with WirePlumber and pipewire-pulse), each
# with a float32 null sink whose monitor is recorded.
#
#   bench/perf-budget.sh [BUILD_DIR] [--seconds N] [--server pulse|pipewire|both]
#                        [--load-soak SECONDS] [--display x11|wayland]
#
# Prints a table of the measures against their targets for each server and
# exits non-zero when a target is missed. How each is taken:
#   window mapped   exec to the window being viewable, and to its first
#                   drawn content (the strip's grey at 10,10), by xwatch
#                   asking the X server every millisecond; the same for
#                   the program alone on a desktop of scale 3 (GDK_SCALE);
#                   with --display wayland (a headless sway, the program a
#                   native Wayland client), exec to the compositor saying
#                   the window is new, read as it comes (`swaymsg -t
#                   subscribe`): sway maps a window with its first frame;
#   stream          exec to the sound server announcing the new stream
#                   (`pactl subscribe`, read as it comes): the device is
#                   open and the server starts asking for buffers;
#   first sound     exec to the first sample that is not zero in the
#                   recording of the sink's monitor, placed by where the
#                   recorder was at exec (just after one of its writes,
#                   and from there by the clock; its own lag is the same
#                   for both programs);
#   CPU             user + system time over N seconds (20) while the tone
#                   plays at full level, from /proc/PID/stat, per cent of
#                   one core: the program's, and the sound server's over
#                   the same stretch (PulseAudio: the pulseaudio process;
#                   PipeWire: pipewire + wireplumber + pipewire-pulse), and
#                   the two added up, which is what the machine spends on
#                   the tone;
#   wake-ups        the program's context switches over the same stretch,
#                   voluntary and not, summed over all of its threads
#                   (/proc/PID/task/*/status), a second: each is a time
#                   the kernel put one of its threads on or off a core;
#   memory          VmHWM (peak resident) and VmRSS from /proc/PID/status
#                   at the end of that stretch;
#   exit            the close request (the window manager's close, Alt+F4,
#                   for the program; SIGINT, which is Ctrl+C, for play) to
#                   the process having ended, and SIGTERM to ended;
#   callback        ns per frame of the buffer hook from engine_bench;
#   back end        what the program's stream went through: its threads'
#                   names (the ALSA device's "belvo-alsa", libpulse's
#                   threaded main loop, PipeWire's data loop) and the
#                   protocol the server lists it under.
# --load-soak SECONDS adds, on each server, SECONDS of steady tone from
# each program with every core kept busy by a loop of this script's, and
# counts the dropouts in it (any run of zeros inside the tone, see
# tests/e2e/Dropouts.h). It takes minutes, so it is asked for.
# BELVO_AUDIO (pipewire, pulse or alsa) reaches the program, to measure one
# back end on a server that would get another (ALSA's default PCM reaches
# a running sound server through ALSA's pulse plug-in).
#
# Where the cost goes (the per-thread and per-process lines it prints), as
# measured on a 2-core machine: on PipeWire nearly all of the program's
# CPU and wake-ups are PipeWire's data thread (unnamed, "belvo": 0.2 % of a
# core and one wake-up for each 1024-frame cycle, 43 a second), on
# PulseAudio libpulse's main loop thread ("belvo-pulse": 0.6 %, about 110
# wake-ups a second, one for each request of the server); the window's
# threads and PipeWire's main loop thread sleep while nothing is picked.
# The larger part is the server's: pulseaudio, 2 % beside play's 1.8 %; on
# PipeWire, pipewire running the graph (0.5 %, 0.25 % at play's 2048-frame
# quantum) and pipewire-pulse, which serves the recorder (0.5 % whatever
# plays). WirePlumber spends nothing while a stream plays.
set -uo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE_DIR=$(cd "$BENCH_DIR/.." && pwd)
BUILD_DIR=$SOURCE_DIR/build
SECONDS_PLAYING=20
SERVERS=(pulse pipewire)
LOAD_SOAK=0
RIG_DISPLAY=x11
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) SECONDS_PLAYING=$2; shift 2 ;;
    --server) [ "$2" = both ] && SERVERS=(pulse pipewire) || SERVERS=("$2"); shift 2 ;;
    --load-soak) LOAD_SOAK=$2; shift 2 ;;
    --display) RIG_DISPLAY=$2; shift 2 ;;
    -h|--help) sed -n '2,50p' "$0"; exit 0 ;;
    *) BUILD_DIR=$(cd "$1" && pwd); shift ;;
  esac
done

APP_BIN=$BUILD_DIR/app/belvo
XWATCH=$BUILD_DIR/bench/xwatch
ENGINE_BENCH=$BUILD_DIR/bench/engine_bench
RIG_ANALYSE=$BUILD_DIR/tools/analysis/analyse-recording
DROPOUTS=$BUILD_DIR/tests/e2e/e2e-dropouts
for tool in "$APP_BIN" "$XWATCH" "$ENGINE_BENCH" "$RIG_ANALYSE" "$DROPOUTS"; do
  [ -x "$tool" ] || { echo "perf-budget.sh: $tool is missing; build first" >&2; exit 2; }
done
RIG_WL_INPUT=$BUILD_DIR/tests/e2e/e2e-wl-input
case $RIG_DISPLAY in
  x11) need=(play Xvfb openbox xdotool pactl parec bc) ;;
  wayland)
    need=(play sway swaymsg jq setpriv pactl parec bc)
    [ -x "$RIG_WL_INPUT" ] || { echo "perf-budget.sh: $RIG_WL_INPUT is missing; build first" >&2; exit 2; }
    ;;
  *) echo "perf-budget.sh: no display \"$RIG_DISPLAY\" (there are: x11 wayland)" >&2; exit 2 ;;
esac
# rig.sh takes its display from E2E_DISPLAY.
export E2E_DISPLAY=$RIG_DISPLAY
for server in "${SERVERS[@]}"; do
  case $server in
    pulse) need+=(pulseaudio) ;;
    pipewire) need+=(pipewire wireplumber pipewire-pulse pw-cli pw-metadata) ;;
    *) echo "perf-budget.sh: no sound server \"$server\" (there are: pulse pipewire both)" >&2; exit 2 ;;
  esac
done
for cmd in "${need[@]}"; do
  command -v "$cmd" >/dev/null || { echo "perf-budget.sh: $cmd is missing; run tools/install-deps.sh test" >&2; exit 2; }
done

# shellcheck source=../tests/e2e/rig.sh
source "$SOURCE_DIR/tests/e2e/rig.sh"
trap rig_stop EXIT
trap 'exit 130' INT TERM

TICKS=$(getconf CLK_TCK)

cpu_ticks() {  # PID: user + system clock ticks so far
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

switches() {  # PID or PID/task/TID: context switches so far, both kinds
  awk '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print n + 0 }' "/proc/$1/status" 2>/dev/null || echo 0
}

status_kb() {  # PID FIELD
  sed -n "s/^$2:[^0-9]*\\([0-9]*\\).*/\\1/p" "/proc/$1/status"
}

ms_between() {  # FROM_USEC TO_USEC
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1000 }'
}

percent() {  # TICKS USEC: per cent of one core
  awk -v t="$1" -v hz="$TICKS" -v us="$2" 'BEGIN { printf "%.2f", 100 * t / hz / (us / 1e6) }'
}

# The first moment after FROM (seconds of recording) when a sample is not
# zero, to 1/1024 of the window searched; empty if none within 3 s.
first_sound() {  # FROM
  local lo=$1 hi
  hi=$(echo "$1 + 3" | bc)
  rig_measure "$lo" "$hi" || return 1
  [ "$M_peak_dbfs" = "-999.00" ] && return 1
  local i mid
  for i in $(seq 10); do
    mid=$(echo "scale=6; ($lo + $hi) / 2" | bc)
    rig_measure "$1" "$mid" || return 1
    if [ "$M_peak_dbfs" = "-999.00" ]; then lo=$mid; else hi=$mid; fi
  done
  echo "$hi"
}

# The recorder writes in bursts, as much as its latency apart (100 ms on
# PipeWire), so the recording's length says where "now" is only just after
# a burst: waits for one, and leaves the recording time and the moment in
# SYNC_T and SYNC_US. What is left is the recorder's steady lag, the same
# for both programs.
record_synced() {
  local size0 size i
  size0=$(stat -c %s "$RIG_RECORDING")
  for (( i = 0; i < 200; i++ )); do
    size=$(stat -c %s "$RIG_RECORDING")
    [ "$size" != "$size0" ] && break
    sleep 0.001
  done
  SYNC_US=$(rig_usec)
  SYNC_T=$(rig_record_time)
}

# Waits for the sound server to announce a new stream after LINE lines of
# the subscription log; prints the time it was read.
stream_announced() {  # SKIP_LINES
  tail -n +"$(( $1 + 1 ))" "$RIG_DIR/subscribe.log" | grep -m1 "'new' on sink-input" | cut -d' ' -f1
}

# What the program's stream went through: ALSA, if it has the ALSA
# device's thread, else the protocol the server lists the stream under (pipewire-pulse
# marks the streams it serves; a native PipeWire client has no mark), and
# what the program said about it.
back_end() {  # PID LOG
  local names api said
  names=$(cat /proc/"$1"/task/*/comm 2>/dev/null | tr '\n' ' ')
  api=$(pactl list sink-inputs 2>/dev/null | awk '/^Sink Input #/ { api = "" }
    /client.api = / { api = $3 } /media.name = "Kesto"/ { k = 1 } k && /^$/ { exit }
    END { if (k) print api }' | tr -d '"')
  case " $names " in
    *" belvo-alsa"*) printf 'ALSA (libasound)' ;;
    *) if [ "$RIG_SOUND" = pipewire ] && [ -z "$api" ]; then printf 'PipeWire (pw_stream)'
       else printf 'PulseAudio (libpulse)'; fi ;;
  esac
  [ "$RIG_SOUND" = pipewire ] && printf ', %s' "${api:-native PipeWire client}"
  said=$(head -c 200 "$2" | tr '\n' '|')
  printf '; threads: %s%s' "$names" "${said:+; it said: $said}"
}

# Starts xwatch on the window, which reports when it is mapped and when
# the strip's grey is drawn at 10,10 of its content (at any scale up to 4
# that is inside the strip).
watch_start() {  # KIND
  WATCH_LOG=$RIG_DIR/xwatch-$1.log
  rig_spawn "$WATCH_LOG" "$XWATCH" "Belvo v0.6" 10 10 205 205 205 10
  WATCH_PID=$RIG_LAST_PID
  rig_wait_for 5 grep -q ready "$WATCH_LOG" || { echo "xwatch did not start" >&2; return 1; }
}

# Waits for xwatch's report; sets P_MAPPED and P_PAINTED, in ms from
# START_USEC.
watch_read() {  # START_USEC
  local mapped painted
  rig_wait_for 10 eval "! rig_alive $WATCH_PID"
  wait "$WATCH_PID"; rig_forget "$WATCH_PID"
  mapped=$(sed -n 's/^mapped=//p' "$WATCH_LOG")
  painted=$(sed -n 's/^painted=//p' "$WATCH_LOG")
  [ -n "$mapped" ] && P_MAPPED=$(ms_between "$1" "$((mapped / 1000))")
  [ -n "$painted" ] && P_PAINTED=$(ms_between "$1" "$((painted / 1000))")
}

# On Wayland: the compositor's window events, each with the microsecond it
# was read.
wl_watch_start() {
  WATCH_LOG=$RIG_DIR/sway-events.log
  : >"$WATCH_LOG"
  rig_spawn "$WATCH_LOG" bash -c 'swaymsg -r -m -t subscribe "[\"window\"]" | while IFS= read -r line; do
    t=$EPOCHREALTIME; echo "${t/./} $line"; done'
  WATCH_PID=$RIG_LAST_PID
  sleep 0.3    # subscribed before the program starts
}

# Sets P_MAPPED to the ms from START_USEC to sway's "new" event for the
# program's window (app id belvo); ends the watch.
wl_watch_read() {  # START_USEC
  local line
  rig_wait_for 5 grep -q '"change": *"new".*"app_id": *"belvo"' "$WATCH_LOG"
  line=$(grep -m1 '"change": *"new".*"app_id": *"belvo"' "$WATCH_LOG" | cut -d' ' -f1)
  [ -n "$line" ] && P_MAPPED=$(ms_between "$1" "$line")
  rig_end "$WATCH_PID"
}

# The program's window on a HiDPI desktop of scale 3 (GDK_SCALE=3), nine
# times the pixels to draw: exec to mapped and to drawn, in P_MAPPED and
# P_PAINTED.
first_map_scaled() {
  local start_us pid
  P_MAPPED=- P_PAINTED=-
  watch_start scale-3 || return 1
  start_us=$(rig_usec)
  rig_spawn "$RIG_DIR/belvo-scale-3.log" env GDK_SCALE=3 "$APP_BIN"
  pid=$RIG_LAST_PID
  watch_read "$start_us"
  local wid
  if ! wid=$(rig_wait_window '^Belvo v0.6$' 5 "$pid") || ! rig_geometry "$wid" \
      || [ "${RIG_W}x$RIG_H" != 393x213 ]; then
    echo "perf-budget.sh: at GDK_SCALE=3 the window is ${RIG_W:-?}x${RIG_H:-?}, not 393x213" >&2
    P_MAPPED=- P_PAINTED=-
  fi
  rig_end "$pid"
  rig_wait_for 5 eval '[ "$(pactl list sink-inputs short | wc -l)" = 0 ]'
}

# Measures one program: KIND COMMAND... ; sets P_* results.
measure() {
  local kind=$1; shift
  P_MAPPED=- P_PAINTED=- P_STREAM=- P_SOUND=- P_CPU=- P_SERVER_CPU=- P_TOTAL_CPU=- P_WAKE=-
  P_HWM=- P_RSS=- P_EXIT=- P_TERM=- P_BACK_END=-
  P_THREADS="" P_SERVER="" P_DISPLAY_WAKE=-
  if [ "$kind" = belvo ] && [ "$RIG_DISPLAY" = wayland ]; then
    wl_watch_start
  elif [ "$kind" = belvo ]; then
    watch_start "$kind" || return 1
  fi
  local skip start_t start_us pid
  skip=$(wc -l <"$RIG_DIR/subscribe.log")
  record_synced
  start_us=$(rig_usec)
  rig_spawn "$RIG_DIR/$kind.log" "$@"
  pid=$RIG_LAST_PID
  start_t=$(awk -v t="$SYNC_T" -v a="$SYNC_US" -v b="$start_us" 'BEGIN { printf "%.4f", t + (b - a) / 1e6 }')

  if [ "$kind" = belvo ] && [ "$RIG_DISPLAY" = wayland ]; then
    wl_watch_read "$start_us"
  elif [ "$kind" = belvo ]; then
    watch_read "$start_us"
  fi
  local stream_us sound_t
  if rig_wait_for 5 eval '[ -n "$(stream_announced '"$skip"')" ]'; then
    stream_us=$(stream_announced "$skip")
    P_STREAM=$(ms_between "$start_us" "$stream_us")
  fi
  if sound_t=$(first_sound "$start_t"); then
    P_SOUND=$(awk -v a="$start_t" -v b="$sound_t" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
  fi

  local wid
  if [ "$kind" = belvo ]; then
    play_unity "$pid" || return 1
    wid=$BELVO_WID
    P_BACK_END=$(back_end "$pid" "$RIG_DIR/$kind.log")
  fi

  # CPU and wake-ups over the stretch, for the process, its threads and
  # the server's processes.
  local u0 u1 task tid server
  declare -A ticks0=() switches0=() server0=()
  for task in /proc/"$pid"/task/*; do
    tid=${task##*/}
    ticks0[$tid]=$(cpu_ticks "$pid/task/$tid")
    switches0[$tid]=$(switches "$pid/task/$tid")
  done
  for server in "${RIG_SERVER_PIDS[@]}"; do server0[$server]=$(cpu_ticks "$server"); done
  local t0 t1
  t0=$(cpu_ticks "$pid"); u0=$(rig_usec)
  sleep "$SECONDS_PLAYING"
  t1=$(cpu_ticks "$pid"); u1=$(rig_usec)
  local server_ticks=0 ticks
  for server in "${RIG_SERVER_PIDS[@]}"; do
    ticks=$(( $(cpu_ticks "$server") - ${server0[$server]} ))
    server_ticks=$(( server_ticks + ticks ))
    P_SERVER+=$(printf '    %-16s %5s %% of a core' "$(cat /proc/"$server"/comm)" "$(percent "$ticks" $((u1 - u0)))")$'\n'
  done
  P_CPU=$(percent $((t1 - t0)) $((u1 - u0)))
  P_SERVER_CPU=$(percent "$server_ticks" $((u1 - u0)))
  P_TOTAL_CPU=$(percent $((t1 - t0 + server_ticks)) $((u1 - u0)))
  local all_switches=0 name n
  for task in /proc/"$pid"/task/*; do
    tid=${task##*/}
    name=$(cat "$task/comm" 2>/dev/null)
    ticks=$(( $(cpu_ticks "$pid/task/$tid") - ${ticks0[$tid]:-0} ))
    n=$(( $(switches "$pid/task/$tid") - ${switches0[$tid]:-0} ))
    all_switches=$(( all_switches + n ))
    [ "$name" = belvo-display ] && P_DISPLAY_WAKE=$(awk -v n="$n" -v us=$((u1 - u0)) 'BEGIN { printf "%.1f", n / (us / 1e6) }')
    P_THREADS+=$(printf '    %-16s %5s %% of a core, %6.1f wake-ups a second' "$name" \
      "$(percent "$ticks" $((u1 - u0)))" "$(awk -v n="$n" -v us=$((u1 - u0)) 'BEGIN { print n / (us / 1e6) }')")$'\n'
  done
  P_WAKE=$(awk -v n="$all_switches" -v us=$((u1 - u0)) 'BEGIN { printf "%.1f", n / (us / 1e6) }')
  P_HWM=$(awk -v k="$(status_kb "$pid" VmHWM)" 'BEGIN { printf "%.1f", k / 1024 }')
  P_RSS=$(awk -v k="$(status_kb "$pid" VmRSS)" 'BEGIN { printf "%.1f", k / 1024 }')
  P_SMAPS=$(awk '/^[0-9a-f]+-[0-9a-f]+ / { name = $6 == "" ? "[anonymous]" : $6 }
    /^Rss:/ { rss[name] += $2 }
    END { for (n in rss) printf "%8d kB  %s\n", rss[n], n }' "/proc/$pid/smaps" | sort -rn | head -n 14)

  # The close request, to the end.
  local close_us
  if [ "$kind" = belvo ] && [ "$RIG_DISPLAY" = wayland ]; then
    close_us=$(rig_usec)
    swaymsg "[con_id=$wid] kill" >/dev/null
  elif [ "$kind" = belvo ]; then
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1
    close_us=$(rig_usec)
    xdotool key alt+F4
  else
    close_us=$(rig_usec)
    kill -INT "$pid"
  fi
  wait "$pid"; rig_forget "$pid"
  P_EXIT=$(ms_between "$close_us" "$(rig_usec)")

  # SIGTERM, on a second run.
  rig_spawn "$RIG_DIR/$kind-2.log" "$@"
  pid=$RIG_LAST_PID
  if [ "$kind" = belvo ]; then
    rig_wait_window '^Belvo v0.6$' 5 "$pid" >/dev/null
  fi
  rig_wait_for 5 eval '[ "$(pactl list sink-inputs short | wc -l)" -ge 1 ]'
  close_us=$(rig_usec)
  kill -TERM "$pid"
  wait "$pid"; rig_forget "$pid"
  P_TERM=$(ms_between "$close_us" "$(rig_usec)")
  rig_wait_for 5 eval '[ "$(pactl list sink-inputs short | wc -l)" = 0 ]'
}

# Picks "Unity" in the program's volume menu, so that what is measured is
# the program playing at full level; leaves its window in BELVO_WID.
play_unity() {  # PID
  local menu
  BELVO_WID=$(rig_wait_window '^Belvo v0.6$' 5 "$1") || return 1
  if [ "$RIG_DISPLAY" = wayland ]; then
    # By keys: Tab to the volume field, Space opens it, Home, Return.
    sleep 0.3
    rig_key 60 Tab space Home Return
    return
  fi
  rig_geometry "$BELVO_WID"
  xdotool mousemove $((RIG_X + 70)) $((RIG_Y + 18)) click 1
  rig_wait_for 3 eval 'menu=$(rig_find_window "^menu$" '"$1"'); [ -n "$menu" ]'
  rig_geometry "$menu"
  xdotool mousemove $((RIG_X + RIG_W / 2)) $((RIG_Y + RIG_H / 10)) sleep 0.2 click 1
  xdotool mousemove 600 700
}

# Plays a steady tone from one program for LOAD_SOAK seconds with every
# core busy, and counts the dropouts in what the sink heard; leaves the
# count in P_DROPOUTS and the first few in P_DROPOUTS_AT.
load_soak() {  # KIND COMMAND...
  local kind=$1; shift
  local pid loops=() i from to report
  P_DROPOUTS=- P_DROPOUTS_AT=""
  rig_spawn "$RIG_DIR/$kind-soak.log" "$@"
  pid=$RIG_LAST_PID
  if [ "$kind" = belvo ]; then
    play_unity "$pid" || return 1
    sleep 2.5    # the glide up to full level
  else
    rig_wait_for 5 eval '[ "$(pactl list sink-inputs short | wc -l)" -ge 1 ]'
    sleep 1
  fi
  for (( i = 0; i < $(nproc); i++ )); do
    rig_spawn "$RIG_DIR/busy.log" bash -c 'while :; do :; done'
    loops+=("$RIG_LAST_PID")
  done
  from=$(rig_record_time)
  sleep "$LOAD_SOAK"
  to=$(rig_record_time)
  for i in "${loops[@]}"; do rig_end "$i"; done
  rig_clip "$from" "$to" "$RIG_DIR/soak-$kind.wav" || return 1
  rig_end "$pid"
  report=$("$DROPOUTS" "$RIG_DIR/soak-$kind.wav") || return 1
  rm -f "$RIG_DIR/soak-$kind.wav"
  P_DROPOUTS=$(echo "$report" | sed -n 's/^dropouts=//p')
  P_DROPOUTS_AT=$(echo "$report" | sed -n 's/^dropout=//p' | head -n 5 |
    awk -F, '{ printf "%s%.2fs (%d frames)", n++ ? ", " : "", $1, $2 }')
  rig_wait_for 5 eval '[ "$(pactl list sink-inputs short | wc -l)" = 0 ]'
}

verdict() {  # VALUE LIMIT
  if [ "$1" = - ] || [ "$2" = - ]; then echo "n/a"
  elif awk -v v="$1" -v l="$2" 'BEGIN { exit !(v <= l) }'; then echo "met"
  else echo "MISSED"; fi
}

MISSED=0
row() {  # MEASURE BELVO PLAY TARGET LIMIT
  local v=-
  [ -n "$5" ] && v=$(verdict "$2" "$5")
  [ "$v" = MISSED ] && MISSED=$((MISSED + 1))
  printf '| %-38s | %9s | %9s | %-12s | %-6s |\n' "$1" "$2" "$3" "$4" "$v"
}

plus() { [ "$1" = - ] && echo - || awk -v a="$1" -v b="$2" 'BEGIN { print a + b }'; }

NS_FRAME=$("$ENGINE_BENCH" --benchmark_filter='BM_BufferProc/unity|BM_SinPerFrame' \
  --benchmark_format=json 2>/dev/null | awk -F'[:,]' '
  /"name":/ { gsub(/[" ]/, "", $2); name = $2 }
  /"ns\/frame":/ { gsub(/ /, "", $2); printf "%s=%.2f\n", name, $2 * 1e9 }')
CALLBACK=$(echo "$NS_FRAME" | sed -n 's|^BM_BufferProc/unity=||p')
SINE=$(echo "$NS_FRAME" | sed -n 's|^BM_SinPerFrame=||p')

# Both programs on one server, and the table.
budget_on() {  # SERVER
  RIG_SOUND=$1
  rig_start || { echo "perf-budget.sh: the rig did not start on $1" >&2; return 1; }
  rig_record_start "$RIG_DIR/rec.wav" || { echo "perf-budget.sh: cannot record on $1" >&2; return 1; }
  local server_name
  server_name=$(pactl info | sed -n 's/^Server Name: //p')
  # Reports streams as they come, each line with the microsecond it was read.
  rig_spawn "$RIG_DIR/subscribe.log" bash -c 'pactl subscribe | while IFS= read -r line; do
    t=$EPOCHREALTIME; echo "${t/./} $line"; done'
  rig_wait_for 5 eval 'pactl list clients | grep -q "application.name = \"pactl\""' \
    || { echo "perf-budget.sh: pactl subscribe did not connect" >&2; return 1; }

  measure belvo "$APP_BIN" || return 1
  local B=("$P_MAPPED" "$P_PAINTED" "$P_STREAM" "$P_SOUND" "$P_CPU" "$P_SERVER_CPU" "$P_TOTAL_CPU" "$P_WAKE" "$P_HWM" "$P_RSS" "$P_EXIT" "$P_TERM")
  local b_threads=$P_THREADS b_server=$P_SERVER b_smaps=$P_SMAPS b_back_end=$P_BACK_END
  local b_display_wake=$P_DISPLAY_WAKE
  measure play play -q -n synth sine 440 || return 1
  local S=("$P_MAPPED" "$P_PAINTED" "$P_STREAM" "$P_SOUND" "$P_CPU" "$P_SERVER_CPU" "$P_TOTAL_CPU" "$P_WAKE" "$P_HWM" "$P_RSS" "$P_EXIT" "$P_TERM")
  local s_threads=$P_THREADS s_server=$P_SERVER
  local B3=(- -)
  if [ "$RIG_DISPLAY" = x11 ]; then
    first_map_scaled || return 1
    B3=("$P_MAPPED" "$P_PAINTED")
  fi
  local b_drop=- s_drop=- b_drop_at="" s_drop_at=""
  if [ "$LOAD_SOAK" != 0 ]; then
    load_soak belvo "$APP_BIN" || return 1
    b_drop=$P_DROPOUTS b_drop_at=$P_DROPOUTS_AT
    load_soak play play -q -n synth sine 440 || return 1
    s_drop=$P_DROPOUTS s_drop_at=$P_DROPOUTS_AT
  fi

  echo
  echo "Performance budget on $server_name, $RIG_DISPLAY, $(nproc) cores, $(uname -r), one run"
  echo "belvo's sound: $b_back_end"
  echo
  printf '| %-38s | %9s | %9s | %-12s | %-6s |\n' "measure" "belvo" "play" "target" "belvo"
  printf '|%s|%s|%s|%s|%s|\n' "----------------------------------------" "-----------" "-----------" "--------------" "--------"
  if [ "$RIG_DISPLAY" = wayland ]; then
    row "exec to first frame shown (ms)" "${B[0]}" "${S[0]}" "<= 45" 45
  else
    row "exec to window mapped (ms)" "${B[0]}" "${S[0]}" "<= 45" 45
  fi
  row "exec to window drawn (ms)" "${B[1]}" "${S[1]}" "" ""
  row "the same at scale 3: mapped (ms)" "${B3[0]}" "-" "<= 45" 45
  row "the same at scale 3: drawn (ms)" "${B3[1]}" "-" "" ""
  row "exec to stream listed (ms)" "${B[2]}" "${S[2]}" "" ""
  row "exec to first sound (ms)" "${B[3]}" "${S[3]}" "<= play + 20" "$(plus "${S[3]}" 20)"
  row "CPU while playing (% of a core)" "${B[4]}" "${S[4]}" "" ""
  row "sound server's CPU meanwhile (%)" "${B[5]}" "${S[5]}" "" ""
  row "program + server CPU (%)" "${B[6]}" "${S[6]}" "<= play" "${S[6]}"
  row "wake-ups a second (all threads)" "${B[7]}" "${S[7]}" "<= play" "${S[7]}"
  row "the display thread's, nothing picked" "$b_display_wake" "-" "0" 0
  # The X11 client libraries and the sound server's: libpulse's is the
  # smaller.
  local memory=14
  [ "$1" = pulse ] || [ "$RIG_DISPLAY" = wayland ] && memory=12
  row "peak resident memory (MB)" "${B[8]}" "${S[8]}" "<= $memory" "$memory"
  row "resident memory at the end (MB)" "${B[9]}" "${S[9]}" "" ""
  row "close request to exit (ms)" "${B[10]}" "${S[10]}" "<= 200" 200
  row "SIGTERM to exit (ms)" "${B[11]}" "${S[11]}" "<= 200" 200
  if [ "$LOAD_SOAK" != 0 ]; then
    row "dropouts in ${LOAD_SOAK} s, all cores busy" "$b_drop" "$s_drop" "0" 0
  fi
  row "callback (ns per frame, stereo)" "${CALLBACK:--}" "-" "" ""
  row "one sin() per frame (ns, for scale)" "${SINE:--}" "-" "" ""
  echo
  [ -z "$b_drop_at" ] || echo "belvo's first dropouts under load: $b_drop_at"
  [ -z "$s_drop_at" ] || echo "play's first dropouts under load: $s_drop_at"
  echo "over the ${SECONDS_PLAYING} s, belvo's threads:"
  printf '%s' "$b_threads"
  echo "play's threads:"
  printf '%s' "$s_threads"
  echo "the server's processes with belvo playing:"
  printf '%s' "$b_server"
  echo "with play playing:"
  printf '%s' "$s_server"
  echo "belvo's largest resident mappings at the end:"
  echo "$b_smaps"
  rig_stop
}

for server in "${SERVERS[@]}"; do
  budget_on "$server" || exit 1
done
echo
if [ "$MISSED" -gt 0 ]; then
  echo "perf-budget: $MISSED target(s) missed"
  exit 1
fi
echo "perf-budget: every target met"
