#include "runtimefolder.h"

#include "xdgfolders.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace standin {

std::string ownedFault(const struct stat& st, bool folder)
{
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (folder && !S_ISDIR(st.st_mode))
        return "is not a folder";
    if (!folder && !S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file";
    if (st.st_uid != ::geteuid())
        return "belongs to another user";
    if (folder && (st.st_mode & 022) != 0)
        return "can be written by other users";
    return {};
}

bool userRuntimeFolder(std::string& folder, std::string& error)
{
    const std::string runtime = xdg::runtimeFolder();
    struct stat st;
    if (!runtime.empty() && ::stat(runtime.c_str(), &st) == 0 && ownedFault(st, true).empty()) {
        folder = runtime;
        return true;
    }
    const std::string cache = xdg::baseFolder(xdg::Base::Cache);
    folder = cache + "/rudimix";
    std::error_code ec;
    std::filesystem::create_directories(cache, ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create the lock folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot use the lock folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!ownedFault(st, true).empty()) {
        error = "the lock folder " + folder + " " + ownedFault(st, true);
        return false;
    }
    return true;
}

} // namespace standin
