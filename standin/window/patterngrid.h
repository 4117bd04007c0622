#pragma once

#include "practiceschedule.h"

#include <QString>
#include <QWidget>
#include <vector>

// The practice window's picture of the script: the intro, the pattern and the transition side by
// side, one row per voice that they use, each note as wide as its ticks, beat and bar lines, and
// a playhead. One widget painted with QPainter.
namespace standin {

class StrokeMarks;

// Where everything lies for a given size; worked out apart from painting so that it can be
// checked and measured.
struct GridLayout {
    struct Section {
        SectionKind kind = SectionKind::Pattern;
        QString label; // "Intro [fill]", "Pattern [new-rud]", "Transition [x]"
        double left = 0; // x of tick 0
        double right = 0; // x of the section's last (padded) tick
        long long ticks = 0;
        std::vector<long long> noteStarts; // tick of each note's start
        std::vector<long long> lines; // ticks of the beat lines, bar lines among them
        std::vector<bool> barLine; // per line
    };
    std::vector<Section> sections;
    std::vector<int> voices; // 0 for A to 5 for F, one row each from the top
    double pixelsPerTick = 0;
    double top = 0; // y of the first row
    double rowHeight = 0;

    double x(const Section& section, double tick) const
    {
        return section.left + tick * pixelsPerTick;
    }
    const Section* find(SectionKind kind) const;
};

inline constexpr int kNameColumn = 170; // pixels for the voice names
inline constexpr int kHeaderHeight = 40; // the labels, note numbers and the position line
inline constexpr int kSectionGap = 16;

GridLayout layoutGrid(const PracticeSchedule& schedule, int width, int height);

// The pattern as text, for a screen reader: "Note 1: Electric Snare, volume 8, flam; ...".
QString describePattern(const PracticeSchedule& schedule);

class PatternGrid : public QWidget {
    Q_OBJECT
public:
    explicit PatternGrid(QWidget* parent = nullptr);

    // The schedule is kept by reference: its script, tempo and position are read when painting.
    void setSchedule(const PracticeSchedule* schedule);
    void setPosition(const PracticeSchedule::Position& position);
    // Play-along's marks on the pattern's notes (kept by reference; null for none).
    void setMarks(const StrokeMarks* marks);
    SectionKind selected() const { return mSelected; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void selectedChanged(SectionKind kind);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void relayout();

    const PracticeSchedule* mSchedule = nullptr;
    GridLayout mLayout;
    PracticeSchedule::Position mPosition;
    const StrokeMarks* mMarks = nullptr;
    SectionKind mSelected = SectionKind::Pattern;
};

} // namespace standin
