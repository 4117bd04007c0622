#include "basicval.h"

#include <cmath>
#include <string>

namespace basic {

namespace {
    bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
    bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
} // namespace

double val(QStringView text)
{
    // Blanks are skipped everywhere in the number, as the Basic runtime does ("1 2" is 12).
    std::string number;
    bool sawDigit = false, sawPoint = false, sawExponent = false;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        number += char(text[i].unicode());
        ++i;
    }
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isBlank(c))
            continue;
        if (isDigit(c)) {
            number += char(c.unicode());
            sawDigit = true;
        } else if (c == u'.' && !sawPoint && !sawExponent) {
            number += '.';
            sawPoint = true;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && sawDigit && !sawExponent) {
            // An exponent counts only when digits follow (with an optional sign).
            qsizetype j = i + 1;
            while (j < n && isBlank(text[j]))
                ++j;
            std::string exponent = "e";
            if (j < n && (text[j] == u'-' || text[j] == u'+'))
                exponent += char(text[j++].unicode());
            while (j < n && isBlank(text[j]))
                ++j;
            if (j >= n || !isDigit(text[j]))
                break;
            number += exponent;
            sawExponent = true;
            i = j - 1;
        } else {
            break;
        }
    }
    if (!sawDigit)
        return 0.0;
    try {
        return std::stod(number);
    } catch (const std::out_of_range&) {
        const bool negative = !number.empty() && number[0] == '-';
        // Too large gives infinity; too small gives zero.
        const bool tiny = number.find("e-") != std::string::npos;
        if (tiny)
            return 0.0;
        return negative ? -HUGE_VAL : HUGE_VAL;
    }
}

std::optional<std::int16_t> toInt16(double value)
{
    if (std::isnan(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode: ties to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

} // namespace basic
