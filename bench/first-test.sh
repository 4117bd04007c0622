#!/usr/bin/env bash
# The practice window as TEST starts it, with each SoundFont, beside a bare fluidsynth in the same
# run:
#   - a first TEST (a fresh window): from TAMBRIX.EXE's start to its first note, as the window's
#     own line gives it ("first note made N ms after TAMBRIX.EXE started", taken from the
#     synthesiser's sample clock), and the window's resident memory once it has played;
#   - fluidsynth -ni -F on the same performance's MIDI file: its time (wall) and peak memory;
#   - later TESTs handed over to the window while a load generator of the bench's own keeps the
#     machine busy (LOAD processes that only spin): the 50th and 95th percentile and the worst.
# It runs on a private X server (Xvfb) and a private PulseAudio server with a null sink whose
# monitor is recorded throughout: an idle null sink starts a new stream only at its next
# wake-up, up to 2 seconds later (a sound card's sink starts it at once), which would be timed
# instead of the host.
#   bench/first-test.sh [TAMBRIX.EXE] [RUNS] [HANDOVERS] [LOAD]     (defaults 5, 100, 4)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/bin/TAMBRIX.EXE}")
runs=${2:-5}
handovers=${3:-100}
load=${4:-4}
work=$(mktemp -d)
pids=()
wpid=""
cleanup() {
  [ -n "$wpid" ] && kill "$wpid" 2>/dev/null && sleep 0.3 && kill "$wpid" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((70 + RANDOM % 20))
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work DISPLAY=$display
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 & pids+=($!)
export PULSE_SERVER=unix:$work/pulse.socket
pulseaudio --daemonize=no --exit-idle-time=-1 -n \
  --load="module-native-protocol-unix socket=$work/pulse.socket" \
  --load="module-null-sink sink_name=bench" >/dev/null 2>&1 & pids+=($!)
sleep 1.5
parec -d bench.monitor --latency-msec=10 >/dev/null & pids+=($!)
printf 'SET TEMPO=120\r\nRAW [new-rud]=48X>A+C,44>C,46>B+C,44>C\r\n[new-rud]\r\n' > "$work/a.drum"
"$exe" -notimesig --midi "$work/a.mid" "$work/a.drum" >/dev/null

# Prints "min median max" of the numbers on stdin, and the 95th percentile when asked.
stats() {
  sort -n | awk -v p95="${1:-}" '{ v[NR] = $1 } END {
    if (NR == 0) { print "no figures"; exit }
    line = sprintf("min %d, median %d, max %d", v[1], v[int((NR + 1) / 2)], v[NR])
    if (p95 != "") line = line sprintf(", 95th percentile %d", v[int(NR * 0.95 + 0.999)])
    print line }'
}

# Starts a window on the script and waits for its first note; its pid in wpid.
open_window() {
  rm -f "$XDG_RUNTIME_DIR/rudimix-tambrix.socket"
  "$exe" --soundfont "$1" "$work/a.drum" > "$work/window.out" 2>&1 & wpid=$!
  for _ in $(seq 100); do
    grep -q "first note made" "$work/window.out" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "no first note within 10 s:"; cat "$work/window.out"; return 1
}

close_window() {
  kill "$wpid" 2>/dev/null || true; sleep 0.3; kill "$wpid" 2>/dev/null || true
  wait "$wpid" 2>/dev/null || true; wpid=""
}

for sf in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
  [ -f "$sf" ] || { echo "$sf: missing (fluid-soundfont-gm installs FluidR3_GM)"; continue; }
  name=$(basename "$sf")
  open_window "$sf" && sleep 1 && close_window # the files into the page cache
  : > "$work/first" ; : > "$work/rss"; : > "$work/fs-time"; : > "$work/fs-rss"
  for _ in $(seq "$runs"); do
    open_window "$sf"
    sleep 1
    grep -o "made [0-9]* ms after TAMBRIX.EXE started" "$work/window.out" | head -1 \
      | awk '{ print $2 }' >> "$work/first"
    awk '/^VmRSS/ { print int($2 / 1024) }' "/proc/$wpid/status" >> "$work/rss"
    close_window
    /usr/bin/time -f "%e %M" -o "$work/fs.time" fluidsynth -ni -q -F "$work/fs.wav" "$sf" "$work/a.mid" >/dev/null 2>&1
    awk '{ print int($1 * 1000) }' "$work/fs.time" >> "$work/fs-time"
    awk '{ print int($2 / 1024) }' "$work/fs.time" >> "$work/fs-rss"
  done
  echo "$name, $runs runs:"
  echo "  first TEST to its first note (ms): $(stats < "$work/first")"
  echo "  the window's resident memory once it played (MB): $(stats < "$work/rss")"
  echo "  fluidsynth -ni -F, the same MIDI file, start to exit (ms): $(stats < "$work/fs-time")"
  echo "  fluidsynth's peak resident memory (MB): $(stats < "$work/fs-rss")"

  open_window "$sf"
  spinners=()
  for _ in $(seq "$load"); do
    sh -c 'while :; do :; done' & spinners+=($!)
  done
  sleep 3
  before=$(grep -c "first note made" "$work/window.out")
  for _ in $(seq "$handovers"); do
    sleep 0.3
    "$exe" "$work/a.drum" >/dev/null
  done
  sleep 1
  average=$(cut -d' ' -f1 /proc/loadavg)
  kill "${spinners[@]}"
  grep -o "made [0-9]* ms after TAMBRIX.EXE started" "$work/window.out" | tail -n +"$((before + 1))" \
    | awk '{ print $2 }' > "$work/handed"
  echo "  later TEST handed over, $(wc -l < "$work/handed") of $handovers sounded, $load spinning" \
    "processes (load average $average):"
  echo "    to its first note (ms): $(stats 95 < "$work/handed")"
  close_window
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
