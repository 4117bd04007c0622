#!/usr/bin/env bash
# Builds the Debian package build/rudimix_<version>_amd64.deb (installs what is missing first)
# and checks it with lintian: any error or warning fails the build.
# Install it with: sudo apt-get install ./build/rudimix_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target rudimix rudimix_launch tambrix_standin rudimix_icons
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
(cd build && cpack -G DEB)
deb=build/rudimix_${version}_amd64.deb
echo "Checking $deb with lintian"
lintian --fail-on error,warning "$deb"
echo "lintian: no error or warning in $deb"
