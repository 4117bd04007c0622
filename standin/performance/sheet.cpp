#include "sheet.h"

#include "gmnames.h"
#include "scriptheader.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <optional>

namespace standin::sheet {

namespace {

    constexpr int kWhole = 4 * kTicksPerQuarter;
    // The plain values that last whole ticks, longest first, as {type, ticks}.
    constexpr std::array<std::array<int, 2>, 6> kPlain { { { 1, 480 }, { 2, 240 }, { 4, 120 },
        { 8, 60 }, { 16, 30 }, { 32, 15 } } };

    // A plain or dotted value of exactly that many ticks.
    std::optional<Written> single(int ticks)
    {
        for (const auto& [type, length] : kPlain) {
            if (ticks == length)
                return Written { ticks, type, 0, 1, 1 };
            if (2 * ticks == 3 * length)
                return Written { ticks, type, 1, 1, 1 };
        }
        return std::nullopt;
    }

    // A note's length written in a tuplet: the smallest plain value not shorter than it (a 64th,
    // 7.5 ticks, below that), actual in the time of normal. In half ticks, so that the 64th counts.
    Written bracketed(int ticks)
    {
        int type = 64;
        int half = 15;
        for (auto p = kPlain.rbegin(); p != kPlain.rend() && half < 2 * ticks; ++p) {
            type = (*p)[0];
            half = 2 * (*p)[1];
        }
        const int divisor = std::gcd(half, 2 * ticks);
        return Written { ticks, type, 0, half / divisor, 2 * ticks / divisor };
    }

    // The length of a value as written, in half ticks (a 64th is 15).
    int writtenHalfTicks(int type)
    {
        return 2 * kWhole / type;
    }

    // A bar of the meter: where its beam groups (beats, or dotted quarters in 6/8, 9/8 and
    // 12/8) begin, and the length of each.
    struct Meter {
        int beats = 4;
        int beatType = 4;
        long long bar = kWhole;
        long long group = kTicksPerQuarter;
        bool mergeLast
            = false; // eighths and shorter: groups of a quarter, the rest joined to the last

        Meter(int b, int d)
            : beats(b)
            , beatType(d)
            , bar((long long)(kWhole) / d * b)
        {
            const long long beat = kWhole / d;
            if (d >= 8 && b % 3 == 0 && b > 3)
                group = 3 * beat;
            else if (d >= 8)
                group = kTicksPerQuarter, mergeLast = true;
            else
                group = std::min<long long>(beat, 2 * kTicksPerQuarter);
        }

        // The groups of a measure of that length: their starts, then the measure's end.
        std::vector<long long> groups(long long length) const
        {
            std::vector<long long> starts;
            for (long long t = 0; t < length; t += group)
                starts.push_back(t);
            if (mergeLast && starts.size() > 1 && length - starts.back() < group)
                starts.pop_back();
            starts.push_back(length);
            return starts;
        }
    };

    // The time signature of a measure shorter than the bar: the smallest power of two from the
    // bar's unit up to 64 that holds it exactly, else the fraction of a whole note itself.
    std::array<int, 2> shortSignature(long long ticks, int beatType)
    {
        for (int d = beatType; d <= 64; d *= 2) {
            if (ticks * d % kWhole == 0)
                return { int(ticks * d / kWhole), d };
        }
        const long long divisor = std::gcd(ticks, (long long)(kWhole));
        return { int(ticks / divisor), int(kWhole / divisor) };
    }

    // One note of the pattern as the staff shows it.
    struct Column {
        long long start = 0;
        int length = 0;
        Dynamic dynamic = Dynamic::Plain;
        bool flam = false;
        std::array<std::vector<Stroke>, kVoices> strokes;
    };

