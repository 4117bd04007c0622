#pragma once

#include <QString>
#include <string>
#include <string_view>

// The 8-bit character set of the settings file, the registry stand-in and the test script.
namespace cp1252 {
// A character outside Windows-1252 becomes "?".
std::string fromUnicode(const QString& text);
QString toUnicode(std::string_view bytes);
} // namespace cp1252
