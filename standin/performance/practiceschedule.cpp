#include "practiceschedule.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace standin {

namespace {

    double tickSeconds(int tempo)
    {
        return 60.0 / (tempo * kTicksPerQuarter);
    }

    // The sections kept for locate() besides the one playing.
    constexpr std::size_t kKeptSections = 8;

} // namespace

double PracticeSchedule::Built::secondsAt(long long tick) const
{
    auto piece = pieces.begin();
    for (auto p = pieces.begin(); p != pieces.end() && p->tick <= tick; ++p)
        piece = p;
    return piece->seconds + double(tick - piece->tick) * tickSeconds(piece->tempo);
}

double PracticeSchedule::Built::end() const
{
    return secondsAt(ticks);
}

bool PracticeSchedule::load(const Script& script, bool noTimeSignature, std::string& error)
{
    ScriptHeader header;
    std::vector<std::string> notices;
    if (!readScriptHeader(script, header, notices, error))
        return false;
    mHeader = header;
    mPattern = script.notes;
    // The names that INTRO and TRANSITION give (the last setting of each wins, as in the header).
    mNames[int(SectionKind::Pattern)] = kPatternName;
    for (const Setting& setting : script.settings) {
        std::string key;
        for (char c : setting.name)
            if (c != ' ')
                key += char(std::toupper(static_cast<unsigned char>(c)));
        const auto kind = key == "INTRO" ? SectionKind::Intro
            : key == "TRANSITION"        ? SectionKind::Transition
                                         : SectionKind::Pattern;
        if (kind == SectionKind::Pattern)
            continue;
        const PatternDefinition* definition = findPattern(script, setting.value);
        mNames[int(kind)] = definition ? definition->name : setting.value;
    }
    mNoTimeSignature = noTimeSignature;
    mTempo = header.tempo;
    mClick = header.playBeat;
    restart();
    return true;
}

const std::vector<PatternNote>& PracticeSchedule::notes(SectionKind kind) const
{
    return kind == SectionKind::Intro     ? mHeader.intro
        : kind == SectionKind::Transition ? mHeader.transition
                                          : mPattern;
}

void PracticeSchedule::restart()
{
    mBuilt.clear();
    mPending.clear();
    mTaken = 0;
}

void PracticeSchedule::setTempo(int tempo)
{
    mTempo = std::clamp(tempo, kMinTempo, kMaxTempo);
    rebuildFromNextNote();
}

void PracticeSchedule::setClick(bool click)
{
    mClick = click;
    rebuildFromNextNote();
}

int PracticeSchedule::tempoOf(SectionKind kind, int repeat) const
{
    // A transition plays at the tempo of the repeat before it.
    const int r = kind == SectionKind::Transition ? repeat - 1 : repeat;
    const long long tempo = mTempo + (long long)(r)*mHeader.tempoChange;
    return int(std::clamp<long long>(tempo, kMinTempo, kMaxTempo));
}

bool PracticeSchedule::next(SectionKind& kind, int& repeat) const
{
    if (mBuilt.empty()) {
        kind = mHeader.intro.empty() ? SectionKind::Pattern : SectionKind::Intro;
        repeat = 0;
        return true;
    }
    const Built& last = mBuilt.back();
    repeat = last.repeat;
    if (last.kind != SectionKind::Pattern) {
        kind = SectionKind::Pattern;
        return true;
    }
    if (!mLoop && last.repeat + 1 >= std::max(1, mHeader.repeats))
        return false;
    repeat = last.repeat + 1;
    kind = mHeader.transition.empty() ? SectionKind::Pattern : SectionKind::Transition;
    return true;
}

// Every event of a section, each stretch at its own tempo: the section is built once per piece,
// placed so that the piece's first tick falls on its time, and each build gives the events from
// its piece's first note (a grace note included) to the next piece's.
void PracticeSchedule::add(std::vector<MidiEvent> events)
{
    // A key held beyond the section's end is released where the next section strikes it again.
    for (const MidiEvent& on : events) {
        if (on.type != MidiEvent::Type::NoteOn)
            continue;
        for (MidiEvent& off : mPending)
            if (off.type == MidiEvent::Type::NoteOff && off.key == on.key
                && off.seconds > on.seconds)
                off.seconds = on.seconds;
    }
    mPending.insert(mPending.end(), events.begin(), events.end());
    sortEvents(mPending);
}

