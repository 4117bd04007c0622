#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The part of the Windows registry API that the program uses, with its names, codes and
// semantics. Texts are 8-bit (Windows-1252), as with the "A" calls.
using HKEY = std::uintptr_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_HANDLE = 6;
inline constexpr long ERROR_MORE_DATA = 234;

inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;

class IRegistry {
public:
    virtual ~IRegistry() = default;
    virtual long RegOpenKeyEx(HKEY root, const std::string& subKey, std::uint32_t options,
        std::uint32_t samDesired, HKEY* result)
        = 0;
    // Copies the value with its terminating NUL into data when *dataSize is large enough,
    // sets *type, and always sets *dataSize to the stored size (NUL included).
    // ERROR_MORE_DATA when the buffer is too small.
    virtual long RegQueryValueEx(HKEY key, const std::string& valueName, std::uint32_t* type,
        unsigned char* data, std::uint32_t* dataSize)
        = 0;
    virtual long RegCloseKey(HKEY key) = 0;
};

// The registry this system keeps: Windows' own, or the INI file of IniRegistry elsewhere.
std::unique_ptr<IRegistry> systemRegistry();

// A string value through the registry calls (open the key, read into a 256-byte buffer, close),
// as Windows-1252 text, up to a NUL inside it; empty when the key or value is missing, not a
// string or too long.
std::string readStringValue(
    IRegistry& registry, HKEY root, const std::string& keyPath, const std::string& valueName);

// HKEY_CURRENT_USER kept in an INI file: the key path is the section (case ignored, trailing
// backslashes ignored on both sides, so "[software\Maker\]" is the key "software\Maker\"),
// the value name is the key, every value is a REG_SZ string. A file that is not a regular file
// or is over 64 MiB holds no keys; opening a key then says why in one line on stderr.
class IniRegistry : public IRegistry {
public:
    explicit IniRegistry(std::filesystem::path file);
    // $XDG_CONFIG_HOME/winreg/HKEY_CURRENT_USER.ini, else ~/.config/winreg/...
    static std::filesystem::path defaultFile();
    const std::filesystem::path& file() const { return mFile; }

    long RegOpenKeyEx(HKEY root, const std::string& subKey, std::uint32_t options,
        std::uint32_t samDesired, HKEY* result) override;
    long RegQueryValueEx(HKEY key, const std::string& valueName, std::uint32_t* type,
        unsigned char* data, std::uint32_t* dataSize) override;
    long RegCloseKey(HKEY key) override;

    // Writes a string value, creating the key; used by the stand-in host. True on success.
    bool setString(const std::string& subKey, const std::string& valueName,
        const std::string& value, std::string* error = nullptr);
    // Removes the value (every entry of that name in the key), keeping the rest of the file.
    // No file, key or value is no failure; *removed tells whether a value was there.
    bool removeValue(const std::string& subKey, const std::string& valueName,
        bool* removed = nullptr, std::string* error = nullptr);

private:
    std::filesystem::path mFile;
    // Open keys: handle -> section name. Handles start at 1.
    std::vector<std::pair<HKEY, std::string>> mOpen;
    HKEY mNextHandle = 1;
};

// Windows' own registry, through RegOpenKeyExA, RegQueryValueExA and RegCloseKey.
class WinRegistry : public IRegistry {
public:
    long RegOpenKeyEx(HKEY root, const std::string& subKey, std::uint32_t options,
        std::uint32_t samDesired, HKEY* result) override;
    long RegQueryValueEx(HKEY key, const std::string& valueName, std::uint32_t* type,
        unsigned char* data, std::uint32_t* dataSize) override;
    long RegCloseKey(HKEY key) override;
};
