#include "staffview.h"

#include "strokemarks.h"

#include "staffpainter.h"
#include "sticking.h"
#include "staffwords.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace standin {

namespace {

    int sectionOf(const sheet::Sheet& sheet, SectionKind kind)
    {
        for (std::size_t i = 0; i < sheet.sections.size(); ++i)
            if (sheet.sections[i].kind == kind)
                return int(i);
        return -1;
    }

} // namespace

StaffView::StaffView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("staffView"));
    setAccessibleName(QStringLiteral("Staff"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setToolTip(
        QStringLiteral("Click under a note to set its sticking: R, L, RL, none"));
}

void StaffView::setSheet(const sheet::Sheet* sheet)
{
    mSheet = sheet;
    mPosition = {};
    relayout();
    setAccessibleDescription(sheet ? staff::describeSheet(*sheet) : QString());
    viewport()->update();
}

void StaffView::setPosition(const PracticeSchedule::Position& position)
{
    mPosition = position;
    int system = -1;
    double x = 0;
    if (playhead(system, x) && system != mFollowed) {
        // The line that plays comes into view.
        mFollowed = system;
        const staff::System& s = mLayout.systems[std::size_t(system)];
        QScrollBar* bar = verticalScrollBar();
        const int top = int(s.top), bottom = int(s.bottom);
        if (top < bar->value() || bottom > bar->value() + viewport()->height())
            bar->setValue(top);
    }
    viewport()->update();
}

QSize StaffView::sizeHint() const
{
    return { 900, 260 };
}

QSize StaffView::minimumSizeHint() const
{
    return { 400, 120 };
}

void StaffView::relayout()
{
    // The staff grows with the view's height, from 8 to 12 pixels a space.
    const double space = std::clamp(viewport()->height() / 24.0, staff::kDefaultSpace, 12.0);
    mLayout = mSheet ? staff::layoutStaff(*mSheet, std::max(200, viewport()->width()), space)
                     : staff::StaffLayout();
    mFollowed = -1;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, int(std::ceil(mLayout.height)) - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(int(mLayout.space * 2));
}

void StaffView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

bool StaffView::playhead(int& system, double& x) const
{
    if (!mSheet || !mPosition.inside)
        return false;
    const int measure = sheet::measureAt(*mSheet, mPosition.kind, mPosition.tick);
    if (measure < 0)
        return false;
    const double tick = mPosition.tick - double(mSheet->measures[std::size_t(measure)].start);
    x = mLayout.xAt(measure, tick, system);
    return system >= 0 && std::size_t(system) < mLayout.systems.size();
}

int StaffView::highlighted() const
{
    if (!mSheet || !mPosition.inside)
        return staff::kNobody;
    const int section = sectionOf(*mSheet, mPosition.kind);
    const staff::NoteSpot* spot = mLayout.noteAt(section, mPosition.tick);
    return spot ? staff::ownerOf(spot->section, spot->note) : staff::kNobody;
}

void StaffView::setMarks(const StrokeMarks* marks)
{
    mMarks = marks;
    viewport()->update();
}

void StaffView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().base());
    if (!mSheet)
        return;
    const double offset = verticalScrollBar()->value();
    painter.translate(0, -offset);
    staff::PaintStyle style;
    style.ink = palette().text().color();
    style.highlighted = highlighted();
    staff::paintStaff(
        painter, mLayout, style, QRectF(0, offset, viewport()->width(), viewport()->height()));
    if (mMarks && !mMarks->empty())
        for (const staff::NoteSpot& spot : mLayout.notes) {
            if (mSheet->sections[std::size_t(spot.section)].kind != SectionKind::Pattern)
                continue;
            if (const StrokeMark* mark = mMarks->worst(std::size_t(spot.note))) {
                const staff::System& s = mLayout.systems[std::size_t(spot.system)];
                const double top = s.staffTop - mLayout.space * 3.2;
                // 1.5 pixels a millisecond: 60 ms off is 90 pixels, in sight of the note.
                paintMark(painter, *mark, spot.x, top, top + mLayout.space * 1.6, 1500);
            }
        }
    int system = -1;
    double x = 0;
    if (playhead(system, x)) {
        const staff::System& s = mLayout.systems[std::size_t(system)];
        painter.setPen(QPen(QColor(210, 30, 30, 200), 2));
        painter.drawLine(QPointF(x, s.staffTop - mLayout.space * 1.5),
            QPointF(x, s.staffTop + mLayout.space * 5.5));
    }
}

const staff::NoteSpot* StaffView::spotAt(QPoint viewportPoint) const
{
    return mLayout.stickingAt(
        QPointF(viewportPoint.x(), viewportPoint.y() + verticalScrollBar()->value()));
}

// Mouse events come from the viewport, in its coordinates.
void StaffView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && mSheet) {
        if (const staff::NoteSpot* spot = spotAt(event->position().toPoint()))
            emit stickingClicked(mSheet->sections[std::size_t(spot->section)].kind, spot->note);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void StaffView::contextMenuEvent(QContextMenuEvent* event)
{
    const staff::NoteSpot* spot = mSheet ? spotAt(event->pos()) : nullptr;
    if (!spot)
        return;
    const SectionKind kind = mSheet->sections[std::size_t(spot->section)].kind;
    const int note = spot->note;
    if (alternateChosen(this, event->globalPos()))
        emit alternateRequested(kind, note);
}

} // namespace standin
