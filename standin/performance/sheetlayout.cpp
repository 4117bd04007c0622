#include "sheetlayout.h"

#include <algorithm>
#include <numeric>
#include <optional>

namespace standin::sheet {

namespace {

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
        return 2 * kWholeTicks / type;
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

    // One voice of one measure: its notes and rests, tuplets and beams.
    class VoiceWriter {
    public:
        VoiceWriter(const std::vector<Column>& columns, const std::vector<std::string>& sticking,
            Voice voice, const Meter& meter, long long length)
            : columns_(columns)
            , sticking_(sticking)
            , voice_(std::size_t(voice))
            , groups_(meter.groups(length))
        {
        }

        VoiceBar write(long long from, long long to, long long sectionTicks) const
        {
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
        std::vector<long long> groups_; // the measure's beam groups: their starts, then its end
    };

} // namespace

// The time signature of a measure shorter than the bar: the smallest power of two from the
// bar's unit up to 64 that holds it exactly, else the fraction of a whole note itself.
std::array<int, 2> shortSignature(long long ticks, int beatType)
{
    for (int d = beatType; d <= 64; d *= 2) {
        if (ticks * d % kWholeTicks == 0)
            return { int(ticks * d / kWholeTicks), d };
    }
    const long long divisor = std::gcd(ticks, (long long)(kWholeTicks));
    return { int(ticks / divisor), int(kWholeTicks / divisor) };
}

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

VoiceBar layoutVoice(const std::vector<Column>& columns, const std::vector<std::string>& sticking,
    Voice voice, const Meter& meter, long long from, long long to, long long sectionTicks)
{
    return VoiceWriter(columns, sticking, voice, meter, to - from).write(from, to, sectionTicks);
}

std::vector<Written> spell(int ticks)
{
    if (ticks <= 0)
        return {};
    if (const auto one = single(ticks))
        return { *one };
    if (ticks > kWholeTicks) {
        std::vector<Written> parts(
            std::size_t(ticks / kWholeTicks), Written { kWholeTicks, 1, 0, 1, 1 });
        const std::vector<Written> rest = spell(ticks % kWholeTicks);
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

} // namespace standin::sheet
