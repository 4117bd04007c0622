#include "staffwords.h"

#include "gmnames.h"

#include <QStringList>
#include <algorithm>

namespace standin::staff {

namespace {

    using sheet::Element;

    QString strokesName(const Element& e)
    {
        QStringList names;
        for (const sheet::Stroke& s : e.strokes)
            names.append(drumName(s.key));
        names.removeDuplicates();
        return names.join(QStringLiteral(" and "));
    }

    QString elementText(const Element& e)
    {
        if (e.rest)
            return e.wholeMeasure ? QStringLiteral("bar rest")
                                  : lengthName(e.length) + QStringLiteral(" rest");
        QString text = strokesName(e);
        if (!e.tiedFromPrevious) {
            if (e.dynamic == sheet::Dynamic::Accent)
                text += QStringLiteral(" accent");
            else if (e.dynamic == sheet::Dynamic::Ghost)
                text += QStringLiteral(" ghost note");
            if (e.flam)
                text += QStringLiteral(" with flam");
        } else {
            text = QStringLiteral("tied on, ") + text;
        }
        text += QStringLiteral(", ") + lengthName(e.length);
        if (!e.sticking.empty())
            text += QStringLiteral(", ") + QString::fromStdString(e.sticking);
        return text;
    }

} // namespace

QString drumName(int key)
{
    struct Name {
        int key;
        const char* name;
    };
    static constexpr Name kNames[]
        = { { 35, "bass drum" }, { 36, "bass drum" }, { 44, "pedal hi-hat" },
              { 41, "low floor tom" }, { 43, "high floor tom" }, { 45, "low tom" },
              { 47, "low-mid tom" }, { 48, "hi-mid tom" }, { 50, "high tom" }, { 38, "snare" },
              { 40, "snare" }, { 37, "side stick" }, { 39, "hand clap" }, { 42, "hi-hat" },
              { 46, "open hi-hat" }, { 51, "ride" }, { 59, "ride" }, { 53, "ride bell" },
              { 49, "crash 1" }, { 57, "crash 2" }, { 52, "China" }, { 55, "splash" } };
    for (const Name& n : kNames)
        if (n.key == key)
            return QString::fromLatin1(n.name);
    return percussionName(key);
}

QString lengthName(const sheet::Written& length)
{
    QString name;
    switch (length.type) {
    case 1:
        name = QStringLiteral("whole");
        break;
    case 2:
        name = QStringLiteral("half");
        break;
    case 4:
        name = QStringLiteral("quarter");
        break;
    case 32:
        name = QStringLiteral("32nd");
        break;
    default:
        name = QStringLiteral("%1th").arg(length.type);
        break;
    }
    if (length.dots == 1)
        name = QStringLiteral("dotted ") + name;
    else if (length.dots > 1)
        name = QStringLiteral("double-dotted ") + name;
    if (!length.tuplet())
        return name;
    if (length.actual == 3 && length.normal == 2)
        return QStringLiteral("triplet ") + name;
    if (length.actual == 5 && length.normal == 4)
        return QStringLiteral("quintuplet ") + name;
    return name + QStringLiteral(", %1 in the time of %2").arg(length.actual).arg(length.normal);
}

QString describeSheet(const sheet::Sheet& sheet)
{
    QStringList parts;
    for (const sheet::Section& section : sheet.sections) {
        QString heading = QString::fromStdString(section.mark);
        if (section.firstMeasure == 0) {
            heading += QStringLiteral(", %1 quarter notes per minute").arg(sheet.tempo);
            if (!sheet.tempoText.empty())
                heading += QStringLiteral(" (") + QString::fromStdString(sheet.tempoText) + u')';
        }
        if (section.kind == SectionKind::Pattern && sheet.repeats > 1)
            heading += QStringLiteral(", played %1 times").arg(sheet.repeats);
        QStringList bars;
        for (int i = section.firstMeasure; i < section.firstMeasure + section.measureCount; ++i) {
            const sheet::Measure& m = sheet.measures[std::size_t(i)];
            // Both voices in time order; a rest under a note of the other voice says nothing.
            std::vector<std::pair<long long, const Element*>> order;
            for (const sheet::VoiceBar& bar : m.voices)
                for (const Element& e : bar.elements)
                    order.push_back({ e.tick, &e });
            std::stable_sort(order.begin(), order.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
            QStringList items;
            for (std::size_t k = 0; k < order.size();) {
                std::size_t j = k;
                QStringList together;
                bool note = false;
                for (; j < order.size() && order[j].first == order[k].first; ++j)
                    note |= !order[j].second->rest;
                for (std::size_t n = k; n < j; ++n) {
                    if (!note || !order[n].second->rest)
                        together.append(elementText(*order[n].second));
                    if (!note)
                        break;
                }
                items.append(together.join(QStringLiteral(", with ")));
                k = j;
            }
            QString text = QStringLiteral("Bar %1").arg(m.number);
            if (m.showTime)
                text += QStringLiteral(" (%1/%2)").arg(m.beats).arg(m.beatType);
            bars.append(text + QStringLiteral(": ") + items.join(QStringLiteral("; ")));
        }
        parts.append(heading + QStringLiteral(". ") + bars.join(QStringLiteral(". ")));
    }
    if (!sheet.legend.empty()) {
        QStringList names;
        for (const sheet::LegendEntry& entry : sheet.legend)
            names.append(QString::fromStdString(entry.name));
        parts.append(QStringLiteral("On the middle line: ") + names.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral(". ")) + u'.';
}

} // namespace standin::staff
