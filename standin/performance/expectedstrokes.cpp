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

void ExpectedFeed::reset()
{
    *this = ExpectedFeed();
}

void ExpectedFeed::feed(const PracticeSchedule& schedule, StrokeMatcher& matcher)
{
    const double until = schedule.taken();
    if (until <= mDoneUntil)
        return;
    const int plain = plainVolume(schedule.notes(SectionKind::Pattern));
    // Loops begin before their notes: the sections' starts and the notes in one order.
    std::vector<PracticeSchedule::SectionStart> starts = schedule.sectionStarts(mDoneUntil, until);
    std::size_t nextStart = 0;
    for (const PracticeSchedule::NoteTime& t : schedule.noteTimes(mDoneUntil, until)) {
        for (; nextStart < starts.size() && starts[nextStart].seconds <= t.seconds; ++nextStart)
            if (starts[nextStart].kind == SectionKind::Pattern)
                matcher.addLoop(starts[nextStart].repeat + 1, starts[nextStart].seconds);
        const notation::Note& note = schedule.notes(t.kind)[t.index].note;
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
    for (; nextStart < starts.size(); ++nextStart)
        if (starts[nextStart].kind == SectionKind::Pattern)
            matcher.addLoop(starts[nextStart].repeat + 1, starts[nextStart].seconds);
    mDoneUntil = until;
    matcher.setKnownUntil(until);
    if (!mFinished && schedule.finished()) {
        mFinished = true;
        matcher.finish(schedule.endSeconds());
    }
}

} // namespace standin
