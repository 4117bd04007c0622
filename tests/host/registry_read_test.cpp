#include "fakes.h"
#include "modrudimix.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <string>

// gfnRegGetString: only a plain string that fits the 256-byte buffer counts.

namespace {

const QString kKey = QStringLiteral("software\\Quillmoor Tambrix\\");
const QString kValue = QStringLiteral("ExeIniLocn");

// A registry that reports a stored size of 0 for a value it has found.
class ZeroSizeRegistry : public FakeRegistry {
public:
    long RegQueryValueEx(
        HKEY, const std::string&, std::uint32_t* t, unsigned char*, std::uint32_t* size) override
    {
        *t = REG_SZ;
        *size = 0;
        return ERROR_SUCCESS;
    }
};

} // namespace

TEST(RegGetString, OnlyAPlainStringThatFitsCounts)
{
    struct Case {
        const char* what;
        bool keyExists;
        long queryResult;
        std::uint32_t type;
        std::string value;
        QString expected;
        int closes;
    };
    const Case cases[] = {
        { "no key", false, ERROR_SUCCESS, REG_SZ, "/opt/t", "", 0 },
        { "no value", true, ERROR_FILE_NOT_FOUND, REG_SZ, "", "", 1 },
        { "plain string", true, ERROR_SUCCESS, REG_SZ, "/opt/t", "/opt/t", 1 },
        { "empty string", true, ERROR_SUCCESS, REG_SZ, "", "", 1 },
        { "expandable string", true, ERROR_SUCCESS, REG_EXPAND_SZ, "/opt/t", "", 1 },
        { "multi-string", true, ERROR_SUCCESS, REG_MULTI_SZ, "/opt/t", "", 1 },
        { "255 bytes", true, ERROR_SUCCESS, REG_SZ, std::string(255, 'p'), QString(255, u'p'), 1 },
        { "256 bytes", true, ERROR_SUCCESS, REG_SZ, std::string(256, 'p'), "", 1 },
        { "8-bit text", true, ERROR_SUCCESS, REG_SZ, "/opt/caf\xE9",
            QString::fromUtf16(u"/opt/caf\u00E9"), 1 },
    };
    for (const auto& c : cases) {
        FakeServices fake;
        fake.registry.keyExists = c.keyExists;
        fake.registry.queryResult = c.queryResult;
        fake.registry.type = c.type;
        fake.registry.value = c.value;
        modRudimix module(fake.services);
        EXPECT_EQ(module.gfnRegGetString(HKEY_CURRENT_USER, kKey, kValue), c.expected) << c.what;
        EXPECT_EQ(fake.registry.closed, c.closes) << c.what;
        EXPECT_EQ(fake.registry.opened, c.closes) << c.what;
    }
}

TEST(RegGetString, StoredSizeZeroGivesEmptyText)
{
    FakeServices fake;
    ZeroSizeRegistry registry;
    registry.keyExists = true;
    Services services { fake.dialogs, fake.clipboard, fake.launcher, fake.programEnd, registry };
    modRudimix module(services);
    EXPECT_EQ(module.gfnRegGetString(HKEY_CURRENT_USER, kKey, kValue), "");
    EXPECT_EQ(registry.closed, 1);
}

TEST(RegGetString, ReadsTheIniRegistry)
{
    TempFolder folder;
    const QString file = folder.file("HKEY_CURRENT_USER.ini");
    const std::string fits = "/" + std::string(254, 'f');
    const std::string tooLong = "/" + std::string(255, 'g');
    TempFolder::write(file,
        QByteArray::fromStdString("[Software\\Quillmoor Tambrix]\r\nExeIniLocn=/opt/tambrix\r\n"
                                  "Fits="
            + fits + "\r\nTooLong=" + tooLong + "\r\n"));
    FakeServices fake;
    IniRegistry registry(file.toStdString());
    Services services { fake.dialogs, fake.clipboard, fake.launcher, fake.programEnd, registry };
    modRudimix module(services);

    EXPECT_EQ(module.gfnRegGetString(HKEY_CURRENT_USER, kKey, kValue), "/opt/tambrix");
    EXPECT_EQ(
        module.gfnRegGetString(HKEY_CURRENT_USER, kKey, "Fits"), QString::fromStdString(fits));
    EXPECT_EQ(module.gfnRegGetString(HKEY_CURRENT_USER, kKey, "TooLong"), "");
    EXPECT_EQ(module.gfnRegGetString(HKEY_CURRENT_USER, kKey, "Missing"), "");
    EXPECT_EQ(module.gfnRegGetString(HKEY_CURRENT_USER, "software\\Nobody\\", kValue), "");
}
