#pragma once

#include "practiceschedule.h"
#include "strokematch.h"

#include <QColor>
#include <QObject>
#include <map>
#include <tuple>

class QPainter;
class QRectF;

// How each note of the pattern was last played: its offset, or missed, per voice, for the marks
// the grid and the Staff view draw (a mark left or right of the note's start by its offset,
// coloured by its size; a cross for a missed note).
namespace standin {

struct StrokeMark {
    bool missed = false;
    double offset = 0; // seconds, late is +
    bool dynamicsOff = false;
};

// Within 10 ms, within 25 ms, beyond.
enum class MarkSize { Close, Near, Far };
MarkSize markSize(double offset);
QColor markColour(const StrokeMark& mark);

class StrokeMarks : public QObject {
    Q_OBJECT
public:
    void clear();
    // A hit or a miss of the pattern's (an intro's or a transition's note makes no mark).
    void add(const StrokeResult& result);
    // The mark of a note's voice (note from 0, voice 0 for A), null for none.
    const StrokeMark* at(std::size_t note, int voice) const;
    // The note's worst mark over its voices, null for none.
    const StrokeMark* worst(std::size_t note) const;
    bool empty() const { return mMarks.empty(); }

signals:
    void changed();

private:
    std::map<std::pair<std::size_t, int>, StrokeMark> mMarks;
};

// Paints one mark at x (the note's start) within the row from top to bottom, pixelsPerSecond
// away for its offset.
void paintMark(QPainter& painter, const StrokeMark& mark, double x, double top, double bottom,
    double pixelsPerSecond);

} // namespace standin
