#pragma once

#include <QString>
#include <string>
#include <string_view>

// The 8-bit character set of the settings file, the registry stand-in and the test script.
namespace cp1252 {
// A character outside Windows-1252 becomes "?". The five codes that Windows-1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number, so that
// every byte survives the way there and back.
std::string fromUnicode(const QString& text);
QString toUnicode(std::string_view bytes);
} // namespace cp1252
