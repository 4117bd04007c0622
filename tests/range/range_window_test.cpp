// The range editor window itself: its controls, their places, and what each opening presets.
#include "classiccontrols.h"
#include "rangefixture.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionComboBox>

namespace {

// Places in twips, 15 to a pixel, relative to the window's client area or to the frame.
struct Place {
    const char* name;
    const char* parent;
    int left, top, width, height;
};

const Place kPlaces[] = {
    { "Label1", "frmElementSettings", 60, 30, 6225, 1065 },
    { "SSFrame1", "frmElementSettings", 90, 1380, 5925, 975 },
    { "cboVolume", "SSFrame1", 210, 510, 465, 315 },
    { "optVolume_0", "SSFrame1", 780, 540, 1785, 255 },
    { "optVolume_1", "SSFrame1", 3090, 540, 1395, 255 },
    { "cmdSetVolume", "SSFrame1", 4980, 180, 885, 705 },
    { "SSFrame2", "frmElementSettings", 90, 2400, 4005, 1035 },
    { "cboType", "SSFrame2", 180, 420, 2805, 315 },
    { "cmdApplyNoteChanges", "SSFrame2", 3060, 150, 885, 825 },
    { "cmdClose", "frmElementSettings", 5340, 2970, 945, 495 },
};

QRect wordWrapped(const QFont& font, const QRect& box, const QString& text)
{
    return QFontMetrics(font).boundingRect(
        QRect(box.topLeft(), QSize(box.width(), 100000)), Qt::AlignLeft | Qt::TextWordWrap, text);
}

} // namespace

using RangeWindow = RangeFixture;

TEST_F(RangeWindow, ControlsStandAtTheirPlaces)
{
    frmElementSettings w(*editor);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Change Multiple Note Settings"));
    EXPECT_EQ(w.size(), QSize(420, 233)); // 6300 x 3495 twips
    EXPECT_EQ(w.parentWidget(), editor.get());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    for (const Place& p : kPlaces) {
        SCOPED_TRACE(p.name);
        auto* control = w.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(p.parent));
        EXPECT_EQ(control->geometry(), QRect(p.left / 15, p.top / 15, p.width / 15, p.height / 15));
    }
}

TEST_F(RangeWindow, CaptionsListsAndTooltip)
{
    frmElementSettings w(*editor);
    EXPECT_TRUE(w.Label1->text().startsWith(QStringLiteral("The items on this screen rely on")));
    EXPECT_TRUE(w.Label1->text().endsWith(QStringLiteral("which elements you want to change.")));
    EXPECT_EQ(w.SSFrame1->title(), QStringLiteral("Volume Changes"));
    EXPECT_EQ(w.SSFrame2->title(), QStringLiteral("Note Type"));
    EXPECT_EQ(w.optVolume[0]->text(), QStringLiteral("Set all to this volume"));
    EXPECT_EQ(w.optVolume[1]->text(), QStringLiteral("(De)Crescendo"));
    EXPECT_EQ(w.optVolume[1]->toolTip(),
        QStringLiteral("This will apply a straight-line (de)crescendo using the selected range's "
                       "start and end volumes"));
    EXPECT_EQ(w.cmdSetVolume->text(), QStringLiteral("Apply Volume Changes"));
    EXPECT_EQ(w.cmdApplyNoteChanges->text(), QStringLiteral("Apply Note Type Changes"));
    EXPECT_EQ(w.cmdClose->text(), QStringLiteral("CLOSE"));

    EXPECT_FALSE(w.cboVolume->isEditable());
    ASSERT_EQ(w.cboVolume->count(), 9);
    for (int v = 1; v <= 9; ++v)
        EXPECT_EQ(w.cboVolume->itemText(v - 1), QString::number(v));

    const char* const types[] = { "1 - Quarter Note", "2 - 8th Note",
        "3 - 8th Note Triplet (12th Note)", "4 - 16th Note", "5 - 16th Note Triplet (24th Note)",
        "6 - 32nd Note", "7 - 32nd Note Triplet (48th Note)", "8 - 8th Note Quintuplet (20th Note)",
        "9 - 5 over 3 16ths", "A - Note A", "B - Note B", "C - Note C", "D - Note D", "E - Note E",
        "F - Note F" };
    EXPECT_FALSE(w.cboType->isEditable());
    ASSERT_EQ(w.cboType->count(), 15);
    for (int code = 1; code <= 15; ++code) {
        EXPECT_EQ(w.cboType->itemText(code - 1), QString::fromLatin1(types[code - 1]));
        EXPECT_EQ(w.cboType->itemData(code - 1).toInt(), code);
    }
}

TEST_F(RangeWindow, OptionButtonsAreOneGroup)
{
    auto w = open();
    EXPECT_TRUE(w->optVolume[1]->isChecked());
    EXPECT_FALSE(w->optVolume[0]->isChecked());
    w->optVolume[0]->click();
    EXPECT_TRUE(w->optVolume[0]->isChecked());
    EXPECT_FALSE(w->optVolume[1]->isChecked());
    w->optVolume[0]->click(); // clicking the selected one keeps it selected
    EXPECT_TRUE(w->optVolume[0]->isChecked());
    w->optVolume[1]->click();
    EXPECT_FALSE(w->optVolume[0]->isChecked());
    EXPECT_EQ(w->optVolumeGroup->checkedId(), 1);
}

