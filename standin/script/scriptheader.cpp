#include "scriptheader.h"

#include <set>

namespace standin {

namespace {

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

    class HeaderReader {
    public:
        const Setting* intro = nullptr; // the last INTRO and TRANSITION settings
        const Setting* transition = nullptr;

        HeaderReader(ScriptHeader& header, std::string& error)
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
                (key == "INTRO" ? intro : transition) = &s;
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

        ScriptHeader& header_;
        std::string& error_;
        const Setting* setting_ = nullptr;
    };

    // The notes of the pattern that INTRO or TRANSITION names; false on an unknown name.
    bool extraPattern(const Script& script, const Setting* setting, std::vector<PatternNote>& notes,
        std::string& written, std::string& error)
    {
        if (!setting || trim(setting->value).empty())
            return true;
        const std::string name = trim(setting->value);
        std::string bracketed = name.front() == '[' ? name : "[" + name + "]";
        if (settingKey(bracketed) == settingKey(std::string(kPatternName))) {
            notes = script.notes;
            written = kPatternName;
            return true;
        }
        const PatternDefinition* pattern = findPattern(script, bracketed);
        if (!pattern) {
            error = at(setting->line) + setting->name + "=" + setting->value
                + ": the script has no pattern \"RAW " + bracketed + "=\"";
            return false;
        }
        written = pattern->name;
        return parsePatternNotes(pattern->line, pattern->definition, pattern->name, notes, error);
    }

} // namespace

bool readScriptHeader(const Script& script, ScriptHeader& header, std::vector<std::string>& notices,
    std::string& error)
{
    HeaderReader reader(header, error);
    std::set<std::string> unknown;
    for (const Setting& setting : script.settings) {
        bool known = true;
        if (!reader.apply(setting, known))
            return false;
        if (!known && unknown.insert(settingKey(setting.name)).second) {
            notices.push_back(
                at(setting.line) + "the setting " + setting.name + " is unknown; ignored");
        }
    }
    return extraPattern(script, reader.intro, header.intro, header.introName, error)
        && extraPattern(script, reader.transition, header.transition, header.transitionName, error);
}

} // namespace standin
