#include "ansi.h"

#include "cp1252.h"

namespace ansi {

std::string fromUnicode(const QString& text)
{
    return cp1252::fromUnicode(text);
}

QString toUnicode(std::string_view bytes)
{
    return cp1252::toUnicode(bytes);
}

} // namespace ansi
