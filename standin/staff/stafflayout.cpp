#include "stafflayout.h"

#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace standin::staff {

namespace {

    using sheet::Beam;
    using sheet::Element;
    using sheet::Measure;
    using sheet::Sheet;
    using sheet::VoiceBar;

    // Sizes in staff spaces.
    constexpr double kMargin = 1.5; // left and right of every line
    constexpr double kClef = 3.0;
    constexpr double kLead = 1.4; // after a bar line, before the first note
    constexpr double kHeadHalf = 0.62; // half a notehead's width
    constexpr double kStem = 3.5;
    constexpr double kStemWidth = 0.12;
    constexpr double kBeamWidth = 0.48;
    constexpr double kBeamGap = 0.75; // from one beam to the next
    constexpr double kGrace = 0.62; // a grace note's size
    constexpr double kGraceRoom = 2.0; // room for a flam's grace note
    constexpr double kThin = 0.16; // a thin bar line
    constexpr double kThick = 0.5;
    constexpr double kStaffLine = 0.11;
    constexpr double kLedger = 0.16;

    // Steps below the top line, in spaces: step 8 (the top line) is 0, step 0 (the bottom) 4.
    double yOf(int step)
    {
        return (8 - step) * 0.5;
    }

    // The room after a note until the next one, by its length: a 16th 2.6 spaces, each doubling
    // 1.5 more, never below what a notehead needs.
    constexpr double kLeastGap = 2.0;
    double gapWidth(long long ticks)
    {
        const double ratio = std::max(0.25, double(ticks) / 30.0);
        return std::max(kLeastGap, 2.6 + 1.5 * std::log2(ratio));
    }

    QString digits(int n)
    {
        return QString::number(n);
    }

    // One measure's room: fixed parts, and gaps after each onset that a line stretches.
    struct Plan {
        std::vector<long long> ticks; // onsets of either voice, in order
        std::vector<double> before; // fixed room before each (a flam's grace note, parentheses)
        std::vector<double> gaps;
        std::vector<double> least; // the least each gap may shrink to
        double prefix = 0; // time signature, repeat sign and lead
        double suffix = 0; // the bar line's own room
        double timeWidth = 0;

        double fixed() const
        {
            double sum = prefix + suffix;
            for (double b : before)
                sum += b;
            return sum;
        }
        double stretchable() const
        {
            double sum = 0;
            for (double g : gaps)
                sum += g;
            return sum;
        }
        double width(double f) const
        {
            double sum = fixed();
            for (std::size_t i = 0; i < gaps.size(); ++i)
                sum += std::max(least[i], gaps[i] * f);
            return sum;
        }
    };

    Plan planMeasure(const Sheet& sheet, std::size_t index)
    {
        const Measure& m = sheet.measures[index];
        const bool last = index + 1 == sheet.measures.size();
        Plan plan;
        for (const VoiceBar& bar : m.voices)
            for (const Element& e : bar.elements)
                plan.ticks.push_back(e.tick);
        std::sort(plan.ticks.begin(), plan.ticks.end());
        plan.ticks.erase(std::unique(plan.ticks.begin(), plan.ticks.end()), plan.ticks.end());
        if (plan.ticks.empty())
            plan.ticks.push_back(0);
        plan.before.assign(plan.ticks.size(), 0.0);
        plan.least.assign(plan.ticks.size(), kLeastGap);
        for (const VoiceBar& bar : m.voices) {
            for (const Element& e : bar.elements) {
                const std::size_t i
                    = std::size_t(std::lower_bound(plan.ticks.begin(), plan.ticks.end(), e.tick)
                        - plan.ticks.begin());
                double room = 0;
                if (e.flam)
                    room += kGraceRoom;
                if (!e.rest && e.dynamic == sheet::Dynamic::Ghost)
                    room += 0.45;
                plan.before[i] = std::max(plan.before[i], room);
                if (e.length.dots > 0)
                    plan.least[i] = std::max(plan.least[i], 2.2 + 0.5 * e.length.dots);
                for (std::size_t s = 1; s < e.strokes.size(); ++s)
                    if (e.strokes[s].step == e.strokes[s - 1].step + 1)
                        plan.least[i] = std::max(plan.least[i], 2.9);
                if (!e.rest && e.dynamic == sheet::Dynamic::Ghost)
                    plan.least[i] = std::max(plan.least[i], 2.4);
            }
        }
        for (std::size_t i = 0; i < plan.ticks.size(); ++i) {
            const long long next = i + 1 < plan.ticks.size() ? plan.ticks[i + 1] : m.ticks;
            plan.gaps.push_back(std::max(gapWidth(next - plan.ticks[i]), plan.least[i]));
        }
        if (m.showTime) {
            const int wide = int(std::max(digits(m.beats).size(), digits(m.beatType).size()));
            plan.timeWidth = 1.0 + 1.35 * wide;
        }
        plan.prefix = plan.timeWidth + (m.repeatStart ? 1.8 : 0) + kLead;
        const bool sectionEnd = last || sheet.measures[index + 1].section != m.section;
        plan.suffix = m.repeatEnd || last ? 1.2 : sectionEnd ? 0.6 : 0.0;
        return plan;
    }

