#include "notation.h"

#include <algorithm>

namespace notation {

namespace {

    char16_t upper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

    bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

    // Compares a whole voice item with "A" and "F" by character codes.
    bool voiceItemInRange(std::u16string_view item)
    {
        return item >= std::u16string_view(u"A") && item <= std::u16string_view(u"F");
    }

    std::vector<std::u16string> splitAt(std::u16string_view text, char16_t separator)
    {
        std::vector<std::u16string> pieces;
        if (text.empty())
            return pieces;
        std::size_t start = 0;
        for (;;) {
            const std::size_t at = text.find(separator, start);
            if (at == std::u16string_view::npos) {
                pieces.emplace_back(text.substr(start));
                return pieces;
            }
            pieces.emplace_back(text.substr(start, at - start));
            start = at + 1;
        }
    }

    std::u16string number(int value) // decimal, as the writer and the description show it
    {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    }

} // namespace

TokenReading analyzeToken(std::u16string_view token)
{
    std::u16string s(token);
    for (char16_t& c : s)
        c = upper(c);

    TokenReading reading;
    Note& note = reading.note;
    note.voices = 0;
    const std::size_t mark = s.find(u'>');
    if (mark != std::u16string::npos) {
        // An empty voice list is one empty item, and so invalid.
        const std::u16string_view list = std::u16string_view(s).substr(mark + 1);
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = std::min(list.find(u'+', start), list.size());
            const std::u16string_view item = list.substr(start, end - start);
            if (!voiceItemInRange(item)) {
                reading.fault = TokenFault::VoiceCharacter;
                return reading;
            }
            note.voices = std::int16_t(note.voices | (1 << (item[0] - u'A')));
            if (end == list.size())
                break;
            start = end + 1;
        }
        s.resize(mark);
    } else {
        note.voices = kVoiceA;
    }

    const char16_t type = s.empty() ? u'\0' : s[0];
    if (type >= u'1' && type <= u'9')
        note.res = std::int16_t(type - u'0');
    else if (type >= u'A' && type <= u'F')
        note.res = std::int16_t(type - u'A' + 10);
    else {
        reading.fault = TokenFault::NoteTypeCharacter;
        return reading;
    }
    note.vol = (s.size() >= 2 && isDigit(s[1])) ? std::int16_t(s[1] - u'0') : std::int16_t(0);
    note.flammed = s.size() == 3 && s[2] != u'0';
    return reading;
}

std::u16string lineBody(std::u16string_view line)
{
    const std::size_t equals = line.find(u'=');
    if (equals != std::u16string_view::npos)
        line.remove_prefix(equals + 1);
    const std::size_t first = line.find_first_not_of(u' ');
    if (first == std::u16string_view::npos)
        return {};
    const std::size_t last = line.find_last_not_of(u' ');
    return std::u16string(line.substr(first, last - first + 1));
}

std::vector<std::u16string> splitTokens(std::u16string_view text) { return splitAt(text, u','); }

std::u16string typeCharacter(int res)
{
    return std::u16string(1, res < 10 ? char16_t(u'0' + res) : char16_t(res + 55));
}

TokenParts tokenParts(const Note& note)
{
    TokenParts parts;
    parts.res = typeCharacter(note.res);
    parts.vol = note.vol;
    parts.flammed = note.flammed;
    for (int k = 0; k < kVoiceCount; ++k) {
        if (note.voices & (1 << k)) {
            parts.voiceList += u'+';
            parts.voiceList += char16_t(u'A' + k);
        }
    }
    if (parts.voiceList == u"+A")
        parts.voiceList.clear();
    else if (parts.voiceList.empty())
        parts.vol = 0;
    else
        parts.voiceList[0] = u'>';
    return parts;
}

std::u16string joinParts(const TokenParts& parts)
{
    std::u16string token = parts.res;
    token += number(parts.vol);
    if (parts.flammed)
        token += u'X';
    token += parts.voiceList;
    return token;
}

std::u16string canonicalToken(const Note& note) { return joinParts(tokenParts(note)); }

std::u16string describeNote(int index, const TokenParts& parts)
{
    std::u16string text = u"Note # " + number(index + 1) + u"  -  Type " + parts.res
        + u";  Vol " + number(parts.vol) + u";  ";
    if (parts.flammed)
        text += u"Flammed;  ";
    text += u"Voices=";
    text += parts.voiceList.empty() ? std::u16string(u"A") : parts.voiceList;
    return text;
}

std::u16string joinTokens(const std::vector<std::u16string>& tokens)
{
    std::u16string line;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0)
            line += u',';
        line += tokens[i];
    }
    return line;
}

std::optional<std::u16string> replaceToken(std::u16string_view line, int index,
    std::u16string_view token)
{
    std::vector<std::u16string> pieces = splitTokens(line);
    if (index < 0 || std::size_t(index) >= pieces.size())
        return std::nullopt;
    pieces[std::size_t(index)] = std::u16string(token);
    return joinTokens(pieces);
}

} // namespace notation
