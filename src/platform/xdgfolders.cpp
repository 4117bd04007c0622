#include "xdgfolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace xdg {

namespace {

    std::string absoluteVariable(const char* name)
    {
        const char* value = std::getenv(name);
        return value && value[0] == '/' ? value : "";
    }

} // namespace

std::string homeFolder()
{
    const std::string home = absoluteVariable("HOME");
    if (!home.empty())
        return home;
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

std::string baseFolder(Base base)
{
    struct Kind {
        const char* variable;
        const char* underHome;
    };
    static constexpr Kind kinds[] = {
        { "XDG_CONFIG_HOME", "/.config" },
        { "XDG_DATA_HOME", "/.local/share" },
        { "XDG_STATE_HOME", "/.local/state" },
        { "XDG_CACHE_HOME", "/.cache" },
    };
    const Kind& kind = kinds[int(base)];
    const std::string given = absoluteVariable(kind.variable);
    return given.empty() ? homeFolder() + kind.underHome : given;
}

std::string runtimeFolder()
{
    return absoluteVariable("XDG_RUNTIME_DIR");
}

} // namespace xdg
