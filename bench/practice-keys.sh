#!/usr/bin/env bash
# Space in the practice window, as a person hears it: the window plays on a private X server and
# PulseAudio null sink; five times, Space stops it and Space plays it again, pressed with xdotool
# while parec records the sink's monitor. It prints, for each press, the time from the key to
# silence (every 5 ms below -40 dBFS for 300 ms) or to the first sound.
#   bench/practice-keys.sh [TAMBRIX.EXE]
set -u
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/bin/TAMBRIX.EXE}")
work=$(mktemp -d)
display=:$((70 + RANDOM % 20))
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work DISPLAY=$display
mkdir -m 700 $XDG_RUNTIME_DIR
# No count-in: Space plays the pattern at once, and a stop falls among its notes.
mkdir -p $XDG_CONFIG_HOME/Rudimix && printf '[General]\ncountIn=false\n' > $XDG_CONFIG_HOME/Rudimix/tambrix-practice.ini
unset QT_QPA_PLATFORM
Xvfb $display -screen 0 1280x800x24 >/dev/null 2>&1 & xpid=$!
export PULSE_SERVER=unix:$work/pulse.socket
pulseaudio --daemonize=no --exit-idle-time=-1 -n --load="module-native-protocol-unix socket=$work/pulse.socket" --load="module-null-sink sink_name=trial" >/dev/null 2>&1 & ppid=$!
sleep 1.5
printf 'SET TEMPO=100;SET REPEATS=100;SET TEMPOCHANGE=0\r\nRAW [new-rud]=48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65\r\n[new-rud]\r\n' > $work/a.drum
$exe --soundfont /usr/share/sounds/sf2/TimGM6mb.sf2 $work/a.drum > $work/window.out 2>&1 & wpid=$!
until grep -q "first note made" $work/window.out 2>/dev/null; do sleep 0.1; done
parec -d trial.monitor --raw --format=s16le --rate=44100 --channels=1 --latency-msec=5 > $work/rec.raw & rpid=$!
results=()
for i in 1 2 3 4 5; do
  sleep 1.5
  wid=$(xdotool search --name "Tambrix stand-in" | head -1)
  xdotool windowactivate --sync $wid 2>/dev/null || xdotool windowfocus $wid
  sz=$(stat -c %s $work/rec.raw); xdotool key --window $wid space
  echo "stop $sz" >> $work/marks
  sleep 1.0
  sz=$(stat -c %s $work/rec.raw); xdotool key --window $wid space
  echo "play $sz" >> $work/marks
done
sleep 1; kill $rpid
python3 - $work/rec.raw $work/marks <<'PY'
import sys, struct, math
data = open(sys.argv[1],'rb').read()
n = len(data)//2
s = struct.unpack('<%dh' % n, data[:2*n])
win = 220  # 5 ms
def peak(i): 
    seg = s[i:i+win]
    m = max((abs(x) for x in seg), default=0)
    return 20*math.log10(m/32768) if m else -120
for line in open(sys.argv[2]):
    kind, sz = line.split(); i0 = int(sz)//2
    if kind == 'stop':
        # first window after the key from which 300 ms stay below -40 dBFS
        i = i0
        while i < n - 13230:
            if all(peak(j) < -40 for j in range(i, i+13230, win)): break
            i += win
        print('stop: silent %.0f ms after the key (level before: %.1f dBFS)' % ((i-i0)/44.1, max(peak(j) for j in range(max(0,i0-22050), i0, win))))
    else:
        i = i0
        while i < n and peak(i) < -40: i += win
        print('play: sound %.0f ms after the key' % ((i-i0)/44.1))
PY
kill $wpid; sleep 0.3; kill $wpid $ppid $xpid 2>/dev/null
rm -rf $work
