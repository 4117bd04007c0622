#pragma once

#include "practiceschedule.h"

#include <QWidget>
#include <array>
#include <string>
#include <vector>

// The sticking under the practice window's grid: each note's hands under its cell, at the grid's
// x (layoutGrid), as wide as the grid. A click under a note asks for its next hand, its menu for
// "Alternate from here".
namespace standin {

class StickingRow : public QWidget {
    Q_OBJECT
public:
    explicit StickingRow(QWidget* parent = nullptr);

    // The schedule is kept by reference, as the grid keeps it.
    void setSchedule(const PracticeSchedule* schedule);
    // The hands of each section's notes, by SectionKind.
    void setHands(const std::array<std::vector<std::string>, 3>& hands);
    // The note whose hands a click at that x sets: its section and number (from 0); false if none.
    bool noteAt(double x, SectionKind& kind, int& note) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void stickingClicked(standin::SectionKind kind, int note);
    void alternateRequested(standin::SectionKind kind, int note);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const PracticeSchedule* mSchedule = nullptr;
    std::array<std::vector<std::string>, 3> mHands;
};

} // namespace standin
