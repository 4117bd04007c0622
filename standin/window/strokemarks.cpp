#include "strokemarks.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace standin {

MarkSize markSize(double offset)
{
    const double ms = std::abs(offset) * 1000;
    return ms <= 10 ? MarkSize::Close : ms <= 25 ? MarkSize::Near : MarkSize::Far;
}

QColor markColour(const StrokeMark& mark)
{
    if (mark.missed)
        return QColor(120, 120, 120);
    switch (markSize(mark.offset)) {
    case MarkSize::Close:
        return QColor(20, 150, 60);
    case MarkSize::Near:
        return QColor(215, 140, 0);
    case MarkSize::Far:
        break;
    }
    return QColor(210, 30, 30);
}

void StrokeMarks::clear()
{
    if (mMarks.empty())
        return;
    mMarks.clear();
    emit changed();
}

void StrokeMarks::add(const StrokeResult& result)
{
    if (result.kind == StrokeResult::Kind::Extra || !result.expected.graded
        || result.expected.note < 1)
        return;
    StrokeMark mark;
    mark.missed = result.kind == StrokeResult::Kind::Missed;
    mark.offset = result.offset;
    mark.dynamicsOff = result.dynamicsOff;
    const std::size_t note = std::size_t(result.expected.note - 1);
    for (int voice = 0; voice < 6; ++voice)
        if (result.expected.voices & (1u << voice))
            mMarks[{ note, voice }] = mark;
    emit changed();
}

const StrokeMark* StrokeMarks::at(std::size_t note, int voice) const
{
    const auto found = mMarks.find({ note, voice });
    return found == mMarks.end() ? nullptr : &found->second;
}

const StrokeMark* StrokeMarks::worst(std::size_t note) const
{
    const StrokeMark* worst = nullptr;
    for (auto it = mMarks.lower_bound({ note, 0 }); it != mMarks.end() && it->first.first == note;
         ++it)
        if (!worst || it->second.missed
            || (!worst->missed && std::abs(it->second.offset) > std::abs(worst->offset)))
            worst = &it->second;
    return worst;
}

void paintMark(QPainter& painter, const StrokeMark& mark, double x, double top, double bottom,
    double pixelsPerSecond)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = markColour(mark);
    const double size = std::clamp((bottom - top) / 3, 4.0, 8.0);
    const double y = top + size;
    if (mark.missed) {
        // A cross on the note's start.
        painter.setPen(QPen(colour, 2));
        painter.drawLine(QPointF(x - size / 2, y - size / 2), QPointF(x + size / 2, y + size / 2));
        painter.drawLine(QPointF(x - size / 2, y + size / 2), QPointF(x + size / 2, y - size / 2));
    } else {
        // A line from the note's start to where the stroke fell, a triangle there pointing the
        // way it went (a dot for one on the start).
        const double at = x + mark.offset * pixelsPerSecond;
        painter.setPen(QPen(colour, 2));
        painter.drawLine(QPointF(x, y), QPointF(at, y));
        // A short tick, unlike the playhead's line through the whole row.
        painter.drawLine(QPointF(at, top + 1), QPointF(at, std::min(bottom - 1, y + 2 * size)));
        if (std::abs(at - x) < 1.5) {
            painter.setBrush(colour);
            painter.drawEllipse(QPointF(x, y), size / 3, size / 3);
        }
        if (mark.dynamicsOff) {
            painter.setPen(QPen(colour, 1.5));
            painter.drawText(QPointF(at + 3, bottom - 2), QStringLiteral("!"));
        }
    }
    painter.restore();
}

} // namespace standin
