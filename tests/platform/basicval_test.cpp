#include "basicval.h"

#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

// Text as a number: Val and the store into a 16-bit integer.

TEST(BasicVal, TakesTheLeadingNumber)
{
    struct Case {
        const char16_t* text;
        double expected;
    };
    const Case cases[] = {
        { u"", 0 },
        { u"abc", 0 },
        { u"40abc", 40 },
        { u"  42", 42 },
        { u"\t\n7", 7 },
        { u"1 2 3", 123 },
        { u"-5", -5 },
        { u"+5", 5 },
        { u"- 5", -5 },
        { u"+-5", 0 },
        { u"--5", 0 },
        { u"-", 0 },
        { u"12.5", 12.5 },
        { u".5", 0.5 },
        { u"5.", 5 },
        { u"1.2.3", 1.2 },
        { u".", 0 },
        { u"1e3", 1000 },
        { u"1E+3", 1000 },
        { u"25e-1", 2.5 },
        { u"1d2", 100 },
        { u"1 e 2", 100 },
        { u"1e", 1 },
        { u"1e-", 1 },
        { u"1ex", 1 },
        { u"1e2.5", 100 },
        { u"e5", 0 },
        { u"1,000", 1 },
        { u"\u0663", 0 }, // an Arabic-Indic digit is no digit here
        { u"32\r", 32 },
        { u"\r32", 0 }, // a carriage return is not a blank to Val
        { u"1e-400", 0 },
        { u"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
          u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
          u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
          u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
            0 },
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_DOUBLE_EQ(basic::val(text), c.expected) << text.toStdString();
    }
}

TEST(BasicVal, TooLargeGivesInfinity)
{
    EXPECT_EQ(basic::val(u"1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(basic::val(u"-1e99999999999999999999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(basic::val(QString(400, u'9')), std::numeric_limits<double>::infinity());
}

TEST(BasicToInt16, RoundsHalfToEvenAndReportsOverflow)
{
    struct Case {
        const char16_t* text;
        std::optional<std::int16_t> expected;
    };
    const Case cases[] = {
        { u"", 0 },
        { u"abc", 0 },
        { u"40abc", 40 },
        { u" 64 ", 64 },
        { u"12.5", 12 },
        { u"13.5", 14 },
        { u"32.5", 32 },
        { u"33.5", 34 },
        { u"32.4999", 32 },
        { u"32.5001", 33 },
        { u"-0.5", 0 },
        { u"-1.5", -2 },
        { u"-2.5", -2 },
        { u"32767", 32767 },
        { u"32767.4", 32767 },
        { u"32767.5", std::nullopt },
        { u"32768", std::nullopt },
        { u"-32768", -32768 },
        { u"-32768.5", -32768 },
        { u"-32769", std::nullopt },
        { u"99999", std::nullopt },
        { u"1e9", std::nullopt },
        { u"1e400", std::nullopt },
        { u"-1e400", std::nullopt },
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(basic::toInt16(basic::val(text)), c.expected) << text.toStdString();
    }
    EXPECT_EQ(basic::toInt16(std::nan("")), std::nullopt);
}
