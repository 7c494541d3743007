#!/usr/bin/env bash
# The performance budget: this program beside `play -n synth sine 440`
# (SoX), measured in one run on the same private X server (Xvfb with
# openbox) and the same sound server (PulseAudio with a float32 null sink),
# as tests/e2e/rig.sh sets them up.
#
#   bench/perf-budget.sh [BUILD_DIR] [--seconds N]
#
# Prints a table of the measures against their targets and exits non-zero
# when a target is missed. How each is taken:
#   window mapped   exec to the window being viewable, and to its first
#                   drawn content (the strip's grey at 10,10), by xwatch
#                   asking the X server every millisecond;
#   stream          exec to the sound server announcing the new stream
#                   (`pactl subscribe`, read as it comes): the device is
#                   open and the server starts asking for buffers;
#   first sound     exec to the first sample that is not zero in the
#                   recording of the sink's monitor, placed by where the
#                   recorder was at exec (within the recorder's 20 ms
#                   latency);
#   CPU             user + system time of the process over N seconds (20)
#                   while the tone plays at full level, from /proc/PID/stat,
#                   per cent of one core; the sound server's own CPU over
#                   the same stretch beside it;
#   memory          VmHWM (peak resident) and VmRSS from /proc/PID/status
#                   at the end of that stretch;
#   exit            the close request (the window manager's close, Alt+F4,
#                   for the program; SIGINT, which is Ctrl+C, for play) to
#                   the process having ended, and SIGTERM to ended;
#   callback        ns per frame of the buffer hook from engine_bench.
set -uo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE_DIR=$(cd "$BENCH_DIR/.." && pwd)
BUILD_DIR=$SOURCE_DIR/build
SECONDS_PLAYING=20
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) SECONDS_PLAYING=$2; shift 2 ;;
    -h|--help) sed -n '2,33p' "$0"; exit 0 ;;
    *) BUILD_DIR=$(cd "$1" && pwd); shift ;;
  esac
done

APP_BIN=$BUILD_DIR/app/belvo
XWATCH=$BUILD_DIR/bench/xwatch
ENGINE_BENCH=$BUILD_DIR/bench/engine_bench
RIG_ANALYSE=$BUILD_DIR/tools/analysis/analyse-recording
for tool in "$APP_BIN" "$XWATCH" "$ENGINE_BENCH" "$RIG_ANALYSE"; do
  [ -x "$tool" ] || { echo "perf-budget.sh: $tool is missing; build first" >&2; exit 2; }
done
for cmd in play Xvfb openbox xdotool pulseaudio pactl parec bc; do
  command -v "$cmd" >/dev/null || { echo "perf-budget.sh: $cmd is missing; run tools/install-deps.sh test" >&2; exit 2; }
done

# shellcheck source=../tests/e2e/rig.sh
source "$SOURCE_DIR/tests/e2e/rig.sh"
trap rig_stop EXIT
trap 'exit 130' INT TERM
rig_start || { echo "perf-budget.sh: the rig did not start" >&2; exit 1; }
rig_record_start "$RIG_DIR/rec.wav" || { echo "perf-budget.sh: cannot record" >&2; exit 1; }

TICKS=$(getconf CLK_TCK)

cpu_ticks() {  # PID: user + system clock ticks so far
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}

status_kb() {  # PID FIELD
  sed -n "s/^$2:[^0-9]*\\([0-9]*\\).*/\\1/p" "/proc/$1/status"
}

ms_between() {  # FROM_USEC TO_USEC
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1000 }'
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

# Waits for the sound server to announce a new stream after LINE lines of
# the subscription log; prints the time it was read.
stream_announced() {  # SKIP_LINES
  tail -n +"$(( $1 + 1 ))" "$RIG_DIR/subscribe.log" | grep -m1 "'new' on sink-input" | cut -d' ' -f1
}

# Starts the subscription that reports streams as they come, each line with
# the microsecond it was read.
rig_spawn "$RIG_DIR/subscribe.log" bash -c 'pactl subscribe | while IFS= read -r line; do
  t=$EPOCHREALTIME; echo "${t/./} $line"; done'
rig_wait_for 5 eval 'pactl list clients short | grep -q pactl' \
  || { echo "perf-budget.sh: pactl subscribe did not connect" >&2; exit 1; }

