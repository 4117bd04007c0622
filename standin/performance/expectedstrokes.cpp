#include "expectedstrokes.h"

#include <map>

namespace standin {

namespace {

    int family(int key)
    {
        switch (key) {
        case 40:
            return 38;
        case 35:
            return 36;
        case 44:
        case 46:
            return 42;
        default:
            return key;
        }
    }

} // namespace

unsigned voicesForKey(const ScriptHeader& header, int key)
{
    unsigned voices = 0;
    for (std::size_t k = 0; k < header.voiceKeys.size(); ++k)
        if (family(header.voiceKeys[k]) == family(key))
            voices |= 1u << k;
    return voices;
}

unsigned soundingVoices(const PracticeSchedule& schedule)
{
    unsigned voices = 0;
    for (SectionKind kind : { SectionKind::Intro, SectionKind::Pattern, SectionKind::Transition })
        for (const PatternNote& p : schedule.notes(kind))
            if (p.note.vol > 0)
                voices |= unsigned(p.note.voices) & kAnyVoice;
    return voices;
}

int plainVolume(const std::vector<PatternNote>& notes)
{
    std::map<int, int> counts;
    for (const PatternNote& p : notes)
        if (p.note.vol > 0 && p.note.voices != 0)
            ++counts[p.note.vol];
    int plain = 0;
    int most = 0;
    for (const auto& [volume, count] : counts)
        if (count > most) {
            plain = volume;
            most = count;
        }
    return plain;
}

void ExpectedFeed::reset(double from)
{
    *this = ExpectedFeed();
    mDoneUntil = from;
}

void ScheduleProgress::add(const PracticeSchedule& schedule, double from)
{
    const double until = schedule.taken();
    if (until > from) {
        for (const auto& t : schedule.noteTimes(from, until))
            notes.push_back(t);
        for (const auto& t : schedule.sectionStarts(from, until))
            starts.push_back(t);
    }
    taken = until;
    finished = schedule.finished();
    end = schedule.endSeconds();
}

void ScheduleProgress::append(ScheduleProgress&& later)
{
    if (later.play != play) {
        *this = std::move(later);
        return;
    }
    notes.insert(notes.end(), later.notes.begin(), later.notes.end());
    starts.insert(starts.end(), later.starts.begin(), later.starts.end());
    taken = later.taken;
    finished = later.finished;
    end = later.end;
}

void ScheduleProgress::forget(double before)
{
    std::erase_if(notes, [&](const PracticeSchedule::NoteTime& t) { return t.seconds < before; });
    std::erase_if(
        starts, [&](const PracticeSchedule::SectionStart& t) { return t.seconds < before; });
}

void ExpectedFeed::feed(const PracticeSchedule& schedule, StrokeMatcher& matcher)
{
    const double until = schedule.taken();
    if (until <= mDoneUntil)
        return;
    ScheduleProgress progress;
    progress.add(schedule, mDoneUntil);
    feed(progress, schedule, matcher);
}

void ExpectedFeed::feed(
    const ScheduleProgress& progress, const PracticeSchedule& shown, StrokeMatcher& matcher)
{
    const double until = progress.taken;
    if (until <= mDoneUntil)
        return;
    const int plain = plainVolume(shown.notes(SectionKind::Pattern));
    // Loops begin before their notes: the sections' starts and the notes in one order.
    std::size_t nextStart = 0;
    const auto& starts = progress.starts;
    auto loopsUntil = [&](double seconds, bool inclusive) {
        for (; nextStart < starts.size()
             && (inclusive ? starts[nextStart].seconds <= seconds
                           : starts[nextStart].seconds < seconds);
             ++nextStart)
            if (starts[nextStart].seconds >= mDoneUntil
                && starts[nextStart].kind == SectionKind::Pattern)
                matcher.addLoop(starts[nextStart].repeat + 1, starts[nextStart].seconds);
    };
    for (const PracticeSchedule::NoteTime& t : progress.notes) {
        if (t.seconds < mDoneUntil || t.seconds >= until)
            continue;
        loopsUntil(t.seconds, true);
        const std::vector<PatternNote>& notes = shown.notes(t.kind);
        if (t.index >= notes.size())
            continue; // another script's: not this play's
        const notation::Note& note = notes[t.index].note;
        if (note.vol <= 0)
            continue;
        ExpectedStroke stroke;
        stroke.loop = t.kind == SectionKind::Intro ? 1 : t.repeat + 1;
        stroke.note = int(t.index) + 1;
        stroke.seconds = t.seconds;
        stroke.loopStart = t.sectionStart;
        stroke.dynamics = note.vol > plain ? Dynamics::Accent
            : note.vol < plain             ? Dynamics::Ghost
                                           : Dynamics::Plain;
        stroke.flam = note.flammed;
        stroke.graded = t.kind == SectionKind::Pattern;
        for (int k = 0; k < notation::kVoiceCount; ++k)
            if (note.voices & (1 << k)) {
                stroke.voices = 1u << k;
                matcher.addExpected(stroke);
            }
    }
    loopsUntil(until, false);
    mDoneUntil = until;
    matcher.setKnownUntil(until);
    if (!mFinished && progress.finished) {
        mFinished = true;
        matcher.finish(progress.end);
    }
}

} // namespace standin
