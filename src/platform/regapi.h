#pragma once

#include <cstdint>
#include <string>

// Windows' registry calls with plain types, so that code which speaks the registry's names of
// registry.h never meets <windows.h>, which defines the same names. Keys are handles as
// integers; the root keys are their 32-bit codes (HKEY_CURRENT_USER is 0x80000001).
namespace regapi {
long openKey(std::uintptr_t root, const std::string& subKey, std::uint32_t options,
    std::uint32_t samDesired, std::uintptr_t* result);
long queryValue(std::uintptr_t key, const std::string& valueName, std::uint32_t* type,
    unsigned char* data, std::uint32_t* dataSize);
long closeKey(std::uintptr_t key);
// Stores the bytes as they are under the value name, creating the key: RegSetKeyValueA.
long setValue(std::uintptr_t root, const std::string& subKey, const std::string& valueName,
    std::uint32_t type, const std::string& bytes);
// Removes the key with its values: RegDeleteTreeA.
long deleteKey(std::uintptr_t root, const std::string& subKey);
} // namespace regapi
