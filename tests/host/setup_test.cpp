#include "setup_fixture.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

namespace {

const QString kQuestion = QStringLiteral(
    "This program has to be restarted when the Maximum number of notes is changed.\n\n"
    "Are you sure you want to do this?");

// What a plain text box shows for a text with CR LF line ends.
QString shown(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

TEST_F(SetupWindowTest, OpensWithTheCurrentHeaderAndMaximum)
{
    struct Case {
        QString header;
        std::int16_t maxNotes;
    } cases[] = {
        { defaultHeader(), 40 },
        { QStringLiteral("SET TEMPO=80\r\nSET REPEATS=1\r\n"), 32 },
        { QString(), 64 },
    };
    for (const Case& c : cases) {
        module.gsTestHeader = c.header;
        module.giMaxNotes = c.maxNotes;
        auto window = open();
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Setup"));
        EXPECT_EQ(window->txtHeader->toPlainText(), shown(c.header));
        EXPECT_EQ(window->cboMaxNotes->currentText(), QString::number(c.maxNotes));
        EXPECT_EQ(window->txtTail->toPlainText(),
            QStringLiteral("RAW [new-rud]={{what you've created}}\n[new-rud]\n"));
    }
}

TEST_F(SetupWindowTest, DefaultHeaderShowsAsTenLines)
{
    auto window = open();
    EXPECT_EQ(window->txtHeader->document()->blockCount(), 10);
    EXPECT_EQ(window->txtHeader->document()->findBlockByNumber(7).text(),
        QStringLiteral("'Make sure you change this line if you're using odd note types"));
}

TEST_F(SetupWindowTest, ListHoldsThirtyTwoToSixtyFourAndCannotBeTyped)
{
    auto window = open();
    QComboBox* list = window->cboMaxNotes;
    EXPECT_FALSE(list->isEditable());
    ASSERT_EQ(list->count(), 33);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(list->itemText(i), QString::number(32 + i));
}

TEST_F(SetupWindowTest, OkWithoutChangeStoresTheShownHeaderExactlyAndAsksNothing)
{
    const QString headers[] = {
        defaultHeader(),
        QStringLiteral("SET TEMPO=80\r\n"), // ends with its own line end
        QStringLiteral("a\nb\rc\r\nd"), // mixed line ends come back as they were
        QString(),
    };
    for (const QString& header : headers) {
        module.gsTestHeader = header;
        auto window = open();
        QTest::mouseClick(window->cmdOK, Qt::LeftButton);
        EXPECT_TRUE(fakes.dialogs.boxes.empty());
        EXPECT_EQ(module.gsTestHeader, header);
        EXPECT_EQ(window->result(), QDialog::Accepted);
        EXPECT_FALSE(window->isVisible());
    }
    EXPECT_EQ(module.giMaxNotes, 40);
    EXPECT_EQ(settingsBytes(), settingsWith("40"));
    EXPECT_EQ(fakes.programEnd.calls, 0);
}

TEST_F(SetupWindowTest, ChoosingTheCurrentMaximumAgainIsNoChange)
{
    auto window = open();
    pick(window->cboMaxNotes, QStringLiteral("41"));
    pick(window->cboMaxNotes, QStringLiteral("40"));
    QTest::mouseClick(window->cmdOK, Qt::LeftButton);
    EXPECT_TRUE(fakes.dialogs.boxes.empty());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(settingsBytes(), settingsWith("40"));
}

TEST_F(SetupWindowTest, EditedHeaderIsStoredWithCrLfBetweenLines)
{
    struct Case {
        const char* name;
        std::function<void(QPlainTextEdit*)> edit;
        QString stored;
    } cases[] = {
        { "line added at the end",
            [](QPlainTextEdit* box) {
                QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
                QTest::keyClick(box, Qt::Key_Return);
                QTest::keyClicks(box, QStringLiteral("SET REPEATS=1"));
            },
            defaultHeader() + QStringLiteral("\r\nSET REPEATS=1") },
        { "line break typed inside the first line",
            [](QPlainTextEdit* box) {
                QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
                for (int i = 0; i < 12; ++i)
                    QTest::keyClick(box, Qt::Key_Right);
                QTest::keyClick(box, Qt::Key_Return);
            },
            QStringLiteral("' Instrument\r\n set to GM Drums") + defaultHeader().mid(28) },
        { "soft line break (Shift+Enter)",
            [](QPlainTextEdit* box) {
                QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
                QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
                QTest::keyClicks(box, QStringLiteral("X"));
            },
            defaultHeader() + QStringLiteral("\r\nX") },
        { "everything cleared",
            [](QPlainTextEdit* box) {
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(box, Qt::Key_Delete);
            },
            QString() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        module.gsTestHeader = defaultHeader();
        auto window = open();
        c.edit(window->txtHeader);
        QTest::mouseClick(window->cmdOK, Qt::LeftButton);
        EXPECT_EQ(module.gsTestHeader, c.stored);
        // The next opening shows what was stored.
        EXPECT_EQ(open()->txtHeader->toPlainText(), shown(c.stored));
    }
}

// An edit in one line leaves every character of the other lines as it was: a no-break space
// (Windows-1252 0xA0) stays a no-break space and does not turn into a blank.
TEST_F(SetupWindowTest, EditKeepsTheCharactersOfTheOtherLines)
{
    const QChar nbsp(0x00A0);
    const struct Case {
        const char* name;
        QString header;
    } cases[] = {
        { "no-break space inside a line",
            QStringLiteral("SET TEMPO=100;") + nbsp + QStringLiteral("SET REPEATS=3") },
        { "no-break space at a line's end, CR LF after it",
            QStringLiteral("' drums") + nbsp + QStringLiteral("\r\nSET TEMPO=90") },
        { "line of no-break spaces alone", QString(3, nbsp) + QStringLiteral("\r\nSET A=1") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        module.gsTestHeader = c.header;
        auto window = open();
        QTest::keyClick(window->txtHeader, Qt::Key_End, Qt::ControlModifier);
        type(window->txtHeader, QStringLiteral("\nSET X=1"));
        QTest::mouseClick(window->cmdOK, Qt::LeftButton);
        EXPECT_EQ(module.gsTestHeader, c.header + QStringLiteral("\r\nSET X=1"));
    }
}

TEST_F(SetupWindowTest, ChangedMaximumAndNoKeepsTheMaximumButStoresTheHeader)
{
    fakes.dialogs.answers = { MsgAnswer::No };
    auto window = open();
    type(window->txtHeader, QStringLiteral("SET TEMPO=90\n"));
    pick(window->cboMaxNotes, QStringLiteral("48"));
    QTest::mouseClick(window->cmdOK, Qt::LeftButton);

    ASSERT_EQ(fakes.dialogs.boxes.size(), 1u);
    const ScriptedDialogs::Box& box = fakes.dialogs.boxes[0];
    EXPECT_EQ(box.text, kQuestion);
    EXPECT_EQ(box.title, QStringLiteral("Confirm restart"));
    EXPECT_EQ(box.icon, MsgIcon::Question);
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);

    EXPECT_EQ(module.gsTestHeader, QStringLiteral("SET TEMPO=90\r\n") + defaultHeader());
    EXPECT_EQ(module.giMaxNotes, 40);
    EXPECT_EQ(settingsBytes(), settingsWith("40"));
    EXPECT_EQ(fakes.programEnd.calls, 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(open()->cboMaxNotes->currentText(), QStringLiteral("40"));
}

TEST_F(SetupWindowTest, ChangedMaximumAndYesWritesTheFileAndEndsTheProgram)
{
    fakes.dialogs.answers = { MsgAnswer::Yes };
    auto window = open();
    pick(window->cboMaxNotes, QStringLiteral("48"));
    type(window->txtHeader, QStringLiteral("' mine\n"));
    QTest::mouseClick(window->cmdOK, Qt::LeftButton);

    ASSERT_EQ(fakes.dialogs.boxes.size(), 1u);
    EXPECT_EQ(fakes.dialogs.boxes[0].title, QStringLiteral("Confirm restart"));
    EXPECT_EQ(module.gsTestHeader, QStringLiteral("' mine\r\n") + defaultHeader());
    EXPECT_EQ(module.giMaxNotes, 48);
    EXPECT_EQ(settingsBytes(), settingsWith("48")); // only the one value changed
    EXPECT_EQ(fakes.programEnd.calls, 1);
    // Nothing runs after the end of the program: the window was not closed by OK.
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->result(), 0);

    // The next start reads the new maximum.
    FakeServices nextFakes;
    modRudimix next(nextFakes.services);
    next.ownFolder = folder.path();
    ASSERT_TRUE(next.Main());
    EXPECT_EQ(next.giMaxNotes, 48);
    EXPECT_TRUE(nextFakes.dialogs.boxes.empty());
}

TEST_F(SetupWindowTest, FailedWriteOfTheMaximumIsReportedAndNothingEnds)
{
    ASSERT_TRUE(QFile::setPermissions(
        settingsFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther)); // 0444
    fakes.dialogs.answers = { MsgAnswer::Yes };
    auto window = open();
    type(window->txtHeader, QStringLiteral("' kept\n"));
    pick(window->cboMaxNotes, QStringLiteral("64"));
    QTest::mouseClick(window->cmdOK, Qt::LeftButton);

    ASSERT_EQ(fakes.dialogs.boxes.size(), 2u);
    EXPECT_EQ(fakes.dialogs.boxes[0].text, kQuestion);
    const ScriptedDialogs::Box& error = fakes.dialogs.boxes[1];
    EXPECT_EQ(error.icon, MsgIcon::Error);
    EXPECT_EQ(error.buttons, MsgButtons::Ok);
    EXPECT_EQ(error.title, modRudimix::programTitle());
    EXPECT_TRUE(error.text.contains(QDir::toNativeSeparators(settingsFile())))
        << error.text.toStdString();
    EXPECT_TRUE(error.text.contains(QStringLiteral("Permission denied")))
        << error.text.toStdString();
    EXPECT_TRUE(error.text.contains(QStringLiteral("\n\nThe maximum stays at 40")))
        << error.text.toStdString();

    EXPECT_EQ(fakes.programEnd.calls, 0);
    EXPECT_EQ(module.giMaxNotes, 40);
    EXPECT_EQ(settingsBytes(), settingsWith("40"));
    EXPECT_EQ(module.gsTestHeader, QStringLiteral("' kept\r\n") + defaultHeader());
    // The window closes as after a No: reopening shows the maximum still in force.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(open()->cboMaxNotes->currentText(), QStringLiteral("40"));
}

TEST_F(SetupWindowTest, CancelEscAndCloseBoxStoreNothing)
{
    struct Case {
        const char* name;
        std::function<void(frmRAWsetup&)> leave;
    } cases[] = {
        { "CANCEL", [](frmRAWsetup& w) { QTest::mouseClick(w.cmdCancel, Qt::LeftButton); } },
        { "Esc in the header",
            [](frmRAWsetup& w) { QTest::keyClick(w.txtHeader, Qt::Key_Escape); } },
        { "Esc in the list",
            [](frmRAWsetup& w) { QTest::keyClick(w.cboMaxNotes, Qt::Key_Escape); } },
        { "close box", [](frmRAWsetup& w) { w.close(); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto window = open();
        type(window->txtHeader, QStringLiteral("SET TEMPO=200\n"));
        pick(window->cboMaxNotes, QStringLiteral("33"));
        c.leave(*window);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), QDialog::Rejected);
        EXPECT_EQ(module.gsTestHeader, defaultHeader());
        EXPECT_EQ(module.giMaxNotes, 40);
        auto again = open();
        EXPECT_EQ(again->txtHeader->toPlainText(), shown(defaultHeader()));
        EXPECT_EQ(again->cboMaxNotes->currentText(), QStringLiteral("40"));
    }
    EXPECT_TRUE(fakes.dialogs.boxes.empty());
    EXPECT_EQ(settingsBytes(), settingsWith("40"));
    EXPECT_EQ(fakes.programEnd.calls, 0);
}

TEST_F(SetupWindowTest, EnterOutsideTheHeaderPressesOk)
{
    auto window = open();
    EXPECT_TRUE(window->cmdOK->isDefault());
    type(window->txtHeader, QStringLiteral("' x\n")); // Enter in the box: a new line
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(window->cboMaxNotes, Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(module.gsTestHeader, QStringLiteral("' x\r\n") + defaultHeader());
}
