#include "patterngrid.h"

#include "strokemarks.h"

#include "gmnames.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace standin {

namespace {

    QString sectionLabel(const PracticeSchedule& schedule, SectionKind kind)
    {
        const QString name = QString::fromStdString(schedule.name(kind));
        switch (kind) {
        case SectionKind::Intro:
            return QStringLiteral("Intro ") + name;
        case SectionKind::Transition:
            return QStringLiteral("Transition ") + name;
        case SectionKind::Pattern:
            break;
        }
        return QStringLiteral("Pattern ") + name;
    }

    QString voiceNames(const PracticeSchedule& schedule, int voices)
    {
        QStringList names;
        for (int k = 0; k < notation::kVoiceCount; ++k)
            if (voices & (1 << k))
                names.append(percussionName(schedule.header().voiceKeys[std::size_t(k)]));
        names.removeDuplicates();
        return names.join(QStringLiteral(" and "));
    }

    const QColor kSectionShade[]
        = { QColor(0xf3, 0xee, 0xe0), QColor(0xfa, 0xfa, 0xfa), QColor(0xe6, 0xee, 0xf3) };

} // namespace

const GridLayout::Section* GridLayout::find(SectionKind kind) const
{
    for (const Section& section : sections)
        if (section.kind == kind)
            return &section;
    return nullptr;
}

GridLayout layoutGrid(const PracticeSchedule& schedule, int width, int height)
{
    GridLayout layout;
    const ScriptHeader& header = schedule.header();
    const int beat = beatTicks(header, schedule.noTimeSignature());
    const int bar = beat * barBeats(header, schedule.noTimeSignature());
    const bool padded = !schedule.noTimeSignature() && header.beatsPerBar > 0;
    int used = 0;
    long long total = 0;
    for (SectionKind kind : { SectionKind::Intro, SectionKind::Pattern, SectionKind::Transition }) {
        const std::vector<PatternNote>& notes = schedule.notes(kind);
        if (notes.empty())
            continue;
        GridLayout::Section section;
        section.kind = kind;
        section.label = sectionLabel(schedule, kind);
        for (const PatternNote& p : notes) {
            section.noteStarts.push_back(section.ticks);
            section.ticks += noteTicks(header, p.note.res);
            if (p.note.vol > 0)
                used |= p.note.voices;
        }
        if (padded)
            section.ticks = (section.ticks + bar - 1) / bar * bar;
        for (long long t = 0; t <= section.ticks; t += beat) {
            section.lines.push_back(t);
            section.barLine.push_back(t % bar == 0);
        }
        total += section.ticks;
        layout.sections.push_back(section);
    }
    for (int k = 0; k < notation::kVoiceCount; ++k)
        if (used & (1 << k))
            layout.voices.push_back(k);
    if (layout.voices.empty())
        layout.voices.push_back(0);

    const double gaps = double(kSectionGap) * double(layout.sections.size());
    layout.pixelsPerTick
        = total > 0 ? std::max(0.0, width - kNameColumn - gaps) / double(total) : 0;
    double left = kNameColumn;
    for (GridLayout::Section& section : layout.sections) {
        section.left = left + kSectionGap / 2.0;
        section.right = section.left + double(section.ticks) * layout.pixelsPerTick;
        left = section.right + kSectionGap / 2.0;
    }
    layout.top = kHeaderHeight;
    layout.rowHeight
        = std::max(8.0, double(height - kHeaderHeight - 4) / double(layout.voices.size()));
    return layout;
}

QString describePattern(const PracticeSchedule& schedule)
{
    QStringList parts;
    for (SectionKind kind : { SectionKind::Pattern, SectionKind::Intro, SectionKind::Transition }) {
        const std::vector<PatternNote>& notes = schedule.notes(kind);
        if (notes.empty())
            continue;
        QStringList items;
        for (const PatternNote& p : notes) {
            QString item = QStringLiteral("Note %1: ").arg(p.number);
            if (p.note.vol == 0) {
                item += QStringLiteral("rest");
            } else {
                item += voiceNames(schedule, p.note.voices)
                    + QStringLiteral(", volume %1").arg(p.note.vol);
                if (p.note.flammed)
                    item += QStringLiteral(", flam");
            }
            items.append(item);
        }
        parts.append(sectionLabel(schedule, kind) + QStringLiteral(", %1 notes: ").arg(notes.size())
            + items.join(QStringLiteral("; ")));
    }
    return parts.join(QStringLiteral(". "));
}

