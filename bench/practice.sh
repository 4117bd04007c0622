#!/usr/bin/env bash
# Times a second TEST in the practice window: from the start of a second TAMBRIX.EXE (which hands
# its script to the open window) to the window's own "Playing ... (first note made N ms after
# TAMBRIX.EXE started)" line, taken from the synthesiser's sample clock. Runs on a private X
# server (Xvfb) and a private PulseAudio server with a null sink, once per SoundFont, and stops
# both at the end.
#   bench/practice.sh [TAMBRIX.EXE] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/bin/TAMBRIX.EXE}")
runs=${2:-10}
work=$(mktemp -d)
xpid=""; ppid=""; wpid=""
cleanup() {
  [ -n "$wpid" ] && kill "$wpid" 2>/dev/null && sleep 0.2 && kill "$wpid" 2>/dev/null || true
  [ -n "$ppid" ] && kill "$ppid" 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((70 + RANDOM % 20))
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config DISPLAY=$display
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 & xpid=$!
export PULSE_SERVER=unix:$work/pulse.socket
pulseaudio --daemonize=no --exit-idle-time=-1 -n \
  --load="module-native-protocol-unix socket=$work/pulse.socket" \
  --load="module-null-sink sink_name=bench" >/dev/null 2>&1 & ppid=$!
sleep 1.5
printf 'SET TEMPO=120\r\nRAW [new-rud]=48X>A+C,44>C,46>B+C,44>C\r\n[new-rud]\r\n' > "$work/a.drum"

for sf in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
  [ -f "$sf" ] || { echo "$sf: missing (fluid-soundfont-gm installs FluidR3_GM)"; continue; }
  "$exe" --soundfont "$sf" "$work/a.drum" > "$work/window.out" 2>&1 & wpid=$!
  until grep -q "first note made" "$work/window.out" 2>/dev/null; do sleep 0.1; done
  for i in $(seq "$runs"); do
    sleep 0.4
    "$exe" "$work/a.drum" > /dev/null
  done
  sleep 0.5
  grep -o "made [0-9]* ms after TAMBRIX.EXE started" "$work/window.out" | tail -n "$runs" \
    | awk '{ print $2 }' | sort -n | awk -v sf="$(basename "$sf")" '{ v[NR] = $1 } END {
      printf "%s: second TEST to its first note, %d runs: min %d ms, median %d ms, max %d ms\n",
        sf, NR, v[1], v[int((NR + 1) / 2)], v[NR] }'
  kill "$wpid"; sleep 0.2; kill "$wpid" 2>/dev/null || true; wait "$wpid" 2>/dev/null || true; wpid=""
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
