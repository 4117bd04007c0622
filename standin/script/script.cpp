#include "script.h"

#include "cp1252.h"
#include "textlines.h"

#include <QByteArrayView>
#include <QString>
#include <algorithm>

namespace standin {

namespace {

    std::string utf8(std::string_view bytes)
    {
        return cp1252::toUnicode(bytes).toStdString();
    }

    std::string_view trim(std::string_view text)
    {
        const std::size_t first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            return {};
        const std::size_t last = text.find_last_not_of(" \t");
        return text.substr(first, last - first + 1);
    }

    char upper(char c)
    {
        return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }

    std::string upperCase(std::string text)
    {
        for (char& c : text)
            c = upper(c);
        return text;
    }

    bool equalNoCase(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (upper(a[i]) != upper(b[i]))
                return false;
        }
        return true;
    }

    // Whether text begins with the keyword followed by a blank or a tab.
    bool startsWithKeyword(std::string_view text, std::string_view keyword)
    {
        return text.size() > keyword.size() && equalNoCase(text.substr(0, keyword.size()), keyword)
            && (text[keyword.size()] == ' ' || text[keyword.size()] == '\t');
    }

    std::string padRight(std::string text, std::size_t width)
    {
        if (text.size() < width)
            text.append(width - text.size(), ' ');
        return text;
    }

    std::string padLeft(const std::string& text, std::size_t width)
    {
        return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
    }

    std::string at(int line)
    {
        return "line " + std::to_string(line) + ": ";
    }

