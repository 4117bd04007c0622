#include "practiceschedule.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace standin {

namespace {

    double tickSeconds(int tempo)
    {
        return 60.0 / (tempo * kTicksPerQuarter);
    }

    // The sections kept for locate() besides the one playing.
    constexpr std::size_t kKeptSections = 8;

    // The first beat of a bar: its click this much louder in velocity (about 4 dB).
    constexpr double kAccent = 1.25;

    MidiEvent note(MidiEvent::Type type, double seconds, int key, int velocity)
    {
        MidiEvent event;
        event.type = type;
        event.seconds = seconds;
        event.key = key;
        event.velocity = velocity;
        return event;
    }

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
    mCountInBeats.clear();
    mStart = -1;
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

void PracticeSchedule::setClickLevel(int level)
{
    mClickLevel = std::clamp(level, 0, 127);
    rebuildFromNextNote();
}

void PracticeSchedule::setLoopTempo(LoopTempo loopTempo)
{
    mLoopTempo = std::move(loopTempo);
    rebuildFromNextNote();
}

int PracticeSchedule::tempoOf(SectionKind kind, int repeat) const
{
    // A transition plays at the tempo of the repeat before it.
    const int r = std::max(0, kind == SectionKind::Transition ? repeat - 1 : repeat);
    return std::clamp(mLoopTempo ? mLoopTempo(r, mTempo) : mTempo, kMinTempo, kMaxTempo);
}

// The header as the window plays it: the beat click as set, and the first beat of each bar
// accented whenever the click is on.
ScriptHeader PracticeSchedule::windowHeader() const
{
    ScriptHeader header = mHeader;
    header.playBeat = mClick;
    header.playBar = mHeader.playBar || mClick;
    return header;
}

ClickLevels PracticeSchedule::clickLevels() const
{
    return { mClickLevel, std::min(127, int(std::lround(mClickLevel * kAccent))) };
}

// One bar of clicks from the lead-in on, the first accented, at the first repeat's tempo.
void PracticeSchedule::buildCountIn()
{
    mCountInTempo = tempoOf(SectionKind::Pattern, 0);
    const double beat = beatTicks(mHeader, mNoTimeSignature) * tickSeconds(mCountInTempo);
    for (int b = 0; b < barBeats(mHeader, mNoTimeSignature); ++b)
        mCountInBeats.push_back(kLeadInSeconds + b * beat);
    mStart = kLeadInSeconds + double(mCountInBeats.size()) * beat;
}

// The beats not yet taken at the tempo now set: the next keeps its time, the rest follow it.
void PracticeSchedule::retimeCountIn()
{
    const auto next = std::find_if(
        mCountInBeats.begin(), mCountInBeats.end(), [this](double beat) { return beat >= mTaken; });
    if (next == mCountInBeats.end())
        return;
    mCountInTempo = tempoOf(SectionKind::Pattern, 0);
    const double beat = beatTicks(mHeader, mNoTimeSignature) * tickSeconds(mCountInTempo);
    for (auto b = next + 1; b != mCountInBeats.end(); ++b)
        *b = *(b - 1) + beat;
    mStart = mCountInBeats.back() + beat;
}

std::vector<MidiEvent> PracticeSchedule::countInEvents() const
{
    std::vector<MidiEvent> events;
    const ClickLevels levels = clickLevels();
    for (std::size_t b = 0; b < mCountInBeats.size(); ++b) {
        const int velocity = b == 0 ? levels.bar : levels.beat;
        const int key = b == 0 ? kBarClickKey : kBeatClickKey;
        if (velocity <= 0)
            continue;
        const double until = b + 1 < mCountInBeats.size() ? mCountInBeats[b + 1] : mStart;
        events.push_back(note(MidiEvent::Type::NoteOn, mCountInBeats[b], key, velocity));
        events.push_back(note(MidiEvent::Type::NoteOff, until, key, 0));
    }
    return events;
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
    std::vector<MidiEvent> events;
    if (mStart < 0) {
        MidiEvent program; // the drum kit, before the first note
        program.type = MidiEvent::Type::ProgramChange;
        program.key = mHeader.program;
        events.push_back(program);
        mStart = kLeadInSeconds;
        if (mCountIn)
            buildCountIn();
        const std::vector<MidiEvent> clicks = countInEvents();
        events.insert(events.end(), clicks.begin(), clicks.end());
    }
    Built built;
    built.kind = kind;
    built.repeat = repeat;
    const double start = mBuilt.empty() ? mStart : mBuilt.back().end();
    built.pieces.push_back({ 0, start, tempoOf(kind, repeat) });
    built.ticks = buildSection(windowHeader(), mNoTimeSignature, notes(kind), built.pieces[0].tempo,
        kind == SectionKind::Pattern, start, events, clickLevels());
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
        retimeCountIn();
    for (const MidiEvent& e : countInEvents())
        if (e.seconds >= mTaken)
            mPending.push_back(e);
    sortEvents(mPending);
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
    const ScriptHeader header = windowHeader();
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
            pieces[i].seconds - double(pieces[i].tick) * tickSeconds(pieces[i].tempo), built,
            clickLevels());
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
    if (!mCountInBeats.empty() && seconds >= mCountInBeats[0] && seconds < mStart) {
        position.tempo = mCountInTempo;
        position.countIn = int(std::upper_bound(mCountInBeats.begin(), mCountInBeats.end(), seconds)
            - mCountInBeats.begin());
    }
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
