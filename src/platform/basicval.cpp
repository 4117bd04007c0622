#include "basicval.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace basic {

namespace {
    // Val skips blanks, tabs and line feeds wherever they stand ("1 2" is 12).
    bool isBlank(QChar c)
    {
        return c == u' ' || c == u'\t' || c == u'\n';
    }
    bool isDigit(QChar c)
    {
        return c >= u'0' && c <= u'9';
    }

    // The decimal exponent of the leading digit of mantissa (digits with at most one point),
    // or nothing when all its digits are zero.
    std::optional<long> leadingExponent(const std::string& mantissa)
    {
        const std::size_t point = mantissa.find('.');
        const std::size_t intDigits = point == std::string::npos ? mantissa.size() : point;
        for (std::size_t i = 0; i < mantissa.size(); ++i) {
            if (mantissa[i] == '.' || mantissa[i] == '0')
                continue;
            return i < intDigits ? long(intDigits - i - 1) : -long(i - intDigits);
        }
        return std::nullopt;
    }
} // namespace

double val(QStringView text)
{
    bool negative = false;
    std::string mantissa; // digits and at most one point
    bool sawDigit = false;
    bool exponentNegative = false;
    std::string exponent; // digits
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };

    skipBlanks();
    if (i < n && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isBlank(c))
            continue;
        if (isDigit(c)) {
            mantissa += char(c.unicode());
            sawDigit = true;
        } else if (c == u'.' && mantissa.find('.') == std::string::npos) {
            mantissa += '.';
        } else {
            break;
        }
    }
    if (!sawDigit)
        return 0.0;

    // An exponent ("E" or "D") counts only when digits follow, after an optional sign.
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        ++i;
        skipBlanks();
        if (i < n && (text[i] == u'-' || text[i] == u'+'))
            exponentNegative = text[i++] == u'-';
        for (; i < n; ++i) {
            if (isDigit(text[i]))
                exponent += char(text[i].unicode());
            else if (!isBlank(text[i]))
                break;
        }
    }

    // from_chars reads the same digits whatever the user's locale.
    std::string number = mantissa;
    if (!exponent.empty())
        number += (exponentNegative ? "e-" : "e") + exponent;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero.
        long scale = 0;
        for (const char d : exponent) {
            scale = scale * 10 + (d - '0');
            if (scale > 100000)
                break;
        }
        const long magnitude
            = leadingExponent(mantissa).value_or(0) + (exponentNegative ? -scale : scale);
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
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
