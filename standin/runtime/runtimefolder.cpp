#include "runtimefolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace standin {

namespace {

    std::string absoluteVariable(const char* name)
    {
        const char* value = std::getenv(name);
        return value && value[0] == '/' ? value : "";
    }

} // namespace

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
    const std::string runtime = absoluteVariable("XDG_RUNTIME_DIR");
    struct stat st;
    if (!runtime.empty() && ::stat(runtime.c_str(), &st) == 0 && ownedFault(st, true).empty()) {
        folder = runtime;
        return true;
    }
    std::string cache = absoluteVariable("XDG_CACHE_HOME");
    if (cache.empty()) {
        const std::string home = absoluteVariable("HOME");
        const passwd* user = home.empty() ? ::getpwuid(::geteuid()) : nullptr;
        cache
            = (home.empty() && user && user->pw_dir ? std::string(user->pw_dir) : home) + "/.cache";
    }
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
