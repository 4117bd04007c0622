#!/usr/bin/env bash
# Rudimix for Windows as a user meets it, under Xvfb and Wine, in the Wine prefix of the build:
# a host folder C:\Tambrix Host with a recording host as TAMBRIX.EXE and a TAMBRIX.INI that asks
# for 40 notes, ExeIniLocn pointing at it; rudimix.exe shows its window, TEST writes the test
# script and starts the host with its command line, SETUP stores a new maximum; the installer
# installs, and then, with the installed Rudimix running, installs again (silently, and asking),
# replaces a rudimix.exe that another program holds open at the next start of Windows
# (wineboot -r), and uninstalls (removing what the running program holds at the next start).
# Prints what it saw, the installer's log lines among it. Screenshots land in
# build-windows/shots/.
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

# ---- the installer and the uninstaller, with Rudimix running or not ----
installer=$(ls "$out"/Rudimix-*-win64.exe | head -n1)
installed="$WINEPREFIX/drive_c/Program Files/Rudimix"
program='C:\Program Files\Rudimix\rudimix.exe'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Rudimix'
runonce_key='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
pending_key='HKLM\System\CurrentControlSet\Control\Session Manager'
setup_log="$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)/Rudimix-setup.log"
rm -f "$setup_log"
sum() { md5sum <"$1" | cut -d' ' -f1; }
is_old() { [ "$(sum "$installed/rudimix.exe")" = "$old" ]; }
is_new() { [ "$(sum "$installed/rudimix.exe")" = "$payload" ] && [ ! -e "$installed/rudimix.exe.new" ]; }
waits_beside() { is_old && [ "$(sum "$installed/rudimix.exe.new")" = "$payload" ]; }
all_stay() { [ -f "$installed/rudimix.exe" ] && [ -f "$installed/Uninstall.exe" ] && entry; }
entry() { wine reg query "$uninstall_key" /v DisplayName >/dev/null 2>&1; }
runonce() { wine reg query "$runonce_key" /v Rudimix >/dev/null 2>&1; }
no_runonce() { ! runonce; }
reinstalled() { is_new && entry; }
logged=0
# Prints the lines the installer or uninstaller added to its log since the last call.
new_log_lines() {
  local lines=()
  [ -f "$setup_log" ] && mapfile -t lines < <(tr -d '\r' <"$setup_log")
  printf '%s\n' "${lines[@]:$logged}" | sed '/^$/d; s/^/     log: /'
  logged=${#lines[@]}
}
# Waits up to 60 s for the log to hold this text on N lines (the uninstaller goes on in a copy
# of itself after Uninstall.exe has ended).
waitlog() {
  for _ in $(seq 120); do
    [ "$(grep -cF "$1" "$setup_log" 2>/dev/null)" -ge "$2" ] && return 0
    sleep 0.5
  done
  return 1
}
start_installed() {
  wine "$installed/rudimix.exe" >/dev/null 2>&1 &
  window "Build RAW Patterns / Rudiments" >/dev/null
}
# Ends the running Rudimix as its close box would (WM_CLOSE to its window).
close_rudimix() {
  wine taskkill /im rudimix.exe >/dev/null 2>&1
  gone "Build RAW Patterns / Rudiments"
}
cp -a "$host_unix" "$out/host-before"

code=0
wine "$installer" /S >/dev/null 2>&1 || code=$?
new_log_lines
check "the silent install ends with exit code 0 ($code)" [ "$code" -eq 0 ]
check 'the installer puts rudimix.exe into C:\Program Files\Rudimix' [ -f "$installed/rudimix.exe" ]
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Rudimix/Rudimix.lnk' | head -n1)
check "the Start-menu shortcut exists: ${shortcut#"$WINEPREFIX/"}" [ -n "$shortcut" ]
check "the uninstaller entry names Rudimix" entry
payload=$(sum "$installed/rudimix.exe")
# The installed program made different from the installer's, to tell the old one from the new.
printf 'old' >>"$installed/rudimix.exe"
old=$(sum "$installed/rudimix.exe")

if start_installed; then
  ok "the installed program starts"
  shot "$(window "Build RAW Patterns / Rudiments")" windows-installed
else
  bad "the installed program starts"
fi

# Installing over the running program: silent, it changes nothing and says why.
code=0
wine "$installer" /S >/dev/null 2>&1 || code=$?
new_log_lines
check "with Rudimix running, the silent install ends with exit code 2 ($code)" [ "$code" -eq 2 ]
check "its log names the running program's file $program" \
  grep -qF "Rudimix is running, so $program was not replaced" "$setup_log"
check "rudimix.exe is the old one still" is_old

# Not silent, it asks to close Rudimix (Retry / Cancel); Cancel ends it and changes nothing.
wine "$installer" >/dev/null 2>&1 &
setup_pid=$!
if question=$(window "Rudimix Setup"); then
  ok "with Rudimix running, the installer asks to close it"
  shot "$question" windows-setup-running
  xdotool key --window "$question" Escape
  code=0
  wait "$setup_pid" || code=$?
  new_log_lines
  check "Cancel ends the installer with exit code 1 ($code)" [ "$code" -eq 1 ]
  check "and leaves rudimix.exe as it was" is_old
else
  bad "with Rudimix running, the installer asks to close it"
  kill "$setup_pid" 2>/dev/null || true
fi
check "Rudimix ends when it is closed" close_rudimix

# Another program holds rudimix.exe open (no Rudimix runs): the new one waits beside it and
# takes its place at the next start of Windows (wineboot -r); exit code 3010, whose low byte 194
# is what a shell sees.
wine "$out/bin/hold_file.exe" "$program" >"$out/hold.txt" 2>/dev/null &
holder=$!
waitfile "$out/hold.txt" && sleep 1
code=0
wine "$installer" /S >/dev/null 2>&1 || code=$?
new_log_lines
check "with rudimix.exe held open, the silent install ends with exit code 3010 ($code)" \
  [ "$code" -eq 194 ]
check "its log says that $program is replaced when Windows next starts" \
  grep -qF "$program is in use by another program: it is replaced when Windows next starts" \
  "$setup_log"
check "until then rudimix.exe is the old one and the new one waits as rudimix.exe.new" waits_beside
check "the replacement is among the operations for the next start" \
  sh -c "wine reg query '$pending_key' /v PendingFileRenameOperations 2>/dev/null | grep -qF 'rudimix.exe.new'"
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
rm -f "$out/hold.txt"
wineboot -r >/dev/null 2>&1
check "after the next start (wineboot -r) the new rudimix.exe is in place" is_new

# Uninstalling while Rudimix runs: what it holds goes at the next start, the entry stays till then.
removals=0
uninstall_while_running() {
  start_installed || bad "the installed program starts again"
  wine "$installed/Uninstall.exe" /S >/dev/null 2>&1
  removals=$((removals + 1))
  if waitlog "$program is in use: it is removed when Windows next starts" "$removals"; then
    new_log_lines
    ok "with Rudimix running, the silent uninstall says $program is removed when Windows next starts"
  else
    new_log_lines
    bad "with Rudimix running, the silent uninstall says $program is removed when Windows next starts"
  fi
  check "the Start-menu shortcut is gone" \
    [ -z "$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Rudimix/Rudimix.lnk')" ]
  check "rudimix.exe, Uninstall.exe and the uninstaller entry stay while Rudimix runs" all_stay
  check "the uninstaller is to run once more at the next start (RunOnce)" runonce
  check "Rudimix ends when it is closed" close_rudimix
  check "the entry stays until the next start" entry
}
uninstall_while_running

# Installing again before that start calls the removal off: the new program outlives it.
code=0
wine "$installer" /S >/dev/null 2>&1 || code=$?
new_log_lines
check "installing again before the next start ends with exit code 0 ($code)" [ "$code" -eq 0 ]
check "and takes the uninstaller's RunOnce entry away" no_runonce
wineboot -r >/dev/null 2>&1
wineserver -w
check "after the next start (wineboot -r) the new rudimix.exe and the entry are there" reinstalled

uninstall_while_running
wineboot -r >/dev/null 2>&1
wineserver -w # the uninstaller started by RunOnce goes on in a copy of itself
new_log_lines
check 'after the next start (wineboot -r) C:\Program Files\Rudimix is gone' [ ! -e "$installed" ]
check "the uninstaller entry is gone" sh -c "! wine reg query '$uninstall_key' >/dev/null 2>&1"
check "nothing is left to run at the next start" no_runonce
check "the host folder is left alone" diff -r "$out/host-before" "$host_unix"
rm -rf "$out/host-before"

echo "End-to-end under Wine: $failures failed; screenshots in $shots"
[ "$failures" -eq 0 ]