    std::vector<Column> columnsOf(const ScriptHeader& header, const std::vector<PatternNote>& notes)
    {
        std::vector<Column> columns;
        long long t = 0;
        for (const PatternNote& p : notes) {
            Column column;
            column.start = t;
            column.length = noteTicks(header, p.note.res);
            column.flam = p.note.flammed;
            column.dynamic = p.note.vol >= 7 ? Dynamic::Accent
                : p.note.vol <= 3            ? Dynamic::Ghost
                                             : Dynamic::Plain;
            for (int k = 0; k < notation::kVoiceCount && p.note.vol > 0; ++k) {
                if (!(p.note.voices & (1 << k)))
                    continue;
                const int key = header.voiceKeys[std::size_t(k)];
                const Placement place = placeKey(key);
                auto& strokes = column.strokes[std::size_t(place.voice)];
                const bool same = std::any_of(strokes.begin(), strokes.end(),
                    [&](const Stroke& s) { return s.step == place.step && s.head == place.head; });
                if (!same)
                    strokes.push_back({ key, place.step, place.head, place.open });
            }
            for (auto& strokes : column.strokes)
                std::sort(strokes.begin(), strokes.end(),
                    [](const Stroke& a, const Stroke& b) { return a.step < b.step; });
            columns.push_back(std::move(column));
            t += columns.back().length;
        }
        return columns;
    }

    // A stretch of one voice within one measure: a note (or the part of one) or a rest.
    struct Piece {
        long long start = 0; // from the measure's start
        long long end = 0;
        int column = -1; // -1: the padding after the last note
        bool note = false;
        bool tiedFrom = false;
        bool tiedTo = false;
    };

    // The elements of one voice in one section, measure by measure.
    class VoiceWriter {
    public:
        VoiceWriter(const std::vector<Column>& columns, const std::vector<std::string>& sticking,
            Voice voice, const Meter& meter)
            : columns_(columns)
            , sticking_(sticking)
            , voice_(std::size_t(voice))
            , meter_(meter)
        {
        }

        VoiceBar write(long long from, long long to, long long sectionTicks) const
        {
            groups_ = meter_.groups(to - from);
            std::vector<Piece> pieces = piecesOf(from, to, sectionTicks);
            VoiceBar bar;
            if (std::none_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.note; })) {
                Element rest;
                rest.rest = rest.wholeMeasure = true;
                rest.length = Written { int(to - from), 1, 0, 1, 1 };
                rest.note = pieces.empty() ? -1 : pieces.front().column;
                bar.elements.push_back(rest);
                return bar;
            }
            for (std::size_t i = 0; i < pieces.size();) {
                if (pieces[i].note) {
                    addNote(pieces[i], bar.elements);
                    ++i;
                    continue;
                }
                std::size_t j = i + 1;
                while (j < pieces.size() && !pieces[j].note
                    && groupOf(pieces[j].start) == groupOf(pieces[i].start))
                    ++j;
                addRests(pieces, i, j, bar.elements);
                i = j;
            }
            bracket(bar);
            beam(bar);
            return bar;
        }

    private:
        std::size_t groupOf(long long tick) const
        {
            return std::size_t(
                std::upper_bound(groups_.begin(), groups_.end(), tick) - groups_.begin() - 1);
        }

        // The voice's notes and rests between the section's ticks from and to, rests cut at the
        // beam groups.
        std::vector<Piece> piecesOf(long long from, long long to, long long sectionTicks) const
        {
            std::vector<Piece> pieces;
            auto add = [&](long long start, long long end, int column, bool note) {
                start = std::max(start, from);
                const long long stop = std::min(end, to);
                if (start >= stop)
                    return;
                if (note) {
                    pieces.push_back({ start - from, stop - from, column, true,
                        start > columns_[std::size_t(column)].start, stop < end });
                    return;
                }
                for (long long t = start; t < stop;) {
                    const long long next = std::min(stop, from + groups_[groupOf(t - from) + 1]);
                    pieces.push_back({ t - from, next - from, column, false, false, false });
                    t = next;
                }
            };
            const auto first = std::upper_bound(columns_.begin(), columns_.end(), from,
                [](long long tick, const Column& c) { return tick < c.start; });
            for (auto c = first == columns_.begin() ? first : first - 1;
                 c != columns_.end() && c->start < to; ++c) {
                add(c->start, c->start + c->length, int(c - columns_.begin()),
                    !c->strokes[voice_].empty());
            }
            const long long notesEnd
                = columns_.empty() ? 0 : columns_.back().start + columns_.back().length;
            add(notesEnd, sectionTicks, -1, false);
            return pieces;
        }

