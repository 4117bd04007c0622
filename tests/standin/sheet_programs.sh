#!/usr/bin/env bash
# The sheets of scripts as a user meets them in notation programs: TAMBRIX.EXE --sheet writes the
# MusicXML (and --midi the host's own MIDI file); LilyPond's musicxml2ly must read it without a
# warning, and MuseScore's MIDI of it must sound the same keys on the same beats as the host's
# (grace notes aside: a stroke less than 32 ticks (1/15 beat) before the next one of its key that
# counts does not count itself, which holds for the host's 30 ms flams up to 130 quarter notes per
# minute). The host's file has a bar of count-in when a grace note comes before the first beat;
# it is left out.
#
#   sheet_programs.sh TAMBRIX.EXE SCRIPT.drum...
# Exits 0 when every script agrees, 1 on the first difference of each (named), 77 (skipped) when
# mscore3 (Debian musescore3), musicxml2ly (lilypond) or midicsv is not installed.
set -uo pipefail
exe=$1
shift
for tool in mscore3 musicxml2ly midicsv; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "key tick" of every note-on, the count-in left out, a grace note dropped.
onsets() {
  midicsv "$1" | awk -F', *' '
    $3 == "Time_signature" && !bar { bar = $4 * 4 * 480 / 2 ^ $5 }
    $3 == "Note_on_c" && $6 > 0 { n++; key[n] = $5; tick[n] = $2 }
    END {
      first = -1
      for (i = 1; i <= n; i++) if (first < 0 || tick[i] < first) first = tick[i]
      shift = (first > 0 && first < bar && first >= bar - 60) ? bar : 0
      for (i = 1; i <= n; i++) print key[i], tick[i] - shift
    }' | sort -k1,1n -k2,2nr | awk '
    $1 == key && kept - $2 < 32 { next } # a grace note before the stroke kept
    { print; key = $1; kept = $2 }' | sort -k1,1n -k2,2n
}

status=0
for script in "$@"; do
  name=$(basename "$script" .drum)
  if ! "$exe" --sheet "$work/$name.musicxml" --midi "$work/$name.mid" "$script" >"$work/host.log" 2>&1; then
    echo "$name: TAMBRIX.EXE failed:"
    cat "$work/host.log"
    status=1
    continue
  fi
  if ! musicxml2ly -o "$work/$name.ly" "$work/$name.musicxml" >"$work/ly.log" 2>&1 \
    || grep -qiE 'warning|error' "$work/ly.log"; then
    echo "$name: musicxml2ly complains:"
    cat "$work/ly.log"
    status=1
    continue
  fi
  if ! QT_QPA_PLATFORM=offscreen timeout 120 mscore3 -o "$work/$name-musescore.mid" \
    "$work/$name.musicxml" >"$work/ms.log" 2>&1; then
    echo "$name: MuseScore could not convert the sheet:"
    cat "$work/ms.log"
    status=1
    continue
  fi
  onsets "$work/$name.mid" >"$work/host.txt"
  onsets "$work/$name-musescore.mid" >"$work/musescore.txt"
  # One to one, key by key in time order, within 16 ticks (MuseScore delays a flam's main note).
  difference=$(paste -d' ' "$work/host.txt" "$work/musescore.txt" | awk '
    NF != 4 || $1 != $3 || ($2 - $4) ^ 2 > 256 { print "host: " $1 " " $2 ", MuseScore: " $3 " " $4; exit }')
  host=$(wc -l <"$work/host.txt")
  musescore=$(wc -l <"$work/musescore.txt")
  if [ -n "$difference" ] || [ "$host" -ne "$musescore" ]; then
    echo "$name: $host notes in the host's MIDI file, $musescore in MuseScore's; first difference" \
      "(key tick): ${difference:-none}"
    status=1
  else
    echo "$name: $host notes alike in both MIDI files; musicxml2ly without a warning"
  fi
done
exit $status
