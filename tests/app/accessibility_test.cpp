// What a screen reader meets in the three windows: every control it can act on has a name of
// its own, and a note's controls carry the note's description.
#include "fakes.h"
#include "frmelementsettings.h"
#include "frmrawsetup.h"
#include "frmrudimix.h"
#include "modrudimix.h"
#include "picturebutton.h"

#include <QAccessible>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>

using namespace Qt::StringLiterals;

namespace {

struct Control {
    QAccessible::Role role;
    QString description;
    QString label; // the name of the first control that labels it
};

// The controls of the window's accessible tree that the user can act on, by name; a name that
// two controls share (or none has) is counted in `clashes`.
void collect(QAccessibleInterface* node, std::map<QString, Control>& controls, QStringList& clashes)
{
    static const QAccessible::Role kActive[] = { QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::PushButton, QAccessible::ScrollBar, QAccessible::Slider, QAccessible::ComboBox,
        QAccessible::EditableText, QAccessible::SpinBox, QAccessible::MenuItem };
    if (!node || node->state().invisible)
        return;
    if (std::find(std::begin(kActive), std::end(kActive), node->role()) != std::end(kActive)) {
        const QString name = node->text(QAccessible::Name);
        if (name.isEmpty() || controls.count(name))
            clashes << (name.isEmpty() ? QStringLiteral("(no name) ") + node->object()->objectName()
                                       : name);
        const auto labels = node->relations(QAccessible::Label);
        controls[name] = { node->role(), node->text(QAccessible::Description),
            labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name) };
    }
    for (int k = 0; k < node->childCount(); ++k)
        collect(node->child(k), controls, clashes);
}

std::map<QString, Control> controlsOf(QWidget& window)
{
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    std::map<QString, Control> controls;
    QStringList clashes;
    collect(QAccessible::queryAccessibleInterface(&window), controls, clashes);
    EXPECT_TRUE(clashes.isEmpty())
        << window.objectName().toStdString() << ": " << clashes.join(u", ").toStdString();
    return controls;
}

} // namespace

TEST(Accessibility, EveryControlOfTheThreeWindowsHasANameOfItsOwn)
{
    FakeServices fakes;
    modRudimix module(fakes.services);
    module.giMaxNotes = 64;
    frmRudimix editor(module);
    frmElementSettings range(editor);
    frmRAWsetup setup(module, &editor);

    const auto editorControls = controlsOf(editor);
    const auto rangeControls = controlsOf(range);
    const auto setupControls = controlsOf(setup);
    // the columns; 4 menu items, the RAW line, 3 buttons, 2 range boxes and 2 range bars
    EXPECT_EQ(editorControls.size(), 64u * 9 + 12);

    // A list's name is its value here; its caption comes as its label.
    struct Case {
        const std::map<QString, Control>& controls;
        const char* name;
        QAccessible::Role role;
        QString description; // empty: not checked
        QString label; // empty: not checked
    };
    const QString note5 = QStringLiteral("Note # 5  -  Type 4;  Vol 5;  Voices=A");
    const Case cases[] = {
        { editorControls, "Note 5 type", QAccessible::ScrollBar, note5, {} },
        { editorControls, "Note 5 volume", QAccessible::ScrollBar, note5, {} },
        { editorControls, "Note 5 flam", QAccessible::CheckBox, note5, {} },
        { editorControls, "Note 1 voice C", QAccessible::CheckBox,
            QStringLiteral("Note # 1  -  Type 4;  Vol 8;  Flammed;  Voices=A"), {} },
        { editorControls, "Note 64 voice F", QAccessible::CheckBox, {}, {} },
        { editorControls, "Range from", QAccessible::ScrollBar, {}, {} },
        { editorControls, "Range to", QAccessible::ScrollBar, {}, {} },
        { editorControls, "TEST", QAccessible::PushButton, editor.cmdTest->toolTip(), {} },
        { editorControls, "RAW line", QAccessible::EditableText, {}, {} },
        { rangeControls, "1 - Quarter Note", QAccessible::ComboBox, {}, u"Note Type"_s },
        { rangeControls, "Apply Volume Changes", QAccessible::PushButton, {}, {} },
        { setupControls, "Top of the test file", QAccessible::EditableText, {}, {} },
        { setupControls, "64", QAccessible::ComboBox, {}, frmRAWsetup::panelCaption() },
        { setupControls, "CANCEL", QAccessible::PushButton, {}, {} },
    };
    for (const Case& c : cases) {
        const auto found = c.controls.find(QString::fromLatin1(c.name));
        ASSERT_NE(found, c.controls.end()) << c.name;
        EXPECT_EQ(found->second.role, c.role) << c.name;
        if (!c.label.isEmpty()) {
            EXPECT_EQ(found->second.label.toStdString(), c.label.toStdString()) << c.name;
        }
        if (!c.description.isEmpty()) {
            EXPECT_EQ(found->second.description.toStdString(), c.description.toStdString())
                << c.name;
        }
    }
}