        void addNote(const Piece& piece, std::vector<Element>& out) const
        {
            const Column& column = columns_[std::size_t(piece.column)];
            const std::vector<Written> parts = spell(int(piece.end - piece.start));
            long long tick = piece.start;
            for (std::size_t i = 0; i < parts.size(); ++i) {
                Element e;
                e.tick = tick;
                e.length = parts[i];
                e.strokes = column.strokes[voice_];
                e.note = piece.column;
                e.tiedFromPrevious = i > 0 || piece.tiedFrom;
                e.tiedToNext = i + 1 < parts.size() || piece.tiedTo;
                if (!e.tiedFromPrevious) {
                    e.dynamic = column.dynamic;
                    e.flam = column.flam;
                    const bool hands = !column.strokes[0].empty();
                    if ((voice_ == 0 || !hands) && std::size_t(piece.column) < sticking_.size())
                        e.sticking = sticking_[std::size_t(piece.column)];
                }
                out.push_back(std::move(e));
                tick += parts[i].ticks;
            }
        }

        // Rests for pieces i to j (one beam group): the longest plain rests that fall on their own
        // beat; where none does (inside a tuplet, after an odd length), the piece as it is, or up
        // to the next 32nd of the group when that is an odd length.
        void addRests(const std::vector<Piece>& pieces, std::size_t i, std::size_t j,
            std::vector<Element>& out) const
        {
            const std::size_t group = groupOf(pieces[i].start);
            const long long groupStart = groups_[group];
            const long long groupEnd = groups_[group + 1];
            const long long end = pieces[j - 1].end;
            std::size_t piece = i;
            for (long long pos = pieces[i].start; pos < end;) {
                while (pieces[piece].end <= pos)
                    ++piece;
                std::optional<Written> chosen;
                if (pos == groupStart && end == groupEnd)
                    chosen = single(int(end - pos)); // a dotted rest fills a 6/8 beat
                for (const auto& [type, length] : kPlain) {
                    if (!chosen && pos + length <= end && (pos - groupStart) % length == 0)
                        chosen = Written { length, type, 0, 1, 1 };
                }
                std::vector<Written> parts;
                if (chosen) {
                    parts.push_back(*chosen);
                } else {
                    long long stop = pieces[piece].end;
                    const std::vector<Written> whole = spell(int(stop - pos));
                    const bool standard = whole.size() == 1
                        && ((whole[0].actual == 3 && whole[0].normal == 2)
                            || (whole[0].actual == 5 && whole[0].normal == 4));
                    const long long grid = groupStart + ((pos - groupStart) / 15 + 1) * 15;
                    if (!standard && grid < stop)
                        stop = grid;
                    parts = spell(int(stop - pos));
                }
                for (const Written& w : parts) {
                    Element rest;
                    rest.tick = pos;
                    rest.length = w;
                    rest.rest = true;
                    rest.note = pieces[piece].column;
                    out.push_back(rest);
                    pos += w.ticks;
                }
            }
        }

        // Brackets over runs of one tuplet ratio, each closed where it has filled a whole number
        // of its first value's span (three triplet eighths: a quarter).
        static void bracket(VoiceBar& bar)
        {
            auto& elements = bar.elements;
            for (std::size_t i = 0; i < elements.size();) {
                const Written w = elements[i].length;
                if (!w.tuplet()) {
                    ++i;
                    continue;
                }
                const long long span = (long long)(w.normal) * writtenHalfTicks(w.type);
                long long filled = 0;
                std::size_t j = i;
                while (j < elements.size() && elements[j].length.actual == w.actual
                    && elements[j].length.normal == w.normal) {
                    filled += 2LL * elements[j].length.ticks;
                    ++j;
                    if (filled % span == 0)
                        break;
                }
                const bool plain
                    = (w.actual == 3 && w.normal == 2) || (w.actual == 5 && w.normal == 4);
                bar.tuplets.push_back({ int(i), int(j - 1), w.actual, w.normal, w.type, !plain });
                for (std::size_t k = i; k < j; ++k)
                    elements[k].tuplet = int(bar.tuplets.size() - 1);
                i = j;
            }
        }

