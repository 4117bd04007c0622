#pragma once

#include "practiceschedule.h"
#include "sheet.h"
#include "stafflayout.h"

#include <QAbstractScrollArea>

// The practice window's Staff view: the sheet drawn as a drum staff (stafflayout.h,
// staffpainter.h), its lines wrapped to the width and scrolled down to, the playhead moving along
// it and the note that sounds highlighted; a click in the sticking row under a note asks for its
// next hand, and its menu there for "Alternate from here".
namespace standin {

class StrokeMarks;

class StaffView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit StaffView(QWidget* parent = nullptr);

    // The sheet is kept by reference; null for none.
    void setSheet(const sheet::Sheet* sheet);
    void setPosition(const PracticeSchedule::Position& position);
    // Play-along's marks, under the pattern's notes (kept by reference; null for none).
    void setMarks(const StrokeMarks* marks);
    const staff::StaffLayout& staffLayout() const { return mLayout; }
    // The owner of what is highlighted (staff::kNobody when nothing sounds).
    int highlighted() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void stickingClicked(standin::SectionKind kind, int note);
    void alternateRequested(standin::SectionKind kind, int note);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void relayout();
    const staff::NoteSpot* spotAt(QPoint viewportPoint) const;
    // Where the playhead is: its system and x, false when it is off the staff.
    bool playhead(int& system, double& x) const;

    const sheet::Sheet* mSheet = nullptr;
    staff::StaffLayout mLayout;
    PracticeSchedule::Position mPosition;
    const StrokeMarks* mMarks = nullptr;
    int mFollowed = -1; // the line the view last scrolled to
};

} // namespace standin
