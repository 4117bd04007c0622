#include "performance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

namespace standin {

namespace {

    // Lengths of note types 1 to 9 in ticks: quarter, 8th, 8th triplet, 16th, 16th triplet,
    // 32nd, 32nd triplet, 8th quintuplet, 5 over 3 16ths.
    constexpr std::array<int, 9> kTypeTicks { 120, 60, 40, 30, 20, 15, 10, 24, 18 };
    constexpr int kWholeTicks = 4 * kTicksPerQuarter;

    std::string at(int line)
    {
        return "line " + std::to_string(line) + ": ";
    }

    std::string trim(const std::string& text)
    {
        const std::size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos)
            return {};
        return text.substr(first, text.find_last_not_of(" \t") - first + 1);
    }

    // Upper case, blanks removed: "TrackVoices (1)" is "TRACKVOICES(1)".
    std::string settingKey(const std::string& name)
    {
        std::string key;
        for (char c : name) {
            if (c != ' ' && c != '\t')
                key += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        }
        return key;
    }

    // A whole decimal number, an optional sign, blanks around it; at most nine digits.
    bool readInteger(const std::string& text, long& value)
    {
        const std::string t = trim(text);
        std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
        if (i == t.size() || t.size() - i > 9)
            return false;
        long number = 0;
        for (; i < t.size(); ++i) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            number = number * 10 + (t[i] - '0');
        }
        value = (t[0] == '-') ? -number : number;
        return true;
    }

    struct Header {
        int program = 0;
        std::array<int, notation::kVoiceCount> voiceKeys { 40, 35, 42, 46, 50, 45 };
        bool playBeat = false;
        bool playBar = false;
        const Setting* intro = nullptr; // null or empty value: none
        const Setting* transition = nullptr;
        int beatsPerBar = 0; // TIMESIG n/d; 0 when there is none
        int beatUnit = 0;
        int tempo = 100;
        int repeats = 1;
        int tempoChange = 0;
        std::array<int, 6> letterTicks { 120, 120, 120, 120, 120, 120 }; // ATICKS to FTICKS
    };

    class HeaderReader {
    public:
        HeaderReader(Header& header, std::string& error)
            : header_(header)
            , error_(error)
        {
        }

        // False with the error set on a malformed value; an unknown name sets known false.
        bool apply(const Setting& s, bool& known)
        {
            setting_ = &s;
            known = true;
            const std::string key = settingKey(s.name);
            if (key == "TEMPO")
                return number(header_.tempo, kMinTempo, kMaxTempo, "the tempo");
            if (key == "REPEATS")
                return number(header_.repeats, 0, kMaxRepeats, "the number of repeats");
            if (key == "TEMPOCHANGE")
                return number(header_.tempoChange, -kMaxTempoChange, kMaxTempoChange,
                    "the change of tempo per repeat");
            if (key == "TRACKINSTRUMENT(1)")
                return number(header_.program, 0, 127, "the MIDI program");
            if (key.size() == 6 && key.substr(1) == "TICKS" && key[0] >= 'A' && key[0] <= 'F')
                return number(header_.letterTicks[std::size_t(key[0] - 'A')], 1, kMaxNoteTicks,
                    "the length of a note in ticks");
            if (key == "TRACKVOICES(1)")
                return voiceKeys();
            if (key == "PLAYBEAT")
                return yesNo(header_.playBeat);
            if (key == "PLAYBAR")
                return yesNo(header_.playBar);
            if (key == "TIMESIG")
                return timeSignature();
            if (key == "INTRO" || key == "TRANSITION") {
                (key == "INTRO" ? header_.intro : header_.transition) = &s;
                return true;
            }
            known = false;
            return true;
        }

    private:
        bool fail(const std::string& what)
        {
            error_ = at(setting_->line) + setting_->name + "=" + setting_->value + ": " + what;
            return false;
        }

        bool number(int& target, int low, int high, const char* what)
        {
            long value = 0;
            if (!readInteger(setting_->value, value) || value < low || value > high) {
                return fail(std::string(what) + " must be a whole number from "
                    + std::to_string(low) + " to " + std::to_string(high));
            }
            target = int(value);
            return true;
        }

        bool voiceKeys()
        {
            std::vector<std::string> items { "" };
            for (char c : setting_->value) {
                if (c == ',')
                    items.emplace_back();
                else
                    items.back() += c;
            }
            if (items.size() != header_.voiceKeys.size()) {
                return fail("six MIDI keys (voices A to F) separated by \",\" are needed, not "
                    + std::to_string(items.size()));
            }
            for (std::size_t i = 0; i < items.size(); ++i) {
                long key = 0;
                if (!readInteger(items[i], key) || key < 0 || key > 127) {
                    return fail(std::string("the key of voice ") + char('A' + i)
                        + " must be a whole number from 0 to 127");
                }
                header_.voiceKeys[i] = int(key);
            }
            return true;
        }

        bool yesNo(bool& target)
        {
            const std::string value = settingKey(setting_->value);
            if (value != "YES" && value != "NO" && !value.empty())
                return fail("the value must be YES or NO");
            target = value == "YES";
            return true;
        }

        bool timeSignature()
        {
            const std::string value = trim(setting_->value);
            if (value.empty()) {
                header_.beatsPerBar = header_.beatUnit = 0;
                return true;
            }
            const std::size_t slash = value.find('/');
            long beats = 0;
            long unit = 0;
            if (slash == std::string::npos || !readInteger(value.substr(0, slash), beats)
                || !readInteger(value.substr(slash + 1), unit) || beats < 1
                || beats > kMaxBeatsPerBar || unit < 1 || unit > 32 || (unit & (unit - 1)) != 0) {
                return fail("the time signature must be n/d with n from 1 to "
                    + std::to_string(kMaxBeatsPerBar) + " and d one of 1, 2, 4, 8, 16 and 32");
            }
            header_.beatsPerBar = int(beats);
            header_.beatUnit = int(unit);
            return true;
        }

        Header& header_;
        std::string& error_;
        const Setting* setting_ = nullptr;
    };

    // One part of the performance: the pattern once, or an intro or a transition.
    struct Section {
        const std::vector<PatternNote>* notes = nullptr;
        int tempo = 0;
        bool clicks = false; // the repeats click, intros and transitions do not
        int ticks = 0; // padded
    };

    // A key struck at a time and held until a time (or the next strike of the same key).
    struct Strike {
        double at = 0;
        int key = 0;
        int velocity = 0;
        double until = 0;
    };

    struct Builder {
        const Header& header;
        bool padded = false; // bars of TIMESIG are used
        std::vector<Strike> strikes;

        int noteTicks(int res) const
        {
            return res <= 9 ? kTypeTicks[std::size_t(res - 1)]
                            : header.letterTicks[std::size_t(res - 10)];
        }
        int beatTicks() const { return padded ? kWholeTicks / header.beatUnit : kTicksPerQuarter; }
        int barBeats() const { return padded ? header.beatsPerBar : 4; }

        void measure(Section& section) const
        {
            int ticks = 0;
            for (const PatternNote& p : *section.notes)
                ticks += noteTicks(p.note.res);
            const int bar = barBeats() * beatTicks();
            section.ticks = padded ? (ticks + bar - 1) / bar * bar : ticks;
        }

        // Strikes of the section, as a count, or added when add is true.
        double strike(const Section& section, double start, bool add)
        {
            const double tick = 60.0 / (section.tempo * kTicksPerQuarter);
            double count = 0;
            int t = 0;
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
            for (int beat = 0; section.clicks && beat * beatTicks() < section.ticks; ++beat) {
                const bool bar = beat % barBeats() == 0 && header.playBar;
                if (!bar && !header.playBeat)
                    continue;
                ++count;
                if (add) {
                    strikes.push_back(
                        { start + beat * beatTicks() * tick, bar ? kBarClickKey : kBeatClickKey,
                            kClickVelocity, start + (beat + 1) * beatTicks() * tick });
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

    // The notes of the pattern that INTRO or TRANSITION names; false on an unknown name.
    bool extraPattern(const Script& script, const Setting* setting, std::vector<PatternNote>& notes,
        std::string& error)
    {
        if (!setting || trim(setting->value).empty())
            return true;
        const std::string name = trim(setting->value);
        std::string bracketed = name.front() == '[' ? name : "[" + name + "]";
        if (settingKey(bracketed) == settingKey(std::string(kPatternName))) {
            notes = script.notes;
            return true;
        }
        const PatternDefinition* pattern = findPattern(script, bracketed);
        if (!pattern) {
            error = at(setting->line) + setting->name + "=" + setting->value
                + ": the script has no pattern \"RAW " + bracketed + "=\"";
            return false;
        }
        return parsePatternNotes(pattern->line, pattern->definition, pattern->name, notes, error);
    }

} // namespace

bool buildPerformance(
    const Script& script, bool noTimeSignature, Performance& performance, std::string& error)
{
    performance = Performance();
    Header header;
    HeaderReader reader(header, error);
    std::set<std::string> unknown;
    for (const Setting& setting : script.settings) {
        bool known = true;
        if (!reader.apply(setting, known))
            return false;
        if (!known && unknown.insert(settingKey(setting.name)).second) {
            performance.notices.push_back(
                at(setting.line) + "the setting " + setting.name + " is unknown; ignored");
        }
    }
    std::vector<PatternNote> intro;
    std::vector<PatternNote> transition;
    if (!extraPattern(script, header.intro, intro, error)
        || !extraPattern(script, header.transition, transition, error))
        return false;

    Builder builder { header, !noTimeSignature && header.beatsPerBar > 0, {} };
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
    for (Section& section : sections) {
        builder.measure(section);
        seconds += section.ticks * 60.0 / (section.tempo * kTicksPerQuarter);
        notes += builder.strike(section, 0, false);
    }
    if (seconds > kMaxSeconds || notes > double(kMaxNotes)) {
        error = "the performance would last " + std::to_string(std::lround(seconds))
            + " seconds with " + std::to_string(std::lround(notes))
            + " notes; the stand-in host plays at most " + std::to_string(int(kMaxSeconds))
            + " seconds and " + std::to_string(kMaxNotes) + " notes";
        return false;
    }

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
        start += sections[i].ticks * 60.0 / (sections[i].tempo * kTicksPerQuarter);
    }
    performance.endSeconds = start;
    addNotes(builder.strikes, events);
    std::stable_sort(events.begin(), events.end(), [](const MidiEvent& a, const MidiEvent& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : typeRank(a.type) < typeRank(b.type);
    });
    return true;
}

} // namespace standin