    // Approximate extents of what is drawn, in pixels: the top and bottom of a line of the staff.
    void extend(const Items& items, double space, double& top, double& bottom)
    {
        auto take = [&](double y0, double y1) {
            top = std::min(top, y0);
            bottom = std::max(bottom, y1);
        };
        for (const Items::Line& l : items.lines)
            take(std::min(l.line.y1(), l.line.y2()) - l.width / 2,
                std::max(l.line.y1(), l.line.y2()) + l.width / 2);
        for (const Items::Head& h : items.heads)
            take(h.at.y() - 0.55 * space * h.scale, h.at.y() + 0.55 * space * h.scale);
        for (const Items::Rest& r : items.rests)
            take(r.at.y() - 1.6 * space, r.at.y() + 1.6 * space);
        for (const Items::Flag& f : items.flags)
            take(f.tip.y() - (f.up ? 0 : 3) * space, f.tip.y() + (f.up ? 3 : 0) * space);
        for (const Items::Sign& s : items.signs)
            take(s.at.y() - 0.6 * space * s.scale, s.at.y() + 0.6 * space * s.scale);
        for (const Items::Curve& c : items.curves)
            take(std::min(c.from.y(), c.to.y()) + std::min(0.0, c.bend),
                std::max(c.from.y(), c.to.y()) + std::max(0.0, c.bend));
        for (const Items::Text& t : items.texts)
            take(t.at.y() - 0.9 * space, t.at.y() + 0.9 * space);
    }

    // A tie waiting for the next note of its voice.
    struct PendingTie {
        bool open = false;
        int system = 0;
        double x = 0;
        std::vector<double> ys;
        bool up = true;
        int owner = kNobody;
    };

    class Builder {
    public:
        Builder(const Sheet& sheet, double width, double space)
            : sheet_(sheet)
            , sp_(space)
        {
            layout_.width = width;
            layout_.space = space;
            layout_.measures.resize(sheet.measures.size(), { -1, {} });
            twoVoices_ = sheet.voiceUsed[0] && sheet.voiceUsed[1];
            spotOf_.resize(sheet.sections.size());
            for (std::size_t s = 0; s < sheet.sections.size(); ++s)
                spotOf_[s].assign(std::size_t(std::max(0, sheet.sections[s].notes)), -1);
        }

        StaffLayout build()
        {
            std::vector<Plan> plans;
            const std::size_t drawn = std::min(sheet_.measures.size(), kMaxDrawnMeasures);
            layout_.measuresLeftOut = int(sheet_.measures.size() - drawn);
            for (std::size_t i = 0; i < drawn; ++i)
                plans.push_back(planMeasure(sheet_, i));
            const double available = layout_.width / sp_ - 2 * kMargin - kClef;
            for (std::size_t first = 0; first < plans.size();) {
                std::size_t end = first + 1;
                double used = plans[first].width(1);
                while (end < plans.size() && used + plans[end].width(1) <= available)
                    used += plans[end++].width(1);
                double fixed = 0, stretch = 0;
                for (std::size_t i = first; i < end; ++i) {
                    fixed += plans[i].fixed();
                    stretch += plans[i].stretchable();
                }
                double f = stretch > 0 ? (available - fixed) / stretch : 1;
                if (end == plans.size()) // the last line is spread out a little at most
                    f = std::min(f, first == 0 ? 2.2 : 1.4);
                f = std::max(f, 0.3);
                laySystem(plans, int(first), int(end), f);
                first = end;
            }
            stack();
            finishSpots();
            return std::move(layout_);
        }

    private:
        double x(double spaces) const { return spaces * sp_; }

