#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

// Settings and registry files are read and written only when they are regular files (after
// following symbolic links) of at most kMaxFileSize bytes. A pipe, a device or a folder is
// never opened for reading or writing, so nothing blocks, nothing grows without bound and
// nothing but a regular file is ever replaced.
namespace regular {

inline constexpr std::uintmax_t kMaxFileSize = std::uintmax_t(64) << 20; // 64 MiB

enum class Status {
    Ok,
    Missing, // no such file (or a path through a file)
    NotRegular, // a folder, a pipe, a device or a socket
    TooLarge, // over kMaxFileSize
    Failed, // the system refused; error holds its code
};

struct Result {
    Status status = Status::Failed;
    int error = 0;
    bool ok() const { return status == Status::Ok; }
    // The reason in words: "not a regular file", "larger than 64 MiB" or the system's text.
    std::string reason() const;
};

// What the path names, after following links, without opening it; st receives its status.
Result inspect(const std::filesystem::path& file, struct stat* st = nullptr);

// The whole content of a regular file. It is opened without waiting (a pipe put in its place
// between the look and the open is refused all the same) and read to at most kMaxFileSize bytes.
Result read(const std::filesystem::path& file, std::string& bytes, struct stat* st = nullptr);

// Writes all the bytes to the open file from where it stands, going on after a short write or an
// interruption. False on a failure, with errno holding the cause.
bool writeAll(int fd, std::string_view bytes);

// Creates a new file beside target (a name that starts with a dot and the target's name) with the
// mode (the umask applies); name receives its path. The descriptor, or -1 with errno set.
int createBeside(const std::filesystem::path& target, mode_t mode, std::string& name);

// A file's new content on its way, the one way every writer here replaces a file whole: written
// into a new file beside the target (createBeside), synced, then renamed into place, so that the
// target names the old content or the new one, never a part. One that is abandoned, or destroyed
// before it is committed, is removed. Each call returns false with errno set on a failure.
class FileBeside {
public:
    explicit FileBeside(std::filesystem::path target);
    ~FileBeside();
    FileBeside(const FileBeside&) = delete;
    FileBeside& operator=(const FileBeside&) = delete;

    bool create(mode_t mode); // the umask applies
    bool write(std::string_view bytes);
    bool finish(); // all written: synced and closed
    bool commit(); // finished, renamed into place, and the rename made durable
    void abandon(); // the new file closed and removed

    int fd() const { return mFd; }
    const std::string& name() const { return mName; } // empty before create()
    const std::filesystem::path& target() const { return mTarget; }

private:
    std::filesystem::path mTarget;
    std::string mName;
    int mFd = -1;
};

// Puts text into the file as its whole content; existing holds the status of the file as it was
// read, or is null for a new file. Normally the text is written beside the file and renamed
// into place, keeping the file's mode (and owner, where the system allows), so that a reader
// sees the old or the new content whole. A file with more than one link, one of another user,
// or one whose folder is read-only or cannot take a new file is written in place, so that it
// keeps its identity: the new length is reserved first, then the text is written, the rest cut
// off and synced; a failure to reserve leaves the old content whole. A read-only file (by its
// mode bits, even for root) or a new file in a read-only folder is refused.
Result write(const std::filesystem::path& file, std::string_view text, const struct stat* existing);

} // namespace regular
