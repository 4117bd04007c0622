#!/usr/bin/env bash
# Rudimix for Windows as a user meets it, under Xvfb and Wine, in the Wine prefix of the build:
# a host folder C:\Tambrix Host with a recording host as TAMBRIX.EXE and a TAMBRIX.INI that asks
# for 40 notes, ExeIniLocn pointing at it; rudimix.exe shows its window, TEST writes the test
# script and starts the host with its command line, SETUP stores a new maximum, and the
# installer installs, starts and uninstalls silently. Screenshots land in build-windows/shots/.
#
#   scripts/windows-e2e.sh <build-windows folder>
set -euo pipefail
out=$(cd "$1" && pwd)
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
shots=$out/shots
host_unix="$WINEPREFIX/drive_c/Tambrix Host"
failures=0

ok() { echo "ok   $1"; }
bad() { echo "FAIL $1"; failures=$((failures + 1)); }
# check DESCRIPTION COMMAND...: runs the command; ok when it succeeds.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}

# Waits up to 30 s for a top-level window with exactly this title; prints its X id.
window() {
  local id i
  for i in $(seq 60); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.5
  done
  return 1
}
gone() {
  local i
  for i in $(seq 60); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.5
  done
  return 1
}
waitfile() {
  local i
  for i in $(seq 60); do [ -e "$1" ] && return 0; sleep 0.5; done
  return 1
}
# Clicks at x,y in the window (its own coordinates, frame included).
click() { xdotool mousemove --sync --window "$1" "$2" "$3" click 1; }
# A screenshot of the window alone; a picture of few colours means nothing was drawn.
shot() {
  sleep 1
  import -window "$1" "$shots/$2.png"
  local colours
  colours=$(convert "$shots/$2.png" -format %k info:)
  check "screenshot $2.png shows a drawn window ($colours colours)" [ "$colours" -gt 8 ]
}

