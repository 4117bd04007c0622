#include "stickingrow.h"

#include "patterngrid.h"
#include "sticking.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace standin {

StickingRow::StickingRow(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("stickingRow"));
    setAccessibleName(QStringLiteral("Sticking"));
    setToolTip(QStringLiteral("Click under a note to set its sticking: R, L, RL, none"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StickingRow::setSchedule(const PracticeSchedule* schedule)
{
    mSchedule = schedule;
    update();
}

void StickingRow::setHands(const std::array<std::vector<std::string>, 3>& hands)
{
    mHands = hands;
    QStringList shown;
    for (const auto& section : hands)
        for (const std::string& h : section)
            shown.append(h.empty() ? QStringLiteral("-") : QString::fromStdString(h));
    setAccessibleDescription(shown.join(u' '));
    update();
}

QSize StickingRow::sizeHint() const
{
    return { 900, fontMetrics().height() + 8 };
}

QSize StickingRow::minimumSizeHint() const
{
    return sizeHint();
}

bool StickingRow::noteAt(double x, SectionKind& kind, int& note) const
{
    if (!mSchedule)
        return false;
    const GridLayout layout = layoutGrid(*mSchedule, width(), height());
    for (const GridLayout::Section& section : layout.sections) {
        const std::vector<PatternNote>& notes = mSchedule->notes(section.kind);
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const double left = layout.x(section, double(section.noteStarts[i]));
            const double right = i + 1 < notes.size()
                ? layout.x(section, double(section.noteStarts[i + 1]))
                : left
                    + double(noteTicks(mSchedule->header(), notes[i].note.res))
                        * layout.pixelsPerTick;
            if (x >= left && x < std::max(right, left + 1) && notes[i].note.vol > 0) {
                kind = section.kind;
                note = int(i);
                return true;
            }
        }
    }
    return false;
}

void StickingRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (!mSchedule)
        return;
    const GridLayout layout = layoutGrid(*mSchedule, width(), height());
    painter.setPen(palette().text().color());
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRectF(4, 0, kNameColumn - 8, height()), Qt::AlignVCenter | Qt::AlignLeft,
        QStringLiteral("Sticking"));
    for (const GridLayout::Section& section : layout.sections) {
        const auto& hands = mHands[std::size_t(int(section.kind))];
        for (std::size_t i = 0; i < hands.size() && i < section.noteStarts.size(); ++i) {
            if (hands[i].empty())
                continue;
            const double left = layout.x(section, double(section.noteStarts[i]));
            painter.drawText(QRectF(left, 0, 40, height()), Qt::AlignVCenter | Qt::AlignLeft,
                QString::fromStdString(hands[i]));
        }
    }
}

void StickingRow::mousePressEvent(QMouseEvent* event)
{
    SectionKind kind;
    int note = 0;
    if (event->button() == Qt::LeftButton && noteAt(event->position().x(), kind, note))
        emit stickingClicked(kind, note);
    QWidget::mousePressEvent(event);
}

void StickingRow::contextMenuEvent(QContextMenuEvent* event)
{
    SectionKind kind;
    int note = 0;
    if (!noteAt(event->pos().x(), kind, note))
        return;
    if (alternateChosen(this, event->globalPos()))
        emit alternateRequested(kind, note);
}

} // namespace standin
