#!/bin/sh
# makensis making a 64-bit installer, like the program: it writes the 64-bit registry view and
# runs where only 64-bit Windows programs can (Wine without its 32-bit part). CPack's
# CPACK_NSIS_EXECUTABLE.
exec makensis -X"Target amd64-unicode" "$@"