        void laySystem(const std::vector<Plan>& plans, int first, int end, double f)
        {
            System system;
            system.firstMeasure = first;
            system.measureCount = end - first;
            system.left = x(kMargin);
            const int index = int(layout_.systems.size());
            Items& items = system.items;
            double cursor = system.left + x(kClef);
            // The percussion clef: two thick bars over the middle of the staff.
            for (double bar : { 1.0, 1.75 })
                items.lines.push_back(
                    { QLineF(system.left + x(bar), x(1.0), system.left + x(bar), x(3.0)),
                        x(0.42) });
            bool inEnding = false;
            for (int i = 0; i < first; ++i)
                inEnding = (sheet_.measures[std::size_t(i)].endingStart || inEnding)
                    && !sheet_.measures[std::size_t(i)].endingStop;
            for (int i = first; i < end; ++i) {
                const Measure& m = sheet_.measures[std::size_t(i)];
                const Plan& plan = plans[std::size_t(i)];
                const double left = cursor;
                const double right = left + x(plan.width(f));
                // The time signature, then the forward repeat sign.
                if (m.showTime) {
                    const double mid = left + x(plan.timeWidth / 2 + 0.2);
                    items.texts.push_back(
                        { QPointF(mid, x(1.0)), digits(m.beats), TextStyle::TimeSignature });
                    items.texts.push_back(
                        { QPointF(mid, x(3.0)), digits(m.beatType), TextStyle::TimeSignature });
                }
                if (m.repeatStart) {
                    const double r = left + x(plan.timeWidth);
                    items.lines.push_back({ QLineF(r + x(0.3), 0, r + x(0.3), x(4)), x(kThick) });
                    items.lines.push_back({ QLineF(r + x(0.85), 0, r + x(0.85), x(4)), x(kThin) });
                    for (double y : { 1.5, 2.5 })
                        items.dots.push_back({ QPointF(r + x(1.3), x(y)), x(0.22) });
                }
                // The onsets' x.
                std::vector<double> xs;
                std::vector<std::pair<long long, double>> anchors;
                double at = left + x(plan.prefix);
                for (std::size_t k = 0; k < plan.ticks.size(); ++k) {
                    at += x(plan.before[k]);
                    xs.push_back(at);
                    anchors.push_back({ plan.ticks[k], at });
                    at += x(std::max(plan.least[k], plan.gaps[k] * f));
                }
                anchors.push_back({ m.ticks, right });
                layout_.measures[std::size_t(i)] = { index, anchors };
                for (int v = 0; v < sheet::kVoices; ++v)
                    layVoice(m, v, plan, xs, left + x(plan.prefix), right, index, items);
                barLine(m, i, right, items);
                // The volta over the measures it spans.
                if (m.endingStart || inEnding) {
                    endings_.push_back({ index, left, right, m.endingStart, m.endingStop,
                        QString::fromStdString(m.endingText) });
                }
                inEnding = (m.endingStart || inEnding) && !m.endingStop;
                if (m.repeatEnd && !m.repeatText.empty())
                    repeatTexts_.push_back({ index, right, QString::fromStdString(m.repeatText) });
                const sheet::Section& section = sheet_.sections[std::size_t(m.section)];
                if (section.firstMeasure == i)
                    marks_.push_back({ index, left - (i == first ? x(kClef - 0.3) : 0),
                        QString::fromStdString(section.mark) });
                cursor = right;
            }
            system.right = cursor;
            for (int line = 0; line < 5; ++line)
                items.lines.push_back(
                    { QLineF(system.left, x(line), system.right, x(line)), x(kStaffLine) });
            layout_.systems.push_back(std::move(system));
        }

        void barLine(const Measure& m, int i, double right, Items& items)
        {
            const bool last = std::size_t(i) + 1 == sheet_.measures.size();
            const Measure* next = last ? nullptr : &sheet_.measures[std::size_t(i) + 1];
            auto line = [&](double at, double width) {
                items.lines.push_back({ QLineF(at, 0, at, x(4)), x(width) });
            };
            if (m.repeatEnd) {
                for (double y : { 1.5, 2.5 })
                    items.dots.push_back({ QPointF(right - x(1.2), x(y)), x(0.22) });
                line(right - x(0.75), kThin);
                line(right - x(0.25), kThick);
            } else if (last) {
                line(right - x(0.8), kThin);
                line(right - x(0.25), kThick);
            } else if (next->section != m.section && !next->repeatStart) {
                line(right - x(0.5), kThin);
                line(right, kThin);
            } else if (!next->repeatStart) {
                line(right, kThin);
            }
        }

        struct Placed {
            const Element* e = nullptr;
            double x = 0;
            bool up = true;
            bool stem = false;
            double stemX = 0;
            double far = 0; // the stem's end at the noteheads
            double tip = 0; // its free end
            double top = 0; // the extent of the note and what stands over or under it
            double bottom = 0;
            bool beamed = false;
            int owner = kNobody;
        };

