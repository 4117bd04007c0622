#pragma once

#include "fakes.h"
#include "frmelementsettings.h"
#include "frmrudimix.h"
#include "modrudimix.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// The real editor window on fake services, and the range editor opened over it.
class RangeFixture : public ::testing::Test {
protected:
    void SetUp() override { makeEditor(32); }

    void makeEditor(int maxNotes)
    {
        editor.reset();
        module = std::make_unique<modRudimix>(fakes.services);
        module->giMaxNotes = std::int16_t(maxNotes);
        editor = std::make_unique<frmRudimix>(*module);
    }

    // A line into the columns, as the Paste command brings it in.
    void load(const QString& line)
    {
        editor->ReadRawText(line);
        editor->SetNumberOfNotes(editor->fiNumNotes);
        ASSERT_EQ(editor->txtRAW->text(), line);
    }

    // The range as the user picks it, with the editor's two range scroll bars (1-based).
    void setRange(int from, int to)
    {
        editor->HVolFrom->setValue(from);
        editor->HVolTo->setValue(to);
        ASSERT_EQ(editor->txtFrom->text(), QString::number(from));
        ASSERT_EQ(editor->txtTo->text(), QString::number(to));
    }

    // Opens the range editor as the Range... button does, but without blocking.
    std::unique_ptr<frmElementSettings> open()
    {
        auto window = std::make_unique<frmElementSettings>(*editor);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    std::vector<int> volumePositions() const
    {
        std::vector<int> positions;
        for (int i = 0; i < editor->columnCount(); ++i)
            positions.push_back(editor->VertVolume(i)->value());
        return positions;
    }
    std::vector<int> typePositions() const
    {
        std::vector<int> positions;
        for (int i = 0; i < editor->columnCount(); ++i)
            positions.push_back(editor->VertRes(i)->value());
        return positions;
    }
    // Volume digits of columns from .. to (1-based, both included).
    std::vector<int> volumes(int from, int to) const
    {
        std::vector<int> digits;
        for (int n = from; n <= to; ++n)
            digits.push_back(9 - editor->VertVolume(n - 1)->value());
        return digits;
    }
    QString raw() const { return editor->txtRAW->text(); }

    FakeServices fakes;
    std::unique_ptr<modRudimix> module;
    std::unique_ptr<frmRudimix> editor;
};
