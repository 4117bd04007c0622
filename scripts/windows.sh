#!/usr/bin/env bash
# Rudimix for 64-bit Windows, cross-built with mingw-w64 and proved under Wine:
#   build-windows/bin/rudimix.exe            one static executable, icon and version inside
#   build-windows/Rudimix-<version>-win64.exe  the installer (cpack -G NSIS)
#   build-windows/Rudimix-<version>-win64.zip  the executable alone
# Installs what is missing, finds or unpacks a static Qt for mingw, builds, runs the Windows
# tests under Wine (ctest in build-windows/) and the end-to-end run under Xvfb and Wine.
#
#   scripts/windows.sh               all of the above
#   scripts/windows.sh --build-only  the build, the installer and the zip, no tests
#   scripts/windows.sh --has-qt      only says whether a Qt for mingw is at hand (exit code 0/1)
#
# The Qt: $QT_MINGW_DIR when set; else the ready build in the folder "shared" beside the
# checkout (shared/toolchains/qt6.4.2-mingw64-static.tar.xz), unpacked into build-windows/;
# else one built from Debian's source package by scripts/build-qt-mingw.sh (about an hour).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
out=$repo/build-windows
tarball_name=qt6.4.2-mingw64-static.tar.xz

# The folder "shared" beside the checkout (also beside a worktree's parent folder).
qt_tarball() {
  local shared
  for shared in "$repo/../shared" "$(dirname "$repo")/../shared"; do
    if [ -f "$shared/toolchains/$tarball_name" ]; then
      echo "$(cd "$shared/toolchains" && pwd)/$tarball_name"
      return 0
    fi
  done
  return 1
}

if [ "${1:-}" = "--has-qt" ]; then
  [ -n "${QT_MINGW_DIR:-}" ] || qt_tarball >/dev/null
  exit
fi

install_packages() {
  scripts/setup.sh cmake ninja-build ccache qt6-base-dev qt6-base-dev-tools googletest \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    wine wine64 nsis xvfb xdotool imagemagick
}

# Sets qt to the Qt prefix to build with, and says in one line which Qt that is.
find_qt() {
  local tarball
  if [ -n "${QT_MINGW_DIR:-}" ]; then
    qt=$QT_MINGW_DIR
    echo "Qt for mingw: $qt (QT_MINGW_DIR)"
  elif tarball=$(qt_tarball); then
    qt=$out/qt6-mingw64-static
    if [ ! -f "$qt/.unpacked" ] || [ "$tarball" -nt "$qt/.unpacked" ]; then
      rm -rf "$qt"
      tar -xJf "$tarball" -C "$out"
      touch "$qt/.unpacked"
    fi
    echo "Qt for mingw: $qt (unpacked from $tarball)"
  else
    qt=$out/qt-build/qt6-mingw64-static
    [ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] || scripts/build-qt-mingw.sh "$out/qt-build"
    echo "Qt for mingw: $qt (built from Debian's qt6-base source package)"
  fi
  [ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] || { echo "No Qt for mingw in $qt" >&2; exit 1; }
}

configure_and_build() {
  local wine launcher=()
  wine=$(command -v wine)
  sed -e "s|@RUDIMIX_WINEPREFIX@|$WINEPREFIX|" -e "s|@RUDIMIX_WINE@|$wine|" \
    windows/wine-run.sh.in >"$out/wine-run.sh"
  chmod +x "$out/wine-run.sh"
  command -v ccache >/dev/null &&
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$out/wine-run.sh" >/dev/null
  nice cmake --build "$out" -j "${RUDIMIX_JOBS:-2}"
  nice cmake --build "$out" --target rudimix_zip >/dev/null
  (cd "$out" && cpack -G NSIS >/dev/null)
  ls -l "$out/bin/rudimix.exe" "$out"/Rudimix-*-win64.exe "$out"/Rudimix-*-win64.zip
}

# The build's own Wine prefix, never ~/.wine. Made once; wineboot takes a minute the first time.
make_prefix() {
  export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix $WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
}

install_packages
mkdir -p "$out"
find_qt
make_prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
configure_and_build
[ "${1:-}" = "--build-only" ] && exit 0
ctest --test-dir "$out" --output-on-failure
scripts/windows-e2e.sh "$out"
