#pragma once

// The stand-in host's whole run, in the library libtambrix-host.so that TAMBRIX.EXE loads: the
// program's main() apart from the quick hand-over to an open practice window (main.cpp).
extern "C" __attribute__((visibility("default"))) int tambrixHostMain(int argc, char* argv[]);
