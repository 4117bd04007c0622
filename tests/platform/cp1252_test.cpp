#include "cp1252.h"

#include <QString>
#include <gtest/gtest.h>
#include <string>

// The 8-bit character set of the settings file and the registry stand-in.

TEST(Cp1252, ConvertsTheHighTableBothWays)
{
    struct Case {
        unsigned char byte;
        char16_t unicode;
    };
    const Case cases[] = {
        { 0x41, u'A' },
        { 0x80, u'\u20AC' }, // euro sign
        { 0x82, u'\u201A' },
        { 0x8A, u'\u0160' },
        { 0x8C, u'\u0152' },
        { 0x8E, u'\u017D' },
        { 0x91, u'\u2018' },
        { 0x96, u'\u2013' },
        { 0x99, u'\u2122' },
        { 0x9C, u'\u0153' },
        { 0x9F, u'\u0178' },
        { 0x81, u'\u0081' }, // the five unassigned codes pass as C1 controls
        { 0x8D, u'\u008D' },
        { 0x8F, u'\u008F' },
        { 0x90, u'\u0090' },
        { 0x9D, u'\u009D' },
        { 0xA0, u'\u00A0' },
        { 0xE9, u'\u00E9' },
        { 0xFF, u'\u00FF' },
    };
    for (const auto& c : cases) {
        const std::string bytes(1, char(c.byte));
        EXPECT_EQ(cp1252::toUnicode(bytes), QString(QChar(c.unicode))) << int(c.byte);
        EXPECT_EQ(cp1252::fromUnicode(QString(QChar(c.unicode))), bytes) << int(c.byte);
    }
}

TEST(Cp1252, EveryByteSurvivesTheWayThereAndBack)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString text = cp1252::toUnicode(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(cp1252::fromUnicode(text), all);
}

TEST(Cp1252, CharactersOutsideTheSetBecomeQuestionMarks)
{
    EXPECT_EQ(cp1252::fromUnicode(QString::fromUtf16(u"a\u0100b")), "a?b");
    EXPECT_EQ(cp1252::fromUnicode(QString::fromUtf16(u"\u4E2D\u6587")), "??");
    EXPECT_EQ(cp1252::fromUnicode(QString::fromUtf16(u"\u20AD")), "?");
    // A character beyond the 16-bit range is one "?", not two.
    EXPECT_EQ(cp1252::fromUnicode(QString::fromUtf16(u"x\U0001F941y")), "x?y");
    // A lone surrogate half is one "?" too.
    EXPECT_EQ(cp1252::fromUnicode(QString(QChar(char16_t(0xD800)))), "?");
    EXPECT_EQ(cp1252::fromUnicode(QString::fromUtf16(u"caf\u00E9 \u20AC5")),
        "caf\xE9 \x80"
        "5");
}