        void layVoice(const Measure& m, int v, const Plan& plan, const std::vector<double>& xs,
            double contentLeft, double right, int system, Items& items)
        {
            const VoiceBar& bar = m.voices[std::size_t(v)];
            if (bar.elements.empty())
                return;
            const bool up = v == int(sheet::Voice::Upper);
            std::vector<Placed> placed;
            for (const Element& e : bar.elements) {
                Placed p;
                p.e = &e;
                p.up = up;
                const std::size_t k
                    = std::size_t(std::lower_bound(plan.ticks.begin(), plan.ticks.end(), e.tick)
                        - plan.ticks.begin());
                p.x = xs[std::min(k, xs.size() - 1)];
                if (e.rest) {
                    layRest(
                        e, v, e.wholeMeasure ? (contentLeft + right) / 2 - x(0.6) : p.x, p, items);
                } else {
                    p.owner = ownerOf(m.section, e.note);
                    layNote(m, e, up, system, p, items);
                }
                placed.push_back(p);
            }
            beams(placed, items);
            for (Placed& p : placed) {
                if (p.e->rest)
                    continue;
                const int count = sheet::beamCount(p.e->length.type);
                if (p.stem) {
                    items.lines.push_back(
                        { QLineF(p.stemX, p.far, p.stemX, p.tip), x(kStemWidth), p.owner });
                    if (!p.beamed && count > 0)
                        items.flags.push_back(
                            { QPointF(p.stemX, p.tip), count, up, 1, false, p.owner });
                }
                const double edge = p.stem ? p.tip : (up ? p.top : p.bottom);
                double mark = edge + (up ? -x(0.9) : x(0.9));
                if (p.e->dynamic == sheet::Dynamic::Accent && !p.e->tiedFromPrevious) {
                    items.signs.push_back(
                        { Items::SignKind::Accent, QPointF(p.x, mark), 1, p.owner });
                    mark += up ? -x(1.0) : x(1.0);
                }
                const bool open = std::any_of(p.e->strokes.begin(), p.e->strokes.end(),
                    [](const sheet::Stroke& s) { return s.open; });
                if (open && !p.e->tiedFromPrevious) {
                    items.signs.push_back(
                        { Items::SignKind::Open, QPointF(p.x, mark), 1, p.owner });
                    mark += up ? -x(1.0) : x(1.0);
                }
                const double reach = mark + (up ? x(0.4) : -x(0.4));
                p.top = std::min({ p.top, p.tip, reach });
                p.bottom = std::max({ p.bottom, p.tip, reach });
            }
            tuplets(bar, placed, up, items);
        }

        void layRest(const Element& e, int v, double at, Placed& p, Items& items)
        {
            const bool upper = v == int(sheet::Voice::Upper);
            const int middle = !twoVoices_ ? 4 : upper ? 7 : 1;
            const int type = e.wholeMeasure ? 1 : e.length.type;
            double y = x(yOf(middle));
            if (type == 1)
                y = x(yOf(!twoVoices_ ? 6 : upper ? 8 : 2) + 0.25);
            else if (type == 2)
                y = x(yOf(!twoVoices_ ? 4 : upper ? 6 : 0) - 0.25);
            p.x = at;
            items.rests.push_back({ QPointF(at, y), type });
            for (int d = 0; d < e.length.dots; ++d)
                items.dots.push_back({ QPointF(at + x(0.9 + 0.5 * d), y - x(0.5)), x(0.18) });
            p.top = y - x(1.5);
            p.bottom = y + x(1.5);
        }

        void ledgers(double cx, int step, double scale, int owner, Items& items)
        {
            for (int s = 10; s <= step; s += 2)
                items.lines.push_back(
                    { QLineF(cx - x(0.95 * scale), x(yOf(s)), cx + x(0.95 * scale), x(yOf(s))),
                        x(kLedger), owner });
            for (int s = -2; s >= step; s -= 2)
                items.lines.push_back(
                    { QLineF(cx - x(0.95 * scale), x(yOf(s)), cx + x(0.95 * scale), x(yOf(s))),
                        x(kLedger), owner });
        }

