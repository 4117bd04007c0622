#!/usr/bin/env bash
# Builds the benchmarks (optimised, with debug information for a profiler, in build-bench/) and
# runs them headless, in four parts:
#   editor  the editor window (rudimix_bench); its summary gives each figure against its budget
#   sound   the stand-in host's sound (sound_bench): rendering with TimGM6mb and FluidR3_GM
#   host    TAMBRIX.EXE as a process under failures (host_bench): the time to the failure exit,
#           peak memory; each run ends within 70 s, or is killed and reported as not ended
#   practice  the practice window's grid painting (practice_bench); bench/practice.sh times the
#           hand-over of a second TEST on its own X and sound servers, bench/first-test.sh a
#           first TEST and the window's memory beside fluidsynth, and the hand-over under load
#   sheet   the stand-in host's sheet of a 500-note script (sheet_bench): the model, its MusicXML
#           and the TAMBRIX.EXE --sheet run
#   listen  play-along (listen_bench): a MIDI note-on to its line on stdout, and the printed
#           offsets against planted ones, on X, PulseAudio and JACK servers of its own; and
#           (listen_mark_bench) a note-on to the grid's painting of its mark
# With no part named all six run, and extra arguments go to the editor's, e.g.
#   bench/run.sh --benchmark_filter=Show --benchmark_repetitions=3
# A part named first runs alone, with the arguments that follow, e.g.
#   bench/run.sh host                     # every failure case, 3 runs each
#   bench/run.sh host -n 1 sigterm big    # one run of the cases whose names hold these words
set -euo pipefail
cd "$(dirname "$0")/.."

parts=(editor sound host practice sheet listen)
only=
case "${1:-}" in
  editor | sound | host | practice | sheet | listen)
    only=$1
    parts=("$1")
    shift
    ;;
esac

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUDIMIX_BUILD_BENCH=ON \
  -DRUDIMIX_BUILD_TESTS=OFF >/dev/null
for part in "${parts[@]}"; do
  case $part in
    editor)
      cmake --build build-bench --target rudimix_bench
      QT_QPA_PLATFORM=offscreen build-bench/bin/rudimix_bench "$@"
      ;;
    sound)
      cmake --build build-bench --target sound_bench
      build-bench/bin/sound_bench ${only:+"$@"}
      ;;
    host)
      cmake --build build-bench --target host_bench
      build-bench/bin/host_bench ${only:+"$@"}
      ;;
    practice)
      cmake --build build-bench --target practice_bench
      build-bench/bin/practice_bench ${only:+"$@"}
      ;;
    sheet)
      cmake --build build-bench --target sheet_bench
      build-bench/bin/sheet_bench ${only:+"$@"}
      ;;
    listen)
      cmake --build build-bench --target listen_bench listen_mark_bench
      build-bench/bin/listen_bench ${only:+"$@"}
      build-bench/bin/listen_mark_bench
      ;;
  esac
done