TEST_F(RangeWindow, TabOrder)
{
    frmElementSettings w(*editor);
    const std::vector<QWidget*> expected = { w.cmdClose, w.optVolume[0], w.optVolume[1],
        w.cmdSetVolume, w.cmdApplyNoteChanges, w.cboVolume, w.cboType };
    std::vector<QWidget*> order;
    QWidget* next = w.cmdClose;
    do {
        if (next->focusPolicy() & Qt::TabFocus)
            order.push_back(next);
        next = next->nextInFocusChain();
    } while (next != w.cmdClose);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(w.Label1->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.SSFrame1->focusPolicy(), Qt::NoFocus);
}

TEST_F(RangeWindow, CaptionsAreReadableInTheirBoxes)
{
    auto w = open();
    // The caption: blue, bold, near 12 pt in whatever sans face is installed, wholly inside
    // its box.
    const QFont font = w->Label1->font();
    EXPECT_TRUE(font.bold());
    EXPECT_GE(font.pointSizeF(), 9.0);
    EXPECT_LE(font.pointSizeF(), 12.0);
    EXPECT_FALSE(QFontInfo(font).family().isEmpty());
    EXPECT_EQ(w->Label1->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    const QRect box = w->Label1->contentsRect();
    const QRect needed = wordWrapped(font, box, w->Label1->text());
    EXPECT_LE(needed.bottom(), box.bottom());
    EXPECT_LE(needed.right(), box.right());

    for (WrapButton* button : w->findChildren<WrapButton*>()) {
        SCOPED_TRACE(button->objectName().toStdString());
        const QRect caption = button->captionRect();
        const QRect text = wordWrapped(button->font(), caption, button->text());
        EXPECT_LE(text.width(), caption.width());
        EXPECT_LE(text.height(), caption.height());
    }
    for (QRadioButton* option : w->optVolume) {
        SCOPED_TRACE(option->objectName().toStdString());
        QStyleOptionButton style;
        style.initFrom(option);
        const QRect contents
            = option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option);
        EXPECT_LE(option->fontMetrics().horizontalAdvance(option->text()), contents.width());
        EXPECT_LE(option->fontMetrics().height(), option->height());
        // With the installed faces the captions keep the window's own size.
        EXPECT_EQ(option->font().pointSizeF(), w->font().pointSizeF());
    }
    for (CaptionFrame* frame : w->findChildren<CaptionFrame*>()) {
        SCOPED_TRACE(frame->objectName().toStdString());
        const QRect edge = frame->edgeRect();
        EXPECT_TRUE(frame->rect().contains(frame->captionRect()));
        EXPECT_LE(
            frame->fontMetrics().horizontalAdvance(frame->title()), frame->captionRect().width());
        // The controls of the frame lie inside its edge.
        for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow())
                continue;
            EXPECT_TRUE(edge.adjusted(1, 1, -1, -1).contains(child->geometry()))
                << child->objectName().toStdString();
        }
    }
    for (QComboBox* list : { w->cboVolume, w->cboType }) {
        SCOPED_TRACE(list->objectName().toStdString());
        QStyleOptionComboBox style;
        style.initFrom(list);
        const QRect field = list->style()->subControlRect(
            QStyle::CC_ComboBox, &style, QStyle::SC_ComboBoxEditField, list);
        // the label is drawn one pixel in from each side of the field
        EXPECT_LE(list->fontMetrics().horizontalAdvance(list->currentText()), field.width() - 2);
        EXPECT_LE(list->fontMetrics().height(), field.height() + 2);
    }
}

TEST_F(RangeWindow, EveryOpeningPresetsTheListsTheModeAndTheFocus)
{
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        auto w = open();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        EXPECT_TRUE(w->fbActivated);
        EXPECT_EQ(w->cboVolume->currentText(), QStringLiteral("5"));
        EXPECT_EQ(w->cboType->currentText(), QStringLiteral("1 - Quarter Note"));
        EXPECT_EQ(w->cboType->currentData().toInt(), 1);
        EXPECT_TRUE(w->optVolume[1]->isChecked());
        EXPECT_EQ(QApplication::focusWidget(), w->cboType);

        // The user changes everything, then comes back to the window: a later activation
        // keeps the choices.
        w->cboVolume->setCurrentIndex(2);
        w->cboType->setCurrentIndex(11);
        w->optVolume[0]->click();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(w.get(), &activate);
        EXPECT_EQ(w->cboVolume->currentText(), QStringLiteral("3"));
        EXPECT_EQ(w->cboType->currentText(), QStringLiteral("C - Note C"));
        EXPECT_TRUE(w->optVolume[0]->isChecked());

        w->cmdClose->click();
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(RangeWindow, EscapeDoesNotCloseIt)
{
    auto w = open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w->cboType, Qt::Key_Escape);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->close()); // the close box
    EXPECT_FALSE(w->isVisible());
}
