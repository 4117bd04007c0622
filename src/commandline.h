#pragma once

#include <optional>
#include <ostream>

// The command-line options that rudimix answers before anything else starts: no window, no
// display connection, no settings file.

// "--version" or "--help" anywhere among the arguments prints one short text to out; the result
// is then the exit code. Without either, the result is empty and start-up goes on as always.
std::optional<int> answerInformationRequest(int argc, char* argv[], std::ostream& out);
