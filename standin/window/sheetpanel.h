#pragma once

#include "practiceschedule.h"
#include "script.h"
#include "sheet.h"
#include "sticking.h"

#include <QObject>
#include <array>
#include <string>
#include <vector>

class QMenu;
class QPushButton;
class QSettings;
class QStackedWidget;
class QWidget;

// The practice window's sheet: the Grid or the Staff view (the "Staff" toggle, key N, kept in the
// window's settings), the sticking under both that the user sets and the window remembers per RAW
// line, and File > "Export Sheet..." and "Print...". The window hands it each script it loads.
namespace standin {

class PatternGrid;
class StaffView;
class StickingRow;

class SheetPanel : public QObject {
    Q_OBJECT
public:
    // grid: the window's grid, put in the panel's views; toggle: the window's checkable "Staff"
    // button; window: the parent of its dialogs.
    SheetPanel(PatternGrid* grid, QPushButton* toggle, QSettings& settings, QWidget* window);

    QWidget* views() const;
    QPushButton* toggle() const { return mToggle; }
    StaffView* staffView() const { return mStaff; }
    void addMenuEntries(QMenu* file);

    // The script as the window plays it: its sticking, else the one remembered for its RAW lines.
    void load(const Script& script, bool noTimeSignature, const PracticeSchedule& schedule);
    void setPosition(const PracticeSchedule::Position& position);

    // The hands of a section's notes (trailing empty entries left out).
    std::vector<std::string> hands(SectionKind kind) const;
    void cycle(SectionKind kind, int note); // R, L, RL, none
    void alternate(SectionKind kind, int note); // "Alternate from here"
    // The script's bytes with the sticking set here, for Save As.
    std::string scriptWithSticking(const std::string& bytes) const;

    const sheet::Sheet& currentSheet() const { return mSheet; }
    // Writes the sheet as its name's extension says (.musicxml, .pdf, .svg), as --sheet does.
    bool exportSheet(const QString& path);

signals:
    void message(const QString& text, bool failure);

private:
    void setHands(SectionKind kind, std::vector<std::string> hands);
    void rebuild();
    void showStaff(bool on);
    void exportDialog();
    void printDialog();

    QSettings& mSettings;
    QWidget* mWindow;
    PatternGrid* mGrid;
    StickingRow* mRow;
    StaffView* mStaff;
    QStackedWidget* mStack;
    QPushButton* mToggle;
    StickingMemory mMemory;
    const PracticeSchedule* mSchedule = nullptr;
    Script mOriginal; // as read, for Save As
    Script mScript; // with the sticking set here
    bool mNoTimeSignature = false;
    sheet::Sheet mSheet;
    QString mExportFolder;
};

} // namespace standin