        // Beams over the notes of a beat (of a tuplet, when they are in one), across the short
        // rests between them; the secondary beams broken where four notes of their value make a
        // smaller part of the beat.
        void beam(VoiceBar& bar) const
        {
            auto& elements = bar.elements;
            auto key = [&](const Element& e) {
                return e.tuplet >= 0 ? -1 - e.tuplet : int(groupOf(e.tick));
            };
            auto beamable
                = [](const Element& e) { return !e.wholeMeasure && beamCount(e.length.type) > 0; };
            for (std::size_t i = 0; i < elements.size();) {
                std::vector<std::size_t> notes;
                std::size_t j = i;
                while (j < elements.size() && beamable(elements[j])
                    && key(elements[j]) == key(elements[i])) {
                    if (!elements[j].rest)
                        notes.push_back(j);
                    ++j;
                }
                if (notes.size() >= 2)
                    beamRun(elements, notes);
                i = std::max(j, i + 1);
            }
        }

        void beamRun(std::vector<Element>& elements, const std::vector<std::size_t>& notes) const
        {
            const Element& head = elements[notes.front()];
            const bool inTuplet = head.tuplet >= 0;
            const std::size_t group = groupOf(head.tick);
            const long long groupStart = groups_[group];
            const long long groupLength = groups_[group + 1] - groupStart;
            auto joined = [&](const Element& a, const Element& b, int level) {
                if (beamCount(a.length.type) < level || beamCount(b.length.type) < level)
                    return false;
                const long long span = 4LL * (60 >> (level - 1));
                const bool breaks
                    = level >= 2 && !inTuplet && span < groupLength && groupLength % span == 0;
                return b.tick == a.tick + a.length.ticks
                    && !(breaks && (b.tick - groupStart) % span == 0);
            };
            for (std::size_t k = 0; k < notes.size(); ++k) {
                Element& e = elements[notes[k]];
                for (int level = 1; level <= beamCount(e.length.type) && level <= 4; ++level) {
                    const bool left
                        = k > 0 && (level == 1 || joined(elements[notes[k - 1]], e, level));
                    const bool right = k + 1 < notes.size()
                        && (level == 1 || joined(e, elements[notes[k + 1]], level));
                    e.beams[std::size_t(level - 1)] = left && right ? Beam::Continue
                        : left                                      ? Beam::End
                        : right                                     ? Beam::Begin
                        : k == 0                                    ? Beam::ForwardHook
                                                                    : Beam::BackwardHook;
                }
            }
        }

        const std::vector<Column>& columns_;
        const std::vector<std::string>& sticking_;
        std::size_t voice_;
        const Meter& meter_;
        mutable std::vector<long long> groups_; // of the measure being written
    };

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

std::vector<Written> spell(int ticks)
{
    if (ticks <= 0)
        return {};
    if (const auto one = single(ticks))
        return { *one };
    if (ticks > kWhole) {
        std::vector<Written> parts(std::size_t(ticks / kWhole), Written { kWhole, 1, 0, 1, 1 });
        const std::vector<Written> rest = spell(ticks % kWhole);
        parts.insert(parts.end(), rest.begin(), rest.end());
        return parts;
    }
    for (const auto& [type, length] : kPlain) {
        for (const int first : { length * 3 / 2, length }) {
            if (first < ticks && single(first) && single(ticks - first))
                return { *single(first), *single(ticks - first) };
        }
    }
    return { bracketed(ticks) };
}

int beamCount(int type)
{
    switch (type) {
    case 8:
        return 1;
    case 16:
        return 2;
    case 32:
        return 3;
    case 64:
        return 4;
    default:
        return 0;
    }
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
        std::array<VoiceWriter, kVoices> writers {
            VoiceWriter(part.columns, sticking ? sticking->hands : none, Voice::Upper, meter),
            VoiceWriter(part.columns, sticking ? sticking->hands : none, Voice::Lower, meter)
        };
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
                        = writers[std::size_t(v)].write(start, start + m.ticks, ticks);
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
