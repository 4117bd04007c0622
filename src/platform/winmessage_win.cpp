#include "winmessage.h"

#include "ansi.h"

#include <windows.h>

QString winMessage(unsigned long code)
{
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    QString text = length ? ansi::toUnicode(std::string_view(buffer, length)).trimmed() : QString();
    if (buffer)
        ::LocalFree(buffer);
    return text.isEmpty() ? QStringLiteral("error %1").arg(code) : text;
}