        void layNote(
            const Measure& m, const Element& e, bool up, int system, Placed& p, Items& items)
        {
            const auto& strokes = e.strokes; // lowest step first
            const int owner = p.owner;
            const bool hollow = e.length.type <= 2;
            // Two noteheads a step apart: the second beside the stem, on its other side.
            std::vector<bool> aside(strokes.size(), false);
            if (up) {
                for (std::size_t s = 1; s < strokes.size(); ++s)
                    aside[s] = strokes[s].step == strokes[s - 1].step + 1 && !aside[s - 1];
            } else {
                for (std::size_t s = strokes.size(); s-- > 1;)
                    aside[s - 1] = strokes[s - 1].step + 1 == strokes[s].step && !aside[s];
            }
            double rightmost = p.x;
            std::vector<double> ys;
            for (std::size_t s = 0; s < strokes.size(); ++s) {
                const double hx = p.x + (aside[s] ? (up ? 1 : -1) * x(2 * kHeadHalf - 0.08) : 0);
                const double hy = x(yOf(strokes[s].step));
                ys.push_back(hy);
                items.heads.push_back({ QPointF(hx, hy), strokes[s].head, hollow, 1, owner });
                ledgers(hx, strokes[s].step, 1, owner, items);
                if (e.dynamic == sheet::Dynamic::Ghost && !e.tiedFromPrevious) {
                    items.signs.push_back(
                        { Items::SignKind::ParenLeft, QPointF(hx - x(0.98), hy), 1, owner });
                    items.signs.push_back(
                        { Items::SignKind::ParenRight, QPointF(hx + x(0.98), hy), 1, owner });
                }
                rightmost = std::max(rightmost, hx);
                for (int d = 0; d < e.length.dots; ++d) {
                    const double dy = strokes[s].step % 2 == 0 ? -x(0.5) : 0;
                    items.dots.push_back(
                        { QPointF(rightmost + x(1.0 + 0.5 * d), hy + dy), x(0.18), owner });
                }
            }
            const double lowest = ys.front(); // the largest y
            const double highest = ys.back();
            p.top = highest - x(0.6);
            p.bottom = lowest + x(0.6);
            if (e.length.type >= 2) {
                p.stem = true;
                p.stemX = p.x + (up ? 1 : -1) * x(kHeadHalf - kStemWidth / 2);
                p.far = up ? lowest : highest;
                const int count = sheet::beamCount(e.length.type);
                const double length = kStem + std::max(0, count - 2) * kBeamGap;
                p.tip = up ? highest - x(length) : lowest + x(length);
                // The stem reaches the middle line at least.
                p.tip = up ? std::min(p.tip, x(2.0)) : std::max(p.tip, x(2.0));
            }
            // A flam: one grace chord before the hands' note with the feet's strokes in it too.
            const Element* other = otherVoice(m, up, e.tick);
            const bool otherFlam = other && !other->rest && other->flam;
            if (e.flam && !e.tiedFromPrevious && (up || !otherFlam)) {
                std::vector<sheet::Stroke> strokes = e.strokes;
                if (up && otherFlam)
                    strokes.insert(strokes.begin(), other->strokes.begin(), other->strokes.end());
                layGrace(strokes, p, items);
            }
            // Ties: from the note before in this voice, and on to the next.
            PendingTie& tie = ties_[std::size_t(up ? 0 : 1)];
            if (tie.open && e.tiedFromPrevious) {
                const double bend = up ? x(0.55) : -x(0.55);
                for (std::size_t s = 0; s < ys.size() && s < tie.ys.size(); ++s) {
                    const double y = ys[s] + (up ? x(0.5) : -x(0.5));
                    const double ty = tie.ys[s] + (up ? x(0.5) : -x(0.5));
                    if (tie.system == system) {
                        items.curves.push_back({ QPointF(tie.x + x(0.55), ty),
                            QPointF(p.x - x(0.55), y), bend, tie.owner });
                    } else {
                        Items& before = layout_.systems[std::size_t(tie.system)].items;
                        before.curves.push_back({ QPointF(tie.x + x(0.55), ty),
                            QPointF(layout_.systems[std::size_t(tie.system)].right, ty), bend,
                            tie.owner });
                        items.curves.push_back({ QPointF(x(kMargin + kClef + 0.2), y),
                            QPointF(p.x - x(0.55), y), bend, tie.owner });
                    }
                }
            }
            tie = { e.tiedToNext, system, rightmost, ys, up, owner };
            // The spot a click on its sticking sets.
            if (!e.tiedFromPrevious && e.note >= 0 && std::size_t(m.section) < spotOf_.size()
                && std::size_t(e.note) < spotOf_[std::size_t(m.section)].size()) {
                int& spot = spotOf_[std::size_t(m.section)][std::size_t(e.note)];
                if (spot < 0) {
                    spot = int(layout_.notes.size());
                    layout_.notes.push_back(
                        { m.section, e.note, system, p.x, m.start + e.tick, 0, {} });
                }
                if (!e.sticking.empty())
                    layout_.notes[std::size_t(spot)].sticking = QString::fromStdString(e.sticking);
            }
            if (e.note >= 0 && std::size_t(m.section) < spotOf_.size()
                && std::size_t(e.note) < spotOf_[std::size_t(m.section)].size()) {
                const int spot = spotOf_[std::size_t(m.section)][std::size_t(e.note)];
                if (spot >= 0) {
                    NoteSpot& n = layout_.notes[std::size_t(spot)];
                    n.end = std::max(n.end, m.start + e.tick + e.length.ticks);
                }
            }
        }

        // The element of the other voice that starts at the tick, or null.
        static const Element* otherVoice(const Measure& m, bool up, long long tick)
        {
            for (const Element& e : m.voices[std::size_t(up ? 1 : 0)].elements)
                if (e.tick == tick)
                    return &e;
            return nullptr;
        }

        // A flam: a small slashed eighth on the same places just before the note, slurred to it.
        void layGrace(std::vector<sheet::Stroke> strokes, Placed& p, Items& items)
        {
            std::sort(strokes.begin(), strokes.end(),
                [](const sheet::Stroke& a, const sheet::Stroke& b) { return a.step < b.step; });
            const double gx = p.x - x(kGraceRoom - 0.1);
            std::vector<double> ys;
            for (const sheet::Stroke& stroke : strokes) {
                ys.push_back(x(yOf(stroke.step)));
                items.heads.push_back(
                    { QPointF(gx, ys.back()), stroke.head, false, kGrace, p.owner });
                ledgers(gx, stroke.step, kGrace, p.owner, items);
            }
            const double stemX = gx + x(kHeadHalf * kGrace - kStemWidth / 2);
            const double tip = ys.back() - x(2.5);
            items.lines.push_back(
                { QLineF(stemX, ys.front(), stemX, tip), x(kStemWidth * 0.8), p.owner });
            items.flags.push_back({ QPointF(stemX, tip), 1, true, kGrace, true, p.owner });
            items.curves.push_back({ QPointF(gx + x(0.1), ys.front() + x(0.5)),
                QPointF(p.x - x(0.35), ys.front() + x(0.6)), x(0.45), p.owner });
            p.top = std::min(p.top, tip - x(0.4));
            p.bottom = std::max(p.bottom, ys.front() + x(1.2));
        }

