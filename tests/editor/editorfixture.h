#pragma once

#include "cellcheckbox.h"
#include "fakes.h"
#include "frmrudimix.h"
#include "modrudimix.h"
#include "notation.h"
#include "picturebutton.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Texts show as texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// The editor window on fake platform services, loaded with a given maximum of note columns.
class EditorTest : public ::testing::Test {
protected:
    FakeServices fakes;
    modRudimix module { fakes.services };
    std::unique_ptr<frmRudimix> editor;

    static constexpr const char* kStartLine
        = "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";

    void load(int maxNotes = 32, bool shown = false)
    {
        module.giMaxNotes = std::int16_t(maxNotes);
        editor = std::make_unique<frmRudimix>(module);
        if (shown) {
            editor->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
        }
    }

    QString line() const { return editor->txtRAW->text(); }
    QStringList tokens() const { return line().split(QLatin1Char(',')); }

    // The note that column i holds, read through the column mapping.
    notation::Note note(int i) const
    {
        notation::Note n;
        n.res = std::int16_t(notation::resFromPosition(editor->VertRes(i)->value()));
        n.vol = std::int16_t(notation::volFromPosition(editor->VertVolume(i)->value()));
        n.flammed = editor->chkFlammed(i)->isChecked();
        n.voices = 0;
        for (int letter = 0; letter < 6; ++letter)
            if (editor->chkVoice(letter, i)->isChecked())
                n.voices = std::int16_t(n.voices | (1 << letter));
        return n;
    }

    bool columnEnabled(int i) const
    {
        bool all = editor->chkFlammed(i)->isEnabled() && editor->VertRes(i)->isEnabled()
            && editor->VertVolume(i)->isEnabled();
        bool any = editor->chkFlammed(i)->isEnabled() || editor->VertRes(i)->isEnabled()
            || editor->VertVolume(i)->isEnabled();
        for (int letter = 0; letter < 6; ++letter) {
            all = all && editor->chkVoice(letter, i)->isEnabled();
            any = any || editor->chkVoice(letter, i)->isEnabled();
        }
        EXPECT_EQ(all, any) << "column " << i << " is partly enabled";
        return all;
    }

    int enabledColumns() const
    {
        int count = 0;
        for (int i = 0; i < editor->columnCount(); ++i)
            count += columnEnabled(i) ? 1 : 0;
        return count;
    }

    // Where a part of a scroll bar lies on screen, as its style lays it out.
    static QRect part(QScrollBar* bar, QStyle::SubControl control)
    {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.subControls = QStyle::SC_All;
        option.orientation = bar->orientation();
        if (bar->orientation() == Qt::Horizontal)
            option.state |= QStyle::State_Horizontal;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.upsideDown = false;
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, control, bar);
    }

    static void clickPart(QScrollBar* bar, QStyle::SubControl control)
    {
        QTest::mouseClick(bar, Qt::LeftButton, {}, part(bar, control).center());
    }

    static void dragTo(QWidget* widget, QPoint pos)
    {
        QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
};
