#pragma once

#include "sheet.h"

#include <QFont>
#include <QLineF>
#include <QPointF>
#include <QString>
#include <utility>
#include <vector>

// The sheet laid out as a drum staff in pixels: lines of measures wrapped to a width, each drawn
// thing (staff lines, noteheads, stems, beams, flags, rests, ties, tuplet brackets, accents, marks,
// sticking) placed, with the note it belongs to. Worked out apart from any widget, so that the
// practice window, the PDF and the SVG draw the same staff (see staffpainter.h), and so that it can
// be checked and measured. Texts are measured with QFont, so a QGuiApplication must exist.
namespace standin::staff {

// The note an item is drawn for (its section in the sheet and its note there), so that the one
// that sounds can be highlighted; kNobody for the rest of the staff.
inline constexpr int kNobody = -1;
inline int ownerOf(int section, int note)
{
    return (section << 20) | note;
}

enum class TextStyle { Sticking, Tuplet, TimeSignature, Mark, Tempo, Repeat, Legend, Title, Raw };

// The font of a text style for a staff space of that many pixels (sizes in pixels, so that every
// device draws it alike).
QFont textFont(TextStyle style, double space);
// How a text that wraps is broken: RAW lines anywhere, the rest between words.
int wrapFlags(TextStyle style);

// Everything drawn, in pixels.
struct Items {
    struct Line {
        QLineF line;
        double width = 1;
        int owner = kNobody;
    };
    struct Head {
        QPointF at; // its centre
        sheet::Head shape = sheet::Head::Normal;
        bool hollow = false; // a half or whole note
        double scale = 1; // grace notes are smaller
        int owner = kNobody;
    };
    struct Rest {
        QPointF at; // its centre
        int type = 4; // 1 whole ... 64
        int owner = kNobody;
    };
    struct Flag {
        QPointF tip; // the stem's end
        int count = 1;
        bool up = true;
        double scale = 1;
        bool slashed = false; // a grace note's slash through stem and flag
        int owner = kNobody;
    };
    struct Dot {
        QPointF at;
        double radius = 1;
        int owner = kNobody;
    };
    struct Curve { // a tie or a slur
        QPointF from;
        QPointF to;
        double bend = 0; // how far its middle lies below the chord (negative: above)
        int owner = kNobody;
    };
    enum class SignKind { Accent, Open, ParenLeft, ParenRight, Triangle };
    struct Sign {
        SignKind kind = SignKind::Accent;
        QPointF at;
        double scale = 1;
        int owner = kNobody;
    };
    struct Text {
        QPointF at; // its anchor: the middle of its line, at the alignment's side
        QString text;
        TextStyle style = TextStyle::Sticking;
        int align = 0; // -1 left, 0 centre, 1 right of the anchor
        bool boxed = false; // a rehearsal mark
        double wrap = 0; // the width it wraps at (0: one line), top-left at the anchor
        int owner = kNobody;
    };

    std::vector<Line> lines;
    std::vector<Head> heads;
    std::vector<Rest> rests;
    std::vector<Flag> flags;
    std::vector<Dot> dots;
    std::vector<Curve> curves;
    std::vector<Sign> signs;
    std::vector<Text> texts;

    void shift(double dy);
};

// One line of the staff: its measures and where they lie.
struct System {
    double top = 0; // the topmost thing drawn
    double bottom = 0; // below its sticking row
    double staffTop = 0; // the top staff line (step 8); the bottom line is 4 spaces lower
    double left = 0;
    double right = 0; // where its staff lines end
    double stickingY = 0; // the middle of the sticking row
    int firstMeasure = 0;
    int measureCount = 0;
    Items items;
};

// A note that sounds, where it lies: the place a click in the sticking row under it sets.
struct NoteSpot {
    int section = 0;
    int note = 0; // in its section
    int system = 0;
    double x = 0; // its noteheads' centre
    long long start = 0; // ticks from its section's start
    long long end = 0;
    QString sticking;
};

struct StaffLayout {
    double width = 0;
    double height = 0;
    double space = 8; // pixels between two staff lines
    std::vector<System> systems;
    Items legend; // the keys without a place of their own, under the last line
    std::vector<NoteSpot> notes; // by section, then time
    // Per measure of the sheet: its system and the x of its ticks (measure-relative tick, x), from
    // its first note to its bar line, for the playhead; system -1 for one not drawn.
    std::vector<std::pair<int, std::vector<std::pair<long long, double>>>> measures;
    int measuresLeftOut = 0; // past kMaxDrawnMeasures, said under the staff

    // The x of a tick of a measure (between its notes in proportion); its system in system.
    double xAt(int measure, double tick, int& system) const;
    // The note that sounds at that tick of the section, or null.
    const NoteSpot* noteAt(int section, double tick) const;
    // The sounding note whose sticking a click at that point sets: the nearest under the staff,
    // or null.
    const NoteSpot* stickingAt(QPointF point) const;
};

inline constexpr double kDefaultSpace = 8;
// The most measures drawn (about 30 A4 pages); a longer sheet's staff says how many it leaves out.
inline constexpr std::size_t kMaxDrawnMeasures = 1000;

// Lays the sheet out for a width in pixels, lines wrapped to it, from y 0 down.
StaffLayout layoutStaff(const sheet::Sheet& sheet, double width, double space = kDefaultSpace);

} // namespace standin::staff