        // Beams over each run from Begin to End: level by level, flat at the stems' common end.
        void beams(std::vector<Placed>& placed, Items& items)
        {
            for (std::size_t i = 0; i < placed.size(); ++i) {
                if (placed[i].e->rest || placed[i].e->beams[0] != Beam::Begin)
                    continue;
                std::vector<std::size_t> run { i };
                std::size_t j = i + 1;
                for (; j < placed.size(); ++j) {
                    if (placed[j].e->rest)
                        continue;
                    run.push_back(j);
                    if (placed[j].e->beams[0] == Beam::End)
                        break;
                }
                const bool up = placed[i].up;
                double tip = placed[i].tip;
                for (std::size_t k : run)
                    tip = up ? std::min(tip, placed[k].tip) : std::max(tip, placed[k].tip);
                for (std::size_t k : run) {
                    placed[k].tip = tip;
                    placed[k].beamed = true;
                }
                const double half = x(kStemWidth / 2);
                for (int level = 1; level <= 4; ++level) {
                    const double y
                        = tip + (up ? 1 : -1) * x(kBeamWidth / 2 + (level - 1) * kBeamGap);
                    for (std::size_t r = 0; r < run.size(); ++r) {
                        const Placed& a = placed[run[r]];
                        const Beam beam = a.e->beams[std::size_t(level - 1)];
                        double from = 0, to = 0;
                        if ((beam == Beam::Begin || beam == Beam::Continue) && r + 1 < run.size()) {
                            from = a.stemX - half;
                            to = placed[run[r + 1]].stemX + half;
                        } else if (beam == Beam::ForwardHook) {
                            from = a.stemX - half;
                            to = a.stemX + x(1.0);
                        } else if (beam == Beam::BackwardHook) {
                            from = a.stemX - x(1.0);
                            to = a.stemX + half;
                        } else {
                            continue;
                        }
                        items.lines.push_back({ QLineF(from, y, to, y), x(kBeamWidth) });
                    }
                }
                i = j;
            }
        }

        void tuplets(const VoiceBar& bar, const std::vector<Placed>& placed, bool up, Items& items)
        {
            const QFontMetricsF metrics(textFont(TextStyle::Tuplet, sp_));
            for (const sheet::Tuplet& t : bar.tuplets) {
                if (t.first < 0 || std::size_t(t.last) >= placed.size() || t.first > t.last)
                    continue;
                double edge = up ? std::numeric_limits<double>::max()
                                 : std::numeric_limits<double>::lowest();
                for (int k = t.first; k <= t.last; ++k)
                    edge = up ? std::min(edge, placed[std::size_t(k)].top)
                              : std::max(edge, placed[std::size_t(k)].bottom);
                const double y
                    = up ? std::min(edge - x(1.0), -x(1.2)) : std::max(edge + x(1.0), x(5.2));
                const double from = placed[std::size_t(t.first)].x - x(0.7);
                const double to = placed[std::size_t(t.last)].x + x(0.7);
                const double mid = (from + to) / 2;
                const QString number = t.ratioShown
                    ? QStringLiteral("%1:%2").arg(t.actual).arg(t.normal)
                    : QString::number(t.actual);
                const double gap = metrics.horizontalAdvance(number) / 2 + x(0.35);
                const double hook = up ? x(0.6) : -x(0.6);
                const double w = x(0.12);
                items.lines.push_back({ QLineF(from, y + hook, from, y), w });
                if (mid - gap > from) {
                    items.lines.push_back({ QLineF(from, y, mid - gap, y), w });
                    items.lines.push_back({ QLineF(mid + gap, y, to, y), w });
                }
                items.lines.push_back({ QLineF(to, y, to, y + hook), w });
                items.texts.push_back({ QPointF(mid, y), number, TextStyle::Tuplet });
            }
        }

