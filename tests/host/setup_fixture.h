#pragma once

#include "defaultheader.h"
#include "fakes.h"
#include "frmrawsetup.h"
#include "modrudimix.h"
#include "tempdir.h"

#include <QComboBox>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// The header the editor window sets at every start: ten lines with CR LF between them and no
// line end after the last one.
inline QString defaultHeader()
{
    return QString::fromLatin1(kDefaultHeaderText);
}

// A host settings file with more in it than the one entry the program owns, so that a write
// that disturbs anything else shows up byte for byte.
inline QByteArray settingsWith(const QByteArray& maxNotes)
{
    return "; Tambrix settings\r\n"
           "[window]\r\n"
           "Left=10\r\n"
           "\r\n"
           "[Program]\r\n"
           "LastFile=C:\\Songs\\a.drum\r\n"
           "MaxRudimixNotes = "
        + maxNotes
        + "\r\n"
          "Volume=90\r\n"
          "\r\n"
          "[program2]\r\n"
          "MaxRudimixNotes=50\r\n";
}

// A started program: the settings file in a temporary host folder, start-up run on it, and the
// header that the editor window sets at load.
class SetupWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TempFolder::write(settingsFile(), settingsWith("40"));
        module.ownFolder = folder.path();
        ASSERT_TRUE(module.Main());
        ASSERT_EQ(module.giMaxNotes, 40);
        module.gsTestHeader = defaultHeader();
    }

    QString settingsFile() const { return folder.file(QStringLiteral("TAMBRIX.INI")); }
    QByteArray settingsBytes() const { return TempFolder::read(settingsFile()); }

    // Opens the window as the editor's SETUP button does, but without a nested event loop.
    std::unique_ptr<frmRAWsetup> open()
    {
        auto window = std::make_unique<frmRAWsetup>(module);
        window->show();
        return window;
    }

    // Picks an item of the list with the arrow keys, as a user does.
    static void pick(QComboBox* list, const QString& item)
    {
        const int target = list->findText(item);
        ASSERT_GE(target, 0) << item.toStdString();
        while (list->currentIndex() < target)
            QTest::keyClick(list, Qt::Key_Down);
        while (list->currentIndex() > target)
            QTest::keyClick(list, Qt::Key_Up);
        ASSERT_EQ(list->currentText(), item);
    }

    // Types a text, a line feed standing for the Enter key.
    static void type(QWidget* widget, const QString& text)
    {
        const QStringList lines = text.split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(widget, Qt::Key_Return);
            QTest::keyClicks(widget, lines[i]);
        }
    }

    TempFolder folder;
    FakeServices fakes;
    modRudimix module { fakes.services };
};
