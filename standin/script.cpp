#include "script.h"

#include "cp1252.h"

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

    // Splits the bytes into lines, each of which must end with CR LF.
    bool splitLines(
        std::string_view bytes, std::vector<std::string_view>& lines, std::string& error)
    {
        if (bytes.empty()) {
            error = "the script is empty";
            return false;
        }
        std::size_t start = 0;
        while (start < bytes.size()) {
            const int number = int(lines.size()) + 1;
            const std::size_t end = bytes.find_first_of("\r\n", start);
            if (end == std::string_view::npos) {
                error = at(number) + "the last line does not end with CR LF";
                return false;
            }
            if (bytes[end] == '\n' || end + 1 >= bytes.size() || bytes[end + 1] != '\n') {
                error = at(number) + "the line does not end with CR LF";
                return false;
            }
            lines.push_back(bytes.substr(start, end - start));
            start = end + 2;
        }
        return true;
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
                script.ignored.push_back(at(number) + "passed over: " + utf8(statement));
            }
            if (end >= line.size())
                return true;
            start = end + 1;
        }
    }

} // namespace

bool parseScript(std::string_view bytes, Script& script, std::string& error)
{
    script = Script();
    std::vector<std::string_view> lines;
    if (!splitLines(bytes, lines, error))
        return false;

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        const std::string_view line = trim(lines[i]);
        if (line.empty() || line.front() == '\'')
            continue;
        if (startsWithKeyword(line, "RAW")) {
            const std::size_t equals = line.find('=');
            if (equals == std::string_view::npos) {
                error = at(number) + "RAW needs a name and \"=\": " + utf8(line);
                return false;
            }
            const std::string_view name = trim(line.substr(3, equals - 3));
            if (!equalNoCase(name, kPatternName)) {
                if (const PatternDefinition* first = findPattern(script, utf8(name))) {
                    error = at(number) + "the pattern " + utf8(name)
                        + " is defined a second time (first on line " + std::to_string(first->line)
                        + ")";
                    return false;
                }
                script.otherPatterns.push_back({ utf8(name), number, utf8(lines[i]) });
            } else if (script.definitionLine != 0) {
                error = at(number) + "the pattern " + std::string(kPatternName)
                    + " is defined a second time (first on line "
                    + std::to_string(script.definitionLine) + ")";
                return false;
            } else {
                script.definitionLine = number;
                script.definition = utf8(lines[i]);
            }
        } else if (line.front() == '[') {
            if (!equalNoCase(line, kPatternName)) {
                script.ignored.push_back(at(number) + "passed over: " + utf8(line));
            } else if (script.definitionLine == 0) {
                error = at(number) + std::string(kPatternName)
                    + " is played before its RAW definition";
                return false;
            } else if (script.playLine == 0) {
                script.playLine = number;
            }
        } else if (!readStatements(line, number, script, error)) {
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
    return parsePatternNotes(
        script.definitionLine, script.definition, kPatternName, script.notes, error);
}

bool parsePatternNotes(int line, std::string_view definition, std::string_view name,
    std::vector<PatternNote>& notes, std::string& error)
{
    notes.clear();
    const std::u16string body = notation::lineBody(
        QString::fromUtf8(definition.data(), qsizetype(definition.size())).toStdU16String());
    const std::vector<std::u16string> tokens = notation::splitTokens(body);
    if (tokens.empty()) {
        error = at(line) + "the pattern " + std::string(name) + " has no notes";
        return false;
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const notation::TokenReading reading = notation::analyzeToken(tokens[i]);
        const std::string token = QString::fromStdU16String(tokens[i]).toStdString();
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
    for (const PatternDefinition& pattern : script.otherPatterns) {
        if (equalNoCase(pattern.name, bracketed))
            return &pattern;
    }
    return nullptr;
}

std::string formatSettings(const Script& script)
{
    std::string text;
    for (const Setting& setting : script.settings)
        text += "  " + setting.name + " = " + setting.value + "\n";
    return text;
}

std::string formatPattern(const Script& script)
{
    std::string text = padLeft("note", 5) + "  " + padRight("token", 15) + "  " + padLeft("type", 6)
        + "  " + padLeft("volume", 6) + "  " + padRight("flam", 4) + "  voices\n";
    for (const PatternNote& p : script.notes) {
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
    return text;
}

} // namespace standin
