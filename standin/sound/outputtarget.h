#pragma once

#include "regularfile.h"

#include <filesystem>
#include <string>
#include <string_view>

// The stand-in host's output files (--render, --midi): checked before anything is written, then
// written under a temporary name beside the target and renamed into place when complete, so that
// a failure leaves the target as it was and nothing but a regular file (or a symbolic link to
// one, which is replaced) is ever replaced.
namespace standin {

// Whether the target can be written: it is missing or a regular file (a symbolic link to one is
// followed), and its folder can take a new file. Else false, with error naming the target (or
// its folder) and the cause.
bool checkOutputTarget(const std::filesystem::path& target, std::string& error);

// Whether two paths name the same file (the same file's links, or the same path spelled twice).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// One output file on its way: the new content in a temporary file beside the target, made with
// the usual mode (the umask applies). One that is not committed is removed.
class OutputFile {
public:
    explicit OutputFile(std::filesystem::path target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Each returns false, with error naming the target and the cause, on failure; the temporary
    // file is then gone.
    bool open(std::string& error);
    bool write(std::string_view bytes, std::string& error);
    bool finish(std::string& error); // all written: synced and closed
    bool commit(std::string& error); // finished and renamed into place

    const std::filesystem::path& target() const { return mFile.target(); }

private:
    bool fail(const std::string& reason, std::string& error);

    regular::FileBeside mFile;
    bool mFinished = false;
};

// Removes the temporary files of the outputs still on their way (a run ended by a signal).
void removeUnfinishedOutputs();

} // namespace standin
