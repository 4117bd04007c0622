#include "registry.h"

#include <string_view>

std::string readStringValue(
    IRegistry& registry, HKEY root, const std::string& keyPath, const std::string& valueName)
{
    HKEY key = 0;
    if (registry.RegOpenKeyEx(root, keyPath, 0, 0xF0063, &key) != ERROR_SUCCESS)
        return {};
    unsigned char buffer[256] = {};
    std::uint32_t size = sizeof buffer;
    std::uint32_t type = 0;
    std::string result;
    const long status = registry.RegQueryValueEx(key, valueName, &type, buffer, &size);
    if (status == ERROR_SUCCESS && type == REG_SZ && size > 0 && size <= sizeof buffer) {
        // The stored text without its NUL; a value with a NUL inside counts up to that NUL, as
        // every caller of the "A" calls reads it.
        const std::string_view stored(reinterpret_cast<const char*>(buffer), std::size_t(size - 1));
        result.assign(stored.substr(0, stored.find('\0')));
    }
    registry.RegCloseKey(key);
    return result;
}
