#!/usr/bin/env bash
# The practice window's click level against the kit, with the host's synthesiser and each
# SoundFont: practice_click renders one plain note (volume 5) of each voice and the count-in at
# each level, and sox reads their peaks. It prints, per SoundFont, each voice's peak, then per
# level the plain beat's and the accented first beat's peaks and the beat's distance under the
# snare (voice A) and under the loudest voice.
#   bench/practice-click.sh [BUILD-FOLDER] [LEVEL...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
levels=("$@")
[ ${#levels[@]} -gt 0 ] || levels=(20 30 40 50 60 70 80 100 127)
cmake --build "$build" --target practice_click >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

peak() { # the peak of FILE from START for LENGTH seconds, in dBFS
  sox "$1" -n trim "$2" "$3" stats 2>&1 | awk '/^Pk lev dB/ { print $4 }'
}

for font in /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/TimGM6mb.sf2; do
  [ -f "$font" ] || continue
  "$build/bin/practice_click" "$font" "$work" "${levels[@]}"
  echo "== $(basename "$font")"
  loudest=-200
  for v in A B C D E F; do
    p=$(peak "$work/kit-$v.wav" 0 3)
    echo "voice $v at volume 5: $p dBFS"
    loudest=$(awk -v a="$p" -v b="$loudest" 'BEGIN { print (a > b ? a : b) }')
  done
  snare=$(peak "$work/kit-A.wav" 0 3)
  for level in "${levels[@]}"; do
    accent=$(peak "$work/click-$level.wav" 0 1)
    beat=$(peak "$work/click-$level.wav" 1 3)
    awk -v l="$level" -v b="$beat" -v a="$accent" -v s="$snare" -v m="$loudest" 'BEGIN {
      printf "level %3d: beat %6.1f dBFS, accent %6.1f dBFS; beat %5.1f dB under the snare, %5.1f dB under the loudest voice\n", l, b, a, s - b, m - b }'
  done
done