void PracticeSchedule::buildNext()
{
    SectionKind kind;
    int repeat = 0;
    if (!next(kind, repeat))
        return;
    Built built;
    built.kind = kind;
    built.repeat = repeat;
    const double start = mBuilt.empty() ? kLeadInSeconds : mBuilt.back().end();
    built.pieces.push_back({ 0, start, tempoOf(kind, repeat) });
    ScriptHeader header = mHeader;
    header.playBeat = mClick;
    std::vector<MidiEvent> events;
    if (mBuilt.empty()) {
        MidiEvent program; // the drum kit, before the first note
        program.type = MidiEvent::Type::ProgramChange;
        program.key = mHeader.program;
        events.push_back(program);
    }
    built.ticks = buildSection(header, mNoTimeSignature, notes(kind), built.pieces[0].tempo,
        kind == SectionKind::Pattern, start, events);
    mBuilt.push_back(built);
    while (mBuilt.size() > kKeptSections && mBuilt.front().end() < mTaken)
        mBuilt.pop_front();
    add(std::move(events));
}

void PracticeSchedule::rebuildFromNextNote()
{
    // Sections not begun (their first grace note included) are built again when reached.
    while (!mBuilt.empty() && mBuilt.back().pieces[0].seconds - kFlamSeconds >= mTaken)
        mBuilt.pop_back();
    mPending.clear();
    if (mBuilt.empty())
        return;
    Built& current = mBuilt.back();
    // The first note whose events (a grace note 30 ms early included) are all still to come.
    long long tick = 0;
    for (const PatternNote& note : notes(current.kind)) {
        if (current.secondsAt(tick) - kFlamSeconds >= mTaken)
            break;
        tick += noteTicks(mHeader, note.note.res);
    }
    if (tick < current.ticks) {
        while (current.pieces.back().tick >= tick && current.pieces.size() > 1)
            current.pieces.pop_back();
        current.pieces.push_back(
            { tick, current.secondsAt(tick), tempoOf(current.kind, current.repeat) });
    }
    ScriptHeader header = mHeader;
    header.playBeat = mClick;
    std::vector<MidiEvent> events;
    const auto& pieces = current.pieces;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const double from
            = i == 0 ? -std::numeric_limits<double>::infinity() : pieces[i].seconds - kFlamSeconds;
        const double to = i + 1 < pieces.size() ? pieces[i + 1].seconds - kFlamSeconds
                                                : std::numeric_limits<double>::infinity();
        std::vector<MidiEvent> built;
        buildSection(header, mNoTimeSignature, notes(current.kind), pieces[i].tempo,
            current.kind == SectionKind::Pattern,
            pieces[i].seconds - double(pieces[i].tick) * tickSeconds(pieces[i].tempo), built);
        for (const MidiEvent& e : built)
            if (e.seconds >= from && e.seconds < to && e.seconds >= mTaken)
                events.push_back(e);
    }
    add(std::move(events));
}

std::vector<MidiEvent> PracticeSchedule::take(double until)
{
    SectionKind kind;
    int repeat = 0;
    while ((mBuilt.empty() || mBuilt.back().end() - kFlamSeconds < until) && next(kind, repeat))
        buildNext();
    const auto split = std::find_if(mPending.begin(), mPending.end(),
        [until](const MidiEvent& e) { return e.seconds >= until; });
    std::vector<MidiEvent> taken(mPending.begin(), split);
    mPending.erase(mPending.begin(), split);
    mTaken = std::max(mTaken, until);
    return taken;
}

bool PracticeSchedule::finished() const
{
    SectionKind kind;
    int repeat = 0;
    return !mBuilt.empty() && mPending.empty() && !next(kind, repeat);
}

double PracticeSchedule::endSeconds() const
{
    return finished() ? mBuilt.back().end() : -1;
}

PracticeSchedule::Position PracticeSchedule::locate(double seconds) const
{
    Position position;
    for (const Built& built : mBuilt) {
        if (seconds < built.pieces[0].seconds || seconds >= built.end())
            continue;
        position.inside = true;
        position.kind = built.kind;
        position.repeat = built.repeat;
        const Piece* piece = &built.pieces[0];
        for (const Piece& p : built.pieces)
            if (p.seconds <= seconds)
                piece = &p;
        position.tempo = piece->tempo;
        position.tick
            = double(piece->tick) + (seconds - piece->seconds) / tickSeconds(piece->tempo);
    }
    return position;
}

} // namespace standin
