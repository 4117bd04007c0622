#include "fakes.h"
#include "modrudimix.h"
#include "qtservices.h"
#include "tempdir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

// The real Qt boxes, driven as a user would: find the modal box, read it, press a button.

namespace {

// Waits (inside the box's own event loop) for a modal widget to show, then hands it to act.
// Pending polls die with the watcher.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> act)
        : mAct(std::move(act))
    {
        QTimer::singleShot(0, &mContext, [this] { poll(); });
    }
    bool seen() const { return mSeen; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            mSeen = true;
            mAct(modal);
            return;
        }
        if (++mTries < 1000) // 10 s at least: only a box that never shows ends the polls
            QTimer::singleShot(10, &mContext, [this] { poll(); });
    }

    std::function<void(QWidget*)> mAct;
    QObject mContext;
    int mTries = 0;
    bool mSeen = false;
};

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Reads the message box and presses its OK button.
std::function<void(QWidget*)> pressOk(SeenBox& seen)
{
    return [&seen](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = int(box->buttons().size());
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
    };
}

class RealBoxes : public ::testing::Test {
protected:
    QtDialogs dialogs;
    FakeServices fake;
    Services services { dialogs, fake.clipboard, fake.launcher, fake.programEnd, fake.registry };
    modRudimix module { services };
    TempFolder own;
    int editorShown = 0;

    void SetUp() override
    {
        module.ownFolder = own.path();
        module.showEditor = [this] { ++editorShown; };
    }
};

} // namespace

TEST_F(RealBoxes, NoSettingsFileShowsTheWarningBoxThenEnds)
{
    SeenBox seen;
    ModalWatcher watcher(pressOk(seen));
    EXPECT_FALSE(module.Main());
    EXPECT_TRUE(watcher.seen());
    EXPECT_EQ(seen.title, "TAMBRIX.EXE has to be Initialized!");
    EXPECT_EQ(seen.text,
        "You have to run the TAMBRIX.EXE file once to initialize before you can continue with "
        "this program.");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(fake.programEnd.calls, 1);
    EXPECT_EQ(editorShown, 0);
}

TEST_F(RealBoxes, OutOfRangeMaximumShowsTheInformationBoxThenEnds)
{
    TempFolder::write(own.file("TAMBRIX.INI"), "[program]\r\nMaxRudimixNotes=99999\r\n");
    SeenBox seen;
    ModalWatcher watcher(pressOk(seen));
    EXPECT_FALSE(module.Main());
    EXPECT_TRUE(watcher.seen());
    EXPECT_EQ(seen.title, "Invalid number of notes");
    EXPECT_EQ(seen.text, "The maximum number of notes has to be between 32 and 64");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(fake.programEnd.calls, 1);
    EXPECT_EQ(editorShown, 0);
}

TEST_F(RealBoxes, QuestionBoxAnswersYesOrNo)
{
    for (const auto button : { QMessageBox::Yes, QMessageBox::No }) {
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        ModalWatcher watcher([&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            icon = box->icon();
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        });
        const MsgAnswer answer
            = dialogs.messageBox("Sure?", "Question", MsgIcon::Question, MsgButtons::YesNo);
        EXPECT_TRUE(watcher.seen());
        EXPECT_EQ(answer, button == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No);
        EXPECT_EQ(title, "Question");
        EXPECT_EQ(icon, QMessageBox::Question);
    }
}

TEST_F(RealBoxes, InputBoxGivesTheTypedTextOrEmptyOnCancel)
{
    QString title;
    QString label;
    QString shownDefault;
    ModalWatcher typeAndAccept([&](QWidget* widget) {
        auto* dialog = qobject_cast<QInputDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        label = dialog->labelText();
        auto* edit = dialog->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        shownDefault = edit->text();
        edit->selectAll();
        QTest::keyClicks(edit, "48X,45");
        edit->insert(QStringLiteral("\r\n65,65")); // pasted with a line end and a second line
        EXPECT_EQ(edit->text(), "48X,45"); // the field shows what it gives
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    EXPECT_EQ(dialogs.inputBox("Paste a RAW line", "Paste", "old"), "48X,45");
    EXPECT_TRUE(typeAndAccept.seen());
    EXPECT_EQ(title, "Paste");
    EXPECT_EQ(label, "Paste a RAW line");
    EXPECT_EQ(shownDefault, "old");

    ModalWatcher cancel([&](QWidget* widget) {
        auto* buttons = widget->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        QTest::keyClicks(widget->findChild<QLineEdit*>(), "typed");
        QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    EXPECT_TRUE(dialogs.inputBox("Paste a RAW line", "Paste", "old").isEmpty());
    EXPECT_TRUE(cancel.seen());
}
