#include "cp1252.h"

namespace cp1252 {

namespace {
    // Characters 0x80..0x9F of Windows-1252; 0 where the code is unassigned.
    constexpr char16_t kHigh[32] = { 0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D,
        0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178 };

    char encode(char16_t c)
    {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            return char(c);
        // The five unassigned codes stand for the C1 controls of the same number, both ways.
        if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] == 0)
            return char(c);
        for (int k = 0; k < 32; ++k) {
            if (kHigh[k] != 0 && kHigh[k] == c)
                return char(0x80 + k);
        }
        return '?';
    }
} // namespace

std::string fromUnicode(const QString& text)
{
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i; // one character outside the set, one "?"
        bytes += encode(c.unicode());
    }
    return bytes;
}

QString toUnicode(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        // The five unassigned codes pass through as the C1 controls of the same number.
        const char16_t c = (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0) ? kHigh[b - 0x80] : b;
        text += QChar(c);
    }
    return text;
}

} // namespace cp1252
