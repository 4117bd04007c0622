# Cross-building for 64-bit Windows with Debian's mingw-w64 (the POSIX-thread variant, which
# Qt's std::thread needs). Chained to Qt's own qt.toolchain.cmake through
# QT_CHAINLOAD_TOOLCHAIN_FILE; see scripts/windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries libgcc, libstdc++ and winpthread inside: no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
