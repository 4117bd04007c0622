#!/usr/bin/env bash
# Builds a static Qt 6.4.2 (qtbase: Core, Gui, Widgets, Test; the windows, offscreen and minimal
# platform plugins; the Windows styles) for x86_64-w64-mingw32 from Debian's own source package
# qt6-base, the same Qt as the Linux build, whose moc, rcc and uic serve as host tools.
# About an hour on 2 cores. scripts/windows.sh runs it only when no ready Qt is at hand.
#
#   scripts/build-qt-mingw.sh <work folder>   installs into <work folder>/qt6-mingw64-static
#
# Needs a deb-src line for Debian's archive (bookworm, main) in the APT sources.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
cd "$work"

if ! grep -rqs '^deb-src .*bookworm.* main' /etc/apt/sources.list /etc/apt/sources.list.d/ &&
  ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/; then
  echo "Building Qt for mingw needs Debian's source packages: add a line such as" >&2
  echo "  deb-src http://deb.debian.org/debian bookworm main" >&2
  echo "to /etc/apt/sources.list, run apt-get update, then this script again." >&2
  exit 1
fi

for p in libwine-dev dpkg-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    apt-get install -y -qq --no-install-recommends "$p"
done
[ -f qt6-base_6.4.2+dfsg.orig.tar.xz ] || apt-get source --download-only qt6-base=6.4.2+dfsg-10
src=qtbase-everywhere-src-6.4.2
if [ ! -d "$src" ]; then
  tar -xJf qt6-base_6.4.2+dfsg.orig.tar.xz
  [ -d "$src" ] || mv qt6-base-6.4.2* "$src" 2>/dev/null || true
  # The +dfsg tarball lacks the tablet headers that the windows platform plugin needs; Wine's
  # own (libwine-dev, LGPL 2.1) serve, with the few macros that Wine's headers take from
  # elsewhere.
  mkdir -p "$src/src/3rdparty/wintab"
  for h in wintab.h pktdef.h; do
    cp "/usr/include/wine/wine/windows/$h" "$src/src/3rdparty/wintab/$h"
  done
  sed -i '/#define __WINE_WINTAB_H/a\
#ifndef API\
#define API WINAPI\
#endif\
#ifdef UNICODE\
#define WINELIB_NAME_AW(x) x##W\
#else\
#define WINELIB_NAME_AW(x) x##A\
#endif\
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;' \
    "$src/src/3rdparty/wintab/wintab.h"
  # Without OpenGL, isSoftwareGl() must not ask about dynamic GL.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$src/src/plugins/platforms/windows/qwindowswindow.cpp"
fi

cmake -S "$src" -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$work/qt6-mingw64-static" -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_testlib=ON -DFEATURE_vulkan=OFF -DFEATURE_accessibility=ON \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_icu=OFF -DFEATURE_direct2d=OFF \
  -DFEATURE_directwrite3=OFF
nice cmake --build build --parallel "${RUDIMIX_JOBS:-2}"
cmake --install build
