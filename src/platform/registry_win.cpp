#include "regapi.h"
#include "registry.h"

std::unique_ptr<IRegistry> systemRegistry()
{
    return std::make_unique<WinRegistry>();
}

long WinRegistry::RegOpenKeyEx(HKEY root, const std::string& subKey, std::uint32_t options,
    std::uint32_t samDesired, HKEY* result)
{
    return regapi::openKey(root, subKey, options, samDesired, result);
}

long WinRegistry::RegQueryValueEx(HKEY key, const std::string& valueName, std::uint32_t* type,
    unsigned char* data, std::uint32_t* dataSize)
{
    return regapi::queryValue(key, valueName, type, data, dataSize);
}

long WinRegistry::RegCloseKey(HKEY key)
{
    return regapi::closeKey(key);
}