mkdir -p "$shots"
# A display of our own: Xvfb picks a free number and tells it on a pipe.
exec 3< <(Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp 4>&1 >/dev/null 2>&1 & echo "pid $!")
read -r _ xvfb <&3
read -r number <&3 || { echo "Xvfb did not start"; exit 1; }
cleanup() { wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY=:$number

# No host registered and none beside the program: the program asks for TAMBRIX.EXE to be run once.
wine reg delete 'HKCU\software\Quillmoor Tambrix' /v ExeIniLocn /f >/dev/null 2>&1 || true
wine "$out/bin/rudimix.exe" >/dev/null 2>&1 &
if box=$(window "TAMBRIX.EXE has to be Initialized!"); then
  ok "without a host: the \"has to be Initialized!\" box"
  xdotool key --window "$box" Return
  check "the program ends after the box" gone "TAMBRIX.EXE has to be Initialized!"
else
  bad "without a host: the \"has to be Initialized!\" box"
fi
wineserver -k 2>/dev/null || true

rm -rf "$host_unix"
mkdir -p "$host_unix"
cp "$out/bin/recording_host.exe" "$host_unix/TAMBRIX.EXE"
printf '[program]\r\nMaxRudimixNotes=40\r\n' >"$host_unix/TAMBRIX.INI"
wine reg add 'HKCU\software\Quillmoor Tambrix' /v ExeIniLocn /t REG_SZ /d 'C:\Tambrix Host' /f \
  >/dev/null 2>&1

# ---- the editor, TEST, the range editor and SETUP ----
wine "$out/bin/rudimix.exe" >/dev/null 2>&1 &
editor=$(window "Build RAW Patterns / Rudiments") || { bad "the editor window opens"; exit 1; }
ok "the editor window opens"
shot "$editor" windows-editor

# Places in the windows' own coordinates with 40 note columns (no window manager: no frame).
test_button="605 82" setup_button="605 147" range_button="605 390"
range_close="387 214" setup_maximum="393 316" setup_ok="305 359"

# TEST: the script byte for byte, and the host started in its folder with the command line.
expected=$(
  printf "' Instrument set to GM Drums\r\nSet TRACKINSTRUMENT(1) = 0\r\n"
  printf "' Snare,Bass,Closed HH,Open HH,HiTom,LoTom\r\nSET TRACKVOICES(1)=40,35,42,46,50,45\r\n"
  printf "SET PLAYBEAT=NO;SET PLAYBAR=NO\r\nSET INTRO=;SET TRANSITION=;SET TIMESIG=4/4\r\n"
  printf "SET TEMPO=100;SET REPEATS=3;SET TEMPOCHANGE=10\r\n"
  printf "'Make sure you change this line if you're using odd note types\r\n"
  printf "SET ATICKS=120;SET BTICKS=120;SET CTICKS=120\r\n"
  printf "SET DTICKS=120;SET ETICKS=120;SET FTICKS=120\r\n"
  printf "RAW [new-rud]=48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55\r\n"
  printf "[new-rud]\r\n"
)
host='C:\Tambrix Host'
# shellcheck disable=SC2086
click "$editor" $test_button
if waitfile "$host_unix/record.txt"; then
  check 'TEST writes C:\Tambrix Host\DudEderava.drum byte for byte' \
    cmp -s "$host_unix/DudEderava.drum" <(printf '%s\n' "$expected")
  mapfile -t record < <(tr -d '\r' <"$host_unix/record.txt")
  check "the host started is $host\\TAMBRIX.EXE" [ "${record[0]}" = "$host\\TAMBRIX.EXE" ]
  check "the host's command line is: ${record[1]}" \
    [ "${record[1]}" = "$host\\TAMBRIX.EXE -notimesig \"$host\\DudEderava.drum\"" ]
  check "the host's current folder is $host" [ "${record[2]}" = "$host" ]
else
  bad "TEST starts the host"
fi

# The range editor opens over the editor and closes again.
# shellcheck disable=SC2086
click "$editor" $range_button
if range=$(window "Change Multiple Note Settings"); then
  shot "$range" windows-range
  # shellcheck disable=SC2086
  click "$range" $range_close
  check "the range editor closes" gone "Change Multiple Note Settings"
else
  bad "the range editor opens"
fi

# SETUP shows the maximum read from TAMBRIX.INI (40); eight steps down make it 48, and OK with
# Yes stores it and ends the program.
# shellcheck disable=SC2086
click "$editor" $setup_button
if setup=$(window "Setup"); then
  shot "$setup" windows-setup
  # shellcheck disable=SC2086
  click "$setup" $setup_maximum
  sleep 1
  xdotool key --delay 100 Down Down Down Down Down Down Down Down Return
  # shellcheck disable=SC2086
  click "$setup" $setup_ok
  if confirm=$(window "Confirm restart"); then
    xdotool key --window "$confirm" y
  fi
  check "the program ends after the new maximum" gone "Build RAW Patterns / Rudiments"
  check "TAMBRIX.INI holds the new maximum 48" grep -q $'^MaxRudimixNotes=48\r$' "$host_unix/TAMBRIX.INI"
else
  bad "the setup window opens"
fi
wineserver -k 2>/dev/null || true

# ---- the installer: silent install, shortcut, uninstaller entry, start, silent uninstall ----
installer=$(ls "$out"/Rudimix-*-win64.exe | head -n1)
installed="$WINEPREFIX/drive_c/Program Files/Rudimix"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Rudimix'
cp -a "$host_unix" "$out/host-before"
wine "$installer" /S >/dev/null 2>&1
wineserver -w
check 'the installer puts rudimix.exe into C:\Program Files\Rudimix' [ -f "$installed/rudimix.exe" ]
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Rudimix/Rudimix.lnk' | head -n1)
check "the Start-menu shortcut exists: ${shortcut#"$WINEPREFIX/"}" [ -n "$shortcut" ]
check "the uninstaller entry names Rudimix" \
  sh -c "wine reg query '$uninstall_key' /v DisplayName 2>/dev/null | grep -q Rudimix"
wine "$installed/rudimix.exe" >/dev/null 2>&1 &
if installed_editor=$(window "Build RAW Patterns / Rudiments"); then
  ok "the installed program starts"
  shot "$installed_editor" windows-installed
else
  bad "the installed program starts"
fi
wineserver -k 2>/dev/null || true
wine "$installed/Uninstall.exe" /S >/dev/null 2>&1
wineserver -w # the uninstaller runs on from a copy of itself and ends with the server
check 'the silent uninstall removes C:\Program Files\Rudimix' [ ! -e "$installed/rudimix.exe" ]
check "the uninstaller entry is gone" \
  sh -c "! wine reg query '$uninstall_key' >/dev/null 2>&1"
check "the host folder is left alone" diff -r "$out/host-before" "$host_unix"
rm -rf "$out/host-before"

echo "End-to-end under Wine: $failures failed; screenshots in $shots"
[ "$failures" -eq 0 ]
