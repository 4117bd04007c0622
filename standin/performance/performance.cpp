#include "performance.h"

#include "scriptheader.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace standin {

namespace {

    // Lengths of note types 1 to 9 in ticks: quarter, 8th, 8th triplet, 16th, 16th triplet,
    // 32nd, 32nd triplet, 8th quintuplet, 5 over 3 16ths.
    constexpr std::array<int, 9> kTypeTicks { 120, 60, 40, 30, 20, 15, 10, 24, 18 };
    constexpr int kWholeTicks = 4 * kTicksPerQuarter;

    // One part of the performance: the pattern once, or an intro or a transition.
    struct Section {
        const std::vector<PatternNote>* notes = nullptr;
        int tempo = 0;
        bool clicks = false; // the repeats click, intros and transitions do not
        long long ticks = 0; // padded
    };

    // A key struck at a time and held until a time (or the next strike of the same key).
    struct Strike {
        double at = 0;
        int key = 0;
        int velocity = 0;
        double until = 0;
    };

    struct Builder {
        const ScriptHeader& header;
        bool padded = false; // bars of TIMESIG are used
        std::vector<Strike> strikes;
        ClickLevels levels {};

        int noteTicks(int res) const
        {
            return res <= 9 ? kTypeTicks[std::size_t(res - 1)]
                            : header.letterTicks[std::size_t(res - 10)];
        }
        int beatTicks() const { return padded ? kWholeTicks / header.beatUnit : kTicksPerQuarter; }
        int barBeats() const { return padded ? header.beatsPerBar : 4; }

        void measure(Section& section) const
        {
            long long ticks = 0;
            for (const PatternNote& p : *section.notes)
                ticks += noteTicks(p.note.res);
            const long long bar = barBeats() * beatTicks();
            section.ticks = padded ? (ticks + bar - 1) / bar * bar : ticks;
        }

        // Strikes of the section, as a count, or added when add is true.
        double strike(const Section& section, double start, bool add)
        {
            const double tick = 60.0 / (section.tempo * kTicksPerQuarter);
            double count = 0;
            long long t = 0;
            for (const PatternNote& p : *section.notes) {
                const int length = noteTicks(p.note.res);
                const int velocity = (2 * p.note.vol * 127 + 9) / 18; // round(vol * 127 / 9)
                for (int k = 0; k < notation::kVoiceCount && p.note.vol > 0; ++k) {
                    if (!(p.note.voices & (1 << k)))
                        continue;
                    count += p.note.flammed ? 2 : 1;
                    if (!add)
                        continue;
                    const int key = header.voiceKeys[std::size_t(k)];
                    strikes.push_back(
                        { start + t * tick, key, velocity, start + (t + length) * tick });
                    if (p.note.flammed) {
                        strikes.push_back({ start + t * tick - kFlamSeconds, key,
                            std::max(1, velocity / 2), start + t * tick });
                    }
                }
                t += length;
            }
            for (long long beat = 0; section.clicks && beat * beatTicks() < section.ticks; ++beat) {
                const bool bar = beat % barBeats() == 0 && header.playBar;
                const int velocity = std::min(127, bar ? levels.bar : levels.beat);
                if ((!bar && !header.playBeat) || velocity <= 0)
                    continue;
                ++count;
                if (add) {
                    strikes.push_back(
                        { start + beat * beatTicks() * tick, bar ? kBarClickKey : kBeatClickKey,
                            velocity, start + (beat + 1) * beatTicks() * tick });
                }
            }
            return count;
        }
    };

    int typeRank(MidiEvent::Type type)
    {
        switch (type) {
        case MidiEvent::Type::Tempo:
            return 0;
        case MidiEvent::Type::ProgramChange:
            return 1;
        case MidiEvent::Type::NoteOff:
            return 2;
        case MidiEvent::Type::NoteOn:
            break;
        }
        return 3;
    }

    // Same key at the same time sounds once, at the louder velocity; a note is released when
    // its time is over or when its key is struck again, whichever comes first.
    void addNotes(std::vector<Strike>& strikes, std::vector<MidiEvent>& events)
    {
        std::stable_sort(strikes.begin(), strikes.end(), [](const Strike& a, const Strike& b) {
            return a.key != b.key ? a.key < b.key : a.at < b.at;
        });
        for (std::size_t i = 0; i < strikes.size();) {
            Strike s = strikes[i];
            std::size_t j = i + 1;
            for (; j < strikes.size() && strikes[j].key == s.key && strikes[j].at == s.at; ++j) {
                s.velocity = std::max(s.velocity, strikes[j].velocity);
                s.until = std::max(s.until, strikes[j].until);
            }
            if (j < strikes.size() && strikes[j].key == s.key)
                s.until = std::min(s.until, strikes[j].at);
            MidiEvent on;
            on.seconds = s.at;
            on.key = s.key;
            on.velocity = s.velocity;
            events.push_back(on);
            MidiEvent off = on;
            off.type = MidiEvent::Type::NoteOff;
            off.seconds = s.until;
            off.velocity = 0;
            events.push_back(off);
            i = j;
        }
    }