    // The script's text in Windows-1252: as it is, or from UTF-8 after its byte-order mark.
    // False, with error set, on UTF-16 text or a UTF-8 text that Windows-1252 cannot hold.
    bool decode(std::string_view bytes, std::string& text, std::string& error)
    {
        if (bytes.empty()) {
            error = "the script is empty";
            return false;
        }
        if (bytes.size() > kMaxScriptBytes) {
            error = "the script is larger than " + std::to_string(kMaxScriptBytes >> 20)
                + " MiB, the most the stand-in host reads";
            return false;
        }
        if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
            error = "the script is UTF-16 text (byte-order mark "
                + std::string(bytes[0] == '\xFF' ? "FF FE" : "FE FF")
                + "); the stand-in host reads Windows-1252, or UTF-8 after its byte-order mark";
            return false;
        }
        if (!bytes.starts_with("\xEF\xBB\xBF")) {
            text = bytes;
            return true;
        }
        bytes.remove_prefix(3);
        const QString unicode = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        text = cp1252::fromUnicode(unicode);
        if (unicode.toUtf8() != QByteArrayView(bytes.data(), qsizetype(bytes.size()))
            || cp1252::toUnicode(text) != unicode) {
            error = "the script is not UTF-8 text that Windows-1252 can hold, though it begins "
                    "with UTF-8's byte-order mark";
            return false;
        }
        return true;
    }

    // A control character (other than a tab) in the line: a malformed script.
    bool checkCharacters(std::string_view line, int number, std::string& error)
    {
        for (std::size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if ((c < 0x20 && c != '\t') || c == 0x7F) {
                const char* digits = "0123456789ABCDEF";
                error = at(number) + "the line holds a control character (0x" + digits[c >> 4]
                    + digits[c & 15] + ") at column " + std::to_string(i + 1);
                return false;
            }
        }
        return true;
    }

    // What is passed over, as UTF-8 text.
    void passOverText(Script& script, int number, const std::string& what)
    {
        if (script.ignored.size() < kMaxShownRows)
            script.ignored.push_back(at(number) + "passed over: " + shown(what));
        else
            ++script.ignoredMore;
    }

    void passOver(Script& script, int number, std::string_view what)
    {
        passOverText(script, number, utf8(what));
    }

    bool readStatements(std::string_view line, int number, Script& script, std::string& error)
    {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = std::min(line.find(';', start), line.size());
            const std::string_view statement = trim(line.substr(start, end - start));
            if (startsWithKeyword(statement, "SET")) {
                const std::string_view assignment = trim(statement.substr(3));
                const std::size_t equals = assignment.find('=');
                if (equals == std::string_view::npos
                    || trim(assignment.substr(0, equals)).empty()) {
                    error = at(number) + "SET needs a name and \"=\": " + utf8(statement);
                    return false;
                }
                script.settings.push_back({ utf8(trim(assignment.substr(0, equals))),
                    utf8(trim(assignment.substr(equals + 1))), number });
            } else if (!statement.empty()) {
                passOver(script, number, statement);
            }
            if (end >= line.size())
                return true;
            start = end + 1;
        }
    }

    // A line "RAW [name]=notes" (trimmed, and as written).
    bool defineRaw(std::string_view line, std::string_view written, int number, Script& script,
        std::string& error)
    {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = at(number) + "RAW needs a name and \"=\": " + shown(utf8(line));
            return false;
        }
        const std::string_view name = trim(line.substr(3, equals - 3));
        if (!equalNoCase(name, kPatternName)) {
            if (const PatternDefinition* first = findPattern(script, utf8(name))) {
                error = at(number) + "the pattern " + shown(utf8(name))
                    + " is defined a second time (first on line " + std::to_string(first->line)
                    + ")";
                return false;
            }
            script.patternIndex.emplace(upperCase(utf8(name)), script.otherPatterns.size());
            script.otherPatterns.push_back({ utf8(name), number, utf8(written) });
        } else if (script.definitionLine != 0) {
            error = at(number) + "the pattern " + std::string(kPatternName)
                + " is defined a second time (first on line "
                + std::to_string(script.definitionLine) + ")";
            return false;
        } else {
            script.definitionLine = number;
            script.definition = utf8(written);
        }
        return true;
    }

    std::string bracketedKey(std::string_view name)
    {
        const std::string text(trim(name));
        return upperCase(!text.empty() && text.front() == '[' ? text : "[" + text + "]");
    }

    // A comment line "' STICKING [name]=R,L,...": its entries checked and kept; any other
    // comment is skipped.
    bool readSticking(std::string_view comment, int number, Script& script, std::string& error)
    {
        const std::string_view text = trim(comment.substr(1));
        const std::size_t equals = text.find('=');
        if (!startsWithKeyword(text, "STICKING") || equals == std::string_view::npos)
            return true;
        Sticking sticking { utf8(trim(text.substr(8, equals - 8))), number, {} };
        const std::string key = bracketedKey(sticking.name);
        for (const Sticking& earlier : script.stickings) {
            if (bracketedKey(earlier.name) == key) {
                error = at(number) + "the sticking of " + shown(sticking.name)
                    + " is given a second time (first on line " + std::to_string(earlier.line)
                    + ")";
                return false;
            }
        }
        const std::string_view entries = trim(text.substr(equals + 1));
        for (std::size_t start = 0; !entries.empty();) {
            const std::size_t end = std::min(entries.find(',', start), entries.size());
            const std::string hands
                = upperCase(std::string(trim(entries.substr(start, end - start))));
            if (hands != "" && hands != "R" && hands != "L" && hands != "RL") {
                error = at(number) + "entry " + std::to_string(sticking.hands.size() + 1)
                    + " of the sticking of " + shown(sticking.name) + " is \"" + shown(utf8(hands))
                    + "\"; each is R, L, RL or empty";
                return false;
            }
            sticking.hands.push_back(hands);
            if (end >= entries.size())
                break;
            start = end + 1;
        }
        script.stickings.push_back(std::move(sticking));
        return true;
    }

    // Each sticking belongs to a defined pattern and has no more entries than it has notes; one
    // for a pattern that no RAW line defines is passed over.
    bool checkStickings(
        Script& script, const std::vector<std::size_t>& otherCounts, std::string& error)
    {
        std::vector<Sticking> kept;
        for (Sticking& sticking : script.stickings) {
            const std::string key = bracketedKey(sticking.name);
            const PatternDefinition* pattern = findPattern(script, sticking.name);
            std::size_t notes = 0;
            if (key == upperCase(std::string(kPatternName))) {
                notes = script.notes.size();
            } else if (pattern) {
                notes = otherCounts[std::size_t(pattern - script.otherPatterns.data())];
            } else {
                passOverText(script, sticking.line,
                    "the sticking of " + sticking.name + ", a pattern that no RAW line defines");
                continue;
            }
            if (sticking.hands.size() > notes) {
                error = at(sticking.line) + "the sticking of " + shown(sticking.name) + " has "
                    + std::to_string(sticking.hands.size()) + " entries, more than the "
                    + std::to_string(notes) + (notes == 1 ? " note" : " notes") + " of the pattern";
                return false;
            }
            kept.push_back(std::move(sticking));
        }
        script.stickings = std::move(kept);
        return true;
    }

} // namespace

bool parseScript(std::string_view bytes, Script& script, std::string& error)
{
    script = Script();
    std::string text;
    if (!decode(bytes, text, error))
        return false;

    for (std::size_t start = 0, number = 1; start < text.size(); ++number) {
        const std::string_view whole = textlines::next(text, start).text;
        if (!checkCharacters(whole, int(number), error))
            return false;
        const std::string_view line = trim(whole);
        if (!line.empty() && line.front() == '\''
            && !readSticking(line, int(number), script, error))
            return false;
        if (line.empty() || line.front() == '\'')
            continue;
        if (startsWithKeyword(line, "RAW")) {
            // The definition ends at a ";"; statements after it are read as on any other line.
            const std::size_t semicolon = whole.find(';');
            const std::string_view definition = whole.substr(0, semicolon);
            if (!defineRaw(trim(definition), definition, int(number), script, error)
                || (semicolon != std::string_view::npos
                    && !readStatements(whole.substr(semicolon + 1), int(number), script, error)))
                return false;
        } else if (line.front() == '[') {
            if (!equalNoCase(line, kPatternName)) {
                passOver(script, int(number), line);
            } else if (script.definitionLine == 0) {
                error = at(int(number)) + std::string(kPatternName)
                    + " is played before its RAW definition";
                return false;
            } else if (script.playLine == 0) {
                script.playLine = int(number);
            }
        } else if (!readStatements(line, int(number), script, error)) {
            return false;
        }
    }

    if (script.definitionLine == 0) {
        error = "no definition \"RAW " + std::string(kPatternName) + "=\" in the script";
        return false;
    }
    if (script.playLine == 0) {
        error = "no line \"" + std::string(kPatternName) + "\" that plays the pattern";
        return false;
    }
    // Every definition is checked, played or not.
    std::vector<PatternNote> notes;
    std::vector<std::size_t> counts;
    for (const PatternDefinition& pattern : script.otherPatterns) {
        if (!parsePatternNotes(pattern.line, pattern.definition, pattern.name, notes, error))
            return false;
        counts.push_back(notes.size());
    }
    return parsePatternNotes(
               script.definitionLine, script.definition, kPatternName, script.notes, error)
        && checkStickings(script, counts, error);
}

