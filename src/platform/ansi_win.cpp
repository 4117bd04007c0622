#include "ansi.h"

#include <windows.h>

namespace ansi {

std::string fromUnicode(const QString& text)
{
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = int(text.size());
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, "?", nullptr);
    std::string bytes(std::size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide, length, bytes.data(), size, "?", nullptr);
    return bytes;
}

QString toUnicode(std::string_view bytes)
{
    if (bytes.empty())
        return QString(QLatin1String(""));
    const int length = int(bytes.size());
    const int size = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    QString text(size > 0 ? size : 0, QChar());
    if (size > 0)
        ::MultiByteToWideChar(
            CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

} // namespace ansi
