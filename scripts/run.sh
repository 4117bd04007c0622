#!/usr/bin/env bash
# Installs what is missing, builds Rudimix and starts the editor.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

# Without the real host, the stand-in host initialises the settings as the host would.
if [ -x build/bin/TAMBRIX.EXE ]; then
  build/bin/TAMBRIX.EXE
fi
exec build/bin/rudimix "$@"