    MidiEvent tempoEvent(double seconds, int tempo)
    {
        MidiEvent event;
        event.seconds = seconds;
        event.type = MidiEvent::Type::Tempo;
        event.microsPerQuarter = int(std::lround(60e6 / tempo));
        return event;
    }
} // namespace

bool buildPerformance(
    const Script& script, bool noTimeSignature, Performance& performance, std::string& error)
{
    performance = Performance();
    ScriptHeader header;
    if (!readScriptHeader(script, header, performance.notices, error))
        return false;
    const std::vector<PatternNote>& intro = header.intro;
    const std::vector<PatternNote>& transition = header.transition;

    Builder builder { header, !noTimeSignature && header.beatsPerBar > 0, {}, {} };
    std::vector<Section> sections;
    const int repeats = std::max(1, header.repeats);
    for (int r = 0; r < repeats; ++r) {
        const int tempo = std::clamp(header.tempo + r * header.tempoChange, kMinTempo, kMaxTempo);
        if (r == 0 && !intro.empty())
            sections.push_back({ &intro, tempo, false, 0 });
        if (r > 0 && !transition.empty())
            sections.push_back({ &transition, sections.back().tempo, false, 0 });
        sections.push_back({ &script.notes, tempo, true, 0 });
    }

    double seconds = kLeadInSeconds;
    double notes = 0;
    for (std::size_t i = 0; i < sections.size() && seconds <= kMaxSeconds && notes <= kMaxNotes;
         ++i) {
        builder.measure(sections[i]);
        seconds += double(sections[i].ticks) * 60.0 / (sections[i].tempo * kTicksPerQuarter);
        notes += builder.strike(sections[i], 0, false);
    }
    if (seconds > kMaxSeconds || notes > double(kMaxNotes)) {
        error = seconds > kMaxSeconds ? "the performance would last more than "
                + std::to_string(int(kMaxSeconds)) + " seconds, the most the stand-in host plays"
                                      : "the performance would sound more than "
                + std::to_string(kMaxNotes) + " notes, the most the stand-in host plays";
        return false;
    }

    performance.startSeconds = kLeadInSeconds;
    performance.name = std::string(kPatternName.substr(1, kPatternName.size() - 2));
    performance.beatsPerBar = builder.padded ? header.beatsPerBar : 4;
    performance.beatUnit = builder.padded ? header.beatUnit : 4;
    std::vector<MidiEvent>& events = performance.events;
    MidiEvent program;
    program.type = MidiEvent::Type::ProgramChange;
    program.key = header.program;
    events.push_back(tempoEvent(0, sections.front().tempo));
    events.push_back(program);
    double start = kLeadInSeconds;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (i > 0 && sections[i].tempo != sections[i - 1].tempo)
            events.push_back(tempoEvent(start, sections[i].tempo));
        builder.strike(sections[i], start, true);
        start += double(sections[i].ticks) * 60.0 / (sections[i].tempo * kTicksPerQuarter);
    }
    performance.endSeconds = start;
    addNotes(builder.strikes, events);
    std::stable_sort(events.begin(), events.end(), [](const MidiEvent& a, const MidiEvent& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : typeRank(a.type) < typeRank(b.type);
    });
    return true;
}

} // namespace standin

namespace standin {

int noteTicks(const ScriptHeader& header, int res)
{
    return Builder { header, false, {}, {} }.noteTicks(res);
}

int beatTicks(const ScriptHeader& header, bool noTimeSignature)
{
    return Builder { header, !noTimeSignature && header.beatsPerBar > 0, {}, {} }.beatTicks();
}

int barBeats(const ScriptHeader& header, bool noTimeSignature)
{
    return Builder { header, !noTimeSignature && header.beatsPerBar > 0, {}, {} }.barBeats();
}

void sortEvents(std::vector<MidiEvent>& events)
{
    std::stable_sort(events.begin(), events.end(), [](const MidiEvent& a, const MidiEvent& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : typeRank(a.type) < typeRank(b.type);
    });
}

long long buildSection(const ScriptHeader& header, bool noTimeSignature,
    const std::vector<PatternNote>& notes, int tempo, bool clicks, double start,
    std::vector<MidiEvent>& events, ClickLevels levels)
{
    Builder builder { header, !noTimeSignature && header.beatsPerBar > 0, {}, levels };
    Section section { &notes, tempo, clicks, 0 };
    builder.measure(section);
    builder.strike(section, start, true);
    std::vector<MidiEvent> own;
    addNotes(builder.strikes, own);
    sortEvents(own);
    events.insert(events.end(), own.begin(), own.end());
    return section.ticks;
}

} // namespace standin
