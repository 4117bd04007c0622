#!/usr/bin/env bash
# Installs what is missing, builds Rudimix and starts the editor. Only what runs is built: the
# editor, the stand-in host and the launcher (scripts/test.sh builds the tests in the same build/).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target rudimix tambrix_standin rudimix_launch

# Without the real host, the stand-in host initialises the settings as the host would.
if [ -x build/bin/TAMBRIX.EXE ]; then
  build/bin/TAMBRIX.EXE
fi
exec build/bin/rudimix "$@"
