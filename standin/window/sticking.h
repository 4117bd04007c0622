#pragma once

#include "practiceschedule.h"
#include "script.h"

#include <QString>
#include <string>
#include <vector>

class QPoint;
class QSettings;
class QWidget;

// The sticking the user gives the notes in the practice window: a click's next hand, "Alternate
// from here", the comment lines Save As writes, and the window's memory of the sticking set for a
// RAW line (a TEST from the editor hands over a script without it).
namespace standin {

// What a click under a note makes of its hands: R, L, RL, none, and round again.
std::string nextHand(const std::string& hands);

// R L R L from the note on, over the notes that sound (rests get none); from L when the note has
// L already, else from R.
void alternateFrom(
    std::vector<std::string>& hands, const std::vector<PatternNote>& notes, int note);

// The menu of a note's sticking, shown at a point on the screen: true when the user chose
// "Alternate from here".
bool alternateChosen(QWidget* parent, const QPoint& at);

// The entries without the empty ones at the end.
std::vector<std::string> trimmed(std::vector<std::string> hands);

// The script's bytes with the stickings written as its comment lines "' STICKING [name]=R,L,...":
// each one that differs from the script's own replaces its line (or follows the pattern's RAW
// line, with its line ending), one with no entry is removed. Everything else stays byte for byte;
// with no change the bytes are the same.
std::string withStickings(
    const std::string& bytes, const Script& script, const std::vector<Sticking>& stickings);

// The RAW line of a section as Copy RAW line writes it, the key the memory keeps a sticking by.
QString rawLineOf(const PracticeSchedule& schedule, SectionKind kind);

inline constexpr int kRememberedLines = 200;

// The sticking set for each RAW line, in the window's settings: the last kRememberedLines lines.
class StickingMemory {
public:
    explicit StickingMemory(QSettings& settings)
        : mSettings(settings)
    {
    }
    std::vector<std::string> recall(const QString& raw) const;
    // Kept as the newest; no entry forgets the line.
    void remember(const QString& raw, const std::vector<std::string>& hands);

private:
    QSettings& mSettings;
};

} // namespace standin
