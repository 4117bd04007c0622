#include "regapi.h"

#include <windows.h>

namespace {

// The root keys are pointers made from their codes sign-extended: a 32-bit code stands for the
// same root key as Windows' own constant.
HKEY handleOf(std::uintptr_t key)
{
    if (key <= 0xFFFFFFFFu && (key & 0x80000000u))
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(key)));
    return reinterpret_cast<HKEY>(key);
}

} // namespace

namespace regapi {

long openKey(std::uintptr_t root, const std::string& subKey, std::uint32_t options,
    std::uint32_t samDesired, std::uintptr_t* result)
{
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExA(handleOf(root), subKey.c_str(), options, samDesired, &key);
    if (status == ERROR_SUCCESS && result)
        *result = reinterpret_cast<std::uintptr_t>(key);
    return status;
}

long queryValue(std::uintptr_t key, const std::string& valueName, std::uint32_t* type,
    unsigned char* data, std::uint32_t* dataSize)
{
    DWORD valueType = 0;
    DWORD size = dataSize ? *dataSize : 0;
    const LONG status = ::RegQueryValueExA(
        handleOf(key), valueName.c_str(), nullptr, &valueType, data, dataSize ? &size : nullptr);
    if (type)
        *type = valueType;
    if (dataSize)
        *dataSize = size;
    return status;
}

long closeKey(std::uintptr_t key)
{
    return ::RegCloseKey(handleOf(key));
}

long setValue(std::uintptr_t root, const std::string& subKey, const std::string& valueName,
    std::uint32_t type, const std::string& bytes)
{
    return ::RegSetKeyValueA(
        handleOf(root), subKey.c_str(), valueName.c_str(), type, bytes.data(), DWORD(bytes.size()));
}

long deleteKey(std::uintptr_t root, const std::string& subKey)
{
    return ::RegDeleteTreeA(handleOf(root), subKey.c_str());
}

} // namespace regapi