        // Each line's marks above it and its sticking row below, then the lines one under the
        // other.
        void stack()
        {
            const QFontMetricsF markMetrics(textFont(TextStyle::Mark, sp_));
            double cursor = x(0.5);
            for (std::size_t index = 0; index < layout_.systems.size(); ++index) {
                System& system = layout_.systems[index];
                Items& items = system.items;
                double top = 0, bottom = x(4);
                extend(items, sp_, top, bottom);
                // The sticking row.
                system.stickingY = std::max(bottom + x(1.3), x(6.2));
                for (const NoteSpot& n : layout_.notes)
                    if (n.system == int(index) && !n.sticking.isEmpty())
                        items.texts.push_back({ QPointF(n.x, system.stickingY), n.sticking,
                            TextStyle::Sticking, 0, false, 0, ownerOf(n.section, n.note) });
                // Over the music: the repeat count and the volta, then the marks and the tempo.
                double row = std::min(top - x(1.0), -x(1.6));
                bool volta = false;
                for (const Ending& e : endings_) {
                    if (e.system != int(index))
                        continue;
                    volta = true;
                    const double line = row - x(1.1);
                    items.lines.push_back(
                        { QLineF(e.left + x(0.3), line, e.right - x(0.3), line), x(0.12) });
                    if (e.start) {
                        items.lines.push_back(
                            { QLineF(e.left + x(0.3), line, e.left + x(0.3), line + x(1.6)),
                                x(0.12) });
                        items.texts.push_back(
                            { QPointF(e.left + x(0.7), row), e.text, TextStyle::Repeat, -1 });
                    }
                    if (e.stop)
                        items.lines.push_back(
                            { QLineF(e.right - x(0.3), line, e.right - x(0.3), line + x(1.6)),
                                x(0.12) });
                }
                for (const RepeatText& r : repeatTexts_)
                    if (r.system == int(index))
                        items.texts.push_back(
                            { QPointF(r.right, row), r.text, TextStyle::Repeat, 1 });
                const double markRow = row - x(volta ? 2.8 : 1.8);
                double tempoLeft = system.left;
                for (const Mark& mark : marks_) {
                    if (mark.system != int(index))
                        continue;
                    items.texts.push_back(
                        { QPointF(mark.left, markRow), mark.text, TextStyle::Mark, -1, true });
                    if (mark.left <= system.left + x(kClef))
                        tempoLeft = std::max(tempoLeft,
                            mark.left + markMetrics.horizontalAdvance(mark.text) + x(2.0));
                }
                if (index == 0)
                    tempo(QPointF(tempoLeft, markRow), items);
                top = std::min(top, markRow - x(1.4));
                system.bottom = system.stickingY + x(1.2);
                system.top = top;
                const double shift = cursor - top;
                items.shift(shift);
                system.top += shift;
                system.bottom += shift;
                system.staffTop = shift;
                system.stickingY += shift;
                cursor = system.bottom + x(0.8);
            }
            layout_.height = cursor;
            legend();
        }

        // "♩ = 100" (the note drawn), and the change per repeat.
        void tempo(QPointF at, Items& items)
        {
            const double headY = at.y() + x(0.45);
            items.heads.push_back(
                { QPointF(at.x() + x(0.5), headY), sheet::Head::Normal, false, 0.75 });
            items.lines.push_back({ QLineF(at.x() + x(0.5 + kHeadHalf * 0.75 - 0.05), headY,
                                        at.x() + x(0.5 + kHeadHalf * 0.75 - 0.05), headY - x(2.4)),
                x(kStemWidth) });
            QString text = QStringLiteral("= %1").arg(sheet_.tempo);
            if (!sheet_.tempoText.empty())
                text += QStringLiteral("  (") + QString::fromStdString(sheet_.tempoText) + u')';
            items.texts.push_back({ QPointF(at.x() + x(1.5), at.y()), text, TextStyle::Tempo, -1 });
        }

        void legend()
        {
            if (layout_.measuresLeftOut > 0)
                note(QStringLiteral("The staff shows the first %1 of %2 bars.")
                         .arg(kMaxDrawnMeasures)
                         .arg(sheet_.measures.size()),
                    false);
            if (sheet_.legend.empty())
                return;
            QStringList names;
            for (const sheet::LegendEntry& entry : sheet_.legend)
                names.append(
                    QStringLiteral("%1 %2").arg(entry.key).arg(QString::fromStdString(entry.name)));
            note(QStringLiteral("on the middle line: ") + names.join(u", "), true);
        }

        // A line of text under the staff, after a triangle notehead for the legend.
        void note(const QString& text, bool triangle)
        {
            const double left = x(kMargin + (triangle ? 2.0 : 0.0));
            const double wrap = layout_.width - left - x(kMargin);
            const QFontMetricsF metrics(textFont(TextStyle::Legend, sp_));
            const double height = metrics
                                      .boundingRect(QRectF(0, 0, std::max(wrap, x(4)), 1e9),
                                          wrapFlags(TextStyle::Legend), text)
                                      .height();
            const double top = layout_.height + x(0.4);
            if (triangle)
                layout_.legend.signs.push_back({ Items::SignKind::Triangle,
                    QPointF(x(kMargin + 0.8), top + metrics.height() / 2), 1 });
            layout_.legend.texts.push_back(
                { QPointF(left, top), text, TextStyle::Legend, -1, false, wrap });
            layout_.height = top + height + x(0.8);
        }

        void finishSpots()
        {
            std::stable_sort(layout_.notes.begin(), layout_.notes.end(),
                [](const NoteSpot& a, const NoteSpot& b) {
                    return a.section != b.section ? a.section < b.section : a.start < b.start;
                });
        }