PatternGrid::PatternGrid(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("patternGrid"));
    setAccessibleName(QStringLiteral("Pattern"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void PatternGrid::setSchedule(const PracticeSchedule* schedule)
{
    mSchedule = schedule;
    mSelected = SectionKind::Pattern;
    mPosition = {};
    relayout();
    setAccessibleDescription(schedule ? describePattern(*schedule) : QString());
    update();
}

void PatternGrid::setPosition(const PracticeSchedule::Position& position)
{
    mPosition = position;
    update();
}

QSize PatternGrid::sizeHint() const
{
    return { 900, 260 };
}

QSize PatternGrid::minimumSizeHint() const
{
    return { 400, 120 };
}

void PatternGrid::relayout()
{
    mLayout = mSchedule ? layoutGrid(*mSchedule, width(), height()) : GridLayout();
}

void PatternGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void PatternGrid::mousePressEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    for (const GridLayout::Section& section : mLayout.sections) {
        if (x >= section.left - kSectionGap / 2.0 && x <= section.right + kSectionGap / 2.0
            && section.kind != mSelected) {
            mSelected = section.kind;
            emit selectedChanged(mSelected);
            update();
        }
    }
    QWidget::mousePressEvent(event);
}

void PatternGrid::setMarks(const StrokeMarks* marks)
{
    mMarks = marks;
    update();
}

void PatternGrid::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (!mSchedule)
        return;
    const GridLayout& layout = mLayout;
    const QColor ink = palette().text().color();
    const double bottom = layout.top + layout.rowHeight * double(layout.voices.size());
    const QFontMetrics metrics(font());

    // Voice names, one row each.
    for (std::size_t row = 0; row < layout.voices.size(); ++row) {
        const int k = layout.voices[row];
        const int key = mSchedule->header().voiceKeys[std::size_t(k)];
        const QRectF cell(
            4, layout.top + layout.rowHeight * double(row), kNameColumn - 8, layout.rowHeight);
        painter.setPen(ink);
        painter.drawText(cell, Qt::AlignVCenter | Qt::AlignLeft,
            QStringLiteral("%1  %2").arg(QChar(u'A' + k)).arg(percussionName(key)));
        painter.setPen(QColor(0, 0, 0, 30));
        painter.drawLine(QPointF(0, cell.bottom()), QPointF(width(), cell.bottom()));
    }

    for (const GridLayout::Section& section : layout.sections) {
        const QRectF area(
            section.left, layout.top, section.right - section.left, bottom - layout.top);
        painter.fillRect(area, kSectionShade[int(section.kind)]);
        if (section.kind == mSelected) {
            painter.setPen(QPen(palette().highlight().color(), 2));
            painter.drawRect(area.adjusted(-2, -2, 2, 2));
        }
        painter.setPen(ink);
        painter.drawText(QRectF(section.left, 2, section.right - section.left, 16),
            Qt::AlignLeft | Qt::AlignVCenter, section.label);

        // Beat lines thin, bar lines strong.
        for (std::size_t i = 0; i < section.lines.size(); ++i) {
            const double x = layout.x(section, double(section.lines[i]));
            painter.setPen(
                section.barLine[i] ? QPen(QColor(60, 60, 60), 1.5) : QPen(QColor(0, 0, 0, 45), 1));
            painter.drawLine(QPointF(x, layout.top), QPointF(x, bottom));
        }

        // Note numbers from 1, as many as fit.
        const std::vector<PatternNote>& notes = mSchedule->notes(section.kind);
        const double numberWidth = metrics.horizontalAdvance(QStringLiteral("00")) + 4;
        double lastNumber = -1e9;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const double x = layout.x(section, double(section.noteStarts[i]));
            const double w
                = double(noteTicks(mSchedule->header(), notes[i].note.res)) * layout.pixelsPerTick;
            if (x - lastNumber >= numberWidth) {
                painter.setPen(QColor(90, 90, 90));
                painter.drawText(QRectF(x, 20, std::max(w, numberWidth), 16),
                    Qt::AlignLeft | Qt::AlignVCenter, QString::number(notes[i].number));
                lastNumber = x;
            }
            if (notes[i].note.vol == 0)
                continue;
            // A sounding voice: a cell as high and as dark as its volume; a flam: a grace mark.
            const int vol = notes[i].note.vol;
            for (std::size_t row = 0; row < layout.voices.size(); ++row) {
                if (!(notes[i].note.voices & (1 << layout.voices[row])))
                    continue;
                const double rowTop = layout.top + layout.rowHeight * double(row);
                const double h = (layout.rowHeight - 6) * vol / notation::kMaxVolume;
                const QRectF cell(
                    x + 1, rowTop + layout.rowHeight - 3 - h, std::max(1.0, w - 2), h);
                painter.fillRect(cell, QColor::fromHsv(215, 60 + vol * 20, 235 - vol * 18));
                if (notes[i].note.flammed) {
                    QPainterPath grace;
                    const double gx = x + 1, gy = rowTop + 3,
                                 gs = std::min(8.0, layout.rowHeight / 3);
                    grace.moveTo(gx, gy);
                    grace.lineTo(gx + gs, gy);
                    grace.lineTo(gx, gy + gs);
                    grace.closeSubpath();
                    painter.fillPath(grace, QColor(200, 60, 30));
                }
                if (const StrokeMark* mark = section.kind == SectionKind::Pattern && mMarks
                        ? mMarks->at(i, layout.voices[row])
                        : nullptr)
                    paintMark(painter, *mark, x, rowTop + 1, rowTop + layout.rowHeight - 1,
                        layout.pixelsPerTick * kTicksPerQuarter * std::max(1, mSchedule->tempo())
                            / 60.0);
            }
        }
    }

    // The count-in's beat, then the playhead, with the repeat and the tempo it plays at.
    if (mPosition.countIn > 0) {
        painter.setPen(ink);
        painter.drawText(QRectF(4, 2, kNameColumn - 8, kHeaderHeight - 4),
            Qt::AlignLeft | Qt::AlignTop,
            QStringLiteral("Count-in %1 of %2\nTempo %3")
                .arg(mPosition.countIn)
                .arg(barBeats(mSchedule->header(), mSchedule->noTimeSignature()))
                .arg(mPosition.tempo));
    }
    if (mPosition.inside) {
        if (const GridLayout::Section* section = layout.find(mPosition.kind)) {
            const double x = layout.x(*section, mPosition.tick);
            painter.setPen(QPen(QColor(210, 30, 30), 2));
            painter.drawLine(QPointF(x, layout.top - 4), QPointF(x, bottom));
            painter.setPen(ink);
            const QString text = QStringLiteral("Repeat %1\nTempo %2")
                                     .arg(mPosition.repeat + 1)
                                     .arg(mPosition.tempo);
            painter.drawText(QRectF(4, 2, kNameColumn - 8, kHeaderHeight - 4),
                Qt::AlignLeft | Qt::AlignTop, text);
        }
    }
}

} // namespace standin
