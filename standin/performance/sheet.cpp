#include "sheet.h"

#include "gmnames.h"
#include "sheetlayout.h"

#include <algorithm>
#include <map>

namespace standin::sheet {

namespace {

    std::string sectionRaw(const Script& script, const std::string& name)
    {
        const PatternDefinition* pattern = findPattern(script, name);
        return pattern ? pattern->definition : script.definition;
    }

} // namespace

Placement placeKey(int key)
{
    struct Row {
        int key;
        int step;
        Head head;
    };
    // The common drum-set key of a five-line staff.
    static constexpr Row kRows[] = { { 35, 1, Head::Normal }, { 36, 1, Head::Normal },
        { 44, -1, Head::X }, { 41, 2, Head::Normal }, { 43, 3, Head::Normal },
        { 45, 4, Head::Normal }, { 47, 6, Head::Normal }, { 48, 6, Head::Normal },
        { 50, 7, Head::Normal }, { 38, 5, Head::Normal }, { 40, 5, Head::Normal },
        { 37, 5, Head::CircledX }, { 39, 5, Head::Slash }, { 42, 9, Head::X }, { 46, 9, Head::X },
        { 51, 8, Head::X }, { 59, 8, Head::X }, { 53, 8, Head::Diamond }, { 49, 10, Head::X },
        { 57, 11, Head::X }, { 52, 11, Head::CircledX }, { 55, 10, Head::CircledX } };
    for (const Row& row : kRows) {
        if (row.key == key) {
            const bool foot = key == 35 || key == 36 || key == 44;
            return { row.step, row.head, key == 46, foot ? Voice::Lower : Voice::Upper, true };
        }
    }
    return {};
}

char stepLetter(int step)
{
    return "CDEFGAB"[((step + 2) % 7 + 7) % 7];
}

int stepOctave(int step)
{
    const int fromC4 = step + 2;
    return 4 + (fromC4 >= 0 ? fromC4 / 7 : -((6 - fromC4) / 7));
}

bool buildSheet(const Script& script, bool noTimeSignature, Sheet& sheet, std::string& error)
{
    sheet = Sheet();
    Performance performance; // what the host refuses to play, the sheet refuses to write
    ScriptHeader header;
    std::vector<std::string> notices;
    if (!buildPerformance(script, noTimeSignature, performance, error)
        || !readScriptHeader(script, header, notices, error))
        return false;

    const Meter meter(performance.beatsPerBar, performance.beatUnit);
    const bool padded = !noTimeSignature && header.beatsPerBar > 0;
    sheet.title = performance.name;
    sheet.tempo = std::clamp(header.tempo, kMinTempo, kMaxTempo);
    sheet.repeats = std::max(1, header.repeats);
    sheet.program = header.program;
    if (sheet.repeats > 1 && header.tempoChange != 0) {
        sheet.tempoText = (header.tempoChange > 0 ? "+" : "") + std::to_string(header.tempoChange)
            + " per repeat";
    }

    struct Part {
        SectionKind kind;
        std::string name;
        const std::vector<PatternNote>* notes;
        std::vector<Column> columns;
    };
    std::vector<Part> parts;
    if (!header.intro.empty())
        parts.push_back({ SectionKind::Intro, header.introName, &header.intro, {} });
    parts.push_back({ SectionKind::Pattern, std::string(kPatternName), &script.notes, {} });
    if (!header.transition.empty() && sheet.repeats > 1)
        parts.push_back({ SectionKind::Transition, header.transitionName, &header.transition, {} });

    std::map<int, bool> keys;
    for (Part& part : parts) {
        part.columns = columnsOf(header, *part.notes);
        for (const Column& column : part.columns) {
            for (int v = 0; v < kVoices; ++v) {
                sheet.voiceUsed[std::size_t(v)] |= !column.strokes[std::size_t(v)].empty();
                for (const Stroke& stroke : column.strokes[std::size_t(v)])
                    keys[stroke.key] = true;
            }
        }
    }
    if (!sheet.voiceUsed[0] && !sheet.voiceUsed[1])
        sheet.voiceUsed[0] = true; // nothing sounds: the rests in the hands' voice
    for (const auto& [key, used] : keys) {
        sheet.keys.push_back(key);
        if (!placeKey(key).known)
            sheet.legend.push_back({ key, percussionName(key).toStdString() });
    }

    static const char* const kKindNames[] = { "Intro ", "Pattern ", "Transition " };
    const std::vector<std::string> none;
    for (const Part& part : parts) {
        Section section;
        section.kind = part.kind;
        section.name = part.name;
        section.mark = kKindNames[int(part.kind)] + part.name;
        section.raw = sectionRaw(script, part.name);
        section.notes = int(part.notes->size());
        section.firstMeasure = int(sheet.measures.size());
        const Sticking* sticking = findSticking(script, part.name);
        const Column& last = part.columns.back();
        const long long notesTicks = last.start + last.length;
        const long long ticks
            = padded ? (notesTicks + meter.bar - 1) / meter.bar * meter.bar : notesTicks;
        const int index = int(sheet.sections.size());
        for (long long start = 0; start < ticks; start += meter.bar) {
            Measure m;
            m.number = int(sheet.measures.size()) + 1;
            m.section = index;
            m.start = start;
            m.ticks = std::min(meter.bar, ticks - start);
            const auto signature = m.ticks == meter.bar
                ? std::array<int, 2> { meter.beats, meter.beatType }
                : shortSignature(m.ticks, meter.beatType);
            m.beats = signature[0];
            m.beatType = signature[1];
            const Measure* before = sheet.measures.empty() ? nullptr : &sheet.measures.back();
            m.showTime = !before || before->beats != m.beats || before->beatType != m.beatType;
            for (int v = 0; v < kVoices; ++v) {
                if (sheet.voiceUsed[std::size_t(v)])
                    m.voices[std::size_t(v)]
                        = layoutVoice(part.columns, sticking ? sticking->hands : none, Voice(v),
                            meter, start, start + m.ticks, ticks);
            }
            sheet.measures.push_back(std::move(m));
        }
        section.measureCount = int(sheet.measures.size()) - section.firstMeasure;
        sheet.sections.push_back(std::move(section));
    }

    // The pattern between repeat signs; a transition as the volta of every pass but the last.
    if (sheet.repeats > 1) {
        const Section& closing = sheet.sections.back(); // the pattern, or the transition after it
        Measure& end = sheet.measures[std::size_t(closing.firstMeasure + closing.measureCount - 1)];
        end.repeatEnd = true;
        end.repeatTimes = sheet.repeats;
        end.repeatText = "\u00d7" + std::to_string(sheet.repeats);
        for (const Section& section : sheet.sections) {
            Measure& first = sheet.measures[std::size_t(section.firstMeasure)];
            Measure& last
                = sheet.measures[std::size_t(section.firstMeasure + section.measureCount - 1)];
            if (section.kind == SectionKind::Pattern)
                first.repeatStart = true;
            if (section.kind == SectionKind::Transition) {
                first.endingStart = last.endingStop = true;
                for (int pass = 1; pass < sheet.repeats; ++pass) {
                    first.endingNumbers += (pass > 1 ? ", " : "") + std::to_string(pass);
                    last.endingNumbers = first.endingNumbers;
                }
                first.endingText = last.endingText = sheet.repeats == 2
                    ? "1."
                    : "1.\u2013" + std::to_string(sheet.repeats - 1) + ".";
            }
        }
    }
    return true;
}

int measureAt(const Sheet& sheet, SectionKind kind, double tick)
{
    for (const Section& section : sheet.sections) {
        if (section.kind != kind)
            continue;
        for (int i = section.firstMeasure; i < section.firstMeasure + section.measureCount; ++i) {
            const Measure& m = sheet.measures[std::size_t(i)];
            if (tick >= double(m.start) && tick < double(m.start + m.ticks))
                return i;
        }
    }
    return -1;
}

} // namespace standin::sheet
