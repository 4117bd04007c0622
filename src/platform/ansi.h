#pragma once

#include <QString>
#include <string>
#include <string_view>

// The 8-bit texts that go to and come from the system's "A" calls, the settings file and the
// test script: the ANSI code page on Windows, Windows-1252 elsewhere. A character the code page
// cannot hold becomes "?".
namespace ansi {
std::string fromUnicode(const QString& text);
QString toUnicode(std::string_view bytes);
} // namespace ansi