const Sticking* findSticking(const Script& script, std::string_view name)
{
    const std::string key = bracketedKey(name);
    for (const Sticking& sticking : script.stickings) {
        if (bracketedKey(sticking.name) == key)
            return &sticking;
    }
    return nullptr;
}

std::string stickingLine(std::string_view name, const std::vector<std::string>& hands)
{
    std::string line = "' STICKING " + std::string(name) + "=";
    for (std::size_t i = 0; i < hands.size(); ++i)
        line += (i > 0 ? "," : "") + hands[i];
    return line;
}

bool parsePatternNotes(int line, std::string_view definition, std::string_view name,
    std::vector<PatternNote>& notes, std::string& error)
{
    notes.clear();
    if (std::size_t(std::count(definition.begin(), definition.end(), ',')) >= kMaxPatternNotes) {
        error = at(line) + "the pattern " + std::string(name) + " has more than "
            + std::to_string(kMaxPatternNotes) + " notes, the most the stand-in host reads";
        return false;
    }
    const std::u16string body = notation::lineBody(
        QString::fromUtf8(definition.data(), qsizetype(definition.size())).toStdU16String());
    const std::vector<std::u16string> tokens = notation::splitTokens(body);
    if (tokens.empty()) {
        error = at(line) + "the pattern " + std::string(name) + " has no notes";
        return false;
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const notation::TokenReading reading = notation::analyzeToken(tokens[i]);
        const std::string token = shown(QString::fromStdU16String(tokens[i]).toStdString());
        const std::string where
            = at(line) + "note " + std::to_string(i + 1) + " \"" + token + "\": ";
        switch (reading.fault) {
        case notation::TokenFault::VoiceCharacter:
            error = where + "a voice after \">\" must be one of A to F, joined by \"+\"";
            return false;
        case notation::TokenFault::NoteTypeCharacter:
            error = where + "the note type must be one of 1 to 9 or A to F";
            return false;
        case notation::TokenFault::None:
            break;
        }
        notes.push_back({ int(i + 1), token, reading.note });
    }
    return true;
}

const PatternDefinition* findPattern(const Script& script, std::string_view name)
{
    std::string bracketed(name);
    if (bracketed.empty() || bracketed.front() != '[')
        bracketed = "[" + bracketed + "]";
    const auto found = script.patternIndex.find(upperCase(bracketed));
    return found == script.patternIndex.end() ? nullptr : &script.otherPatterns[found->second];
}

std::string shown(std::string_view text)
{
    if (text.size() <= kMaxShownBytes)
        return std::string(text);
    std::size_t cut = kMaxShownBytes - 40;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a character
    return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

std::string formatSettings(const Script& script)
{
    std::string text;
    for (std::size_t i = 0; i < script.settings.size() && i < kMaxShownRows; ++i) {
        const Setting& setting = script.settings[i];
        text += "  " + shown(setting.name) + " = " + shown(setting.value) + "\n";
    }
    if (script.settings.size() > kMaxShownRows)
        text += "  ... " + std::to_string(script.settings.size() - kMaxShownRows) + " more\n";
    return text;
}

std::string formatPattern(const Script& script)
{
    std::string text = padLeft("note", 5) + "  " + padRight("token", 15) + "  " + padLeft("type", 6)
        + "  " + padLeft("volume", 6) + "  " + padRight("flam", 4) + "  voices\n";
    for (std::size_t i = 0; i < script.notes.size() && i < kMaxShownRows; ++i) {
        const PatternNote& p = script.notes[i];
        std::string type = std::to_string(p.note.res);
        if (p.note.res >= 10)
            type += " (" + std::string(1, char('A' + p.note.res - 10)) + ")";
        std::string voices;
        for (int k = 0; k < notation::kVoiceCount; ++k) {
            if (p.note.voices & (1 << k))
                voices += std::string(voices.empty() ? "" : "+") + char('A' + k);
        }
        text += padLeft(std::to_string(p.number), 5) + "  " + padRight(p.token, 15) + "  "
            + padLeft(type, 6) + "  " + padLeft(std::to_string(p.note.vol), 6) + "  "
            + padRight(p.note.flammed ? "yes" : "no", 4) + "  " + voices + "\n";
    }
    if (script.notes.size() > kMaxShownRows)
        text += "  ... " + std::to_string(script.notes.size() - kMaxShownRows) + " more notes\n";
    return text;
}

} // namespace standin
