#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Rudimix need.
# As root it installs what is missing with apt-get; otherwise it prints the command to run.
# Given package names as arguments, it sees to those instead (scripts/windows.sh does).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  fonts-liberation2
  midicsv
  # The programs the drawn sheet's MusicXML is checked in (tests/standin/sheet_programs.sh)
  musescore3 lilypond
  # The pictures of the PDF sheet in docs/ (pdftoppm)
  poppler-utils
  # The stand-in host's sound, and a sound server for its live test
  libfluidsynth-dev fluidsynth timgm6mb-soundfont pulseaudio pulseaudio-utils
  # The second SoundFont that bench/practice.sh times the practice window with
  fluid-soundfont-gm
  # The peaks that bench/practice-click.sh reads
  sox
  libxcb1-dev xvfb
  # The play-along test that types Input > Calibrate (Alt+I, C) into the practice window
  xdotool
  # Play-along in the practice window: MIDI (RtMidi on ALSA and JACK), a microphone (PulseAudio,
  # aubio's onsets), and the JACK server its MIDI test starts with the dummy driver
  librtmidi-dev libasound2-dev libjack-jackd2-dev libaubio-dev libpulse-dev jackd2
  # The package: its validators, its checker and the manual pages
  desktop-file-utils appstream dpkg-dev lintian man-db
)

if [ $# -gt 0 ]; then
  packages=("$@")
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Rudimix needs these Debian packages. Install them with:"
  echo "  sudo apt-get install -y ${missing[*]}"
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether JACK may run with real-time priority: not needed here, and never asked.
echo "jackd2 jackd/tweak_rt_limits boolean false" | debconf-set-selections
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