# Measures one program: COMMAND... ; sets P_* results.
measure() {
  local kind=$1; shift
  P_MAPPED=- P_PAINTED=- P_STREAM=- P_SOUND=- P_CPU=- P_SERVER_CPU=- P_HWM=- P_RSS=- P_EXIT=- P_TERM=-
  P_THREADS=""
  local watch_log=$RIG_DIR/xwatch-$kind.log
  if [ "$kind" = belvo ]; then
    rig_spawn "$watch_log" "$XWATCH" "Belvo v0.6" 10 10 205 205 205 10
    local watch=$RIG_LAST_PID
    rig_wait_for 5 grep -q ready "$watch_log" || { echo "xwatch did not start" >&2; return 1; }
  fi
  local skip start_t start_us pid
  skip=$(wc -l <"$RIG_DIR/subscribe.log")
  start_t=$(rig_record_time)
  start_us=$(rig_usec)
  rig_spawn "$RIG_DIR/$kind.log" "$@"
  pid=$RIG_LAST_PID

  if [ "$kind" = belvo ]; then
    rig_wait_for 10 eval "! rig_alive $watch"
    wait "$watch"; rig_forget "$watch"
    local mapped painted
    mapped=$(sed -n 's/^mapped=//p' "$watch_log")
    painted=$(sed -n 's/^painted=//p' "$watch_log")
    [ -n "$mapped" ] && P_MAPPED=$(ms_between "$start_us" "$((mapped / 1000))")
    [ -n "$painted" ] && P_PAINTED=$(ms_between "$start_us" "$((painted / 1000))")
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
    # Full level, so that what is measured is the program playing.
    wid=$(rig_wait_window '^Belvo v0.6$' 5 "$pid")
    rig_geometry "$wid"
    local wx=$RIG_X wy=$RIG_Y
    xdotool mousemove $((wx + 70)) $((wy + 18)) click 1
    local menu
    rig_wait_for 3 eval 'menu=$(rig_find_window "^menu$" '"$pid"'); [ -n "$menu" ]'
    rig_geometry "$menu"
    xdotool mousemove $((RIG_X + RIG_W / 2)) $((RIG_Y + RIG_H / 10)) sleep 0.2 click 1
    xdotool mousemove 600 700
  fi

  # CPU over the stretch, for the process, its threads and the server.
  local t0 t1 s0 s1 u0 u1
  declare -A thread0=()
  local task
  for task in /proc/"$pid"/task/*; do thread0[${task##*/}]=$(cpu_ticks "$pid/task/${task##*/}"); done
  t0=$(cpu_ticks "$pid"); s0=$(cpu_ticks "$RIG_PULSE_PID"); u0=$(rig_usec)
  sleep "$SECONDS_PLAYING"
  t1=$(cpu_ticks "$pid"); s1=$(cpu_ticks "$RIG_PULSE_PID"); u1=$(rig_usec)
  P_CPU=$(awk -v t="$((t1 - t0))" -v hz="$TICKS" -v us="$((u1 - u0))" 'BEGIN { printf "%.2f", 100 * t / hz / (us / 1e6) }')
  P_SERVER_CPU=$(awk -v t="$((s1 - s0))" -v hz="$TICKS" -v us="$((u1 - u0))" 'BEGIN { printf "%.2f", 100 * t / hz / (us / 1e6) }')
  for task in /proc/"$pid"/task/*; do
    local tid=${task##*/} name ticks switches
    name=$(cat "$task/comm" 2>/dev/null)
    ticks=$(( $(cpu_ticks "$pid/task/$tid") - ${thread0[$tid]:-0} ))
    switches=$(sed -n 's/^voluntary_ctxt_switches:[^0-9]*//p' "$task/status")
    P_THREADS+=$(awk -v n="$name" -v t="$ticks" -v hz="$TICKS" -v s="$SECONDS_PLAYING" -v w="$switches" \
      'BEGIN { printf "    %-16s %5.2f %% of a core, %d wake-ups in all\n", n, 100 * t / hz / s, w }')$'\n'
  done
  P_HWM=$(awk -v k="$(status_kb "$pid" VmHWM)" 'BEGIN { printf "%.1f", k / 1024 }')
  P_RSS=$(awk -v k="$(status_kb "$pid" VmRSS)" 'BEGIN { printf "%.1f", k / 1024 }')
  P_SMAPS=$(awk '/^[0-9a-f]+-[0-9a-f]+ / { name = $6 == "" ? "[anonymous]" : $6 }
    /^Rss:/ { rss[name] += $2 }
    END { for (n in rss) printf "%8d kB  %s\n", rss[n], n }' "/proc/$pid/smaps" | sort -rn | head -n 8)

  # The close request, to the end.
  local close_us
  if [ "$kind" = belvo ]; then
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

measure belvo "$APP_BIN" || exit 1
B=("$P_MAPPED" "$P_PAINTED" "$P_STREAM" "$P_SOUND" "$P_CPU" "$P_SERVER_CPU" "$P_HWM" "$P_RSS" "$P_EXIT" "$P_TERM")
B_THREADS=$P_THREADS
B_SMAPS=$P_SMAPS
measure play play -q -n synth sine 440 || exit 1
S=("$P_MAPPED" "$P_PAINTED" "$P_STREAM" "$P_SOUND" "$P_CPU" "$P_SERVER_CPU" "$P_HWM" "$P_RSS" "$P_EXIT" "$P_TERM")

NS_FRAME=$("$ENGINE_BENCH" --benchmark_filter='BM_BufferProc/unity|BM_SinPerFrame' \
  --benchmark_format=json 2>/dev/null | awk -F'[:,]' '
  /"name":/ { gsub(/[" ]/, "", $2); name = $2 }
  /"ns\/frame":/ { gsub(/ /, "", $2); printf "%s=%.2f\n", name, $2 * 1e9 }')
CALLBACK=$(echo "$NS_FRAME" | sed -n 's|^BM_BufferProc/unity=||p')
SINE=$(echo "$NS_FRAME" | sed -n 's|^BM_SinPerFrame=||p')

verdict() {  # VALUE LIMIT
  if [ "$1" = - ]; then echo "n/a"
  elif awk -v v="$1" -v l="$2" 'BEGIN { exit !(v <= l) }'; then echo "met"
  else echo "MISSED"; fi
}

MISSED=0
row() {  # MEASURE BELVO PLAY TARGET LIMIT
  local v=-
  [ -n "$5" ] && v=$(verdict "$2" "$5")
  [ "$v" = MISSED ] && MISSED=$((MISSED + 1))
  printf '| %-34s | %9s | %9s | %-10s | %-6s |\n' "$1" "$2" "$3" "$4" "$v"
}

echo
echo "Performance budget, $(nproc) cores, $(uname -r), one run"
echo
printf '| %-34s | %9s | %9s | %-10s | %-6s |\n' "measure" "belvo" "play" "target" "belvo"
printf '|%s|%s|%s|%s|%s|\n' "------------------------------------" "-----------" "-----------" "------------" "--------"
row "exec to window mapped (ms)" "${B[0]}" "${S[0]}" "<= 150" 150
row "exec to window drawn (ms)" "${B[1]}" "${S[1]}" "" ""
row "exec to stream listed (ms)" "${B[2]}" "${S[2]}" "" ""
row "exec to first sound (ms)" "${B[3]}" "${S[3]}" "" ""
row "CPU while playing (% of a core)" "${B[4]}" "${S[4]}" "<= 1" 1
row "sound server's CPU meanwhile (%)" "${B[5]}" "${S[5]}" "" ""
row "peak resident memory (MB)" "${B[6]}" "${S[6]}" "<= 30" 30
row "resident memory at the end (MB)" "${B[7]}" "${S[7]}" "" ""
row "close request to exit (ms)" "${B[8]}" "${S[8]}" "<= 200" 200
row "SIGTERM to exit (ms)" "${B[9]}" "${S[9]}" "<= 200" 200
row "callback (ns per frame, stereo)" "${CALLBACK:--}" "-" "" ""
row "one sin() per frame (ns, for scale)" "${SINE:--}" "-" "" ""
echo
echo "belvo's threads over the ${SECONDS_PLAYING} s:"
printf '%s' "$B_THREADS"
echo "belvo's largest resident mappings at the end:"
echo "$B_SMAPS"
echo
if [ "$MISSED" -gt 0 ]; then
  echo "perf-budget: $MISSED target(s) missed"
  exit 1
fi
echo "perf-budget: every target met"