        struct Ending {
            int system;
            double left, right;
            bool start, stop;
            QString text;
        };
        struct RepeatText {
            int system;
            double right;
            QString text;
        };
        struct Mark {
            int system;
            double left;
            QString text;
        };

        const Sheet& sheet_;
        double sp_;
        bool twoVoices_ = false;
        StaffLayout layout_;
        std::array<PendingTie, 2> ties_;
        std::vector<std::vector<int>> spotOf_; // per section and note: its spot, or -1
        std::vector<Ending> endings_;
        std::vector<RepeatText> repeatTexts_;
        std::vector<Mark> marks_;
    };

} // namespace

QFont textFont(TextStyle style, double space)
{
    QFont font;
    const bool serif = style == TextStyle::Tuplet || style == TextStyle::TimeSignature
        || style == TextStyle::Title;
    if (style == TextStyle::Raw) {
        font.setFamilies({ QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono") });
        font.setStyleHint(QFont::Monospace);
    } else if (serif) {
        font.setFamilies({ QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif") });
        font.setStyleHint(QFont::Serif);
    } else {
        font.setFamilies({ QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") });
        font.setStyleHint(QFont::SansSerif);
    }
    double size = 1.45;
    switch (style) {
    case TextStyle::Sticking:
        size = 1.5;
        font.setBold(true);
        break;
    case TextStyle::Tuplet:
        size = 1.45;
        font.setBold(true);
        font.setItalic(true);
        break;
    case TextStyle::TimeSignature:
        size = 3.0;
        font.setBold(true);
        break;
    case TextStyle::Mark:
    case TextStyle::Tempo:
        size = 1.55;
        font.setBold(true);
        break;
    case TextStyle::Repeat:
        size = 1.45;
        font.setBold(true);
        break;
    case TextStyle::Legend:
        size = 1.4;
        break;
    case TextStyle::Title:
        size = 3.2;
        font.setBold(true);
        break;
    case TextStyle::Raw:
        size = 1.15;
        break;
    }
    font.setPixelSize(std::max(1, int(std::lround(size * space))));
    return font;
}

int wrapFlags(TextStyle style)
{
    return Qt::AlignLeft | Qt::AlignTop
        | (style == TextStyle::Raw ? Qt::TextWrapAnywhere : Qt::TextWordWrap);
}

void Items::shift(double dy)
{
    const QPointF d(0, dy);
    for (Line& l : lines)
        l.line.translate(d);
    for (Head& h : heads)
        h.at += d;
    for (Rest& r : rests)
        r.at += d;
    for (Flag& f : flags)
        f.tip += d;
    for (Dot& o : dots)
        o.at += d;
    for (Curve& c : curves)
        c.from += d, c.to += d;
    for (Sign& s : signs)
        s.at += d;
    for (Text& t : texts)
        t.at += d;
}

double StaffLayout::xAt(int measure, double tick, int& system) const
{
    system = -1;
    if (measure < 0 || std::size_t(measure) >= measures.size())
        return 0;
    const auto& [index, anchors] = measures[std::size_t(measure)];
    if (anchors.empty())
        return 0;
    system = index;
    if (tick <= double(anchors.front().first))
        return anchors.front().second;
    for (std::size_t i = 1; i < anchors.size(); ++i) {
        if (tick <= double(anchors[i].first)) {
            const auto& [t0, x0] = anchors[i - 1];
            const auto& [t1, x1] = anchors[i];
            return x0 + (x1 - x0) * (tick - double(t0)) / double(std::max(1LL, t1 - t0));
        }
    }
    return anchors.back().second;
}

const NoteSpot* StaffLayout::noteAt(int section, double tick) const
{
    const auto after = std::upper_bound(notes.begin(), notes.end(), std::make_pair(section, tick),
        [](const std::pair<int, double>& key, const NoteSpot& n) {
            return key.first != n.section ? key.first < n.section : key.second < double(n.start);
        });
    if (after == notes.begin())
        return nullptr;
    const NoteSpot& n = *(after - 1);
    return n.section == section && tick < double(n.end) ? &n : nullptr;
}

const NoteSpot* StaffLayout::stickingAt(QPointF point) const
{
    for (std::size_t s = 0; s < systems.size(); ++s) {
        const System& system = systems[s];
        if (point.y() < system.staffTop + 4.5 * space || point.y() > system.bottom)
            continue;
        const NoteSpot* best = nullptr;
        for (const NoteSpot& n : notes) {
            if (n.system == int(s) && std::abs(n.x - point.x()) <= 1.6 * space
                && (!best || std::abs(n.x - point.x()) < std::abs(best->x - point.x())))
                best = &n;
        }
        return best;
    }
    return nullptr;
}

StaffLayout layoutStaff(const sheet::Sheet& sheet, double width, double space)
{
    return Builder(sheet, width, space).build();
}

} // namespace standin::staff
